// A file read from the start or at an offset, and lines read from it the
// way a C library reads a text file: at most size - 1 characters per read,
// up to and including a line end, with the end-of-file indication set by
// the read that met the end. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace varnet {

class InputFile {
 public:
  virtual ~InputFile() = default;
  // Moves to offset bytes from the start; false when refused (a negative
  // offset). A position past the end is allowed: reads there give nothing.
  virtual bool Seek(std::int64_t offset) = 0;
  // Returns the count of bytes read (0 at the end).
  virtual std::size_t Read(void* data, std::size_t size) = 0;
};

// Moves a stdio stream to offset bytes from the start, past 2 GB too;
// false when refused (a negative offset, a pipe).
bool SeekStdio(std::FILE* file, std::int64_t offset);

// A file of the system opened for reading: text mode (line ends as the C
// library gives them) or byte mode. nullptr when it cannot be opened.
std::unique_ptr<InputFile> OpenStdioInput(const char* path, bool text);

class LineReader {
 public:
  explicit LineReader(InputFile& file) : file_(file) {}
  // Reads the next line (or its first size - 1 characters) into out.
  // Returns false when the end of the file was met by this read; what was
  // read before the end is in out all the same.
  bool Next(char* out, std::size_t size);

 private:
  InputFile& file_;
  char buffer_[4096];
  std::size_t at_ = 0;
  std::size_t filled_ = 0;
};

}  // namespace varnet
