// Mirvale's platform on Linux: a Wine prefix read directly. The registry
// comes from the prefix's system.reg (Wine writes it out about 30 s after a
// change and when its server ends), drive letters map through dosdevices/,
// file names resolve case-insensitively, and profile files follow Windows'
// rules. Error texts are Wine's.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "platform.h"

namespace mirvale {

class WinePlatform : public Platform {
 public:
  // prefix: the Wine prefix ($WINEPREFIX, default ~/.wine). The current
  // directory, as Windows would see it, is given as a DOS path.
  explicit WinePlatform(std::string prefix, std::string currentDirectory = "C:\\");
  ~WinePlatform() override;

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
  std::string WindowsDirectory() override { return "C:\\windows"; }
  std::string LastWriteError() override { return lastWriteError_; }

  void SetCurrentDirectory(const std::string& dosPath) { current_ = dosPath; }
  // The DOS path Wine gives a Linux directory: on C: inside the prefix's
  // drive_c, else on Z:.
  static std::string DosPathOf(const std::string& prefix, const std::string& unixPath);
  // The Linux path of a Windows path (resolved case-insensitively; parts
  // that do not exist yet are kept as given). Empty when the drive is not
  // mapped.
  std::string UnixPath(const std::string& dosPath) const;

  struct Value {
    unsigned type = 0;
    std::vector<unsigned char> bytes;  // strings as UTF-16LE with their zero
  };
  struct Key {
    std::string name;
    std::string upper;  // the name in capitals, the order of subkeys
    std::map<std::string, Value> values;       // by lower-case name
    std::map<std::string, std::string> names;  // lower-case -> as written
    std::vector<std::unique_ptr<Key>> subkeys;
    Key* Find(const std::string& name) const;
    Key* Child(const std::string& name);
  };

 protected:
  // The reads and writes of a profile being replaced, one place where tests
  // make them fail: like read() and write().
  virtual long ReadBytes(int fd, char* buffer, std::size_t size);
  virtual long WriteBytes(int fd, const char* data, std::size_t size);

 private:
  enum class Existing { kNone, kRead, kUnreadable };
  void Load();
  Key* Resolve(RegKey handle) const;
  // The whole file and its status; kUnreadable (and lastWriteError_) when
  // it is there but cannot be read whole.
  Existing ReadWhole(const std::string& path, std::string* text, struct stat* st);
  bool ReplaceFile(const std::string& path, const std::string& text, const struct stat* old);

  std::string prefix_;
  std::string current_;
  bool loaded_ = false;
  Key root_;
  bool win64_ = false;
  std::vector<Key*> handles_;
  std::string lastWriteError_;
};

// Parses Wine's registry file text into root (keys relative to it).
// Returns false when the text is not a Wine registry file.
bool ParseWineRegistry(const std::string& text, WinePlatform::Key& root);

}  // namespace mirvale
