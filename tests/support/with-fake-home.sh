#!/usr/bin/env bash
# Runs a command under a user database of its own (nss_wrapper): the current user's home is a
# fresh temporary folder, so no test ever touches the real home, and the product needs no switch
# for tests. A second entry, "lemvora-nobody" (uid 65534), has a home of its own for tests that
# must run unprivileged. $HOME points elsewhere on purpose: the product must follow the database.
set -euo pipefail

work=$(mktemp -d "${TMPDIR:-/tmp}/lemvora-test.XXXXXX")
chmod 755 "$work"
cleanup() {
    chmod -R u+rwX "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/home" "$work/nobody-home" "$work/not-the-home"
chown 65534:65534 "$work/nobody-home" 2>/dev/null || true
uid=$(id -u)
gid=$(id -g)
{
    echo "lemvora-test:x:$uid:$gid:Lemvora test user:$work/home:/bin/sh"
    [ "$uid" = 65534 ] || echo "lemvora-nobody:x:65534:65534:Lemvora unprivileged:$work/nobody-home:/bin/sh"
} >"$work/passwd"
{
    echo "lemvora-test:x:$gid:"
    [ "$gid" = 65534 ] || echo "lemvora-nobody:x:65534:"
} >"$work/group"

wrapper=$(ls /usr/lib/*/libnss_wrapper.so 2>/dev/null | head -n 1 || true)
if [ -z "$wrapper" ]; then
    echo "with-fake-home: libnss_wrapper.so not found (apt-get install libnss-wrapper)" >&2
    exit 1
fi

export NSS_WRAPPER_PASSWD="$work/passwd" NSS_WRAPPER_GROUP="$work/group"
export LD_PRELOAD="$wrapper${LD_PRELOAD:+:$LD_PRELOAD}"
# Under AddressSanitizer the preloaded wrapper comes before the ASan runtime; that is harmless.
export ASAN_OPTIONS="verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export LSAN_OPTIONS="suppressions=$(dirname "$(realpath "$0")")/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LEMVORA_TEST_WORK="$work" LEMVORA_TEST_HOME="$work/home"
export LEMVORA_TEST_NOBODY_HOME="$work/nobody-home"
export HOME="$work/not-the-home"
export TMPDIR="$work"
"$@"
