#!/usr/bin/env bash
# Runs an end-to-end test with its standard error in a file that the test
# reads while it runs. Wine writes a program's debug output to the standard
# error it inherits from its parent (not to the parent's Windows handles),
# so the traces of the programs a test starts with WINEDEBUG set (for the
# event log: +eventlog, and fixme+advapi for each ReportEventA's ID and
# type) land there.
#
#   with_trace.sh FILE COMMAND...
#
# TRELM_TRACE names the file for the test. On the way out, what is not the
# event log's trace is passed on to this script's standard error, for the
# CTest log.
set -uo pipefail
trace=$1
shift
: >"$trace"
export TRELM_TRACE=$trace
"$@" 2>>"$trace"
status=$?
grep -v -E '^[0-9a-f]+:(fixme:advapi|trace:eventlog|warn:eventlog|err:eventlog):' "$trace" >&2
exit $status
