#!/usr/bin/env bash
# The comparison of workstations: pktdump report and summary --format json
# on three workstations' captures of one channel of RECORDS datagrams each
# (default 300,000, 100 a second: 50 minutes) with clocks of their own,
# drops, a pause, a late start, a pulled cable and a device that stops.
# Prints the seconds and peak memory of report on one capture (where no
# comparison is made) and on the three (where it reads them again, merged by
# arrival), of summary --format json on the three, and what was found.
set -euo pipefail
cd "$(dirname "$0")/.."
records=${RECORDS:-300000}
cmake --preset native >/dev/null
cmake --build build/native --target pktdump make_packets >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
maker=build/native/bench/make_packets
pktdump=build/native/tools/pktdump/pktdump
channel="--start 1796799600 --rate 100 --mute 38 600 120"
mkdir -p "$work/ws12" "$work/ws14" "$work/ws16"
$maker "$records" "$work/ws12/PKT_20261209.07" $channel --lose 300 400 --pause 1200 60
$maker "$records" "$work/ws14/PKT_20261209.07" $channel --offset 120 --lose 900 300
$maker "$records" "$work/ws16/PKT_20261209.07" $channel --offset -150 --from 200 --miss 2000 30
one=("$work/ws12")
three=("$work/ws12" "$work/ws14" "$work/ws16")
total=$(stat -c %s "$work"/ws1?/PKT_20261209.07 | awk '{s += $1} END {print int(s / 528)}')
single=$(( $(stat -c %s "$work/ws12/PKT_20261209.07") / 528 ))

seconds() { local a b; a=$(date +%s.%N); "$@" >/dev/null; b=$(date +%s.%N); echo "$a $b" | awk '{print $2 - $1}'; }
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
r1=$(seconds "$pktdump" report --out "$work/one.html" "${one[@]}")
r3=$(seconds "$pktdump" report --out "$work/three.html" "${three[@]}")
s3=$(seconds "$pktdump" summary --format json "${three[@]}")
p1=$(peak "$pktdump" report --out "$work/one.html" "${one[@]}")
p3=$(peak "$pktdump" report --out "$work/three.html" "${three[@]}")
ps=$(peak "$pktdump" summary --format json "${three[@]}")
awk -v n="$single" -v t="$total" -v r1="$r1" -v r3="$r3" -v s3="$s3" -v p1="$p1" -v p3="$p3" -v ps="$ps" 'BEGIN {
  printf "pktdump report, one capture (no comparison): %d records in %.2f s = %.0f records/s, peak %d KB\n", n, r1, n / r1, p1
  printf "pktdump report, three captures compared: %d records in %.2f s = %.0f records/s, peak %d KB\n", t, r3, t / r3, p3
  printf "  %.2f times the seconds of one capture for %.2f times its records\n", r3 / r1, t / n
  printf "pktdump summary --format json, three captures compared: %.2f s = %.0f records/s, peak %d KB\n", s3, t / s3, ps
}'
counts=$(grep -o 'id="fleet-counts"[^>]*>[^<]*' "$work/three.html" | sed 's/.*>//')
shares=$(grep -o '<tr data-capture="[^"]*" data-union="[0-9]*" data-held="[0-9]*"[^>]*data-share="[0-9.]*"' \
  "$work/three.html" | sed 's/<tr data-capture="\([^"]*\)" data-union="\([0-9]*\)" data-held="\([0-9]*\)".*data-share="\([0-9.]*\)"/\1 holds \3 of \2 (\4)/' | paste -sd';' | sed 's/;/; /g')
echo "found: $counts $shares"
