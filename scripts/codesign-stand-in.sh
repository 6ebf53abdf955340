#!/bin/sh
# Stands in for codesign in the macOS cross-check, which cannot sign: appends its arguments to
# $LEMVORA_CODESIGN_LOG, one a line and a blank line after each call, and fails unless the
# identity after --sign arrived whole, as one argument: ad hoc ("-") or
# $LEMVORA_CODESIGN_EXPECTED. (Apple's identities hold blanks and a parenthesis.)
log=${LEMVORA_CODESIGN_LOG:?}
printf '%s\n' "$@" "" >>"$log"
while [ $# -gt 0 ]; do
    if [ "$1" = --sign ]; then
        if [ "$2" != - ] && [ "$2" != "${LEMVORA_CODESIGN_EXPECTED:?}" ]; then
            echo "codesign stand-in: the identity arrived as \"$2\", not as" \
                "\"$LEMVORA_CODESIGN_EXPECTED\"" >&2
            exit 1
        fi
    fi
    shift
done
