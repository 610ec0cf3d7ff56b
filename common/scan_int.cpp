#include "scan_int.h"

#include <cctype>
#include <climits>

namespace trelm {

const char* SkipBlanks(const char* text) {
  while (*text != '\0' && std::isspace(static_cast<unsigned char>(*text))) ++text;
  return text;
}

const char* SkipWord(const char* text) {
  while (*text != '\0' && !std::isspace(static_cast<unsigned char>(*text))) ++text;
  return text;
}

bool ScanInt(const char* text, std::int32_t& value, const char** end) {
  const char* p = SkipBlanks(text);
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  std::int64_t n = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) {
    if (n <= static_cast<std::int64_t>(INT_MAX) + 1) n = n * 10 + (*p - '0');
    ++p;
  }
  if (negative) n = -n;
  if (n > INT_MAX) n = INT_MAX;
  if (n < INT_MIN) n = INT_MIN;
  value = static_cast<std::int32_t>(n);
  if (end != nullptr) *end = p;
  return true;
}

std::int32_t ToInt(const char* text) {
  std::int32_t value = 0;
  ScanInt(text, value);
  return value;
}

}  // namespace trelm
