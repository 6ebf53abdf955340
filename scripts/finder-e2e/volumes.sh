# shellcheck shell=bash disable=SC2034,SC2154 # the variables scripts/finder-e2e.sh sets and uses
# The disk images that stand in for a USB stick, for scripts/finder-e2e.sh, which sources this
# file.

# The images' file systems, and the one volume name they all hold: exFAT's label holds 11 UTF-16
# code units, APFS's name 255 bytes. A letter beyond ASCII, as a user's stick has. (No FAT image:
# newfs_msdos stores a label's bytes as given, which FAT reads in a DOS code page.)
volume_filesystems=(ExFAT APFS)
volume_name="Flaş Bellek"

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
    # Finder's Apple events around a freshly attached disk image have hung on macOS 26, and
    # the one mend found was to send none (raullenchai/Rapid-MLX#2240, PR #3066): the driver opens
    # the volume through Launch Services and reads Finder's window through Accessibility.
    if ! (menu_case "$fs image" "$volume" "$volume" "10 Yeni Metin Belgesi.txt" \
        "Yeni Metin Belgesi.txt" --timeout 60 --no-apple-events); then
        hdiutil detach "$volume" || true
        exit 1
    fi
    # The consent was written beforehand, to both databases: which prompt came all the same.
    tcc_log_to "$out/tcc-$(slug "$fs image").log"
    echo "prompts since the job's start: $(prompts_in <"$out/tcc-$(slug "$fs image").log" |
        tr '\n' ' ')"
    hdiutil detach "$volume" || hdiutil detach -force "$volume"
}
