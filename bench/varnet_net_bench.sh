#!/usr/bin/env bash
# Network benchmark: the traffic tool (native, Release) sends a realistic
# mix of commands and revertives to varnet.exe under Wine, with packet
# saving on and the display live, stepping the rate up. For each rate it
# prints the datagrams sent, the records in the PKT_ file, the wrapper's
# drop count, the kernel's UDP receive-buffer errors and the loss; at the
# end, the highest rate with no loss.
#   RATES="1000 5000"  rates to try (datagrams per second)
#   BENCH_SECONDS=30   seconds of traffic per rate
# Run through tools/bench.sh, or alone after a build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. tools/common.sh
prepare_windows_build
cmake --build --preset "$preset" --target varnet trelm_cc bwcc32 velknb32b poke
cmake -S . -B build/bench-native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench-native --target nbtraffic
ensure_display "$build/xvfb.display"
loader=$(wine_loader "$preset")
ensure_prefix "$loader" "$build/wineprefix"
export WINEPREFIX=$build/wineprefix

c=$WINEPREFIX/drive_c
base=$c/vnnet
mkdir -p "$base/cfg" "$base/sys" "$base/bin" "$base/logs"
cp "$build/bin/varnet.exe" "$build/bin/bwcc32.dll" "$build/bin/velknb32b.dll" \
  "$build/outside/poke/poke.exe" "$base/bin/"
cp "$build/bin/TRELM_CC.DLL" "$base/sys/"
printf '[Config]\r\nConfigPath=c:\\vnnet\\cfg\r\nSystemPath=c:\\vnnet\\sys\r\n' >"$c/trelm_config.ini"
printf '[Network]\r\nChannel=7\r\nSavePackets=1\r\n[Paths]\r\nLogFilePath=c:\\vnnet\\logs\r\n' \
  >"$base/cfg/VARNET.INI"

traffic=$root/build/bench-native/tools/traffic/nbtraffic
seconds=${BENCH_SECONDS:-30}
export VELKNB_BASEPORT=16000
rcvbuf_errors() { awk '/^Udp:/ { if (!h) { for (i = 1; i <= NF; i++) if ($i == "RcvbufErrors") c = i; h = 1 } else print $c }' /proc/net/snmp; }

printf '%8s %9s %9s %8s %12s %7s\n' rate sent records dropped rcvbuf-errs loss
best=0
for rate in ${RATES:-1000 2000 5000 10000 20000}; do
  rm -f "$base"/logs/* "$base/trace.txt"
  VELKNB_TRACE='c:\vnnet\trace.txt' "$loader" 'c:\vnnet\bin\varnet.exe' >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 300); do grep -qs "Varnet started" "$base"/logs/LOG_* && break; sleep 0.2; done
  sleep 1
  before=$(rcvbuf_errors)
  sent=$("$traffic" send --channel 7 --mix --rate "$rate" --seconds "$seconds" |
    sed -n 's/^sent \([0-9]*\) .*/\1/p')
  sleep 3
  after=$(rcvbuf_errors)
  bytes=$(cat "$base"/logs/PKT_* 2>/dev/null | wc -c)
  records=$((bytes / 528))
  "$loader" 'c:\vnnet\bin\poke.exe' V3VARNET 0x111 1001 >/dev/null 2>&1 || true
  for _ in $(seq 150); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
  dropped=$(sed -n 's/.*dropped=\([0-9]*\).*/\1/p' "$base/trace.txt" | tail -1)
  loss=$((sent - records))
  printf '%8s %9s %9s %8s %12s %7s\n' "$rate" "$sent" "$records" "${dropped:-?}" \
    "$((after - before))" "$loss"
  if [ "$loss" -eq 0 ] && [ "${dropped:-1}" -eq 0 ]; then best=$rate; fi
done
echo "highest rate with no loss over $seconds s: $best datagrams per second"
