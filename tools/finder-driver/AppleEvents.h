// Finder asked with AppleScript through NSAppleScript: Finder answers "selection" and "target of
// front Finder window" in paths, where its accessibility tree holds only display names that hide
// extensions and differ per view. In the process, not through osascript, because the wait for
// the selection asks many times.
#pragma once

#include <string>

namespace lemvora::driver {

// An AppleScript string literal.
std::string quoted(const std::string& text);
// The limit of each Apple event, in seconds: 10 unless set (--event-timeout).
void setEventTimeout(double seconds);
// Runs AppleScript, once more when it timed out (Steps.h's sendEvent); throws the step's failure
// with AppleScript's own message and `call`, what it asked Finder for.
std::string appleScript(const std::string& call, const std::string& source);
// Finder's front window's folder, then its selected items, a path a line; what went wrong when
// it cannot say (no window yet is an AppleScript error).
std::string finderWindowAndSelection();

} // namespace lemvora::driver
