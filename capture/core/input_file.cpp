#include "core/input_file.h"

#include <cstdio>

namespace varnet {

namespace {
class StdioInput : public InputFile {
 public:
  explicit StdioInput(std::FILE* file) : file_(file) {}
  ~StdioInput() override { std::fclose(file_); }
  bool Seek(std::int64_t offset) override { return SeekStdio(file_, offset); }
  std::size_t Read(void* data, std::size_t size) override {
    return std::fread(data, 1, size, file_);
  }

 private:
  std::FILE* file_;
};
}  // namespace

bool SeekStdio(std::FILE* file, std::int64_t offset) {
  if (offset < 0) return false;
#ifdef _WIN32
  return _fseeki64(file, offset, SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::unique_ptr<InputFile> OpenStdioInput(const char* path, bool text) {
  std::FILE* file = std::fopen(path, text ? "rt" : "rb");
  if (file == nullptr) return nullptr;
  return std::make_unique<StdioInput>(file);
}

bool LineReader::Next(char* out, std::size_t size) {
  std::size_t n = 0;
  bool more = true;
  while (n + 1 < size) {
    if (at_ == filled_) {
      at_ = 0;
      filled_ = file_.Read(buffer_, sizeof buffer_);
      if (filled_ == 0) {
        more = false;
        break;
      }
    }
    const char c = buffer_[at_++];
    out[n++] = c;
    if (c == '\n') break;
  }
  if (size > 0) out[n] = '\0';
  return more;
}

}  // namespace varnet
