#!/usr/bin/env bash
# The Mac workflow's "finder" job: the real Finder as the test host. Each step of the job is one
# verb of this script, so that the job's log shows which one failed.
#
#   scripts/finder-e2e.sh probe        what the runner offers; never fails
#   scripts/finder-e2e.sh install      Lemvora into ~/Applications with ditto; the extension
#                                      registered there only, enabled, loaded by a new Finder
#   scripts/finder-e2e.sh first-start  Lemvora once: the starter set in the template folder
#   scripts/finder-e2e.sh grants       Accessibility for the driver (only if it lacks it), and
#                                      the extension's consent for removable volumes
#   scripts/finder-e2e.sh cases        the menu's cases and the host window, through the driver
#   scripts/finder-e2e.sh collect      the logs, pluginkit's view, the listings; on every run
#
# It installs and enables the extension, restarts Finder and writes to the privacy databases:
# meant for a throwaway runner, it stops unless GITHUB_ACTIONS=true or LEMVORA_E2E=1. The build
# it installs is build-release (LEMVORA_BUILD to change). Screenshots, logs and listings go to
# $RUNNER_TEMP/finder-e2e (LEMVORA_E2E_OUT), what Finder showed in each menu case to its ax/.
# Never Desktop, Documents or Downloads: the extension's first write there asks the user. No
# case passes by being skipped.
#
# Sourced (tests/tools/finder_e2e_test.sh), it only defines its functions.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

extension_id=com.lemvora.Lemvora.LemvoraMenu
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
# The disk images' file systems, and the one volume name they all hold: exFAT's label holds 11
# UTF-16 code units, APFS's name 255 bytes. A letter beyond ASCII, as a user's stick has. (No
# FAT image: newfs_msdos stores a label's bytes as given, which FAT reads in a DOS code page.)
volume_filesystems=(ExFAT APFS)
volume_name="Flaş Bellek"
mkdir -p "$out"

fail() {
    echo "finder-e2e: FAILED: $*" >&2
    shot "failed"
    exit 1
}

shot() { # a screenshot of the whole screen, numbered in the order taken
    local n
    n=$(find "$out" -name '*.png' | wc -l | tr -d ' ')
    screencapture -x "$out/$(printf %02d "$n")-$1.png" || echo "screencapture failed ($1)"
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

# The first PID in NOW (one a line) that BEFORE does not hold: new_pid BEFORE NOW. Whole lines
# are compared: PID 41 is not PID 412.
new_pid() {
    local pid
    for pid in $2; do
        [[ $'\n'$1$'\n' == *$'\n'$pid$'\n'* ]] || { echo "$pid"; return 0; }
    done
    return 1
}

quit_lemvora() { # by SIGTERM: an Apple event asking Lemvora to quit would need a consent of its own
    local pid
    for pid in $(pgrep -x Lemvora || true); do kill "$pid" || true; done
    wait_for 20 bash -c '! pgrep -x Lemvora >/dev/null' || fail "Lemvora did not quit"
}

probe() {
    set +e
    echo "== csrutil status"; csrutil status
    echo "== sw_vers"; sw_vers
    echo "== the driver"
    if [ -x "$driver" ]; then "$driver" probe; else echo "no driver at $driver"; fi
    echo "== pluginkit -m -D -v -i $extension_id"; pluginkit -m -D -v -i "$extension_id"
    echo "== the extension's process"; pgrep -lx LemvoraMenu || echo "LemvoraMenu does not run"
    shot probe
    return 0
}

# From `pluginkit -m -D -v` (a mark, the identifier and version, a UUID, a date, the path, tab
# separated): one line per registered copy, its election mark ("+" in use), a tab, its path.
registration_lines() { awk -F'\t' 'NF > 1 { print substr($1, 1, 1) "\t" $NF }'; }
registrations() { pluginkit -m -D -v -i "$extension_id" | registration_lines; }

# From `codesign -d -r-`: the designated requirement's text ("# designated => …" when implicit,
# as an ad hoc signature's cdhash is).
designated_requirement() { sed -n 's/^#* *designated => //p'; }

# From `hdiutil attach`: the mount point (the last, tab-separated field of a /Volumes line).
mount_point() { awk -F'\t' '/\/Volumes\// { print $NF }' | sed 's/^ *//; s/ *$//'; }

install() {
    [ -d "$build/Lemvora.app" ] || fail "no build at $build/Lemvora.app"
    rm -rf "$app" # copying over an older copy would leave its stale files
    mkdir -p "$HOME/Applications"
    ditto "$build/Lemvora.app" "$app"
    codesign --verify --strict --verbose=2 "$app"
    # PlugInKit also finds the copies in build folders: only the installed one may stay.
    local path
    while IFS=$'\t' read -r _ path; do
        [ "$path" = "$appex" ] || { echo "removing the registration of $path"; pluginkit -r "$path"; }
    done < <(registrations)
    pluginkit -a "$appex"
    pluginkit -e use -i "$extension_id"
    only_installed_in_use() { [ "$(registrations)" = "+"$'\t'"$appex" ]; }
    wait_for 30 only_installed_in_use || {
        registrations
        fail "pluginkit does not list the installed copy alone, elected to use (+)"
    }
    registrations
    # Only a process started after Finder's restart runs the copy just installed: one started by
    # the Finder before may hold an older one.
    local before started=""
    before=$(pgrep -x LemvoraMenu || true)
    echo "LemvoraMenu before Finder's restart: ${before:-none}"
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

# The privacy databases: the system's is root's; the user's is the user's own, written as the
# user, as the runner images' own setup writes it (their configure_user_tccdb).
system_db="/Library/Application Support/com.apple.TCC/TCC.db"
user_db="$HOME/Library/Application Support/com.apple.TCC/TCC.db"
system_sql() { sudo sqlite3 "$system_db" "$1"; }
user_sql() { sqlite3 "$user_db" "$1"; }

# One row of a privacy database's access table, as SQL: access_row SERVICE CLIENT CLIENT_TYPE
# CSREQ NOW [OBJECT], with CSREQ in SQL (NULL, or X'…') and OBJECT the bundle identifier of the
# application the client may act on (Automation). The table has these 17 columns from macOS 14 on;
# later systems add columns with defaults, which the explicit list leaves to them.
access_row() {
    cat <<SQL
INSERT OR REPLACE INTO access (service, client, client_type, auth_value, auth_reason,
    auth_version, csreq, policy_id, indirect_object_identifier_type, indirect_object_identifier,
    indirect_object_code_identity, flags, last_modified, pid, pid_version, boot_uuid,
    last_reminded)
VALUES (
    '$1',       -- service
    '$2',       -- client: a program's path (client_type 1) or a bundle identifier (0)
    $3,         -- client_type
    2,          -- auth_value: allowed
    4,          -- auth_reason: set by the system, not a user's answer
    1,          -- auth_version
    $4,         -- csreq: the code requirement the client must meet, or NULL
    NULL,       -- policy_id: no MDM policy
    0,          -- indirect_object_identifier_type: a bundle identifier
    '${6:-UNUSED}', -- indirect_object_identifier: the application acted on, or none
    NULL,       -- indirect_object_code_identity
    0,          -- flags
    $5,         -- last_modified
    NULL, NULL, -- pid, pid_version: not tied to one process
    'UNUSED',   -- boot_uuid: not tied to one boot
    $5)         -- last_reminded
SQL
}

grants() {
    local now trusted service
    now=$(date +%s)
    trusted=$("$driver" probe)
    echo "$trusted"
    if [ "$trusted" != "AXIsProcessTrusted: yes" ]; then
        # The agent's own grant does not reach the driver: rows for the driver's path in the
        # system database, in place before its first Accessibility call (PostEvent for the
        # synthesized clicks and keys).
        for service in kTCCServiceAccessibility kTCCServicePostEvent; do
            system_sql "$(access_row "$service" "$driver" 1 NULL "$now")"
        done
        # The driver asks Finder for its windows and selection with Apple events: Automation of
        # Finder, in the user's database, as the runners' own setup grants it to their shells.
        user_sql "$(access_row kTCCServiceAppleEvents "$driver" 1 NULL "$now" com.apple.finder)"
        trusted=$("$driver" probe)
        echo "after the rows: $trusted"
        [ "$trusted" = "AXIsProcessTrusted: yes" ] ||
            fail "the runner refuses the Accessibility grant: AXIsProcessTrusted() stays false"
    fi

    # A disk image is a removable volume: the extension's first write there asks the user. The
    # consent given beforehand is a reasoned guess, so the log says what was written, and why,
    # for a Mac run to bear it out: the user's database (removable volumes are among the Files
    # and Folders consents, the user's own as Desktop's and Documents' are), for the extension's
    # bundle identifier (the process that writes), bound to its ad hoc signature's designated
    # requirement (a cdhash).
    local requirement csreq
    requirement=$(codesign -d -r- "$appex" 2>/dev/null | designated_requirement)
    [ -n "$requirement" ] || fail "codesign -d -r- gives no designated requirement for $appex"
    echo "the extension's designated requirement: $requirement"
    csreq -r="$requirement" -b "$out/extension.csreq"
    csreq=$(xxd -p "$out/extension.csreq" | tr -d '\n')
    user_sql "$(access_row kTCCServiceSystemPolicyRemovableVolumes "$extension_id" 0 "X'$csreq'" \
        "$now")"
    echo "removable volumes: kTCCServiceSystemPolicyRemovableVolumes allowed for $extension_id" \
        "(client_type 0, a bundle identifier: the extension's process writes the documents)," \
        "csreq \"$requirement\" (its designated requirement), in $user_db (the user's" \
        "database: a Files and Folders consent is the user's); read back:"
    user_sql "SELECT service, client, client_type, auth_value, hex(csreq) FROM access
        WHERE service = 'kTCCServiceSystemPolicyRemovableVolumes'"
}

# What a folder holds, recursively, without what the system keeps there on its own: Finder's
# .DS_Store (the view the driver sets), a volume's own folders, and the AppleDouble "._" files in
# which macOS keeps a file's extended attributes on FAT and exFAT.
listing() {
    (cd "$1" && find . -mindepth 1 \( -name .fseventsd -o -name .Spotlight-V100 -o -name .Trashes \
        -o -name .TemporaryItems \) -prune -o ! -name .DS_Store ! -name '._*' -print |
        LC_ALL=C sort)
}

# A case's name as a file name: its ASCII letters and digits, in lower case, runs of the rest "-".
slug() {
    printf '%s' "$1" | LC_ALL=C tr -cs '[:alnum:]' '-' | LC_ALL=C tr '[:upper:]' '[:lower:]'
}

# The driver's menu command for the case NAME: drive_menu NAME DRIVER-OPTIONS... What Finder
# showed (the case window's Accessibility tree and each context menu opened) stays in $out/ax
# whatever the outcome, to read a failure by, or a success, and to replay in the driver's tests.
drive_menu() {
    local name=$1 said status=0
    shift
    mkdir -p "$out/ax"
    said=$("$driver" menu --dump "$out/ax/$(slug "$name")" "$@") || status=$?
    printf '%s\n' "$said"
    [ "$status" != 0 ] || return 0
    # The removable-volume consent was given beforehand: should the system ask all the same, the
    # case fails for that, pictured, whatever the driver saw meanwhile. The TCC log is read
    # whole, then searched: a reader ending early would take log show down with SIGPIPE and,
    # under pipefail, lose the finding exactly when it applies.
    local tcc_log owners
    tcc_log="$out/tcc-$(slug "$name").log"
    owners=$(window_owners 2>&1 || true)
    log show --last 10m --style compact --predicate 'subsystem == "com.apple.TCC"' >"$tcc_log" 2>&1 ||
        true
    if removable_prompt "$owners" "$tcc_log"; then
        shot "$(slug "$name")-consent-prompt"
        grep 'AUTHREQ_PROMPTING.*RemovableVolumes' "$tcc_log" >&2 || true
        case "$said" in
        *"no such file"*) fail "case \"$name\": consent prompt for removable volumes; the" \
            "driver's \"no such file\" came while it was up" ;;
        *) fail "case \"$name\": consent prompt for removable volumes" ;;
        esac
    fi
    return "$status"
}

# The owners of the windows on screen, one a line. The window server tells owners without the
# screen-recording consent that window titles would need, and osascript sends no Apple event.
window_owners() {
    osascript -l JavaScript -e 'ObjC.import("CoreGraphics");
const windows = ObjC.castRefToObject($.CGWindowListCopyWindowInfo(
    $.kCGWindowListOptionOnScreenOnly, $.kCGNullWindowID));
const owners = [];
for (let i = 0; i < windows.count; i++)
    owners.push(ObjC.unwrap(windows.objectAtIndex(i).objectForKey("kCGWindowOwnerName")));
owners.join("\n");'
}

# Whether a removable-volume consent prompt is up: removable_prompt OWNERS TCC-LOG. TCC's prompts
# are windows of UserNotificationCenter; which service asks, the log's AUTHREQ_PROMPTING line
# says, and a request still open has no AUTHREQ_RESULT of its msgID after it.
removable_prompt() {
    [[ $'\n'$1$'\n' == *$'\n'UserNotificationCenter$'\n'* ]] || return 1
    awk '/AUTHREQ_PROMPTING: msgID=.*service=kTCCServiceSystemPolicyRemovableVolumes,/ {
            id = $0; sub(/.*AUTHREQ_PROMPTING: msgID=/, "", id); sub(/,.*/, "", id); asked[id] = 1
        }
        /AUTHREQ_RESULT: msgID=/ {
            id = $0; sub(/.*AUTHREQ_RESULT: msgID=/, "", id); sub(/,.*/, "", id); delete asked[id]
        }
        END { for (id in asked) up = 1; exit !up }' "$2"
}

# Runs the driver's menu command on FOLDER's window and checks that exactly NEW appeared in all of
# FOLDER, in TARGET (FOLDER, or where the item the menu is for leads), a copy of TEMPLATE:
# menu_case NAME FOLDER TARGET TEMPLATE NEW [DRIVER OPTIONS...]
menu_case() {
    local name=$1 folder=$2 target=$3 template=$4 new=$5
    shift 5
    local before
    before=$(listing "$folder")
    echo "== case: $name"
    if ! drive_menu "$name" --folder "$folder" --target "$target" --entry "Metin Belgesi" \
        --expect "$new" "$@"; then
        # Finder names the folder in view as the menu's target (its targetedURL) and the item
        # right-clicked as selected: a document meant beside or in that item but made in the
        # folder in view means the extension went by the target alone.
        if [ "$target" != "$folder" ] && [ -e "$folder/$new" ]; then
            echo "finder-e2e: $new came into $folder, the folder in view, not into $target:" \
                "the extension did not go by the item the menu was for" >&2
        fi
        shot "$name"
        fail "case \"$name\": the driver failed"
    fi
    shot "$name"
    cmp "$templates/$template" "$target/$new" || fail "case \"$name\": $new is no copy of $template"
    local expected
    expected=$(printf '%s\n%s\n' "$before" ".${target#"$folder"}/$new" | sed '/^$/d' | LC_ALL=C sort)
    [ "$(listing "$folder")" = "$expected" ] ||
        fail "case \"$name\": other files appeared: $(listing "$folder" | tr '\n' ' ')"
}

fresh_folder() { rm -rf "$1" && mkdir -p "$1"; }

# Attaches an image as the user, whom the extension runs as: mounted as root, the volume may
# not take their writes, and the case would fail for the wrong reason. "Resource busy" passes
# on the runners, so it is tried again, a few times, each pause longer; any other refusal is
# final. Prints the mount point, or else hdiutil's own message and fails.
attach_pause=3
attach() {
    local image=$1 tries output
    for tries in 1 2 3 4 5; do
        if output=$(hdiutil attach "$image" 2>&1); then
            local point
            point=$(printf '%s\n' "$output" | mount_point)
            if [ -z "$point" ]; then
                echo "hdiutil attach names no /Volumes folder: $output"
                return 1
            fi
            printf '%s\n' "$point"
            return 0
        fi
        echo "hdiutil attach ($tries): $output" >&2
        case "$output" in *"esource busy"*) ;; *) break ;; esac
        [ "$tries" = 5 ] || sleep $((attach_pause * tries))
    done
    printf '%s\n' "$output"
    return 1
}

volume_case() {
    local fs=$1 image="${RUNNER_TEMP:-/tmp}/usb-$1.dmg" volume
    rm -f "$image"
    hdiutil create -size 64m -fs "$fs" -volname "$volume_name" "$image"
    # Attached while the extension runs: it must register the new volume on its own.
    volume=$(attach "$image") || fail "case \"$fs image\": $volume"
    [ -d "$volume" ] || fail "case \"$fs image\": no mount point ($volume)"
    echo "attached at $volume"
    if ! (menu_case "$fs image" "$volume" "$volume" "10 Yeni Metin Belgesi.txt" \
        "Yeni Metin Belgesi.txt" --timeout 60); then
        hdiutil detach "$volume" || true
        exit 1
    fi
    hdiutil detach "$volume" || hdiutil detach -force "$volume"
}

cases() {
    fresh_folder "$root"
    # The starter text template is empty: with a content, "a copy of the template" means more.
    printf 'Lemvora: Finder uçtan uca\n' >"$templates/10 Yeni Metin Belgesi.txt"
    local folder="$root/Belgeler"
    mkdir -p "$folder"
    menu_case "Metin Belgesi" "$folder" "$folder" "10 Yeni Metin Belgesi.txt" \
        "Yeni Metin Belgesi.txt"
    menu_case "Metin Belgesi again" "$folder" "$folder" "10 Yeni Metin Belgesi.txt" \
        "Yeni Metin Belgesi 2.txt"

    # Menu kind 0: the right-click on a selected folder; the document goes into that folder.
    mkdir -p "$root/Seçili/Hedef Klasör"
    menu_case "a selected folder" "$root/Seçili" "$root/Seçili/Hedef Klasör" \
        "10 Yeni Metin Belgesi.txt" "Yeni Metin Belgesi.txt" --item "Hedef Klasör"

    # Menu kind 0 on a file in a subfolder expanded in the list: the document goes beside the
    # file, in the subfolder, and nothing into the folder in view.
    mkdir -p "$root/Liste/Alt"
    printf 'not\n' >"$root/Liste/Alt/not.txt"
    menu_case "a file in an expanded subfolder" "$root/Liste" "$root/Liste/Alt" \
        "10 Yeni Metin Belgesi.txt" "Yeni Metin Belgesi.txt" --expand Alt --item not.txt

    local fs
    for fs in "${volume_filesystems[@]}"; do volume_case "$fs"; done

    # A folder the user may not write to: the alert, and "Tamam" closes it.
    local locked="$root/Salt Okunur"
    mkdir -p "$locked"
    chmod 555 "$locked"
    echo "== case: a folder the user may not write to"
    drive_menu unwritable --folder "$locked" --entry "Metin Belgesi" \
        --expect-alert "Metin Belgesi oluşturulamadı" || { shot unwritable; fail "case \"unwritable\""; }
    shot unwritable
    [ -z "$(listing "$locked")" ] || fail "case \"unwritable\": something appeared in it"
    chmod 755 "$locked"

    # An empty template folder: the one entry starts Lemvora.
    echo "== case: an empty template folder"
    mv "$templates" "$templates.kept"
    mkdir "$templates"
    drive_menu "empty template folder" --folder "$folder" --entry "Şablon yok — Lemvora'ı aç…" \
        --expect-app ||
        { shot empty; fail "case \"empty template folder\""; }
    shot empty
    quit_lemvora
    rmdir "$templates"
    mv "$templates.kept" "$templates"

    host_window
}

# The host application's window, read through the Accessibility API; its picture is kept on
# every run, to set beside the Linux one in docs/.
host_window() {
    echo "== case: the host window"
    open -a "$app"
    local expected=(--text "Finder sağ tık menüsüne \"Yeni Belge\" ekler" --text "✓ Uzantı etkin"
        --text "Menüdeki belge türleri")
    local buttons=(--button "Uzantı Ayarlarını Aç" --button "Durumu Yenile"
        --button "Şablon Klasörünü Aç")
    local rows=() title
    for title in "${titles[@]}"; do rows+=(--title "$title"); done
    window_shot() { # window_shot NAME DRIVER-OPTIONS...: reads the window, keeps its picture
        local name=$1 said frame
        shift
        said=$("$driver" window "$@") || {
            echo "$said"
            shot "window-$name"
            fail "case \"host window\" ($name)"
        }
        echo "$said"
        frame=$(printf '%s\n' "$said" | sed -n 's/^window frame: //p')
        [ -n "$frame" ] || fail "case \"host window\": the driver gave no frame"
        screencapture -x -R"$frame" "$out/window-$name.png" ||
            fail "case \"host window\": no screenshot of the window"
    }
    window_shot started "${expected[@]}" --text "5 şablon." "${rows[@]}" "${buttons[@]}"
    # A template added to the folder shows after "Durumu Yenile".
    cp "$templates/10 Yeni Metin Belgesi.txt" "$templates/60 Yeni Not.txt"
    window_shot refreshed --press "Durumu Yenile" "${expected[@]}" --text "6 şablon." \
        "${rows[@]}" --title "Not" "${buttons[@]}"
    rm "$templates/60 Yeni Not.txt"
    quit_lemvora
}

collect() {
    set +e
    log show --last 10m --style compact \
        --predicate 'process == "LemvoraMenu" OR process == "Finder" OR subsystem == "com.apple.TCC"' \
        >"$out/log.txt" 2>&1
    pluginkit -m -D -v -i "$extension_id" >"$out/pluginkit.txt" 2>&1
    { ls -laR "$root"; echo; ls -la "$templates"; echo; ls -la /Volumes; } >"$out/listings.txt" 2>&1
    shot collect
    return 0
}

[ "${BASH_SOURCE[0]}" = "$0" ] || return 0
if [ "${GITHUB_ACTIONS:-}" != true ] && [ "${LEMVORA_E2E:-}" != 1 ]; then
    echo "finder-e2e: this replaces ~/Applications/Lemvora.app and restarts Finder;" \
        "set LEMVORA_E2E=1 to run it here" >&2
    exit 2
fi
case "${1:-}" in
probe) probe ;;
install) install ;;
first-start) first_start ;;
grants) grants ;;
cases) cases ;;
collect) collect ;;
*)
    echo "usage: scripts/finder-e2e.sh probe|install|first-start|grants|cases|collect" >&2
    exit 2
    ;;
esac
