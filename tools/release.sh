#!/usr/bin/env bash
# Builds the release from a clean build folder and writes to dist/:
#
#   trelm-toolset-<version>-x86.msi    the installer (features Programs,
#                                        Start Pellor at log-on, Test bench)
#   trelm-toolset-<version>-x86.zip    the same program files, and testbench/ for a bench
#   RELEASE-NOTES.txt                    what this release holds
#   SHA256SUMS                           the sums of the three
#
# The version is CMake's project(... VERSION ...). What ships is 32-bit
# (x86) on every build machine, whatever it can run itself: the vendor's
# libraries beside the programs on a workstation are 32-bit. Mirvale is
# built against the Qt for Windows that tools/qt-windows.sh cross-builds
# from Debian's source (cached; the first run takes about 20 minutes).
# Needs msitools and wixl (tools/setup.sh installs them). JOBS sets the
# build's parallel jobs (2).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash tools/setup.sh
if [ -n "$(git status --porcelain 2>/dev/null)" ]; then
  echo "warning: the work tree has changes that are not committed; the release is built with them" >&2
fi

arch=x86
qt=$(bash tools/qt-windows.sh i686 | tail -1)
build=$root/build/release-x86
rm -rf "$build" "$root/dist"
echo "configuring a clean Release build in $build"
cmake --preset windows -B "$build" -DCMAKE_BUILD_TYPE=Release -DTRELM_QT_WINDOWS="$qt" >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "error: no project version in $build/CMakeCache.txt" >&2; exit 1; }

# shellcheck disable=SC2046
cmake --build "$build" -j"${JOBS:-2}" --target $(bash tools/release/stage.sh --targets)

# The files as the MSI takes them, stripped of their symbols.
stage=$build/stage
bash tools/release/stage.sh "$build" "$stage" --strip

bash tools/release/package.sh "$stage" "$version" "$arch" "$root/dist" >/dev/null
name=trelm-toolset-$version-$arch
pellor_version=$(sed -n 's/.*kLauncherTitle = "Trelm Launch V\([0-9.]*\)".*/\1/p' launcher/core/launcher_state.h)
varnet_version=$(sed -n 's/.*kVersion = "\([0-9.]*\)".*/\1/p' capture/app/varnet.h)
qt_source=$(cut -d' ' -f1 "$qt/.complete")
qt_version=$(sed -n 's/^TRELM_QT_VERSION:INTERNAL=//p' "$build/CMakeCache.txt")

{
  echo "Trelm workstation toolset $version ($arch)"
  echo
  echo "$name.msi  per-machine installer into Program Files (x86)\\Trelm Toolset"
  echo "  Programs (always): $(cd "$stage/programs" && ls *.exe | tr '\n' ' ')"
  echo "    with Start-menu shortcuts. Mirvale's Qt $qt_version DLLs lie beside it"
  echo "    (platforms\\qwindows.dll, styles\\qwindowsvistastyle.dll), built unmodified"
  echo "    from Debian's qt6-base $qt_source source; licenses\\ holds Qt's licence texts."
  echo "    They need Windows 8 or later (and, the x86 build, a processor with SSE2)."
  echo "  Start Pellor at log-on (off by default): Pellor with its launch list"
  echo "    runs at every user's log-on; choosing it installs the Programs too"
  echo "  Test bench (off by default): $(cd "$stage/testbench" && ls | tr '\n' ' ')"
  echo "    and the sample installation in C:\\trelm (config, system, bin, demo)"
  echo "  c:\\trelm_config.ini is written only where none exists, from the"
  echo "  properties CONFIGDIR and SYSTEMDIR; an existing one is never changed."
  echo "  Unattended:"
  echo "    msiexec /i $name.msi /qn CONFIGDIR=c:\\trelm\\config SYSTEMDIR=c:\\trelm\\system"
  echo "  Upgrades replace an older version, or a rebuild of the same version, in"
  echo "  one step; an uninstall keeps the configuration files, the bootstrap"
  echo "  file, capture logs and packet files."
  echo "$name.zip  the Programs feature's files, for a bench; testbench\\ holds"
  echo "  the Test bench's files with a README (never for a workstation)"
  echo
  echo "Every program and library is 32-bit (x86), as are the vendor's"
  echo "libraries it runs beside (velknb32b.dll, BWCC32.DLL, TRELM_CC.DLL); on a"
  echo "64-bit Windows it installs into Program Files (x86)."
  echo
  echo "The MSI and the programs are not signed. SHA256SUMS holds their sums."
  echo "Pellor and Varnet carry their own version texts ($pellor_version and"
  echo "$varnet_version) as file versions; every program and library of ours carries"
  echo "$version as product version."
} | sed 's/$/\r/' >"$root/dist/RELEASE-NOTES.txt"

(cd "$root/dist" && sha256sum "$name.msi" "$name.zip" RELEASE-NOTES.txt >SHA256SUMS)
echo "release $version ($arch) in dist/:"
(cd "$root/dist" && ls -l)
