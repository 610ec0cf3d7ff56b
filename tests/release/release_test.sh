#!/usr/bin/env bash
# The release under Wine, in a prefix of its own: the x86 MSI and ZIP that
# tools/release/stage.sh and package.sh make from an x86 build's files
# (TRELM_RELEASE_BUILD; this build where it is x86), checked as files and
# installed, used, upgraded and removed as a fleet tool does it (msiexec
# /qn). Where Wine's 32-bit loader cannot run here (the wine64 path), the
# MSI is installed in a 64-bit prefix, as on a 64-bit Windows, and the steps
# that run the installed 32-bit programs are skipped, each saying so.
#
#   0. every EXE and DLL in the MSI and the ZIP is PE i386 and carries a
#      version resource; every DLL one imports is in the package, in
#      Windows or of the vendor's names; the MSI's rows for the event-log
#      sources and for VARNET.INI's retention keys;
#   1. install with every feature, CONFIGDIR and SYSTEMDIR: files (Mirvale
#      with its Qt DLLs), shortcuts, registry entries in the 32-bit view,
#      the event-log sources of Pellor and Varnet, install location,
#      bootstrap file where the README says;
#   2. the installed Varnet records 100 datagrams sent with nbtraffic, and
#      the installed Mirvale shows its dialog (32-bit Wine only);
#   3. a higher version installs over it in one step (given the same
#      features: Wine's msiexec does not carry them over as Windows does):
#      VARNET.INI, the logs and the bootstrap file unchanged; a rebuild of
#      that version replaces it, leaving one entry in Programs and Features;
#   4. uninstall: configuration and logs stay, nothing else of ours (the
#      event-log sources gone too);
#   5. a default install places no library of the vendor's names; CONFIGDIR
#      goes into a new bootstrap file, an existing one is left alone;
#      KEEPDAYS and MINFREEMB go into VARNET.INI [Retention] of the
#      configuration directory the programs will use, only where absent;
#      the log-on feature or the Test bench alone installs the programs;
#   6. the ZIP holds exactly the Programs feature's files, and the Test
#      bench's under testbench/.
#
# CTest gives the files and the version in the environment (see
# CMakeLists.txt): the helpers (version test, nbtraffic, poke) are of the
# build that runs here, TRELM_LOADER its loader. DISPLAY or the build's
# xvfb.display names the X server.
set -uo pipefail
export LC_ALL=C

version=$TRELM_VERSION build=$TRELM_BUILD_DIR release_build=$TRELM_RELEASE_BUILD
loader=$TRELM_LOADER
arch=x86
src=$(cd "$(dirname "$0")/../.." && pwd)
work=$build/release_test
objdump=i686-w64-mingw32-objdump
runs32=0
/usr/lib/wine/wine --version >/dev/null 2>&1 && runs32=1
if [ -z "${DISPLAY:-}" ] && [ -f "$build/xvfb.display" ]; then
  DISPLAY=$(cat "$build/xvfb.display")
  export DISPLAY
fi
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export VELKNB_BASEPORT=17600
c=$WINEPREFIX/drive_c
user=${USER:-$(id -un)}
failures=0 passes=0

ok() { echo "ok - $*"; passes=$((passes + 1)); }
fail() { echo "FAIL - $*"; failures=$((failures + 1)); }
skip() { echo "skip - $*"; }
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then ok "$what"; else fail "$what"; fi
}
win() { "$loader" "$@" </dev/null 2>/dev/null; }
# The value of a registry entry in the 32-bit programs' view, or nothing.
reg_value() {
  win reg query "$1" /v "$2" /reg:32 | tr -d '\r' | while IFS= read -r line; do
    line=${line#    }
    case $line in "$2    REG_"*) line=${line#"$2    REG_"*    }; echo "$line" ;; esac
  done
}
msiexec() {  # msiexec LOGNAME ARGS...: exit code of a silent msiexec
  local log=$1
  shift
  win msiexec "$@" /qn /l*v "$(winpath "$work/$log.log")"
}
winpath() { echo "Z:${1//\//\\}"; }
sums() { (cd "$1" && find . -type f | sort | xargs -r -d '\n' sha256sum); }
finish() {
  /usr/lib/wine/wineserver -k 2>/dev/null
  echo "$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
  exit
}
trap '/usr/lib/wine/wineserver -k 2>/dev/null' EXIT

# The MSIs and the ZIP, from the x86 build's files: this version, a rebuild
# of it, and the next one (same files, a higher ProductVersion) with its
# own rebuild.
rm -rf "$work"
mkdir -p "$work"
# Built first (nothing to do when the test command has just built them),
# then laid out and stripped as tools/release.sh does.
# (In the build that runs this test, the test command has built them.)
if [ "$release_build" != "$build" ]; then
  # shellcheck disable=SC2046
  cmake --build "$release_build" --target $(bash "$src/tools/release/stage.sh" --targets) >"$work/build.log" 2>&1 ||
    { tail -20 "$work/build.log"; fail "building the x86 programs in $release_build"; finish; }
fi
bash "$src/tools/release/stage.sh" "$release_build" "$work/stage" --strip >"$work/stage.log" 2>&1 ||
  { cat "$work/stage.log"; fail "staging the x86 build's files from $release_build"; finish; }
IFS=. read -r major minor patch <<<"$version"
next=$major.$minor.$((patch + 1))
for v in "$version:dist" "$next:next" "$next:rebuilt"; do
  bash "$src/tools/release/package.sh" "$work/stage" "${v%:*}" "$arch" "$work/${v#*:}" >/dev/null ||
    { fail "packaging ${v%:*}"; finish; }
done
msi=$(winpath "$work/dist/trelm-toolset-$version-$arch.msi")
msi_next=$(winpath "$work/next/trelm-toolset-$next-$arch.msi")
msi_rebuilt=$(winpath "$work/rebuilt/trelm-toolset-$next-$arch.msi")
zip=$work/dist/trelm-toolset-$version-$arch.zip
qt_version=$(sed -n 's/^TRELM_QT_VERSION:INTERNAL=//p' "$release_build/CMakeCache.txt")

echo "creating the Wine prefix $WINEPREFIX"
"$loader" wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -w
/usr/lib/wine/wineserver -p 2>/dev/null
win cmd /c exit >/dev/null
# Windows' own DLLs: the 32-bit programs' system folder (syswow64 in a
# 64-bit prefix) and system32, which names the same DLLs (syswow64 is empty
# where Wine has no 32-bit part).
system_dirs=("$c/windows/system32")
[ -d "$c/windows/syswow64" ] && system_dirs+=("$c/windows/syswow64")
[ $runs32 = 1 ] || echo "note: this machine runs no 32-bit Windows programs (no 32-bit Wine): the MSI goes into a 64-bit prefix, and the steps that run installed programs are skipped"

# 0. The package's files: all 32-bit, each with its version resource, and
# nothing imported from a DLL that a workstation would lack.
mkdir -p "$work/msi_files" "$work/zip_files"
(cd "$work/msi_files" && msiextract "$work/dist/trelm-toolset-$version-$arch.msi" >/dev/null)
unzip -q "$zip" -d "$work/zip_files"
mapfile -t binaries < <(find "$work/msi_files" "$work/zip_files" -type f \( -iname '*.exe' -o -iname '*.dll' \) | sort)
check "the MSI and the ZIP hold programs and libraries (${#binaries[@]})" [ "${#binaries[@]}" -ge 32 ]
# The machine field of the PE header: 0x14c is i386.
machine() {
  local pe
  pe=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  [ "$(head -c $((pe + 4)) "$1" | tail -c 4 | od -An -c | tr -d ' ')" = 'PE\0\0' ] || { echo none; return; }
  od -An -t x2 -j $((pe + 4)) -N 2 "$1" | tr -d ' '
}
not_i386=
for f in "${binaries[@]}"; do
  [ "$(machine "$f")" = 014c ] || not_i386+=" ${f#"$work"/}($(machine "$f"))"
done
check "every EXE and DLL in the MSI and the ZIP is PE i386 (machine 0x14c)${not_i386:+: not$not_i386}" [ -z "$not_i386" ]
# Every DLL a file imports: in the package, in Windows (the 32-bit system
# folder of the prefix) or one of the vendor's.
declare -A packaged=()
for f in "${binaries[@]}"; do n=$(basename "$f"); packaged[${n,,}]=1; done
unresolved=
command -v "$objdump" >/dev/null || fail "$objdump is missing: no import can be read"
for f in "${binaries[@]}"; do
  "$objdump" -p "$f" >"$work/imports.txt" 2>&1 && grep -q 'DLL Name: ' "$work/imports.txt" ||
    unresolved+=" $(basename "$f"):(no import table read)"
  while read -r dll; do
    l=${dll,,}
    [ -n "${packaged[$l]:-}" ] && continue
    case $l in velknb32b.dll|bwcc32.dll|trelm_cc.dll) continue ;; esac
    # An API set of Windows 8 and later (Qt 6's least Windows): the
    # loader resolves the name itself; there is no file of that name.
    case $l in api-ms-win-core-*.dll) continue ;; esac
    [ -n "$(find "${system_dirs[@]}" -maxdepth 1 -iname "$dll" -print -quit)" ] && continue
    unresolved+=" $(basename "$f"):$dll"
  done < <(sed -n 's/^[[:space:]]*DLL Name: //p' "$work/imports.txt" | tr -d '\r')
done
check "every DLL imported is in the package, in Windows or the vendor's${unresolved:+: not$unresolved}" [ -z "$unresolved" ]
# The version resources: ours carry the toolset's version (Pellor and
# Varnet their own file versions), Qt's its own.
version_of() {
  case $(basename "$1") in
    pellor.exe) echo "$TRELM_PELLOR_VERSION" ;;
    varnet.exe) echo "$TRELM_VARNET_VERSION" ;;
    Qt6*.dll|qwindows.dll|qwindowsvistastyle.dll) echo "third-party:$qt_version" ;;
    *) echo "$version" ;;
  esac
}
for f in "${binaries[@]}"; do printf '%s\t%s\t-\n' "$f" "$(version_of "$f")"; done >"$work/package_versions.txt"
versions_of_list() {  # versions_of_list LIST [--all]: the version test on the files listed
  local filter=--gtest_filter=VersionResource.EveryFileCarriesTheToolsetsVersion
  [ "${2:-}" = --all ] && filter=
  TRELM_VERSION_LIST="$1" "$loader" "$TRELM_VERSION_TESTS" $filter >"$work/versions.log" 2>&1 ||
    { grep -E 'Failure|Expected|Which is|error|Z:' "$work/versions.log" | head -20; return 1; }
}
check "every EXE and DLL in the MSI and the ZIP carries its version resource (Qt's: $qt_version)" \
  versions_of_list "$work/package_versions.txt"

# The rows package.sh writes for what wixl cannot: the event-log sources
# (with the installed .exe as a REG_EXPAND_SZ message file, "#%"; the types
# as a DWORD, "#7"; the key removed with the program, "-"), and VARNET.INI's
# retention keys with their conditions and the directory they go into.
msi_rows() { msiinfo export "$work/dist/trelm-toolset-$version-$arch.msi" "$1" | tr -d '\r' | tail -n +4; }
export EVENT_SOURCES='SYSTEM\CurrentControlSet\Services\EventLog\Application'
for s in Pellor:pellor.exe Varnet:varnet.exe; do
  check "MSI: the ${s%:*} event source, its message file [#${s#*:}] (REG_EXPAND_SZ), TypesSupported 7, removed with it" \
    [ "$(msi_rows Registry | NAME=${s%:*} EXE=${s#*:} awk -F'\t' '$2 == 2 && $3 == ENVIRON["EVENT_SOURCES"] "\\" ENVIRON["NAME"] &&
      $6 == ENVIRON["NAME"] && (($4 == "EventMessageFile" && $5 == "#%[#" ENVIRON["EXE"] "]") ||
      ($4 == "TypesSupported" && $5 == "#7") || ($4 == "-" && $5 == ""))' | wc -l)" = 3 ]
done
check "MSI: KeepDays and MinFreeMB into VARNET.INI [Retention] in RETENTIONDIR, only where absent (action 1)" \
  [ "$(msi_rows IniFile | awk -F'\t' '$2 == "VARNET.INI" && $3 == "RETENTIONDIR" && $4 == "Retention" && $7 == 1 &&
    (($5 == "KeepDays" && $6 == "[KEEPDAYS]" && $8 == "RetentionKeepDays") ||
     ($5 == "MinFreeMB" && $6 == "[MINFREEMB]" && $8 == "RetentionMinFree"))' | wc -l)" = 2 ]
check "MSI: each retention key only when its property is given" \
  [ "$(msi_rows Component | awk -F'\t' '($1 == "RetentionKeepDays" && $5 == "KEEPDAYS OR REMOVE~=\"ALL\"") ||
    ($1 == "RetentionMinFree" && $5 == "MINFREEMB OR REMOVE~=\"ALL\"")' | wc -l)" = 2 ]
check "MSI: RETENTIONDIR is the Windows directory, else CONFIGDIR, else the bootstrap file's ConfigPath, in that order" \
  [ "$(msi_rows InstallExecuteSequence | awk -F'\t' '($1 == "RetentionDirWindows" && $2 == "" && $3 == 51) ||
    ($1 == "RetentionDirConfig" && $2 == "CONFIGDIR AND NOT BOOTSTRAPFOUND" && $3 == 52) ||
    ($1 == "RetentionDirBootstrap" && $2 == "BOOTSTRAPCONFIGDIR" && $3 == 53)' | wc -l)" = 3 -a \
    "$(msi_rows IniLocator | awk -F'\t' '$2 == "C:\\trelm_config.ini" && $3 == "Config" && $4 == "ConfigPath" && $6 == 2 { print $1 }')" = BootstrapConfigDir -a \
    -n "$(msi_rows AppSearch | awk -F'\t' '$1 == "BOOTSTRAPCONFIGDIR" && $2 == "BootstrapConfigDir"')" ]

# 1. Every feature, for a sample installation in C:\trelm.
code=$(msiexec install /i "$msi" ADDLOCAL=Programs,Logon,TestBench 'CONFIGDIR=c:\trelm\config' \
  'SYSTEMDIR=c:\trelm\system'; echo $?)
check "silent install with every feature (exit $code)" [ "$code" = 0 ]
dir="$c/Program Files/Trelm Toolset"
if [ -d "$c/Program Files (x86)" ]; then
  dir="$c/Program Files (x86)/Trelm Toolset"
  check "a 64-bit Windows takes the x86 MSI into Program Files (x86)" [ -f "$dir/varnet.exe" ]
fi
for f in "$dir"/{pellor.exe,varnet.exe,launchcheck.exe,pktdump.exe,mirvale.exe,velknb32b.dll,bwcc32.dll} \
  "$dir"/{Qt6Core.dll,Qt6Gui.dll,Qt6Widgets.dll,platforms/qwindows.dll,styles/qwindowsvistastyle.dll} \
  "$dir"/licenses/{Qt-NOTICE.txt,Qt-LGPL-3.0-only.txt} \
  "$c"/trelm/bin/{orm.exe,appready.exe,lanacfg.exe} "$c/trelm/system/TRELM_CC.DLL" \
  "$c"/trelm/config/{ORM.INI,LAUNCH.INI,VARNET.INI}; do
  check "installed ${f#"$c"/}" [ -f "$f" ]
done
check "installed the folder the sample launch list writes to (trelm/demo)" [ -d "$c/trelm/demo" ]
check "the installed files are the staged ones" \
  diff <(sums "$work/stage/programs") <(sums "$dir" | grep -v -E '\./(velknb32b|bwcc32)\.dll$')
# Per machine: the common Start menu on Windows; Wine's msiexec takes the
# installing user's Programs folder for ProgramMenuFolder.
menu=
for m in "$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Trelm Toolset" \
  "$c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Trelm Toolset"; do
  [ -f "$m/Pellor.lnk" ] && menu=$m
done
check "Start-menu shortcuts Pellor, Varnet and Mirvale" [ -n "$menu" -a -f "$menu/Varnet.lnk" -a -f "$menu/Mirvale.lnk" ]
check "shortcut aims at the installed Pellor" grep -aq 'Trelm Toolset\\pellor.exe' "$menu/Pellor.lnk"
check "shortcut aims at the installed Mirvale" grep -aq 'Trelm Toolset\\mirvale.exe' "$menu/Mirvale.lnk"
installdir="C:\\$(echo "${dir#"$c"/}" | tr / '\\')\\"
check "registry (32-bit view): InstallDir $installdir" [ "$(reg_value 'HKLM\Software\Trelm\Toolset' InstallDir)" = "$installdir" ]
check "registry (32-bit view): Version $version" [ "$(reg_value 'HKLM\Software\Trelm\Toolset' Version)" = "$version" ]
check "registry (32-bit view): Pellor at log-on" \
  [ "$(reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' 'Trelm Pellor')" = "\"${installdir}pellor.exe\"" ]
# The event-log sources (HKLM\SYSTEM is one for 32- and 64-bit programs):
# each installed .exe is its own message file.
reg_entry() {  # reg_entry KEY NAME: "TYPE VALUE" of the entry, or nothing
  win reg query "$1" /v "$2" | tr -d '\r' | sed -n "s/^    $2    \(REG_[A-Z_]*\)    /\1 /p"
}
event_sources() {  # event_sources WHEN: the checks of both sources
  for s in Pellor:pellor.exe Varnet:varnet.exe; do
    check "$1: event source ${s%:*}: EventMessageFile REG_EXPAND_SZ ${installdir}${s#*:}" \
      [ "$(reg_entry "HKLM\\$EVENT_SOURCES\\${s%:*}" EventMessageFile)" = "REG_EXPAND_SZ ${installdir}${s#*:}" ]
    check "$1: event source ${s%:*}: TypesSupported REG_DWORD 7" \
      [ "$(reg_entry "HKLM\\$EVENT_SOURCES\\${s%:*}" TypesSupported)" = "REG_DWORD 0x7" ]
  done
}
event_sources "install"
uninstall_key_of() {
  echo "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$(msiinfo export "$1" Property |
    tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }')"
}
# The product codes Programs and Features lists under our name.
entries() {
  win reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /reg:32 | tr -d '\r' |
    grep -i '\\Uninstall\\' | while IFS= read -r key; do
      [ "$(reg_value "$key" DisplayName)" = "Trelm Toolset" ] && echo "${key##*\\}"
    done
}
uninstall_key=$(uninstall_key_of "$work/dist/trelm-toolset-$version-$arch.msi")
check "registered for Programs and Features as $version" [ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ]
check "Programs and Features shows the install location $installdir" \
  [ "$(reg_value "$uninstall_key" InstallLocation)" = "$installdir" ]
printf '[Config]\r\nConfigPath=c:\\trelm\\config\r\nSystemPath=c:\\trelm\\system\r\n' >"$work/bootstrap.expected"
check "bootstrap file c:\\trelm_config.ini from CONFIGDIR and SYSTEMDIR" \
  cmp -s "$c/trelm_config.ini" "$work/bootstrap.expected"
# Every installed program and library carries the version, read back from
# its resource; launchcheck and pktdump print it where 32-bit programs run.
printable=-
[ $runs32 = 1 ] && printable=
{
  for f in "$dir"/*.exe "$dir"/*.dll "$dir"/platforms/*.dll "$dir"/styles/*.dll \
    "$c/trelm/system/TRELM_CC.DLL" "$c"/trelm/bin/*.exe; do
    program=-
    case $(basename "$f") in launchcheck.exe|pktdump.exe) program=${printable:-$(basename "$f" .exe)} ;; esac
    printf '%s\t%s\t%s\n' "$(winpath "$f")" "$(version_of "$f")" "$program"
  done
} >"$work/installed_versions.txt"
if [ $runs32 = 1 ]; then
  check "installed files carry their versions; launchcheck and pktdump print it" \
    versions_of_list "$work/installed_versions.txt" --all
else
  check "installed files carry their versions" versions_of_list "$work/installed_versions.txt"
  skip "launchcheck and pktdump --version: the installed programs are 32-bit"
fi

# 2. The installed Varnet on the sample installation (channel 1, packets
# saved, logs in c:\trelm\logs): 100 datagrams from nbtraffic, then closed;
# and the installed Mirvale's dialog. Both are 32-bit programs.
if [ $runs32 = 1 ]; then
  (cd "$dir" && exec /usr/lib/wine/wine "${installdir}varnet.exe" </dev/null >/dev/null 2>&1) &
  varnet=$!
  started=
  for _ in $(seq 300); do
    grep -qs "Varnet started" "$c"/trelm/logs/LOG_* && { started=1; break; }
    sleep 0.2
  done
  check "installed Varnet started on the sample installation" [ -n "$started" ]
  sleep 1
  check "nbtraffic sent 100 datagrams" \
    win "$TRELM_NBTRAFFIC" send --channel 1 --mix --text 'D%03d' --count 100 --quiet
  records=0
  for _ in $(seq 150); do
    records=$(( $(cat "$c"/trelm/logs/PKT_* 2>/dev/null | wc -c) / 528 ))
    [ "$records" -ge 100 ] && break
    sleep 0.2
  done
  check "Varnet recorded 100 datagrams ($records)" [ "$records" = 100 ]
  win "$TRELM_POKE" V3VARNET 0x111 1001 >/dev/null
  for _ in $(seq 150); do kill -0 "$varnet" 2>/dev/null || break; sleep 0.2; done
  if kill -0 "$varnet" 2>/dev/null; then
    fail "Varnet closed"
    kill "$varnet"
  else
    wait "$varnet"
    check "Varnet closed with exit code 0" [ $? = 0 ]
  fi
  lines=$(cat "$c"/trelm/logs/LOG_* | tr -d '\r' | grep -c -E ' - (\[[0-9]{3}\] )?D[0-9]{3}$')
  check "its capture log has the 100 datagrams' lines ($lines)" [ "$lines" = 100 ]
  check "its capture log ends with the close" [ "$(cat "$c"/trelm/logs/LOG_* | tr -d '\r' | tail -1 | cut -d' ' -f3-)" = "Log Closed" ]

  (cd "$dir" && exec /usr/lib/wine/wine "${installdir}mirvale.exe" /silent </dev/null >/dev/null 2>&1) &
  mirvale=$!
  window=$(timeout 60 xdotool search --sync --name 'Set Trelm/Morvane Control LANA Number' 2>/dev/null | head -1)
  check "the installed Mirvale shows its dialog" [ -n "$window" ]
  [ -n "$window" ] && import -window root "$build/release-mirvale.png" 2>/dev/null
  kill "$mirvale" 2>/dev/null
  wait "$mirvale" 2>/dev/null
else
  skip "the installed Varnet recording 100 datagrams on the Test bench, and the installed Mirvale's dialog: they are 32-bit programs and this machine has no 32-bit Wine (Mirvale's Windows build runs end to end as a 64-bit program instead)"
  # The log and packet files the upgrade must keep, as Varnet leaves them.
  mkdir -p "$c/trelm/logs"
  printf '09:00:00 - Log Opened\r\n09:00:01 - Log Closed\r\n' >"$c/trelm/logs/LOG_20261209.09"
  head -c 528 /dev/zero >"$c/trelm/logs/PKT_20261209.09"
fi

# 3. The next version over it, as a fleet tool pushes it: the same feature
# list (Wine's msiexec does not carry feature states over by itself).
kept() { { sums "$c/trelm/config"; sums "$c/trelm/logs"; sha256sum <"$c/trelm_config.ini"; } >"$work/kept.$1"; }
# A setting of the site's own, which no upgrade may replace.
printf 'ShowHeartbeats=1\r\n' >>"$c/trelm/config/VARNET.INI"
kept before
code=$(msiexec upgrade /i "$msi_next" ADDLOCAL=Programs,Logon,TestBench; echo $?)
check "silent upgrade to $next (exit $code)" [ "$code" = 0 ]
check "upgrade: registry Version $next" [ "$(reg_value 'HKLM\Software\Trelm\Toolset' Version)" = "$next" ]
check "upgrade: the older product is gone" [ -z "$(reg_value "$uninstall_key" DisplayVersion)" ]
kept upgraded
check "upgrade: VARNET.INI, the logs and the bootstrap file unchanged" cmp -s "$work/kept.before" "$work/kept.upgraded"
check "upgrade: the Test bench and log-on features installed again" [ -f "$dir/velknb32b.dll" -a -f "$c/trelm/bin/orm.exe" \
  -a -n "$(reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' 'Trelm Pellor')" ]
code=$(msiexec downgrade /i "$msi"; echo $?)
check "an older MSI is refused over a newer one (exit $code)" [ "$code" != 0 ]
# A rebuild of the same version (a new product code) replaces it.
rebuilt_key=$(uninstall_key_of "$work/rebuilt/trelm-toolset-$next-$arch.msi")
check "a rebuild of $next has a product code of its own" [ "$rebuilt_key" != "$(uninstall_key_of "$work/next/trelm-toolset-$next-$arch.msi")" ]
code=$(msiexec rebuilt /i "$msi_rebuilt" ADDLOCAL=Programs,Logon,TestBench; echo $?)
check "silent install of a rebuilt $next over $next (exit $code)" [ "$code" = 0 ]
listed=$(entries)
check "one entry in Programs and Features after the rebuild, the rebuild's (${listed//$'\n'/, })" \
  [ "$(echo "$listed" | tr '[:lower:]' '[:upper:]')" = "$(echo "${rebuilt_key##*\\}" | tr '[:lower:]' '[:upper:]')" ]
check "the rebuild installed every feature again" [ -f "$dir/velknb32b.dll" -a -f "$dir/mirvale.exe" \
  -a -f "$dir/platforms/qwindows.dll" -a -n "$(reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' 'Trelm Pellor')" ]
kept rebuilt
check "the rebuild: VARNET.INI, the logs and the bootstrap file unchanged" cmp -s "$work/kept.before" "$work/kept.rebuilt"
event_sources "the rebuild"

# 4. Uninstall: the configuration and the logs stay, nothing else of ours.
code=$(msiexec uninstall /x "$msi_rebuilt"; echo $?)
check "silent uninstall (exit $code)" [ "$code" = 0 ]
kept uninstalled
check "uninstall: configuration, logs and bootstrap file unchanged" cmp -s "$work/kept.before" "$work/kept.uninstalled"
left=$( (cd "$c" && find trelm trelm_config.ini "Program Files/Trelm Toolset" "Program Files (x86)/Trelm Toolset" \
  ProgramData/Microsoft/Windows/Start\ Menu/Programs/Trelm\ Toolset \
  "users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Trelm Toolset" 2>/dev/null) |
  grep -v -E '^(trelm|trelm/config|trelm/config/(ORM|LAUNCH|VARNET)\.INI|trelm/logs|trelm/logs/(LOG|PKT)_[0-9]{8}\.[0-9]{2}|trelm/logs/ERRORLOG\.TXT|trelm_config\.ini)$')
check "uninstall: nothing else of ours on C: ${left:+(left: $left)}" [ -z "$left" ]
no_key() { ! win reg query "$1" /reg:32 >/dev/null; }
check "uninstall: no registry key of ours" no_key 'HKLM\Software\Trelm'
for source in Pellor Varnet; do
  check "uninstall: the event source $source is gone" no_key "HKLM\\$EVENT_SOURCES\\$source"
done
check "uninstall: gone from Programs and Features" [ -z "$(entries)" ]
check "uninstall: no log-on entry" [ -z "$(reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' 'Trelm Pellor')" ]

# 5. A default install with CONFIGDIR alone, where there is no bootstrap
# file: it is written with that key only; no library of the vendor's names.
mv "$c/trelm_config.ini" "$work/bootstrap.saved"
code=$(msiexec default /i "$msi" 'CONFIGDIR=d:\cfg'; echo $?)
check "default install with CONFIGDIR (exit $code)" [ "$code" = 0 ]
printf '[Config]\r\nConfigPath=d:\\cfg\r\n' >"$work/bootstrap.cfg"
check "CONFIGDIR written into a new bootstrap file" cmp -s "$c/trelm_config.ini" "$work/bootstrap.cfg"
libs=$( (cd "$c" && find . -iname velknb32b.dll -o -iname bwcc32.dll -o -iname trelm_cc.dll) | grep -v -i '/windows/')
check "default install places no library of the vendor's names ${libs:+($libs)}" [ -z "$libs" ]
check "default install: no log-on entry" [ -z "$(reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' 'Trelm Pellor')" ]
check "default install: Mirvale with its Qt" [ -f "$dir/mirvale.exe" -a -f "$dir/Qt6Widgets.dll" -a -f "$dir/styles/qwindowsvistastyle.dll" ]
code=$(msiexec remove /x "$msi"; echo $?)
check "uninstall of the default install (exit $code)" [ "$code" = 0 ]
printf '[Config]\r\nConfigPath=c:\\kept\r\nTempPath=c:\\kept\\temp\r\n' >"$c/trelm_config.ini"
cp "$c/trelm_config.ini" "$work/bootstrap.existing"
code=$(msiexec existing /i "$msi" 'CONFIGDIR=d:\other' 'SYSTEMDIR=d:\sys'; echo $?)
check "install with CONFIGDIR over an existing bootstrap file (exit $code)" [ "$code" = 0 ]
check "an existing bootstrap file left alone" cmp -s "$c/trelm_config.ini" "$work/bootstrap.existing"
code=$(msiexec last /x "$msi"; echo $?)
check "uninstall over an existing bootstrap file (exit $code)" [ "$code" = 0 ]
check "the existing bootstrap file outlives the uninstall" cmp -s "$c/trelm_config.ini" "$work/bootstrap.existing"
# VARNET.INI's retention keys from KEEPDAYS and MINFREEMB go into the
# configuration directory the programs will use (an existing bootstrap
# file's ConfigPath, else CONFIGDIR, else the Windows directory), each only
# when given and only where absent; an uninstall leaves them. (Installs
# without them leave VARNET.INI unchanged: the upgrades above.)
ini() {  # ini FILE SECTION KEY: the value, or <absent>
  { [ -f "$1" ] && tr -d '\r' <"$1"; } | awk -F= -v s="[$2]" -v k="$3" '
    /^\[/ { inside = ($0 == s) } inside && $1 == k { sub(/^[^=]*=/, ""); print; found = 1; exit }
    END { if (!found) print "<absent>" }'
}
mkdir -p "$c/kept"
printf '[Retention]\r\nKeepDays=30\r\n' >"$c/kept/VARNET.INI"
code=$(msiexec retention /i "$msi" 'CONFIGDIR=c:\other' KEEPDAYS=14 MINFREEMB=500; echo $?)
check "install with KEEPDAYS and MINFREEMB over an existing bootstrap file (exit $code)" [ "$code" = 0 ]
check "retention: MinFreeMB=500 in the bootstrap file's configuration directory" \
  [ "$(ini "$c/kept/VARNET.INI" Retention MinFreeMB)" = 500 ]
check "retention: a KeepDays already there is kept ($(ini "$c/kept/VARNET.INI" Retention KeepDays))" \
  [ "$(ini "$c/kept/VARNET.INI" Retention KeepDays)" = 30 ]
check "retention: nothing in CONFIGDIR when the bootstrap file names another directory" [ ! -e "$c/other" ]
code=$(msiexec retention-remove /x "$msi"; echo $?)
check "retention: uninstall (exit $code) leaves the keys" \
  [ "$code" = 0 -a "$(ini "$c/kept/VARNET.INI" Retention KeepDays),$(ini "$c/kept/VARNET.INI" Retention MinFreeMB)" = 30,500 ]
rm "$c/trelm_config.ini"
code=$(msiexec retention-configdir /i "$msi" 'CONFIGDIR=c:\retention\config' KEEPDAYS=7; echo $?)
check "install with CONFIGDIR and KEEPDAYS alone, no bootstrap file (exit $code)" [ "$code" = 0 ]
check "retention: KeepDays=7 in CONFIGDIR, made for it, and no MinFreeMB" \
  [ "$(ini "$c/retention/config/VARNET.INI" Retention KeepDays),$(ini "$c/retention/config/VARNET.INI" Retention MinFreeMB)" = "7,<absent>" ]
code=$(msiexec retention-configdir-remove /x "$msi"; echo $?)
check "uninstall (exit $code)" [ "$code" = 0 ]
rm "$c/trelm_config.ini"
code=$(msiexec retention-windows /i "$msi" MINFREEMB=250; echo $?)
check "install with MINFREEMB alone, no bootstrap file and no CONFIGDIR (exit $code)" [ "$code" = 0 ]
check "retention: MinFreeMB=250 in the Windows directory, the programs' default" \
  [ "$(ini "$c/windows/VARNET.INI" Retention MinFreeMB),$(ini "$c/windows/VARNET.INI" Retention KeepDays)" = "250,<absent>" ]
code=$(msiexec retention-windows-remove /x "$msi"; echo $?)
check "uninstall (exit $code)" [ "$code" = 0 ]
rm -f "$c/windows/VARNET.INI"
rm -rf "$c/kept" "$c/retention"
cp "$work/bootstrap.existing" "$c/trelm_config.ini"

# Each install below is a first one: nothing of ours is installed.
check "nothing of ours installed before the feature lists" [ -z "$(entries)" -a ! -e "$dir/pellor.exe" ]
# The log-on feature alone: the Pellor it starts comes with it.
code=$(msiexec logon /i "$msi" ADDLOCAL=Logon; echo $?)
check "install of the log-on feature alone (exit $code)" [ "$code" = 0 ]
check "the log-on feature alone installs the programs" [ -f "$dir/pellor.exe" -a -f "$dir/varnet.exe" -a -f "$dir/mirvale.exe" ]
check "the log-on entry starts the installed Pellor" \
  [ "$(reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' 'Trelm Pellor')" = "\"${installdir}pellor.exe\"" ]
code=$(msiexec logon-remove /x "$msi"; echo $?)
check "uninstall of the log-on install (exit $code)" [ "$code" = 0 ]
check "no log-on entry is left" [ -z "$(reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' 'Trelm Pellor')" ]
code=$(msiexec all /i "$msi" ADDLOCAL=ALL; echo $?)
check "install with ADDLOCAL=ALL (exit $code)" [ "$code" = 0 ]
check "ADDLOCAL=ALL installs every feature" [ -f "$dir/varnet.exe" -a -f "$dir/velknb32b.dll" -a -f "$c/trelm/bin/orm.exe" \
  -a -n "$(reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' 'Trelm Pellor')" ]
code=$(msiexec all-remove /x "$msi"; echo $?)
check "uninstall of the ADDLOCAL=ALL install (exit $code)" [ "$code" = 0 ]
code=$(msiexec bench /i "$msi" ADDLOCAL=TestBench; echo $?)
check "install of the Test bench alone (exit $code)" [ "$code" = 0 ]
check "the Test bench alone installs the programs too" [ -f "$dir/varnet.exe" -a -f "$dir/velknb32b.dll" -a -f "$dir/mirvale.exe" ]
code=$(msiexec bench-remove /x "$msi"; echo $?)
check "uninstall of the Test bench install (exit $code)" [ "$code" = 0 ]

# 6. The ZIP: the Programs feature's files, byte for byte, and under
# testbench/ the Test bench's files.
msi_table() { msiinfo export "$work/dist/trelm-toolset-$version-$arch.msi" "$1" | tr -d '\r' | tail -n +4; }
msi_table FeatureComponents | awk -F'\t' '{ print $2 "\t" $1 }' | sort >"$work/components.features"
msi_table File | awk -F'\t' '{ print $2 "\t" $3 }' | sed 's/\t.*|/\t/' | sort >"$work/components.files"
join -t $'\t' "$work/components.features" "$work/components.files" | cut -f2,3 >"$work/feature.files"
feature_files() { awk -F'\t' -v f="$1" '$1 == f { print $2 }' "$work/feature.files" | sort; }
feature_files Programs >"$work/programs.files"
root_name=trelm-toolset-$version-$arch
unzip -Z1 "$zip" | grep -v '/$' >"$work/zip.list"
grep -v "^$root_name/testbench/" "$work/zip.list" | sed 's|.*/||' | sort >"$work/zip.files"
check "the ZIP holds the Programs feature's files: $(tr '\n' ' ' <"$work/zip.files")" \
  diff "$work/programs.files" "$work/zip.files"
zip_sums() { (cd "$work/zip_files/$root_name" && find . -path ./testbench -prune -o -type f -print | sort | xargs -d '\n' sha256sum); }
msi_dir=$(find "$work/msi_files" -type d -name 'Trelm Toolset' -path '*Program Files*' | head -1)
check "the ZIP's program files are the MSI's, byte for byte" \
  diff <(zip_sums) <(sums "$msi_dir" | grep -v -E '\./(velknb32b|bwcc32)\.dll$')
feature_files TestBench >"$work/testbench.files"
grep "^$root_name/testbench/" "$work/zip.list" | grep -v '/README.txt$' | sed 's|.*/||' | sort >"$work/zip.testbench"
check "the ZIP's testbench/ holds the Test bench's files: $(tr '\n' ' ' <"$work/zip.testbench")" \
  diff "$work/testbench.files" "$work/zip.testbench"
check "the ZIP's testbench/ lays them out as the MSI does" [ -f "$work/zip_files/$root_name/testbench/velknb32b.dll" \
  -a -f "$work/zip_files/$root_name/testbench/trelm/system/TRELM_CC.DLL" -a -f "$work/zip_files/$root_name/testbench/trelm/bin/orm.exe" \
  -a -d "$work/zip_files/$root_name/testbench/trelm/demo" ]

finish
