#!/usr/bin/env bash
# Packages staged program files as the release's MSI and ZIP:
#
#   package.sh STAGE VERSION ARCH OUTDIR
#
# STAGE holds programs/ (the Programs feature, Mirvale's Qt DLLs and their
# licences: tools/release/stage.sh lays it out), testbench/ (our stand-ins)
# and sample/ (the sample installation's settings); ARCH is x86 (what
# ships) or x64. Writes OUTDIR/trelm-toolset-VERSION-ARCH.msi and .zip.
# The MSI is built by msitools' wixl from trelm-toolset.wxs; what wixl
# cannot express is then written into the database with msibuild: the
# bootstrap file (an IniFile table found by an AppSearch for an existing
# c:\trelm_config.ini, idt/), its components' conditions, VARNET.INI's
# retention keys from KEEPDAYS and MINFREEMB (IniFile rows in the
# configuration directory the programs will use: that of an existing
# bootstrap file, read by an IniLocator, else CONFIGDIR, else the Windows
# directory, set in that order of weight by three custom actions; each key
# written only where it is absent), the event-log sources of Pellor and
# Varnet (their Registry rows: EventMessageFile, REG_EXPAND_SZ, the
# installed .exe; TypesSupported 7; the key removed with the program), the
# sample
# settings' Permanent and NeverOverwrite attributes, the install location
# for Programs and Features (ARPINSTALLLOCATION), the Programs feature as
# compulsory (a feature list without it gets it added, so that
# ADDLOCAL=Logon or TestBench alone still installs the programs), and the
# upgrade's highest version as inclusive, so that a rebuild of a version
# replaces it instead of installing beside it.
# WIXL names another wixl than the one on the PATH.
set -euo pipefail
stage=$(cd "$1" && pwd) version=$2 arch=$3
mkdir -p "$4"
out=$(cd "$4" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
wixl=${WIXL:-wixl}
if ! command -v "$wixl" >/dev/null 2>&1 || ! command -v msibuild >/dev/null 2>&1; then
  echo "error: wixl and msibuild are needed (Debian packages wixl and msitools: tools/setup.sh installs them)" >&2
  exit 1
fi
case $arch in
  x64) win64=256 ;;
  x86) win64=0 ;;
  *) echo "error: the architecture is x86 or x64, not '$arch'" >&2; exit 2 ;;
esac

name=trelm-toolset-$version-$arch
for f in pellor.exe varnet.exe launchcheck.exe pktdump.exe mirvale.exe Qt6Core.dll platforms/qwindows.dll; do
  [ -f "$stage/programs/$f" ] || { echo "error: $stage/programs/$f is missing (tools/release/stage.sh lays it out)" >&2; exit 1; }
done
msi=$out/$name.msi
rm -f "$msi" "$out/$name.zip"

(cd "$stage" && "$wixl" -a "$arch" -D Version="$version" -D Arch="$arch" \
  -o "$msi.tmp" "$here/trelm-toolset.wxs")

# The bootstrap components are installed only where no bootstrap file was
# found, and removed (their registry record; never the file) by every
# uninstall, which would otherwise find the file and leave them behind.
# Permanent (16) and NeverOverwrite (128), beside the 64-bit flag wixl set.
settings=$((win64 + 16 + 128))
# MigrateFeatures (1) and VersionMaxInclusive (512): a rebuild of this
# version is an upgrade too. The Upgrade table's attributes are part of its
# key, so the row is written anew.
# A feature list given to a first install gets Programs, unless it is
# "ALL" (which only the whole value means) or names Programs already.
add_programs='ADDLOCAL AND NOT Installed AND ADDLOCAL ~<> "ALL" AND NOT (ADDLOCAL >< "Programs")'
upgrade_code=$(msiinfo export "$msi.tmp" Property | tr -d '\r' | awk -F'\t' '$1 == "UpgradeCode" { print $2 }')
[ -n "$upgrade_code" ] || { echo "error: no UpgradeCode in the MSI wixl wrote" >&2; exit 1; }
(cd "$here/idt" && msibuild "$msi.tmp" -i Signature.idt -i DrLocator.idt -i IniLocator.idt -i AppSearch.idt \
  -i IniFile.idt -i CustomAction.idt)
# The event-log sources: HKLM\SYSTEM\...\EventLog\Application\<source>,
# with the installed .exe as its own message file ("#%": REG_EXPAND_SZ) and
# the three types it reports ("#7": a DWORD); "-" removes the key, whatever
# else it came to hold, when the program is removed.
sources='SYSTEM\CurrentControlSet\Services\EventLog\Application'
event_source() {  # event_source NAME COMPONENT FILE
  echo "INSERT INTO Registry (Registry, Root, \`Key\`, Name, Value, Component_) VALUES ('EventSource$1File', 2, '$sources\\$1', 'EventMessageFile', '#%[#$3]', '$2')"
  echo "INSERT INTO Registry (Registry, Root, \`Key\`, Name, Value, Component_) VALUES ('EventSource$1Types', 2, '$sources\\$1', 'TypesSupported', '#7', '$2')"
  echo "INSERT INTO Registry (Registry, Root, \`Key\`, Name, Component_) VALUES ('EventSource$1Key', 2, '$sources\\$1', '-', '$2')"
}
mapfile -t source_rows < <(event_source Pellor Pellor pellor.exe; event_source Varnet Varnet varnet.exe)
for row in "${source_rows[@]}"; do msibuild "$msi.tmp" -q "$row"; done
msibuild "$msi.tmp" \
  -q "UPDATE Component SET Condition = '(NOT BOOTSTRAPFOUND AND CONFIGDIR) OR REMOVE~=\"ALL\"' WHERE Component = 'BootstrapConfig'" \
  -q "UPDATE Component SET Condition = '(NOT BOOTSTRAPFOUND AND SYSTEMDIR) OR REMOVE~=\"ALL\"' WHERE Component = 'BootstrapSystem'" \
  -q "UPDATE Component SET Condition = 'KEEPDAYS OR REMOVE~=\"ALL\"' WHERE Component = 'RetentionKeepDays'" \
  -q "UPDATE Component SET Condition = 'MINFREEMB OR REMOVE~=\"ALL\"' WHERE Component = 'RetentionMinFree'" \
  -q "UPDATE Component SET Attributes = $settings WHERE Component = 'SampleOrmIni'" \
  -q "UPDATE Component SET Attributes = $settings WHERE Component = 'SampleLaunchIni'" \
  -q "UPDATE Component SET Attributes = $settings WHERE Component = 'SampleVarnetIni'" \
  -q "INSERT INTO InstallUISequence (Action, Sequence) VALUES ('AppSearch', 50)" \
  -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('AppSearch', 50)" \
  -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('RetentionDirWindows', 51)" \
  -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('RetentionDirConfig', 'CONFIGDIR AND NOT BOOTSTRAPFOUND', 52)" \
  -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('RetentionDirBootstrap', 'BOOTSTRAPCONFIGDIR', 53)" \
  -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('WriteIniValues', 5100)" \
  -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('SetARPINSTALLLOCATION', 1001)" \
  -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('AddProgramsFeature', '$add_programs', 990)" \
  -q "INSERT INTO InstallUISequence (Action, Condition, Sequence) VALUES ('AddProgramsFeature', '$add_programs', 990)" \
  -q "UPDATE Feature SET Attributes = 16 WHERE Feature = 'Programs'" \
  -q "DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'" \
  -q "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty) VALUES ('$upgrade_code', '$version', 513, 'WIX_UPGRADE_DETECTED')" \
  -q "UPDATE Property SET Value = 'BOOTSTRAPCONFIGDIR;BOOTSTRAPFOUND;CONFIGDIR;KEEPDAYS;MINFREEMB;SYSTEMDIR;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE Property = 'SecureCustomProperties'"
# What was written, read back: a query msibuild could not run must not
# leave an MSI that installs beside its own rebuilds or without its programs.
rows() { msiinfo export "$msi.tmp" "$1" | tr -d '\r' | tail -n +4; }
# The settings kept by upgrades and removals, the one product entry per
# version, Programs with every install, and the files of programs/ all in
# the MSI.
rows Upgrade | awk -F'\t' -v v="$version" -v c="$upgrade_code" '$1 == c && $3 == v && $5 == 513 && $7 == "WIX_UPGRADE_DETECTED" { ok = 1 } END { exit !ok }' &&
  rows Component | awk -F'\t' -v a=$settings '$1 ~ /^Sample(Orm|Launch|Varnet)Ini$/ && $4 == a { n++ } END { exit n != 3 }' &&
  rows Component | awk -F'\t' '$1 ~ /^Bootstrap(Config|System)$/ && $5 ~ /^\(NOT BOOTSTRAPFOUND AND (CONFIG|SYSTEM)DIR\) OR REMOVE~="ALL"$/ { n++ } END { exit n != 2 }' &&
  rows Component | awk -F'\t' '($1 == "RetentionKeepDays" && $5 == "KEEPDAYS OR REMOVE~=\"ALL\"") || ($1 == "RetentionMinFree" && $5 == "MINFREEMB OR REMOVE~=\"ALL\"") { n++ } END { exit n != 2 }' &&
  [ "$(rows Registry | awk -F'\t' '$1 ~ /^EventSource(Pellor|Varnet)(File|Types|Key)$/' | wc -l)" = 6 ] &&
  rows Feature | awk -F'\t' '$1 == "Programs" && $8 == 16 { ok = 1 } END { exit !ok }' &&
  rows CustomAction | awk -F'\t' '$1 == "AddProgramsFeature" && $2 == 51 && $3 == "ADDLOCAL" { ok = 1 } END { exit !ok }' &&
  [ "$(rows InstallExecuteSequence | awk -F'\t' -v c="$add_programs" '($1 == "AddProgramsFeature" && $2 == c) || $1 ~ /^(SetARPINSTALLLOCATION|AppSearch|WriteIniValues|RetentionDir(Windows|Config|Bootstrap))$/' | wc -l)" = 7 ] &&
  diff <(cd "$stage/programs" && find . -type f -printf '%f\n' | sort) \
    <(rows File | awk -F'\t' '{ n = $3; sub(/.*\|/, "", n); print $2 "\t" n }' | sort |
      join -t $'\t' - <(rows FeatureComponents | awk -F'\t' '$1 == "Programs" { print $2 }' | sort) | cut -f2 | sort) >&2 ||
  { echo "error: the MSI's tables are not as package.sh writes them ($msi.tmp)" >&2; exit 1; }
mv "$msi.tmp" "$msi"

# The ZIP: the Programs feature's files, in a folder named as the release,
# and under testbench/ the Test bench's files as the MSI lays them out on a
# bench (never copied onto a workstation, which has the vendor's).
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/$name"
cp -r "$stage"/programs/. "$tmp/$name/"
bench=$tmp/$name/testbench
mkdir -p "$bench/trelm/bin" "$bench/trelm/system" "$bench/trelm/config" "$bench/trelm/demo"
cp "$stage"/testbench/{velknb32b,bwcc32}.dll "$bench/"
cp "$stage"/testbench/{orm,appready,lanacfg}.exe "$bench/trelm/bin/"
cp "$stage"/testbench/TRELM_CC.DLL "$bench/trelm/system/"
cp "$stage"/sample/*.INI "$bench/trelm/config/"
sed 's/$/\r/' >"$bench/README.txt" <<'EOF'
Test bench: our stand-ins for the vendor's libraries and ORM, for a bench
machine only. A workstation has the vendor's own: never copy these there.

On a bench, lay them out as the MSI's Test bench feature does:
  velknb32b.dll, bwcc32.dll   beside varnet.exe
  trelm\                      as C:\trelm (bin, system, config, demo;
                              a bench's own config\*.INI kept)
and write a C:\trelm_config.ini that names the sample installation:
  [Config]
  ConfigPath=c:\trelm\config
  SystemPath=c:\trelm\system
EOF
(cd "$tmp" && zip -q -X -r "$out/$name.zip" "$name")
echo "$msi"
echo "$out/$name.zip"
