#include "core/packet_record.h"

#include <cstring>

namespace varnet {

void BuildRecord(std::uint8_t type, const std::uint8_t (&buffer)[kDatagramSize + 1],
                 std::uint16_t length, std::uint8_t (&out)[kRecordSize]) {
  out[0] = type;
  out[1] = static_cast<std::uint8_t>(length >> 8);
  out[2] = static_cast<std::uint8_t>(length & 0xFF);
  std::memset(out + 3, 0xFF, kRecordHeader - 3);
  std::memcpy(out + kRecordHeader, buffer, kDatagramSize);
}

bool ReadRecord(const std::uint8_t* bytes, std::size_t size, RecordView& record) {
  if (bytes == nullptr || size < kRecordSize) return false;
  record.type = bytes[0];
  record.length = static_cast<std::uint16_t>(bytes[1] << 8 | bytes[2]);
  record.data = bytes + kRecordHeader;
  return true;
}

}  // namespace varnet
