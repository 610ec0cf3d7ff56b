// A file of the capture tool open for appending, through its handle (the
// Stream that the host's OpenFile gives).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/capture_host.h"

namespace varnet {

// A file opened for appending through its handle: the position is kept
// here, so a write is one system call with no seek before it. Text files
// get "\r\n" for each "\n", as the C library's text mode writes them.
class FileStream : public Stream {
 public:
  FileStream(HANDLE file, bool text, std::uint64_t size) : file_(file), text_(text), size_(size) {}
  ~FileStream() override;
  bool Write(const void* data, std::size_t size) override;
  std::uint64_t Size() override { return size_; }
  bool CutTo(std::uint64_t size) override;

 private:
  void SetEndOfPosition();
  HANDLE file_;
  bool text_;
  std::uint64_t size_;
  std::vector<char> wide_;
};

}  // namespace varnet
