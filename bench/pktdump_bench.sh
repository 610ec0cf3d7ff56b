#!/usr/bin/env bash
# Offline decoding: pktdump (native, Release) on a packet data file of
# RECORDS records of the traffic tool's mix (default 1,000,000), side by
# side with tshark and our Lua dissector on the same records exported to
# pcapng. Prints records per second of each and the ratio.
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
