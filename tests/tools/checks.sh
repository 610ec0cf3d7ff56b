# Shared by the stubbed script tests: a temporary folder ($work, removed on
# exit) and check NAME CONDITION, which prints ok or FAIL and counts
# failures in $failures. Source it.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() { if eval "$2"; then echo "ok $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi; }
