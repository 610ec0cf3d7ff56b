#!/usr/bin/env bash
# The metrics file end to end: the real varnet.exe under Wine, with our
# wrapper and nbtraffic.exe sending on 127.0.0.1, writes its metrics file
# every second; on the Linux side a reader reads it at least 1,000 times
# while Varnet replaces it, and every read must be whole (it ends with a
# line feed, holds every family, and parses: Debian's promtool checks each
# version read); at the close the file's counters must equal the capture
# log's close lines. A shell script because the reader and promtool are
# Linux programs, which Wine cannot start: Varnet is started with Wine's
# loader and closed with poke.exe (File, Exit), as the demo does.
#   metrics_e2e.sh VARNET.EXE NBTRAFFIC.EXE POKE.EXE TRELM_CC.DLL WINE-RUN
# VELKNB_BASEPORT gives the run its own ports.
set -uo pipefail
varnet=$1 traffic=$2 poke=$3 trelm_cc=$4 run=$5
sent=3000

fail() { echo "FAIL: $*"; exit 1; }

# promtool is the oracle: without it the test fails, never skips.
command -v promtool >/dev/null 2>&1 ||
  fail "promtool is not installed (Debian's package prometheus; tools/setup.sh installs it)"

build=$(cd "$(dirname "$varnet")" && while [ "$PWD" != / ] && [ ! -f CMakeCache.txt ]; do cd ..; done; pwd)
[ -f "$build/CMakeCache.txt" ] || fail "no build folder above $varnet"
export TRELM_BUILD_DIR=$build
c=${TRELM_WINEPREFIX:-$build/wineprefix}/drive_c
[ -d "$c" ] || bash "$run" "$poke" >/dev/null 2>&1  # its usage; wine-run lays out the prefix
[ -d "$c" ] || fail "no Wine prefix at $c"
root=$c/vnmetrics
prom=$root/metrics/varnet.prom
work=$(mktemp -d)
varnet_pid= traffic_pid=
cleanup() {
  # Only what this test started, by its id.
  [ -n "$traffic_pid" ] && kill "$traffic_pid" 2>/dev/null
  [ -n "$varnet_pid" ] && kill "$varnet_pid" 2>/dev/null
  rm -f "$c/trelm_config.ini"
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $1 seconds for the command after it to succeed, looking
# every 0.1 s; false when it never did.
wait_for() {
  local bound=$(($1 * 10)) i
  shift
  for ((i = 0; i < bound; ++i)); do
    "$@" && return 0
    sleep 0.1
  done
  "$@"
}

# The installation: configuration, system directory, logs, the metrics
# directory; profile files with Windows' line ends.
rm -rf "$root"
mkdir -p "$root/cfg" "$root/sys" "$root/logs" "$root/metrics"
cp "$trelm_cc" "$root/sys/TRELM_CC.DLL"
printf '[Config]\r\nConfigPath=c:\\vnmetrics\\cfg\r\nSystemPath=c:\\vnmetrics\\sys\r\n' \
  >"$c/trelm_config.ini"
printf '%s\r\n' '[Network]' 'Channel=8' 'SavePackets=1' '[Paths]' \
  'LogFilePath=c:\vnmetrics\logs' '[Metrics]' 'MetricsFile=c:\vnmetrics\metrics\varnet.prom' \
  'MetricsSeconds=1' >"$root/cfg/VARNET.INI"
export VELKNB_REPORT='c:\vnmetrics\velknb.log'

families=(varnet_datagrams_received_total varnet_datagrams_recorded_total
  varnet_datagrams_lost_total varnet_log_lines_lost_total varnet_channel_up
  varnet_run_start_time_seconds varnet_last_datagram_time_seconds
  varnet_device_last_heard_time_seconds varnet_retention_deleted_files_total
  varnet_retention_deleted_bytes_total)

# A sample of the file as text: "name{labels} value" -> the value.
sample() { awk -v key="$2" '$1 == key { print $2; exit }' "$1"; }
counted() {  # received and lost together: every datagram sent is one or the other
  local f=$1 total=0 v
  v=$(sample "$f" varnet_datagrams_received_total) || return 1
  total=$((total + ${v:-0}))
  for r in queue_full malformed channel_down replay waiting_at_close; do
    v=$(sample "$f" "varnet_datagrams_lost_total{reason=\"$r\"}")
    total=$((total + ${v:-0}))
  done
  echo "$total"
}

all_counted() { [ "$(counted "$prom")" = "$sent" ]; }

bash "$run" "$varnet" >/dev/null 2>&1 &
varnet_pid=$!
wait_for 60 test -s "$prom" || fail "no metrics file at $prom within 60 s of the start"
grep -q '^varnet_channel_up 1$' "$prom" || fail "the first file does not show the channel up: $(cat "$prom")"

bash "$run" "$traffic" send --channel 8 --mix --rate 300 --count "$sent" --quiet >/dev/null 2>&1 &
traffic_pid=$!
wait_for 60 grep -q '^varnet_last_datagram_time_seconds ' "$prom" ||
  fail "the file never showed a datagram: $(cat "$prom")"

# The reader: every read whole. Each version read is kept by its digest,
# and checked once (the same bytes give the same answer).
mkdir -p "$work/versions"
reads=0 torn=0
: >"$work/digests"
while [ "$reads" -lt 1000 ]; do
  text=$(cat "$prom" 2>&1; printf x) || true
  text=${text%x}
  reads=$((reads + 1))
  whole=yes
  [ "${text: -1}" = $'\n' ] || whole="no line feed at the end"
  for f in "${families[@]}"; do
    [[ $text == *"# TYPE $f "* ]] || { whole="no family $f"; break; }
  done
  if [ "$whole" != yes ]; then
    torn=$((torn + 1))
    [ "$torn" -le 3 ] && { echo "read $reads is not whole ($whole):"; printf '%s' "$text" | head -5; }
    continue
  fi
  digest=$(printf '%s' "$text" | md5sum | cut -c1-32)
  [ -f "$work/versions/$digest" ] || printf '%s' "$text" >"$work/versions/$digest"
done
versions=$(ls "$work/versions" | wc -l)
echo "read the file $reads times: $versions versions, $torn not whole"
[ "$torn" -eq 0 ] || fail "$torn of $reads reads were not whole"
[ "$versions" -ge 2 ] || fail "the file was not replaced while it was read ($versions version)"
for v in "$work/versions"/*; do
  out=$(promtool check metrics <"$v" 2>&1) || fail "promtool refuses a version read: $out
$(cat "$v")"
done
echo "promtool accepts every version read"

# Every datagram sent is counted, then File, Exit.
timeout 120 tail --pid="$traffic_pid" -f /dev/null || fail "nbtraffic did not end within 120 s"
wait "$traffic_pid" || fail "nbtraffic failed"
traffic_pid=
wait_for 60 all_counted ||
  fail "the file counts $(counted "$prom") of the $sent datagrams sent: $(cat "$prom")"
bash "$run" "$poke" V3VARNET 0x111 1001 || fail "no Varnet window to close"
timeout 60 tail --pid="$varnet_pid" -f /dev/null || fail "Varnet did not end within 60 s of File, Exit"
varnet_pid=

# The last file against the close's lines.
cp "$prom" "$work/last.prom"
out=$(promtool check metrics <"$work/last.prom" 2>&1) || fail "promtool refuses the last file: $out"
[ ! -e "$prom.tmp" ] || fail "the temporary file was left"
log=$(cat "$root"/logs/LOG_* | tr -d '\r')
totals=$(printf '%s\n' "$log" | grep -o 'Run totals: .*' | tail -1)
[[ $totals =~ ^Run\ totals:\ ([0-9]+)\ datagrams\ received,\ ([0-9]+)\ recorded$ ]] ||
  fail "no totals line at the close: '$totals'"
declare -A want=(
  [varnet_datagrams_received_total]=${BASH_REMATCH[1]}
  [varnet_datagrams_recorded_total]=${BASH_REMATCH[2]}
  [varnet_log_lines_lost_total]=0)
for r in queue_full malformed channel_down replay waiting_at_close not_written; do
  want["varnet_datagrams_lost_total{reason=\"$r\"}"]=0
done
lines=$(printf '%s\n' "$log" | grep -o 'Lost in this run: .* records not written' | tail -1)
if [[ $lines =~ ([0-9]+)\ lines\ and\ ([0-9]+)\ records ]]; then
  want[varnet_log_lines_lost_total]=${BASH_REMATCH[1]}
  want["varnet_datagrams_lost_total{reason=\"not_written\"}"]=${BASH_REMATCH[2]}
fi
lost=$(printf '%s\n' "$log" | grep -o 'Lost in this run: .* waiting at the close' | tail -1)
if [ -n "$lost" ]; then
  read -r q m d p w < <(printf '%s\n' "$lost" | grep -o '[0-9]\+' | tr '\n' ' ')
  want["varnet_datagrams_lost_total{reason=\"queue_full\"}"]=$q
  want["varnet_datagrams_lost_total{reason=\"malformed\"}"]=$m
  want["varnet_datagrams_lost_total{reason=\"channel_down\"}"]=$d
  want["varnet_datagrams_lost_total{reason=\"replay\"}"]=$p
  want["varnet_datagrams_lost_total{reason=\"waiting_at_close\"}"]=$w
fi
failed=0
for key in "${!want[@]}"; do
  got=$(sample "$work/last.prom" "$key")
  if [ "$got" != "${want[$key]}" ]; then
    echo "FAIL: $key is '$got' in the file, ${want[$key]} in the capture log's close lines"
    failed=1
  fi
done
[ "$(counted "$work/last.prom")" = "$sent" ] || { echo "FAIL: $(counted "$work/last.prom") of $sent counted at the close"; failed=1; }
[ "$failed" -eq 0 ] || { cat "$work/last.prom"; printf '%s\n' "$log" | tail -5; exit 1; }
echo "at the close the file's counters equal the capture log's: $totals"
echo "ok"
