#!/usr/bin/env bash
# The Mac workflow's "finder" job: the real Finder as the test host. Each step of the job is one
# verb of this script, so that the job's log shows which one failed.
#
#   scripts/finder-e2e.sh front        before the first screenshot: screen capture approved for
#                                      the runner's agent, the windows known to take the front
#                                      ended, each by its PID
#   scripts/finder-e2e.sh probe NAME   what the runner offers, into probe-NAME.txt too; never
#                                      fails. The first probe records the job's start, from
#                                      which the logs are read
#   scripts/finder-e2e.sh install      Lemvora into ~/Applications with ditto, the build's copy
#                                      deleted; the extension registered there only, enabled,
#                                      loaded by a new Finder
#   scripts/finder-e2e.sh first-start  Lemvora once: the starter set in the template folder
#   scripts/finder-e2e.sh grants       Accessibility and PostEvent for the process that really
#                                      asks (rows written only if the driver lacks them), and
#                                      the consent for removable volumes
#   scripts/finder-e2e.sh cases        the menu's cases and the host window, through the driver
#   scripts/finder-e2e.sh collect      the logs, pluginkit's view, the listings; on every run
#
# It installs and enables the extension, restarts Finder and writes to the privacy databases:
# meant for a throwaway runner, it stops unless GITHUB_ACTIONS=true or LEMVORA_E2E=1. The build
# it installs is build-release (LEMVORA_BUILD to change). Screenshots, logs and listings go to
# $RUNNER_TEMP/finder-e2e (LEMVORA_E2E_OUT), what Finder showed in each menu case to its ax/.
# Never Desktop, Documents or Downloads: the extension's first write there asks the user. No
# case passes by being skipped. The rest lives beside it, in scripts/finder-e2e/: the menu cases
# and the host window (cases.sh), the privacy databases (tcc.sh), the disk images (volumes.sh),
# the reading of Apple's tools' output (parse.sh), the screen (screen.sh), the logs (logs.sh).
#
# Sourced (tests/tools/finder_e2e_test.sh), it only defines its functions.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

app_id=com.lemvora.Lemvora
extension_id=$app_id.LemvoraMenu
build=${LEMVORA_BUILD:-build-release}
[[ $build = /* ]] || build=$PWD/$build
driver="$build/tools/finder-driver/lemvora-finder-driver"
app="$HOME/Applications/Lemvora.app"
appex="$app/Contents/PlugIns/LemvoraMenu.appex"
templates="$HOME/Library/Application Support/Lemvora/Şablonlar"
root="$HOME/LemvoraE2E"
out="${LEMVORA_E2E_OUT:-${RUNNER_TEMP:-/tmp}/finder-e2e}"
starter=("10 Yeni Metin Belgesi.txt" "20 Yeni Markdown Belgesi.md" "30 Yeni Word Belgesi.docx"
    "40 Yeni Excel Çalışma Kitabı.xlsx" "50 Yeni PowerPoint Sunusu.pptx")
titles=("Metin Belgesi" "Markdown Belgesi" "Word Belgesi" "Excel Çalışma Kitabı"
    "PowerPoint Sunusu")
mkdir -p "$out"
# shellcheck source=scripts/finder-e2e/cases.sh
source scripts/finder-e2e/cases.sh
# shellcheck source=scripts/finder-e2e/logs.sh
source scripts/finder-e2e/logs.sh
# shellcheck source=scripts/finder-e2e/parse.sh
source scripts/finder-e2e/parse.sh
# shellcheck source=scripts/finder-e2e/screen.sh
source scripts/finder-e2e/screen.sh
# shellcheck source=scripts/finder-e2e/tcc.sh
source scripts/finder-e2e/tcc.sh
# shellcheck source=scripts/finder-e2e/volumes.sh
source scripts/finder-e2e/volumes.sh

fail() {
    echo "finder-e2e: FAILED: $*" >&2
    shot "failed"
    exit 1
}

# COMMAND's output; when it fails, the step fails with a line naming it, its status and what it
# printed (a capture under set -e would otherwise end the script without a word). In a capture,
# that ends the capture's shell: follow it with "|| exit 1", which holds where set -e does not
# (inside an `if` or a `||` list).
checked() {
    local said status=0
    said=$("$@" 2>&1) || status=$?
    [ "$status" = 0 ] ||
        fail "\"$*\" ended with status $status: $(printf '%s' "$said" | tr '\n' ' ')"
    printf '%s\n' "$said"
}

# COMMAND, and all it starts, ended after SECONDS; its status (143 when ended), and a line
# naming it when ended: bounded SECONDS COMMAND... Each runs in a process group of its own
# (set -m), so that ending one ends the processes it started.
bounded() {
    local limit=$1 pid watchdog status=0
    shift
    set -m
    "$@" &
    pid=$!
    # Once it has slept, the watchdog ignores being ended: it ends COMMAND, and says so; COMMAND
    # alone should it not lead its group yet.
    (sleep "$limit" && trap '' TERM &&
        { kill -TERM -- "-$pid" 2>/dev/null || kill -TERM "$pid" 2>/dev/null; }) &
    watchdog=$!
    set +m
    wait "$pid" || status=$?
    kill -- "-$watchdog" 2>/dev/null || true
    if wait "$watchdog" 2>/dev/null; then
        echo "finder-e2e: \"$*\" ended after $limit s" >&2
    fi
    return "$status"
}

# Asks `condition` (a command) every half second, for at most `limit` seconds.
wait_for() {
    local limit=$1
    shift
    local end=$((SECONDS + limit))
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.5
    done
}

quit_lemvora() { # by SIGTERM: an Apple event asking Lemvora to quit would need a consent of its own
    local pid
    for pid in $(pgrep -x Lemvora || true); do kill "$pid" || true; done
    wait_for 20 bash -c '! pgrep -x Lemvora >/dev/null' || fail "Lemvora did not quit"
}

# What the runner offers, before the install and after it: probe NAME, into $out/probe-NAME.txt
# too. The first probe records the job's start, from which the logs are read.
probe() {
    set +e
    [ -s "$out/start-time" ] || date '+%Y-%m-%d %H:%M:%S' >"$out/start-time"
    {
        echo "== the job's start: $(cat "$out/start-time")"
        # The image exports these from ~/.bashrc (configure-preimagedata.sh), which a step's
        # bash may not read; its ~/imagedata.json holds the same, as the job's set-up prints it.
        echo "== the runner image: ImageOS=${ImageOS:-unset} ImageVersion=${ImageVersion:-unset}"
        grep -h '^export Image' "$HOME/.bashrc" 2>/dev/null
        cat "$HOME/imagedata.json" 2>/dev/null
        echo "== sw_vers"; sw_vers
        echo "== csrutil status"; csrutil status
        echo "== the driver"
        # AXIsProcessTrusted, CGPreflightPostEventAccess, CGPreflightScreenCaptureAccess; its
        # ancestry up to launchd; every window in front of Finder's, with its process
        if [ -x "$driver" ]; then "$driver" probe; else echo "no driver at $driver"; fi
        # tccd redacts the client on these lines in the public log, but a refused request's
        # line names it (synthaea-lab/edr-new#354): the grants step takes the path from there.
        echo "== tccd's lines about Accessibility since the job's start"
        tcc_log_to "$out/tcc-probe-$1.log"
        tcc_lines kTCCServiceAccessibility <"$out/tcc-probe-$1.log"
        echo "== pluginkit -m -A -D -v -i $extension_id"; pluginkit -m -A -D -v -i "$extension_id"
        echo "== the extension's process"; pgrep -lx LemvoraMenu || echo "LemvoraMenu does not run"
        echo "== the rows of $agent, the runner's agent"; agent_rows
    } 2>&1 | tee "$out/probe-$1.txt"
    shot "probe-$1"
    return 0
}

# pluginkit(8): -m lists only the newest version, and one copy of it, without -A and -D.
registrations() { pluginkit -m -A -D -v -i "$extension_id" | registration_lines; }

# LaunchServices' own tool (it has no man page; the path as eclecticlight.co gives it, in
# "Controlling LaunchServices in macOS Sequoia").
lsregister=/System/Library/Frameworks/CoreServices.framework/Versions/A/Frameworks/LaunchServices.framework/Versions/A/Support/lsregister

install() {
    [ -d "$build/Lemvora.app" ] || fail "no build at $build/Lemvora.app"
    rm -rf "$app" # copying over an older copy would leave its stale files
    mkdir -p "$HOME/Applications"
    ditto "$build/Lemvora.app" "$app"
    codesign --verify --strict --verbose=2 "$app"
    # One copy only: `-e use` elects every copy with the identifier, and -r "explicitly removes
    # plugins at the file location(s) given. Note that automatic discovery procedures may add
    # them back if they are still present" (pluginkit(8)). So LaunchServices forgets the build's
    # own copy, which is then deleted, and PlugInKit every copy but the installed one.
    "$lsregister" -u "$build/Lemvora.app" || echo "lsregister -u $build/Lemvora.app failed"
    rm -rf "$build/Lemvora.app"
    echo "deleted the build's own copy, $build/Lemvora.app"
    local path
    while IFS=$'\t' read -r _ path; do
        [ "$path" = "$appex" ] || { echo "removing the registration of $path"; pluginkit -r "$path"; }
    done < <(registrations)
    pluginkit -a "$appex"
    pluginkit -e use -i "$extension_id"
    only_installed_in_use() { registrations | registration_verdict "$appex" >/dev/null; }
    wait_for 30 only_installed_in_use || {
        registrations
        fail "$(registrations | registration_verdict "$appex")"
    }
    registrations
    # Only a process started after Finder's restart runs the copy just installed: one started by
    # the Finder before may hold an older one.
    local before started=""
    before=$(pgrep -x LemvoraMenu || true)
    echo "LemvoraMenu before Finder's restart: ${before:-none}"
    # List view wherever a folder has no view of its own, as the disk images' volumes, which the
    # driver opens without an Apple event to set it ("Use list view in all Finder windows by
    # default", mathiasbynens/dotfiles .macos); Finder reads it at its start.
    defaults write com.apple.finder FXPreferredViewStyle -string Nlsv
    killall Finder || true
    extension_started() { started=$(new_pid "$before" "$(pgrep -x LemvoraMenu || true)"); }
    wait_for 60 extension_started || fail "no new LemvoraMenu process within 60 s of Finder's" \
        "restart (before it: ${before:-none})"
    echo "LemvoraMenu $started started after Finder's restart"
    shot installed
}

first_start() {
    [ ! -e "$templates" ] || fail "a template folder stands already: the first start cannot seed"
    open -a "$app"
    has_starter_set() {
        local name
        for name in "${starter[@]}"; do [ -f "$templates/$name" ] || return 1; done
    }
    wait_for 60 has_starter_set || { ls -la "$templates" || true; fail "no starter set within 60 s"; }
    ls -la "$templates"
    shot first-start
    quit_lemvora
}

grants() {
    accessibility_grant
    removable_consent
}

[ "${BASH_SOURCE[0]}" = "$0" ] || return 0
if [ "${GITHUB_ACTIONS:-}" != true ] && [ "${LEMVORA_E2E:-}" != 1 ]; then
    echo "finder-e2e: this replaces ~/Applications/Lemvora.app and restarts Finder;" \
        "set LEMVORA_E2E=1 to run it here" >&2
    exit 2
fi
case "${1:-}" in
front) clear_front ;;
probe) probe "${2:-before}" ;;
install) install ;;
first-start) first_start ;;
grants) grants ;;
cases) cases ;;
collect) collect ;;
*)
    echo "usage: scripts/finder-e2e.sh" \
        "front|probe NAME|install|first-start|grants|cases|collect" >&2
    exit 2
    ;;
esac
