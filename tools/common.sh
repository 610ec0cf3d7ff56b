# Shared by the test and demo scripts: the Windows build preset, Xvfb and
# the Wine server. Source it; it defines functions only.

# The preset whose programs this machine can run: the 32-bit one where
# Wine's 32-bit loader runs, else the 64-bit one (a kernel without 32-bit
# program support cannot run the 32-bit loader; the sources are the same).
windows_preset() {
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo windows
  elif /usr/lib/wine/wine64 --version >/dev/null 2>&1; then
    echo "note: this machine cannot run 32-bit Wine; building the 64-bit Windows programs" >&2
    echo windows64
  else
    echo "error: Wine is not installed (run tools/setup.sh)" >&2
    return 1
  fi
}

wine_loader() {
  if [ "$1" = windows ]; then echo /usr/lib/wine/wine; else echo /usr/lib/wine/wine64; fi
}

STARTED_XVFB_PID=
STARTED_WINESERVER_PREFIX=

# Installs what is missing and configures the Windows preset this machine
# can run, from the top of the tree; sets preset and build, and arranges for
# what the script starts to be stopped when it exits.
prepare_windows_build() {
  bash tools/setup.sh
  trap stop_started EXIT
  preset=$(windows_preset)
  build=$PWD/build/$preset
  cmake --preset "$preset" >/dev/null
}

# Uses the display in $DISPLAY if an X server answers there, else starts
# Xvfb on a free display. Writes the display into the file named by $1.
ensure_display() {
  local record=$1
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    echo "$DISPLAY" >"$record"
    return 0
  fi
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  STARTED_XVFB_PID=$!
  local number
  read -r -t 30 number <"$fifo" || { echo "error: Xvfb did not start" >&2; rm -f "$fifo"; return 1; }
  rm -f "$fifo"
  export DISPLAY=":$number"
  echo "$DISPLAY" >"$record"
  echo "started Xvfb on $DISPLAY"
}

# Creates the Wine prefix if needed and keeps a Wine server running in it
# until stop_started is called.
ensure_prefix() {
  local loader=$1 prefix=$2
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$prefix/system.reg" ]; then
    echo "creating the Wine prefix $prefix"
    WINEPREFIX=$prefix "$loader" wineboot -i >/dev/null 2>&1 || true
    # wineboot's own server lingers a moment; a persistent one starts after it.
    WINEPREFIX=$prefix /usr/lib/wine/wineserver -w || true
  fi
  # Fails only when a server already runs in the prefix, which serves too.
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -p 2>/dev/null || true
  STARTED_WINESERVER_PREFIX=$prefix
  # The first program of a Wine session starts Wine's background services,
  # which keep the output streams they were given; start them here, on
  # /dev/null, so that no test's output stays open after the test ends.
  WINEPREFIX=$prefix "$loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

stop_started() {
  if [ -n "$STARTED_WINESERVER_PREFIX" ]; then
    WINEPREFIX=$STARTED_WINESERVER_PREFIX /usr/lib/wine/wineserver -k 2>/dev/null || true
    STARTED_WINESERVER_PREFIX=
  fi
  if [ -n "$STARTED_XVFB_PID" ]; then
    kill "$STARTED_XVFB_PID" 2>/dev/null || true
    wait "$STARTED_XVFB_PID" 2>/dev/null || true
    STARTED_XVFB_PID=
  fi
}

# For the Varnet benchmarks: builds varnet.exe with its libraries and the
# given native tools (Release, in build/native), starts Xvfb and the
# Wine server; sets loader and exports WINEPREFIX.
prepare_varnet_bench() {
  prepare_windows_build
  cmake --build --preset "$preset" --target varnet trelm_cc bwcc32 velknb32b poke
  cmake --preset native >/dev/null
  cmake --build build/native --target "$@"
  ensure_display "$build/xvfb.display"
  loader=$(wine_loader "$preset")
  ensure_prefix "$loader" "$build/wineprefix"
  export WINEPREFIX=$build/wineprefix
}

# Lays out Varnet on c:\NAME of the prefix: bin (with poke.exe), sys (the
# control library), cfg (VARNET.INI: channel 7, packets saved, logs in
# c:\NAME\logs, PacketTimes as $PACKET_TIMES says, 0 by default) and logs;
# c:\trelm_config.ini points there.
install_varnet() {
  local name=$1 base=$WINEPREFIX/drive_c/$1
  mkdir -p "$base/cfg" "$base/sys" "$base/bin" "$base/logs"
  cp "$build/bin/varnet.exe" "$build/bin/bwcc32.dll" "$build/bin/velknb32b.dll" \
    "$build/outside/poke/poke.exe" "$base/bin/"
  cp "$build/bin/TRELM_CC.DLL" "$base/sys/"
  printf '[Config]\r\nConfigPath=c:\\%s\\cfg\r\nSystemPath=c:\\%s\\sys\r\n' "$name" "$name" \
    >"$WINEPREFIX/drive_c/trelm_config.ini"
  printf '[Network]\r\nChannel=7\r\nSavePackets=1\r\nPacketTimes=%d\r\n[Paths]\r\nLogFilePath=c:\\%s\\logs\r\n' \
    "${PACKET_TIMES:-0}" "$name" >"$base/cfg/VARNET.INI"
}

# The kernel's count of UDP datagrams dropped for a full receive buffer.
rcvbuf_errors() {
  awk '/^Udp:/ { if (!h) { for (i = 1; i <= NF; i++) if ($i == "RcvbufErrors") c = i; h = 1 } else print $c }' /proc/net/snmp
}
