// The tests' own reader of a metrics file, strict where a scraper is: the
// text ends with a line feed; each family starts with "# HELP name text"
// then "# TYPE name counter|gauge", once; its samples follow, named as the
// family, with label values quoted and escaped ("\\", "\"", "\n" only),
// each sample once, each value a whole float. Used natively and under Wine.
#pragma once

#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace prom_text {

struct Scrape {
  std::vector<std::string> families;          // in order
  std::map<std::string, std::string> types;   // family -> "counter" or "gauge"
  std::map<std::string, std::string> helps;   // family -> help, unescaped
  // "name" or "name{label=value}" (the value unescaped, not quoted) -> value
  std::map<std::string, double> samples;
  std::string error;  // the first fault, with its line; empty when it parsed
  bool Has(const std::string& key) const { return samples.count(key) != 0; }
  double At(const std::string& key) const {
    auto it = samples.find(key);
    return it == samples.end() ? -1.0 : it->second;
  }
};

inline bool NameChar(char c, bool first) {
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
  return letter || (!first && c >= '0' && c <= '9');
}

// A name at text[at]; at is moved past it. Empty when none starts there.
inline std::string Name(const std::string& text, std::size_t& at) {
  const std::size_t from = at;
  while (at < text.size() && NameChar(text[at], at == from)) ++at;
  return text.substr(from, at - from);
}

// The labels "{a="x",b="y"}" at text[at] into key ("{a=x,b=y}"); false
// when they do not parse.
inline bool Labels(const std::string& text, std::size_t& at, std::string& key) {
  key += '{';
  ++at;
  for (bool first = true;; first = false) {
    if (at < text.size() && text[at] == '}') break;
    if (!first) {
      if (at >= text.size() || text[at] != ',') return false;
      ++at;
      key += ',';
    }
    const std::string label = Name(text, at);
    if (label.empty() || text.compare(at, 2, "=\"") != 0) return false;
    at += 2;
    key += label + "=";
    for (;; ++at) {
      if (at >= text.size()) return false;
      const char c = text[at];
      if (c == '"') break;
      if (c == '\\') {
        const char next = at + 1 < text.size() ? text[at + 1] : '\0';
        if (next == 'n') {
          key += '\n';
        } else if (next == '\\' || next == '"') {
          key += next;
        } else {
          return false;
        }
        ++at;
      } else {
        key += c;
      }
    }
    ++at;
  }
  ++at;
  key += '}';
  return true;
}

inline std::string Unescape(const std::string& help) {
  std::string out;
  for (std::size_t i = 0; i < help.size(); ++i) {
    if (help[i] == '\\' && i + 1 < help.size() && (help[i + 1] == 'n' || help[i + 1] == '\\')) {
      out += help[i + 1] == 'n' ? '\n' : '\\';
      ++i;
    } else {
      out += help[i];
    }
  }
  return out;
}

inline bool Value(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size();
}

// One line of the text into the scrape; false with scrape.error set.
inline bool Line(const std::string& line, Scrape& s, std::string& family, int& stage) {
  if (line.rfind("# HELP ", 0) == 0) {
    std::size_t at = 7;
    const std::string name = Name(line, at);
    if (name.empty() || at >= line.size() || line[at] != ' ') return false;
    if (s.types.count(name) != 0 || s.helps.count(name) != 0) return false;  // a family twice
    family = name;
    s.families.push_back(name);
    s.helps[name] = Unescape(line.substr(at + 1));
    stage = 1;
    return true;
  }
  if (line.rfind("# TYPE ", 0) == 0) {
    std::size_t at = 7;
    const std::string name = Name(line, at);
    const std::string type = at < line.size() ? line.substr(at + 1) : "";
    if (stage != 1 || name != family || (type != "counter" && type != "gauge")) return false;
    s.types[name] = type;
    stage = 2;
    return true;
  }
  std::size_t at = 0;
  std::string key = Name(line, at);
  if (stage != 2 || key != family) return false;
  if (at < line.size() && line[at] == '{' && !Labels(line, at, key)) return false;
  double value = 0;
  if (at >= line.size() || line[at] != ' ' || !Value(line.substr(at + 1), value)) return false;
  return s.samples.emplace(key, value).second;
}

inline Scrape Parse(const std::string& text) {
  Scrape s;
  if (text.empty() || text.back() != '\n') {
    s.error = "does not end with a line feed";
    return s;
  }
  std::string family;
  int stage = 0;  // 1: after HELP, 2: after TYPE
  std::size_t from = 0;
  for (int number = 1; from < text.size(); ++number) {
    const std::size_t end = text.find('\n', from);
    const std::string line = text.substr(from, end - from);
    from = end + 1;
    if (!Line(line, s, family, stage)) {
      s.error = "line " + std::to_string(number) + ": " + line;
      return s;
    }
  }
  return s;
}

}  // namespace prom_text
