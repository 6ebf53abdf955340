// NSExtensionMain on Linux: the extension runs as a process of its own, as on macOS, and serves
// the finder host over its standard input and output (docs/finder-host.md). Workspace
// requests and alerts go back to the host as event lines.
#include "ExtensionProtocol.h"
#include "MainQueue.h"
#include "Volumes.h"

#include "platform/Bundle.h"
#include "platform/Dispatch.h"
#include "platform/FinderSync.h"
#include "platform/Process.h"

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

void emit(const json& value) {
    const std::string line = protocol::serialize(value) + "\n";
    if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fflush(stdout) != 0)
        std::_Exit(0); // the host is gone: nobody is left to serve (and the document queue may
                       // still be at work, so no destructor runs)
}

template <class URLs> json urlsJSON(const URLs& urls) {
    json list = json::array();
    for (const auto& url : urls)
        list.push_back(protocol::pathJSON(url));
    return list;
}

class HostWorkspace : public Workspace {
public:
    void activateFileViewerSelectingURLs(const std::vector<URL>& urls) override {
        emit({{"event", "reveal"}, {"urls", urlsJSON(urls)}});
    }
    void openApplicationAtURL(const URL& url, const OpenConfiguration&) override {
        emit({{"event", "openApplication"}, {"url", protocol::pathJSON(url)}});
    }
    bool openURL(const URL& url) override {
        emit({{"event", "openURL"}, {"url", protocol::pathJSON(url)}});
        return true;
    }
};

class HostAlertPresenter : public AlertPresenter {
public:
    explicit HostAlertPresenter(protocol::LineReader& input) : input_(input) {}
    ModalResponse runModal(const Alert& alert) override {
        static const char* const styles[] = {"warning", "informational", "critical"};
        emit({{"event", "alert"},
              {"style", styles[static_cast<int>(alert.alertStyle())]},
              {"message", alert.messageText()},
              {"informative", alert.informativeText()},
              {"buttons", alert.buttons()}});
        // Modal: nothing else is served until the host answers.
        std::string line;
        for (;;) {
            const auto status = input_.next(line);
            if (status == protocol::LineReader::Status::end)
                return alertFirstButtonReturn;
            if (status != protocol::LineReader::Status::line)
                continue;
            if (auto button = protocol::parseAlertResponse(line))
                return *button;
            emit({{"error", "an alert is waiting for {\"op\":\"alertResponse\",\"button\":N}"}});
        }
    }

private:
    protocol::LineReader& input_;
};

void serve(FinderSync& principal, protocol::LineReader& input) {
    auto& controller = FinderSyncController::defaultController();
    std::string line;
    for (;;) {
        const auto status = input.next(line);
        if (status == protocol::LineReader::Status::end)
            return;
        if (status == protocol::LineReader::Status::woken)
            continue;
        if (status == protocol::LineReader::Status::tooLong) {
            emit({{"error",
                   "request longer than " + std::to_string(protocol::maxLineLength) + " bytes"}});
            continue;
        }
        try {
            auto parsed = protocol::parseRequest(line);
            if (auto* error = std::get_if<std::string>(&parsed)) {
                emit({{"error", *error}});
                continue;
            }
            const auto& request = std::get<protocol::Request>(parsed);
            if (const auto* menu = std::get_if<protocol::MenuRequest>(&request)) {
                controller.setTargetedURL(menu->target);
                controller.setSelectedItemURLs(menu->selected);
                emit({{"menu", protocol::menuJSON(principal.menu(menu->kind).get())}});
            } else {
                const auto& send = std::get<protocol::SendRequest>(request);
                if (!principal.respondsTo(send.selector)) {
                    emit({{"error", "unknown selector " + send.selector}});
                    continue;
                }
                controller.setTargetedURL(send.target);
                controller.setSelectedItemURLs(send.selected);
                principal.perform(send.selector, nullptr);
                emit({{"returned", true}});
                // The action's reply once every job it queued has run, and nothing sooner: a
                // marker behind them on the document queue, which puts the reply behind the
                // main-queue jobs they queued (the reveal, the alert). Meanwhile the main thread
                // serves other requests.
                dispatchAsyncDocuments([] { dispatchAsyncMain([] { emit({{"done", true}}); }); });
            }
        } catch (const std::exception& e) {
            emit({{"error", std::string("request failed: ") + e.what()}});
        }
    }
}

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
    Workspace::setShared(std::make_shared<HostWorkspace>());
    AlertPresenter::setShared(std::make_shared<HostAlertPresenter>(input));

    const auto& controller = FinderSyncController::defaultController();
    // As Finder learns of a new directory set at once, the host is told between requests.
    // The main queue's jobs run between requests, as they come: those an action queued, and
    // those the document queue puts there (a reveal, an alert, an action's reply) while the host
    // sends nothing. (An alert's answer is read from there, so nothing else is served meanwhile.)
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
    serve(*principal, input);
    waitForDocuments(); // the actions under way end first, with their replies
    return 0;
}

} // namespace platform
