#include "FinderHost.h"

#include "ExtensionProtocol.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>

namespace finder {

namespace fs = std::filesystem;

namespace {

void collectSelectors(const Json& menu, std::set<std::string>& into) {
    if (!menu.is_object())
        return;
    for (const auto& item : menu.value("items", Json::array())) {
        if (item.contains("action") && item["action"].is_string())
            into.insert(item["action"].get<std::string>());
        if (item.contains("submenu"))
            collectSelectors(item["submenu"], into);
    }
}

// The mount a path lies on (following links), as the kernel numbers mounts; for a path that does
// not exist, its nearest existing folder's.
std::optional<std::uint64_t> mountOf(fs::path p) {
    for (;;) {
        struct statx st {};
        if (::statx(AT_FDCWD, p.c_str(), 0, STATX_MNT_ID | STATX_INO, &st) == 0)
            return (st.stx_mask & STATX_MNT_ID) != 0
                       ? st.stx_mnt_id
                       : (std::uint64_t{st.stx_dev_major} << 32 | st.stx_dev_minor);
        if (!p.has_relative_path())
            return std::nullopt;
        p = p.parent_path();
    }
}

// Whether a registered folder covers target, as Finder has it: target is the folder or lies below
// it, on the folder's own volume. A volume mounted inside a registered folder is not covered
// unless it (or a folder on it) is registered too.
bool covers(const std::set<fs::path>& folders, const std::optional<fs::path>& target) {
    if (!target)
        return !folders.empty();
    std::error_code error;
    fs::path real = fs::weakly_canonical(*target, error);
    const std::string t = (error ? target->lexically_normal() : real).string();
    const auto volume = mountOf(t);
    for (const auto& folder : folders) {
        std::string f = fs::weakly_canonical(folder, error).string();
        if (error)
            continue;
        while (!f.empty() && f.back() == '/')
            f.pop_back();
        if ((t == f || t.compare(0, f.size() + 1, f + "/") == 0) && volume &&
            volume == mountOf(f.empty() ? "/" : f))
            return true;
    }
    return false;
}

// A request on a place: its target, and its selected items when there are any.
Json placeRequest(Json request, const std::optional<fs::path>& target,
                  const FinderHost::Paths& selected) {
    request["target"] = target ? platform::protocol::pathJSON(*target) : Json(nullptr);
    if (!selected.empty()) {
        Json& items = request["selected"] = Json::array();
        for (const auto& item : selected)
            items.push_back(platform::protocol::pathJSON(item));
    }
    return request;
}

} // namespace

FinderHost::FinderHost(std::vector<fs::path> extensions, Behaviour behaviour)
    : behaviour_(behaviour) {
    for (auto& appex : extensions) {
        extensions_.push_back(std::make_unique<ExtensionProcess>(std::move(appex)));
        lastSelectors_.emplace_back();
    }
}

bool FinderHost::request(ExtensionProcess& process, const Json& message, Json& reply,
                         std::string& error) {
    if (!process.ensureRunning(error))
        return false;
    if (!process.writeLine(platform::protocol::serialize(message))) {
        error = "the extension ended unexpectedly";
        return false;
    }
    return readReply(process, reply, error, "the extension did not answer in time");
}

bool FinderHost::readReply(ExtensionProcess& process, Json& reply, std::string& error,
                           const char* lateMessage) {
    std::string line;
    switch (process.readReply(line, behaviour_.timeoutMilliseconds)) {
    case ExtensionProcess::Read::line:
        break;
    case ExtensionProcess::Read::timeout:
        process.stop(lateMessage);
        error = lateMessage;
        return false;
    case ExtensionProcess::Read::ended:
        error = "the extension ended unexpectedly";
        return false;
    }
    reply = Json::parse(line, nullptr, false);
    if (!reply.is_object()) {
        error = "the extension answered something that is not a JSON object";
        return false;
    }
    return true;
}

Json FinderHost::menu(unsigned long kind, const std::optional<fs::path>& target,
                      const Paths& selected, std::string& error) {
    Json items = Json::array();
    bool any = false;
    for (std::size_t i = 0; i < extensions_.size(); ++i) {
        auto& process = *extensions_[i];
        std::string problem;
        if (!process.ensureRunning(problem)) {
            error = problem;
            continue;
        }
        process.takeUpdates();
        if (!covers(process.directoryURLs(), target))
            continue;
        Json reply;
        if (!request(process, placeRequest({{"op", "menu"}, {"kind", kind}}, target, selected),
                     reply, problem)) {
            error = problem;
            continue;
        }
        if (reply.contains("error")) {
            error = reply["error"].is_string() ? reply["error"].get<std::string>() : "error";
            continue;
        }
        const Json& menu = reply.contains("menu") ? reply["menu"] : Json(nullptr);
        lastSelectors_[i].clear();
        collectSelectors(menu, lastSelectors_[i]);
        if (!menu.is_object())
            continue;
        any = true;
        for (const auto& item : menu.value("items", Json::array()))
            items.push_back(item);
    }
    if (!any)
        return nullptr;
    return {{"title", ""}, {"items", items}};
}

bool FinderHost::send(const std::string& selector, const std::optional<fs::path>& target,
                      const Paths& selected, EventHandler onEvent, DoneHandler onDone,
                      std::string& error) {
    if (extensions_.empty()) {
        error = "no extension is enabled";
        return false;
    }
    // The extension whose last menu offered the selector, else the first one.
    std::size_t chosen = 0;
    for (std::size_t i = 0; i < extensions_.size(); ++i)
        if (lastSelectors_[i].count(selector) != 0) {
            chosen = i;
            break;
        }
    ExtensionProcess* process = extensions_[chosen].get();
    if (behaviour_.anotherCopy) { // ended by pump(), as the system ends such a copy
        copies_.push_back(std::make_unique<ExtensionProcess>(process->appex()));
        process = copies_.back().get();
        process->endWhenIdle();
    }
    if (!process->ensureRunning(error))
        return false;
    process->takeUpdates();
    // Named before it is sent: its effects may come before its return (it opened an application).
    const auto action = process->expect(std::move(onEvent), std::move(onDone));
    Json request = placeRequest({{"op", "send"}, {"selector", selector}}, target,
                                behaviour_.noActionSelection ? Paths{} : selected);
    request["action"] = action;
    const auto failed = [&](std::string why) {
        process->forget(action);
        if (behaviour_.anotherCopy)
            process->stop(why); // a copy is there for this action alone
        error = std::move(why);
        return false;
    };
    if (!process->writeLine(platform::protocol::serialize(request)))
        return failed("the extension ended unexpectedly");
    for (;;) {
        Json reply;
        std::string problem;
        if (!readReply(*process, reply, problem, "the extension did not answer in time"))
            return failed(problem);
        if (reply.contains("error"))
            return failed(reply["error"].is_string() ? reply["error"].get<std::string>() : "error");
        if (reply.value("returned", false) && reply.value("action", Json()) == action) {
            process->returned(action);
            return true;
        }
        return failed("the extension answered an action with " +
                      platform::protocol::serialize(reply));
    }
}

std::vector<ExtensionProcess*> FinderHost::processes() const {
    std::vector<ExtensionProcess*> all;
    for (const auto* list : {&extensions_, &copies_})
        for (const auto& process : *list)
            all.push_back(process.get());
    return all;
}

bool FinderHost::busy() const {
    for (const auto* process : processes())
        if (process->busy())
            return true;
    return false;
}

std::vector<int> FinderHost::busyDescriptors() const {
    std::vector<int> descriptors;
    for (const auto* process : processes())
        if ((process->busy() || process->waitsToEnd()) && process->running())
            descriptors.push_back(process->outputDescriptor());
    return descriptors;
}

int FinderHost::millisecondsLeft() const {
    long long left = -1;
    for (const auto* process : processes())
        if (process->busy()) {
            const auto silent = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - process->lastHeard())
                                    .count();
            const long long mine = std::max<long long>(behaviour_.timeoutMilliseconds - silent, 0);
            left = left < 0 ? mine : std::min(left, mine);
        }
    return static_cast<int>(left);
}

void FinderHost::pump() {
    for (auto* process : processes()) {
        process->takeUpdates();
        if (process->endDue())
            process->stop("the copy of the extension was ended with its action under way: it "
                          "held no activity",
                          /*kill=*/true);
        // One that said nothing for so long is taken for hung, as when it answers no request.
        else if (process->busy() && std::chrono::steady_clock::now() - process->lastHeard() >=
                                        std::chrono::milliseconds(behaviour_.timeoutMilliseconds))
            process->stop("the extension did not finish in time");
    }
    std::erase_if(copies_, [](const auto& copy) { return !copy->busy() && !copy->running(); });
}

void FinderHost::finish() {
    for (;;) {
        pump(); // first what came with the last answer, which no descriptor tells of again
        if (!busy())
            return;
        std::vector<pollfd> fds;
        for (const int fd : busyDescriptors())
            fds.push_back({fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), millisecondsLeft());
    }
}

} // namespace finder
