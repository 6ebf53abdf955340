#import <Foundation/Foundation.h>

#include "System.h"

#include <libproc.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace lemvora::driver {

std::vector<pid_t> processesEndingIn(const std::string& suffix) {
    std::vector<pid_t> pids(4096);
    const int count = proc_listallpids(pids.data(), static_cast<int>(pids.size() * sizeof(pid_t)));
    std::vector<pid_t> found;
    for (int i = 0; i < count && i < static_cast<int>(pids.size()); ++i) {
        char path[PROC_PIDPATHINFO_MAXSIZE] = {};
        if (proc_pidpath(pids[i], path, sizeof path) <= 0)
            continue;
        const std::string p(path);
        if (p.size() >= suffix.size() &&
            p.compare(p.size() - suffix.size(), suffix.size(), suffix) == 0)
            found.push_back(pids[i]);
    }
    return found;
}

std::optional<pid_t> finderProcess() {
    const auto pids = processesEndingIn("/CoreServices/Finder.app/Contents/MacOS/Finder");
    if (pids.empty())
        return std::nullopt;
    return pids.front();
}

std::optional<ProcessEntry> processEntry(long pid) {
    struct proc_bsdinfo info {};
    if (proc_pidinfo(static_cast<int>(pid), PROC_PIDTBSDINFO, 0, &info, sizeof info) !=
        static_cast<int>(sizeof info))
        return std::nullopt;
    char path[PROC_PIDPATHINFO_MAXSIZE] = {};
    const bool named = proc_pidpath(static_cast<int>(pid), path, sizeof path) > 0;
    return ProcessEntry{pid, static_cast<long>(info.pbi_ppid), named ? path : ""};
}

// The core's levels are CGWindowLevel.h's.
static_assert(level::normal == kCGNormalWindowLevel && level::dock == kCGDockWindowLevel &&
              level::mainMenu == kCGMainMenuWindowLevel && level::status == kCGStatusWindowLevel);

std::vector<ScreenWindow> windowsOnScreen() {
    std::vector<ScreenWindow> windows;
    const CFArrayRef list =
        CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly, kCGNullWindowID);
    if (!list)
        return windows;
    @autoreleasepool {
        for (NSDictionary* info in (__bridge NSArray*)list) {
            // The owner's name is there only "if present" (CGWindow.h).
            NSString* owner = info[(__bridge NSString*)kCGWindowOwnerName];
            windows.push_back({owner ? owner.UTF8String : "?",
                               [info[(__bridge NSString*)kCGWindowOwnerPID] longValue],
                               [info[(__bridge NSString*)kCGWindowLayer] longValue]});
        }
    }
    CFRelease(list);
    return windows;
}

std::vector<std::string> windowsInFrontOfFinder() {
    std::vector<long> ours;
    for (const char* suffix :
         {"/Lemvora.app/Contents/MacOS/Lemvora", "/LemvoraMenu.appex/Contents/MacOS/LemvoraMenu"})
        for (pid_t pid : processesEndingIn(suffix))
            ours.push_back(pid);
    return inFrontOfFinder(windowsOnScreen(), finderProcess().value_or(-1), ours);
}

void requireFinderInFront(const std::string& what) {
    const auto inFront = windowsInFrontOfFinder();
    if (!inFront.empty())
        throw StepFailure{"not " + what + ": in front of Finder: " + joined(inFront)};
}

int openInFinder(const std::string& folder) {
    const char* argv[] = {"/usr/bin/open", "-a", "Finder", folder.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

void postMouse(CGEventType type, CGPoint at, CGMouseButton button) {
    CGEventRef event = CGEventCreateMouseEvent(nullptr, type, at, button);
    if (event) {
        // A button's press and release are one click, as a real mouse counts it
        // (kCGMouseEventClickState, CGEventTypes.h): a count of 0 is no click to an application
        // that reads it.
        if (type != kCGEventMouseMoved)
            CGEventSetIntegerValueField(event, kCGMouseEventClickState, 1);
        CGEventPost(kCGHIDEventTap, event);
        CFRelease(event);
    }
}
void postKey(CGKeyCode key) {
    for (bool down : {true, false}) {
        CGEventRef event = CGEventCreateKeyboardEvent(nullptr, key, down);
        if (event) {
            CGEventPost(kCGHIDEventTap, event);
            CFRelease(event);
        }
    }
}

CGPoint centre(const CGRect& r) {
    return CGPointMake(CGRectGetMidX(r), CGRectGetMidY(r));
}

} // namespace lemvora::driver
