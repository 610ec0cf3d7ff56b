#!/usr/bin/env bash
# Builds the release from a clean build folder and writes to dist/:
#
#   trelm-toolset-<version>-<arch>.msi   the installer (features Programs,
#                                        Start Pellor at log-on, Test bench)
#   trelm-toolset-<version>-<arch>.zip   the Programs feature's files
#   RELEASE-NOTES.txt                    what this release holds
#   SHA256SUMS                           the sums of the three
#
# The version is CMake's project(... VERSION ...). The programs are the
# 32-bit ones (x86) where Wine's 32-bit loader runs, else the 64-bit ones
# (x64), as tools/test.sh builds them. Needs msitools and wixl
# (tools/setup.sh installs them). JOBS sets the build's parallel jobs (2).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. tools/common.sh

preset=$(windows_preset)
if [ "$preset" = windows64 ]; then arch=x64; strip=x86_64-w64-mingw32-strip; else arch=x86; strip=i686-w64-mingw32-strip; fi
if [ -n "$(git status --porcelain 2>/dev/null)" ]; then
  echo "warning: the work tree has changes that are not committed; the release is built with them" >&2
fi

build=$root/build/release-$preset
rm -rf "$build" "$root/dist"
echo "configuring a clean Release build in $build"
cmake --preset "$preset" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "error: no project version in $build/CMakeCache.txt" >&2; exit 1; }

programs=(pellor varnet launchcheck)
testbench=(velknb32b bwcc32 trelm_cc orm appready lanacfg)
if cmake --build "$build" --target help 2>/dev/null | grep -q '^mirvale:'; then
  programs+=(mirvale)
fi
cmake --build "$build" --target "${programs[@]}" "${testbench[@]}" -j"${JOBS:-2}"

# The files as the MSI takes them, stripped of their symbols.
file_of() { awk -F'\t' -v t="$1" '$1 == t { print $2 }' "$build/release_files.txt"; }
stage=$build/stage
mkdir -p "$stage/programs" "$stage/testbench" "$stage/sample"
for t in "${programs[@]}"; do cp "$(file_of "$t")" "$stage/programs/"; done
for t in "${testbench[@]}"; do cp "$(file_of "$t")" "$stage/testbench/"; done
cp tools/sample/ORM.INI tools/sample/LAUNCH.INI tools/sample/VARNET.INI "$stage/sample/"
if command -v "$strip" >/dev/null; then
  "$strip" --strip-unneeded "$stage"/programs/* "$stage"/testbench/*
fi

bash tools/release/package.sh "$stage" "$version" "$arch" "$root/dist" >/dev/null
name=trelm-toolset-$version-$arch
pellor_version=$(sed -n 's/.*kLauncherTitle = "Trelm Launch V\([0-9.]*\)".*/\1/p' launcher/core/launcher_state.h)
varnet_version=$(sed -n 's/.*kVersion = "\([0-9.]*\)".*/\1/p' capture/app/varnet.h)

mirvale_note="This MSI has no Mirvale: no Qt for Windows was found where it was built.
Mirvale runs on Linux against a Wine prefix (see the README), or is built
on Windows with a Qt 6 for its compiler."
if [[ " ${programs[*]} " == *" mirvale "* ]]; then
  mirvale_note="Mirvale (mirvale.exe) is in the Programs feature. It needs the Qt 6 DLLs
of the Qt it was built with beside it (windeployqt)."
fi
{
  echo "Trelm workstation toolset $version ($arch)"
  echo
  echo "$name.msi  per-machine installer into Program Files\\Trelm Toolset"
  echo "  Programs (always): $(cd "$stage/programs" && ls | tr '\n' ' ')"
  echo "    with Start-menu shortcuts"
  echo "  Start Pellor at log-on (off by default): Pellor with its launch list"
  echo "    runs at every user's log-on"
  echo "  Test bench (off by default): $(cd "$stage/testbench" && ls | tr '\n' ' ')"
  echo "    and the sample installation in C:\\trelm (config, system, bin)"
  echo "  c:\\trelm_config.ini is written only where none exists, from the"
  echo "  properties CONFIGDIR and SYSTEMDIR; an existing one is never changed."
  echo "  Unattended:"
  echo "    msiexec /i $name.msi /qn CONFIGDIR=c:\\trelm\\config SYSTEMDIR=c:\\trelm\\system"
  echo "  Upgrades replace an older version in one step; an uninstall keeps the"
  echo "  configuration files, the bootstrap file, capture logs and packet files."
  echo "$name.zip  the Programs feature's files, for a bench"
  echo
  echo "$mirvale_note"
  echo
  echo "The MSI and the programs are not signed. SHA256SUMS holds their sums."
  echo "Pellor and Varnet carry their own version texts ($pellor_version and"
  echo "$varnet_version) as file versions; every program and library carries"
  echo "$version as product version."
} | sed 's/$/\r/' >"$root/dist/RELEASE-NOTES.txt"

(cd "$root/dist" && sha256sum "$name.msi" "$name.zip" RELEASE-NOTES.txt >SHA256SUMS)
echo "release $version ($arch) in dist/:"
(cd "$root/dist" && ls -l)
