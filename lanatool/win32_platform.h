// Mirvale's platform on Windows: the real API.
#pragma once

#include "platform.h"

namespace mirvale {

class Win32Platform : public Platform {
 public:
  long OpenKey(RegKey parent, const std::string& path, RegKey* key) override;
  void CloseKey(RegKey key) override;
  long QueryValue(RegKey key, const std::string& name, unsigned* type, unsigned char* data,
                  unsigned long* size) override;
  long QueryInfoKey(RegKey key, char* className, unsigned long* classLength,
                    unsigned long* longestSubkey, unsigned long* longestClass) override;
  long EnumKey(RegKey key, unsigned long index, char* name, unsigned long* nameLength,
               char* className, unsigned long* classLength) override;
  std::string ErrorText(long status) override;
  std::string ProfileString(const std::string& section, const std::string& key,
                            const std::string& fallback, const std::string& file) override;
  unsigned ProfileInt(const std::string& section, const std::string& key, int fallback,
                      const std::string& file) override;
  bool WriteProfileValue(const std::string& section, const std::string& key,
                          const std::string& value, const std::string& file) override;
  std::string WindowsDirectory() override;
  std::string LastWriteError() override { return lastWriteError_; }

 private:
  std::string lastWriteError_;
};

}  // namespace mirvale
