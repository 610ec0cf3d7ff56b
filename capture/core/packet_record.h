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

// When a datagram arrived (a Windows FILETIME: UTC, 100 ns since 1601) and
// its number among the datagrams the wrapper received for the channel's
// two names.
// A run is one start of the recorder: its sequence numbers count from 1,
// and its records carry a run tag (0..126) that differs from the tag of
// the run before it, so a reader knows where a run starts even when its
// first datagrams were lost. Records written before tags existed carry
// kNoRunTag.
struct Arrival {
  std::uint64_t filetime = 0;
  std::uint32_t sequence = 0;
  int run = kNoRunTag;
  static constexpr int kNoRunTag = -1;
};
// The marker at offset 3 of a record that carries its arrival: 0x80 + the
// run tag (0x80..0xFE; 0xFF is an untimed record's filler), or 'T' in files
// written before run tags.
constexpr std::uint8_t kArrivalMarker = 0x54;  // 'T', no run tag
constexpr std::uint8_t kRunMarkerBase = 0x80;
constexpr int kRunTags = 127;
// The tag of the run after one with the given tag (kNoRunTag: the first).
int NextRunTag(int previous);

// Type, the length big-endian, 13 bytes 0xFF, then the 512-byte datagram
// buffer as it is (the bytes received, then zeros). With an arrival the 13
// bytes carry instead the marker, the FILETIME (offsets 4..11) and the
// sequence number (12..15), both little-endian. An arrival with no run tag
// is written with the 'T' marker.
void BuildRecord(std::uint8_t type, const std::uint8_t (&buffer)[kDatagramSize + 1],
                 std::uint16_t length, std::uint8_t (&out)[kRecordSize],
                 const Arrival* arrival = nullptr);

struct RecordView {
  std::uint8_t type = 0;
  std::uint16_t length = 0;            // as recorded, even above 512
  const std::uint8_t* data = nullptr;  // the 512-byte datagram buffer
  bool timed = false;                  // the record carries its arrival
  Arrival arrival;
};

// Reads a record from size bytes; false when fewer than 528 bytes are there.
bool ReadRecord(const std::uint8_t* bytes, std::size_t size, RecordView& record);

}  // namespace varnet
