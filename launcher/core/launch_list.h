// Rules for one entry of the launch list: comment cutting, the end test,
// the drive prefix rule and classification. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "scan_int.h"

namespace pellor {

enum class EntryKind { End, Orm, Pause, Directory, Wait, Command };

// Buffer the entries are read into: at most 255 characters of text.
constexpr std::size_t kEntryBufferSize = 256;

// Cuts the entry at the first ';' at position 1 or later; a ';' in the
// very first position does not cut. Blanks before the ';' stay.
void CutComment(std::string& entry);

// True when the list ends here: nothing was read, or (outside directory
// mode) the entry after comment cutting is shorter than 2 characters.
bool EndsList(std::size_t countRead, const std::string& entry, bool directoryMode);

// Case-insensitive comparison of the first two characters of text with
// drive (both may be shorter than 2).
bool SameDrive(const std::string& text, const char* drive);

// Outside directory mode, puts the start drive in front of an entry whose
// first two characters are not that drive; true when it did.
bool ApplyDrivePrefix(std::string& entry, const char* startDrive, bool directoryMode);

// Classifies an entry (after cutting and the prefix rule); markers match in
// any case and anywhere in the entry.
EntryKind Classify(const std::string& entry, bool ormAtStart);

// Seconds of a pause entry, scanned as "%s %d": the first word is skipped,
// then a decimal number. False when there is no number. rest: the text
// after the number, which the scan leaves unread.
bool ScanPauseSeconds(const std::string& entry, std::int32_t* seconds, std::string* rest = nullptr);
// The same; an entry without the number pauses 0 seconds.
int PauseSeconds(const std::string& entry);

// Field 1 of the entry split at every single blank: the directory of a
// directory entry (empty when there is no such field).
std::string DirectoryField(const std::string& entry);

// The text before the first '[': the command line of a wait entry,
// trailing blanks included.
std::string WaitCommand(const std::string& entry);

// Milliseconds for a step of the given seconds: a negative count gives 0,
// and the product is kept within what a window timer accepts.
unsigned SecondsToTimerMs(std::int64_t seconds);

// The settings of a workstation's section, read once at start-up, each
// with the value written back when it is missing (or holds -1).
struct Setting {
  const char* key;
  const char* defaultText;
};
constexpr Setting kDebugMode{"DebugMode", "0"};
constexpr Setting kQuitWhenDone{"QuitWhenDone", "0"};
constexpr Setting kCloseRunningOrmAndWait{"CloseRunningORMandWait", "1"};
constexpr Setting kSettings[] = {kDebugMode, kQuitWhenDone, kCloseRunningOrmAndWait};
// A setting above this many seconds counts as this many.
constexpr std::int32_t kCloseWaitMaxSeconds = 10;

// A setting's text converted with "%d": false, and 0, when it does not
// begin with a number. rest: the text after the number.
bool SettingNumber(const char* text, std::int32_t* number, const char** rest = nullptr);

// The key of entry N: "Boot_%d".
std::string BootKey(std::int32_t index);
// N when key is the key of entry N (N from 1; case aside, as profiles
// compare keys), else 0: "Boot_01", "Boot_0" and "Boot_+1" name no entry.
std::int32_t BootIndexOf(const std::string& key);

// Number scanning is the installation's own (common/scan_int.h).
using trelm::ScanInt;
using trelm::SkipBlanks;
using trelm::SkipWord;

}  // namespace pellor
