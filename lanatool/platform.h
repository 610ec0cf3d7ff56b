// What Mirvale needs from Windows: registry reads under HKEY_LOCAL_MACHINE,
// the system's error texts, profile files and the Windows directory. Two
// implementations: the real Win32 API, and one that reads a Wine prefix
// from Linux. No Qt types, so that MinGW builds the Win32 side alone.
#pragma once

#include <cstdint>
#include <string>

namespace mirvale {

using RegKey = std::uintptr_t;
constexpr RegKey kLocalMachine = 0;

// Windows status codes and registry value types.
enum : long {
  kSuccess = 0,
  kFileNotFound = 2,
  kAccessDenied = 5,
  kInvalidHandle = 6,
  kInvalidData = 13,
  kMoreData = 234,
  kNoMoreItems = 259,
};
enum : unsigned { kRegSz = 1, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7 };

class Platform {
 public:
  virtual ~Platform() = default;

  // RegOpenKeyExA with KEY_READ; parent kLocalMachine is HKEY_LOCAL_MACHINE.
  virtual long OpenKey(RegKey parent, const std::string& path, RegKey* key) = 0;
  virtual void CloseKey(RegKey key) = 0;
  // RegQueryValueExA: size holds the buffer's size and receives the data's
  // (also when the buffer is too small, with kMoreData).
  virtual long QueryValue(RegKey key, const std::string& name, unsigned* type,
                          unsigned char* data, unsigned long* size) = 0;
  // RegQueryInfoKeyA: the class text, the longest subkey name and the
  // longest class (in characters, without the terminating zero).
  virtual long QueryInfoKey(RegKey key, char* className, unsigned long* classLength,
                            unsigned long* longestSubkey, unsigned long* longestClass) = 0;
  // RegEnumKeyExA: lengths in characters, in with the zero, out without.
  virtual long EnumKey(RegKey key, unsigned long index, char* name, unsigned long* nameLength,
                       char* className, unsigned long* classLength) = 0;
  // The system's message text for a status (FormatMessageA, system table,
  // language 0x400); empty when there is none.
  virtual std::string ErrorText(long status) = 0;

  // Profile files: GetPrivateProfileStringA, GetPrivateProfileIntA,
  // WritePrivateProfileStringA (true when written).
  virtual std::string ProfileString(const std::string& section, const std::string& key,
                                    const std::string& fallback, const std::string& file) = 0;
  virtual unsigned ProfileInt(const std::string& section, const std::string& key, int fallback,
                              const std::string& file) = 0;
  virtual bool WriteProfileValue(const std::string& section, const std::string& key,
                                  const std::string& value, const std::string& file) = 0;
  // The system's reason why the last WriteProfileValue failed; "" when it
  // gives none.
  virtual std::string LastWriteError() { return std::string(); }
  virtual std::string WindowsDirectory() = 0;
};

}  // namespace mirvale
