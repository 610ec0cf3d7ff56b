// Where a mode writes: standard output, or a file that takes its name only
// when whole.
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "pktdump_internal.h"

namespace pktdump {

bool Output::IsAnInput(const std::string& path, const std::vector<std::string>& inputs,
                       std::FILE* err) {
  if (path.empty() || path == "-") return false;
  for (const std::string& input : inputs) {
    std::error_code same;
    if (input != "-" && std::filesystem::equivalent(path, input, same)) {
      std::fprintf(err, "pktdump: --out %s is the input %s; see pktdump --help\n", path.c_str(),
                   input.c_str());
      return true;
    }
  }
  return false;
}

bool Output::Open(const std::string& path, std::FILE* err) {
  if (path.empty() || path == "-") return true;
  part_ = path + ".pktdump-part";
  file_ = std::fopen(part_.c_str(), "wb");
  if (file_ == nullptr) {
    std::fprintf(err, "pktdump: %s: cannot be written: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  path_ = path;
  name_ = path;
  return true;
}

bool Output::Close(bool ok, std::FILE* err) {
  if (!Finished(Stream(), err, name_)) ok = false;
  if (file_ == nullptr) return ok;
  if (std::fclose(file_) != 0 && ok) {
    std::fprintf(err, "pktdump: %s: cannot be written (disk full?)\n", path_.c_str());
    ok = false;
  }
  file_ = nullptr;
  std::error_code renamed;
  if (ok) std::filesystem::rename(part_, path_, renamed);
  if (ok && renamed) {
    std::fprintf(err, "pktdump: %s: cannot be written: %s\n", path_.c_str(),
                 renamed.message().c_str());
    ok = false;
  }
  // A cut output is worse than none: it goes.
  if (!ok) std::remove(part_.c_str());
  part_.clear();
  return ok;
}

Output::~Output() {
  if (file_ != nullptr) std::fclose(file_);
  if (!part_.empty()) std::remove(part_.c_str());
}

}  // namespace pktdump
