#!/usr/bin/env bash
# pktdump parquet end to end, read by independent readers (DuckDB's Node
# package and hyparquet, installed by tools/setup.sh into build/):
# two days of hourly files of one workstation (48 PKT_ files: three runs,
# sequence gaps, two untimed hours, a datagram for the error log, one of
# non-ASCII bytes, a malformed record) and four hours of a second
# workstation named by --ws; then parquet_readers.mjs checks the tables
# against decode --format json and summary --format json, and reads the
# writer's edge cases.
# usage: parquet_test.sh PKTDUMP MAKE_PACKETS READERS_DIR CASES_DIR
set -euo pipefail
pktdump=$1 make_packets=$2 readers=$(cd "$3" 2>/dev/null && pwd || echo "$3") cases=$4
here=$(cd "$(dirname "$0")" && pwd)
export TZ=UTC
for need in node zstd; do
  command -v $need >/dev/null || { echo "FAIL: $need is missing: run tools/setup.sh" >&2; exit 1; }
done
if [ ! -d "$readers/node_modules/@duckdb/node-api" ] || [ ! -d "$readers/node_modules/hyparquet" ]; then
  echo "FAIL: the Parquet readers are not in $readers: run tools/setup.sh" >&2
  exit 1
fi
mkdir -p "${TEST_TMPDIR:-/tmp}"
work=$(mktemp -d "${TEST_TMPDIR:-/tmp}/pktdump-parquet.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/ws12" "$work/site-b/capture"

midnight=1796774400   # 2026-12-09 00:00 UTC
per_hour=1500
hour_name() { date -u -d "@$1" +PKT_%Y%m%d.%H; }

# ws12: hours 0-15 run 3 (from sequence 5: its first numbers are before the
# files), 25 lost in hour 6; hours 16-17 untimed; hours 18-33 run 4, 7 lost
# in hour 25; hours 34-47 run 5, its first two numbers lost.
sequence=5
for h in $(seq 0 47); do
  t=$((midnight + h * 3600))
  file=$work/ws12/$(hour_name $t)
  args=()
  if [ $h -eq 16 ] || [ $h -eq 17 ]; then
    "$make_packets" $per_hour "$file"
    continue
  fi
  [ $h -eq 18 ] && sequence=1
  [ $h -eq 34 ] && sequence=3
  run=3; [ $h -ge 18 ] && run=4; [ $h -ge 34 ] && run=5
  drop=0
  [ $h -eq 6 ] && drop=25 && args=(--drop 1000 25)
  [ $h -eq 25 ] && drop=7 && args=(--drop 2000 7)
  "$make_packets" $per_hour "$file" --start $t --rate 0.5 --sequence $sequence --run $run "${args[@]}"
  sequence=$((sequence + per_hour + drop))
done
# The second workstation: a folder whose name gives no number, given as 14.
sequence=1
for h in 30 31 32 33; do
  t=$((midnight + h * 3600))
  args=(); drop=0
  [ $h -eq 31 ] && drop=3 && args=(--drop 100 3)
  "$make_packets" 1000 "$work/site-b/capture/$(hour_name $t)" --start $t --rate 0.5 \
    --sequence $sequence --run 9 "${args[@]}"
  sequence=$((sequence + 1000 + drop))
done
# Hour 10: record 100 a revertive for the error log, 101 one of non-ASCII
# bytes (unrecognised), 500 malformed (a type byte of 7).
node -e '
  const fs = require("fs");
  const f = process.argv[1], b = fs.readFileSync(f);
  const put = (n, text) => {
    const at = (n - 1) * 528;
    b[at] = 2; b.writeUInt16BE(text.length, at + 1);
    b.fill(0, at + 16, at + 528); text.copy(b, at + 16);
  };
  put(100, Buffer.from("RR 0 1 1"));
  put(101, Buffer.concat([Buffer.from("ZZ caf"), Buffer.from([0xe9, 0x20, 0xff, 0x80])]));
  b[499 * 528] = 7;
  fs.writeFileSync(f, b);
' "$work/ws12/PKT_20261209.10"

status=0
start=$(date +%s%N)
"$pktdump" parquet "$work/ws12" --ws 14 "$work/site-b/capture" --out "$work/out" \
  >"$work/parquet.out" 2>"$work/parquet.err" || status=$?
echo "pktdump parquet: exit $status in $(( ($(date +%s%N) - start) / 1000000 )) ms"
if [ $status -ne 1 ] || ! grep -q 'PKT_20261209.10: record 500 has .*; kept as a malformed row' "$work/parquet.err"; then
  echo "FAIL: parquet should keep the malformed record, say so and exit 1 (exit $status):"
  cat "$work/parquet.err"
  exit 1
fi
for capture in ws12 site-b/capture; do
  tag=${capture//\//-}
  "$pktdump" decode --format json --keep-going "$work/$capture" >"$work/$tag.decode.json" 2>/dev/null || true
  "$pktdump" summary --format json "$work/$capture" >"$work/$tag.summary.json" || true
done

# Sizes: the Parquet tables against the PKT_ files and zstd -3 of them.
pkt=$(cat "$work"/ws12/PKT_* "$work"/site-b/capture/PKT_* | wc -c)
zst=0
for f in "$work"/ws12/PKT_* "$work"/site-b/capture/PKT_*; do
  zst=$((zst + $(zstd -3 -q -c "$f" | wc -c)))
done
pq=$(find "$work/out" -name '*.parquet' -exec cat {} + | wc -c)

cp "$here/parquet_readers.mjs" "$work/check.mjs"
ln -s "$readers/node_modules" "$work/node_modules"
status=0
node "$work/check.mjs" "$work" "$cases" "$pkt" "$zst" "$pq" || status=1
# The README's queries, as they stand there.
cp "$here/readme_queries.mjs" "$work/readme.mjs"
node "$work/readme.mjs" "$here/../../README.md" "$work" || status=1
exit $status
