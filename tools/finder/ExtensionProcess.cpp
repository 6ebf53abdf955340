#include "ExtensionProcess.h"

#include "ExtensionProtocol.h"

#include "platform/Process.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace finder {

namespace fs = std::filesystem;
using json = nlohmann::json;

ExtensionProcess::ExtensionProcess(fs::path appex) : appex_(std::move(appex)) {}

ExtensionProcess::~ExtensionProcess() {
    actions_.clear(); // nobody is left to tell
    stop();
}

bool ExtensionProcess::ensureRunning(std::string& error) {
    if (running())
        return true;
    const auto executable = platform::bundleExecutable(appex_);
    if (!executable || ::access(executable->c_str(), X_OK) != 0) {
        error = "not an extension bundle with an executable: " + appex_.string();
        return false;
    }
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0)
        return error = "pipe failed", false;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return error = "pipe failed", false;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::signal(SIGPIPE, SIG_DFL);
        ::execl(executable->c_str(), executable->c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    if (pid < 0) {
        ::close(in[1]);
        ::close(out[0]);
        return error = "fork failed", false;
    }
    pid_ = pid;
    toChild_ = in[1];
    fromChild_ = out[0];
    buffer_.clear();

    std::string line;
    if (readLine(line, 10000) != Read::line) {
        stop();
        error = "the extension did not start: " + appex_.string();
        return false;
    }
    const json ready = json::parse(line, nullptr, false);
    if (!ready.is_object() || ready.value("ready", false) != true) {
        stop();
        error = "the extension did not say it was ready: " + line;
        return false;
    }
    takeDirectories(ready);
    return true;
}

void ExtensionProcess::takeDirectories(const json& message) {
    directories_.clear();
    if (auto it = message.find("directoryURLs"); it != message.end() && it->is_array())
        for (const auto& d : *it)
            if (auto folder = platform::protocol::pathFromJSON(d))
                directories_.insert(*folder);
}

std::uint64_t ExtensionProcess::expect(EventHandler onEvent, DoneHandler onDone) {
    if (actions_.empty())
        lastHeard_ = std::chrono::steady_clock::now(); // its time runs from here
    actions_[++lastAction_] = {std::move(onEvent), std::move(onDone)};
    return lastAction_;
}

void ExtensionProcess::returned(std::uint64_t action) {
    if (auto it = actions_.find(action); it != actions_.end())
        it->second.returned = true;
    returned_ = true;
}

void ExtensionProcess::forget(std::uint64_t action) {
    actions_.erase(action);
}

// Lines about actions carry the name the host gave the action: an effect goes to that action
// alone, whatever else is under way, and a line that names no action under way is dropped.
bool ExtensionProcess::takeForAction(const std::string& line) {
    const auto message = nlohmann::ordered_json::parse(line, nullptr, false);
    if (!message.is_object())
        return false;
    if (const auto activity = message.find("activity"); activity != message.end()) {
        if (*activity == "begin")
            ++activities_;
        else if (*activity == "end" && activities_ > 0)
            --activities_;
        return true;
    }
    if (!(message.contains("event") || message.contains("done")))
        return false;
    const auto name = message.find("action");
    const auto it = name != message.end() && name->is_number_unsigned()
                        ? actions_.find(name->get<std::uint64_t>())
                        : actions_.end();
    if (it == actions_.end())
        return true;
    if (message.contains("done")) {
        const Action done = std::move(it->second);
        actions_.erase(it);
        done.onDone("");
        return true;
    }
    auto event = message;
    event.erase("action");
    const long answer = it->second.onEvent(event);
    if (event["event"] == "alert")
        writeLine(platform::protocol::serialize({{"op", "alertResponse"}, {"button", answer}}));
    return true;
}

void ExtensionProcess::takeUpdates() {
    std::string line;
    while (running() && readLine(line, 0) == Read::line)
        takeForAction(line); // anything else is not due between requests: dropped
}

ExtensionProcess::Read ExtensionProcess::readReply(std::string& line, int timeoutMilliseconds) {
    for (;;) {
        const Read read = readLine(line, timeoutMilliseconds);
        if (read != Read::line || !takeForAction(line))
            return read;
    }
}

bool ExtensionProcess::writeLine(const std::string& line) {
    if (!running())
        return false;
    const std::string data = line + "\n";
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(toChild_, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            stop();
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

ExtensionProcess::Read ExtensionProcess::readLine(std::string& line, int timeoutMilliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    // The extension tells of a new directory set whenever it has one ({"directoryURLs":[…]}),
    // between or within requests: taken here, never handed on as an answer.
    static const std::string update = "{\"directoryURLs\":";
    for (;;) {
        if (const auto newline = buffer_.find('\n'); newline != std::string::npos) {
            line.assign(buffer_, 0, newline);
            buffer_.erase(0, newline + 1);
            lastHeard_ = std::chrono::steady_clock::now();
            if (line.compare(0, update.size(), update) != 0)
                return Read::line;
            takeDirectories(json::parse(line, nullptr, false));
            continue;
        }
        if (!running())
            return Read::ended;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd fd{fromChild_, POLLIN, 0};
        const int ready = ::poll(&fd, 1, static_cast<int>(std::max<long long>(left, 0)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return Read::timeout;
        char chunk[65536];
        const ssize_t n = ::read(fromChild_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            stop();
            return Read::ended;
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

// Those that returned; one still being sent is its sender's to report.
void ExtensionProcess::endActions(const std::string& why) {
    std::vector<Action> cut;
    for (auto it = actions_.begin(); it != actions_.end();)
        if (it->second.returned) {
            cut.push_back(std::move(it->second));
            it = actions_.erase(it);
        } else {
            ++it;
        }
    for (const auto& action : cut)
        action.onDone(why);
}

void ExtensionProcess::stop(const std::string& why, bool kill) {
    if (toChild_ >= 0)
        ::close(toChild_);
    if (fromChild_ >= 0)
        ::close(fromChild_);
    toChild_ = fromChild_ = -1;
    activities_ = 0;
    if (pid_ > 0) {
        // Closing its input asks it to end; give it a moment before insisting.
        for (int i = 0; i < (kill ? 0 : 100); ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                endActions(why);
                return;
            }
            ::usleep(10000);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
    endActions(why);
}

} // namespace finder
