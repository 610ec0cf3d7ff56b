#include "core/log_text.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace varnet {

bool LogDropsText(const char* text, bool showNxMessages) {
  return text[0] == 'N' && text[1] != '\0' && text[2] == ' ' &&
         !(text[1] == 'S' && showNxMessages);
}

void BlankFirstLineEnds(char* line) {
  for (char c : {'\n', '\r'}) {
    char* at = std::strchr(line, c);
    if (at != nullptr) *at = ' ';
  }
}

int FormatLogLine(char* line, std::size_t size, int hour, int minute, int second,
                  int hundredths, const char* text) {
  if (size == 0) return 0;
  const int n = std::snprintf(line, size, "%02d:%02d:%02d-%02d - %s", hour, minute, second,
                              hundredths, text);
  BlankFirstLineEnds(line);
  if (n < 0) return 0;
  return static_cast<std::size_t>(n) < size ? n : static_cast<int>(size - 1);
}

bool IsUnusualEntry(const char* line) {
  return std::strlen(line) >= 3 && line[2] == ':' && std::strstr(line, " - ") != nullptr &&
         IsUnusualText(line);
}

bool IsUnusualText(const char* text) {
  return std::strchr(text, '[') == nullptr && std::strstr(text, "Net") == nullptr;
}

}  // namespace varnet
