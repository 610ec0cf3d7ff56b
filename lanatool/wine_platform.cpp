#include "wine_platform.h"

#include "profile_text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>

namespace mirvale {

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
  return s;
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

// Windows-1252, the code page Wine gives the "A" functions here.
unsigned char ToAnsi(char16_t c) {
  static const char16_t high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
  for (int i = 0; i < 32; ++i) {
    if (high[i] == c && c != 0) return static_cast<unsigned char>(0x80 + i);
  }
  return '?';
}

bool IsStringType(unsigned type) { return type == 1 || type == 2 || type == 7; }

// Reads a quoted string of Wine's registry file from p (at the opening
// quote); appends its UTF-16 characters. Returns the position after it.
std::size_t ReadQuoted(const std::string& s, std::size_t p, std::u16string& out) {
  ++p;  // the opening quote
  while (p < s.size() && s[p] != '"') {
    char c = s[p++];
    if (c != '\\' || p >= s.size()) {
      out += static_cast<char16_t>(static_cast<unsigned char>(c));
      continue;
    }
    c = s[p++];
    switch (c) {
      case 'n': out += u'\n'; break;
      case 'r': out += u'\r'; break;
      case 't': out += u'\t'; break;
      case 'a': out += u'\a'; break;
      case 'b': out += u'\b'; break;
      case 'e': out += u'\x1b'; break;
      case 'f': out += u'\f'; break;
      case 'v': out += u'\v'; break;
      case 'x': {
        unsigned value = 0;
        int digits = 0;
        while (digits < 4 && p < s.size() && std::isxdigit(static_cast<unsigned char>(s[p]))) {
          const char h = static_cast<char>(std::tolower(static_cast<unsigned char>(s[p])));
          value = value * 16 + static_cast<unsigned>(h <= '9' ? h - '0' : h - 'a' + 10);
          ++p;
          ++digits;
        }
        out += static_cast<char16_t>(value);
        break;
      }
      default:
        if (c >= '0' && c <= '7') {  // octal, as "\0"
          unsigned value = static_cast<unsigned>(c - '0');
          for (int i = 0; i < 2 && p < s.size() && s[p] >= '0' && s[p] <= '7'; ++i) {
            value = value * 8 + static_cast<unsigned>(s[p++] - '0');
          }
          out += static_cast<char16_t>(value);
        } else {
          out += static_cast<char16_t>(static_cast<unsigned char>(c));  // \\ and \"
        }
        break;
    }
  }
  return p + 1;
}

void PutUtf16(const std::u16string& text, std::vector<unsigned char>& bytes) {
  for (char16_t c : text) {
    bytes.push_back(static_cast<unsigned char>(c & 0xFF));
    bytes.push_back(static_cast<unsigned char>(c >> 8));
  }
}

// A hexadecimal number that fills the text; false for anything else (a
// damaged line), which is then skipped.
bool ParseHex(const std::string& text, unsigned long& value) {
  if (text.empty() || !std::isxdigit(static_cast<unsigned char>(text[0]))) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoul(text.c_str(), &end, 16);
  return errno == 0 && *end == '\0' && value <= 0xFFFFFFFFul;
}

std::vector<unsigned char> ReadHex(const std::string& s, std::size_t p) {
  std::vector<unsigned char> bytes;
  while (p < s.size()) {
    while (p < s.size() && (s[p] == ',' || s[p] == ' ')) ++p;
    unsigned long byte = 0;
    if (p + 1 >= s.size() || !ParseHex(s.substr(p, 2), byte)) break;
    bytes.push_back(static_cast<unsigned char>(byte));
    p += 2;
  }
  return bytes;
}

}  // namespace

// Wine keeps subkeys in case-insensitive order; they are found that way.
WinePlatform::Key* WinePlatform::Key::Find(const std::string& name) const {
  const std::string upper = Upper(name);
  auto at = std::lower_bound(subkeys.begin(), subkeys.end(), upper,
                             [](const std::unique_ptr<Key>& a, const std::string& b) {
                               return a->upper < b;
                             });
  return at != subkeys.end() && (*at)->upper == upper ? at->get() : nullptr;
}

WinePlatform::Key* WinePlatform::Key::Child(const std::string& name) {
  const std::string upper = Upper(name);
  auto at = std::lower_bound(subkeys.begin(), subkeys.end(), upper,
                             [](const std::unique_ptr<Key>& a, const std::string& b) {
                               return a->upper < b;
                             });
  if (at != subkeys.end() && (*at)->upper == upper) return at->get();
  auto key = std::make_unique<Key>();
  key->name = name;
  key->upper = upper;
  return subkeys.insert(at, std::move(key))->get();
}

bool ParseWineRegistry(const std::string& text, WinePlatform::Key& root) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line.rfind("WINE REGISTRY Version", 0) != 0) return false;
  WinePlatform::Key* key = nullptr;
  std::string pending;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Long hex values go on over lines ending with a backslash.
    if (!pending.empty()) {
      std::size_t start = line.find_first_not_of(" ");
      line = pending + (start == std::string::npos ? "" : line.substr(start));
      pending.clear();
    }
    if (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos) {
      line.pop_back();
      pending = line;
      continue;
    }
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      // [Path\\To\\Key] timestamp
      std::u16string name;
      std::string path;
      std::size_t p = 1;
      while (p < line.size() && line[p] != ']') {
        if (line[p] == '\\' && p + 1 < line.size() && line[p + 1] == '\\') {
          path += '\\';
          p += 2;
        } else {
          path += line[p++];
        }
      }
      key = &root;
      for (const std::string& part : SplitPath(path)) key = key->Child(part);
      continue;
    }
    if (key == nullptr) continue;
    std::string name;
    std::size_t p = 0;
    if (line[0] == '@') {
      p = 1;
    } else if (line[0] == '"') {
      std::u16string wide;
      p = ReadQuoted(line, 0, wide);
      for (char16_t c : wide) name += static_cast<char>(ToAnsi(c));
    } else {
      continue;
    }
    if (p >= line.size() || line[p] != '=') continue;
    ++p;
    WinePlatform::Value value;
    if (line.compare(p, 1, "\"") == 0) {
      std::u16string wide;
      ReadQuoted(line, p, wide);
      wide += u'\0';
      value.type = 1;
      PutUtf16(wide, value.bytes);
    } else if (line.compare(p, 4, "str(") == 0) {
      const std::size_t close = line.find("):", p);
      unsigned long type = 0;
      if (close == std::string::npos || !ParseHex(line.substr(p + 4, close - p - 4), type)) continue;
      value.type = static_cast<unsigned>(type);
      std::u16string wide;
      ReadQuoted(line, close + 2, wide);
      wide += u'\0';
      PutUtf16(wide, value.bytes);
    } else if (line.compare(p, 6, "dword:") == 0) {
      unsigned long v = 0;
      if (!ParseHex(line.substr(p + 6), v)) continue;
      value.type = 4;
      for (int i = 0; i < 4; ++i) value.bytes.push_back(static_cast<unsigned char>(v >> (8 * i)));
    } else if (line.compare(p, 4, "hex:") == 0) {
      value.type = 3;
      value.bytes = ReadHex(line, p + 4);
    } else if (line.compare(p, 4, "hex(") == 0) {
      const std::size_t close = line.find("):", p);
      unsigned long type = 0;
      if (close == std::string::npos || !ParseHex(line.substr(p + 4, close - p - 4), type)) continue;
      value.type = static_cast<unsigned>(type);
      value.bytes = ReadHex(line, close + 2);
    } else {
      continue;
    }
    const std::string lower = Lower(name);
    key->names[lower] = name;
    key->values[lower] = std::move(value);
  }
  return true;
}

WinePlatform::WinePlatform(std::string prefix, std::string currentDirectory)
    : prefix_(std::move(prefix)), current_(std::move(currentDirectory)) {}

WinePlatform::~WinePlatform() = default;

void WinePlatform::Load() {
  if (loaded_) return;
  loaded_ = true;
  std::ifstream in(prefix_ + "/system.reg", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::string registry = text.str();
  ParseWineRegistry(registry, root_);
  // A 64-bit prefix says so in its header; it keeps the 32-bit programs'
  // view of HKLM\Software under Software\Wow6432Node.
  win64_ = registry.find("\n#arch=win64") != std::string::npos;
}

WinePlatform::Key* WinePlatform::Resolve(RegKey handle) const {
  if (handle == kLocalMachine) return const_cast<Key*>(&root_);
  if (handle > handles_.size()) return nullptr;
  return handles_[handle - 1];
}

long WinePlatform::OpenKey(RegKey parent, const std::string& path, RegKey* key) {
  Load();
  *key = 0;
  Key* k = Resolve(parent);
  if (k == nullptr) return kInvalidHandle;
  std::vector<std::string> parts = SplitPath(path);
  // The view the vendor's 32-bit programs use, as the Win32 layer opens
  // it (KEY_WOW64_32KEY): in a 64-bit prefix HKLM\Software is redirected.
  // SYSTEM is shared by both views. (Software\Classes has rules of its
  // own; Mirvale reads nothing there.)
  if (win64_ && parent == kLocalMachine && !parts.empty() && Lower(parts[0]) == "software" &&
      (parts.size() < 2 || Lower(parts[1]) != "wow6432node")) {
    parts.insert(parts.begin() + 1, "Wow6432Node");
  }
  for (const std::string& part : parts) {
    k = k->Find(part);
    if (k == nullptr) return kFileNotFound;
  }
  handles_.push_back(k);
  *key = handles_.size();
  return kSuccess;
}

void WinePlatform::CloseKey(RegKey key) {
  if (key != kLocalMachine && key <= handles_.size()) handles_[key - 1] = nullptr;
}

long WinePlatform::QueryValue(RegKey handle, const std::string& name, unsigned* type,
                              unsigned char* data, unsigned long* size) {
  Key* k = Resolve(handle);
  if (k == nullptr) return kInvalidHandle;
  auto it = k->values.find(Lower(name));
  if (it == k->values.end()) return kFileNotFound;
  const Value& v = it->second;
  std::vector<unsigned char> bytes;
  if (IsStringType(v.type)) {
    for (std::size_t i = 0; i + 1 < v.bytes.size(); i += 2) {
      bytes.push_back(ToAnsi(static_cast<char16_t>(v.bytes[i] | v.bytes[i + 1] << 8)));
    }
  } else {
    bytes = v.bytes;
  }
  *type = v.type;
  const unsigned long room = *size;
  *size = static_cast<unsigned long>(bytes.size());
  if (data == nullptr) return kSuccess;
  if (room < bytes.size()) return kMoreData;
  std::copy(bytes.begin(), bytes.end(), data);
  return kSuccess;
}

long WinePlatform::QueryInfoKey(RegKey handle, char* className, unsigned long* classLength,
                                unsigned long* longestSubkey, unsigned long* longestClass) {
  Key* k = Resolve(handle);
  if (k == nullptr) return kInvalidHandle;
  if (className != nullptr && *classLength > 0) className[0] = '\0';
  *classLength = 0;
  unsigned long longest = 0;
  for (const auto& sub : k->subkeys) longest = std::max<unsigned long>(longest, sub->name.size());
  *longestSubkey = longest;
  *longestClass = 0;
  return kSuccess;
}

long WinePlatform::EnumKey(RegKey handle, unsigned long index, char* name,
                           unsigned long* nameLength, char* className,
                           unsigned long* classLength) {
  Key* k = Resolve(handle);
  if (k == nullptr) return kInvalidHandle;
  if (index >= k->subkeys.size()) return kNoMoreItems;
  const std::string& n = k->subkeys[index]->name;
  if (n.size() + 1 > *nameLength) return kMoreData;
  std::memcpy(name, n.c_str(), n.size() + 1);
  *nameLength = static_cast<unsigned long>(n.size());
  if (className != nullptr && *classLength > 0) className[0] = '\0';
  *classLength = 0;
  return kSuccess;
}

std::string WinePlatform::ErrorText(long status) {
  switch (status) {
    case 2: return "File not found.\r\n";
    case 5: return "Access denied.\r\n";
    case 6: return "Invalid handle.\r\n";
    case 8: return "Not enough memory.\r\n";
    case 13: return "Invalid data.\r\n";
    case 87: return "Invalid parameter.\r\n";
    case 234: return "More data available.\r\n";
    case 259: return "No more data available.\r\n";
    case 1010: return "Invalid key.\r\n";
    case 1018: return "Key deleted.\r\n";
    default: return "";
  }
}

std::string WinePlatform::DosPathOf(const std::string& prefix, const std::string& unixPath) {
  char drive[PATH_MAX];
  std::string dos = "Z:" + unixPath;
  if (realpath((prefix + "/drive_c").c_str(), drive) != nullptr &&
      unixPath.rfind(drive, 0) == 0) {
    dos = "C:" + unixPath.substr(std::strlen(drive));
    if (dos.size() == 2) dos += "/";
  }
  std::replace(dos.begin(), dos.end(), '/', '\\');
  return dos;
}

std::string WinePlatform::UnixPath(const std::string& dosPath) const {
  std::string full = dosPath;
  const bool hasDrive = full.size() >= 2 && full[1] == ':';
  if (!hasDrive) {
    if (full.find_first_of("\\/") == std::string::npos) {
      full = "C:\\windows\\" + full;  // a name alone: the Windows directory
    } else if (full[0] == '\\' || full[0] == '/') {
      full = current_.substr(0, 2) + full;  // the root of the current drive
    } else {
      full = current_ + "\\" + full;
    }
  }
  const std::string drive = Lower(full.substr(0, 2));
  char target[PATH_MAX];
  const std::string link = prefix_ + "/dosdevices/" + drive;
  if (realpath(link.c_str(), target) == nullptr) return std::string();
  std::vector<std::string> parts;
  for (const std::string& part : SplitPath(full.substr(2))) {
    if (part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string path = target;
  for (const std::string& part : parts) {
    std::string found = part;
    if (DIR* dir = opendir(path.c_str())) {
      while (dirent* entry = readdir(dir)) {
        if (Lower(entry->d_name) == Lower(part)) {
          found = entry->d_name;
          break;
        }
      }
      closedir(dir);
    }
    path += (path == "/" ? "" : "/") + found;
  }
  return path;
}

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The file a path names once its links are followed: the profile is
// written there, and the link stays a link. A loop of links is left as it
// is (opening it then fails).
std::string LinkTarget(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st{};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) return path;
    const std::string next(target, static_cast<std::size_t>(n));
    path = next[0] == '/' ? next : path.substr(0, path.rfind('/') + 1) + next;
  }
  return path;
}

}  // namespace

long WinePlatform::ReadBytes(int fd, char* buffer, std::size_t size) {
  return static_cast<long>(read(fd, buffer, size));
}

long WinePlatform::WriteBytes(int fd, const char* data, std::size_t size) {
  return static_cast<long>(write(fd, data, size));
}

WinePlatform::Existing WinePlatform::ReadWhole(const std::string& path, std::string* text,
                                               struct stat* st) {
  // Not blocking: a pipe in place of the file is refused, not waited on.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return Existing::kNone;
    lastWriteError_ = std::strerror(errno);
    return Existing::kUnreadable;
  }
  bool ok = fstat(fd, st) == 0;
  if (ok && !S_ISREG(st->st_mode)) {
    lastWriteError_ = S_ISDIR(st->st_mode) ? std::strerror(EISDIR) : "not a regular file";
    ok = false;
  } else if (!ok) {
    lastWriteError_ = std::strerror(errno);
  }
  char buffer[8192];
  while (ok) {
    const long n = ReadBytes(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      lastWriteError_ = std::strerror(errno);
      ok = false;
    }
    if (n <= 0) break;
    text->append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return ok ? Existing::kRead : Existing::kUnreadable;
}

std::string WinePlatform::ProfileString(const std::string& section, const std::string& key,
                                        const std::string& fallback, const std::string& file) {
  std::ifstream in(UnixPath(file), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string value;
  if (!trelm::ProfileLookup(text.str(), section, key, &value)) return fallback;
  return value.substr(0, 1023);
}

unsigned WinePlatform::ProfileInt(const std::string& section, const std::string& key,
                                  int fallback, const std::string& file) {
  std::string text = ProfileString(section, key, "", file).substr(0, 29);
  if (text.empty()) return static_cast<unsigned>(fallback);
  // As Windows converts it: blanks, a sign, then "0x", "0o" or "0b" for
  // another base, and digits up to the first that does not belong.
  std::size_t p = 0;
  while (p < text.size() && static_cast<unsigned char>(text[p]) <= ' ') ++p;
  bool negative = false;
  while (p < text.size() && (text[p] == '+' || text[p] == '-')) negative ^= text[p++] == '-';
  unsigned base = 10;
  if (p + 1 < text.size() && text[p] == '0') {
    const char b = text[p + 1];
    if (b == 'x') base = 16;
    if (b == 'o') base = 8;
    if (b == 'b') base = 2;
    if (base != 10) p += 2;
  }
  unsigned result = 0;
  for (; p < text.size(); ++p) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[p])));
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else {
      break;
    }
    if (digit >= base) break;
    result = result * base + digit;
  }
  return negative ? 0u - result : result;
}

bool WinePlatform::WriteProfileValue(const std::string& section, const std::string& key,
                                     const std::string& value, const std::string& file) {
  lastWriteError_.clear();
  const std::string named = UnixPath(file);
  if (named.empty()) {
    lastWriteError_ = "the drive is not mapped";
    return false;
  }
  const std::string path = LinkTarget(named);
  const std::string dir = path.substr(0, path.rfind('/'));
  struct stat st{};
  if (stat(dir.empty() ? "/" : dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    lastWriteError_ = std::strerror(ENOENT);
    return false;
  }
  // A file that is there but cannot be read whole is never replaced: its
  // other lines would be lost.
  std::string old;
  struct stat oldStat{};
  const Existing existing = ReadWhole(path, &old, &oldStat);
  if (existing == Existing::kUnreadable) return false;
  // Nor is one that may not be written (read-only, or another's): it is
  // refused as Wine's own write would be, not replaced beside itself.
  if (existing == Existing::kRead && access(path.c_str(), W_OK) != 0) {
    lastWriteError_ = std::strerror(errno);
    return false;
  }
  std::vector<std::string> lines = SplitLines(old);
  // The other lines stay as they were; the key's line is replaced.
  int sectionAt = -1;
  int lastInSection = -1;
  bool done = false;
  for (std::size_t i = 0; i < lines.size() && !done; ++i) {
    std::string name;
    if (trelm::ProfileSectionLine(lines[i], &name)) {
      if (sectionAt >= 0) break;
      if (trelm::ProfileSameName(name, section)) {
        sectionAt = static_cast<int>(i);
        lastInSection = sectionAt;
      }
      continue;
    }
    if (sectionAt < 0) continue;
    if (lines[i].find_first_not_of(" \t") != std::string::npos) lastInSection = static_cast<int>(i);
    if (trelm::ProfileKeyLine(lines[i], &name, nullptr) && trelm::ProfileSameName(name, key)) {
      lines[i] = name + "=" + value;
      done = true;
    }
  }
  if (!done) {
    if (sectionAt >= 0) {
      lines.insert(lines.begin() + lastInSection + 1, key + "=" + value);
    } else {
      lines.push_back("[" + section + "]");
      lines.push_back(key + "=" + value);
    }
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return ReplaceFile(path, text, existing == Existing::kRead ? &oldStat : nullptr);
}

// Writes the new text beside the file and renames it over the file once it
// was written, flushed and closed without a fault: a full disk leaves the
// old file as it was, never an empty or half-written one, and no temporary
// file stays behind. The new file keeps the old one's mode and owner; a new
// one gets the mode files are created with here.
bool WinePlatform::ReplaceFile(const std::string& path, const std::string& text,
                               const struct stat* old) {
  const std::size_t slash = path.rfind('/');
  std::string temp = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    lastWriteError_ = std::strerror(errno);
    return false;
  }
  bool ok = true;
  if (old != nullptr) {
    ok = fchmod(fd, old->st_mode & 07777) == 0;
    if (fchown(fd, old->st_uid, old->st_gid) != 0) {
      // Only the owner's own files can be given away; the mode still holds.
    }
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    ok = fchmod(fd, 0666 & ~mask) == 0;
  }
  if (!ok) lastWriteError_ = std::strerror(errno);
  for (std::size_t done = 0; ok && done < text.size();) {
    const long n = WriteBytes(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      lastWriteError_ = n < 0 ? std::strerror(errno) : std::strerror(ENOSPC);
      ok = false;
    } else {
      done += static_cast<std::size_t>(n);
    }
  }
  if (ok && fsync(fd) != 0) {
    lastWriteError_ = std::strerror(errno);
    ok = false;
  }
  if (close(fd) != 0 && ok) {
    lastWriteError_ = std::strerror(errno);
    ok = false;
  }
  if (ok && rename(temp.c_str(), path.c_str()) != 0) {
    lastWriteError_ = std::strerror(errno);
    ok = false;
  }
  if (!ok) unlink(temp.c_str());
  return ok;
}

}  // namespace mirvale
