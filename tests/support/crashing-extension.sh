#!/bin/sh
# An extension that says it is ready, then dies on its first request.
echo '{"ready":true,"directoryURLs":["/"]}'
read -r line
kill -SEGV $$
