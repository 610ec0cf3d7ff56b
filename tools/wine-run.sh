#!/usr/bin/env bash
# Runs a Windows program under Wine for the build and the tests:
# a project-local Wine prefix under the build folder, quiet WINEDEBUG and
# the display of a running X server (the test script starts Xvfb).
#
#   wine-run.sh program.exe [arguments...]
#   wine-run.sh --shell program.exe 'command line'
#     the line through Windows' own command shell (cmd /c), the build
#     folder and loader taken from the program: its redirections are
#     Windows handles, which a program can ask about as on Windows.
#
# TRELM_BUILD_DIR names the build folder; otherwise the folder holding the
# program (or one of its parents) that has CMakeCache.txt is used.
set -euo pipefail

shell=
if [ "${1:-}" = --shell ]; then shell=$3; shift; fi
prog=$1
if [ -z "${TRELM_BUILD_DIR:-}" ]; then
  d=$(cd "$(dirname "$prog")" && pwd)
  while [ "$d" != / ] && [ ! -f "$d/CMakeCache.txt" ]; do d=$(dirname "$d"); done
  [ -f "$d/CMakeCache.txt" ] || { echo "wine-run: no build folder above $prog" >&2; exit 2; }
  TRELM_BUILD_DIR=$d
fi
export WINEPREFIX=${TRELM_WINEPREFIX:-$TRELM_BUILD_DIR/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ -z "${DISPLAY:-}" ] && [ -f "$TRELM_BUILD_DIR/xvfb.display" ]; then
  DISPLAY=$(cat "$TRELM_BUILD_DIR/xvfb.display")
  export DISPLAY
fi

# The 64-bit loader for 64-bit programs, the 32-bit one otherwise.
if file -b "$prog" 2>/dev/null | grep -q 'x86-64'; then
  loader=/usr/lib/wine/wine64
else
  loader=/usr/lib/wine/wine
fi
[ -d "$WINEPREFIX/drive_c" ] || "$loader" wineboot -i >/dev/null 2>&1 || true
if [ -n "$shell" ]; then exec "$loader" cmd /c "$shell"; fi
exec "$loader" "$@"
