# The shell tests' common ground: check NAME COMMAND... counts the command's
# result and names a failure; summary prints the closing line and fails when
# any check did. Sourced by the tests, which run in a scratch folder of their own.
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
