#include "System.h"

#include <libproc.h>

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
