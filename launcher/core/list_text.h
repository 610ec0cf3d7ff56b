// A launch list's text as the profile calls read it: its bytes decoded and
// narrowed, its lines taken apart, and where a section or key stands in it.
// The lowest layer of the launch-list checker. Portable: no <windows.h>.
#pragma once

#include <string>
#include <vector>

namespace pellor {

// One warning: its line, a code that stays the same from release to
// release (for scripts: "pause-capped", "key-repeated", ...; the README
// lists them), and the text.
struct CheckWarning {
  int line = 0;  // in the file, from 1; 0 when unknown
  std::string code;
  std::string text;
};

// Narrows one line of UTF-16 text as the "A" profile calls narrow what they
// read (to the machine's ANSI code page); *changed when a character came
// out otherwise than it stands (as '?', or as a look-alike).
using Narrowing = std::string (*)(const std::u16string& line, bool* changed);

// A launch list's bytes as the profile calls read them. A file that starts
// with a byte-order mark, UTF-16 little-endian (FF FE: Notepad's
// "Unicode"), UTF-16 big-endian (FE FF) or UTF-8 (EF BB BF), is decoded
// without its mark and narrowed line by line by narrow (nullptr: ASCII
// stays, any other character is read as '?'); any other file is its bytes
// as they stand. The warnings say, each on its line (0: the whole file),
// what the decoding could not keep or what Windows reads otherwise:
// "text-malformed" (half a surrogate pair, bytes that are no UTF-8: each
// read as '?'; an odd byte count: the last byte read as the character of
// its value, as Wine reads it), "text-not-ansi" (a line the launcher
// reads holds characters its code page has not: the line as it reads it),
// "encoding-breaks-on-windows" (UTF-16 big-endian, or a UTF-8 mark where it
// matters: Wine's profile calls decode them, Windows' do not).
struct ListText {
  std::string text;
  std::vector<CheckWarning> warnings;
};
ListText ReadListText(const std::string& bytes, Narrowing narrow = nullptr);

// The section a line of the text stands in (its header line included);
// "" before the first section.
std::string SectionAt(const std::string& text, int line);

// The line of a key in a section of a profile's text (the first, as
// Windows reads it), or of the section's own line for an empty key; 0
// when it is not there.
int LineOf(const std::string& text, const std::string& section, const std::string& key);

// A line without the blanks and tabs at either end.
std::string Trimmed(const std::string& s);

// One line of a profile's text as the profile calls take it.
struct TextLine {
  enum Kind { kBlank, kComment, kSection, kKey, kNoEquals } kind;
  int number;
  std::string name;  // the section's or key's name; the whole line without '='
};
// The lines of a profile's text (a byte-order mark passed over), numbered
// from 1.
std::vector<TextLine> ScanText(const std::string& text);

}  // namespace pellor
