// The windows on screen as the window server lists them, and which of them stand in front of
// Finder: a click or a key meant for Finder would reach such a window instead.
#pragma once

#include <string>
#include <vector>

namespace lemvora::driver {

// A window on screen: its owner's name and process, and its level (CGWindow.h's
// kCGWindowOwnerName, kCGWindowOwnerPID, kCGWindowLayer).
struct ScreenWindow {
    std::string owner;
    long pid = 0;
    long layer = 0;
};

// The levels that matter here, as CGWindowLevel.h defines them (System.mm checks them against the
// SDK): Finder's windows are at the normal level; the Dock's, the menu bar's and its status
// items' windows are always there, and are no window in front.
namespace level {
inline constexpr long normal = 0, dock = 20, mainMenu = 24, status = 25;
}

// The windows, front to back as kCGWindowListOptionOnScreenOnly lists them (CGWindow.h), in front
// of Finder's front window (its first at the normal level; every window when it shows none) that
// belong neither to Finder nor to any of `ours`: at the normal level or above, the Dock's, the
// menu bar's and the status items' aside. Each as "OWNER (PID P, layer L)".
std::vector<std::string> inFrontOfFinder(const std::vector<ScreenWindow>& frontToBack, long finder,
                                         const std::vector<long>& ours);

} // namespace lemvora::driver
