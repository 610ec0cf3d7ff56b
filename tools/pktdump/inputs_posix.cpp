// pktdump's inputs on POSIX: the shell has expanded the patterns, so an
// argument is a path as it stands; folders are listed with readdir and
// files known by their device and inode (through links too).
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "inputs.h"

namespace pktdump {

namespace {

class PosixInputs : public InputSystem {
 public:
  bool IsPattern(const std::string&) override { return false; }
  std::vector<std::string> Match(const std::string&) override { return {}; }
  bool IsFolder(const std::string& path) override {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  }
  bool List(const std::string& folder, std::vector<std::string>* names, std::string* reason) override {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
      *reason = std::strerror(errno);
      return false;
    }
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names->push_back(name);
    }
    const int failed = errno;
    closedir(dir);
    if (failed != 0) *reason = std::strerror(failed);
    return failed == 0;
  }
  bool Identity(const std::string& path, std::string* identity) override {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return false;
    *identity = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    return true;
  }
  std::string Join(const std::string& folder, const std::string& name) override {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
  }
};

}  // namespace

InputSystem& SystemInputs() {
  static PosixInputs system;
  return system;
}

}  // namespace pktdump
