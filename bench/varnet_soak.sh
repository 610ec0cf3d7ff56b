#!/usr/bin/env bash
# Soak benchmark: varnet.exe under Wine takes the traffic tool's mix at a
# steady rate for a long run while faults come on a schedule: failed
# receive posts, a network failure, a dead socket, the log disk full for
# 20 seconds (a tmpfs, as root) and an Analyse of a 200 MB log. It prints
# the datagrams sent, the records in the PKT_ files, the datagrams Varnet
# reported as lost, and the unaccounted rest, which must be 0; then checks
# that every PKT_ file is whole records and reads back with pktdump, and
# that pktdump check's loss agrees with Varnet's own, run by run.
# Varnet is closed at 90% of the run while the traffic still flows: what
# reached it is what the wrapper counted up to Varnet's last look at its
# counters (the trace's last "stats" line); the rest was sent after.
#   SOAK_SECONDS=600  length of the run
#   SOAK_RATE=2000    datagrams per second
# Not a test: it prints its figures. Exit code 1 when anything is unaccounted.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. tools/common.sh
prepare_varnet_bench nbtraffic pktdump

seconds=${SOAK_SECONDS:-600}
rate=${SOAK_RATE:-2000}
total=$((seconds * rate))
c=$WINEPREFIX/drive_c
base=$c/vnsoak
logs=$base/logs
umount "$logs" 2>/dev/null || true
rm -rf "$base"
PACKET_TIMES=${PACKET_TIMES:-1} install_varnet vnsoak
# The log disk: room for the whole run's records and lines, and no more.
disk=yes
if ! mount -t tmpfs -o "size=$((total * 600 / 1048576 + 64))m" tmpfs "$logs" 2>/dev/null; then
  disk=no
  echo "note: no tmpfs could be mounted (not root?): the disk-full step is skipped"
fi
# A 200 MB capture log for Analyse, a few unusual lines in it.
awk 'BEGIN { for (i = 0; i < 7400000; i++) {
  if (i % 1000000 == 0) print "07:00:00-00 - Varnet started..."; else print "07:00:00-00 - [012] XP 12 1 1" } }' \
  | sed 's/$/\r/' >"$base/big.log"

traffic=$root/build/native/tools/traffic/nbtraffic
pktdump=$root/build/native/tools/pktdump/pktdump
export VELKNB_BASEPORT=16200
at() { echo $((total * $1 / 100)); }

# The wrapper's faults, by datagrams received: failed receive posts at 10%,
# a network failure at 25%, a dead socket at 45%.
faults="post=30@$(at 10),recv=0x17@$(at 25),dead=1@$(at 45)"
echo "soak: $rate datagrams a second for $seconds s; faults $faults; disk full at 60% for 20 s; Analyse at 75%"
VELKNB_FAULTS=$faults VELKNB_TRACE='c:\vnsoak\trace.txt' "$loader" 'c:\vnsoak\bin\varnet.exe' >/dev/null 2>&1 &
pid=$!
for _ in $(seq 300); do grep -qs "Varnet started" "$logs"/LOG_* && break; sleep 0.2; done
sleep 1
before=$(rcvbuf_errors)
"$traffic" send --channel 7 --mix --rate "$rate" --seconds "$seconds" >"$base/sent.txt" &
sender=$!
start=$(date +%s)
wait_until() { while [ $(( $(date +%s) - start )) -lt "$1" ]; do sleep 0.5; done; }
if [ "$disk" = yes ]; then
  wait_until $((seconds * 60 / 100))
  echo "soak: the log disk is full for 20 s"
  dd if=/dev/zero of="$logs/filler" bs=64k 2>/dev/null || true
  dd if=/dev/zero of="$logs/filler2" bs=512 2>/dev/null || true
  sleep 20
  rm -f "$logs/filler" "$logs/filler2"
fi
wait_until $((seconds * 75 / 100))
echo "soak: Analyse of a 200 MB log"
"$loader" 'c:\vnsoak\bin\poke.exe' V3VARNET 0x111 1002 >/dev/null 2>&1 || true
"$loader" 'c:\vnsoak\bin\poke.exe' --open-file "Open Log File" 'c:\vnsoak\big.log' >/dev/null 2>&1 || true
# The close comes while the traffic still flows.
wait_until $((seconds * 90 / 100))
echo "soak: Varnet closed while the traffic flows"
"$loader" 'c:\vnsoak\bin\poke.exe' V3VARNET 0x111 1001 >/dev/null 2>&1 || true
for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
wait "$sender"
after=$(rcvbuf_errors)

sent=$(sed -n 's/^sent \([0-9]*\) .*/\1/p' "$base/sent.txt")
# What reached Varnet's names by its last look: numbered, plus unclaimed
# that had no number.
read -r received unclaimed numbered < <(tr -d '\r' <"$base/trace.txt" | sed -n \
  's/^stats received=\([0-9]*\) unclaimed=\([0-9]*\) of them received=\([0-9]*\)$/\1 \2 \3/p' | tail -1; echo)
reached=$((${received:-0} + ${unclaimed:-0} - ${numbered:-0}))
bytes=$(cat "$logs"/PKT_* 2>/dev/null | wc -c)
records=$((bytes / 528))
lost_line=$(cat "$logs"/LOG_* | tr -d '\r' | grep -o 'Lost in this run: [0-9]* datagrams.*' | tail -1 || true)
written_line=$(cat "$logs"/LOG_* | tr -d '\r' | grep -o 'Lost in this run: [0-9]* lines.*' | tail -1 || true)
read -r dropped malformed down replay waiting < <(sed -n \
  's/.*: \([0-9]*\) datagrams dropped (queue full), \([0-9]*\) malformed, \([0-9]*\) while the channel was down, \([0-9]*\) during replay, \([0-9]*\) waiting at the close.*/\1 \2 \3 \4 \5/p' \
  <<<"$lost_line"; echo)
unwritten=$(sed -n 's/.* lines and \([0-9]*\) records not written.*/\1/p' <<<"$written_line")
dropped=${dropped:-0} down=${down:-0} replay=${replay:-0} unwritten=${unwritten:-0}
waiting=${waiting:-0}
reported=$((dropped + down + replay + unwritten + waiting))
rest=$((reached - records - reported))
whole=yes
for f in "$logs"/PKT_*; do
  [ $(( $(stat -c %s "$f") % 528 )) -eq 0 ] || whole=no
  "$pktdump" summary "$f" >/dev/null || whole=no
done
echo
printf '%-44s %s\n' "datagrams sent" "$sent" \
  "reached Varnet before its close" "$reached" \
  "sent after the close" "$((sent - reached))" \
  "records in the PKT_ files" "$records" \
  "reported lost: records not written" "$unwritten" \
  "reported lost: dropped by the wrapper" "$dropped" \
  "reported lost: while the channel was down" "$down" \
  "reported lost: during replay" "$replay" \
  "reported lost: waiting at the close" "$waiting" \
  "unaccounted" "$rest" \
  "kernel UDP receive-buffer errors" "$((after - before))" \
  "PKT_ files whole and read by pktdump" "$whole" \
  "reopenings of the socket (wrapper)" "$(sed -n 's/.*reopened=\([0-9]*\).*/\1/p' "$base/trace.txt" | tail -1)"
grep -h "Writing resumed\|Reception was down\|Receives posted again\|Network connection\|Datagrams lost" \
  "$logs"/LOG_* | tr -d '\r' | sed 's/^/  log: /' | sed -n 1,20p

# pktdump check over the PKT_ files beside Varnet's own loss lines, run by
# run. check sees a datagram the wrapper numbered and nobody recorded, as a
# gap, as long as a record of the run with a higher number follows it; the
# numbers after a run's last record (its tail) it cannot see, and they are
# taken from the wrapper's last count (known for the soak's own run, the
# last). Records not written (the full disk) are lost records to Varnet
# and gaps to check: in both. Malformed payloads and datagrams for the
# names while they were gone never got a number: in Varnet's lines only.
echo
echo "pktdump check beside Varnet's loss lines, run by run:"
"$pktdump" check "$logs"/PKT_* >"$base/check.txt" 2>&1 || true
# Its first lines and its verdict (the last).
lines=$(wc -l <"$base/check.txt")
sed -n 's/^/  check: /;1,5p' "$base/check.txt"
[ "$lines" -le 6 ] || echo "  check: ... ($((lines - 6)) more lines in $base/check.txt)"
[ "$lines" -le 5 ] || sed -n 's/^/  check: /;$p' "$base/check.txt"
# Per run of the records: its tag, records and highest sequence, in order.
# (The fields before "lines" hold no bracket; a record without its arrival
# has no sequence, one written before tags no run.)
{ "$pktdump" decode --format json "$logs"/PKT_* 2>/dev/null || true; } \
  | sed -n -e 's/^[^[]*"sequence":\([0-9]*\),"run":\([0-9]*\),.*/\2 \1/p' \
           -e 's/^[^[]*"sequence":\([0-9]*\),"lines".*/-1 \1/p' \
  | awk 'BEGIN { n = 0 } { if (n == 0 || $1 != tag) { n++; tag = $1; top[n] = 0; count[n] = 0 }
          count[n]++; if ($2 > top[n]) top[n] = $2; tags[n] = tag }
         END { for (i = 1; i <= n; i++) print i, tags[i], count[i], top[i] }' >"$base/runs.txt"
# Per run of check's lines: gaps, datagrams lost within, before the first
# record, and repeated numbers.
awk 'BEGIN { n = 1 }
     / run [0-9-]* starts at record / || / starts again at [0-9]* at record / { n++ }
     / lost \(sequence [0-9]* to [0-9]*\) before record / { g[n]++; l[n] += $2 }
     / not in these files \(sequence / { e[n] += $2 }
     / repeated at record / || / sequence numbers repeated / { r[n]++ }
     END { for (i = 1; i <= n; i++) print i, g[i] + 0, l[i] + 0, e[i] + 0, r[i] + 0 }' \
  "$base/check.txt" >"$base/check_runs.txt"
# Per run of the capture logs (a run starts with its configuration lines):
# the close line's figures and the records not written.
cat "$logs"/LOG_* | tr -d '\r' | awk '
  /- Configuration Path:$/ { n++; closed[n] = 0 }
  /Lost in this run: [0-9]* datagrams/ {
    line = $0; sub(/.*Lost in this run: /, "", line); gsub(/[^0-9]+/, " ", line)
    split(line, f, " "); d[n] = f[1]; m[n] = f[2]; u[n] = f[3]; p[n] = f[4]; w[n] = f[5] }
  /Lost in this run: [0-9]* lines and/ {
    line = $0; sub(/.*Lost in this run: /, "", line); gsub(/[^0-9]+/, " ", line)
    split(line, f, " "); k[n] = f[2] }
  /- Log Closed$/ { closed[n] = 1 }
  END { for (i = 1; i <= n; i++)
          print i, closed[i], d[i] + 0, m[i] + 0, u[i] + 0, p[i] + 0, w[i] + 0, k[i] + 0 }' \
  >"$base/log_runs.txt"
record_runs=$(wc -l <"$base/runs.txt")
log_runs=$(wc -l <"$base/log_runs.txt")
[ "$record_runs" -eq "$log_runs" ] ||
  echo "  note: $record_runs runs in the records, $log_runs in the capture logs (a run without timed records has no tag)"
# The wrapper's own figures for the soak's run (the last): what it numbered
# by Varnet's last look, and of the unclaimed those that had a number.
wrapper_dropped=$(tr -d '\r' <"$base/trace.txt" | sed -n 's/^end .* dropped=\([0-9]*\) .*/\1/p' | tail -1)
agree=yes
runs=$(( record_runs > log_runs ? record_runs : log_runs ))
for i in $(seq "$runs"); do
  read -r _ tag count top < <(sed -n "${i}p" "$base/runs.txt"; echo)
  read -r _ gaps inside earlier repeats < <(sed -n "${i}p" "$base/check_runs.txt"; echo)
  read -r _ closed d m u p w k < <(sed -n "${i}p" "$base/log_runs.txt"; echo)
  tag=${tag:--} count=${count:-0} top=${top:-0} gaps=${gaps:-0} inside=${inside:-0}
  earlier=${earlier:-0} repeats=${repeats:-0}
  echo "  run $i (tag $tag): $count records, highest sequence $top"
  echo "    pktdump check: $gaps gaps, $inside datagrams lost inside the run, $earlier before its first record, $repeats repeated"
  if [ -z "${closed:-}" ]; then
    echo "    Varnet: no lines of this run in the capture logs"; agree=no; continue
  fi
  [ "$closed" -eq 1 ] || echo "    Varnet: the run has no close line (it did not end normally): no totals to compare"
  echo "    Varnet's close line: $d dropped (queue full), $m malformed, $u while the channel was down, $p during replay, $w waiting at the close; $k records not written"
  if [ "$i" -ne "$runs" ] || [ "$closed" -ne 1 ]; then
    # Without the wrapper's counts only a bound holds: check cannot find
    # more than Varnet counted in all.
    if [ "$((inside + earlier))" -gt "$((d + p + k + u + w))" ]; then
      echo "    DISAGREE: check finds $((inside + earlier)) lost, more than the $((d + p + k + u + w)) Varnet counted"
      agree=no
    else
      echo "    the wrapper's counts of this run are not kept: its tail after sequence $top is unknown"
    fi
    continue
  fi
  # Numbered by the wrapper: every number up to its count was recorded or
  # is lost; what came for the names while gone had no number.
  tail_lost=$(( ${received:-0} - top ))
  unnumbered=$(( ${unclaimed:-0} - ${numbered:-0} ))
  numbered_lost=$(( d + p + k + u + w - unnumbered ))
  seen=$(( inside + earlier ))
  echo "    wrapper: $received numbered, $wrapper_dropped dropped (queue full) by its own count; $tail_lost after the last record (sequence $((top + 1)) to $received), which check cannot see"
  echo "    not numbered, in Varnet's lines only: $m malformed, $unnumbered for the names while they were gone"
  echo "    numbered and lost by Varnet's count: $d dropped + $p during replay + $k records not written (gaps to check too)" \
       "+ $((u + w - unnumbered)) while down or waiting at the close = $numbered_lost"
  if [ "$((seen + tail_lost))" -eq "$numbered_lost" ] && [ "$repeats" -eq 0 ] &&
     [ "${wrapper_dropped:-$d}" -eq "$d" ]; then
    echo "    agree: check's $seen + the tail's $tail_lost = $numbered_lost"
  else
    echo "    DISAGREE: check's $seen + the tail's $tail_lost against $numbered_lost ($repeats repeated; wrapper dropped ${wrapper_dropped:-?} against $d)"
    agree=no
  fi
done
echo "check and Varnet's loss lines agree run by run: $agree"
mkdir -p "$base/kept" && cp "$logs"/LOG_* "$logs"/ERRORLOG.TXT "$base/kept/" 2>/dev/null || true
echo "the capture logs are kept in $base/kept"
[ "$disk" = yes ] && umount "$logs" 2>/dev/null || true
[ "$rest" -eq 0 ] && [ "$whole" = yes ] && [ "$sent" -ge "$reached" ] && [ "$agree" = yes ]
