// Where a mode writes: standard output, or a file that takes its name only
// when whole.
#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "output.h"
#include "records.h"

#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace pktdump {

namespace {

// Standard input that is the output file itself ("--out X - < X"): the
// output would take the place of the capture it reads.
bool OutputIsStandardInput(std::FILE* in, const std::string& out) {
#ifdef _WIN32
  // The C runtime's stat has no file identity here: the volume and file
  // index of the two handles tell.
  if (in == nullptr) return false;
  const HANDLE input = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(in)));
  if (input == INVALID_HANDLE_VALUE || GetFileType(input) != FILE_TYPE_DISK) return false;
  const HANDLE output = CreateFileA(out.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a {}, b {};
  const bool same = GetFileInformationByHandle(input, &a) && GetFileInformationByHandle(output, &b) &&
                    a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                    a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
  CloseHandle(output);
  return same;
#else
  struct stat a {}, b {};
  return in != nullptr && fstat(fileno(in), &a) == 0 && stat(out.c_str(), &b) == 0 &&
         S_ISREG(a.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
#endif
}

// The file an output is written to before it takes its name: a new one,
// never a file that is already there (an input of that name, or a link
// that points at another file). mode: the mode of the file it replaces
// (-1: none there).
std::FILE* CreatePart(const std::string& out, int mode, std::string* part) {
  for (int n = 0; n < 100; ++n) {
    *part = out + ".pktdump-part" + (n == 0 ? std::string() : std::to_string(n));
    const int fd = open(part->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY, 0666);
#ifndef _WIN32
    if (fd >= 0 && mode >= 0) fchmod(fd, static_cast<mode_t>(mode));
#else
    (void)mode;
#endif
    if (fd >= 0) {
      std::FILE* file = fdopen(fd, "wb");
      if (file == nullptr) {
        const int why = errno;
        close(fd);
        std::remove(part->c_str());
        errno = why;
      }
      return file;
    }
    if (errno != EEXIST) break;
  }
  part->clear();
  return nullptr;
}

}  // namespace

bool Output::IsAnInput(const std::string& path, const std::vector<std::string>& inputs,
                       std::FILE* in, std::FILE* err) {
  if (path.empty() || path == "-") return false;
  for (const std::string& input : inputs) {
    std::error_code same;
    const bool piped = input == "-";
    if (piped ? OutputIsStandardInput(in, path) : std::filesystem::equivalent(path, input, same)) {
      std::fprintf(err, "pktdump: --out %s is the input %s; see pktdump --help\n", path.c_str(),
                   piped ? kStdinName : input.c_str());
      return true;
    }
  }
  return false;
}

bool Output::Open(const std::string& path, std::FILE* err) {
  if (path.empty() || path == "-") return true;
  // A device or a pipe named as the output (/dev/null, a FIFO a reader
  // waits on) is written as it stands: only a file is written beside
  // itself and renamed into place, never put over what is not a file. A
  // file replaced keeps its mode, and a link to one stays a link: the file
  // it points at is replaced.
  struct stat given {};
  const bool there = stat(path.c_str(), &given) == 0;
  const bool asItStands = there && !S_ISREG(given.st_mode);
  std::error_code resolved;
  const std::filesystem::path canonical = std::filesystem::canonical(path, resolved);
  target_ = there && !resolved ? canonical.string() : path;
  const int mode = there ? static_cast<int>(given.st_mode & 07777) : -1;
  if (asItStands) {
    part_.clear();
    file_ = std::fopen(path.c_str(), "wb");
  } else {
    file_ = CreatePart(target_, mode, &part_);
  }
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
  if (ok && !part_.empty()) std::filesystem::rename(part_, target_, renamed);
  if (ok && renamed) {
    std::fprintf(err, "pktdump: %s: cannot be written: %s\n", path_.c_str(),
                 renamed.message().c_str());
    ok = false;
  }
  // A cut output is worse than none: it goes.
  if (!ok && !part_.empty()) std::remove(part_.c_str());
  part_.clear();
  return ok;
}

bool Finished(std::FILE* out, std::FILE* err, const std::string& name) {
  if (std::fflush(out) == 0 && std::ferror(out) == 0) return true;
  std::fprintf(err, "pktdump: %s: cannot be written (disk full?)\n", name.c_str());
  return false;
}

Output::~Output() {
  if (file_ != nullptr) std::fclose(file_);
  if (!part_.empty()) std::remove(part_.c_str());
}

}  // namespace pktdump
