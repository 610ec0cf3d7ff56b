#!/usr/bin/env bash
# Packages staged program files as the release's MSI and ZIP:
#
#   package.sh STAGE VERSION ARCH OUTDIR
#
# STAGE holds programs/ (the Programs feature: also the ZIP), testbench/
# (our stand-ins) and sample/ (the sample installation's settings); ARCH is
# x86 or x64. Writes OUTDIR/trelm-toolset-VERSION-ARCH.msi and .zip.
# The MSI is built by msitools' wixl from trelm-toolset.wxs; what wixl
# cannot express is then written into the database with msibuild: the
# bootstrap file (an IniFile table found by an AppSearch for an existing
# c:\trelm_config.ini, idt/), its components' conditions, and the sample
# settings' Permanent and NeverOverwrite attributes.
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
mirvale=0
[ -f "$stage/programs/mirvale.exe" ] && mirvale=1
msi=$out/$name.msi
rm -f "$msi" "$out/$name.zip"

(cd "$stage" && "$wixl" -a "$arch" -D Version="$version" -D Arch="$arch" -D HaveMirvale=$mirvale \
  -o "$msi.tmp" "$here/trelm-toolset.wxs")

# The bootstrap components are installed only where no bootstrap file was
# found, and removed (their registry record; never the file) by every
# uninstall, which would otherwise find the file and leave them behind.
# Permanent (16) and NeverOverwrite (128), beside the 64-bit flag wixl set.
settings=$((win64 + 16 + 128))
(cd "$here/idt" && msibuild "$msi.tmp" -i Signature.idt -i DrLocator.idt -i AppSearch.idt -i IniFile.idt)
msibuild "$msi.tmp" \
  -q "UPDATE Component SET Condition = '(NOT BOOTSTRAPFOUND AND CONFIGDIR) OR REMOVE~=\"ALL\"' WHERE Component = 'BootstrapConfig'" \
  -q "UPDATE Component SET Condition = '(NOT BOOTSTRAPFOUND AND SYSTEMDIR) OR REMOVE~=\"ALL\"' WHERE Component = 'BootstrapSystem'" \
  -q "UPDATE Component SET Attributes = $settings WHERE Component = 'SampleOrmIni'" \
  -q "UPDATE Component SET Attributes = $settings WHERE Component = 'SampleLaunchIni'" \
  -q "UPDATE Component SET Attributes = $settings WHERE Component = 'SampleVarnetIni'" \
  -q "INSERT INTO InstallUISequence (Action, Sequence) VALUES ('AppSearch', 50)" \
  -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('AppSearch', 50)" \
  -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('WriteIniValues', 5100)" \
  -q "UPDATE Property SET Value = 'BOOTSTRAPFOUND;CONFIGDIR;SYSTEMDIR;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE Property = 'SecureCustomProperties'"
mv "$msi.tmp" "$msi"

# The ZIP: the Programs feature's files, in a folder named as the release.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/$name"
cp "$stage"/programs/* "$tmp/$name/"
(cd "$tmp" && zip -q -X -r "$out/$name.zip" "$name")
echo "$msi"
echo "$out/$name.zip"
