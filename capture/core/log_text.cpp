#include "core/log_text.h"

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

bool IsUnusualEntry(const char* line) {
  return std::strlen(line) >= 3 && line[2] == ':' && std::strstr(line, " - ") != nullptr &&
         std::strchr(line, '[') == nullptr && std::strstr(line, "Net") == nullptr;
}

}  // namespace varnet
