// Reading a profile (INI) file's text by Windows' rules: sections and keys
// compare without case, a value is what follows the first '=' with blanks
// trimmed, and a value in quotes loses them. Portable.
#pragma once

#include <string>

#include "profile_access.h"

namespace trelm {

// A line "[ name ]": true and the name, trimmed.
bool ProfileSectionLine(const std::string& line, std::string* name);
// A "key = value" line that is no section line: true, the key and the
// value (both trimmed; quotes stay).
bool ProfileKeyLine(const std::string& line, std::string* key, std::string* value);
// Section and key names compare without case.
bool ProfileSameName(const std::string& a, const std::string& b);

// The text without the UTF-8 byte order mark an editor may put at its
// start: the profile calls pass over it, so the first line is read as it
// stands after it.
std::string WithoutByteOrderMark(const std::string& text);

// True and the value (without its quotes) when the section holds the key.
bool ProfileLookup(const std::string& text, const std::string& section, const std::string& key,
                   std::string* value);

// One profile's text as a reader, whatever file is named: pktdump's
// "--ini", and tests.
class ProfileText : public ProfileReader {
 public:
  explicit ProfileText(std::string text) : text_(std::move(text)) {}
  std::size_t ProfileRead(const char* section, const char* key, const char* fallback, char* out,
                          std::size_t size, const char* file) override;

 private:
  std::string text_;
};

}  // namespace trelm
