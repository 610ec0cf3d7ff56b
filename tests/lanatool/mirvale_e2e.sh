#!/usr/bin/env bash
# Mirvale end to end: the real mirvale on the X display, against a Wine
# prefix whose registry was filled with "wine reg import" (the Wine server
# is then stopped, so that system.reg is written). A row is chosen with the
# keyboard and OK pressed (Enter); the five places are read back with
# Wine's own GetPrivateProfileIntA. Then again with /uselanacfg and our
# lanacfg.exe on the PATH. A screenshot of the dialog is kept.
# MIRVALE is the Linux program (its platform layer reads the prefix) or the
# Windows one, mirvale.exe (run by WINE_LOADER; the real registry and
# profile functions), with lanacfg from LANACFG_DIR either way.
#   mirvale_e2e.sh MIRVALE LANACFG_DIR WINE_LOADER PREFIX READER SHOT_DIR
set -euo pipefail
mirvale=$1 lanacfg_dir=$2 loader=$3 prefix=$4 reader=$5 shots=$6
here=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX=$prefix WINEDEBUG=-all
c=$prefix/drive_c
fail=0
check() { if [ "$2" != "$3" ]; then echo "FAIL: $1: '$2', expected '$3'"; fail=1; else echo "ok: $1 = $2"; fi; }

windows=0
[[ $mirvale == *.exe ]] && windows=1
"$loader" reg import "$here/tools/sample/netbios.reg" >/dev/null 2>&1
if [ $windows = 0 ]; then
  # The Linux reader reads system.reg, which the server writes as it ends:
  # wait for it to end (-w returns at once when none runs).
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  timeout 30 /usr/lib/wine/wineserver -w || true
fi
mkdir -p "$c/mvcfg" "$c/mvroot/sys1/config/system"
printf '[Config]\r\nConfigPath=c:\\mvcfg\r\n' >"$c/trelm_config.ini"
# Each place gone, whatever the case of its name: Windows' profile functions
# find a file in any case, and write a new one in the case they are given.
for f in "$c/mvcfg/orm.ini" "$c/windows/velk_nbif.ini" "$c/windows/velk2nbif.ini" \
  "$c/mvroot/sys1/config/system/trelm_system.ini" "$c/mvroot/local_settings.ini"; do
  find "$(dirname "$f")" -maxdepth 1 -iname "$(basename "$f")" -delete
done
printf '[NetBIOS]\r\nAdaptor=9\r\n' >"$c/windows/velk_nbif.ini"

# Runs mirvale, waits for its dialog, shoots it, chooses row n (Home, then
# Down) and presses Enter; prints the exit code.
run() {
  local row=$1 shot=$2
  shift 2
  if [ $windows = 1 ]; then
    MC_ROOT='c:\mvroot' MC_SYSTEM=sys1 WINEPATH="Z:${lanacfg_dir//\//\\}" \
      "$loader" "$mirvale" /silent "$@" </dev/null >/dev/null 2>&1 &
  else
    MC_ROOT='c:\mvroot' MC_SYSTEM=sys1 PATH="$lanacfg_dir:$PATH" \
      "$mirvale" /silent "$@" &
  fi
  local pid=$!
  local win
  win=$(timeout 30 xdotool search --sync --name 'Set Trelm/Morvane Control LANA Number' | head -1) || true
  if [ -z "$win" ]; then echo "FAIL: no Mirvale window"; kill $pid 2>/dev/null; return 1; fi
  # Rows from lanacfg arrive when it ends (Mirvale starts it before its
  # window shows): wait, up to 10 s, until no lanacfg runs.
  for _ in $(seq 100); do pgrep -x 'lanacfg|lanacfg.exe' >/dev/null || break; sleep 0.1; done
  import -window root "$shot"
  # A click on the list below its rows makes the window active (there is no
  # window manager); then the keys a user would press.
  eval "$(xdotool getwindowgeometry --shell "$win")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT * 7 / 10)) click 1
  sleep 0.3
  xdotool key Home
  for _ in $(seq $((row - 1))); do sleep 0.2; xdotool key Down; done
  sleep 0.2
  xdotool key Return
  local code=0
  wait $pid || code=$?
  echo $code
}

read_place() { "$loader" "$reader" --read "$1" "$2" "$3" 2>/dev/null | tr -d '\r'; }

# The dialog shows the values read at start: velk_nbif.ini holds 9.
code=$(run 2 "$shots/mirvale-e2e.png")
check "exit code" "$code" 0
# The rows are 3, 5 and 8 (the invalid, the dial-out and the unmatched
# bindings give none): the second row is LANA 5.
check "orm.ini" "$(read_place 'c:\mvcfg\orm.ini' Network DefaultAdaptor)" 5
check "velk_nbif.ini" "$(read_place velk_nbif.ini NetBIOS Adaptor)" 5
check "velk2nbif.ini" "$(read_place velk2nbif.ini NetBIOS Adaptor)" 5
check "trelm_system.ini" "$(read_place 'c:\mvroot\sys1\config\system\trelm_system.ini' Network DefaultAdaptor)" 5
check "local_settings.ini" "$(read_place 'c:\mvroot\local_settings.ini' Network DefaultAdaptor)" 5

# With lanacfg: its sample gives LANA 0, 1 and 2 (the dial-out path none);
# ORM.INI now holds 5, which no row has, so nothing is preselected.
code=$(run 3 "$shots/mirvale-lanacfg-e2e.png" /uselanacfg)
check "exit code with /uselanacfg" "$code" 0
check "orm.ini after lanacfg" "$(read_place 'c:\mvcfg\orm.ini' Network DefaultAdaptor)" 2
check "local_settings.ini after lanacfg" "$(read_place 'c:\mvroot\local_settings.ini' Network DefaultAdaptor)" 2
exit $fail
