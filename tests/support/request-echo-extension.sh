#!/bin/sh
# An extension that registers "/" alone and writes each request it gets, after its process ID, to
# its standard error. It offers one entry, "Yankı" (action "echo:"), and its action does nothing:
# it returns and ends at once, under the name the host gave it.
echo '{"ready":true,"directoryURLs":["/"]}'
while read -r line; do
    echo "$$ $line" >&2
    case $line in
    *'"op":"send"'*)
        action=$(printf '%s\n' "$line" | sed -n 's/.*"action":\([0-9][0-9]*\).*/\1/p')
        printf '%s\n' "{\"returned\":true,\"action\":$action}" "{\"done\":true,\"action\":$action}" ;;
    *) echo '{"menu":{"title":"","items":[{"title":"Yeni Belge","action":null,"keyEquivalent":"","submenu":{"title":"Yeni Belge","items":[{"title":"Yankı","action":"echo:","keyEquivalent":""}]}}]}}' ;;
    esac
done
