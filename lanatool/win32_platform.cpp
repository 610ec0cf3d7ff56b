#include "win32_platform.h"

#include <windows.h>

namespace mirvale {

namespace {
HKEY Handle(RegKey key) {
  return key == kLocalMachine ? HKEY_LOCAL_MACHINE : reinterpret_cast<HKEY>(key);
}
}  // namespace

long Win32Platform::OpenKey(RegKey parent, const std::string& path, RegKey* key) {
  HKEY opened = nullptr;
  // Always the view the vendor's 32-bit programs use, whichever
  // architecture this build is: keys under SOFTWARE are redirected on a
  // 64-bit Windows, the SYSTEM keys Mirvale reads are shared (the flag is
  // ignored there and on a 32-bit Windows).
  const LONG status =
      RegOpenKeyExA(Handle(parent), path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &opened);
  *key = status == ERROR_SUCCESS ? reinterpret_cast<RegKey>(opened) : 0;
  return status;
}

void Win32Platform::CloseKey(RegKey key) {
  if (key != kLocalMachine) RegCloseKey(Handle(key));
}

long Win32Platform::QueryValue(RegKey key, const std::string& name, unsigned* type,
                               unsigned char* data, unsigned long* size) {
  DWORD t = 0;
  DWORD n = *size;
  const LONG status = RegQueryValueExA(Handle(key), name.c_str(), nullptr, &t, data, &n);
  *type = t;
  *size = n;
  return status;
}

long Win32Platform::QueryInfoKey(RegKey key, char* className, unsigned long* classLength,
                                 unsigned long* longestSubkey, unsigned long* longestClass) {
  DWORD length = *classLength;
  DWORD subkeys = 0, longest = 0, classes = 0;
  const LONG status = RegQueryInfoKeyA(Handle(key), className, &length, nullptr, &subkeys,
                                       &longest, &classes, nullptr, nullptr, nullptr, nullptr,
                                       nullptr);
  *classLength = length;
  *longestSubkey = longest;
  *longestClass = classes;
  return status;
}

long Win32Platform::EnumKey(RegKey key, unsigned long index, char* name,
                            unsigned long* nameLength, char* className,
                            unsigned long* classLength) {
  DWORD n = *nameLength;
  DWORD c = *classLength;
  const LONG status = RegEnumKeyExA(Handle(key), index, name, &n, nullptr, className, &c, nullptr);
  *nameLength = n;
  *classLength = c;
  return status;
}

std::string Win32Platform::ErrorText(long status) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(status), 0x400, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  return result;
}

std::string Win32Platform::ProfileString(const std::string& section, const std::string& key,
                                         const std::string& fallback, const std::string& file) {
  char value[1024] = "";
  GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), value, sizeof value,
                           file.c_str());
  return value;
}

unsigned Win32Platform::ProfileInt(const std::string& section, const std::string& key,
                                   int fallback, const std::string& file) {
  return GetPrivateProfileIntA(section.c_str(), key.c_str(), fallback, file.c_str());
}

bool Win32Platform::WriteProfileValue(const std::string& section, const std::string& key,
                                       const std::string& value, const std::string& file) {
  lastWriteError_.clear();
  if (WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str())) {
    return true;
  }
  lastWriteError_ = ErrorText(static_cast<long>(GetLastError()));
  while (!lastWriteError_.empty() && (lastWriteError_.back() == '\n' || lastWriteError_.back() == '\r')) {
    lastWriteError_.pop_back();
  }
  return false;
}

std::string Win32Platform::WindowsDirectory() {
  char dir[MAX_PATH] = "";
  GetWindowsDirectoryA(dir, sizeof dir);
  return dir;
}

}  // namespace mirvale
