#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs every test:
# the Windows programs (Mirvale with a Qt cross-built by tools/qt-windows.sh,
# cached) and their tests under Wine (with Xvfb when there is no display),
# the x86 release's MSI and ZIP, then the portable modules natively under
# AddressSanitizer and UBSan. Ends by itself; stops the Xvfb and Wine server
# it started.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

. tools/common.sh
bash tools/setup.sh
trap stop_started EXIT
preset=$(windows_preset)
build=$root/build/$preset

# Mirvale for Windows: Qt cross-built from Debian's source (cached), for the
# architecture whose programs run here. The release test packages the x86
# programs whatever runs here: where only the 64-bit ones run, the x86 ones
# (and their Qt) are built too, and their exports checked.
if [ "$preset" = windows ]; then
  qt=$(bash tools/qt-windows.sh i686 | tail -1)
  release_build=$build
else
  qt=$(bash tools/qt-windows.sh x86_64 | tail -1)
  qt_x86=$(bash tools/qt-windows.sh i686 | tail -1)
  release_build=$root/build/windows
  cmake --preset windows -DTRELM_QT_WINDOWS="$qt_x86" >/dev/null
  # shellcheck disable=SC2046
  cmake --build --preset windows --target $(bash tools/release/stage.sh --targets) nbtraffic
fi
cmake --preset "$preset" -DTRELM_QT_WINDOWS="$qt" -DTRELM_RELEASE_BUILD="$release_build" >/dev/null
cmake --build --preset "$preset"

ensure_display "$build/xvfb.display"
ensure_prefix "$(wine_loader "$preset")" "$build/wineprefix"

status=0
ctest --test-dir "$build" --output-on-failure -j2 --timeout 300 || status=1

# Where only the 64-bit programs can run, what ships (PE32, undecorated
# stdcall exports) is checked in the x86 build the release test packaged.
if [ "$preset" = windows64 ]; then
  ctest --test-dir build/windows -R '^exports$' --output-on-failure || status=1
fi

# Mirvale's Linux platform reads the prefix that the Win32 conformance run
# laid out: the Wine server writes system.reg out when it ends.
WINEPREFIX=$build/wineprefix /usr/lib/wine/wineserver -k 2>/dev/null || true
export TRELM_WINEPREFIX=$build/wineprefix

# The native programs as users run them (Release), for their end-to-end
# tests; the unit tests under the sanitizers.
cmake --preset native >/dev/null
cmake --build --preset native
cmake --preset host -DTRELM_NATIVE_DIR="$root/build/native" >/dev/null
cmake --build --preset host
ctest --test-dir "$root/build/host" --output-on-failure -j2 --timeout 300 || status=1

# Mirvale end to end on the display, against the prefix's registry and files.
echo "Mirvale end to end"
log=$root/build/host/mirvale_e2e.log
if timeout 300 bash tests/lanatool/mirvale_e2e.sh "$root/build/native/lanatool/mirvale" \
    "$root/build/native/outside/lanacfg" "$(wine_loader "$preset")" "$build/wineprefix" \
    "$build/bin/mirvale_conformance_win32.exe" "$root/build/host" >"$log" 2>&1; then
  grep -E '^(ok|FAIL)' "$log" || true
else
  tail -30 "$log"
  echo "error: Mirvale's end-to-end run failed ($log)" >&2
  status=1
fi

# Each libFuzzer target runs for a bounded time on a copy of its seeds.
bash tools/fuzz.sh || status=1

exit $status
