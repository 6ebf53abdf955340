# shellcheck shell=bash disable=SC2154 # the variables scripts/finder-e2e.sh sets and uses
# What is on the screen, for scripts/finder-e2e.sh, which sources this file: screenshots, the
# windows and their owners, and what this process may do there.

shot() { # a screenshot of the whole screen, numbered in the order taken
    local n
    n=$(find "$out" -name '*.png' | wc -l | tr -d ' ')
    screencapture -x "$out/$(printf %02d "$n")-$1.png" || echo "screencapture failed ($1)"
}

# The windows on screen, front to back, one a line: owner, PID, layer, tab separated. The window
# server tells owners and layers without the screen-recording consent that window titles would
# need (CGWindow.h: kCGWindowOwnerName, kCGWindowOwnerPID, kCGWindowLayer), and osascript sends no
# Apple event. Which stand in front of Finder, the driver's probe says.
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

# macOS 15 and later put up "<app> is requesting to bypass the system private window picker and
# directly access your screen and audio" at a capture through the older API, and the alert takes
# the front (runner-images #14166; #14474, which PR #14489 fixes). replayd keeps the reminder
# per responsible process in this file, absent from images older than that PR (merged
# 2026-08-03), which writes the runner's agent an approval dated far ahead there, then ends
# cfprefsd so that the write reaches the disk. The same here, before the first screencapture.
screen_approvals="$HOME/Library/Group Containers/group.com.apple.replayd"
screen_approvals+=/ScreenCaptureApprovals.plist
approve_screen_capture() {
    mkdir -p "$(dirname "$screen_approvals")"
    defaults write "$screen_approvals" "$agent" -date "3024-01-01 00:00:00 +0000"
    killall cfprefsd || true
    echo "screen capture approved for $agent in $screen_approvals:"
    defaults read "$screen_approvals" 2>&1 | sed 's/^/  /'
}

# The applications whose windows have been seen taking the front: Setup Assistant on the 15.7.7
# image (runner-images #14166; the image's own handling was removed by PR #14460, as the window
# "reopens upon VM reboot"); another project ends Setup Assistant, Notification Center and
# Software Update before its UI tests (xa11y/xa11y#230). NotificationCenter is the process's name
# as the image's own configure-windows.sh meets it.
front_owners="Setup Assistant|Notification Center|NotificationCenter|Software Update"

# From windows' lines: each process owning a window of front_owners, once, "PID<tab>OWNER".
front_offenders() {
    awk -F'\t' -v owners="$front_owners" 'BEGIN { n = split(owners, list, "|")
            for (i = 1; i <= n; i++) wanted[list[i]] = 1 }
        ($1 in wanted) && !seen[$2]++ { print $2 "\t" $1 }'
}

# Before the first screenshot: the approval, then each process of front_owners ended by its own
# PID, saying which. The probe then names every window still in front of Finder.
clear_front() {
    approve_screen_capture
    local listed pid owner ended=""
    if ! listed=$(windows); then
        echo "the window server's list failed: $listed"
        return 0
    fi
    while IFS=$'\t' read -r pid owner; do
        if kill "$pid"; then
            echo "ended $owner (PID $pid)"
        else
            echo "could not end $owner (PID $pid)"
        fi
        ended=1
    done < <(printf '%s\n' "$listed" | front_offenders)
    [ -n "$ended" ] || echo "no window of ${front_owners//|/, } on screen"
}
