# shellcheck shell=bash disable=SC2154 # the variables scripts/finder-e2e.sh sets and uses
# The privacy databases (TCC) for scripts/finder-e2e.sh, which sources this file: what the runner
# images grant, the rows the job adds, and what it reads back.

# The responsible process of everything a job's step starts (bash, osascript, the driver) is the
# runner's agent: the prompts that runner-images #12616 (and #12482, #12489) report name
# "hosted-compute-agent", and the image's script answered with rows for this path beside those of
# the older provisioner (configure-tccdb-macos.sh, as of 27010373080c). A row for the driver's
# own path is never consulted, so the job writes none.
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

# The image's own rows for the agent, exactly as images/macos/scripts/build/configure-tccdb-macos.sh
# writes them (actions/runner-images at 27010373080c): its 13 values (service, client,
# client_type, auth_value, auth_reason, auth_version, csreq, policy_id,
# indirect_object_identifier_type, indirect_object_identifier, indirect_object_code_identity,
# flags, last_modified). Only the services the job uses: Accessibility, Screen Recording, Apple
# events to Finder and to System Events; its Microphone and Safari rows are left out.
agent_system_rows=(
    "'kTCCServiceAccessibility','/opt/hca/hosted-compute-agent',1,2,4,1,NULL,NULL,0,'UNUSED',NULL,NULL,1592919552"
    "'kTCCServiceAppleEvents','/opt/hca/hosted-compute-agent',1,2,3,1,NULL,NULL,0,'com.apple.finder',X'fade0c000000002c00000001000000060000000200000010636f6d2e6170706c652e66696e64657200000003',NULL,1592919552"
    "'kTCCServiceScreenCapture','/opt/hca/hosted-compute-agent',1,2,4,1,NULL,NULL,0,'UNUSED',NULL,0,1687786159"
)
agent_user_rows=(
    "'kTCCServiceAppleEvents','/opt/hca/hosted-compute-agent',1,2,3,1,NULL,NULL,0,'com.apple.finder',X'fade0c000000002c00000001000000060000000200000010636f6d2e6170706c652e66696e64657200000003',NULL,1592919552"
    "'kTCCServiceAppleEvents','/opt/hca/hosted-compute-agent',1,2,3,1,NULL,NULL,0,'com.apple.systemevents',X'fade0c000000003400000001000000060000000200000016636f6d2e6170706c652e73797374656d6576656e7473000000000003',NULL,1592919552"
    "'kTCCServiceScreenCapture','/opt/hca/hosted-compute-agent',1,2,4,1,NULL,NULL,0,'UNUSED',NULL,0,1687786159"
)

# One row of the access table, as SQL, from those 13 values: the four columns Sonoma added (pid,
# pid_version, boot_uuid, last_reminded) follow as the image's script appends them (NULL, NULL,
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
access_row() { access_insert "'$1','$2',$3,2,4,1,$4,NULL,0,'UNUSED',NULL,0,$5"; }

agent_rows() { # the agent's rows in both databases, read only
    local query="SELECT service, client, client_type, auth_value, auth_reason,
        indirect_object_identifier FROM access WHERE client = '$agent'
        ORDER BY service, indirect_object_identifier"
    echo "in $system_db:"
    system_read "$query" 2>&1 | sed 's/^/  /'
    echo "in $user_db:"
    user_read "$query" 2>&1 | sed 's/^/  /'
}

# Accessibility for the driver: the agent's grant covers it. Only when AXIsProcessTrusted() is
# false (the driver's probe says so) are the image's rows for the agent written again; if it
# stays false, the step fails naming the agent and the rows read back.
accessibility_grant() {
    local trusted row
    trusted=$("$driver" probe | grep '^AXIsProcessTrusted: ')
    echo "$trusted"
    [ "$trusted" != "AXIsProcessTrusted: yes" ] || return 0
    echo "not trusted: writing the image's rows for $agent, the responsible process"
    for row in "${agent_system_rows[@]}"; do system_sql "$(access_insert "$row")"; done
    for row in "${agent_user_rows[@]}"; do user_sql "$(access_insert "$row")"; done
    trusted=$("$driver" probe | grep '^AXIsProcessTrusted: ')
    echo "after the rows: $trusted"
    [ "$trusted" = "AXIsProcessTrusted: yes" ] ||
        fail "AXIsProcessTrusted() stays false under $agent, the runner's agent; its rows" \
            "read back: $(agent_rows | tr '\n' ' ')"
}

# A disk image is a removable volume: the extension's first write there asks the user. Which
# identity macOS checks, the extension's (the process that writes) or the host application's, no
# public source says, so both bundle identifiers get the consent, each bound to its ad hoc
# signature's designated requirement (a cdhash), in the user's database (removable volumes are
# among the Files and Folders consents, the user's own as Desktop's and Documents' are). The log
# says what was written, and reads it back, for a Mac run to bear the guess out.
removable_consent() {
    local now pair id bundle requirement csreq
    now=$(date +%s)
    for pair in "$extension_id|$appex" "$app_id|$app"; do
        id=${pair%%|*} bundle=${pair#*|}
        requirement=$(codesign -d -r- "$bundle" 2>/dev/null | designated_requirement)
        [ -n "$requirement" ] || fail "codesign -d -r- gives no designated requirement for $bundle"
        csreq -r="$requirement" -b "$out/$id.csreq"
        csreq=$(od -An -v -tx1 "$out/$id.csreq" | tr -d ' \n')
        user_sql "$(access_row kTCCServiceSystemPolicyRemovableVolumes "$id" 0 "X'$csreq'" "$now")"
        echo "removable volumes: kTCCServiceSystemPolicyRemovableVolumes allowed for $id" \
            "(client_type 0, a bundle identifier), csreq \"$requirement\" (its designated" \
            "requirement), in $user_db"
    done
    echo "read back:"
    user_read "SELECT service, client, client_type, auth_value, hex(csreq) FROM access
        WHERE service = 'kTCCServiceSystemPolicyRemovableVolumes' ORDER BY client"
}
