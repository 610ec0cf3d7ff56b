// Small helpers shared by our outside programs (Win32).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace outside {

// Splits a command line at blanks; "quoted words" may hold blanks.
std::vector<std::string> SplitArgs(const char* commandLine);

// Appends one line (CR LF added) to file, creating it if needed; the file
// is closed at once so that another process can read it.
void AppendLine(const std::string& file, const std::string& line);

// Milliseconds since 1601 by the system clock, for stamps compared across
// processes.
long long NowMs();

}  // namespace outside
