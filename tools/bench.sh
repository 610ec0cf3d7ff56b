#!/usr/bin/env bash
# Builds and runs the benchmarks, which print their figures: lines per
# second through the capture log natively (file only) and under Wine
# through the real varnet window with the display live; then datagrams per
# second into varnet.exe over the network (bench/varnet_net_bench.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/common.sh
prepare_windows_build
cmake --build --preset "$preset" --target capture_log_bench trelm_cc
cmake --preset native >/dev/null
cmake --build build/native --target capture_log_bench decoder_bench
ensure_display "$build/xvfb.display"
ensure_prefix "$(wine_loader "$preset")" "$build/wineprefix"
build/native/bench/capture_log_bench
build/native/bench/decoder_bench
WINEPREFIX=$build/wineprefix "$(wine_loader "$preset")" "$build/bin/capture_log_bench.exe" \
  "Z:$(echo "$build/bin/TRELM_CC.DLL" | tr / '\\')"
# The network benchmark: traffic into varnet.exe at rising rates.
bash bench/varnet_net_bench.sh
# Offline decoding: pktdump beside tshark with our Lua dissector.
bash bench/pktdump_bench.sh
