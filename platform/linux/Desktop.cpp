// What the Linux desktop offers the Parts: the workspace (file manager, default handlers,
// applications), alerts outside the finder host, the log, and the extension registry's answers.
#include "platform/AppKit.h"
#include "platform/Bundle.h"
#include "platform/ExtensionRegistry.h"
#include "platform/FinderSync.h"
#include "platform/Process.h"
#include "platform/ProcessInfo.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

bool spawnDetached(const std::vector<std::string>& argv) {
    if (argv.empty())
        return false;
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
        return false;
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        // A grandchild in a session of its own, so the caller need not reap it, and holding none
        // of the caller's pipes open.
        ::setsid();
        if (::fork() != 0)
            ::_exit(0);
        const int null = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; ++fd)
            ::dup2(null, fd);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        const char failed = 1;
        (void)!::write(ready[1], &failed, 1);
        ::_exit(127);
    }
    ::close(ready[1]);
    ::waitpid(child, nullptr, 0);
    char failed = 0;
    const bool started = ::read(ready[0], &failed, 1) != 1; // closed on exec: started
    ::close(ready[0]);
    return started;
}

std::optional<std::string> plistString(const std::filesystem::path& plist, const std::string& key) {
    std::ifstream in(plist);
    std::stringstream text;
    text << in.rdbuf();
    const std::string content = text.str();
    const std::string tag = "<key>" + key + "</key>";
    const auto at = content.find(tag);
    if (at == std::string::npos)
        return std::nullopt;
    static const std::regex value(R"(^\s*<string>([^<]*)</string>)");
    std::smatch match;
    const std::string rest = content.substr(at + tag.size(), 4096);
    if (!std::regex_search(rest, match, value))
        return std::nullopt;
    return match[1].str();
}

std::optional<std::filesystem::path> bundleExecutable(const std::filesystem::path& bundle) {
    auto name = plistString(bundle / "Contents/Info.plist", "CFBundleExecutable");
    if (!name || name->empty() || name->find('/') != std::string::npos)
        return std::nullopt;
    return bundle / "Contents/MacOS" / *name;
}

std::string fileURLString(const std::filesystem::path& p) {
    static const char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : p.native()) {
        if (std::isalnum(c) || std::strchr("/-._~", c) != nullptr)
            url += static_cast<char>(c);
        else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

void NSLog(const std::string& line) {
    // As the macOS system log prints it: time, process name and id, then the line.
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(stderr, "%s.%03lld %s[%d] %s\n", stamp, static_cast<long long>(millis),
                 program_invocation_short_name, ::getpid(), line.c_str());
    std::fflush(stderr);
}

void osLog(const std::string&) {}

namespace {

bool haveSessionBus() {
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    return bus != nullptr && *bus != '\0';
}

// The desktop: the file manager through its D-Bus interface, xdg-open for URLs, and bundles
// started through their executables.
class DesktopWorkspace : public Workspace {
public:
    void activateFileViewerSelectingURLs(const std::vector<URL>& urls) override {
        if (urls.empty() || !haveSessionBus())
            return;
        std::string list = "[";
        for (const auto& url : urls)
            list += (list.size() > 1 ? ", '" : "'") + fileURLString(url) + "'";
        list += "]";
        spawnDetached({"gdbus", "call", "--session", "--dest", "org.freedesktop.FileManager1",
                       "--object-path", "/org/freedesktop/FileManager1", "--method",
                       "org.freedesktop.FileManager1.ShowItems", list, ""});
    }
    void openApplicationAtURL(const URL& url, const OpenConfiguration&) override {
        if (auto executable = bundleExecutable(url))
            spawnDetached({executable->string()});
    }
    bool openURL(const URL& url) override { return spawnDetached({"xdg-open", url.string()}); }
};

class TerminalAlertPresenter : public AlertPresenter {
public:
    ModalResponse runModal(const Alert& alert) override {
        std::fprintf(stderr, "%s\n%s\n", alert.messageText().c_str(),
                     alert.informativeText().c_str());
        return alertFirstButtonReturn;
    }
};

// Outside the finder host nothing ends a process that has work under way (the extension's own
// tells the host: ExtensionMain.cpp).
class PlainProcessInfo : public ProcessInfo {
public:
    Activity beginActivity(const std::string&) override { return nullptr; }
    void endActivity(Activity) override {}
};

} // namespace

std::shared_ptr<ProcessInfo> defaultProcessInfo() {
    return std::make_shared<PlainProcessInfo>();
}
std::shared_ptr<AlertPresenter> defaultAlertPresenter() {
    return std::make_shared<TerminalAlertPresenter>();
}
std::shared_ptr<Workspace> defaultWorkspace() {
    return std::make_shared<DesktopWorkspace>();
}

bool FinderSyncController::isExtensionEnabled() {
    return registry::isEnabled(Bundle::main().bundleURL() / "Contents/PlugIns/LemvoraMenu.appex");
}

} // namespace platform
