#!/usr/bin/env bash
# On a Mac: builds the universal release of Lemvora, signs it, wraps Lemvora.app in a DMG, and,
# when notary credentials are given, notarizes and staples both: first the application (so that
# it carries its own ticket, and a user who copies it out of the DMG and first opens it offline is
# not stopped by Gatekeeper), then the DMG around it. Cannot run on Linux.
#
# Usage: scripts/macos-release.sh "Developer ID Application: NAME (TEAMID)" [NOTARY_PROFILE]
#   NOTARY_PROFILE: a keychain profile made once with
#     xcrun notarytool store-credentials NOTARY_PROFILE --apple-id … --team-id …
#   Without it, the script stops after the signed DMG and says so.
set -euo pipefail
identity=${1:?usage: scripts/macos-release.sh SIGNING_IDENTITY [NOTARY_PROFILE]}
profile=${2:-}
[ "$(uname)" = Darwin ] || { echo "macos-release: this runs on a Mac" >&2; exit 2; }
cd "$(dirname "$0")/.."

# Submits a file to Apple's notary service and waits for the answer. notarytool exits 0 whatever
# the answer is ("Invalid" too), so the status is read from its JSON output; unless it is
# "Accepted", the service's log of the submission is printed and the release stops.
notarize() {
    local answer id status
    answer=$(xcrun notarytool submit "$1" --keychain-profile "$profile" --wait \
        --output-format json)
    id=$(plutil -extract id raw -o - - <<<"$answer")
    status=$(plutil -extract status raw -o - - <<<"$answer")
    if [ "$status" != Accepted ]; then
        echo "macos-release: the notary service answered \"$status\" for $1" >&2
        xcrun notarytool log "$id" --keychain-profile "$profile" >&2 || true
        exit 1
    fi
    echo "Notarized: $1 ($id)"
}

# A folder of the release's own: build-release is the README's ad-hoc build, and a build folder
# keeps its cache. --fresh and every signing setting given here: an identity, a "no timestamp"
# or a codesign stand-in left in the cache by another build never reaches a release.
build=build-dist
cmake --fresh -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLEMVORA_BUILD_TESTS=OFF \
    -DLEMVORA_CODESIGN="$(xcrun --find codesign)" -DLEMVORA_CODESIGN_ENVIRONMENT= \
    -DLEMVORA_CODESIGN_IDENTITY="$identity" -DLEMVORA_CODESIGN_TIMESTAMP=ON \
    -DLEMVORA_WARNINGS_AS_ERRORS=ON
cmake --build "$build"
codesign --verify --strict --deep --verbose=2 "$build/Lemvora.app"

if [ -n "$profile" ]; then
    # The notary service takes a zip (made by ditto, which keeps the signatures); the ticket is
    # then stapled to the application itself.
    ditto -c -k --keepParent "$build/Lemvora.app" "$build/Lemvora-notarize.zip"
    notarize "$build/Lemvora-notarize.zip"
    rm -f "$build/Lemvora-notarize.zip"
    xcrun stapler staple "$build/Lemvora.app"
    spctl --assess --type execute --verbose "$build/Lemvora.app"
fi

version=$(/usr/libexec/PlistBuddy -c 'Print CFBundleShortVersionString' \
    "$build/Lemvora.app/Contents/Info.plist")
dmg="$build/Lemvora-$version.dmg"
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
cp -R "$build/Lemvora.app" "$staging/"
ln -s /Applications "$staging/Applications" # drag the application onto it to install
rm -f "$dmg"
hdiutil create -volname Lemvora -srcfolder "$staging" -format UDZO -ov "$dmg"
codesign --force --timestamp --sign "$identity" "$dmg"

if [ -z "$profile" ]; then
    echo "Signed $dmg. Not notarized: no notary profile was given, so Gatekeeper will question"
    echo "it on other Macs. Run again with a profile to notarize and staple it and the application."
    exit 0
fi
notarize "$dmg"
xcrun stapler staple "$dmg"
spctl --assess --type open --context context:primary-signature --verbose "$dmg"
echo "Signed, notarized and stapled: $dmg"
