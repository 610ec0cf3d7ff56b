// The capture log's text rules: how a decoded text becomes a line of the
// log (pktdump prints its decodes by the same rules), and which lines
// Analyse lists. Portable.
#pragma once

#include <cstddef>

namespace varnet {

// An "N" series text ("N? ...") is dropped unless it is an "NS" text and
// N messages are shown.
bool LogDropsText(const char* text, bool showNxMessages);
// The first line feed and then the first carriage return become blanks.
void BlankFirstLineEnds(char* line);

// The capture log's line of a text written at that time of day:
// "HH:MM:SS-hh - text", its first line feed and carriage return blanked.
// Returns its length (cut to fit size).
int FormatLogLine(char* line, std::size_t size, int hour, int minute, int second,
                  int hundredths, const char* text);

// A capture log line (its line end cut off) that is neither decoded
// traffic nor a network status line: a time stamp (':' as its third
// character), " - ", and a text that IsUnusualText takes.
bool IsUnusualEntry(const char* line);
// A text with neither "[" (decoded traffic) nor "Net" (the network's
// status) anywhere in it: an entry Analyse lists.
bool IsUnusualText(const char* text);

}  // namespace varnet
