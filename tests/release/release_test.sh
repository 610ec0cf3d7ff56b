#!/usr/bin/env bash
# The release under Wine, in a prefix of its own: the MSI and the ZIP that
# tools/release/package.sh makes from this build's programs, installed,
# used, upgraded and removed as a fleet tool does it (msiexec /qn).
#
#   1. install with every feature, CONFIGDIR and SYSTEMDIR: files,
#      shortcuts, registry entries, bootstrap file where the README says;
#      every installed program and library carries the version;
#   2. the installed Varnet starts from its installed path on the sample
#      installation, records 100 datagrams sent with nbtraffic and closes;
#   3. a higher version installs over it in one step: VARNET.INI, the logs
#      and the bootstrap file unchanged, the features kept;
#   4. uninstall: configuration and logs stay, nothing else of ours;
#   5. a default install places no library of the vendor's names; CONFIGDIR
#      goes into a new bootstrap file, an existing one is left alone;
#   6. the ZIP holds exactly the Programs feature's files.
#
# CTest gives the built files and the version in the environment (see
# CMakeLists.txt); DISPLAY or the build's xvfb.display names the X server.
set -uo pipefail
export LC_ALL=C

version=$TRELM_VERSION arch=$TRELM_ARCH build=$TRELM_BUILD_DIR
src=$(cd "$(dirname "$0")/../.." && pwd)
work=$build/release_test
if [ "$arch" = x64 ]; then loader=/usr/lib/wine/wine64; else loader=/usr/lib/wine/wine; fi
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
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then ok "$what"; else fail "$what"; fi
}
win() { "$loader" "$@" </dev/null 2>/dev/null; }
# The value of a registry entry, or nothing.
reg_value() {
  win reg query "$1" /v "$2" | tr -d '\r' | while IFS= read -r line; do
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

# The MSIs and the ZIP, from this build's files: this version and the
# next one (same files, a higher ProductVersion) for the upgrade.
rm -rf "$work"
mkdir -p "$work/stage/programs" "$work/stage/testbench" "$work/stage/sample"
cp "$TRELM_PELLOR" "$TRELM_VARNET" "$TRELM_LAUNCHCHECK" "$work/stage/programs/"
cp "$TRELM_VELKNB" "$TRELM_BWCC" "$TRELM_CC" "$TRELM_ORM" "$TRELM_APPREADY" "$TRELM_LANACFG" \
  "$work/stage/testbench/"
cp "$src"/tools/sample/{ORM,LAUNCH,VARNET}.INI "$work/stage/sample/"
IFS=. read -r major minor patch <<<"$version"
next=$major.$minor.$((patch + 1))
for v in "$version:dist" "$next:next"; do
  bash "$src/tools/release/package.sh" "$work/stage" "${v%:*}" "$arch" "$work/${v#*:}" >/dev/null ||
    { fail "packaging ${v%:*}"; finish; }
done
msi=$(winpath "$work/dist/trelm-toolset-$version-$arch.msi")
msi_next=$(winpath "$work/next/trelm-toolset-$next-$arch.msi")
zip=$work/dist/trelm-toolset-$version-$arch.zip

echo "creating the Wine prefix $WINEPREFIX"
"$loader" wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -w
/usr/lib/wine/wineserver -p 2>/dev/null
win cmd /c exit >/dev/null

# 1. Every feature, for a sample installation in C:\trelm.
code=$(msiexec install /i "$msi" ADDLOCAL=Programs,Logon,TestBench 'CONFIGDIR=c:\trelm\config' \
  'SYSTEMDIR=c:\trelm\system'; echo $?)
check "silent install with every feature (exit $code)" [ "$code" = 0 ]
dir="$c/Program Files/Trelm Toolset"
[ "$arch" = x86 ] && [ -d "$c/Program Files (x86)" ] && dir="$c/Program Files (x86)/Trelm Toolset"
for f in "$dir"/{pellor.exe,varnet.exe,launchcheck.exe,velknb32b.dll,bwcc32.dll} \
  "$c"/trelm/bin/{orm.exe,appready.exe,lanacfg.exe} "$c/trelm/system/TRELM_CC.DLL" \
  "$c"/trelm/config/{ORM.INI,LAUNCH.INI,VARNET.INI}; do
  check "installed ${f#"$c"/}" [ -f "$f" ]
done
check "the installed files are the built ones" cmp -s "$TRELM_VARNET" "$dir/varnet.exe"
# Per machine: the common Start menu on Windows; Wine's msiexec takes the
# installing user's Programs folder for ProgramMenuFolder.
menu=
for m in "$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Trelm Toolset" \
  "$c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Trelm Toolset"; do
  [ -f "$m/Pellor.lnk" ] && menu=$m
done
check "Start-menu shortcuts Pellor and Varnet" [ -n "$menu" -a -f "$menu/Varnet.lnk" ]
check "shortcut aims at the installed Pellor" grep -aq 'Trelm Toolset\\pellor.exe' "$menu/Pellor.lnk"
installdir="C:\\$(echo "${dir#"$c"/}" | tr / '\\')\\"
check "registry: InstallDir $installdir" [ "$(reg_value 'HKLM\Software\Trelm\Toolset' InstallDir)" = "$installdir" ]
check "registry: Version $version" [ "$(reg_value 'HKLM\Software\Trelm\Toolset' Version)" = "$version" ]
check "registry: Pellor at log-on" \
  [ "$(reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' 'Trelm Pellor')" = "\"${installdir}pellor.exe\"" ]
uninstall_key_of() {
  echo "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$(msiinfo export "$1" Property |
    tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }')"
}
uninstall_key=$(uninstall_key_of "$work/dist/trelm-toolset-$version-$arch.msi")
check "registered for Programs and Features as $version" [ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ]
printf '[Config]\r\nConfigPath=c:\\trelm\\config\r\nSystemPath=c:\\trelm\\system\r\n' >"$work/bootstrap.expected"
check "bootstrap file c:\\trelm_config.ini from CONFIGDIR and SYSTEMDIR" \
  cmp -s "$c/trelm_config.ini" "$work/bootstrap.expected"
# Every installed program and library carries the version, read back from
# its resource; launchcheck prints it.
{
  printf '%s\t%s\t-\n' "$(winpath "$dir/pellor.exe")" "$TRELM_PELLOR_VERSION" \
    "$(winpath "$dir/varnet.exe")" "$TRELM_VARNET_VERSION"
  printf '%s\t%s\tlaunchcheck\n' "$(winpath "$dir/launchcheck.exe")" "$version"
  for f in "$dir/velknb32b.dll" "$dir/bwcc32.dll" "$c/trelm/system/TRELM_CC.DLL" "$c"/trelm/bin/*.exe; do
    printf '%s\t%s\t-\n' "$(winpath "$f")" "$version"
  done
} >"$work/installed_versions.txt"
installed_versions() {
  TRELM_VERSION_LIST="$work/installed_versions.txt" "$loader" "$TRELM_VERSION_TESTS" >"$work/versions.log" 2>&1 ||
    { grep -E 'Failure|Expected|Which is|error' "$work/versions.log" | head -20; return 1; }
}
check "installed files carry their versions and launchcheck prints it" installed_versions

# 2. The installed Varnet on the sample installation (channel 1, packets
# saved, logs in c:\trelm\logs): 100 datagrams from nbtraffic, then closed.
(cd "$dir" && exec "$loader" "C:\\Program Files\\Trelm Toolset\\varnet.exe" </dev/null >/dev/null 2>&1) &
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

# 3. The next version over it, as a fleet tool pushes it: the same feature
# list (Wine's msiexec does not carry feature states over by itself).
kept() { { sums "$c/trelm/config"; sums "$c/trelm/logs"; sha256sum <"$c/trelm_config.ini"; } >"$work/kept.$1"; }
kept before
code=$(msiexec upgrade /i "$msi_next" ADDLOCAL=Programs,Logon,TestBench; echo $?)
check "silent upgrade to $next (exit $code)" [ "$code" = 0 ]
check "upgrade: registry Version $next" [ "$(reg_value 'HKLM\Software\Trelm\Toolset' Version)" = "$next" ]
check "upgrade: the older product is gone" [ -z "$(reg_value "$uninstall_key" DisplayVersion)" ]
kept upgraded
check "upgrade: VARNET.INI, the logs and the bootstrap file unchanged" cmp -s "$work/kept.before" "$work/kept.upgraded"
check "upgrade: the Test bench and log-on features kept" [ -f "$dir/velknb32b.dll" -a -f "$c/trelm/bin/orm.exe" \
  -a -n "$(reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' 'Trelm Pellor')" ]
code=$(msiexec downgrade /i "$msi"; echo $?)
check "an older MSI is refused over a newer one (exit $code)" [ "$code" != 0 ]

# 4. Uninstall: the configuration and the logs stay, nothing else of ours.
code=$(msiexec uninstall /x "$msi_next"; echo $?)
check "silent uninstall (exit $code)" [ "$code" = 0 ]
kept uninstalled
check "uninstall: configuration, logs and bootstrap file unchanged" cmp -s "$work/kept.before" "$work/kept.uninstalled"
left=$( (cd "$c" && find trelm trelm_config.ini "Program Files/Trelm Toolset" "Program Files (x86)/Trelm Toolset" \
  ProgramData/Microsoft/Windows/Start\ Menu/Programs/Trelm\ Toolset \
  "users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Trelm Toolset" 2>/dev/null) |
  grep -v -E '^(trelm|trelm/config|trelm/config/(ORM|LAUNCH|VARNET)\.INI|trelm/logs|trelm/logs/(LOG|PKT)_[0-9]{8}\.[0-9]{2}|trelm/logs/ERRORLOG\.TXT|trelm_config\.ini)$')
check "uninstall: nothing else of ours on C: ${left:+(left: $left)}" [ -z "$left" ]
no_key() { ! win reg query "$1" >/dev/null; }
check "uninstall: no registry key of ours" no_key 'HKLM\Software\Trelm'
check "uninstall: gone from Programs and Features" \
  [ -z "$(reg_value "$(uninstall_key_of "$work/next/trelm-toolset-$next-$arch.msi")" DisplayVersion)" ]
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
code=$(msiexec remove /x "$msi"; echo $?)
check "uninstall of the default install (exit $code)" [ "$code" = 0 ]
printf '[Config]\r\nConfigPath=c:\\kept\r\nTempPath=c:\\kept\\temp\r\n' >"$c/trelm_config.ini"
cp "$c/trelm_config.ini" "$work/bootstrap.existing"
code=$(msiexec existing /i "$msi" 'CONFIGDIR=d:\other' 'SYSTEMDIR=d:\sys'; echo $?)
check "install with CONFIGDIR over an existing bootstrap file (exit $code)" [ "$code" = 0 ]
check "an existing bootstrap file left alone" cmp -s "$c/trelm_config.ini" "$work/bootstrap.existing"
msiexec last /x "$msi" >/dev/null
check "the existing bootstrap file outlives the uninstall" cmp -s "$c/trelm_config.ini" "$work/bootstrap.existing"

# 6. The ZIP: exactly the files of the Programs feature, byte for byte.
msiinfo export "$work/dist/trelm-toolset-$version-$arch.msi" FeatureComponents | tr -d '\r' |
  awk -F'\t' '$1 == "Programs" { print $2 }' | sort >"$work/programs.components"
msiinfo export "$work/dist/trelm-toolset-$version-$arch.msi" File | tr -d '\r' | tail -n +4 |
  awk -F'\t' '{ print $2 "\t" $3 }' | sort >"$work/files"
join -t $'\t' -1 1 -2 1 "$work/programs.components" "$work/files" | cut -f2 | sed 's/.*|//' | sort >"$work/programs.files"
unzip -Z1 "$zip" | grep -v '/$' | sed 's|^[^/]*/||' | sort >"$work/zip.files"
check "the ZIP holds the Programs feature's files: $(tr '\n' ' ' <"$work/zip.files")" \
  diff "$work/programs.files" "$work/zip.files"
rm -rf "$work/unzipped" && mkdir "$work/unzipped" && unzip -q "$zip" -d "$work/unzipped"
check "the ZIP's files are the MSI's" diff <(sums "$work/unzipped/trelm-toolset-$version-$arch") <(sums "$work/stage/programs")

finish
