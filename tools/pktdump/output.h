// Where a mode writes, and the check that every write went through.
// Portable.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pktdump {

// Every write of an output went through: what was buffered is flushed and
// the stream's error mark read, so that a full disk or a closed pipe is
// never reported as success.
bool Finished(std::FILE* out, std::FILE* err, const std::string& name);

// Where a mode writes: standard output for "" or "-", else a file written
// beside itself (OUT.pktdump-part) that takes its name only when whole, so
// that a failure part-way leaves what was there before. One of the inputs
// (the same file, by whatever name) is never an output.
class Output {
 public:
  explicit Output(std::FILE* out) : out_(out) {}
  ~Output();  // a part never closed goes
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  // Said as a usage error when path is one of the inputs (by whatever
  // name, or standard input read from it); in is standard input.
  static bool IsAnInput(const std::string& path, const std::vector<std::string>& inputs,
                        std::FILE* in, std::FILE* err);
  // false with the reason said.
  bool Open(const std::string& path, std::FILE* err);
  std::FILE* Stream() const { return file_ != nullptr ? file_ : out_; }
  // Every write went through (said when not) and, when ok, the file takes
  // its name; otherwise the part goes. Returns whether the output is whole.
  bool Close(bool ok, std::FILE* err);

 private:
  std::FILE* out_;
  std::FILE* file_ = nullptr;
  std::string path_, target_, part_, name_ = "the output";
};

}  // namespace pktdump
