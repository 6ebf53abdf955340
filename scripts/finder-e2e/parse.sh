# shellcheck shell=bash
# How scripts/finder-e2e.sh, which sources this file, reads what Apple's tools print: pgrep's
# PIDs, pluginkit's registrations, codesign's requirement, hdiutil's mount point, TCC's log, the
# driver's probe.

# The first PID in NOW (one a line) that BEFORE does not hold: new_pid BEFORE NOW; status 1 when
# none is new. Whole lines are compared: PID 41 is not PID 412.
new_pid() {
    local pid
    for pid in $2; do
        [[ $'\n'$1$'\n' == *$'\n'$pid$'\n'* ]] || { echo "$pid"; return 0; }
    done
    return 1
}

# From `pluginkit -m -A -D -v` (a mark, the identifier and version, a UUID, a date, the path, tab
# separated): one line per registered copy, its election mark, a tab, its path.
registration_lines() { awk -F'\t' 'NF > 1 { print substr($1, 1, 1) "\t" $NF }'; }

# What a mark says, as pluginkit(8) lists them: "+" elected to use, "-" to ignore, "!" for
# debugger use, "=" superseded by another plug-in, "?" an unknown election; none, not elected.
election() {
    case $1 in
    +) echo "elected to use" ;;
    -) echo "elected to ignore (-)" ;;
    !) echo "elected for debugger use (!)" ;;
    =) echo "superseded by another plug-in (=)" ;;
    \?) echo "of unknown election (?)" ;;
    *) echo "not elected" ;;
    esac
}

# Whether the registration lines on standard input list exactly one copy, INSTALLED, elected to
# use ("+"): registration_verdict INSTALLED. Otherwise it says why, and its status is 1. A
# superseded copy is not in use, nor one whose election is unknown.
registration_verdict() {
    local lines mark path
    lines=$(sed '/^$/d')
    if [ -z "$lines" ]; then
        echo "pluginkit lists no copy"
        return 1
    fi
    if [ "$(printf '%s\n' "$lines" | wc -l | tr -d ' ')" != 1 ]; then
        echo "pluginkit lists $(printf '%s\n' "$lines" | wc -l | tr -d ' ') copies:" \
            "$(printf '%s\n' "$lines" | tr '\t\n' ' ;')"
        return 1
    fi
    IFS=$'\t' read -r mark path <<<"$lines"
    if [ "$path" != "$1" ]; then
        echo "pluginkit lists $path, not the installed copy"
        return 1
    fi
    [ "$mark" = + ] && return 0
    echo "the installed copy is $(election "$mark"), not in use"
    return 1
}

# From `codesign -d -r-`: the designated requirement's text ("# designated => …" when implicit,
# as an ad hoc signature's cdhash is).
designated_requirement() { sed -n 's/^#* *designated => //p'; }

# From `hdiutil attach`: the mount point (the last, tab-separated field of a /Volumes line).
mount_point() { awk -F'\t' '/\/Volumes\// { print $NF }' | sed 's/^ *//; s/ *$//'; }

# Whether a removable-volume consent prompt is up: removable_prompt OWNERS TCC-LOG. TCC's prompts
# are windows of UserNotificationCenter; which service asks, the log's AUTHREQ_PROMPTING line
# says, and a request still open has no AUTHREQ_RESULT of its msgID after it.
removable_prompt() {
    [[ $'\n'$1$'\n' == *$'\n'UserNotificationCenter$'\n'* ]] || return 1
    awk '/AUTHREQ_PROMPTING: msgID=.*service=kTCCServiceSystemPolicyRemovableVolumes,/ {
            id = $0; sub(/.*AUTHREQ_PROMPTING: msgID=/, "", id); sub(/,.*/, "", id); asked[id] = 1
        }
        /AUTHREQ_RESULT: msgID=/ {
            id = $0; sub(/.*AUTHREQ_RESULT: msgID=/, "", id); sub(/,.*/, "", id); delete asked[id]
        }
        END { for (id in asked) up = 1; exit !up }' "$2"
}

# What the driver's probe answers to NAME ("AXIsProcessTrusted", ...): probe_answer NAME PROBE.
probe_answer() { sed -n "s/^$1: //p" <<<"$2" | sed -n 1p; }

# From the driver's probe: the executables of its ancestry, one a line, but launchd's (PID 1,
# every process's ancestor) and those it could not read.
ancestry_paths() {
    awk '/^ancestry: [0-9]+ / && $2 != 1 { sub(/^ancestry: [0-9]+ /, ""); if ($0 != "?") print }'
}

# From TCC's log: the lines that name SERVICE, and the AUTHREQ_RESULT line answering each request
# among them (by its msgID, as the request's AUTHREQ_CTX line gives it): tcc_lines SERVICE.
tcc_lines() {
    awk -v service="$1" '
        function id() { match($0, /msgID=[^,]*/); return substr($0, RSTART + 6, RLENGTH - 6) }
        index($0, service) { print; if (/msgID=/) asked[id()] = 1; next }
        /AUTHREQ_RESULT: msgID=/ && (id() in asked) { print }'
}

# From TCC's log: the programs tccd names on its "Refusing TCCAccessRequest for service S from
# ..." lines for any of SERVICES, one a line, each once: a binary_path= (synthaea-lab/edr-new#354
# saw it there, where the AUTHREQ lines redact the client), else the path in a client
# "Sub:{PATH}". A path ends at a comma or a closing brace. tcc_named_paths SERVICE...
tcc_named_paths() {
    awk -v services="$*" 'BEGIN { n = split(services, wanted, " ") }
        /Refusing TCCAccessRequest for service / {
            for (i = 1; i <= n; i++) if (index($0, "for service " wanted[i] " ")) break
            if (i > n) next
            path = ""
            if (match($0, /binary_path=[^,}]*/)) path = substr($0, RSTART + 12, RLENGTH - 12)
            else if (match($0, /Sub:\{\/[^}]*\}/)) path = substr($0, RSTART + 5, RLENGTH - 6)
            sub(/[. ]+$/, "", path)
            if (path ~ /^\// && !seen[path]++) print path
        }'
}

# From TCC's log: the services it prompted the user for (AUTHREQ_PROMPTING), each once; "none".
prompts_in() {
    awk '/AUTHREQ_PROMPTING: / && match($0, /service=[^,]*/) {
            service = substr($0, RSTART + 8, RLENGTH - 8); if (!seen[service]++) print service }
        END { if (service == "") print "none" }'
}
