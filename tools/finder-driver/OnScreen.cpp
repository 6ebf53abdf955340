#include "OnScreen.h"

#include <algorithm>

namespace lemvora::driver {

std::vector<std::string> inFrontOfFinder(const std::vector<ScreenWindow>& frontToBack, long finder,
                                         const std::vector<long>& ours) {
    std::vector<std::string> found;
    for (const auto& window : frontToBack) {
        if (window.pid == finder) {
            if (window.layer == level::normal)
                break; // Finder's front window: the rest are behind it
            continue;  // its menus
        }
        if (window.layer < level::normal || window.layer == level::dock ||
            window.layer == level::mainMenu || window.layer == level::status ||
            std::find(ours.begin(), ours.end(), window.pid) != ours.end())
            continue;
        found.push_back(window.owner + " (PID " + std::to_string(window.pid) + ", layer " +
                        std::to_string(window.layer) + ")");
    }
    return found;
}

} // namespace lemvora::driver
