#!/usr/bin/env bash
# Runs a command in an environment of its own, so that no test touches anything of the
# developer's:
# - a user database of its own (nss_wrapper on Linux, tests/support/fake_passwd.cpp on macOS),
#   whose entry for the current user has a fresh
#   temporary home: the product takes the home from the database, and needs no switch for tests
#   ($HOME points elsewhere on purpose, to prove it);
# - every XDG folder under that home, no session bus, and a fixed locale (tests that need another
#   set it themselves).
set -euo pipefail

work=$(mktemp -d "${TMPDIR:-/tmp}/lemvora-test.XXXXXX")
chmod 755 "$work"
cleanup() {
    chmod -R u+rwX "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

home="$work/home"
mkdir -p "$home" "$work/not-the-home" "$work/tmp"
uid=$(id -u)
gid=$(id -g)
echo "lemvora-test:x:$uid:$gid:Lemvora test user:$home:/bin/sh" >"$work/passwd"
echo "lemvora-test:x:$gid:" >"$work/group"

export NSS_WRAPPER_PASSWD="$work/passwd" NSS_WRAPPER_GROUP="$work/group"
if [ "$(uname)" = Darwin ]; then
    # The build's own interposing library answers getpwuid from the same file
    # (tests/support/fake_passwd.cpp); ctest names it in LEMVORA_FAKE_PASSWD_LIBRARY.
    if [ ! -f "${LEMVORA_FAKE_PASSWD_LIBRARY:-}" ]; then
        echo "with-fake-home: LEMVORA_FAKE_PASSWD_LIBRARY names no library" >&2
        exit 1
    fi
    export DYLD_INSERT_LIBRARIES="$LEMVORA_FAKE_PASSWD_LIBRARY"
else
    wrapper=$(ls /usr/lib/*/libnss_wrapper.so 2>/dev/null | head -n 1 || true)
    if [ -z "$wrapper" ]; then
        echo "with-fake-home: libnss_wrapper.so not found (apt-get install libnss-wrapper)" >&2
        exit 1
    fi
    export LD_PRELOAD="$wrapper${LD_PRELOAD:+:$LD_PRELOAD}"
    # Under AddressSanitizer the preloaded wrapper comes before the ASan runtime; harmless.
    export ASAN_OPTIONS="verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
fi
export LSAN_OPTIONS="suppressions=$(dirname "$(realpath "$0")")/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LEMVORA_TEST_WORK="$work" LEMVORA_TEST_HOME="$home"
export HOME="$work/not-the-home"
export TMPDIR="$work/tmp"

export XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share"
export XDG_STATE_HOME="$home/.local/state" XDG_CACHE_HOME="$home/.cache"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset XDG_CONFIG_DIRS XDG_DATA_DIRS XDG_SESSION_TYPE XDG_CURRENT_DESKTOP
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY

unset LC_ALL LANGUAGE LC_COLLATE LC_CTYPE LC_MESSAGES LC_NUMERIC LC_TIME
export LANG=C.UTF-8
"$@"
