#!/usr/bin/env bash
# Offline decoding: pktdump (native, Release) on a packet data file of
# RECORDS records of the traffic tool's mix (default 1,000,000), side by
# side with tshark and our Lua dissector on the same records exported to
# pcapng. Prints records per second of each and the ratio; then the
# report mode against decode, and parquet against decode --format json
# (see their figures below).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash tools/setup.sh >/dev/null
records=${RECORDS:-1000000}
cmake --preset native >/dev/null
cmake --build build/native --target pktdump make_packets >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/PKT_20261209.07
build/native/bench/make_packets "$records" "$file"
build/native/tools/pktdump/pktdump pcapng --channel 7 --out "$work/x.pcapng" "$file"

start=$(date +%s.%N)
lines=$(build/native/tools/pktdump/pktdump decode "$file" | wc -l)
mid=$(date +%s.%N)
frames=$(tshark -r "$work/x.pcapng" -X lua_script:"$root/tools/wireshark/trelm.lua" \
  -T fields -e trelm.code 2>/dev/null | wc -l)
end=$(date +%s.%N)
awk -v n="$records" -v l="$lines" -v f="$frames" -v a="$start" -v b="$mid" -v c="$end" 'BEGIN {
  p = n / (b - a); t = f / (c - b)
  printf "pktdump decode: %d records in %.2f s = %.0f records/s (%d lines)\n", n, b - a, p, l
  printf "tshark + trelm.lua: %d frames in %.2f s = %.0f records/s\n", f, c - b, t
  printf "pktdump is %.1f times as fast as tshark on the same records\n", p / t
}'

# Peak memory of each mode on a set of two such files (1 GB at the default
# size; GNU time's maximum resident set size): every mode reads record by
# record, so it stays a few megabytes whatever the set's size.
cp "$file" "$work/PKT_20261209.08"
set=("$file" "$work/PKT_20261209.08")
pktdump=build/native/tools/pktdump/pktdump
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
printf "peak memory, 2 files of %d records (%d MB):" "$records" $(( 2 * $(stat -c %s "$file") / 1048576 ))
printf " decode %d KB," "$(peak "$pktdump" decode "${set[@]}")"
printf " dump of the last 10 %d KB," "$(peak "$pktdump" dump "${set[1]}" $((records - 9)) "$records")"
printf " summary %d KB," "$(peak "$pktdump" summary "${set[@]}")"
printf " pcapng %d KB\n" "$(peak "$pktdump" pcapng --out "$work/y.pcapng" "${set[@]}")"

# The report: the same number of records with their arrivals (an hour at
# the rate that makes it, with a silent workstation, a burst, a gap and a
# clock set), decode and report on it side by side; peak memory of both on
# two such files (an hour each, 1 GB at the default size); the page's size;
# and the speed-up of reading two files over one (a worker per core).
rate=$(( (records + 3599) / 3600 ))
t1=$work/timed/PKT_20261209.07
t2=$work/timed/PKT_20261209.08
mkdir -p "$work/timed"
build/native/bench/make_packets "$records" "$t1" --start 1796799600 --rate "$rate" \
  --silent 4 600 60 --burst 1200 30 3 --drop 1800 40 --clock-set 2400
build/native/bench/make_packets "$records" "$t2" --start 1796803200 --rate "$rate" --drop 900 12
rm -f "$work/x.pcapng" "$work/y.pcapng" "$file" "$work/PKT_20261209.08"
seconds() { local a b; a=$(date +%s.%N); "$@" >/dev/null; b=$(date +%s.%N); echo "$a $b" | awk '{print $2 - $1}'; }
d1=$(seconds "$pktdump" decode "$t1")
r1=$(seconds "$pktdump" report --out "$work/one.html" "$t1")
r2=$(seconds "$pktdump" report --out "$work/two.html" "$t1" "$t2")
awk -v n="$records" -v d="$d1" -v r="$r1" -v r2="$r2" -v c="$(nproc)" 'BEGIN {
  printf "pktdump decode (timed records): %d records in %.2f s = %.0f records/s\n", n, d, n / d
  printf "pktdump report: %d records in %.2f s = %.0f records/s (%.2f of decode'"'"'s; aim: at least 0.5)\n", n, r, n / r, d / r
  printf "pktdump report, two files: %d records in %.2f s: %.2f times the speed of one file (%d cores; aim: 1.6 on 2)\n", 2 * n, r2, 2 * r / r2, c
}'
printf "page of %d records: %d KB (aim: under 2048 KB); of two files: %d KB\n" "$records" \
  $(( $(stat -c %s "$work/one.html") / 1024 )) $(( $(stat -c %s "$work/two.html") / 1024 ))
pd=$(peak "$pktdump" decode "$t1" "$t2")
pr=$(peak "$pktdump" report --out "$work/two.html" "$t1" "$t2")
printf "peak memory, 2 timed files of %d records (%d MB): decode %d KB, report %d KB (%.2f of decode's; aim: at most 2)\n" \
  "$records" $(( 2 * $(stat -c %s "$t1") / 1048576 )) "$pd" "$pr" "$(awk -v a="$pr" -v b="$pd" 'BEGIN{print a/b}')"

# Parquet: the same timed records through `decode --format json` and
# `parquet` (records/s of both; aim: parquet at least as fast), parquet's
# peak memory on the two files (row groups of 128k rows, one part open at a
# time) and the tables' size beside the PKT_ files and zstd -3 of them.
j1=$(seconds "$pktdump" decode --format json "$t1")
q1=$(seconds "$pktdump" parquet "$t1" --out "$work/parquet")
awk -v n="$records" -v j="$j1" -v q="$q1" 'BEGIN {
  printf "pktdump decode --format json: %d records in %.2f s = %.0f records/s\n", n, j, n / j
  printf "pktdump parquet: %d records in %.2f s = %.0f records/s (%.2f times decode --format json'"'"'s; aim: at least 1)\n", n, q, n / q, j / q
}'
rm -rf "$work/parquet"
pq=$(peak "$pktdump" parquet "$t1" "$t2" --out "$work/parquet")
printf "parquet of 2 timed files (%d MB): peak memory %d KB; tables %d KB, zstd -3 of the files %d KB\n" \
  $(( 2 * $(stat -c %s "$t1") / 1048576 )) "$pq" $(( $(find "$work/parquet" -name '*.parquet' -exec cat {} + | wc -c) / 1024 )) \
  $(( $(cat "$t1" "$t2" | zstd -3 -q -c | wc -c) / 1024 ))

# The comparison of three workstations' captures (report and summary with
# several folders): bench/pktdump_fleet_bench.sh prints its figures.
RECORDS=$(( records * 3 / 10 )) bash bench/pktdump_fleet_bench.sh
