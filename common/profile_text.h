// Reading a profile (INI) file's text by Windows' rules: sections and keys
// compare without case, a value is what follows the first '=' with blanks
// trimmed, and a value in quotes loses them. Portable.
#pragma once

#include <string>

namespace trelm {

// True and the value when the section holds the key.
bool ProfileLookup(const std::string& text, const std::string& section, const std::string& key,
                   std::string* value);

}  // namespace trelm
