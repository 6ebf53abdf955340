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
// no menu (Finder runs a copy for each Open or Save dialog too). noActionSelection: an action
// is told no item is selected, whatever the menu was opened on.
struct Behaviour {
    bool anotherCopy = false;
    bool noActionSelection = false;
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
    // selected ones. Each effect the extension asks for is handed to onEvent as it comes
    // ({"event":…}); an alert is answered with what onEvent returns for it. Returns false, with
    // `error`, when the action could not complete.
    using EventHandler = std::function<long(const Json& event)>;
    bool send(const std::string& selector, const std::optional<std::filesystem::path>& target,
              const Paths& selected, const EventHandler& onEvent, std::string& error);

    const std::vector<std::unique_ptr<ExtensionProcess>>& extensions() const { return extensions_; }

private:
    struct Served {
        std::unique_ptr<ExtensionProcess> process;
        std::set<std::string> selectors; // the actions of the last menu it served
    };
    static constexpr int replyTimeoutMilliseconds = 30000;
    bool request(ExtensionProcess& process, const Json& request, Json& reply, std::string& error);
    // The extension's next line as a JSON object; `lateMessage` when it takes too long.
    bool readReply(ExtensionProcess& process, Json& reply, std::string& error,
                   const char* lateMessage);

    std::vector<std::unique_ptr<ExtensionProcess>> extensions_;
    std::vector<std::set<std::string>> lastSelectors_;
    Behaviour behaviour_;
};

} // namespace finder
