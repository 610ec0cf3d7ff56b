// Decimal numbers as the profile readers take them. Portable.
#pragma once

#include <cstdint>

namespace trelm {

// The first character after white space, and the first white space (or
// the end) after a word, as the scan patterns " %d" and "%s" skip them.
const char* SkipBlanks(const char* text);
const char* SkipWord(const char* text);

// Scans like "%d": skips leading white space, reads an optional sign and
// decimal digits. Returns false (value untouched) if no number begins
// there. Out-of-range numbers are clamped to the 32-bit range.
bool ScanInt(const char* text, std::int32_t& value, const char** end = nullptr);

// The profile value as a number: a text without digits gives 0.
std::int32_t ToInt(const char* text);

}  // namespace trelm
