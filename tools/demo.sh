#!/usr/bin/env bash
# The demo: sets up what is missing, builds the Windows programs, lays out a
# sample installation on the C: drive of a Wine prefix of its own, starts
# our ORM, then Pellor with DebugMode on. Pellor closes that ORM, waits for
# its closing report, and runs the list: a fresh ORM, a command entry, a
# pause, a directory entry, a wait entry answered by the ready-reporting
# program, one more command, and a last pause; QuitWhenDone ends it.
# A screenshot of the screen is saved while the last pause runs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

. tools/common.sh
prepare_windows_build
cmake --build --preset "$preset" --target pellor orm appready

demo=$build/demo
prefix=$demo/wineprefix
mkdir -p "$demo"
ensure_display "$demo/xvfb.display"
loader=$(wine_loader "$preset")
ensure_prefix "$loader" "$prefix"
export WINEPREFIX=$prefix

c=$prefix/drive_c
mkdir -p "$c/trelm/config" "$c/trelm/bin" "$c/trelm/demo"
rm -f "$c"/trelm/demo/*.txt
cp tools/sample/trelm_config.ini "$c/trelm_config.ini"
cp tools/sample/ORM.INI tools/sample/LAUNCH.INI "$c/trelm/config/"
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
echo "screenshot: $shot"
