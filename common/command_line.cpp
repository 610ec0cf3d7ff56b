// The command line's shared parts: the form of a usage error, the usage
// lines, what an option word is and why one is refused.
#include "command_line.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace trelm {

int UsageError(const CommandLine& line, const std::string& why, std::FILE* err) {
  std::fprintf(err, "%s: %s%s\n", line.program, why.c_str(), line.hint);
  if (line.usage != nullptr) std::fputs(line.usage, err);
  return 2;
}

std::string UsageLines(const char* program, const std::vector<const char*>& lines) {
  std::string text;
  for (const char* l : lines) {
    text += (text.empty() ? "usage: " : "       ") + std::string(program) + " " + l + "\n";
  }
  return text;
}

bool IsOption(const std::string& word) {
  return word.size() > 1 && word[0] == '-' && !std::isdigit(static_cast<unsigned char>(word[1]));
}

bool Listed(const char* list, const std::string& word) {
  // Word by word: a word that holds blanks is never two of the list's.
  for (const char* at = list; at != nullptr && *at != '\0';) {
    const char* end = std::strchr(at, ' ');
    const std::size_t size = end != nullptr ? static_cast<std::size_t>(end - at) : std::strlen(at);
    if (size != 0 && word.size() == size && word.compare(0, size, at, size) == 0) return true;
    at = end != nullptr ? end + 1 : nullptr;
  }
  return false;
}

std::string OptionRefusal(const std::string& word, bool known, const char* mode,
                          const char* modeOptions, bool givenAgain) {
  if (!known) return "unknown option " + word;
  if (modeOptions != nullptr && !Listed(modeOptions, word)) return word + " is not an option of " + mode;
  if (givenAgain) return word + " is given twice";
  return std::string();
}

bool WholeNumber(const std::string& text, long long min, long long max, long long* value) {
  if (text.empty() || text.find_first_not_of("0123456789-+") != std::string::npos) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || v < min || v > max) return false;
  *value = v;
  return true;
}

}  // namespace trelm
