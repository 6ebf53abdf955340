// lemvora-finder: plays Finder and the system for Finder Sync extensions on Linux.
//
//   lemvora-finder PATH                      the "Yeni Belge" menu for PATH; pick by number
//   lemvora-finder --script [--extension APPEX]
//                                            one JSON request a line on stdin, answers on stdout
//     --action-in-another-copy               (either mode) each action goes to a new process of
//                                            the extension, not the one that served the menu
//     --action-without-selection             (either mode) an action is told nothing is selected
//     --timeout SECONDS                      (either mode) how long an extension may keep silent
//                                            (30)
//   lemvora-finder extensions                the enabled extensions, one a line
//   lemvora-finder extensions enable PATH    enable the extension bundle at PATH (…/X.appex)
//   lemvora-finder extensions disable PATH
//
// docs/finder-host.md describes the script protocol.
#include "FinderHost.h"

#include "ExtensionProtocol.h"
#include "platform/AppKit.h"
#include "platform/ExtensionRegistry.h"
#include "platform/Process.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <list>
#include <optional>
#include <string>

#include <poll.h>
#include <unistd.h>

namespace fs = std::filesystem;
using finder::Json;

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: lemvora-finder [OPTION...] PATH\n"
                 "       lemvora-finder --script [--extension APPEX_PATH] [OPTION...]\n"
                 "       lemvora-finder extensions [enable|disable APPEX_PATH]\n"
                 "options: --action-in-another-copy, --action-without-selection,\n"
                 "         --timeout SECONDS (how long an extension may keep silent: 30)\n");
    return 2;
}

void print(const Json& value) {
    std::fputs((platform::protocol::serialize(value) + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// Reveal in the desktop's file manager too, when a desktop session is there to ask.
void revealOnDesktop(const Json& event) {
    std::vector<platform::URL> urls;
    for (const auto& u : event.value("urls", Json::array()))
        if (auto url = platform::protocol::pathFromJSON(u))
            urls.push_back(std::move(*url));
    platform::Workspace::sharedWorkspace().activateFileViewerSelectingURLs(urls);
}

int extensionsCommand(int argc, char** argv) {
    if (argc == 2) {
        for (const auto& appex : platform::registry::enabledExtensions())
            std::printf("%s\n", appex.c_str());
        return 0;
    }
    if (argc != 4 || (std::strcmp(argv[2], "enable") != 0 && std::strcmp(argv[2], "disable") != 0))
        return usage();
    const fs::path appex = fs::absolute(argv[3]);
    try {
        if (std::strcmp(argv[2], "disable") == 0) {
            platform::registry::disable(appex);
            return 0;
        }
        const auto point =
            platform::plistString(appex / "Contents/Info.plist", "NSExtensionPointIdentifier");
        const auto executable = platform::bundleExecutable(appex);
        if (point != "com.apple.FinderSync" || !executable || !fs::exists(*executable)) {
            std::fprintf(stderr, "lemvora-finder: %s is not a Finder Sync extension bundle\n",
                         appex.c_str());
            return 1;
        }
        platform::registry::enable(appex);
        return 0;
    } catch (const fs::filesystem_error& e) {
        std::fprintf(stderr, "lemvora-finder: %s\n", e.what());
        return 1;
    }
}

// As Finder does, the host goes on serving requests while an action is under way: a menu asked
// for meanwhile is answered at once. Each action's own answer ({"done":true} or its error) comes
// when the extension reports the action over, in the order the actions were requested.
int scriptMode(finder::FinderHost& host) {
    platform::protocol::LineReader input(STDIN_FILENO);
    std::list<std::optional<Json>> answers; // of the actions under way, in request order
    const auto printReady = [&answers] {
        while (!answers.empty() && answers.front()) {
            print(*answers.front());
            answers.pop_front();
        }
    };
    std::string line;
    for (;;) {
        host.pump(); // what came with the last answer, too, which no descriptor tells of again
        input.unwatchAll();
        for (const int fd : host.busyDescriptors())
            input.watch(fd, POLLIN, [&host] { host.pump(); });
        const auto status = input.next(line, host.millisecondsLeft());
        if (status == platform::protocol::LineReader::Status::end) {
            host.finish();
            return 0;
        }
        if (status == platform::protocol::LineReader::Status::woken)
            continue; // an extension said something, or an action's time ran out
        if (status == platform::protocol::LineReader::Status::tooLong) {
            print({{"error", "request too long"}});
            continue;
        }
        auto parsed = platform::protocol::parseRequest(line);
        if (auto* error = std::get_if<std::string>(&parsed)) {
            print({{"error", *error}});
            continue;
        }
        std::string error;
        const auto& request = std::get<platform::protocol::Request>(parsed);
        if (const auto* menu = std::get_if<platform::protocol::MenuRequest>(&request)) {
            Json result = host.menu(menu->kind, menu->target, menu->selected, error);
            if (result.is_null() && !error.empty())
                print({{"error", error}});
            else
                print({{"menu", result}});
            continue;
        }
        const auto& send = std::get<platform::protocol::SendRequest>(request);
        const auto answer = answers.emplace(answers.end());
        const bool started = host.send(
            send.selector, send.target, send.selected,
            [](const Json& event) -> long {
                print(event);
                if (event["event"] == "reveal")
                    revealOnDesktop(event);
                return platform::alertFirstButtonReturn;
            },
            [answer, &printReady](const std::string& failure) {
                *answer = failure.empty() ? Json{{"done", true}} : Json{{"error", failure}};
                printReady();
            },
            error);
        if (!started) {
            *answer = Json{{"error", error}};
            printReady();
        }
    }
}

// Finds the "Yeni Belge" style submenu: the first root item that has one.
const Json* firstSubmenu(const Json& menu) {
    if (!menu.contains("items") || !menu["items"].is_array())
        return nullptr;
    for (const auto& item : menu["items"])
        if (item.contains("submenu") && item["submenu"].is_object())
            return &item["submenu"];
    return nullptr;
}

int interactiveMode(finder::FinderHost& host, const char* argument) {
    const fs::path path = fs::absolute(argument).lexically_normal();
    std::error_code ec;
    // As in Finder: a folder's background menu targets that folder; a menu on anything else is
    // one on a selected item, and targets the folder it is shown in.
    const unsigned long kind = fs::is_directory(path, ec) ? 1 : 0;
    const fs::path target = kind == 1 ? path : path.parent_path();
    const finder::FinderHost::Paths selected =
        kind == 1 ? finder::FinderHost::Paths{} : finder::FinderHost::Paths{path};
    std::string error;
    const Json menu = host.menu(kind, target, selected, error);
    const Json* submenu = menu.is_object() ? firstSubmenu(menu) : nullptr;
    if (submenu == nullptr) {
        std::fprintf(stderr, "lemvora-finder: %s\n",
                     error.empty() ? "no extension offers a menu here" : error.c_str());
        return 1;
    }
    const auto& items = (*submenu)["items"];
    std::printf("%s — %s\n", (*submenu)["title"].get<std::string>().c_str(), path.c_str());
    for (std::size_t i = 0; i < items.size(); ++i)
        std::printf("  %2zu) %s\n", i + 1, items[i]["title"].get<std::string>().c_str());
    std::size_t choice = 0;
    for (;;) {
        std::printf("Seçim (1-%zu, boş bırakırsan vazgeçilir): ", items.size());
        std::fflush(stdout);
        std::string answer;
        if (!std::getline(std::cin, answer) || answer.empty())
            return 0; // nothing chosen: leave quietly
        choice = 0;
        if (answer.find_first_not_of("0123456789") == std::string::npos && answer.size() < 6)
            choice = std::stoul(answer);
        if (choice >= 1 && choice <= items.size() && items[choice - 1]["action"].is_string())
            break;
        std::printf("Böyle bir seçenek yok: %s\n", answer.c_str());
    }
    const bool started = host.send(
        items[choice - 1]["action"].get<std::string>(), target, selected,
        [](const Json& event) -> long {
            const std::string kindOfEvent = event["event"].get<std::string>();
            if (kindOfEvent == "reveal") {
                for (const auto& url : event["urls"])
                    std::printf("Oluşturuldu: %s\n",
                                platform::protocol::pathFromJSON(url).value_or("?").c_str());
                revealOnDesktop(event);
            } else if (kindOfEvent == "alert") {
                std::printf(
                    "\n  ⚠ %s\n    %s\n    [%s]\n\n", event["message"].get<std::string>().c_str(),
                    event["informative"].get<std::string>().c_str(),
                    event["buttons"].empty() ? "Tamam"
                                             : event["buttons"][0].get<std::string>().c_str());
            } else if (kindOfEvent == "openApplication" || kindOfEvent == "openURL") {
                const platform::URL url =
                    platform::protocol::pathFromJSON(event["url"]).value_or(platform::URL());
                std::printf("Açılıyor: %s\n", url.c_str());
                if (kindOfEvent == "openApplication")
                    platform::Workspace::sharedWorkspace().openApplicationAtURL(url, {});
                else
                    platform::Workspace::sharedWorkspace().openURL(url);
            }
            std::fflush(stdout);
            return platform::alertFirstButtonReturn;
        },
        [&error](const std::string& failure) { error = failure; }, error);
    host.finish();
    if (!started || !error.empty()) {
        std::fprintf(stderr, "lemvora-finder: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN); // an extension that dies must not take the host with it
    if (argc < 2)
        return usage();
    if (std::strcmp(argv[1], "extensions") == 0)
        return extensionsCommand(argc, argv);

    std::vector<fs::path> extensions;
    finder::Behaviour behaviour;
    bool script = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--script") == 0)
            script = true;
        else if (std::strcmp(argv[i], "--action-in-another-copy") == 0)
            behaviour.anotherCopy = true;
        else if (std::strcmp(argv[i], "--action-without-selection") == 0)
            behaviour.noActionSelection = true;
        else if (std::strcmp(argv[i], "--extension") == 0 && i + 1 < argc)
            extensions.push_back(fs::absolute(argv[++i]));
        else if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
            char* end = nullptr;
            const double seconds = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(seconds > 0 && seconds <= 86400))
                return usage();
            behaviour.timeoutMilliseconds = static_cast<int>(seconds * 1000);
        } else if (argv[i][0] != '-' && path == nullptr)
            path = argv[i];
        else
            return usage();
    }
    if (script == (path != nullptr))
        return usage();
    if (extensions.empty())
        extensions = platform::registry::enabledExtensions();
    if (extensions.empty() && !script) {
        std::fprintf(stderr, "lemvora-finder: no extension is enabled "
                             "(lemvora-finder extensions enable …/LemvoraMenu.appex)\n");
        return 1;
    }
    finder::FinderHost host(std::move(extensions), behaviour);
    return script ? scriptMode(host) : interactiveMode(host, path);
}
