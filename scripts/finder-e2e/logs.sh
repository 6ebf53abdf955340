# shellcheck shell=bash disable=SC2154 # the variables scripts/finder-e2e.sh sets and uses
# The unified log, and what the collect step keeps, for scripts/finder-e2e.sh, which sources this
# file.

# log(1)'s arguments for the unified log since the job's start, which the first probe recorded
# (show --start), not the last minutes; the last hour when no start was recorded. Info lines
# too: tccd, pkd and runningboardd write theirs at that level, and show's output holds the
# Default level alone unless --info or --debug asks for more (log(1), show). Into the array
# log_show: log_args PREDICATE [OPTION...]; then log "${log_show[@]}".
log_args() {
    local predicate=$1 since=(--last 1h)
    shift
    [ ! -s "$out/start-time" ] || since=(--start "$(cat "$out/start-time")")
    log_show=(show "${since[@]}" --style compact --info "$@" --predicate "$predicate")
}

# TCC's log since the job's start, whole, into FILE, for at most SECONDS (30): tcc_log_to FILE
# [SECONDS]. Whole, then searched: a reader ending early would take log show down with SIGPIPE
# and, under pipefail, lose the finding exactly when it applies.
tcc_log_to() {
    log_args 'subsystem == "com.apple.TCC"'
    bounded "${2:-30}" log "${log_show[@]}" >"$1" 2>&1 || true
}

# What the log keeps of the job: the extension, Finder, TCC; PlugInKit (its daemon pkd and its
# subsystem); runningboardd's lines about LemvoraMenu (RunningBoard keeps the life cycle of the
# processes it manages: eclecticlight.co, "Controlling LaunchServices in macOS Sequoia"); and the
# sandbox's denials of Lemvora's processes, matched as public debugging notes match them
# (eugene1g/agent-safehouse): a "Sandbox: ... deny(" message, sandboxd's lines, or a line sent from
# the Sandbox kernel extension.
log_predicate='process == "LemvoraMenu" OR process == "Finder" OR subsystem == "com.apple.TCC"'
log_predicate+=' OR process == "pkd" OR subsystem == "com.apple.PlugInKit"'
log_predicate+=' OR (process == "runningboardd" AND eventMessage CONTAINS "LemvoraMenu")'
log_predicate+=' OR (((eventMessage CONTAINS "Sandbox:" AND eventMessage CONTAINS "deny(")'
log_predicate+=' OR process == "sandboxd" OR senderImagePath CONTAINS "/Sandbox")'
log_predicate+=' AND eventMessage CONTAINS "Lemvora")'

# On every run. A job that reached its time limit is cancelled, and GitHub force-ends it 5 minutes
# after it asked it to stop (the workflow cancellation reference): what is not written and
# uploaded by then is lost. So each part has a limit of its own, the smallest and most telling
# first, the whole log last; the workflow gives this step 2 minutes, the uploads 1 each.
collect() {
    set +e
    bounded 10 pluginkit -m -A -D -v -i "$extension_id" >"$out/pluginkit.txt" 2>&1
    bounded 5 ls -laR "$root" "$templates" /Volumes >"$out/listings.txt" 2>&1
    tcc_log_to "$out/tcc.log" 20
    # The extension's own lines at every level, Debug too.
    log_args "subsystem == \"$extension_id\"" --debug
    bounded 20 log "${log_show[@]}" >"$out/extension.log" 2>&1
    log_args "$log_predicate"
    bounded 45 log "${log_show[@]}" >"$out/log.txt" 2>&1
    bounded 5 shot collect
    return 0
}
