// libFuzzer target: any file given to the Packet dialog or to Analyse.
// Every record the file may hold is read and dumped (and one past the
// end); every line is read and tested as a capture log line.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/input_file.h"
#include "core/log_text.h"
#include "core/packet_dump.h"

namespace {
class Bytes : public varnet::InputFile {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Seek(std::int64_t offset) override {
    if (offset < 0) return false;
    at_ = static_cast<std::size_t>(offset);
    return true;
  }
  std::size_t Read(void* out, std::size_t size) override {
    if (at_ >= size_) return 0;
    const std::size_t n = size < size_ - at_ ? size : size_ - at_;
    std::memcpy(out, data_ + at_, n);
    at_ += n;
    return n;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes file(data, size);
  const std::int64_t records = static_cast<std::int64_t>(size / varnet::kRecordSize);
  for (std::int64_t n = 0; n <= records + 1; ++n) {
    std::uint8_t record[varnet::kRecordSize];
    std::size_t got = 0;
    const varnet::RecordRead read = varnet::ReadRecordAt(file, n, record, &got);
    if (read != varnet::RecordRead::Ok) continue;
    varnet::RecordView view;
    if (!varnet::ReadRecord(record, sizeof record, view)) std::abort();
    char line[varnet::kDumpLineSize];
    varnet::DumpHeader(n, view, line, sizeof line);
    for (int i = 0; i < varnet::kDumpLines; ++i) {
      varnet::DumpLine(view.data, i, line);
      if (std::strlen(line) != 81) std::abort();  // every dump line has one width
    }
  }
  file.Seek(0);
  varnet::LineReader reader(file);
  char text[256];
  while (reader.Next(text, sizeof text)) {
    if (std::strlen(text) > 255) std::abort();
    varnet::IsUnusualEntry(text);
  }
  return 0;
}
