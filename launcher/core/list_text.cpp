// A launch list's text: decoding a file with a byte-order mark and
// narrowing it as the "A" profile calls do, with what that cannot keep;
// and the lines of a profile's text, where sections and keys stand.
#include "core/list_text.h"

#include <algorithm>
#include <sstream>
#include <utility>

#include "profile_text.h"

namespace pellor {

std::string Trimmed(const std::string& s) {
  const std::size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return std::string();
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

std::vector<TextLine> ScanText(const std::string& text) {
  std::vector<TextLine> out;
  std::istringstream in(trelm::WithoutByteOrderMark(text));
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string t = Trimmed(line);
    std::string name;
    if (t.empty()) {
      out.push_back({TextLine::kBlank, n, std::string()});
    } else if (t[0] == ';') {
      out.push_back({TextLine::kComment, n, std::string()});
    } else if (trelm::ProfileSectionLine(t, &name)) {
      out.push_back({TextLine::kSection, n, name});
    } else if (trelm::ProfileKeyLine(t, &name, nullptr)) {
      out.push_back({TextLine::kKey, n, name});
    } else {
      out.push_back({TextLine::kNoEquals, n, t});
    }
  }
  return out;
}

namespace {

// What a decoding could not keep, at the code unit it left in its place.
enum class Flaw { kOddSize, kLoneSurrogate, kNotUtf8 };

struct Decoded {
  std::u16string units;
  std::vector<std::pair<std::size_t, Flaw>> flaws;
};

// UTF-16 after its two-byte mark. Half a surrogate pair is read as '?',
// as the "A" calls narrow it; a last byte without its pair is read as the
// character of its value, as Wine's profile calls read it.
Decoded FromUtf16(const std::string& bytes, bool bigEndian) {
  Decoded d;
  auto byte = [&](std::size_t i) { return static_cast<char16_t>(static_cast<unsigned char>(bytes[i])); };
  std::u16string raw;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    raw.push_back(bigEndian ? static_cast<char16_t>(byte(i) << 8 | byte(i + 1))
                            : static_cast<char16_t>(byte(i) | byte(i + 1) << 8));
  }
  auto high = [](char16_t u) { return u >= 0xD800 && u <= 0xDBFF; };
  auto low = [](char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (high(raw[i]) && i + 1 < raw.size() && low(raw[i + 1])) {
      d.units += raw[i];
      d.units += raw[++i];
    } else if (high(raw[i]) || low(raw[i])) {
      d.flaws.emplace_back(d.units.size(), Flaw::kLoneSurrogate);
      d.units += u'?';
    } else {
      d.units += raw[i];
    }
  }
  if (bytes.size() % 2 != 0) {
    d.flaws.emplace_back(d.units.size(), Flaw::kOddSize);
    d.units += byte(bytes.size() - 1);
  }
  return d;
}

// UTF-8 after its three-byte mark. Each run of bytes that is no UTF-8 (the
// longest start of a sequence that could still have been one, or a byte
// that starts none) is read as one '?'; characters beyond U+FFFF as
// surrogate pairs.
Decoded FromUtf8(const std::string& bytes) {
  Decoded d;
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  for (std::size_t i = 3; i < bytes.size();) {
    const unsigned b = byte(i);
    if (b < 0x80) {
      d.units += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    std::size_t need = 0;
    unsigned lo = 0x80, hi = 0xBF;  // the second byte's range
    char32_t c = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      c = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;  // no overlong form
      if (b == 0xED) hi = 0x9F;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      c = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
    }
    std::size_t k = 1;
    for (; need != 0 && k <= need && i + k < bytes.size(); ++k) {
      const unsigned next = byte(i + k);
      if (next < lo || next > hi) break;
      c = c << 6 | (next & 0x3F);
      lo = 0x80;
      hi = 0xBF;
    }
    if (need == 0 || k <= need) {
      d.flaws.emplace_back(d.units.size(), Flaw::kNotUtf8);
      d.units += u'?';
      i += k;
      continue;
    }
    i += k;
    if (c >= 0x10000) {
      c -= 0x10000;
      d.units += static_cast<char16_t>(0xD800 + (c >> 10));
      d.units += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      d.units += static_cast<char16_t>(c);
    }
  }
  return d;
}

// Without the machine's code page: ASCII as it stands, the rest as '?'.
std::string AsciiOnly(const std::u16string& line, bool* changed) {
  std::string out;
  *changed = false;
  for (char16_t u : line) {
    *changed = *changed || u >= 0x80;
    out += u < 0x80 ? static_cast<char>(u) : '?';
  }
  return out;
}

bool IsRead(const TextLine& t) {
  return t.kind == TextLine::kSection || t.kind == TextLine::kKey || t.kind == TextLine::kNoEquals;
}

// Whether the profile calls read line number of the text's lines.
bool LineRead(const std::vector<TextLine>& lines, int number) {
  return number >= 1 && number <= static_cast<int>(lines.size()) && IsRead(lines[number - 1]);
}

// What Windows' profile calls, which do not pass over a UTF-8 mark as
// Wine's do, read otherwise in such a file: a section on line 1, and
// characters beyond ASCII on a line read (beyondAscii: the lines that hold
// them, in order).
void Utf8MarkWarning(const std::vector<TextLine>& lines, const std::vector<int>& beyondAscii,
                     std::vector<CheckWarning>& out) {
  std::vector<std::string> breaks;
  if (LineRead(lines, 1) && lines[0].kind == TextLine::kSection) {
    breaks.push_back("line 1 is read with the mark in front, so [" + lines[0].name +
                     "] is no section there and none of its lines is read");
  }
  for (int number : beyondAscii) {
    if (!LineRead(lines, number)) continue;
    breaks.push_back("characters beyond ASCII are read byte by byte, two to four characters "
                     "each (first on line " + std::to_string(number) + ")");
    break;
  }
  if (!breaks.empty()) {
    std::string text =
        "the file starts with a UTF-8 byte-order mark, which Wine's profile calls pass over "
        "but Windows' do not: on a workstation ";
    for (std::size_t i = 0; i < breaks.size(); ++i) text += (i ? ", and " : "") + breaks[i];
    out.push_back({1, "encoding-breaks-on-windows", text + "; save it as ANSI or as Unicode"});
  }
}

}  // namespace

ListText ReadListText(const std::string& bytes, Narrowing narrow) {
  ListText out;
  const bool utf8 = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
  const bool little = !utf8 && bytes.compare(0, 2, "\xFF\xFE") == 0;
  const bool big = !utf8 && bytes.compare(0, 2, "\xFE\xFF") == 0;
  if (!utf8 && !little && !big) {
    out.text = bytes;
    return out;
  }
  if (narrow == nullptr) narrow = AsciiOnly;
  const Decoded d = utf8 ? FromUtf8(bytes) : FromUtf16(bytes, big);

  // Line by line: each narrowed, and what stands on it.
  std::vector<std::pair<int, Flaw>> flaws;
  std::vector<std::pair<int, std::string>> changed;  // lines narrowed otherwise, as narrowed
  std::vector<int> beyondAscii;
  std::size_t flaw = 0;
  for (std::size_t start = 0, line = 1;; ++line) {
    const std::size_t end = d.units.find(u'\n', start);
    const std::size_t stop = end == std::u16string::npos ? d.units.size() : end;
    for (; flaw < d.flaws.size() && d.flaws[flaw].first <= stop; ++flaw) {
      if (flaws.empty() || flaws.back() != std::make_pair(static_cast<int>(line), d.flaws[flaw].second)) {
        flaws.emplace_back(static_cast<int>(line), d.flaws[flaw].second);
      }
    }
    const std::u16string units = d.units.substr(start, stop - start);
    bool otherwise = false;
    const std::string narrowed = narrow(units, &otherwise);
    out.text += narrowed;
    if (otherwise) changed.emplace_back(static_cast<int>(line), narrowed);
    for (char16_t u : units) {
      if (u >= 0x80) {
        beyondAscii.push_back(static_cast<int>(line));
        break;
      }
    }
    if (end == std::u16string::npos) break;
    out.text += '\n';
    start = end + 1;
  }

  const std::vector<TextLine> lines = ScanText(out.text);
  if (big) {
    out.warnings.push_back(
        {0, "encoding-breaks-on-windows",
         "the file is UTF-16 big-endian (it starts with FE FF): Wine's profile calls read it as "
         "text, Windows' read UTF-16 only little-endian (Notepad's \"Unicode\"), so on a "
         "workstation the launcher finds nothing in it; save it as Unicode or ANSI"});
  }
  if (utf8) Utf8MarkWarning(lines, beyondAscii, out.warnings);
  for (const auto& [number, kind] : flaws) {
    const char* text =
        kind == Flaw::kOddSize
            ? "the file ends in half a UTF-16 character (an odd number of bytes): it was cut "
              "short, or is not UTF-16 throughout"
        : kind == Flaw::kLoneSurrogate
            ? "half of a UTF-16 surrogate pair stands alone on this line: it is read as '?'"
            : "bytes that are no UTF-8 stand on this line: each run of them is read as '?'";
    out.warnings.push_back({number, "text-malformed", text});
  }
  for (const auto& [number, as] : changed) {
    if (!LineRead(lines, number)) continue;  // a comment or a blank line: nothing is read from it
    out.warnings.push_back({number, "text-not-ansi",
                            "characters on this line are not in the ANSI code page: the launcher "
                            "reads it as \"" + Trimmed(as.substr(0, as.find_last_not_of('\r') + 1)) +
                                "\""});
  }
  std::stable_sort(out.warnings.begin(), out.warnings.end(),
                   [](const CheckWarning& a, const CheckWarning& b) { return a.line < b.line; });
  return out;
}

std::string SectionAt(const std::string& text, int line) {
  std::string section;
  for (const TextLine& t : ScanText(text)) {
    if (t.number > line) break;
    if (t.kind == TextLine::kSection) section = t.name;
  }
  return section;
}

int LineOf(const std::string& text, const std::string& section, const std::string& key) {
  std::istringstream in(trelm::WithoutByteOrderMark(text));
  std::string line;
  bool inSection = false;
  for (int n = 1; std::getline(in, line); ++n) {
    std::string name;
    std::string value;
    if (trelm::ProfileSectionLine(line, &name)) {
      // The first section of the name is the one read.
      if (inSection) return 0;
      inSection = trelm::ProfileSameName(name, section);
      if (inSection && key.empty()) return n;
    } else if (inSection && trelm::ProfileKeyLine(line, &name, &value) &&
               trelm::ProfileSameName(name, key)) {
      return n;
    }
  }
  return 0;
}

}  // namespace pellor
