// The part of AppKit the Parts use, as a plain model: objects that answer action selectors,
// menus and their items, alerts, and the workspace. The macOS implementation turns these into
// NSMenu, NSAlert and NSWorkspace calls; on Linux the process that hosts the code decides where
// an alert or a workspace request goes (the finder host, a desktop, or a test's recorder).
#pragma once

#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

using URL = std::filesystem::path;

// An action selector by name, such as "doc05:" or "refresh".
using Selector = std::string;

// Something that answers action selectors through a table of its own.
class Object {
public:
    virtual ~Object() = default;
    // Runs the action named by the selector; false when the object does not answer it.
    virtual bool perform(const Selector& selector, Object* sender) = 0;
    virtual bool respondsTo(const Selector& selector) const = 0;
};

// The selector table of a class T: each name maps to what the object does for it.
template <class T> class SelectorTable {
public:
    using Action = std::function<void(T&, Object* sender)>;
    SelectorTable(std::initializer_list<std::pair<const Selector, Action>> entries)
        : actions_(entries) {}
    bool perform(T& object, const Selector& selector, Object* sender) const {
        auto it = actions_.find(selector);
        if (it == actions_.end())
            return false;
        it->second(object, sender);
        return true;
    }
    bool contains(const Selector& selector) const { return actions_.count(selector) != 0; }
    std::vector<Selector> selectors() const {
        std::vector<Selector> names;
        for (const auto& entry : actions_)
            names.push_back(entry.first);
        return names;
    }

private:
    std::map<Selector, Action> actions_;
};

class Menu;

class MenuItem {
public:
    MenuItem(std::string title, std::optional<Selector> action, std::string keyEquivalent);

    const std::string& title() const { return title_; }
    const std::optional<Selector>& action() const { return action_; }
    const std::string& keyEquivalent() const { return keyEquivalent_; }
    Object* target() const { return target_; }
    void setTarget(Object* target) { target_ = target; }
    const std::shared_ptr<Menu>& submenu() const { return submenu_; }
    void setSubmenu(std::shared_ptr<Menu> submenu) { submenu_ = std::move(submenu); }

private:
    std::string title_;
    std::optional<Selector> action_;
    std::string keyEquivalent_;
    Object* target_ = nullptr; // not owned, as in AppKit
    std::shared_ptr<Menu> submenu_;
};

class Menu {
public:
    explicit Menu(std::string title) : title_(std::move(title)) {}
    const std::string& title() const { return title_; }
    void addItem(std::shared_ptr<MenuItem> item) { items_.push_back(std::move(item)); }
    const std::vector<std::shared_ptr<MenuItem>>& items() const { return items_; }

private:
    std::string title_;
    std::vector<std::shared_ptr<MenuItem>> items_;
};

enum class AlertStyle { warning = 0, informational = 1, critical = 2 };

// The answer of a modal alert: the first button is 1000, the second 1001, and so on.
using ModalResponse = long;
inline constexpr ModalResponse alertFirstButtonReturn = 1000;

class Alert {
public:
    AlertStyle alertStyle() const { return style_; }
    void setAlertStyle(AlertStyle style) { style_ = style; }
    const std::string& messageText() const { return message_; }
    void setMessageText(std::string text) { message_ = std::move(text); }
    const std::string& informativeText() const { return informative_; }
    void setInformativeText(std::string text) { informative_ = std::move(text); }
    void addButtonWithTitle(std::string title) { buttons_.push_back(std::move(title)); }
    const std::vector<std::string>& buttons() const { return buttons_; }

    // Shows the alert and waits for the user's answer (through the process's alert presenter).
    ModalResponse runModal();

private:
    AlertStyle style_ = AlertStyle::warning;
    std::string message_;
    std::string informative_;
    std::vector<std::string> buttons_;
};

// Who shows alerts for this process.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual ModalResponse runModal(const Alert& alert) = 0;
    static AlertPresenter& shared();
    static void setShared(std::shared_ptr<AlertPresenter> presenter);
};

struct OpenConfiguration {}; // the default configuration: no option changed

// The workspace services the Parts use.
class Workspace {
public:
    virtual ~Workspace() = default;
    // Brings the file viewer forward with these files selected.
    virtual void activateFileViewerSelectingURLs(const std::vector<URL>& urls) = 0;
    // Opens the application bundle at url; the outcome is not reported.
    virtual void openApplicationAtURL(const URL& url, const OpenConfiguration& configuration) = 0;
    // Opens a URL with its default handler (a folder in the file viewer); true when asked.
    virtual bool openURL(const URL& url) = 0;

    static Workspace& sharedWorkspace();
    static void setShared(std::shared_ptr<Workspace> workspace);
};

// One line in the system log.
void NSLog(const std::string& line);

// One line in macOS's unified log, as os_log writes it at the default level, whole (not
// redacted), under the main bundle's identifier as subsystem: `log stream` shows it. On Linux
// nowhere: the extension's standard error is the finder host's, and tests read it.
void osLog(const std::string& line);

// The description of an error as a user is shown it (for a file-system error: the system's text
// for its code, in the user's language where the system has it).
std::string localizedDescription(const std::exception& error);

} // namespace platform
