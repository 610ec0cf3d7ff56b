#!/usr/bin/env bash
# The demo: sets up what is missing, builds the Windows programs, lays out a
# sample installation on the C: drive of a Wine prefix of its own, starts
# our ORM, then Pellor with DebugMode on. Pellor closes that ORM, waits for
# its closing report, and runs the list: a fresh ORM, a command entry, a
# pause, a directory entry, a wait entry answered by the ready-reporting
# program, one more command, and a last pause; QuitWhenDone ends it.
# A screenshot of the screen is saved while the last pause runs.
# Then Varnet, the capture tool, starts on the same installation: it writes
# its settings and the hour's capture log, and a second screenshot shows it
# with the heartbeat lines switched on and the device filter dialog open,
# while the traffic tool sends it a mix of commands and revertives, which it
# records in the hour's packet data file. A third screenshot shows the
# Packet dialog with that file's first record. Last, Mirvale (the LANA
# tool) shows the sample registry's NetBIOS bindings and the current
# settings; a fourth screenshot keeps it, and it is cancelled.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

. tools/common.sh
prepare_windows_build
cmake --build --preset "$preset" --target pellor orm appready varnet trelm_cc bwcc32 velknb32b poke nbtraffic
# Mirvale is a native Qt program.
cmake --preset native >/dev/null
cmake --build --preset native --target mirvale lanacfg

demo=$build/demo
prefix=$demo/wineprefix
mkdir -p "$demo"
ensure_display "$demo/xvfb.display"
loader=$(wine_loader "$preset")
# The demo's own NetBIOS port range, so that nothing else on the machine hears it.
export VELKNB_BASEPORT=17000
ensure_prefix "$loader" "$prefix"
export WINEPREFIX=$prefix

c=$prefix/drive_c
mkdir -p "$c/trelm/config" "$c/trelm/bin" "$c/trelm/demo" "$c/trelm/system"
rm -f "$c"/trelm/demo/*.txt "$c"/trelm/logs/*
cp tools/sample/trelm_config.ini "$c/trelm_config.ini"
cp tools/sample/ORM.INI tools/sample/LAUNCH.INI tools/sample/VARNET.INI "$c/trelm/config/"
cp "$build/bin/varnet.exe" "$build/bin/bwcc32.dll" "$build/bin/velknb32b.dll" \
  "$build/bin/nbtraffic.exe" "$build/outside/poke/poke.exe" "$c/trelm/bin/"
cp "$build/bin/TRELM_CC.DLL" "$c/trelm/system/"
cp "$build/launcher/pellor.exe" "$build/outside/orm/orm.exe" "$build/outside/appready/appready.exe" \
  "$c/trelm/bin/"

# A desktop of Wine's own, so the windows get their frames and the minimised
# launcher shows as an icon.
desktop="explorer /desktop=Trelm,1024x768"
echo "starting ORM"
$loader $desktop 'c:\trelm\bin\orm.exe' '/record:c:\trelm\demo\orm-first.txt' &
sleep 3  # ORM's window must be up before Pellor looks for it
echo "starting Pellor (workstation 1 from ORM.INI, list LAUNCH.INI)"
(cd "$c" && exec $loader $desktop 'c:\trelm\bin\pellor.exe') &
# The desktop hands the program over and returns; Pellor itself is watched
# by its process name.
running() { pgrep -f 'trelm.bin.pellor.exe' >/dev/null; }

# The list reaches its last pause about a second after the wait entry's
# program reported ready.
for _ in $(seq 300); do
  grep -q after-wait "$c/trelm/demo/started.txt" 2>/dev/null && break
  sleep 0.1
done
sleep 2
shot=$demo/pellor-demo.png
import -window root "$shot"
echo "waiting for Pellor to finish its list (QuitWhenDone)"
sleep 1
for _ in $(seq 300); do running || break; sleep 0.1; done

echo
echo "programs started by the list, in order (name, time in ms, current directory):"
sed 's/^/  /' "$c/trelm/demo/started.txt" 2>/dev/null || echo "  (none)"
echo "what the first ORM received:"
sed 's/^/  /' "$c/trelm/demo/orm-first.txt" 2>/dev/null || echo "  (nothing)"
echo "what the fresh ORM received:"
sed 's/^/  /' "$c/trelm/demo/orm-fresh.txt" 2>/dev/null || echo "  (nothing)"
echo
echo "starting Varnet (channel 1, logs in c:\\trelm\\logs)"
$loader $desktop 'c:\trelm\bin\varnet.exe' &
# poke runs on the same desktop, waits for Varnet's window and posts to it.
poke() { $loader $desktop 'c:\trelm\bin\poke.exe' "$@" >/dev/null 2>&1 || true; sleep 1; }
for _ in $(seq 300); do [ -n "$(ls "$c"/trelm/logs/LOG_* 2>/dev/null)" ] && break; sleep 0.2; done
sleep 3
echo "sending 200 datagrams to channel 1 (20 a second)"
$loader 'c:\trelm\bin\nbtraffic.exe' send --channel 1 --rate 20 --count 200 >/dev/null 2>&1 &
traffic=$!
poke V3VARNET 0x111 1015   # Show, Heartbeats: on
poke V3VARNET 0x111 1011   # Configure, Device Filter
sleep 2
vshot=$demo/varnet-demo.png
import -window root "$vshot"
poke V3VARNET 0x111 1015   # and off again, so the sample stays as it was
wait $traffic || true
sleep 1
poke V3VARNET 0x111 765    # Packet: the hour's packet data file, record 1
packets=$(cd "$c/trelm/logs" && ls PKT_* 2>/dev/null | head -1)
poke --open-file "Open Packet File" "c:\\trelm\\logs\\$packets"
sleep 2
pshot=$demo/packet-demo.png
import -window root "$pshot"
poke V3VARNET 0x111 1001   # File, Exit
for _ in $(seq 150); do pgrep -f 'trelm.bin.varnet.exe' >/dev/null || break; sleep 0.2; done
records=$(($(cat "$c"/trelm/logs/PKT_* 2>/dev/null | wc -c) / 528))
echo "Varnet recorded $records of the 200 datagrams in its packet data file"
echo "Varnet's capture log:"
sed 's/^/  /' "$c"/trelm/logs/LOG_* 2>/dev/null | tr -d '\r' | tail -n 14

echo
echo "starting Mirvale on the sample installation (registry: tools/sample/netbios.reg)"
$loader reg import "$root/tools/sample/netbios.reg" >/dev/null 2>&1
/usr/lib/wine/wineserver -k 2>/dev/null || true  # so that system.reg is written
sleep 1
mshot=$demo/mirvale-demo.png
(cd "$c" && MC_ROOT='c:\trelm' MC_SYSTEM=system \
  "$root/build/native/lanatool/mirvale" >"$demo/mirvale.log" 2>&1) &
mirvale=$!
win=$(timeout 30 xdotool search --sync --name 'Set Trelm/Morvane Control LANA Number' | head -1) || true
sleep 1
import -window root "$mshot"
if [ -n "$win" ]; then
  eval "$(xdotool getwindowgeometry --shell "$win")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT * 7 / 10)) click 1 key Escape  # Cancel
fi
wait $mirvale || true

echo
echo "screenshots: $shot"
echo "             $vshot"
echo "             $pshot"
echo "             $mshot"
