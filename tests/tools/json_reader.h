// A small, strict JSON reader for the tests: a text is read whole into
// values, or refused with the place it went wrong, so that a test that
// reads pktdump's JSON also proves it is JSON.
#pragma once

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace pktdump_test {

struct JsonValue {
  enum Type { kNull, kBool, kNumber, kString, kArray, kObject } type = kNull;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  // A member, or null when there is none.
  const JsonValue& operator[](const std::string& key) const {
    static const JsonValue none;
    auto it = members.find(key);
    return it == members.end() ? none : it->second;
  }
  bool Has(const std::string& key) const { return members.count(key) != 0; }
};

class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : s_(text) {}
  // The whole text as one value; false with where it is not JSON.
  bool Read(JsonValue* out, std::string* why) {
    const bool ok = Value(out) && (Blank(), at_ == s_.size());
    if (!ok)
      *why = "not JSON at character " + std::to_string(at_) + " of " + std::to_string(s_.size());
    return ok;
  }

 private:
  void Blank() {
    while (at_ < s_.size() &&
           (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\r' || s_[at_] == '\t'))
      ++at_;
  }
  bool Word(const char* w) {
    const std::string word(w);
    if (s_.compare(at_, word.size(), word) != 0) return false;
    at_ += word.size();
    return true;
  }
  bool String(std::string* out) {
    if (at_ >= s_.size() || s_[at_] != '"') return false;
    for (++at_; at_ < s_.size(); ++at_) {
      const char c = s_[at_];
      if (c == '"') {
        ++at_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (++at_ >= s_.size()) return false;
      switch (s_[at_]) {
        case '"':
          *out += '"';
          break;
        case '\\':
          *out += '\\';
          break;
        case '/':
          *out += '/';
          break;
        case 'b':
          *out += '\b';
          break;
        case 'f':
          *out += '\f';
          break;
        case 'n':
          *out += '\n';
          break;
        case 'r':
          *out += '\r';
          break;
        case 't':
          *out += '\t';
          break;
        case 'u': {
          if (at_ + 4 >= s_.size()) return false;
          const long code = std::strtol(s_.substr(at_ + 1, 4).c_str(), nullptr, 16);
          *out += code < 0x80 ? static_cast<char>(code) : '?';
          at_ += 4;
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }
  bool Number(double* out) {
    const char* begin = s_.c_str() + at_;
    char* end = nullptr;
    *out = std::strtod(begin, &end);
    if (end == begin || *begin == '+' || *begin == '.') return false;
    at_ += static_cast<std::size_t>(end - begin);
    return true;
  }
  bool Value(JsonValue* v) {
    Blank();
    if (at_ >= s_.size()) return false;
    const char c = s_[at_];
    if (c == '{') {
      v->type = JsonValue::kObject;
      ++at_;
      Blank();
      if (at_ < s_.size() && s_[at_] == '}') return ++at_, true;
      for (;;) {
        Blank();
        std::string key;
        if (!String(&key)) return false;
        Blank();
        if (at_ >= s_.size() || s_[at_++] != ':') return false;
        if (!Value(&v->members[key])) return false;
        Blank();
        if (at_ < s_.size() && s_[at_] == ',') {
          ++at_;
          continue;
        }
        return at_ < s_.size() && s_[at_++] == '}';
      }
    }
    if (c == '[') {
      v->type = JsonValue::kArray;
      ++at_;
      Blank();
      if (at_ < s_.size() && s_[at_] == ']') return ++at_, true;
      for (;;) {
        v->items.emplace_back();
        if (!Value(&v->items.back())) return false;
        Blank();
        if (at_ < s_.size() && s_[at_] == ',') {
          ++at_;
          continue;
        }
        return at_ < s_.size() && s_[at_++] == ']';
      }
    }
    if (c == '"') {
      v->type = JsonValue::kString;
      return String(&v->text);
    }
    if (Word("true") || Word("false")) {
      v->type = JsonValue::kBool;
      v->boolean = s_[at_ - 1] == 'e' && s_[at_ - 2] == 'u';
      return true;
    }
    if (Word("null")) return true;
    v->type = JsonValue::kNumber;
    return Number(&v->number);
  }

  const std::string& s_;
  std::size_t at_ = 0;
};

}  // namespace pktdump_test
