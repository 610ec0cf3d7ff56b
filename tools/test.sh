#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs every test:
# the Windows programs and their tests under Wine (with Xvfb when there is
# no display), then the portable modules natively under AddressSanitizer
# and UBSan. Ends by itself; stops the Xvfb and Wine server it started.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

. tools/common.sh
prepare_windows_build
cmake --build --preset "$preset"

ensure_display "$build/xvfb.display"
ensure_prefix "$(wine_loader "$preset")" "$build/wineprefix"

status=0
ctest --test-dir "$build" --output-on-failure -j2 --timeout 300 || status=1

cmake --preset host >/dev/null
cmake --build --preset host
ctest --test-dir "$root/build/host" --output-on-failure -j2 --timeout 300 || status=1

exit $status
