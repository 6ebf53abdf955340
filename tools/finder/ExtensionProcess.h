// One extension, running as its own process, as the finder host sees it.
#pragma once

#include <nlohmann/json.hpp>

#include <filesystem>
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

    // The folders the extension registered for (its directory URLs), as it last said.
    const std::set<std::filesystem::path>& directoryURLs() const { return directories_; }
    // Takes what the extension said since its last answer (a new directory set), waiting for
    // nothing.
    void takeUpdates();

    bool writeLine(const std::string& line);

    enum class Read { line, timeout, ended };
    Read readLine(std::string& line, int timeoutMilliseconds);

    // Ends the process: closes its input, waits a moment, then kills it.
    void stop();

private:
    void takeDirectories(const nlohmann::json& message);

    std::filesystem::path appex_;
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string buffer_;
    std::set<std::filesystem::path> directories_;
};

} // namespace finder
