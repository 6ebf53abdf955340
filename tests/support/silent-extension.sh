#!/bin/sh
# A slow extension: it takes a second to start, and its action returns, holding an activity when
# its selector is "held:", then says nothing more.
sleep 1
echo '{"ready":true,"directoryURLs":["/"]}'
while read -r line; do
    action=$(printf '%s\n' "$line" | sed -n 's/.*"action":\([0-9][0-9]*\).*/\1/p')
    case $line in
    *'"selector":"held:"'*) echo '{"activity":"begin"}' ;;
    esac
    echo "{\"returned\":true,\"action\":$action}"
done
