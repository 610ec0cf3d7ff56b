// The packet data file's record: 528 bytes per received datagram, with no
// file header. Record n (from 1) starts at byte (n - 1) * 528. Portable: no
// <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnet {

constexpr std::size_t kRecordSize = 528;
constexpr std::size_t kDatagramSize = 512;
constexpr std::size_t kRecordHeader = 16;

enum : std::uint8_t { kRecordCommand = 1, kRecordRevertive = 2 };

// Type, the length big-endian, 13 bytes 0xFF, then the 512-byte datagram
// buffer as it is (the bytes received, then zeros).
void BuildRecord(std::uint8_t type, const std::uint8_t (&buffer)[kDatagramSize + 1],
                 std::uint16_t length, std::uint8_t (&out)[kRecordSize]);

struct RecordView {
  std::uint8_t type = 0;
  std::uint16_t length = 0;            // as recorded, even above 512
  const std::uint8_t* data = nullptr;  // the 512-byte datagram buffer
};

// Reads a record from size bytes; false when fewer than 528 bytes are there.
bool ReadRecord(const std::uint8_t* bytes, std::size_t size, RecordView& record);

}  // namespace varnet
