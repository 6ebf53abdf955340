# shellcheck shell=bash disable=SC2154 # the variables scripts/finder-e2e.sh sets and uses
# What is on the screen, for scripts/finder-e2e.sh, which sources this file: screenshots, the
# windows and their owners, and what this process may do there.

shot() { # a screenshot of the whole screen, numbered in the order taken
    local n
    n=$(find "$out" -name '*.png' | wc -l | tr -d ' ')
    screencapture -x "$out/$(printf %02d "$n")-$1.png" || echo "screencapture failed ($1)"
}

# The windows on screen, one a line: owner, PID, layer, tab separated. The window server tells
# owners and layers without the screen-recording consent that window titles would need
# (CGWindow.h: kCGWindowOwnerName, kCGWindowOwnerPID, kCGWindowLayer), and osascript sends no
# Apple event.
windows() {
    osascript -l JavaScript -e 'ObjC.import("CoreGraphics");
const windows = ObjC.castRefToObject($.CGWindowListCopyWindowInfo(
    $.kCGWindowListOptionOnScreenOnly, $.kCGNullWindowID));
const lines = [];
for (let i = 0; i < windows.count; i++) {
    const w = windows.objectAtIndex(i);
    lines.push([w.objectForKey("kCGWindowOwnerName"), w.objectForKey("kCGWindowOwnerPID"),
        w.objectForKey("kCGWindowLayer")].map(v => ObjC.unwrap(v)).join("\t"));
}
lines.join("\n");'
}
window_owners() { windows | cut -f1; }

# The windows in front that belong to neither Finder nor Lemvora, from windows' lines: "OWNER
# (PID P, layer L)", one a line. In front: at the normal window level (0) or above, but for the
# levels of the Dock (20), the menu bar (24) and its status items (25) (CGWindowLevel.h), which
# are always there. Older images leave such windows up: screencapture's "bypass the system
# private window picker" alert (runner-images #14474, #14166, answered by #14489), Setup
# Assistant on arm64 (#14460).
foreign_windows() {
    awk -F'\t' '$1 != "Finder" && $1 != "Lemvora" && $1 != "LemvoraMenu" && $3 >= 0 &&
        $3 != 20 && $3 != 24 && $3 != 25 { printf "%s (PID %s, layer %s)\n", $1, $2, $3 }'
}

