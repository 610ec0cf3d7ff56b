// A platform for Mirvale's tests: a registry and profile files in memory,
// with ways to make a read or a write fail.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform.h"

namespace mirvale {

class FakePlatform : public Platform {
 public:
  struct Value {
    unsigned type;
    std::string bytes;
  };
  struct Key {
    std::map<std::string, Value> values;
    std::vector<std::string> subkeys;  // in enumeration order
  };
  std::map<std::string, Key> keys;            // by lower-case path
  std::map<std::string, long> openFailures;   // path -> status
  std::map<std::string, long> valueFailures;  // value name -> status
  std::map<std::string, std::string> profiles;  // "file|section|key" lower-case
  std::set<std::string> unwritable;             // lower-case files
  std::map<std::string, std::string> reasons;   // why an unwritable one fails, when said
  std::vector<std::string> writes;              // "file|section|key=value"
  std::vector<unsigned long> querySizes;        // buffer sizes asked with
  int openKeys = 0;                             // opened and not yet closed

  static std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
  }
  Key& Add(const std::string& path) {
    const std::size_t slash = path.rfind('\\');
    if (slash != std::string::npos) {
      Key& parent = Add(path.substr(0, slash));
      const std::string name = path.substr(slash + 1);
      if (std::find(parent.subkeys.begin(), parent.subkeys.end(), name) == parent.subkeys.end()) {
        parent.subkeys.push_back(name);
      }
    }
    return keys[Lower(path)];
  }
  void Set(const std::string& path, const std::string& name, unsigned type, const std::string& bytes) {
    Add(path).values[Lower(name)] = {type, bytes};
  }

  long OpenKey(RegKey parent, const std::string& path, RegKey* key) override {
    const std::string full = parent == kLocalMachine ? path : paths_[parent - 1] + "\\" + path;
    auto failure = openFailures.find(Lower(full));
    if (failure != openFailures.end()) return failure->second;
    if (keys.count(Lower(full)) == 0) return kFileNotFound;
    paths_.push_back(full);
    *key = paths_.size();
    ++openKeys;
    return kSuccess;
  }
  void CloseKey(RegKey) override { --openKeys; }
  long QueryValue(RegKey key, const std::string& name, unsigned* type, unsigned char* data,
                  unsigned long* size) override {
    querySizes.push_back(*size);
    auto failure = valueFailures.find(name);
    if (failure != valueFailures.end()) return failure->second;
    const Key& k = keys[Lower(paths_[key - 1])];
    auto it = k.values.find(Lower(name));
    if (it == k.values.end()) return kFileNotFound;
    *type = it->second.type;
    const unsigned long room = *size;
    *size = static_cast<unsigned long>(it->second.bytes.size());
    if (room < it->second.bytes.size()) return kMoreData;
    std::memcpy(data, it->second.bytes.data(), it->second.bytes.size());
    return kSuccess;
  }
  long QueryInfoKey(RegKey key, char* className, unsigned long* classLength,
                    unsigned long* longestSubkey, unsigned long* longestClass) override {
    const Key& k = keys[Lower(paths_[key - 1])];
    unsigned long longest = 0;
    for (const std::string& s : k.subkeys) longest = std::max<unsigned long>(longest, s.size());
    if (*classLength > 0) className[0] = '\0';
    *classLength = 0;
    *longestSubkey = longest;
    *longestClass = 0;
    return kSuccess;
  }
  long EnumKey(RegKey key, unsigned long index, char* name, unsigned long* nameLength, char*,
               unsigned long* classLength) override {
    const Key& k = keys[Lower(paths_[key - 1])];
    if (index >= k.subkeys.size()) return kNoMoreItems;
    const std::string& n = k.subkeys[index];
    if (n.size() + 1 > *nameLength) return kMoreData;
    std::memcpy(name, n.c_str(), n.size() + 1);
    *nameLength = static_cast<unsigned long>(n.size());
    *classLength = 0;
    return kSuccess;
  }
  std::string ErrorText(long status) override {
    return status == kAccessDenied ? "Access denied.\r\n" : "Some error.\r\n";
  }
  std::string ProfileString(const std::string& section, const std::string& key,
                            const std::string& fallback, const std::string& file) override {
    auto it = profiles.find(Lower(file + "|" + section + "|" + key));
    return it == profiles.end() ? fallback : it->second;
  }
  unsigned ProfileInt(const std::string& section, const std::string& key, int fallback,
                      const std::string& file) override {
    auto it = profiles.find(Lower(file + "|" + section + "|" + key));
    if (it == profiles.end() || it->second.empty()) return static_cast<unsigned>(fallback);
    return static_cast<unsigned>(std::strtol(it->second.c_str(), nullptr, 10));
  }
  bool WriteProfileValue(const std::string& section, const std::string& key,
                         const std::string& value, const std::string& file) override {
    writes.push_back(file + "|" + section + "|" + key + "=" + value);
    lastWriteError_.clear();
    if (unwritable.count(Lower(file)) != 0) {
      if (reasons.count(Lower(file)) != 0) lastWriteError_ = reasons[Lower(file)];
      return false;
    }
    profiles[Lower(file + "|" + section + "|" + key)] = value;
    return true;
  }
  std::string WindowsDirectory() override { return "C:\\windows"; }
  std::string LastWriteError() override { return lastWriteError_; }

 private:
  std::string lastWriteError_;
  std::vector<std::string> paths_;
};

}  // namespace mirvale
