#include "core/packet_record.h"

#include <cstring>

namespace varnet {

void BuildRecord(std::uint8_t type, const std::uint8_t (&buffer)[kDatagramSize + 1],
                 std::uint16_t length, std::uint8_t (&out)[kRecordSize], const Arrival* arrival) {
  out[0] = type;
  out[1] = static_cast<std::uint8_t>(length >> 8);
  out[2] = static_cast<std::uint8_t>(length & 0xFF);
  std::memset(out + 3, 0xFF, kRecordHeader - 3);
  if (arrival != nullptr) {
    out[3] = arrival->run >= 0 && arrival->run < kRunTags
                 ? static_cast<std::uint8_t>(kRunMarkerBase + arrival->run)
                 : kArrivalMarker;
    for (int i = 0; i < 8; ++i) out[4 + i] = static_cast<std::uint8_t>(arrival->filetime >> (8 * i));
    for (int i = 0; i < 4; ++i) out[12 + i] = static_cast<std::uint8_t>(arrival->sequence >> (8 * i));
  }
  std::memcpy(out + kRecordHeader, buffer, kDatagramSize);
}

int NextRunTag(int previous) {
  return previous < 0 || previous >= kRunTags - 1 ? 0 : previous + 1;
}

bool ReadRecord(const std::uint8_t* bytes, std::size_t size, RecordView& record) {
  if (bytes == nullptr || size < kRecordSize) return false;
  record.type = bytes[0];
  record.length = static_cast<std::uint16_t>(bytes[1] << 8 | bytes[2]);
  record.data = bytes + kRecordHeader;
  record.timed = bytes[3] == kArrivalMarker || (bytes[3] >= kRunMarkerBase && bytes[3] < 0xFF);
  record.arrival = Arrival();
  if (record.timed) {
    if (bytes[3] != kArrivalMarker) record.arrival.run = bytes[3] - kRunMarkerBase;
    for (int i = 7; i >= 0; --i) record.arrival.filetime = record.arrival.filetime << 8 | bytes[4 + i];
    for (int i = 3; i >= 0; --i) record.arrival.sequence = record.arrival.sequence << 8 | bytes[12 + i];
  }
  return true;
}

}  // namespace varnet
