# Sourced by the shell tests: a scratch folder $work removed at exit, and failed checks counted
# rather than ending the run, so one run shows every broken check.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}
# Ends the test with status 1 when any check failed, else says MESSAGE.
finish() {
    [ "$failures" -eq 0 ] || { echo "$failures failures" >&2; exit 1; }
    echo "$1"
}
