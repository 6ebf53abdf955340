// The Mac's processes, its clock, and the input the driver synthesizes (CoreGraphics' events).
#pragma once

#import <ApplicationServices/ApplicationServices.h>
#include <sys/types.h>

#include "Ancestry.h"
#include "OnScreen.h"
#include "Steps.h"

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace lemvora::driver {

class RealClock final : public Clock {
public:
    double now() override {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void pause(double seconds) override {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }
};

// The processes whose executable's path ends so, such as ".../Lemvora.app/Contents/MacOS/Lemvora".
std::vector<pid_t> processesEndingIn(const std::string& suffix);
std::optional<pid_t> finderProcess();
// A process's parent and executable (libproc.h: proc_pidinfo's PROC_PIDTBSDINFO, proc_pidpath).
std::optional<ProcessEntry> processEntry(long pid);

// The windows on screen, front to back (CGWindowListCopyWindowInfo); none when there is no window
// server to ask.
std::vector<ScreenWindow> windowsOnScreen();
// Those in front of Finder's front window, of processes other than Finder, Lemvora and its
// extension (OnScreen.h).
std::vector<std::string> windowsInFrontOfFinder();
// Raises the step's failure naming them, if any: `what` (a right-click, a key) would reach them.
void requireFinderInFront(const std::string& what);

// Opens `folder` in Finder through Launch Services, as `open -a Finder FOLDER` does, without an
// Apple event of ours; returns open's exit status (-1 when it could not be started).
int openInFinder(const std::string& folder);

// The posting of synthesized input: the fallback right-click, hovering over an item, a key.
void postMouse(CGEventType type, CGPoint at, CGMouseButton button);
void postKey(CGKeyCode key);                     // virtual key codes of HIToolbox's Events.h
inline constexpr CGKeyCode keyEscape = 0x35;     // kVK_Escape
inline constexpr CGKeyCode keyRightArrow = 0x7C; // kVK_RightArrow
inline constexpr CGKeyCode keyReturn = 0x24;     // kVK_Return
CGPoint centre(const CGRect& r);

} // namespace lemvora::driver
