#!/usr/bin/env bash
# The Qt for Windows build script's cache and source handling, with apt-get,
# dpkg-query, dpkg-source, cmake and the compiler replaced by stubs on PATH:
# nothing is fetched or built. Each case checks what the script printed,
# what it asked the stubs for and what it left in its cache folder.
#   qt_windows_test.sh [tools/qt-windows.sh]
set -u
script=${1:-$(dirname "$0")/../../tools/qt-windows.sh}
. "$(dirname "$0")/checks.sh"

# The stubs log each call in $STUB/calls. apt-get's "source" writes a .dsc
# and its two files (CORRUPT=1: the orig tarball then differs from what
# the .dsc says); cmake --build fails when BUILD_FAILS=1.
mkdir -p "$work/bin"
cat >"$work/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
echo "6.4.2+dfsg-10"
EOF
cat >"$work/bin/dpkg-architecture" <<'EOF'
#!/usr/bin/env bash
echo x86_64-linux-gnu
EOF
for cc in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix; do
  printf '#!/usr/bin/env bash\necho "%s (GCC) 12-posix"\n' "$cc" >"$work/bin/$cc"
done
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STUB/calls"
case " $* " in
  *" update "*) exit 0 ;;
  *" source "*)
    echo "orig" >qt6-base_6.4.2+dfsg.orig.tar.xz
    echo "debian" >qt6-base_6.4.2+dfsg-10.debian.tar.xz
    {
      echo "Format: 3.0 (quilt)"
      echo "Source: qt6-base"
      echo "Checksums-Sha256:"
      for f in qt6-base_6.4.2+dfsg.orig.tar.xz qt6-base_6.4.2+dfsg-10.debian.tar.xz; do
        echo " $(sha256sum <"$f" | cut -d' ' -f1) $(stat -c %s "$f") $f"
      done
    } >qt6-base_6.4.2+dfsg-10.dsc
    [ "${CORRUPT:-0}" = 1 ] && echo "changed" >qt6-base_6.4.2+dfsg.orig.tar.xz
    exit 0 ;;
esac
exit 1
EOF
cat >"$work/bin/dpkg-source" <<'EOF'
#!/usr/bin/env bash
echo "dpkg-source $*" >>"$STUB/calls"
dir=${!#}
mkdir -p "$dir/LICENSES" "$dir/debian"
for l in LGPL-3.0-only GPL-2.0-only GPL-3.0-only; do echo "$l text" >"$dir/LICENSES/$l.txt"; done
echo "Files: *" >"$dir/debian/copyright"
EOF
cat >"$work/bin/cmake" <<'EOF'
#!/usr/bin/env bash
echo "cmake $*" >>"$STUB/calls"
case $1 in
  -S)
    build=$4
    prefix=$(printf '%s\n' "$@" | sed -n 's/^-DCMAKE_INSTALL_PREFIX=//p')
    echo "$prefix" >"$build/prefix"
    echo "# ninja" >"$build/build.ninja" ;;
  --build)
    [ "${BUILD_FAILS:-0}" = 1 ] && { echo "FAILED: src/gui/qfont.cpp.obj"; echo "error: boom"; exit 1; }
    echo "[100/200] Building CXX object a.obj"; echo "[200/200] Linking CXX shared library bin/Qt6Gui.dll" ;;
  --install)
    prefix=$(cat "$2/prefix")
    mkdir -p "$prefix/bin" "$prefix/lib/cmake/Qt6"
    echo dll >"$prefix/bin/Qt6Core.dll" ;;
esac
EOF
chmod +x "$work/bin"/*

export PATH="$work/bin:$PATH" STUB=$work/stub TRELM_QT_CACHE=$work/cache JOBS=1
unset TRELM_QT_EXTRA_OPTIONS
mkdir -p "$STUB"
run() {  # run ARGS...: the script's exit code, last output line and messages
  : >"$STUB/calls"
  code=0
  out=$(bash "$script" "$@" 2>"$STUB/messages") || code=$?
  last=$(tail -1 <<<"$out")
}
calls() { grep -c "^$1" "$STUB/calls"; }

# A first run fetches, checks, unpacks, configures, builds and installs.
run x86_64
first=$last
check "cold: exit 0" '[ $code = 0 ]'
check "cold: prints the Qt folder, named by version, architecture and key" \
  '[[ $first == "$TRELM_QT_CACHE"/6.4.2+dfsg-10-x86_64-* ]] && [ -f "$first/.complete" ]'
check "cold: the source fetched with a source list, lists and cache of its own" \
  'grep -q "apt-get -o Dir::Etc::SourceList=$TRELM_QT_CACHE/apt/sources.list -o Dir::Etc::SourceParts=$TRELM_QT_CACHE/apt/parts -o Dir::State::Lists=$TRELM_QT_CACHE/apt/lists -o Dir::Cache=$TRELM_QT_CACHE/apt/cache -q source --download-only qt6-base=6.4.2+dfsg-10" "$STUB/calls"'
check "cold: checked against the .dsc and unpacked" \
  'grep -q "checked qt6-base_6.4.2+dfsg.orig.tar.xz against qt6-base_6.4.2+dfsg-10.dsc" "$STUB/messages" && [ "$(calls dpkg-source)" = 1 ]'
check "cold: configured with OpenGL, tablet events and the host libraries off" \
  'grep "^cmake -S" "$STUB/calls" | grep -q -- "-DINPUT_opengl=no .*-DFEATURE_tabletevent=OFF .*-DFEATURE_system_zlib=OFF"'
check "cold: the host tools of the same Qt" 'grep "^cmake -S" "$STUB/calls" | grep -q -- "-DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake"'
check "cold: progress with the time so far" 'grep -q "step 200 of 200 (0m" "$STUB/messages"'
check "cold: built, installed stripped, build folder removed" \
  '[ "$(calls "cmake --build")" = 1 ] && grep -q "cmake --install .* --strip" "$STUB/calls" && [ -z "$(ls -d "$TRELM_QT_CACHE"/build-* 2>/dev/null)" ]'
check "cold: Qt's licences and a notice naming the source and the options" \
  '[ -f "$first/licenses/Qt-LGPL-3.0-only.txt" ] && [ -f "$first/licenses/Qt-copyright.txt" ] && grep -q "qt6-base=6.4.2+dfsg-10" "$first/licenses/Qt-NOTICE.txt" && grep -q -- "-DFEATURE_opengl=OFF" "$first/licenses/Qt-NOTICE.txt"'
check "cold: the compiler's runtime linked into the DLLs" 'grep -q "CMAKE_SHARED_LINKER_FLAGS_INIT \"-static" "$first/toolchain.cmake"'

# A second run takes the cache, calling nothing.
run x86_64
check "warm: the same folder, from the cache, nothing fetched or built" \
  '[ $code = 0 ] && [ "$last" = "$first" ] && [ ! -s "$STUB/calls" ] && grep -q "is in the cache" "$STUB/messages"'

# A changed option is another Qt: built anew beside the first, from the
# source already unpacked.
export TRELM_QT_EXTRA_OPTIONS="-DFEATURE_style_fusion=OFF"
run x86_64 --dry-run
check "changed option, dry run: a new folder, nothing done" \
  '[ $code = 0 ] && [ "$last" != "$first" ] && [ ! -e "$last" ] && [ ! -s "$STUB/calls" ] && grep -q "would build it" "$STUB/messages"'
run x86_64
second=$last
check "changed option: built anew with it, the source not fetched again" \
  '[ $code = 0 ] && [ "$second" != "$first" ] && [ -f "$second/.complete" ] && grep "^cmake -S" "$STUB/calls" | grep -q -- "-DFEATURE_style_fusion=OFF" && [ "$(calls apt-get)" = 0 ]'
check "changed option: the first Qt is still cached" '[ -f "$first/.complete" ]'
unset TRELM_QT_EXTRA_OPTIONS

# Another architecture is another Qt, with the other compiler.
run i686
check "i686: a folder of its own, built with the i686 compiler" \
  '[ $code = 0 ] && [[ $last == "$TRELM_QT_CACHE"/6.4.2+dfsg-10-i686-* ]] && grep -q "i686-w64-mingw32-g++-posix" "$last/toolchain.cmake"'

# A build that fails leaves nothing in the cache that looks whole, says
# where its log is, and the next run resumes it without configuring again.
export TRELM_QT_EXTRA_OPTIONS="-DFEATURE_style_windows=OFF"
BUILD_FAILS=1 run x86_64
check "failed build: exit 1, the error shown, nothing cached" \
  '[ $code = 1 ] && grep -q "FAILED: src/gui/qfont.cpp.obj" "$STUB/messages" && grep -q "the next run resumes it" "$STUB/messages" && [ -z "$(grep -l FEATURE_style_windows "$TRELM_QT_CACHE"/6.*/options.txt 2>/dev/null)" ]'
run x86_64
check "failed build: the next run resumes it and completes" \
  '[ $code = 0 ] && [ -f "$last/.complete" ] && [ "$(calls "cmake -S")" = 0 ] && [ "$(calls "cmake --build")" = 1 ]'
unset TRELM_QT_EXTRA_OPTIONS

# A source whose file differs from its .dsc is refused, nothing unpacked.
export TRELM_QT_CACHE=$work/cache2
CORRUPT=1 run x86_64
check "corrupt source: exit 1 naming the file, nothing unpacked" \
  '[ $code = 1 ] && grep -q "qt6-base_6.4.2+dfsg.orig.tar.xz does not match qt6-base_6.4.2+dfsg-10.dsc" "$STUB/messages" && [ "$(calls dpkg-source)" = 0 ] && [ -z "$(ls -d "$TRELM_QT_CACHE"/src/*/ 2>/dev/null)" ]'

run sparc
check "an unknown architecture: usage, exit 2" '[ $code = 2 ] && grep -q "usage" "$STUB/messages"'

echo "$failures failed"
[ "$failures" -eq 0 ]
