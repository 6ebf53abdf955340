# shellcheck shell=bash disable=SC2154 # the variables scripts/finder-e2e.sh sets and uses
# The Finder job's menu cases and the host window (scripts/finder-e2e.sh cases): what each case
# drives through lemvora-finder-driver, and what it checks on disk afterwards. Sourced by
# scripts/finder-e2e.sh, whose settings ($driver, $root, $out, $templates...) and helpers it uses.

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

# What the job made in FOLDER, one name a line: what Finder lists there, its hidden files aside.
folder_entries() {
    (cd "$1" && find . -mindepth 1 -maxdepth 1 ! -name '.*' | sed 's|^\./||' | LC_ALL=C sort)
}

# The driver's menu command for the case NAME: drive_menu NAME DRIVER-OPTIONS... with --folder
# among them. What Finder showed (the case window's Accessibility tree, each context menu
# opened, in the alert case the alert) stays in $out/ax whatever the outcome, to read a failure
# by, or a success, and to replay in the driver's tests; the driver's "seen: " lines (what it
# saw of the alert: its focus, the menu offered with it up, what Return did) in ax/NAME.seen.txt.
drive_menu() {
    local name=$1 said status=0 option previous="" folder="" entry listed=()
    shift
    for option in "$@"; do
        [ "$previous" != --folder ] || folder=$option
        previous=$option
    done
    # Every entry the job made in the case's folder, so that the driver tells its file list from
    # the sidebar (an entry may be named as a sidebar item is).
    if [ -n "$folder" ]; then
        while IFS= read -r entry; do listed+=(--listed "$entry"); done < <(folder_entries "$folder")
    fi
    mkdir -p "$out/ax"
    said=$("$driver" menu --dump "$out/ax/$(slug "$name")" "$@" ${listed[@]+"${listed[@]}"}) ||
        status=$?
    printf '%s\n' "$said"
    if grep -q '^seen: ' <<<"$said"; then
        grep '^seen: ' <<<"$said" >"$out/ax/$(slug "$name").seen.txt"
    fi
    [ "$status" != 0 ] || return 0
    # The removable-volume consent was given beforehand: should the system ask all the same, the
    # case fails for that, pictured, whatever the driver saw meanwhile.
    local tcc_log owners
    tcc_log="$out/tcc-$(slug "$name").log"
    owners=$(window_owners 2>&1 || true)
    tcc_log_to "$tcc_log"
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

# Runs the driver's menu command on FOLDER's window and checks that exactly NEW appeared in all of
# FOLDER, in TARGET (FOLDER, or where the item the menu is for leads), a copy of TEMPLATE:
# menu_case NAME FOLDER TARGET TEMPLATE NEW [DRIVER OPTIONS...]
menu_case() {
    local name=$1 folder=$2 target=$3 template=$4 new=$5
    shift 5
    local before
    before=$(checked listing "$folder") || exit 1
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
