#!/usr/bin/env bash
# What other programs link by name: velknb32b.dll exports the nine wrapper
# functions and its counters undecorated, varnet.exe imports exactly the
# nine from it (the counters and arrival stamps it looks up at run time),
# and BWCCRegister from bwcc32.dll undecorated.
# Usage: exports.sh OBJDUMP velknb32b.dll varnet.exe
set -uo pipefail
objdump=$1 dll=$2 exe=$3
status=0
nine="NetAddGroupName NetCmdCode NetCopyName NetDeleteName NetNcbFree NetReceiveDG NetReset NetRetCode NetSendDG"

exports=$("$objdump" -p "$dll" |
  awk '/Ordinal\/Name Pointer/ {on=1; next} on && /^$/ {on=0} on {print $3}' | sort | xargs)
if [ "$exports" != "$nine VelknbArrival VelknbStats" ]; then
  echo "error: $(basename "$dll") exports '$exports'" >&2
  status=1
fi

imports=$("$objdump" -p "$exe")
# The import tables list "hint name" pairs under each "DLL Name:".
imported() {
  awk -v dll="$1" 'tolower($0) ~ "dll name: " dll {on=1; next} /DLL Name:/ {on=0}
    on && NF==3 && $2 ~ /^[0-9]+$/ {print $3}' <<<"$imports" | sort | xargs
}
used=$(imported velknb32b.dll)
if [ "$used" != "$nine" ]; then
  echo "error: $(basename "$exe") imports '$used' from velknb32b.dll" >&2
  status=1
fi
bwcc=$(imported bwcc32.dll)
if [ "$bwcc" != "BWCCRegister" ]; then
  echo "error: $(basename "$exe") imports '$bwcc' from bwcc32.dll" >&2
  status=1
fi
[ $status = 0 ] && echo "velknb32b.dll exports and varnet.exe imports are as linked by name"
exit $status
