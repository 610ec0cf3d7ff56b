#!/usr/bin/env bash
# The traffic tool natively, through its command line. Every option is
# checked before anything is opened (a table of mistakes: exit 2 and one
# line); settings that would send off this machine are refused (tried with
# a listener, which sends nothing, or a group on loopback); --help and
# --version answer. On loopback (each sender started once its listener
# says on its standard error that it listens): a text with a '%' other
# than %d goes out as it stands, listen lines carry their time, a
# listener whose output cannot be written ends with code 1, --count and
# --seconds end at whichever comes first, the recorded pace is bounded (a
# gap between runs, a clock set back, a garbage time), and listen writes
# packet data files of timed records, each run with its own tag.
#   nbtraffic_test.sh NBTRAFFIC
set -u
tool=$1
export VELKNB_BASEPORT=${VELKNB_BASEPORT:-15900}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() { if eval "$2"; then echo "ok $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi; }
# Waits until a listener started in the background says it listens: its
# ready line in the file its standard error goes to. Polled for 10 s at
# most; false at once when the listener (process PID) ended without it.
listening() {
  local err=$1 pid=$2 end=$((SECONDS + 10))
  while ((SECONDS < end)); do
    grep -q "^listening on LANA" "$err" 2>/dev/null && return 0
    kill -0 "$pid" 2>/dev/null || { grep -q "^listening on LANA" "$err" 2>/dev/null; return; }
    sleep 0.05
  done
  return 1
}

# A packet data file whose records carry their arrival: time (s after the
# first, or "garbage" for 2^64 - 1) per record, records "CP n 1".
timed_file() {
  python3 - "$@" <<'PY'
import struct, sys
base = (1796810400 + 11644473600) * 10**7
with open(sys.argv[1], "wb") as f:
    for n, t in enumerate(sys.argv[2:]):
        when = 2**64 - 1 if t == "garbage" else base + int(float(t) * 10**7)
        data = b"CP %d 1" % (n + 1)
        head = bytes([1]) + struct.pack(">H", len(data)) + b"T" + struct.pack("<QI", when, n + 1)
        f.write(head + data.ljust(512, b"\0"))
PY
}
timed_file "$work/PKT_timed" 0 0.3 0.6 0.9 1.2
# Runs in one file: an hour's gap, a clock set back, a garbage time.
timed_file "$work/PKT_runs" 0 3600 1800 garbage 3600.1
printf 'x' >"$work/PKT_cut"
{ head -c 528 "$work/PKT_timed"; head -c 528 /dev/zero; } >"$work/PKT_bad"; : >"$work/PKT_empty"
long=$(printf '%0513d' 0)

# Mistakes: exit code | what stderr says | environment | arguments. None
# of them sends anything: each ends before a socket is opened, or (the
# refused settings) on a listener, or on a group that is loopback itself.
while IFS='|' read -r want says environment args; do
  [ -z "$want" ] && continue
  eval "set -- $args"
  [ "$environment" = - ] && environment=""
  env $environment timeout 10 "$tool" "$@" >"$work/out" 2>"$work/err"
  code=$?
  check "nbtraffic $args: $want, '$says'" \
    '[ $code -eq $want ] && grep -qF -- "$says" "$work/err" && { [ $want -ne 2 ] || [ "$(wc -l <"$work/err")" -eq 1 ]; } && [ ! -s "$work/out" ]'
done <<'EOF'
2|--channel is a channel number, 0 to 99, not '100'|-|send --channel 100
2|--channel is a channel number, 0 to 99, not 'abc'|-|send --channel abc
2|--channel is a channel number, 0 to 99, not '-1'|-|send --channel -1
2|--count is a number of datagrams, 1 or more, not '0'|-|send --channel 7 --count 0
2|--count is a number of datagrams, 1 or more, not '-3'|-|send --channel 7 --count -3
2|--count is a number of datagrams, 1 or more, not 'x'|-|listen --name X --count x
2|--rate is datagrams a second, a number above 0, not '0'|-|send --channel 7 --rate 0
2|--rate is datagrams a second, a number above 0, not 'nan'|-|send --channel 7 --rate nan
2|--lana is a LANA number, 0 to 254, not '255'|-|send --channel 7 --lana 255
2|--lana is a LANA number, 0 to 254, not '-1'|-|listen --name X --lana -1
2|--seconds is a number above 0, not 'abc'|-|send --channel 7 --seconds abc
2|--seconds is a number above 0, not '5s'|-|listen --name X --seconds 5s
2|--first is a datagram number, 0 or more, not 'y'|-|send --channel 7 --text x --first y
2|--speed is a factor above 0, not '0'|-|send --channel 7 --file f --pace recorded --speed 0
2|--max-pause is a number of seconds above 0, not 'inf'|-|send --channel 7 --file f --pace recorded --max-pause inf
2|send needs --channel N or --to NAME|-|send --text x
2|--channel and --to cannot be given together|-|send --channel 7 --to ORM7
2|--text and --file cannot be given together|-|send --channel 7 --text x --file f
2|--first needs --text|-|send --channel 7 --first 5
2|--commands and --revertives cannot be given together|-|send --channel 7 --commands --revertives
2|--commands does not apply to --file|-|send --channel 7 --file f --commands
2|--rate and --pace recorded cannot be given together|-|send --channel 7 --file f --pace recorded --rate 5
2|--speed needs --pace recorded|-|send --channel 7 --file f --speed 2
2|--pace recorded needs --file|-|send --channel 7 --pace recorded
2|--channel is given twice|-|send --channel 7 --channel 8
2|--name is not an option of send|-|send --channel 7 --name X
2|--rate is not an option of listen|-|listen --name X --rate 5
2|listen needs --name|-|listen --seconds 1
2|--format and --hex cannot be given together|-|listen --name X --out f --format packets --hex
2|--format packets needs --out FILE|-|listen --name X --format packets
2|--to is a name of 1 to 16 characters, not 'ABCDEFGHIJKLMNOPQ'|-|send --to ABCDEFGHIJKLMNOPQ
2|--from is a name of 1 to 16 characters|-|send --channel 7 --from ABCDEFGHIJKLMNOPQ
2|--name is a name of 1 to 16 characters|-|listen --name ABCDEFGHIJKLMNOPQ
2|--text is longer than a datagram carries (513 bytes, at most 512)|-|send --channel 7 --text "$long"
2|--text is longer than a datagram carries (513 bytes, at most 512)|-|send --channel 7 --text "${long:5}%05d" --first 9
2|unknown option --bogus|-|send --channel 7 --bogus
2|the mode is send or listen, not 'sned'|-|sned --channel 7
2|no mode given, send or listen|-|
1|cannot be read: it is a directory|-|send --channel 7 --file "$work"
1|PKT_none: cannot be read: No such file or directory|-|send --channel 7 --file "$work/PKT_none"
1|PKT_cut: cut inside a record: 1 byte after the last whole record (0 records read)|-|send --channel 7 --file "$work/PKT_cut"
1|PKT_bad: record 2 has type 0, neither 1 nor 2|-|send --channel 7 --file "$work/PKT_bad"
1|PKT_empty: is empty: it holds no records|-|send --channel 7 --file "$work/PKT_empty"
1|its size, 1 bytes, is not a multiple of 528; nothing is appended|-|listen --name X --format packets --out "$work/PKT_cut"
1|cannot be written: it is a directory|-|listen --name X --format packets --out "$work"
1|LANA 0 cannot be used: the group 127.0.0.1 is not a multicast group|VELKNB_GROUP=127.0.0.1|send --channel 7
1|LANA 0 cannot be used: the group 10.1.2.3 is not a multicast group|VELKNB_GROUP=10.1.2.3|listen --name X --seconds 1
1|LANA 3 cannot be used: the interface 192.0.2.1 is not an address of this machine|VELKNB_INTERFACE=192.0.2.1|listen --name X --lana 3 --seconds 1
1|LANA 0 cannot be used: the interface 0.0.0.0 is not an address of this machine|VELKNB_INTERFACE=0.0.0.0|listen --name X --seconds 1
EOF

"$tool" --help >"$work/help" 2>&1
code=$?
missing=""
for option in --channel --to --from --lana --commands --revertives --mix --text --first --file \
  --count --seconds --rate --pace --speed --max-pause --quiet --name --out --format --hex --no-time; do
  grep -q -- "^  $option" "$work/help" || missing="$missing $option"
done
check "--help answers and describes every option (missing:$missing)" '[ $code -eq 0 ] && [ -z "$missing" ]'
check "--help after other options answers too" '"$tool" send --channel 7 --help | cmp -s - "$work/help"'
check "--version answers" '"$tool" --version | grep -qE "^nbtraffic [0-9]+\.[0-9]+\.[0-9]+ \(Trelm workstation toolset\)$"'

timeout 20 "$tool" listen --name DEVICE_CONTROL7 --count 3 --seconds 15 --out "$work/heard" 2>"$work/listen.err" &
listener=$!
check "the listener says it listens" 'listening "$work/listen.err" $listener'
timeout 20 "$tool" send --channel 7 --commands --text 'SN %d 1 %s %x %%n %03d' --count 3 --first 5 --quiet
wait $listener
code=$?
check "the listener heard three datagrams" '[ $code -eq 0 ] && [ "$(grep -c "<-" "$work/heard")" -eq 3 ]'
check "%d and %03d become the number, %% a %, any other % stays" 'grep -q ": SN 5 1 %s %x %n 005$" "$work/heard" && grep -q ": SN 7 1 %s %x %n 007$" "$work/heard"'
check "each line starts with its time" '[ "$(grep -cE "^[0-2][0-9]:[0-5][0-9]:[0-6][0-9]\.[0-9]{3} DEVICE_CONTROL7 <- NBTRAFFIC [0-9]+: SN " "$work/heard")" -eq 3 ]'

timeout 20 "$tool" listen --name DEVICE_CONTROL7 --count 1 --seconds 15 --out /dev/full 2>"$work/full.err" &
listener=$!
check "a listener writing to /dev/full says it listens" 'listening "$work/full.err" $listener'
timeout 20 "$tool" send --channel 7 --commands --text 'CP 1' --count 1 --quiet
wait $listener
code=$?
check "an output that cannot be written ends with code 1" '[ $code -eq 1 ]'
check "and says so" 'grep -q "nbtraffic: /dev/full cannot be written (disk full?)" "$work/full.err"'

seconds() { local a b; a=$(date +%s.%N); "$@" >"$work/sent" 2>&1; b=$(date +%s.%N); echo "$a $b" | awk '{ printf "%.2f", $2 - $1 }'; }
within() { awk -v s="$1" -v lo="$2" -v hi="$3" 'BEGIN { exit !(s >= lo && s < hi) }'; }
both=$(seconds timeout 20 "$tool" send --channel 7 --text 'CP %d 1' --count 3 --seconds 10)
check "--count 3 with --seconds 10 sends three and ends ($both s)" 'within "$both" 0 2 && grep -q "^sent 3 datagrams" "$work/sent"'
grown=$(seconds timeout 20 "$tool" send --channel 7 --text "${long:2}%d" --first 9 --count 3)
check "a text that grows past 512 bytes with its number is not sent, nor what follows" '[ "$(grep -c "" "$work/sent")" -eq 2 ] && grep -q "the text of datagram 10 is longer than a datagram carries (513 bytes, at most 512): not sent" "$work/sent" && grep -q "^sent 1 datagrams" "$work/sent"'
slow=$(seconds timeout 20 "$tool" send --channel 7 --text 'CP %d 1' --rate 0.001 --count 5 --seconds 1)
check "a wait never goes past --seconds ($slow s)" 'within "$slow" 0.9 3 && grep -q "^sent 1 datagrams" "$work/sent"'

# Sent at the recorded pace, scaled by --speed; the fixed rate stays the
# default.
timeout 20 "$tool" listen --name DEVICE_CONTROL7 --count 5 --seconds 15 --out "$work/paced" 2>"$work/paced.err" &
listener=$!
check "the listener for the recorded pace says it listens" 'listening "$work/paced.err" $listener'
recorded=$(seconds timeout 20 "$tool" send --channel 7 --file "$work/PKT_timed" --pace recorded --quiet)
wait $listener
check "the recorded pace takes the recorded 1.2 s ($recorded s)" 'within "$recorded" 1.15 2.5'
check "every record was sent, in order" '[ "$(grep -o "CP [0-9]" "$work/paced" | tr "\n" " ")" = "CP 1 CP 2 CP 3 CP 4 CP 5 " ]'
fast=$(seconds timeout 20 "$tool" send --channel 7 --file "$work/PKT_timed" --pace recorded --speed 4 --quiet)
check "--speed 4 takes a quarter ($fast s)" 'within "$fast" 0.28 1.0'
plain=$(seconds timeout 20 "$tool" send --channel 7 --file "$work/PKT_timed" --quiet)
check "the fixed rate stays the default ($plain s)" 'within "$plain" 0 0.5'
cut=$(seconds timeout 20 "$tool" send --channel 7 --file "$work/PKT_runs" --pace recorded --max-pause 0.3 --quiet)
check "an hour between runs and a garbage time wait --max-pause each, a clock set back none ($cut s)" 'within "$cut" 0.55 1.5'
bounded=$(seconds timeout 20 "$tool" send --channel 7 --file "$work/PKT_runs" --pace recorded --seconds 1)
check "the recorded pace never waits past --seconds ($bounded s)" 'within "$bounded" 0.9 2 && grep -q "^sent 1 datagrams" "$work/sent"'
head -c 528 "$work/PKT_timed" | python3 -c 'import sys; b = bytearray(sys.stdin.buffer.read()); b[3:16] = b"\xff" * 13; sys.stdout.buffer.write(b)' >"$work/PKT_plain"
timeout 20 "$tool" send --channel 7 --file "$work/PKT_plain" --pace recorded 2>"$work/plain.err"
check "a file without times has no recorded pace" '[ $? -eq 1 ] && grep -q "carry no arrival times" "$work/plain.err"'
cat "$work/PKT_timed" "$work/PKT_cut" >"$work/PKT_timedcut"
timeout 20 "$tool" send --channel 7 --file "$work/PKT_timedcut" >"$work/sent" 2>"$work/timedcut.err"
check "a file cut inside a record sends its whole records and says so" '[ $? -eq 0 ] && grep -q "^sent 5 datagrams" "$work/sent" && grep -qF "nbtraffic: $work/PKT_timedcut: cut inside a record: 1 byte after the last whole record (5 records read)" "$work/timedcut.err"'

# Packet data files from listen: appended to a file of older records
# ('T', no run tag), the first run tagged 0, the next 1, sequences from 1.
cp "$work/PKT_timed" "$work/PKT_heard"
for run in 1 2; do
  timeout 20 "$tool" listen --name DEVICE_CONTROL7 --name ORM7 --count 3 --seconds 15 \
    --format packets --out "$work/PKT_heard" 2>"$work/packets.err" &
  listener=$!
  check "run $run: the listener says it listens" 'listening "$work/packets.err" $listener'
  timeout 20 "$tool" send --channel 7 --mix --text "R${run}D%d" --count 3 --quiet
  wait $listener
  check "run $run: the listener recorded three datagrams" '[ $? -eq 0 ]'
done
python3 - "$work/PKT_heard" >"$work/records" <<'PY'
import struct, sys, time
now = (time.time() + 11644473600) * 10**7
b = open(sys.argv[1], "rb").read()
for at in range(5 * 528, len(b), 528):
    r = b[at:at + 528]
    length = struct.unpack(">H", r[1:3])[0]
    when, seq = struct.unpack("<QI", r[4:16])
    recent = abs(when - now) < 120 * 10**7
    print(r[0], hex(r[3]), seq, r[16:16 + length].decode(), "recent" if recent else "old")
PY
check "records: kinds by name, a tag per run, sequences from 1, their arrival" '[ "$(cat "$work/records" | tr "\n" "/")" = "1 0x80 1 R1D1 recent/2 0x80 2 R1D2 recent/1 0x80 3 R1D3 recent/1 0x81 1 R2D1 recent/2 0x81 2 R2D2 recent/1 0x81 3 R2D3 recent/" ]'
check "the older records are kept" 'cmp -s -n 2640 "$work/PKT_timed" "$work/PKT_heard"'
# A datagram longer than a record holds (nbtraffic never sends one: a
# direct group datagram from here, on loopback) is recorded cut, as the
# capture tool records it, and counted.
timeout 20 "$tool" listen --name DEVICE_CONTROL7 --count 1 --seconds 15 --format packets \
  --out "$work/PKT_long" 2>"$work/long.err" &
listener=$!
check "the listener for a long datagram says it listens" 'listening "$work/long.err" $listener'
python3 - "$VELKNB_BASEPORT" <<'PY'
import socket, struct, sys
def name(text):
    return b"\x20" + bytes(c for b in text.ljust(16).encode() for c in (65 + (b >> 4), 65 + (b & 15))) + b"\0"
data = b"L" * 600
head = struct.pack(">BBH4sHHH", 0x11, 0x02, 1, bytes([127, 0, 0, 1]), 0, 68 + len(data), 0)
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton("127.0.0.1"))
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
s.sendto(head + name("PY") + name("DEVICE_CONTROL7") + data, ("239.255.138.1", int(sys.argv[1])))
PY
wait $listener
check "a datagram longer than 512 bytes is recorded cut and counted" '[ "$(od -An -tu1 -j1 -N2 "$work/PKT_long" | tr -s " ")" = " 2 0" ] && grep -q "1 datagrams longer than 512 bytes were recorded cut to 512" "$work/long.err"'
# A disk that fills while records are written: the record that does not fit
# is taken back, so that the file stays whole records that every reader
# takes, and what was recorded is said.
disk=$(mktemp -d /tmp/nbtraffic_disk_XXXXXX)
if mount -t tmpfs -o size=16k tmpfs "$disk" 2>/dev/null; then
  timeout 20 "$tool" listen --name DEVICE_CONTROL7 --count 40 --seconds 15 --format packets \
    --out "$disk/PKT_full" 2>"$work/fills.err" &
  listener=$!
  check "the listener on a small disk says it listens" 'listening "$work/fills.err" $listener'
  timeout 20 "$tool" send --channel 7 --commands --text 'CP %d 1' --count 40 --rate 400 --quiet
  wait $listener
  code=$?
  size=$(stat -c %s "$disk/PKT_full")
  check "a full disk ends with code 1 and leaves whole records only ($size bytes)" \
    '[ $code -eq 1 ] && [ $((size % 528)) -eq 0 ] && [ "$size" -gt 0 ]'
  check "and says how many are recorded" \
    'grep -q "PKT_full: $((size / 528)) of the datagrams heard are recorded; no part of a record is left" "$work/fills.err"'
  umount "$disk"
else
  echo "skipped: a small tmpfs cannot be mounted here (the test command runs as root)"
fi
rmdir "$disk"
exit $failures
