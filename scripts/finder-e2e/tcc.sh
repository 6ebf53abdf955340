# shellcheck shell=bash disable=SC2154 # the variables scripts/finder-e2e.sh sets and uses
# The privacy databases (TCC) for scripts/finder-e2e.sh, which sources this file: what the runner
# images grant, the rows the job adds, and what it reads back.

# The image grants the runner's agent, as the process responsible for what a step starts (bash,
# osascript, the driver): Accessibility, Screen Recording and Apple events to Finder and System
# Events (configure-tccdb-macos.sh, read at 27010373080c; its agent rows date from f443af2cd,
# 2025-07-01, a commit not found to read; the prompts of runner-images #12616, #12482 and #12489
# name "hosted-compute-agent"). But the responsible process has differed between images: the
# provisioner at /opt/off/opt/runner/provisioner/provisioner (#9529, 2024, not found to read),
# the old provisioner and the agent from one run to the next (#12489, 2025-06), and another
# project grants Runner.Listener, found by walking the process tree, on hosted 14, 15 and 26
# (fastrepl/anarlog PR #7266). So the grants go to the process that really asks
# (responsible_paths), and the agent's rows are only read.
agent=/opt/hca/hosted-compute-agent
system_db="/Library/Application Support/com.apple.TCC/TCC.db"
user_db="$HOME/Library/Application Support/com.apple.TCC/TCC.db"

# Every statement waits for the lock: a plain sqlite3 write to TCC.db fails now and then with
# "database is locked" on hosted macOS runners (microsoft/playwright#40896; guidepup/setup PR #63
# quotes "stepping, database is locked (5)" and adds a busy timeout for it). The system's
# database is root's; the user's is written as its owner, the user. (The image's own script runs
# under sudo, both databases as root: macOS-*.anka.pkr.hcl runs configure-tccdb-macos.sh with
# "sudo {{ .Vars }} {{ .Path }}".) Reads never prompt for a password (sudo -n) and open the
# database read-only.
tcc_timeout_ms=10000
system_sql() { sudo sqlite3 -cmd ".timeout $tcc_timeout_ms" "$system_db" "$1"; }
user_sql() { sqlite3 -cmd ".timeout $tcc_timeout_ms" "$user_db" "$1"; }
system_read() { sudo -n sqlite3 -readonly -cmd ".timeout $tcc_timeout_ms" "$system_db" "$1"; }
user_read() { sqlite3 -readonly -cmd ".timeout $tcc_timeout_ms" "$user_db" "$1"; }

# One row of the access table, as SQL, from 13 values as the image's configure-tccdb-macos.sh
# gives them (service, client, client_type, auth_value, auth_reason, auth_version, csreq,
# policy_id, indirect_object_identifier_type, indirect_object_identifier,
# indirect_object_code_identity, flags, last_modified): the four columns Sonoma added (pid,
# pid_version, boot_uuid, last_reminded) follow as that script appends them (NULL, NULL,
# 'UNUSED', last_modified). The columns are named: later systems add more, with defaults.
access_insert() {
    printf '%s\n' "INSERT OR REPLACE INTO access (service, client, client_type, auth_value,
    auth_reason, auth_version, csreq, policy_id, indirect_object_identifier_type,
    indirect_object_identifier, indirect_object_code_identity, flags, last_modified, pid,
    pid_version, boot_uuid, last_reminded)
VALUES ($1, NULL, NULL, 'UNUSED', ${1##*,});"
}

# A row the job gives: access_row SERVICE CLIENT CLIENT_TYPE CSREQ NOW, CLIENT a program's path
# (CLIENT_TYPE 1) or a bundle identifier (0), CSREQ in SQL (NULL, or X'…'). Allowed (auth_value
# 2), set by the system (auth_reason 4, as the image's rows for the agent are), on no other
# application (indirect object 'UNUSED').
access_row() { access_insert "'$1',$(sql_text "$2"),$3,2,4,1,$4,NULL,0,'UNUSED',NULL,0,$5"; }

# TEXT as an SQL string literal; with more arguments, each, comma separated.
sql_text() {
    local q="'" text list=""
    for text in "$@"; do list+="${list:+,}$q${text//$q/$q$q}$q"; done
    printf '%s\n' "$list"
}

agent_rows() { # the agent's rows in both databases, read only
    local query="SELECT service, client, client_type, auth_value, auth_reason,
        indirect_object_identifier FROM access WHERE client = '$agent'
        ORDER BY service, indirect_object_identifier"
    echo "in $system_db:"
    system_read "$query" 2>&1 | sed 's/^/  /'
    echo "in $user_db:"
    user_read "$query" 2>&1 | sed 's/^/  /'
}

# The driver's probe, whole; the step fails, naming it, when the probe fails or prints no line
# "AXIsProcessTrusted: ".
driver_probe() {
    local said
    said=$(checked "$driver" probe) || exit 1
    [ -n "$(probe_answer AXIsProcessTrusted "$said")" ] || fail "\"$driver probe\" printed no" \
        "AXIsProcessTrusted line: $(printf '%s' "$said" | tr '\n' ' ')"
    printf '%s\n' "$said"
}

# The programs to grant, one a line: those tccd named refusing the driver's Accessibility or
# PostEvent requests, else each executable of the driver's ancestry but launchd's, among which is
# the process responsible for it. responsible_paths PROBE TCC-LOG
responsible_paths() {
    local named
    named=$(tcc_named_paths kTCCServiceAccessibility kTCCServicePostEvent <"$2")
    if [ -n "$named" ]; then printf '%s\n' "$named"; else ancestry_paths <<<"$1"; fi
}

# SERVICE allowed to each PATH, one row each in the system's database, where the image writes its
# Accessibility and PostEvent rows, each said; then the rows read back: grant_rows SERVICE PATH...
grant_rows() {
    local service=$1 path now
    shift
    now=$(date +%s)
    for path in "$@"; do
        system_sql "$(access_row "$service" "$path" 1 NULL "$now")" ||
            fail "could not write $service for $path in $system_db"
        echo "granted $service to $path (client_type 1, a path), in $system_db"
    done
    echo "read back:"
    system_read "SELECT service, client, client_type, auth_value FROM access
        WHERE service = '$service' AND client IN ($(sql_text "$@")) ORDER BY client" | sed 's/^/  /'
}

# Accessibility and PostEvent for the driver. Only what the probe says it lacks is granted, to
# the process that really asks (responsible_paths); tccd's lines about the check are shown. Still
# untrusted, the step fails naming what it granted and the rows read back. PostEvent the image
# grants the agent none (its rows are for ankarund, start_hca.sh, runprovisioner.sh and /bin/bash):
# without it the driver's right-click and keys go nowhere, which the step says, not failing on it.
accessibility_grant() {
    local said tcc_log paths=() path granted
    said=$(driver_probe) || exit 1
    printf '%s\n' "$said"
    tcc_log="$out/tcc-grants.log"
    tcc_log_to "$tcc_log"
    echo "tccd's lines about Accessibility since the job's start:"
    tcc_lines kTCCServiceAccessibility <"$tcc_log" | sed 's/^/  /'
    while IFS= read -r path; do paths+=("$path"); done < <(responsible_paths "$said" "$tcc_log")
    if [ "$(probe_answer AXIsProcessTrusted "$said")" != yes ]; then
        [ ${#paths[@]} != 0 ] || fail "AXIsProcessTrusted() is false, and neither tccd nor the" \
            "driver's ancestry names a program to grant"
        echo "not trusted: granting Accessibility to the programs that may be asking"
        granted=$(grant_rows kTCCServiceAccessibility "${paths[@]}") || exit 1
        printf '%s\n' "$granted"
        said=$(driver_probe) || exit 1
        echo "after the rows: AXIsProcessTrusted: $(probe_answer AXIsProcessTrusted "$said")"
        [ "$(probe_answer AXIsProcessTrusted "$said")" = yes ] ||
            fail "AXIsProcessTrusted() stays false; Accessibility granted to: ${paths[*]};" \
                "$(printf '%s' "$granted" | sed -n '/^read back:/,$p' | tr '\n' ' ')"
    fi
    if [ "$(probe_answer CGPreflightPostEventAccess "$said")" = no ] && [ ${#paths[@]} != 0 ]; then
        echo "CGPreflightPostEventAccess: no: granting PostEvent to the same programs"
        grant_rows kTCCServicePostEvent "${paths[@]}"
        said=$(driver_probe) || exit 1
        echo "after the rows: CGPreflightPostEventAccess:" \
            "$(probe_answer CGPreflightPostEventAccess "$said")"
    fi
}

# A disk image is a removable volume: the extension's first write there asks the user. Which
# identity macOS checks, the extension's (the process that writes) or the host application's, no
# public source says, so both bundle identifiers get the consent, each bound to its ad hoc
# signature's designated requirement (a cdhash). Nor does one say which database tccd reads for
# it, nor whether a disk image counts as removable (the image writes its NetworkVolumes rows to
# the system's database, configure-tccdb-macos.sh): so both databases get the rows, and both are
# read back, and after each disk-image case the job says which prompt, if any, came.
removable_consent() {
    local now pair id bundle requirement csreq row
    now=$(date +%s)
    for pair in "$extension_id|$appex" "$app_id|$app"; do
        id=${pair%%|*} bundle=${pair#*|}
        requirement=$(checked codesign -d -r- "$bundle" | designated_requirement) || exit 1
        [ -n "$requirement" ] || fail "codesign -d -r- gives no designated requirement for $bundle"
        checked csreq -r="$requirement" -b "$out/$id.csreq" >/dev/null
        csreq=$(od -An -v -tx1 "$out/$id.csreq" | tr -d ' \n')
        row=$(access_row kTCCServiceSystemPolicyRemovableVolumes "$id" 0 "X'$csreq'" "$now")
        user_sql "$row" || fail "could not write the removable-volume consent in $user_db"
        system_sql "$row" || fail "could not write the removable-volume consent in $system_db"
        echo "removable volumes: kTCCServiceSystemPolicyRemovableVolumes allowed for $id" \
            "(client_type 0, a bundle identifier), csreq \"$requirement\" (its designated" \
            "requirement), in $user_db and in $system_db"
    done
    local query="SELECT service, client, client_type, auth_value, hex(csreq) FROM access
        WHERE service = 'kTCCServiceSystemPolicyRemovableVolumes' ORDER BY client"
    echo "read back from $user_db:"
    user_read "$query"
    echo "read back from $system_db:"
    system_read "$query"
}
