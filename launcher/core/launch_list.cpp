#include "core/launch_list.h"

#include <cctype>
#include <climits>
#include <cstring>

namespace pellor {

namespace {

std::string Lower(const std::string& text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool Contains(const std::string& haystack, const char* needle) {
  return haystack.find(needle) != std::string::npos;
}

}  // namespace

void CutComment(std::string& entry) {
  std::size_t semicolon = entry.find(';', 1);
  if (semicolon != std::string::npos) entry.erase(semicolon);
}

bool EndsList(std::size_t countRead, const std::string& entry, bool directoryMode) {
  if (countRead == 0) return true;
  return !directoryMode && entry.size() < 2;
}

bool SameDrive(const std::string& text, const char* drive) {
  // Like a case-insensitive compare of at most two characters.
  const std::size_t driveLength = std::strlen(drive);
  for (std::size_t i = 0; i < 2; ++i) {
    int a = i < text.size() ? std::tolower(static_cast<unsigned char>(text[i])) : 0;
    int b = i < driveLength ? std::tolower(static_cast<unsigned char>(drive[i])) : 0;
    if (a != b) return false;
    if (b == 0) break;
  }
  return true;
}

bool ApplyDrivePrefix(std::string& entry, const char* startDrive, bool directoryMode) {
  if (directoryMode || SameDrive(entry, startDrive)) return false;
  entry.insert(0, startDrive);
  return true;
}

EntryKind Classify(const std::string& entry, bool ormAtStart) {
  const std::string lower = Lower(entry);
  // "orm32.exe" does not contain "orm.exe", so both names are looked for.
  if (ormAtStart && (Contains(lower, "orm32.exe") || Contains(lower, "orm.exe"))) {
    return EntryKind::Orm;
  }
  if (Contains(lower, "<pause>")) return EntryKind::Pause;
  if (Contains(lower, "<directory>")) return EntryKind::Directory;
  if (Contains(lower, "[wait]")) return EntryKind::Wait;
  return EntryKind::Command;
}

bool ScanPauseSeconds(const std::string& entry, std::int32_t* seconds, std::string* rest) {
  const char* end = nullptr;
  const bool found = ScanInt(SkipWord(SkipBlanks(entry.c_str())), *seconds, &end);
  if (rest != nullptr) *rest = found ? std::string(end) : std::string();
  return found;
}

bool SettingNumber(const char* text, std::int32_t* number, const char** rest) {
  *number = 0;
  const char* end = text;
  const bool found = ScanInt(text, *number, &end);
  if (rest != nullptr) *rest = found ? end : text;
  return found;
}

std::string BootKey(std::int32_t index) { return "Boot_" + std::to_string(index); }

std::int32_t BootIndexOf(const std::string& key) {
  if (key.size() < 6 || Lower(key.substr(0, 5)) != "boot_") return 0;
  std::int32_t n = 0;
  const char* end = nullptr;
  if (!ScanInt(key.c_str() + 5, n, &end) || *end != '\0' || n < 1) return 0;
  return BootKey(n) == "Boot_" + key.substr(5) ? n : 0;
}

int PauseSeconds(const std::string& entry) {
  std::int32_t seconds = 0;
  ScanPauseSeconds(entry, &seconds);
  return seconds;
}

std::string DirectoryField(const std::string& entry) {
  std::size_t first = entry.find(' ');
  if (first == std::string::npos) return std::string();
  std::size_t second = entry.find(' ', first + 1);
  return entry.substr(first + 1, second == std::string::npos ? std::string::npos
                                                               : second - first - 1);
}

std::string WaitCommand(const std::string& entry) {
  return entry.substr(0, entry.find('['));
}

unsigned SecondsToTimerMs(std::int64_t seconds) {
  // Windows takes at most 0x7FFFFFFF ms for a timer.
  constexpr std::int64_t kMaxMs = 0x7FFFFFFF;
  if (seconds <= 0) return 0;
  std::int64_t ms = seconds * 1000;
  return static_cast<unsigned>(ms > kMaxMs ? kMaxMs : ms);
}

}  // namespace pellor
