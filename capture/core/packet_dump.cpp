#include "core/packet_dump.h"

#include <cstdio>

namespace varnet {

RecordRead ReadRecordAt(InputFile& file, std::int64_t number,
                        std::uint8_t (&record)[kRecordSize], std::size_t* got) {
  if (got != nullptr) *got = 0;
  if (!file.Seek((number - 1) * static_cast<std::int64_t>(kRecordSize))) {
    return RecordRead::SeekFailed;
  }
  std::size_t n = 0;
  while (n < kRecordSize) {
    const std::size_t r = file.Read(record + n, kRecordSize - n);
    if (r == 0) break;
    n += r;
  }
  if (got != nullptr) *got = n;
  if (n == 0) return RecordRead::End;
  return n < kRecordSize ? RecordRead::Short : RecordRead::Ok;
}

std::string RecordFault(const RecordView& record) {
  char text[64];
  if (record.type != kRecordCommand && record.type != kRecordRevertive) {
    std::snprintf(text, sizeof text, "type %d, neither 1 nor 2", record.type);
    return text;
  }
  if (record.length > kDatagramSize) {
    std::snprintf(text, sizeof text, "length %d, above 512", record.length);
    return text;
  }
  return std::string();
}

std::string SizeFault(std::uint64_t size) {
  if (size % kRecordSize == 0) return std::string();
  char text[96];
  std::snprintf(text, sizeof text,
                "not a packet data file: its size, %llu bytes, is not a multiple of 528",
                static_cast<unsigned long long>(size));
  return text;
}

void DumpHeader(std::int64_t number, const RecordView& record, char* out, std::size_t size) {
  std::snprintf(out, size, "Packet: %04lld (%04llx) - Type %d - Length %d",
                static_cast<long long>(number), static_cast<unsigned long long>(number),
                record.type, record.length);
}

void DumpLine(const std::uint8_t* data, int line, char (&out)[kDumpLineSize]) {
  const int offset = line * 16;
  int n = std::snprintf(out, sizeof out, "%04x-%04x : ", offset, offset + 16);
  char text[18];
  int t = 0;
  for (int i = 0; i < 16; ++i) {
    const std::uint8_t c = data[offset + i];
    n += std::snprintf(out + n, sizeof out - n, i == 8 ? "  %02x " : "%02x ", c);
    if (i == 8) text[t++] = ' ';
    text[t++] = c >= 32 && c <= 127 ? static_cast<char>(c) : '.';
  }
  text[t] = '\0';
  std::snprintf(out + n, sizeof out - n, "- %s", text);
}

}  // namespace varnet
