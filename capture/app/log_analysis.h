// What the Analyse command lists. Portable.
#pragma once

namespace varnet {

// A capture log line (its line end cut off) that is neither decoded
// traffic nor a network status line: a time stamp (':' as its third
// character), " - ", and neither "[" nor "Net".
bool IsUnusualEntry(const char* line);

}  // namespace varnet
