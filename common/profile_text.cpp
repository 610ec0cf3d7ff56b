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

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}
}  // namespace

bool ProfileLookup(const std::string& text, const std::string& section, const std::string& key,
                   std::string* value) {
  std::istringstream in(text);
  std::string line;
  bool inSection = false;
  while (std::getline(in, line)) {
    const std::string t = Trim(line);
    if (!t.empty() && t[0] == '[') {
      const std::size_t close = t.find(']');
      inSection = SameText(Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1)), section);
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!inSection || equals == std::string::npos) continue;
    if (!SameText(Trim(line.substr(0, equals)), key)) continue;
    std::string v = Trim(line.substr(equals + 1));
    if (v.size() >= 2 && ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\''))) {
      v = v.substr(1, v.size() - 2);
    }
    *value = v;
    return true;
  }
  return false;
}

}  // namespace trelm
