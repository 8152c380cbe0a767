# The shell tests' common ground: check NAME COMMAND... counts the command's
# result and names a failure; summary prints the closing line and fails when
# any check did; wait_until and stopped help the tests that signal a run. Sourced by the tests, which run in a scratch folder of their own.
failures=0
passes=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
check() {
    name=$1
    shift
    if "$@"; then passes=$((passes + 1)); else failures=$((failures + 1)); echo "FAILED: $name"; fi
}
summary() {
    echo "$passes passed, $failures failed"
    test "$failures" -eq 0
}
# Waits up to a minute for COMMAND... to succeed.
wait_until() {
    tries=0
    while ! "$@" && [ $tries -lt 1200 ]; do sleep 0.05; tries=$((tries + 1)); done
}
# Runs COMMAND... (which starts a run of a second or so, signals it and waits
# for it) up to three times, until the signal lands before the run ends on its
# own, which a busy machine can let happen; leaves the run's status in $status.
stopped() {
    for _ in 1 2 3; do
        "$@"
        status=$?
        [ "$status" -ne 0 ] && return
    done
}
