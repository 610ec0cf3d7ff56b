#!/usr/bin/env bash
# Lays out a Windows build's files as the release packages them:
#
#   stage.sh BUILD STAGE [--strip]
#   stage.sh --targets      the build targets it takes, for cmake --build
#
# STAGE/programs  the Programs feature: pellor, varnet, launchcheck,
#                 pktdump and mirvale, with what mirvale needs beside it
#                 (BUILD/mirvale_runtime.txt: the Qt DLLs, platforms\,
#                 styles\ and Qt's licence texts in licenses\)
# STAGE/testbench our stand-ins for the vendor's libraries and ORM
# STAGE/sample    the sample installation's settings
# Where each program is comes from BUILD/release_files.txt. --strip strips
# the symbols of our programs and libraries (the Qt DLLs come stripped).
# Used by tools/release.sh and by the release test, so that what is tested
# is laid out as what ships.
set -euo pipefail
programs=(pellor varnet launchcheck pktdump mirvale)
testbench=(velknb32b bwcc32 trelm_cc orm appready lanacfg)
if [ "${1:-}" = --targets ]; then echo "${programs[*]} ${testbench[*]}"; exit 0; fi
build=$(cd "$1" && pwd)
stage=$2
strip=${3:-}
case $strip in ""|--strip) ;; *) echo "usage: stage.sh BUILD STAGE [--strip]" >&2; exit 2 ;; esac
src=$(cd "$(dirname "$0")/../.." && pwd)

[ -f "$build/release_files.txt" ] || { echo "error: $build/release_files.txt is missing: configure the build first" >&2; exit 1; }
if [ ! -f "$build/mirvale_runtime.txt" ]; then
  echo "error: $build has no Mirvale: configure it with -DTRELM_QT_WINDOWS=\$(bash tools/qt-windows.sh i686 | tail -1)" >&2
  exit 1
fi
file_of() { awk -F'\t' -v t="$1" '$1 == t { print $2 }' "$build/release_files.txt"; }
copy_built() {  # copy_built TARGET DESTINATION
  local f
  f=$(file_of "$1")
  [ -n "$f" ] && [ -f "$f" ] || { echo "error: $1 is not built in $build${f:+ ($f)}" >&2; exit 1; }
  cp "$f" "$2/"
}

rm -rf "$stage"
mkdir -p "$stage/programs" "$stage/testbench" "$stage/sample"
for t in "${programs[@]}"; do copy_built "$t" "$stage/programs"; done
for t in "${testbench[@]}"; do copy_built "$t" "$stage/testbench"; done
while IFS=$'\t' read -r place file; do
  [ -n "$place" ] || continue
  [ -f "$file" ] || { echo "error: $file (for $place) is missing" >&2; exit 1; }
  mkdir -p "$(dirname "$stage/programs/$place")"
  cp "$file" "$stage/programs/$place"
done <"$build/mirvale_runtime.txt"
cp "$src"/tools/sample/{ORM,LAUNCH,VARNET}.INI "$stage/sample/"

if [ "$strip" = --strip ]; then
  tool=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$build/CMakeCache.txt")
  [ -x "$tool" ] || { echo "error: no strip program in $build/CMakeCache.txt" >&2; exit 1; }
  "$tool" --strip-unneeded "$stage"/programs/*.exe "$stage"/testbench/*
fi
