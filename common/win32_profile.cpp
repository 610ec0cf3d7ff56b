#include "win32_profile.h"

#include <windows.h>

namespace trelm {

std::size_t Win32Profiles::ProfileRead(const char* section, const char* key, const char* fallback,
                                       char* out, std::size_t size, const char* file) {
  return GetPrivateProfileStringA(section, key, fallback, out, static_cast<DWORD>(size), file);
}

void Win32Profiles::ProfileWrite(const char* section, const char* key, const char* value,
                                 const char* file) {
  WritePrivateProfileStringA(section, key, value, file);
}

}  // namespace trelm
