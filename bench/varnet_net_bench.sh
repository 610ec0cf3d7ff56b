#!/usr/bin/env bash
# Network benchmark: the traffic tool (native, Release) sends a realistic
# mix of commands and revertives to varnet.exe under Wine, with packet
# saving on and the display live, stepping the rate up. For each rate it
# runs RUNS times and prints the run with the lowest loss: the datagrams
# sent, the records in the PKT_ file, the wrapper's drop count, the
# kernel's UDP receive-buffer errors and the loss; then, from a run of its
# own, the system calls of varnet.exe and the requests the Wine server
# served per datagram; and the CPU time of varnet.exe and of the Wine
# server per datagram; and how many runs lost nothing. At the end, the
# highest rate at which every run lost nothing.
# The calls are counted by the kernel (perf stat on the syscall
# tracepoints), which costs the program next to nothing; strace -c, the
# fallback where perf cannot count, stops the program at every call, so
# that it falls behind and its figures are of a program that is late.
#   RATES="1000 5000"  rates to try (datagrams per second)
#   BENCH_SECONDS=30   seconds of traffic per rate
#   RUNS=3             runs per rate
#   COUNT_SECONDS=10   length of the counted window
#   PACKET_TIMES=0     1: records carry their arrival (VARNET.INI PacketTimes)
# Run through tools/bench.sh, or alone after a build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. tools/common.sh
prepare_varnet_bench nbtraffic

c=$WINEPREFIX/drive_c
base=$c/vnnet
install_varnet vnnet

traffic=$root/build/native/tools/traffic/nbtraffic
seconds=${BENCH_SECONDS:-30}
export VELKNB_BASEPORT=16000

# The Linux process of varnet.exe, and Wine's server.
varnet_pid() { pgrep -f 'vnnet.bin.varnet.exe' | head -1; }
server_pid() { pgrep -f "wineserver" | head -1; }
# User and system CPU time of a process, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
ticks=$(getconf CLK_TCK)

start_varnet() {
  rm -f "$base"/logs/* "$base/trace.txt"
  VELKNB_TRACE='c:\vnnet\trace.txt' "$loader" 'c:\vnnet\bin\varnet.exe' >/dev/null 2>&1 &
  launcher=$!
  for _ in $(seq 300); do grep -qs "Varnet started" "$base"/logs/LOG_* && break; sleep 0.2; done
  sleep 1
}
stop_varnet() {
  "$loader" 'c:\vnnet\bin\poke.exe' V3VARNET 0x111 1001 >/dev/null 2>&1 || true
  for _ in $(seq 150); do kill -0 "$launcher" 2>/dev/null || break; sleep 0.2; done
}
records_now() { echo $(( $(cat "$base"/logs/PKT_* 2>/dev/null | wc -c) / 528 )); }

# System calls of varnet.exe and requests served by the Wine server per
# datagram, on a run of their own.
counts_with_perf() {
  perf stat -e raw_syscalls:sys_enter -o /dev/null -- true >/dev/null 2>&1
}
count_calls() {
  local rate=$1 window=${COUNT_SECONDS:-10}
  start_varnet
  local vp sp
  vp=$(varnet_pid) sp=$(server_pid)
  "$traffic" send --channel 7 --mix --rate "$rate" --seconds $((window + 4)) --quiet &
  local sender=$!
  sleep 2
  local s1 s2
  if counts_with_perf; then
    perf stat -x, -e raw_syscalls:sys_enter -p "$vp" -o "$base/calls.varnet" -- sleep "$window" &
    s1=$!
    # Each request reaches the server as one read of a client's request pipe.
    perf stat -x, -e syscalls:sys_enter_read -p "$sp" -o "$base/calls.server" -- sleep "$window" &
    s2=$!
  else
    timeout -s INT "$window" strace -c -f -p "$vp" -o "$base/strace.varnet" >/dev/null 2>&1 &
    s1=$!
    timeout -s INT "$window" strace -c -p "$sp" -o "$base/strace.server" >/dev/null 2>&1 &
    s2=$!
  fi
  wait $s1 $s2 || true
  wait $sender || true
  sleep 1
  stop_varnet
  # Per datagram sent in the window: the sender keeps its rate exactly,
  # while the records written in it lag when Varnet has a backlog.
  local n=$((rate * window))
  local calls requests
  if [ -s "$base/calls.varnet" ]; then
    calls=$(awk -F, '/raw_syscalls/ { print $1 }' "$base/calls.varnet")
    requests=$(awk -F, '/sys_enter_read/ { print $1 }' "$base/calls.server")
    rm -f "$base/calls.varnet" "$base/calls.server"
  else
    calls=$(awk '$NF == "total" { print $(NF-2) }' "$base/strace.varnet")
    requests=$(awk '$NF == "read" { print $4 }' "$base/strace.server")
  fi
  awk -v c="${calls:-0}" -v q="${requests:-0}" -v n="$n" \
    'BEGIN { printf "%.1f %.1f", c / n, q / n }'
}

printf '%8s %9s %9s %8s %12s %7s %9s %9s %11s %11s %6s\n' rate sent records dropped rcvbuf-errs loss \
  calls/dg srv-req/dg varnet-us/dg server-us/dg clean
best=0
for rate in ${RATES:-1000 2000 5000 10000 20000}; do
  # Each rate runs RUNS times (3); the run with the lowest loss is shown,
  # with how many of the runs lost nothing.
  bestline='' bestloss=-1 clean=0 runs=${RUNS:-3}
  for run in $(seq "${RUNS:-3}"); do
    start_varnet
    vp=$(varnet_pid) sp=$(server_pid)
    v0=$(cpu_ticks "$vp") w0=$(cpu_ticks "$sp")
    before=$(rcvbuf_errors)
    sent=$("$traffic" send --channel 7 --mix --rate "$rate" --seconds "$seconds" |
      sed -n 's/^sent \([0-9]*\) .*/\1/p')
    sleep 3
    after=$(rcvbuf_errors)
    v1=$(cpu_ticks "$vp") w1=$(cpu_ticks "$sp")
    records=$(records_now)
    stop_varnet
    dropped=$(sed -n 's/.*dropped=\([0-9]*\).*/\1/p' "$base/trace.txt" | tail -1)
    loss=$((sent - records))
    cpu=$(awk -v v=$((v1 - v0)) -v w=$((w1 - w0)) -v t="$ticks" -v n="$sent" \
      'BEGIN { printf "%11.1f %11.1f", v / t / n * 1e6, w / t / n * 1e6 }')
    line=$(printf '%8s %9s %9s %8s %12s %7s' "$rate" "$sent" "$records" "${dropped:-?}" \
      "$((after - before))" "$loss")
    if [ "$bestloss" -lt 0 ] || [ "$loss" -lt "$bestloss" ]; then
      bestloss=$loss bestline="$line" bestcpu="$cpu"
    fi
    if [ "$loss" -eq 0 ] && [ "${dropped:-1}" -eq 0 ]; then clean=$((clean + 1)); fi
    echo "  run $run: $line" >&2
  done
  read -r calls requests < <(count_calls "$rate"; echo)
  printf '%s %9s %9s %s %6s\n' "$bestline" "$calls" "$requests" "$bestcpu" "$clean/$runs"
  if [ "$clean" -eq "$runs" ]; then best=$rate; fi
done
echo "highest rate at which all $runs runs of $seconds s lost nothing: $best datagrams per second"
