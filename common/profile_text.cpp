#include "profile_text.h"

#include <cctype>
#include <sstream>

namespace trelm {

namespace {
std::string Trim(const std::string& s) {
  const std::size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return std::string();
  const std::size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}
}  // namespace

bool ProfileSameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool ProfileSectionLine(const std::string& line, std::string* name) {
  const std::string t = Trim(line);
  if (t.empty() || t[0] != '[') return false;
  const std::size_t close = t.find(']');
  if (name != nullptr) {
    *name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  }
  return true;
}

bool ProfileKeyLine(const std::string& line, std::string* key, std::string* value) {
  const std::size_t equals = line.find('=');
  if (equals == std::string::npos || ProfileSectionLine(line, nullptr)) return false;
  if (key != nullptr) *key = Trim(line.substr(0, equals));
  if (value != nullptr) *value = Trim(line.substr(equals + 1));
  return true;
}

std::string WithoutByteOrderMark(const std::string& text) {
  return text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? text.substr(3) : text;
}

bool ProfileLookup(const std::string& text, const std::string& section, const std::string& key,
                   std::string* value) {
  std::istringstream in(WithoutByteOrderMark(text));
  std::string line, name, found;
  bool inSection = false;
  while (std::getline(in, line)) {
    if (ProfileSectionLine(line, &name)) {
      // Only the first section of a name is read; one further down that
      // repeats the name is passed over, as Windows does.
      if (inSection) return false;
      inSection = ProfileSameName(name, section);
      continue;
    }
    if (!inSection || !ProfileKeyLine(line, &name, &found) || !ProfileSameName(name, key)) {
      continue;
    }
    if (found.size() >= 2 && ((found.front() == '"' && found.back() == '"') ||
                              (found.front() == '\'' && found.back() == '\''))) {
      found = found.substr(1, found.size() - 2);
    }
    *value = found;
    return true;
  }
  return false;
}

std::size_t ProfileText::ProfileRead(const char* section, const char* key, const char* fallback,
                                     char* out, std::size_t size, const char*) {
  std::string value;
  if (!ProfileLookup(text_, section, key, &value)) value = fallback;
  if (size == 0) return 0;
  const std::size_t n = value.size() < size - 1 ? value.size() : size - 1;
  value.copy(out, n);
  out[n] = '\0';
  return n;
}

}  // namespace trelm
