#!/usr/bin/env bash
# shellcheck disable=SC2317,SC2034 # stand-ins, and variables, that the script's functions use
# How the Mac's end-to-end job (scripts/finder-e2e.sh) reads what pluginkit, codesign and hdiutil
# print, and which files count as new in a case. Runs on any system.
#
# Usage: tests/tools/finder_e2e_test.sh SOURCE_DIR
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LEMVORA_E2E_OUT="$work/out"
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

# pluginkit(8): "+" elected to use, "-" to ignore, "!" for debugger use, none not elected.
ignored=/Users/runner/Library/Developer/Xcode/DerivedData/Lemvora/Lemvora.app/Contents/PlugIns/LemvoraMenu.appex
expect "each copy pluginkit lists: its mark and its whole path, blanks and all" \
    "+$t$installed"$'\n'" $t$built"$'\n'"-$t$ignored"$'\n'"!$t$built" \
    "$(printf '%s\n' \
        "+    com.lemvora.Lemvora.LemvoraMenu(1.0.0)${t}0C3E6A0E-1D2B-4C5D-8E9F-0A1B2C3D4E5F${t}2026-12-09 15:00:00 +0000$t$installed" \
        "     com.lemvora.Lemvora.LemvoraMenu(1.0.0)${t}9A8B7C6D-5E4F-4A3B-2C1D-0E9F8A7B6C5D${t}2026-12-09 14:00:00 +0000$t$built" \
        "-    com.lemvora.Lemvora.LemvoraMenu(1.0.0)${t}1B2C3D4E-5F60-4718-9A0B-C1D2E3F40516${t}2026-12-09 13:00:00 +0000$t$ignored" \
        "!    com.lemvora.Lemvora.LemvoraMenu(1.0.0)${t}2C3D4E5F-6071-4829-AB1C-D2E3F4051627${t}2026-12-09 12:00:00 +0000$t$built" \
        "(no matches)" | registration_lines)"

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

# The extension's process after Finder's restart: one whose PID was not seen before it.
for row in "none before|-|412|412" "the same one|412|412|" \
    "one among others|412 977|977 1033 412|1033" "a prefix of one before|412|41|41"; do
    IFS='|' read -r what before now pid <<<"$row"
    expect "a new PID: $what" "$pid" "$(new_pid "${before//[ -]/$'\n'}" "${now// /$'\n'}" || true)"
done

# Every menu case keeps what Finder showed, under a plain file name of its own.
expect "the driver's menu command is called in one place" 1 \
    "$(grep -c "\"\$driver\" menu" "$1/scripts/finder-e2e.sh")"
# The workflow collects and uploads the job's whole folder on every run, a green one too.
expect "the job's folder collected and uploaded on every run" "always() always()" "$(awk '
    /^  [a-z]+:$/ { job = $1 } /^      - / { when = "" } /^        if: / { when = $2 }
    job == "finder:" && (/run: scripts\/finder-e2e.sh collect$/ || /path: .*\/finder-e2e$/) {
        printf "%s%s", sep, when; sep = " " }' "$1/.github/workflows/macos.yml")"
driver="echo"
expect "the driver's menu command for a case" "menu --dump $out/ax/bo-alt-klas-r-3 --folder /x" \
    "$(drive_menu "Boş alt klasör 3" --folder /x)"

# A removable-volume consent prompt is up while UserNotificationCenter shows a window and TCC's
# request for that service has no result yet. A case that meets one fails for it.
asked="12:00:01 tccd: [com.apple.TCC:access] AUTHREQ_PROMPTING: msgID=401.7,"
asked+=" service=kTCCServiceSystemPolicyRemovableVolumes, subject=Sub:{$extension_id},"
answered="12:00:09 tccd: [com.apple.TCC:access] AUTHREQ_RESULT: msgID=401.7, authValue=2,"
prompt_row() { # prompt_row WHAT UP OWNERS LOG-LINE...
    local what=$1 up=$2 owners=$3
    shift 3
    printf '%s\n' "$@" >"$work/tcc.log"
    expect "a removable-volume prompt: $what" "$up" \
        "$(removable_prompt "${owners// /$'\n'}" "$work/tcc.log" && echo up || echo none)"
}
prompt_row "asked, unanswered" up "Finder UserNotificationCenter" "$asked"
prompt_row "asked, answered" none "Finder UserNotificationCenter" "$asked" "$answered"
prompt_row "asked, no prompt window" none "Finder" "$asked"
prompt_row "another service asked" none "Finder UserNotificationCenter" \
    "${asked//SystemPolicyRemovableVolumes/Camera}"
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

# The privacy rows go into the access table as macOS 14 and 15 have it (17 columns) and as later
# systems do (more, with defaults); read back, each says what it means to.
columns="service TEXT NOT NULL, client TEXT NOT NULL, client_type INTEGER NOT NULL,
    auth_value INTEGER NOT NULL, auth_reason INTEGER NOT NULL, auth_version INTEGER NOT NULL,
    csreq BLOB, policy_id INTEGER, indirect_object_identifier_type INTEGER,
    indirect_object_identifier TEXT NOT NULL DEFAULT 'UNUSED', indirect_object_code_identity BLOB,
    flags INTEGER, last_modified INTEGER NOT NULL, pid INTEGER, pid_version INTEGER,
    boot_uuid TEXT NOT NULL DEFAULT 'UNUSED', last_reminded INTEGER NOT NULL DEFAULT 0"
key="PRIMARY KEY (service, client, client_type, indirect_object_identifier)"
later="one_time_reprompt_eligible INTEGER, reminder_count INTEGER NOT NULL DEFAULT 0"
client=/Users/runner/work/lemvora/build-release/tools/finder-driver/lemvora-finder-driver
for shape in "macOS 14|$columns, $key" "a later macOS|$columns, $later, $key"; do
    rows=$(python3 - "CREATE TABLE access (${shape#*|})" \
        "$(access_row kTCCServiceAccessibility "$client" 1 NULL 1765290000)" \
        "$(access_row kTCCServiceAccessibility "$client" 1 NULL 1765290001)" \
        "$(access_row kTCCServiceSystemPolicyRemovableVolumes com.lemvora.Lemvora.LemvoraMenu 0 \
            "X'fade0c00'" 1765290000)" \
        "$(access_row kTCCServiceAppleEvents "$client" 1 NULL 1765290000 com.apple.finder)" <<'PY'
import sqlite3, sys
db = sqlite3.connect(":memory:")
for statement in sys.argv[1:]:
    db.execute(statement)
for row in db.execute("SELECT service, client, client_type, auth_value, hex(csreq), "
                      "last_modified, indirect_object_identifier FROM access ORDER BY service"):
    print("|".join(str(v) for v in row))
PY
    )
    expect "the privacy rows, once each, in the access table of ${shape%%|*}" \
        "kTCCServiceAccessibility|$client|1|2||1765290001|UNUSED
kTCCServiceAppleEvents|$client|1|2||1765290000|com.apple.finder
kTCCServiceSystemPolicyRemovableVolumes|com.lemvora.Lemvora.LemvoraMenu|0|2|FADE0C00|1765290000|UNUSED" \
        "$rows"
done

# The system's privacy database is written as root, the user's as the user.
sudo() { echo "sudo $1 $2"; }
sqlite3() { echo "sqlite3 $1"; }
expect "who writes each privacy database" "sudo sqlite3 $system_db"$'\n'"sqlite3 $user_db" \
    "$(system_sql "SELECT 1" && user_sql "SELECT 1")"
unset -f sudo sqlite3

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
echo "every reading of the end-to-end job holds"
