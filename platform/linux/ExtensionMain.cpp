// NSExtensionMain on Linux: the extension runs as a process of its own, as on macOS, and serves
// the finder host over its standard input and output (docs/finder-host.md). Workspace
// requests, alerts and activities go back to the host as event lines.
#include "ExtensionProtocol.h"
#include "MainQueue.h"
#include "Volumes.h"

#include "platform/Bundle.h"
#include "platform/Dispatch.h"
#include "platform/FinderSync.h"
#include "platform/Process.h"
#include "platform/ProcessInfo.h"

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include <poll.h>
#include <unistd.h>

namespace platform {

namespace {

using json = nlohmann::ordered_json;

// Lines written while a batch is open wait for its end, and go out in one write (main thread).
std::string* batch = nullptr;

void write(const std::string& lines) {
    if (std::fwrite(lines.data(), 1, lines.size(), stdout) != lines.size() ||
        std::fflush(stdout) != 0)
        std::_Exit(0); // the host is gone: nobody is left to serve (and a document queue may
                       // still be at work, so no destructor runs)
}

void emit(const json& value) {
    const std::string line = protocol::serialize(value) + "\n";
    if (batch != nullptr)
        *batch += line;
    else
        write(line);
}

// An effect, under the name of the action it serves (when the host named one).
void emitEffect(json value) {
    if (const auto context = currentJobContext(); context && context->action())
        value["action"] = *context->action();
    emit(value);
}

class Batch {
public:
    Batch() { batch = &lines_; }
    ~Batch() {
        batch = nullptr;
        if (!lines_.empty())
            write(lines_);
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

private:
    std::string lines_;
};

template <class URLs> json urlsJSON(const URLs& urls) {
    json list = json::array();
    for (const auto& url : urls)
        list.push_back(protocol::pathJSON(url));
    return list;
}

class HostWorkspace : public Workspace {
public:
    void activateFileViewerSelectingURLs(const std::vector<URL>& urls) override {
        emitEffect({{"event", "reveal"}, {"urls", urlsJSON(urls)}});
    }
    void openApplicationAtURL(const URL& url, const OpenConfiguration&) override {
        emitEffect({{"event", "openApplication"}, {"url", protocol::pathJSON(url)}});
    }
    bool openURL(const URL& url) override {
        emitEffect({{"event", "openURL"}, {"url", protocol::pathJSON(url)}});
        return true;
    }
};

// Main thread only: the actions whose end is not told yet, and the ends of activities that wait
// for them.
int actionsUnderWay = 0;
int activityEndsDue = 0;

void tellActivityEnds() {
    for (; actionsUnderWay == 0 && activityEndsDue > 0; --activityEndsDue)
        emit({{"activity", "end"}});
}

// The host ends a copy it started for one action once that action returned, unless the copy
// holds an activity, and then once the activity ends (docs/finder-host.md). The end of an
// activity is told once no action is under way, each action's end first: a host that ends the
// process at that line has heard everything before it.
class HostProcessInfo : public ProcessInfo {
public:
    Activity beginActivity(const std::string& reason) override {
        emit({{"activity", "begin"}, {"reason", reason}});
        return std::make_shared<int>(0);
    }
    void endActivity(Activity) override {
        if (!isMainThread()) {
            dispatchAsyncMain([this] { endActivity(nullptr); });
            return;
        }
        ++activityEndsDue;
        tellActivityEnds();
    }
};

// The requests, served one at a time on the main thread, between the main queue's jobs.
class Server {
public:
    Server(FinderSync& principal, protocol::LineReader& input)
        : principal_(principal), input_(input) {}

    protocol::LineReader& input() { return input_; }

    // Serves every request until the host closes the input.
    void serve() {
        std::string line;
        for (;;) {
            const auto status = input_.next(line);
            if (status == protocol::LineReader::Status::end)
                return;
            take(status, line);
        }
    }

    // One line the reader gave: a request, or what stands in for one.
    void take(protocol::LineReader::Status status, const std::string& line) {
        if (status == protocol::LineReader::Status::woken)
            return;
        // A request is served under no action, even when an alert of one waits meanwhile.
        const ScopedJobContext none(nullptr);
        if (status == protocol::LineReader::Status::tooLong) {
            emit({{"error",
                   "request longer than " + std::to_string(protocol::maxLineLength) + " bytes"}});
            return;
        }
        try {
            auto parsed = protocol::parseRequest(line);
            if (auto* error = std::get_if<std::string>(&parsed)) {
                emit({{"error", *error}});
                return;
            }
            const auto& request = std::get<protocol::Request>(parsed);
            if (const auto* menu = std::get_if<protocol::MenuRequest>(&request))
                serveMenu(*menu);
            else
                serveSend(std::get<protocol::SendRequest>(request));
        } catch (const std::exception& e) {
            emit({{"error", std::string("request failed: ") + e.what()}});
        }
    }

private:
    void serveMenu(const protocol::MenuRequest& menu) {
        auto& controller = FinderSyncController::defaultController();
        controller.setTargetedURL(menu.target);
        controller.setSelectedItemURLs(menu.selected);
        emit({{"menu", protocol::menuJSON(principal_.menu(menu.kind).get())}});
    }

    // The action's jobs carry its context; once none is left, its end is told ({"done":true}),
    // so that it comes after every effect of the action, and nothing sooner. Meanwhile the main
    // thread serves other requests.
    void serveSend(const protocol::SendRequest& send) {
        if (!principal_.respondsTo(send.selector)) {
            emit({{"error", "unknown selector " + send.selector}});
            return;
        }
        auto& controller = FinderSyncController::defaultController();
        controller.setTargetedURL(send.target);
        controller.setSelectedItemURLs(send.selected);
        const auto named = [&send](json line) {
            if (send.action)
                line["action"] = *send.action;
            return line;
        };
        // What the action says before it returns (an activity it took, an application it opened),
        // its return, and its end when it left nothing behind go out in one write: a host that
        // ends the process on the return still reads them all.
        const Batch together;
        ++actionsUnderWay;
        auto context = std::make_shared<JobContext>(send.action, [done = named({{"done", true}})] {
            emit(done);
            --actionsUnderWay;
            tellActivityEnds();
        });
        {
            const ScopedJobContext scope(context);
            principal_.perform(send.selector, nullptr);
        }
        emit(named({{"returned", true}}));
        context.reset();
    }

    FinderSync& principal_;
    protocol::LineReader& input_;
};

// Modal as on a Mac, where the alert turns the main run loop: until the host answers, the process
// goes on serving (menus, other actions and their effects, the main queue's jobs), and the action
// whose alert this is ends only after the answer.
class HostAlertPresenter : public AlertPresenter {
public:
    explicit HostAlertPresenter(Server& server) : server_(server) {}
    ModalResponse runModal(const Alert& alert) override {
        static const char* const styles[] = {"warning", "informational", "critical"};
        emitEffect({{"event", "alert"},
                    {"style", styles[static_cast<int>(alert.alertStyle())]},
                    {"message", alert.messageText()},
                    {"informative", alert.informativeText()},
                    {"buttons", alert.buttons()}});
        std::string line;
        for (;;) {
            const auto status = server_.input().next(line);
            if (status == protocol::LineReader::Status::end)
                return alertFirstButtonReturn;
            if (status == protocol::LineReader::Status::line)
                if (auto button = protocol::parseAlertResponse(line))
                    return *button;
            server_.take(status, line);
        }
    }

private:
    Server& server_;
};

} // namespace

void markStartedAsExtension(); // the layer's own

int NSExtensionMain(int, char**) {
    markStartedAsExtension();
    std::signal(SIGPIPE, SIG_IGN);
    // Error descriptions in the user's language, and in its characters: with the messages alone
    // the C library would spell them in ASCII ("Eri?im engellendi").
    std::setlocale(LC_MESSAGES, "");
    std::setlocale(LC_CTYPE, "");
    const Bundle& bundle = Bundle::main();
    const auto className =
        plistString(bundle.bundleURL() / "Contents/Info.plist", "NSExtensionPrincipalClass");
    if (!className) {
        std::fprintf(stderr, "%s: no NSExtensionPrincipalClass in Contents/Info.plist\n",
                     bundle.bundleURL().c_str());
        return 1;
    }
    auto principal = makePrincipal(*className);
    if (!principal) {
        std::fprintf(stderr, "no class named %s in this extension\n", className->c_str());
        return 1;
    }
    protocol::LineReader input(STDIN_FILENO);
    Server server(*principal, input);
    Workspace::setShared(std::make_shared<HostWorkspace>());
    AlertPresenter::setShared(std::make_shared<HostAlertPresenter>(server));
    ProcessInfo::setShared(std::make_shared<HostProcessInfo>());

    const auto& controller = FinderSyncController::defaultController();
    // As Finder learns of a new directory set at once, the host is told between requests.
    // The main thread's jobs run between requests, as they come: those an action queued, and
    // those the document queues put there (a reveal, an alert, an action's end) while the host
    // sends nothing.
    input.watch(mainQueueDescriptor(), POLLIN, [] { drainMainQueue(); });
    input.watch(linux_volumes::mountTableDescriptor(), POLLPRI, [&controller] {
        const auto before = controller.directoryURLs();
        volumesChanged("mountinfo");
        if (controller.directoryURLs() != before)
            emit({{"directoryURLs", urlsJSON(controller.directoryURLs())}});
    });
    emit({{"ready", true},
          {"principalClass", *className},
          {"directoryURLs", urlsJSON(controller.directoryURLs())}});
    server.serve();
    waitForDocuments(); // the actions under way end first, with their replies
    return 0;
}

} // namespace platform
