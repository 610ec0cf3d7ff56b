// What the wrapper writes down: reports for the operator (the report file
// and the debugger) and, as a test aid, the trace file.
// Internal to velknb32b.dll.
#pragma once

#include <windows.h>

namespace velknb::dll {

// A line in the trace file (VELKNB_TRACE), printf style; none without one.
void Trace(const char* format, ...);
// A NetBIOS return code in words.
const char* ReturnCodeText(UCHAR code);
// A dated line in the report file (or, failing that, the temporary
// directory's VELKNB.LOG) and to the debugger. Takes the lock itself.
void Report(const char* text);

}  // namespace velknb::dll
