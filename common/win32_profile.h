// Profile files through the real GetPrivateProfileStringA and
// WritePrivateProfileStringA: what every program's Win32 host reads and
// writes its INI files with.
#pragma once

#include "profile_access.h"

namespace trelm {

class Win32Profiles : public ProfileAccess {
 public:
  std::size_t ProfileRead(const char* section, const char* key, const char* fallback, char* out,
                          std::size_t size, const char* file) override;
  void ProfileWrite(const char* section, const char* key, const char* value,
                    const char* file) override;
};

}  // namespace trelm
