#!/usr/bin/env bash
# pktdump.exe (the Windows build) under Wine, through pipes: standard input
# and output carry records and pcapng byte for byte, and what the native
# tests check of inputs and outputs holds on Windows too.
#   pktdump_exe_test.sh PKTDUMP.EXE WINE-RUN SAMPLE
set -uo pipefail
exe=$1 run=$2 sample=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$sample" "$work/PKT_20261209.10"
cd "$work"
pkt=PKT_20261209.10
p() { bash "$run" "$exe" "$@"; }
failed=0
# Each case: its name, the exit code expected, and a command whose output
# (stdout and stderr) must be exactly the expected text.
expect() {
  local name=$1 code=$2 want=$3 got rc
  shift 3
  got=$("$@" 2>&1)
  rc=$?
  got=${got//$'\r'/}  # messages go to standard error, in text mode
  if [ "$rc" != "$code" ] || [ "$got" != "$want" ]; then
    echo "FAIL $name: exit $rc (want $code)"
    diff <(echo "$want") <(echo "$got") | head -10
    failed=1
  else
    echo "ok $name"
  fi
}

# pcapng on standard output is the file's bytes, not one 0x0D more.
p pcapng --out file.pcapng "$pkt" || failed=1
p pcapng --out - "$pkt" | cat >piped.pcapng
expect "pcapng --out - is the --out file byte for byte" 0 "" cmp file.pcapng piped.pcapng
# Standard input reads records as the file does (0x1A and 0x0D inside).
p decode "$pkt" >file.txt
cat "$pkt" | p decode - | sed 's/^(standard input)/PKT_20261209.10/' >piped.txt
expect "decode - reads the records of a pipe" 0 "" cmp file.txt piped.txt
expect "decode - gives an object for every record" 0 "157" \
  bash -c "cat $pkt | bash $run $exe decode --format json - | grep -c '^{\"file\"'"
p dump "$pkt" 90 >file.dump
cat "$pkt" | p dump - 90 >piped.dump
expect "dump - N shows the record of a pipe" 0 "" cmp file.dump piped.dump
expect "check - counts the runs of a pipe" 1 "(standard input): 3 datagrams lost (sequence 61 to 63) before record 61
(standard input): run 1 starts at record 118 (sequence 1)
1 gap, 3 datagrams lost" bash -c "cat $pkt | bash $run $exe check -"
expect "dump - past a pipe's end is said" 1 \
  "pktdump: (standard input): holds 157 records: record 500 is not in it" \
  bash -c "cat $pkt | bash $run $exe dump - 500"
expect "a cut last record and a range past a pipe's end are both said" 1 \
  "pktdump: (standard input): cut inside a record: 100 bytes after the last whole record (157 records read)
pktdump: (standard input): holds 157 records: record 500 is not in it" \
  bash -c "{ cat $pkt; head -c 100 /dev/zero; } | bash $run $exe dump - 500"
# The capture is never its own export.
cp "$pkt" before
expect "pcapng --out X X is refused" 2 "pktdump: --out $pkt is the input $pkt; see pktdump --help" \
  p pcapng --out "$pkt" "$pkt"
expect "and X is as it was" 0 "" cmp before "$pkt"
expect "pcapng --out X - < X is refused" 2 "pktdump: --out $pkt is the input (standard input); see pktdump --help" \
  bash "$run" --shell "$exe" "Z:${exe//\//\\} pcapng --out $pkt - < $pkt"
expect "and X is still as it was" 0 "" cmp before "$pkt"
mkdir folder
expect "a folder without hour files says so" 1 \
  "pktdump: folder: a folder with no packet data file (PKT_YYYYMMDD.HH) in it" p decode folder
expect "a folder as --ini says so" 1 "pktdump: folder: cannot be read: Is a directory" \
  p decode --ini folder "$pkt"
# cmd leaves wildcards to the program: pktdump.exe expands them itself (Wine
# passes them on unexpanded, as cmd does), in name order; a folder is read
# as its hour files; a file named twice is read once, with a note.
cp "$pkt" PKT_20261209.11
mkdir night
cp "$pkt" night/PKT_20261209.11
cp "$pkt" night/PKT_20261209.10
touch night/notes.txt
two=$(p summary "$pkt" PKT_20261209.11 2>&1)
two=${two//$'\r'/}
expect "PKT_2026* is the files it matches" 0 "$two" p summary 'PKT_2026*'
expect "PKT_2026120?.1? too" 0 "$two" p summary 'PKT_2026120?.1?'
expect "a pattern of a folder's files" 0 "$two" p summary 'night\PKT_*'
expect "a folder is its hour files" 0 "$two" p summary night
expect "a pattern that matches nothing is said" 1 "pktdump: PKT_2099*: matches no file" \
  p summary 'PKT_2099*' "$pkt"
one=$(p check "$pkt" 2>&1)
one=${one//$'\r'/}
expect "a file named twice is read once" 1 "pktdump: note: 2 inputs name files given before (the first: \
.\\$pkt is $pkt): each is read once
$one" p check "$pkt" ".\\$pkt" "Z:$(pwd)/$pkt"
# Parquet: pktdump.exe has no libzstd and writes its pages uncompressed;
# a folder's files go into one part of its workstation and date, and the
# readers set-up installs (TRELM_PARQUET_READERS) read them back.
expect "parquet writes a part per table of the workstation and date" 0 \
  "records/ws=7/date=2026-12-09/part-HASH-2026120910.parquet: 314 rows
gaps/ws=7/date=2026-12-09/part-HASH-2026120910.parquet: 2 rows" \
  bash -c "bash $run $exe parquet --ws 7 night --out tables | sed -E 's/part-[0-9a-f]{8}-/part-HASH-/'"
readers=${TRELM_PARQUET_READERS:-}
if [ -n "$readers" ] && [ -d "$readers/node_modules/@duckdb/node-api" ] && command -v node >/dev/null; then
  ln -s "$readers/node_modules" node_modules
  cat >count.mjs <<'EOF'
import { DuckDBInstance } from '@duckdb/node-api';
const db = await (await DuckDBInstance.create(':memory:')).connect();
const q = async sql => (await db.runAndReadAll(sql)).getRowObjectsJson()[0];
const rows = await q("SELECT count(*) AS n, count(DISTINCT hour_file) AS files, sum(length) AS bytes FROM read_parquet('tables/records/*/*/*.parquet', hive_partitioning = true) WHERE ws = 7");
const codecs = await q("SELECT string_agg(DISTINCT compression, ',') AS c FROM parquet_metadata('tables/*/*/*/*.parquet')");
const lost = await q("SELECT sum(lost) AS lost FROM read_parquet('tables/gaps/*/*/*.parquet') WHERE gap = 'lost'");
console.log(`${rows.n} rows of ${rows.files} files, ${rows.bytes} bytes; ${codecs.c}; ${lost.lost} lost`);
EOF
  bytes=$(cat night/PKT_* | node -e 'let b=Buffer.alloc(0);process.stdin.on("data",d=>b=Buffer.concat([b,d])).on("end",()=>{let n=0;for(let i=0;i+528<=b.length;i+=528)n+=b.readUInt16BE(i+1);console.log(n)})')
  expect "DuckDB reads pktdump.exe's uncompressed tables" 0 "314 rows of 2 files, $bytes bytes; UNCOMPRESSED; 6 lost" \
    node count.mjs
else
  echo "FAIL the Parquet readers are not in '${readers}': run tools/setup.sh"
  failed=1
fi
exit $failed
