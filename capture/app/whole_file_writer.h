// The host's role that replaces a file whole, so that a reader never sees
// it half written: a textfile collector reading the metrics file while the
// tool writes it reads either the old file or the new one. Portable: the
// real host does it with the Win32 calls (win32/varnet_host_files.cpp),
// the tests' host in memory.
#pragma once

#include <string>

namespace varnet {

class WholeFileWriter {
 public:
  virtual ~WholeFileWriter() = default;
  // Replaces the file at path with bytes: written to "<path>.tmp" beside
  // it, flushed, then moved over it in one step. False when any step
  // failed, with the system's reason in why: the temporary file is then
  // deleted and the file is as it was.
  virtual bool ReplaceWhole(const char* path, const std::string& bytes, std::string& why) = 0;
};

// What the temporary file's name adds to the path: a name that does not
// end in ".prom", which a collector that reads *.prom files never reads.
constexpr const char* kReplaceSuffix = ".tmp";

}  // namespace varnet
