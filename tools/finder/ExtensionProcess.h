// One extension, running as its own process, as the finder host sees it.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
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

    // An action about to be sent, under the name returned, which the extension gives back on
    // every line about it: its return ({"returned":true}), its effects ({"event":…}; an alert is
    // answered with what onEvent returns, which gets the event without the name) and its end
    // ({"done":true}), while it answers other requests. Actions on different volumes may end in
    // any order. onDone gets "" at the end, or the error that cut the action short, once the
    // action returned (see returned()); before that, its sender reports what went wrong, and
    // forgets it.
    using EventHandler = std::function<long(const nlohmann::ordered_json& event)>;
    using DoneHandler = std::function<void(const std::string& error)>;
    std::uint64_t expect(EventHandler onEvent, DoneHandler onDone);
    void returned(std::uint64_t action);
    void forget(std::uint64_t action);
    bool busy() const { return !actions_.empty(); }
    // When the extension last said something.
    std::chrono::steady_clock::time_point lastHeard() const { return lastHeard_; }

    // A copy started for one action, as the system starts one for an Open or Save dialog: it is
    // ended as soon as its action has returned, unless it holds an activity
    // ({"activity":"begin"} not yet followed by its {"activity":"end"}), and then as soon as it
    // holds none (App Extension Programming Guide: the system terminates an extension shortly
    // after it performed its task; NSProcessInfo.h: an activity keeps it).
    void endWhenIdle() { endsWhenIdle_ = true; }
    bool holdsActivity() const { return activities_ > 0; }
    // Whether the host should end it now (see endWhenIdle), and whether it waits for that.
    bool endDue() const { return endsWhenIdle_ && returned_ && activities_ == 0 && running(); }
    bool waitsToEnd() const { return endsWhenIdle_ && running() && (returned_ || busy()); }

    // Takes what the extension said, waiting for nothing: a new directory set, activities, the
    // effects and ends of the actions under way.
    void takeUpdates();

    bool writeLine(const std::string& line);

    enum class Read { line, timeout, ended };
    // The next line that answers a request; what comes for the actions under way meanwhile goes
    // to them.
    Read readReply(std::string& line, int timeoutMilliseconds);

    // Ends the process: closes its input, waits a moment, then kills it (at once, as the system
    // ends an extension, when `kill`). The actions under way end with `why`.
    void stop(const std::string& why = "the extension ended unexpectedly", bool kill = false);

private:
    struct Action {
        EventHandler onEvent;
        DoneHandler onDone;
        bool returned = false;
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
    std::map<std::uint64_t, Action> actions_;
    std::uint64_t lastAction_ = 0;
    int activities_ = 0;
    bool endsWhenIdle_ = false;
    bool returned_ = false; // an action of it has returned
    std::chrono::steady_clock::time_point lastHeard_;
};

} // namespace finder
