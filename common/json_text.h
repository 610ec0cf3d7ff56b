// Texts in JSON output. Portable.
#pragma once

#include <string>

namespace trelm {

// The text as a JSON string, quotes included. Bytes outside printable
// ASCII (the datagrams' and the files' texts are no UTF-8) each stand for
// themselves as \u00XX.
std::string JsonString(const std::string& text);

}  // namespace trelm
