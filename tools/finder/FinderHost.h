// The finder host plays Finder for Linux: it runs the enabled extensions, asks them for menus,
// delivers the chosen item's selector, and passes on what they ask of the system.
#pragma once

#include "ExtensionProcess.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace finder {

using Json = nlohmann::ordered_json;

// What Finder may do that a plain session does not show; each makes the extension meet it in
// the tests. anotherCopy: every action goes to a new process of the extension, one that served
// no menu (Finder runs a copy for each Open or Save dialog too), which is ended as the system
// ends such a copy. noActionSelection: an action is told no item is selected, whatever the menu
// was opened on. timeoutMilliseconds: how long an extension may take to answer a request, or
// stay silent while an action of it is under way, before it is taken for hung and killed.
struct Behaviour {
    bool anotherCopy = false;
    bool noActionSelection = false;
    int timeoutMilliseconds = 30000;
};
class FinderHost {
public:
    explicit FinderHost(std::vector<std::filesystem::path> extensions, Behaviour behaviour = {});

    using Paths = std::vector<std::filesystem::path>;

    // The menu of a kind for a target path (with the items selected there): the root items of
    // every extension that serves one for that place, in order; null when none does. Problems go
    // to `error`.
    Json menu(unsigned long kind, const std::optional<std::filesystem::path>& target,
              const Paths& selected, std::string& error);

    // Delivers a selector with the target as the targeted URL and the selected items as the
    // selected ones, and returns once the extension took it (its action returned); false, with
    // `error`, when it could not. As Finder does, the host serves other requests meanwhile: each
    // effect the extension asks for comes to onEvent as it comes ({"event":…}; an alert is
    // answered with what onEvent returns), and onDone gets the end ("", or why the action could
    // not complete), through pump().
    using EventHandler = ExtensionProcess::EventHandler;
    using DoneHandler = ExtensionProcess::DoneHandler;
    bool send(const std::string& selector, const std::optional<std::filesystem::path>& target,
              const Paths& selected, EventHandler onEvent, DoneHandler onDone, std::string& error);

    // While actions are under way: the descriptors to wait on, readable when an extension said
    // something (a copy that waits to be ended too), and how long to wait at most (-1 when no
    // action is under way).
    std::vector<int> busyDescriptors() const;
    int millisecondsLeft() const;
    // Takes what the extensions said, waiting for nothing; ends the actions whose extension said
    // nothing for too long, and the copies due to be ended.
    void pump();
    bool busy() const;
    // Waits until no action is under way.
    void finish();

    const std::vector<std::unique_ptr<ExtensionProcess>>& extensions() const { return extensions_; }

private:
    bool request(ExtensionProcess& process, const Json& request, Json& reply, std::string& error);
    // The extension's next line as a JSON object; `lateMessage` when it takes too long.
    bool readReply(ExtensionProcess& process, Json& reply, std::string& error,
                   const char* lateMessage);
    // Every process, those of the extensions and the copies started for actions.
    std::vector<ExtensionProcess*> processes() const;

    std::vector<std::unique_ptr<ExtensionProcess>> extensions_;
    std::vector<std::set<std::string>> lastSelectors_;
    // The copies started for actions (Behaviour::anotherCopy), each ended after its action.
    std::vector<std::unique_ptr<ExtensionProcess>> copies_;
    Behaviour behaviour_;
};

} // namespace finder
