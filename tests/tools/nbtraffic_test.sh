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
# A packet data file whose records carry their arrival, 300 ms apart:
# sent at the recorded pace, scaled by --speed; the fixed rate stays the
# default.
python3 - "$work/PKT_timed" <<'PY'
import struct, sys
base = (1796810400 + 11644473600) * 10**7
with open(sys.argv[1], "wb") as f:
    for n in range(5):
        data = b"CP %d 1" % (n + 1)
        head = bytes([1]) + struct.pack(">H", len(data)) + b"T" + struct.pack("<QI", base + n * 3000000, n + 1)
        f.write(head + data.ljust(512, b"\0"))
PY
seconds() { local a b; a=$(date +%s.%N); "$@" >/dev/null 2>&1; b=$(date +%s.%N); echo "$a $b" | awk '{ printf "%.2f", $2 - $1 }'; }
timeout 20 "$tool" listen --name DEVICE_CONTROL7 --count 5 --seconds 15 --out "$work/paced" 2>/dev/null &
listener=$!
sleep 1
recorded=$(seconds timeout 20 "$tool" send --channel 7 --file "$work/PKT_timed" --pace recorded --quiet)
wait $listener
check "the recorded pace takes the recorded 1.2 s ($recorded s)" 'awk -v s="$recorded" "BEGIN { exit !(s >= 1.15 && s < 2.5) }"'
check "every record was sent, in order" '[ "$(grep -o "CP [0-9]" "$work/paced" | tr "\n" " ")" = "CP 1 CP 2 CP 3 CP 4 CP 5 " ]'
fast=$(seconds timeout 20 "$tool" send --channel 7 --file "$work/PKT_timed" --pace recorded --speed 4 --quiet)
check "--speed 4 takes a quarter ($fast s)" 'awk -v s="$fast" "BEGIN { exit !(s >= 0.28 && s < 1.0) }"'
plain=$(seconds timeout 20 "$tool" send --channel 7 --file "$work/PKT_timed" --quiet)
check "the fixed rate stays the default ($plain s)" 'awk -v s="$plain" "BEGIN { exit !(s < 0.5) }"'
head -c 528 "$work/PKT_timed" | python3 -c 'import sys; b = bytearray(sys.stdin.buffer.read()); b[3:16] = b"\xff" * 13; sys.stdout.buffer.write(b)' >"$work/PKT_plain"
timeout 20 "$tool" send --channel 7 --file "$work/PKT_plain" --pace recorded 2>"$work/plain.err"
check "a file without times has no recorded pace" '[ $? -eq 1 ] && grep -q "carry no arrival times" "$work/plain.err"'
timeout 20 "$tool" send --channel 7 --pace recorded 2>"$work/nofile.err"
check "--pace recorded needs a file" '[ $? -eq 2 ] && grep -q "needs --file" "$work/nofile.err"'
exit $failures
