#!/usr/bin/env bash
# Qt 6 for Windows, cross-built with MinGW-w64 from Debian's own qt6-base
# source, for Mirvale's Windows build:
#
#   tools/qt-windows.sh ARCH [--dry-run]      ARCH: i686 or x86_64
#
# Prints the installed Qt's folder (what Mirvale's build takes as
# CMAKE_PREFIX_PATH) as the last line of its standard output; progress and
# times go to standard error. --dry-run says whether the cache holds that
# Qt, and where, without fetching or building anything.
#
# The source is the qt6-base of the same version as the host tools that
# the cross build runs (qt6-base-dev-tools, installed by tools/setup.sh),
# fetched with apt from a deb-src source given to that call alone (its own
# source list, package lists and cache under the cache folder: the
# machine's apt settings are left as they were), checked against its .dsc
# and unpacked with Debian's patches.
#
# Built: Core, Gui, Widgets, the windows platform plugin and the vista
# style, shared (Qt is LGPL: its DLLs ship unmodified beside the program),
# with only what Mirvale uses (no network, SQL, OpenGL, D-Bus, printing,
# image format plugins...). The result is cached in
#   ${TRELM_QT_CACHE:-~/.cache/trelm/qt-windows}/<version>-<arch>-<key>
# where key is a hash of the options and toolchain below: a second run
# takes it in seconds, a changed option builds anew beside it. A build cut
# short resumes where it stopped. JOBS sets the parallel jobs (all cores).
set -euo pipefail

arch=${1:-}
dry_run=0
[ "${2:-}" = --dry-run ] && dry_run=1
case $arch in
  i686|x86_64) ;;
  *) echo "usage: tools/qt-windows.sh i686|x86_64 [--dry-run]" >&2; exit 2 ;;
esac
triple=$arch-w64-mingw32
cache=${TRELM_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/trelm/qt-windows}
say() { echo "qt-windows: $*" >&2; }
started=$(date +%s)
elapsed() { local s=$(( $(date +%s) - started )); printf '%dm%02ds' $((s / 60)) $((s % 60)); }

# The host tools' version is the source's: a cross build of Qt runs the
# host's moc, rcc, uic and syncqt, which must be of the same Qt.
version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev-tools 2>/dev/null || true)
if [ -z "$version" ]; then
  echo "qt-windows: error: qt6-base-dev-tools is not installed (run tools/setup.sh)" >&2
  exit 1
fi
upstream=${version%%+*}
upstream=${upstream%%-*}
multiarch=$(dpkg-architecture -qDEB_BUILD_MULTIARCH 2>/dev/null || gcc -print-multiarch)

toolchain_text="set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $arch)
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_CXX_COMPILER $triple-g++-posix)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_SHARED_LINKER_FLAGS_INIT \"-static -static-libgcc -static-libstdc++\")
set(CMAKE_MODULE_LINKER_FLAGS_INIT \"-static -static-libgcc -static-libstdc++\")
set(CMAKE_EXE_LINKER_FLAGS_INIT \"-static -static-libgcc -static-libstdc++\")
"
# The compiler's runtime (libstdc++, libgcc, winpthread) is linked into
# each DLL, as into every program and library of ours: no runtime DLLs to
# ship, none of another program's to pick up, and every file carries a
# version resource. Nothing of Mirvale's throws across a DLL's edge.
# OpenGL is off only with INPUT_opengl=no (the feature alone leaves dynamic
# OpenGL on); tablet events need wintab, which neither Debian's source nor
# MinGW has; the bundled third-party libraries are used, never the host's.
options=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=ON
  -DQT_QMAKE_TARGET_MKSPEC=win32-g++
  -DQT_HOST_PATH=/usr
  "-DQT_HOST_PATH_CMAKE_DIR=/usr/lib/$multiarch/cmake"
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_testlib=OFF -DFEATURE_dbus=OFF
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
  -DFEATURE_vulkan=OFF -DINPUT_opengl=no -DFEATURE_opengl=OFF
  -DFEATURE_tabletevent=OFF
  -DFEATURE_freetype=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF
  -DFEATURE_pkg_config=OFF -DFEATURE_icu=OFF -DFEATURE_zstd=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_png=OFF
  # What Mirvale never uses, left out for the build's time (about a third):
  # HarfBuzz (Latin text needs no shaping engine; Windows draws the glyphs),
  # PDF, movies, Markdown, the undo framework, the tray icon, and the
  # widgets and dialogs it has none of. (The input dialog stays: the vista
  # style needs it; so does Direct2D: the DirectWrite font database is
  # built only with it.)
  -DFEATURE_harfbuzz=OFF -DFEATURE_pdf=OFF -DFEATURE_movie=OFF
  -DFEATURE_textmarkdownreader=OFF -DFEATURE_textmarkdownwriter=OFF
  -DFEATURE_undocommand=OFF -DFEATURE_systemtrayicon=OFF
  -DFEATURE_graphicsview=OFF -DFEATURE_mdiarea=OFF -DFEATURE_dockwidget=OFF
  -DFEATURE_calendarwidget=OFF -DFEATURE_datetimeedit=OFF -DFEATURE_lcdnumber=OFF
  -DFEATURE_dial=OFF -DFEATURE_splashscreen=OFF -DFEATURE_keysequenceedit=OFF
  -DFEATURE_colordialog=OFF -DFEATURE_filedialog=OFF -DFEATURE_fontdialog=OFF
  -DFEATURE_fontcombobox=OFF -DFEATURE_wizard=OFF
  -DFEATURE_errormessage=OFF -DFEATURE_progressdialog=OFF -DFEATURE_columnview=OFF
  -DFEATURE_datawidgetmapper=OFF -DFEATURE_undoview=OFF -DFEATURE_commandlinkbutton=OFF
  -DFEATURE_toolbox=OFF
)
# TRELM_QT_EXTRA_OPTIONS: more configure options, each its own cache entry.
if [ -n "${TRELM_QT_EXTRA_OPTIONS:-}" ]; then
  read -r -a extra <<<"$TRELM_QT_EXTRA_OPTIONS"
  options+=("${extra[@]}")
fi
compiler=$("$triple-g++-posix" --version 2>/dev/null | head -1 || echo "no $triple-g++-posix")
key=$(printf '%s\n' "$toolchain_text" "${options[@]}" "$compiler" | sha256sum | cut -c1-12)
name=$version-$arch-$key
prefix=$cache/$name

# A Qt is whole once its marker, written last and renamed into place,
# holds its version, architecture and key.
complete() { [ -s "$prefix/.complete" ]; }
if complete; then
  say "Qt $version for $arch ($key) is in the cache: $prefix"
  echo "$prefix"
  exit 0
fi
if [ $dry_run = 1 ]; then
  say "Qt $version for $arch ($key) is not in the cache: a run would build it into $prefix"
  echo "$prefix"
  exit 0
fi

mkdir -p "$cache"
# One build per cache entry at a time; a second caller waits for the first.
exec 9>"$cache/.lock-$name"
if ! flock -n 9; then
  say "another run is building $name; waiting for it"
  flock 9
fi
# Looked at again under the lock: a run that held it may have just finished
# (and a run stopped between marking its Qt whole and removing its build
# folder left that folder behind).
if complete; then
  rm -rf "$cache/build-$name"
  say "Qt $version for $arch ($key) is in the cache: $prefix"
  echo "$prefix"
  exit 0
fi

# --- The source: Debian's qt6-base of the host tools' version.
src=$cache/src/qt6-base-$version
exec 8>"$cache/.lock-src"
flock 8
if [ ! -f "$src/.complete" ]; then
  say "fetching Debian's qt6-base $version source"
  . /etc/os-release
  suite=${VERSION_CODENAME:?no VERSION_CODENAME in /etc/os-release}
  mirror=${TRELM_DEBIAN_MIRROR:-http://deb.debian.org/debian}
  security=${TRELM_DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
  keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  apt_dir=$cache/apt
  rm -rf "$apt_dir"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts" "$apt_dir/download"
  {
    echo "deb-src [signed-by=$keyring] $mirror $suite main"
    echo "deb-src [signed-by=$keyring] $mirror $suite-updates main"
    echo "deb-src [signed-by=$keyring] $security $suite-security main"
  } >"$apt_dir/sources.list"
  apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -q)
  fetched=0
  for try in 1 2 3; do
    if apt-get "${apt_options[@]}" update >"$apt_dir/update.log" 2>&1 &&
        (cd "$apt_dir/download" && apt-get "${apt_options[@]}" source --download-only \
          "qt6-base=$version") >"$apt_dir/source.log" 2>&1; then
      fetched=1; break
    fi
    say "try $try of fetching the source failed: $(grep -hE '^(E|W):' "$apt_dir"/*.log | head -2 | tr '\n' ' ')"
    [ "$try" -lt 3 ] && sleep 10
  done
  if [ $fetched = 0 ]; then
    echo "qt-windows: error: cannot fetch qt6-base $version's source:" >&2
    grep -hE '^(E|W):' "$apt_dir"/*.log >&2 || tail -5 "$apt_dir/source.log" >&2
    exit 1
  fi
  # Every file the .dsc names, with the size and SHA-256 it gives.
  dsc=$(ls "$apt_dir"/download/qt6-base_*.dsc)
  listed=$(awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 } on && NF == 3 { n++ } END { print n + 0 }' "$dsc")
  if [ "$listed" -lt 2 ]; then
    echo "qt-windows: error: $(basename "$dsc") lists $listed files with SHA-256 sums (the source and Debian's changes are two)" >&2
    exit 1
  fi
  awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 } on && NF == 3 { print $1, $2, $3 }' "$dsc" |
  while read -r sum size file; do
    got_size=$(stat -c %s "$apt_dir/download/$file")
    got_sum=$(sha256sum "$apt_dir/download/$file" | cut -d' ' -f1)
    if [ "$got_size" != "$size" ] || [ "$got_sum" != "$sum" ]; then
      echo "qt-windows: error: $file does not match $(basename "$dsc") (size $got_size, sha256 $got_sum)" >&2
      exit 1
    fi
    say "checked $file against $(basename "$dsc"): $size bytes, sha256 $sum"
  done
  rm -rf "$src"; mkdir -p "$cache/src"
  dpkg-source -x "$dsc" "$src" >"$apt_dir/unpack.log" 2>&1 ||
    { tail -5 "$apt_dir/unpack.log" >&2; echo "qt-windows: error: cannot unpack $dsc" >&2; exit 1; }
  touch "$src/.complete"
  rm -rf "$apt_dir"
  say "source unpacked with Debian's patches in $src ($(elapsed))"
fi
flock -u 8

# --- The build.
build=$cache/build-$name
mkdir -p "$build"
printf '%s' "$toolchain_text" >"$build/toolchain.cmake"
printf '%s\n' "${options[@]}" >"$build/options.txt"
if [ ! -f "$build/build.ninja" ]; then
  say "configuring Qt $upstream for $arch ($key) in $build"
  if ! cmake -S "$src" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$build/toolchain.cmake" \
      -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" >"$build/configure.log" 2>&1; then
    tail -40 "$build/configure.log" >&2
    rm -f "$build/build.ninja"
    echo "qt-windows: error: configuring Qt for $arch failed ($build/configure.log)" >&2
    exit 1
  fi
fi
jobs=${JOBS:-$(nproc)}
say "building Qt for $arch with $jobs jobs (progress every 100 steps; the whole log: $build/build.log)"
# Ninja's own progress lines, one in a hundred, with the time so far.
if ! cmake --build "$build" --parallel "$jobs" 2>&1 | tee "$build/build.log" |
    awk -v t0="$started" '/^\[[0-9]+\/[0-9]+\]/ { s = $1; gsub(/[][]/, "", s); split(s, a, "/");
      if (a[1] % 100 == 0 || a[1] == a[2]) { "date +%s" | getline now; close("date +%s");
        printf "qt-windows:   step %s of %s (%dm%02ds)\n", a[1], a[2], (now - t0) / 60, (now - t0) % 60 > "/dev/stderr" } }'; then
  grep -E -B2 -A12 'FAILED|error:' "$build/build.log" | head -60 >&2 || tail -40 "$build/build.log" >&2
  echo "qt-windows: error: building Qt for $arch failed ($build/build.log); the next run resumes it" >&2
  exit 1
fi
rm -rf "$prefix"
cmake --install "$build" --strip >"$build/install.log" 2>&1 ||
  { tail -20 "$build/install.log" >&2; echo "qt-windows: error: installing Qt failed" >&2; exit 1; }
cp "$build/options.txt" "$build/toolchain.cmake" "$prefix/"
# Qt's licence texts, for the package that ships the DLLs (LGPL 3: the
# notice says what was built, from which source, and how to rebuild it).
mkdir -p "$prefix/licenses"
for l in LGPL-3.0-only GPL-2.0-only GPL-3.0-only; do
  cp "$src/LICENSES/$l.txt" "$prefix/licenses/Qt-$l.txt"
done
cp "$src/debian/copyright" "$prefix/licenses/Qt-copyright.txt"
{
  echo "Mirvale uses Qt $upstream (Qt Core, Qt Gui, Qt Widgets, the windows platform"
  echo "plugin and the windows vista style) under the GNU Lesser General Public"
  echo "License version 3 (Qt-LGPL-3.0-only.txt). The Qt DLLs are built, unmodified,"
  echo "from Debian's qt6-base $version source package (with Debian's patches):"
  echo "  apt-get source qt6-base=$version"
  echo "  https://snapshot.debian.org/package/qt6-base/$version/"
  echo "cross-compiled for Windows ($arch) with MinGW-w64 ($compiler)"
  echo "and these CMake options:"
  printf '  %s\n' "${options[@]}"
  echo "You may replace the DLLs with your own build of the same Qt version."
  echo "The authors and licences of Qt and of the third-party code in it are in"
  echo "Qt-copyright.txt."
} | sed 's/$/\r/' >"$prefix/licenses/Qt-NOTICE.txt"
echo "$version $arch $key" >"$prefix/.complete.new"
mv "$prefix/.complete.new" "$prefix/.complete"
rm -rf "$build"
say "Qt $version for $arch built and cached in $prefix ($(elapsed))"
echo "$prefix"
