// One extension, running as its own process, as the finder host sees it.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include <sys/types.h>

namespace finder {

class ExtensionProcess {
public:
    explicit ExtensionProcess(std::filesystem::path appex);
    ~ExtensionProcess();
    ExtensionProcess(const ExtensionProcess&) = delete;
    ExtensionProcess& operator=(const ExtensionProcess&) = delete;

    const std::filesystem::path& appex() const { return appex_; }

    // Starts the process unless it runs, and waits for its "ready" line.
    bool ensureRunning(std::string& error);
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Readable when the extension said something.
    int outputDescriptor() const { return fromChild_; }

    // The folders the extension registered for (its directory URLs), as it last said.
    const std::set<std::filesystem::path>& directoryURLs() const { return directories_; }

    // An action under way: once its selector returned, the extension makes the document and then
    // tells of its effects ({"event":…}; an alert is answered with what onEvent returns) and its
    // end ({"done":true}), while it answers other requests. Actions end in the order sent.
    // onDone gets "" at the end, or the error that cut the action short.
    using EventHandler = std::function<long(const nlohmann::ordered_json& event)>;
    using DoneHandler = std::function<void(const std::string& error)>;
    void expect(EventHandler onEvent, DoneHandler onDone);
    bool busy() const { return !actions_.empty(); }
    // When the extension last said something.
    std::chrono::steady_clock::time_point lastHeard() const { return lastHeard_; }

    // Takes what the extension said, waiting for nothing: a new directory set, the effects and
    // ends of the actions under way.
    void takeUpdates();

    bool writeLine(const std::string& line);

    enum class Read { line, timeout, ended };
    // The next line that answers a request; what comes for the actions under way meanwhile goes
    // to them.
    Read readReply(std::string& line, int timeoutMilliseconds);

    // Ends the process: closes its input, waits a moment, then kills it. The actions under way
    // end with `why`.
    void stop(const std::string& why = "the extension ended unexpectedly");

private:
    struct Action {
        EventHandler onEvent;
        DoneHandler onDone;
    };
    Read readLine(std::string& line, int timeoutMilliseconds);
    bool takeForAction(const std::string& line);
    void endActions(const std::string& why);
    void takeDirectories(const nlohmann::json& message);

    std::filesystem::path appex_;
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string buffer_;
    std::set<std::filesystem::path> directories_;
    std::deque<Action> actions_;
    std::chrono::steady_clock::time_point lastHeard_;
};

} // namespace finder
