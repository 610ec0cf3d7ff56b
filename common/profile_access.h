// Profile (INI) files as the programs read and write them, like
// GetPrivateProfileStringA and WritePrivateProfileStringA. The programs use
// the real calls (win32_profile.h); pktdump and the tests read a profile's
// text in memory (profile_text.h). Portable: no <windows.h>.
#pragma once

#include <cstddef>

namespace trelm {

class ProfileReader {
 public:
  virtual ~ProfileReader() = default;
  // The value, or fallback when the key is missing, cut to size; returns the
  // count of characters read.
  virtual std::size_t ProfileRead(const char* section, const char* key, const char* fallback,
                                  char* out, std::size_t size, const char* file) = 0;
};

class ProfileAccess : public ProfileReader {
 public:
  virtual void ProfileWrite(const char* section, const char* key, const char* value,
                            const char* file) = 0;
};

}  // namespace trelm
