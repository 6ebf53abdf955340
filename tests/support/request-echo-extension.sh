#!/bin/sh
# An extension that registers "/" alone and writes each request it gets, after its process ID, to
# its standard error. It offers one entry, "Yankı" (action "echo:"), and its action does nothing.
echo '{"ready":true,"directoryURLs":["/"]}'
while read -r line; do
    echo "$$ $line" >&2
    case $line in
    *'"op":"send"'*) printf '%s\n' '{"returned":true}' '{"done":true}' ;;
    *) echo '{"menu":{"title":"","items":[{"title":"Yeni Belge","action":null,"keyEquivalent":"","submenu":{"title":"Yeni Belge","items":[{"title":"Yankı","action":"echo:","keyEquivalent":""}]}}]}}' ;;
    esac
done
