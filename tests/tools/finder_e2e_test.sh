#!/usr/bin/env bash
# shellcheck disable=SC2317,SC2034,SC2154 # stand-ins, and variables, that the script's functions
# use or set
# How the Mac's end-to-end job (scripts/finder-e2e.sh) reads what pluginkit, codesign, hdiutil,
# tccd, the driver's probe and the window server print, which files count as new in a case, what
# it gives the driver, how it installs, clears the front and grants, the rows it writes to the
# privacy databases, its logs and the workflow's limits. Runs on any system, with a home of its
# own; the part through the sqlite3 command shows as skipped without one.
#
# Usage: tests/tools/finder_e2e_test.sh SOURCE_DIR
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LEMVORA_E2E_OUT="$work/out" HOME="$work/home"
# shellcheck source=/dev/null
source "$1/scripts/finder-e2e.sh"
failures=0
expect() { # expect WHAT EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        printf 'FAILED %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
        failures=$((failures + 1))
    fi
}
t=$'\t'
installed=/Users/runner/Applications/Lemvora.app/Contents/PlugIns/LemvoraMenu.appex
built="/Users/runner/work/lemvora kopya/build-release/Lemvora.app/Contents/PlugIns/LemvoraMenu.appex"

# pluginkit(8): "+" elected to use, "-" to ignore, "!" for debugger use, "=" superseded by
# another plug-in, "?" an unknown election, none not elected.
ignored=/Users/runner/Library/Developer/Xcode/DerivedData/Lemvora/Lemvora.app/Contents/PlugIns/LemvoraMenu.appex
expect "each copy pluginkit lists: its mark and its whole path, blanks and all" \
    "+$t$installed"$'\n'" $t$built"$'\n'"-$t$ignored"$'\n'"!$t$built"$'\n'"=$t$built"$'\n'"?$t$ignored" \
    "$(printf '%s\n' \
        "+    com.lemvora.Lemvora.LemvoraMenu(1.0.0)${t}0C3E6A0E-1D2B-4C5D-8E9F-0A1B2C3D4E5F${t}2026-12-09 15:00:00 +0000$t$installed" \
        "     com.lemvora.Lemvora.LemvoraMenu(1.0.0)${t}9A8B7C6D-5E4F-4A3B-2C1D-0E9F8A7B6C5D${t}2026-12-09 14:00:00 +0000$t$built" \
        "-    com.lemvora.Lemvora.LemvoraMenu(1.0.0)${t}1B2C3D4E-5F60-4718-9A0B-C1D2E3F40516${t}2026-12-09 13:00:00 +0000$t$ignored" \
        "!    com.lemvora.Lemvora.LemvoraMenu(1.0.0)${t}2C3D4E5F-6071-4829-AB1C-D2E3F4051627${t}2026-12-09 12:00:00 +0000$t$built" \
        "=    com.lemvora.Lemvora.LemvoraMenu(0.9.0)${t}3D4E5F60-7182-4930-BC2D-E3F405162738${t}2026-12-08 12:00:00 +0000$t$built" \
        "?    com.lemvora.Lemvora.LemvoraMenu(1.0.0)${t}4E5F6071-8293-4A41-CD3E-F40516273849${t}2026-12-08 11:00:00 +0000$t$ignored" \
        "(no matches)" | registration_lines)"
# Exactly one copy, the installed one, elected to use; a superseded copy is not in use.
for row in "in use|+$t$installed|in use" "superseded|=$t$installed|the installed copy is superseded by \
another plug-in (=), not in use" "unknown|?$t$installed|the installed copy is of unknown election \
(?), not in use" "not elected| $t$installed|the installed copy is not elected, not in use" \
    "another copy|+$t$built|pluginkit lists $built, not the installed copy" "none||pluginkit lists \
no copy" "two|+$t$installed\\n+$t$built|pluginkit lists 2 copies: + $installed;+ $built;"; do
    IFS='|' read -r what lines said <<<"$row"
    expect "the registrations: $what" "$said" "$(if printf '%b\n' "$lines" |
        registration_verdict "$installed"; then echo "in use"; fi)"
done

expect "an ad hoc signature's implicit requirement" 'cdhash H"4c1b5d2e0f9a8b7c6d5e4f3a2b1c0d9e8f7a6b5c"' \
    "$(printf '%s\n' "Executable=$installed/Contents/MacOS/LemvoraMenu" \
        '# designated => cdhash H"4c1b5d2e0f9a8b7c6d5e4f3a2b1c0d9e8f7a6b5c"' | designated_requirement)"
expect "an explicit requirement" 'identifier "com.lemvora.Lemvora.LemvoraMenu" and anchor apple generic' \
    "$(printf '%s\n' 'designated => identifier "com.lemvora.Lemvora.LemvoraMenu" and anchor apple generic' |
        designated_requirement)"

for attached in \
    "/dev/disk4          ${t}GUID_partition_scheme          $t
/dev/disk4s1        ${t}Microsoft Basic Data           $t/Volumes/USB Bellek Ş" \
    "/dev/disk5          ${t}GUID_partition_scheme          $t
/dev/disk5s1        ${t}Apple_APFS                     $t
/dev/disk6          ${t}EF57347C-0000-11AA-AA11-0030654$t
/dev/disk6s1        ${t}41504653-0000-11AA-AA11-0030654$t/Volumes/USB Bellek Ş"; do
    expect "the mount point hdiutil attached" "/Volumes/USB Bellek Ş" \
        "$(printf '%s\n' "$attached" | mount_point)"
done

# The volume name within each image's file system, counted as it counts: exFAT 11 UTF-16 code
# units, APFS 255 bytes of UTF-8 (a file system new to the job needs its limit here).
count() { python3 -c 'import sys; print(len(sys.argv[2].encode(sys.argv[1])))' "$@"; }
for fs in "${volume_filesystems[@]}"; do
    case $fs in
    ExFAT) fits=$(($(count utf-16-le "$volume_name") <= 22)) ;;
    APFS) fits=$(($(count utf-8 "$volume_name") <= 255)) ;;
    *) fits="no limit known for $fs" ;;
    esac
    expect "\"$volume_name\" fits a volume name of $fs" 1 "$fits"
done
expect "\"$volume_name\" has a letter beyond ASCII" 1 \
    "$(($(count utf-8 "$volume_name") > $(count utf-32-le "$volume_name") / 4))"
# Debian's mkfs.exfat (scripts/install-deps.sh) counts as exFAT does: it refuses a twelfth code
# unit ("input string is too long"). It reads the name in the locale's encoding: UTF-8 here.
if [ "$(uname)" = Linux ]; then
    export PATH=$PATH:/usr/sbin
    truncate -s 8M "$work/exfat.img"
    LC_ALL=C.UTF-8 mkfs.exfat -L "$volume_name" "$work/exfat.img" >/dev/null 2>"$work/mkfs.txt" ||
        true
    expect "mkfs.exfat labels a volume \"$volume_name\"" "label: $volume_name" "$(LC_ALL=C.UTF-8 \
        exfatlabel "$work/exfat.img" 2>&1 | grep '^label: ' || cat "$work/mkfs.txt")"
fi

# The extension's process after Finder's restart: one whose PID was not seen before it; none
# new is a failure.
for row in "none before|-|412|412 0" "the same one|412|412| 1" \
    "one among others|412 977|977 1033 412|1033 0" "a prefix of one before|412|41|41 0"; do
    IFS='|' read -r what before now said <<<"$row"
    expect "a new PID: $what" "$said" "$(pid=$(new_pid "${before//[ -]/$'\n'}" "${now// /$'\n'}") &&
        echo "$pid 0" || echo "$pid $?")"
done

# The install: the build's own copy deleted once copied (PlugInKit may take back a copy removed
# while it is there), and list view made Finder's default before its restart.
build="$work/build" && mkdir -p "$build/Lemvora.app/Contents" && : >"$work/calls"
ditto() { cp -R "$1" "$2" && echo "ditto" >>"$work/calls"; }
pluginkit() {
    [ "$1" != -m ] || { printf '+    %s(1.0)\t%s\t%s\t%s\n' "$extension_id" U D "$appex" && return; }
    echo "pluginkit $*" >>"$work/calls"
}
defaults() { echo "defaults $*" >>"$work/calls"; }
killall() { echo "killall $*" >>"$work/calls" && : >"$work/restarted"; }
pgrep() { [ ! -e "$work/restarted" ] || echo 977; }
codesign() { :; } && shot() { :; } && lsregister=true
install >/dev/null
expect "the install: the build's copy, the installed one" "no yes" "$([ -e "$build/Lemvora.app" ] &&
    echo yes || echo no) $([ -d "$app" ] && echo yes || echo no)"
expect "the install's steps" "ditto|pluginkit -a $appex|pluginkit -e use -i $extension_id|defaults \
write com.apple.finder FXPreferredViewStyle -string Nlsv|killall Finder" "$(paste -sd'|' "$work/calls")"
unset -f ditto pluginkit defaults killall pgrep codesign shot

# Every menu case keeps what Finder showed, under a plain file name of its own.
expect "the driver's menu command is called in one place" 1 \
    "$(cat "$1/scripts/finder-e2e.sh" "$1/scripts/finder-e2e/"*.sh | grep -c "\"\$driver\" menu")"
# The workflow clears the front and probes before the install, probes after it, collects and
# uploads what the job kept, in two parts, on every run, a green one too.
expect "the front, the probes, the collect and the uploads on every run" "front: always() probe \
before: always() probe installed: always() collect: always() upload finder-e2e: always() upload \
finder-e2e-screens: always()" "$(awk '
    /^  [a-z]+:$/ { job = $1 } /^      - / { when = "" } /^        if: / { when = $2 }
    job == "finder:" && /run: scripts\/finder-e2e.sh (front|probe|collect)/ {
        printf "%s%s: %s", sep, substr($0, index($0, ".sh ") + 4), when; sep = " " }
    job == "finder:" && /name: finder-e2e/ { name = $2; sub(/-\$.*/, "", name)
        printf "%supload %s: %s", sep, name, when }' "$1/.github/workflows/macos.yml")"
# Each step has its own limit, and they add up to less than the job's, so that a step that hangs
# leaves the collect and upload steps their time; those fit in the 5 minutes a cancelled job has
# before GitHub force-ends it, with a minute to spare; and the collect step's own limits fit in
# its step's.
expect "the finder job's limits: steps without one, whether they fit the job's, whether the last \
ones fit a cancelled job's" "0 yes yes" "$(awk '
    /^  [a-z]+:$/ { job = $1 } job != "finder:" { next }
    /^    timeout-minutes: / { total = $2 } /^      - / { steps++; if (limited < steps - 1) none++ }
    /run: scripts\/finder-e2e.sh cases/ { after = 1; next }
    /^        timeout-minutes: / { limited++; sum += $2; if (after) last += $2 }
    END { if (limited < steps) none++; print none + 0, (sum < total ? "yes" : "no"),
        (last > 0 && last <= 4 ? "yes" : "no") }' "$1/.github/workflows/macos.yml")"
bounded() { echo "$1" >>"$work/limits"; }
: >"$work/limits" && collect
expect "the collect step's limits fit its own" yes "$(awk -v step="$(awk '
    /timeout-minutes: / { limit = $2 } /run: scripts\/finder-e2e.sh collect/ { print limit }' \
    "$1/.github/workflows/macos.yml")" '{ sum += $1 } END { print (sum <= step * 60 - 10 ? "yes" : "no") }' \
    "$work/limits")"
unset -f bounded
# shellcheck source=/dev/null
source "$1/scripts/finder-e2e.sh"
# Every entry of the case's folder goes to the driver as --listed, its hidden files aside; the
# driver's "seen: " lines (the alert case) land in the artifact beside the case's dumps.
mkdir -p "$work/case/Documents" "$work/case/Alt klasör" && touch "$work/case/.DS_Store" \
    "$work/case/Yeni Metin Belgesi.txt"
driver="echo"
expect "the driver's menu command for a case" "menu --dump $out/ax/bo-alt-klas-r-3 --folder \
$work/case --entry x --listed Alt klasör --listed Documents --listed Yeni Metin Belgesi.txt" \
    "$(drive_menu "Boş alt klasör 3" --folder "$work/case" --entry x)"
seen_driver() { printf '%s\n' "ok: alert" "seen: alert focused: no" "seen: Yeni Belge offered: yes"; }
driver=seen_driver
drive_menu unwritable --folder "$work/case" >/dev/null
expect "what the driver saw of the alert, kept" "seen: alert focused: no"$'\n'"seen: Yeni Belge \
offered: yes" "$(cat "$out/ax/unwritable.seen.txt" 2>&1)"
# The volume cases send Finder no Apple event, and say which privacy prompt came.
hdiutil() { :; } && attach() { echo "$work/case"; } && menu_case() { echo "$@" >"$work/menu-case"; }
log() { echo "tccd: AUTHREQ_PROMPTING: msgID=401.7, service=kTCCServiceSystemPolicyRemovableVolumes,"; }
said=$(volume_case ExFAT 2>&1)
expect "a volume case's driver options" "--timeout 60 --no-apple-events" \
    "$(sed 's/.*\.txt //' "$work/menu-case")"
expect "the prompts a volume case met" "prompts since the job's start: \
kTCCServiceSystemPolicyRemovableVolumes " "$(grep '^prompts' <<<"$said")"
unset -f hdiutil attach menu_case log
# shellcheck source=/dev/null
source "$1/scripts/finder-e2e.sh"

# The logs come from the job's start, as the first probe recorded it, Info lines included, and
# hold each source; the sandbox's denials as public notes match them, for Lemvora's processes.
log_args P
expect "the log without a recorded start" "show --last 1h --style compact --info --predicate P" \
    "${log_show[*]}"
echo "2026-12-09 21:00:00" >"$out/start-time"
log_args P --debug
expect "the log from the job's start, Debug lines too" "show --start 2026-12-09 21:00:00 --style \
compact --info --debug --predicate P" "${log_show[*]}"
rm "$out/start-time"
denials='(((eventMessage CONTAINS "Sandbox:" AND eventMessage CONTAINS "deny(") OR process == '
denials+='"sandboxd" OR senderImagePath CONTAINS "/Sandbox") AND eventMessage CONTAINS "Lemvora")'
for clause in 'process == "LemvoraMenu"' 'process == "Finder"' 'subsystem == "com.apple.TCC"' \
    'process == "pkd"' 'subsystem == "com.apple.PlugInKit"' \
    '(process == "runningboardd" AND eventMessage CONTAINS "LemvoraMenu")' \
    "$denials"; do
    expect "the log holds $clause" 1 "$([[ $log_predicate == *"$clause"* ]] && echo 1)"
done

# A command with a limit: its own status, or ended at the limit with all it started, saying so.
for row in "done|5|true|0|" "failed|5|false|1|" "ended|0|sleep 100|143|finder-e2e: \"sleep 100\" ended \
after 0 s"; do
    IFS='|' read -r what limit command status said <<<"$row"
    # shellcheck disable=SC2086 # the command's words
    got=$(bounded "$limit" $command 2>&1) && ended=0 || ended=$?
    expect "a bounded command: $what" "$status $said" "$ended $got"
done
for _ in $(seq 100); do # its own status, or ended and saying so: the two do not race
    got=$(bounded 0 sleep 100 2>&1) || [ "$got" = "finder-e2e: \"sleep 100\" ended after 0 s" ] ||
        break
done
expect "a bounded command ended, a hundred times over" "finder-e2e: \"sleep 100\" ended after 0 s" \
    "$got"
slow() { sleep 30 >/dev/null 2>&1 & echo $! >"$work/child" && wait; } # ended at its limit, 1 s
bounded 1 slow 2>/dev/null || true
gone() { local state; ! state=$(ps -o stat= -p "$(cat "$work/child")") || [[ $state == Z* ]]; }
expect "a bounded command's own processes end with it" 0 "$(wait_for 5 gone && echo 0 || echo 1)"

# Before the first screenshot: the agent's screen-capture approval written, then cfprefsd ended;
# each process of the windows known to take the front ended once, by its PID.
windows() { printf '%s\n' "Finder${t}401${t}0" "Setup Assistant${t}612${t}0" \
    "Setup Assistant${t}612${t}3" "Notification Center${t}388${t}23" "Dock${t}388${t}20" \
    "Software Update${t}733${t}0" "Lemvora${t}900${t}0"; }
defaults() { echo "defaults $*" >>"$work/front"; }
killall() { echo "killall $*" >>"$work/front"; }
kill() { echo "kill $*" >>"$work/front"; }
screen_approvals="$work/approvals.plist" && : >"$work/front"
said=$(clear_front)
expect "clearing the front" "defaults write $work/approvals.plist $agent -date 3024-01-01 00:00:00 \
+0000|killall cfprefsd|defaults read $work/approvals.plist|kill 612|kill 388|kill 733" \
    "$(paste -sd'|' "$work/front")"
expect "what clearing the front said" "ended Setup Assistant (PID 612)|ended Notification Center \
(PID 388)|ended Software Update (PID 733)" "$(grep '^ended' <<<"$said" | paste -sd'|')"
unset -f windows defaults killall kill

# A removable-volume consent prompt is up while UserNotificationCenter shows a window and TCC's
# request for that service has no result yet; what was prompted for is said either way. A case
# that meets one fails for it.
asked="12:00:01 tccd: [com.apple.TCC:access] AUTHREQ_PROMPTING: msgID=401.7,"
asked+=" service=kTCCServiceSystemPolicyRemovableVolumes, subject=Sub:{$extension_id},"
answered="12:00:09 tccd: [com.apple.TCC:access] AUTHREQ_RESULT: msgID=401.7, authValue=2,"
prompt_row() { # prompt_row WHAT UP PROMPTED OWNERS LOG-LINE...
    local what=$1 up=$2 prompted=$3 owners=$4
    shift 4
    printf '%s\n' "$@" >"$work/tcc.log"
    expect "a removable-volume prompt: $what" "$up $prompted" \
        "$(removable_prompt "${owners// /$'\n'}" "$work/tcc.log" && echo up || echo none) $(
            prompts_in <"$work/tcc.log" | paste -sd,)"
}
removable=kTCCServiceSystemPolicyRemovableVolumes
prompt_row "asked, unanswered" up $removable "Finder UserNotificationCenter" "$asked"
prompt_row "asked, answered" none $removable "Finder UserNotificationCenter" "$asked" "$answered"
prompt_row "asked, no prompt window" none $removable "Finder" "$asked"
prompt_row "another service asked" none kTCCServiceCamera "Finder UserNotificationCenter" \
    "${asked//SystemPolicyRemovableVolumes/Camera}"
prompt_row "asked twice, and another" none "$removable,kTCCServiceCamera" Finder "$asked" "$asked" \
    "${asked//SystemPolicyRemovableVolumes/Camera}"
prompt_row "nothing asked" none none "Finder UserNotificationCenter" "$answered"

# tccd's lines about a service, with the answer to each request among them; and the program a
# refused request names, where the AUTHREQ lines redact it: a binary_path=, or a client's path.
ctx="tccd: AUTHREQ_CTX: msgID=512.3, function=TCCAccessPreflight, service=kTCCServiceAccessibility,"
expect "tccd's lines about Accessibility" "$ctx preflight=yes|tccd: AUTHREQ_RESULT: msgID=512.3, \
authValue=0," "$(printf '%s\n' "$ctx preflight=yes" "tccd: AUTHREQ_RESULT: msgID=511.1, authValue=2," \
    "tccd: AUTHREQ_RESULT: msgID=512.3, authValue=0," | tcc_lines kTCCServiceAccessibility |
    paste -sd'|')"
refusal="tccd: [com.apple.TCC:access] Refusing TCCAccessRequest for service"
for row in "a binary_path at the end|kTCCServiceAccessibility from TCCDProcess: identifier=x, pid=7, \
binary_path=/opt/hca/hosted-compute-agent|/opt/hca/hosted-compute-agent" \
    "a binary_path, more after it|kTCCServicePostEvent from {pid=7, binary_path=/Library/Application \
Support/Veertu/Anka/addons/ankarund, auid=501}|/Library/Application Support/Veertu/Anka/addons/ankarund" \
    "a client's path|kTCCServiceAccessibility from client Sub:{/usr/bin/osascript} in background \
session|/usr/bin/osascript" \
    "a bundle identifier|kTCCServiceAccessibility from extension Sub:{com.example.x}|" \
    "another service|kTCCServiceSystemPolicyRemovableVolumes from client Sub:{/usr/sbin/smbd}|" \
    "a service named alike|kTCCServiceAccessibilityX from client Sub:{/bin/zsh}|"; do
    IFS='|' read -r what line named <<<"$row"
    expect "the program a refusal names: $what" "$named" "$(printf '%s\n' "$refusal $line" \
        "$refusal $line" | tcc_named_paths kTCCServiceAccessibility kTCCServicePostEvent)"
done
no_file() { echo "FAILED at step wait until /x/y exists: no such file after 60 s"; return 1; }
window_owners() { printf '%s\n' Finder UserNotificationCenter; }
log() { echo "$asked" && seq 100000; } # more than a pipe holds, after the line sought
shot() { :; }
driver=no_file
expect "a case that meets the prompt" "finder-e2e: FAILED: case \"ExFAT image\": consent prompt for \
removable volumes; the driver's \"no such file\" came while it was up" \
    "$( (drive_menu "ExFAT image" --folder /x) 2>&1 >/dev/null | tail -1)"
log() { :; } && window_owners() { :; }

# What the system keeps in a folder on its own is no new file; a hidden file left by a copy is.
folder="$work/USB Bellek Ş"
mkdir -p "$folder/.fseventsd" "$folder/.Spotlight-V100/Store" "$folder/Hedef Klasör"
touch "$folder/.fseventsd/0000" "$folder/.Spotlight-V100/Store/x" "$folder/.DS_Store" \
    "$folder/Hedef Klasör/.DS_Store" "$folder/Yeni Metin Belgesi.txt" \
    "$folder/._Yeni Metin Belgesi.txt" "$folder/.Yeni Metin Belgesi.txt.lemvora"
expect "a folder's listing" \
    "./.Yeni Metin Belgesi.txt.lemvora
./Hedef Klasör
./Yeni Metin Belgesi.txt" "$(listing "$folder")"

# A case on a file in F's expanded subfolder Alt: exactly one new file in all of F, beside the
# file, a copy of the template. The stand-in driver makes it in the folders $places names.
F="$work/Liste" && templates="$work/templates" && mkdir -p "$templates" && echo x >"$templates/t"
stand_in() {
    local target folder new place
    while [ $# -gt 1 ]; do
        case $1 in --target) target=$2 ;; --folder) folder=$2 ;; --expect) new=$2 ;; esac && shift
    done
    target=${target:-$folder}
    for place in $places; do cp "$templates/t" "${!place}/$new"; done
    [ -e "$target/$new" ]
}
case_row() { # case_row WHAT PLACES SAID
    places=$2 && rm -rf "$F" && mkdir -p "$F/Alt" && touch "$F/Alt/not.txt"
    expect "a file in an expanded subfolder: $1" "$3" "$( (menu_case x "$F" "$F/Alt" t new.txt \
        --expand Alt --item not.txt) 2>&1 >/dev/null | sed 's/^finder-e2e: //' | tr '\n' '|')"
}
driver=stand_in
case_row "made beside it" target ""
case_row "made in the folder in view" folder "new.txt came into $F, the folder in view, not into \
$F/Alt: the extension did not go by the item the menu was for|FAILED: case \"x\": the driver failed|"
case_row "made beside it, and in view" "target folder" "FAILED: case \"x\": other files appeared: \
./Alt ./Alt/new.txt ./Alt/not.txt ./new.txt |"
expect "a case whose folder cannot be listed fails saying so" "FAILED: \"listing $work/none\" ended \
with status 1:" "$( (menu_case x "$work/none" "$work/none" t new.txt) 2>&1 | sed -n 's/^finder-e2e: //p' |
    cut -d' ' -f1-7)"

# The privacy rows go into the access table as macOS 14 and 15 have it (17 columns) and as later
# systems do (more, with defaults): a grant to a program's path (a quote in it too), and the
# consent for removable volumes (the last one written for a client counts); read back, each says
# what it means to.
columns="service TEXT NOT NULL, client TEXT NOT NULL, client_type INTEGER NOT NULL,
    auth_value INTEGER NOT NULL, auth_reason INTEGER NOT NULL, auth_version INTEGER NOT NULL,
    csreq BLOB, policy_id INTEGER, indirect_object_identifier_type INTEGER,
    indirect_object_identifier TEXT NOT NULL DEFAULT 'UNUSED', indirect_object_code_identity BLOB,
    flags INTEGER, last_modified INTEGER NOT NULL, pid INTEGER, pid_version INTEGER,
    boot_uuid TEXT NOT NULL DEFAULT 'UNUSED', last_reminded INTEGER NOT NULL DEFAULT 0"
key="PRIMARY KEY (service, client, client_type, indirect_object_identifier)"
later="one_time_reprompt_eligible INTEGER, reminder_count INTEGER NOT NULL DEFAULT 0"
removable=kTCCServiceSystemPolicyRemovableVolumes listener="/Users/runner/it's/Runner.Listener"
statements=("$(access_row kTCCServiceAccessibility "$agent" 1 NULL 1765290003)"
    "$(access_row kTCCServicePostEvent "$listener" 1 NULL 1765290004)"
    "$(access_row $removable "$extension_id" 0 "X'fade0c00'" 1765290000)"
    "$(access_row $removable "$extension_id" 0 "X'fade0c01'" 1765290002)"
    "$(access_row $removable "$app_id" 0 "X'fade0c02'" 1765290001)")
for shape in "macOS 14|$columns, $key" "a later macOS|$columns, $later, $key"; do
    rows=$(python3 - "CREATE TABLE access (${shape#*|})" "${statements[@]}" 2>&1 <<'PY'
import sqlite3, sys
db = sqlite3.connect(":memory:")
for statement in sys.argv[1:]:
    db.execute(statement)
for row in db.execute("SELECT service, client, client_type, auth_value, auth_reason, hex(csreq), "
                      "indirect_object_identifier, last_modified, last_reminded FROM access "
                      "ORDER BY service, indirect_object_identifier, client"):
    print("|".join(str(v) for v in row))
PY
    ) || true
    expect "the privacy rows, once each, in the access table of ${shape%%|*}" \
        "kTCCServiceAccessibility|$agent|1|2|4||UNUSED|1765290003|1765290003
kTCCServicePostEvent|$listener|1|2|4||UNUSED|1765290004|1765290004
$removable|$app_id|0|2|4|FADE0C02|UNUSED|1765290001|1765290001
$removable|$extension_id|0|2|4|FADE0C01|UNUSED|1765290002|1765290002" "$rows"
done

# Every statement on either privacy database waits for its lock; the system's is root's, reads
# never ask for a password and open read-only.
sudo() { echo "sudo $*"; }
sqlite3() { echo "sqlite3 $*"; }
expect "how each privacy database is written and read" \
    "sudo sqlite3 -cmd .timeout 10000 $system_db Q
sqlite3 -cmd .timeout 10000 $user_db Q
sudo -n sqlite3 -readonly -cmd .timeout 10000 $system_db Q
sqlite3 -readonly -cmd .timeout 10000 $user_db Q" "$(system_sql Q; user_sql Q; system_read Q; user_read Q)"
unset -f sudo sqlite3

# Through the real sqlite3, on databases of the later shape: a write waits for another process's
# lock; Accessibility, then PostEvent, are granted only when the probe says they lack, to the
# program tccd named refusing the driver, else to each of the driver's ancestors but launchd; a
# driver that stays untrusted, a probe that fails or says nothing of its trust fail the step
# saying so; the removable-volume consent goes to both bundle identifiers, each with its own
# requirement, in both databases.
if command -v sqlite3 >/dev/null; then
    system_db=$work/system.db user_db=$work/user.db
    for db in "$system_db" "$user_db"; do sqlite3 "$db" "CREATE TABLE access ($columns, $later, $key)"; done
    sudo() { [ "$1" != -n ] || shift; "$@"; }
    expect "a write while another process holds the lock" 0 "$(python3 -c 'import sqlite3, sys, time
db = sqlite3.connect(sys.argv[1], isolation_level=None)
db.execute("BEGIN EXCLUSIVE")
print("locked", flush=True)
time.sleep(0.5)
db.execute("COMMIT")' "$user_db" | { read -r _ && user_sql "SELECT count(*) FROM access"; } 2>&1)"
    refused="tccd: [com.apple.TCC:access] Refusing TCCAccessRequest for service kTCCServiceAccessibility"
    refused+=" from client TCCDProcess: identifier=x, pid=700, binary_path=/Users/runner/it's/Runner.Listener"
    probe_driver() { # answers with the next of $answers: "TRUSTED POSTEVENT", or a failure
        echo >>"$work/probed"
        local answer=${answers[$(($(wc -l <"$work/probed") - 1))]}
        case $answer in
        crash) echo "Segmentation fault" && return 139 ;;
        mute) echo "CGPreflightPostEventAccess: no" && return 0 ;;
        esac
        printf '%s\n' "AXIsProcessTrusted: ${answer% *}" "CGPreflightPostEventAccess: ${answer#* }" \
            "CGPreflightScreenCaptureAccess: no" "ancestry: 812 $driver_path" "ancestry: 811 /bin/bash" \
            "ancestry: 700 $agent" "ancestry: 1 /sbin/launchd"
    }
    driver=probe_driver driver_path=/Users/runner/work/x/lemvora-finder-driver
    grant_row() { # grant_row WHAT TCC-LOG-LINE ROWS-WRITTEN ANSWER...
        local what=$1 line=$2 written=$3
        shift 3
        answers=("$@") && : >"$work/probed"
        log() { echo "$line"; }
        system_sql "DELETE FROM access"
        said=$( (accessibility_grant) 2>&1 | grep "^finder-e2e: " || true)
        expect "Accessibility and PostEvent: $what" "$written" "$(system_read "SELECT service, client
            FROM access ORDER BY service, client" | sed 's/kTCCService//' | paste -sd' ')"
    }
    ancestors="Accessibility|$driver_path Accessibility|/bin/bash Accessibility|$agent"
    grant_row "trusted at once" "" "" "yes yes"
    grant_row "trusted once tccd's path is" "$refused" "Accessibility|$listener" "no yes" "yes yes"
    grant_row "trusted once an ancestor is" "" "$ancestors" "no yes" "yes yes"
    grant_row "never trusted" "" "$ancestors" "no yes" "no yes"
    granted="FAILED: AXIsProcessTrusted() stays false; Accessibility granted to: $driver_path"
    expect "a driver never trusted fails naming what was granted, and the rows" 1 "$([[ $said == \
        *"$granted /bin/bash $agent;"*"kTCCServiceAccessibility|$agent|1|2"* ]] && echo 1)"
    grant_row "no PostEvent" "" "${ancestors//Accessibility/PostEvent}" "yes no" "yes no"
    grant_row "a probe that crashes" "" "" crash
    expect "a probe that crashes fails naming it and its status" "finder-e2e: FAILED: \"probe_driver \
probe\" ended with status 139: Segmentation fault" "$said"
    grant_row "a probe silent on its trust" "" "" mute
    expect "a probe silent on its trust fails saying so" "finder-e2e: FAILED: \"probe_driver probe\" \
printed no AXIsProcessTrusted line: CGPreflightPostEventAccess: no" "$said"
    unset -f log
    codesign() { echo "# designated => cdhash H\"${3##*.}\""; }
    csreq() { case $1 in *appex*) printf '\372\336\014\001' ;; *) printf '\372\336\014\002' ;; esac >"$3"; }
    consent="$removable|$app_id|0|2|FADE0C02 $removable|$extension_id|0|2|FADE0C01"
    expect "the removable-volume consent, read back from both databases" "read back from $user_db: \
$consent read back from $system_db: $consent" "$(removable_consent | sed -n '/^read back/,$p' |
        paste -sd' ')"
    unset -f sudo codesign csreq
else
    echo "SKIPPED: the privacy databases through sqlite3 (no sqlite3 command here)"
    skipped=1
fi

# Attaching an image, as the user alone: "Resource busy" is tried again, a bounded number of
# times; any other refusal, or an attach that names no folder, ends it with hdiutil's message.
attach_pause=0
sudo() { echo "sudo" >>"$work/calls"; "$@"; }
hdiutil() { # answers with the next of $answers ("status|output"), the last one from then on
    echo "$*" >>"$work/calls"
    local answer=${answers[$(($(wc -l <"$work/calls") - 1))]:-${answers[${#answers[@]} - 1]}}
    printf '%s\n' "${answer#*|}"
    return "${answer%%|*}"
}
attach_row() { # attach_row WHAT SAID CALLS ANSWER...
    local what=$1 said=$2 calls=$3
    shift 3
    answers=("$@") && : >"$work/calls"
    expect "attach: $what" "$said ($calls calls)" \
        "$(attach "$work/x.dmg" 2>/dev/null) ($(wc -l <"$work/calls" | tr -d ' ') calls)"
}
busy="1|hdiutil: attach failed - Resource busy"
attached="0|/dev/disk4s1${t}Microsoft Basic Data${t}/Volumes/$volume_name"
attach_row "busy twice, then attached" "/Volumes/$volume_name" 3 "$busy" "$busy" "$attached"
attach_row "busy for good" "${busy#*|}" 5 "$busy"
attach_row "refused" "hdiutil: attach failed - Permission denied" 1 \
    "1|hdiutil: attach failed - Permission denied"
attach_row "attached, at no folder" "hdiutil attach names no /Volumes folder: /dev/disk4" 1 \
    "0|/dev/disk4"
unset -f sudo hdiutil

[ "$failures" = 0 ] || exit 1
[ -z "${skipped:-}" ] || exit 77
echo "every reading of the end-to-end job holds"
