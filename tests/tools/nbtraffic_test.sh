#!/usr/bin/env bash
# The traffic tool natively on loopback: a text with a '%' other than %d
# goes out as it stands (it is never a format), and a listener whose output
# cannot be written ends with code 1 and says so.
#   nbtraffic_test.sh NBTRAFFIC
set -u
tool=$1
export VELKNB_BASEPORT=${VELKNB_BASEPORT:-15900}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() { if eval "$2"; then echo "ok $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi; }

timeout 20 "$tool" listen --name DEVICE_CONTROL7 --count 3 --seconds 15 --out "$work/heard" 2>"$work/listen.err" &
listener=$!
sleep 1
timeout 20 "$tool" send --channel 7 --commands --text 'SN %d 1 %s %x %%n %03d' --count 3 --first 5 --quiet
wait $listener
code=$?
check "the listener heard three datagrams" '[ $code -eq 0 ] && [ "$(grep -c "<-" "$work/heard")" -eq 3 ]'
check "%d and %03d become the number, %% a %, any other % stays" 'grep -q ": SN 5 1 %s %x %n 005$" "$work/heard" && grep -q ": SN 7 1 %s %x %n 007$" "$work/heard"'

timeout 20 "$tool" listen --name DEVICE_CONTROL7 --count 1 --seconds 15 --out /dev/full 2>"$work/full.err" &
listener=$!
sleep 1
timeout 20 "$tool" send --channel 7 --commands --text 'CP 1' --count 1 --quiet
wait $listener
code=$?
check "an output that cannot be written ends with code 1" '[ $code -eq 1 ]'
check "and says so" 'grep -q "nbtraffic: /dev/full cannot be written (disk full?)" "$work/full.err"'
exit $failures
