// libFuzzer target: the settlement of runs across a capture's files, and
// the packet file reader. The input is read as a packet file (whole
// records, a cut tail) and, four bytes at a time, as datagrams' sequence
// numbers, tags and file breaks fed to the settlement. With one tag and
// small numbers the figures are checked against a count of their own:
// every number from 1 to the highest is recorded or lost or earlier,
// and what came again is counted repeated.
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <set>
#include <vector>

#include "core/packet_file.h"
#include "core/packet_runs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The reader: never more records than whole 528-byte blocks, a cut said.
  if (std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb")) {
    varnet::PacketReader reader(file);
    varnet::RecordView view;
    std::int64_t records = 0;
    for (;;) {
      const varnet::PacketReader::Status status = reader.Next(view);
      if (status == varnet::PacketReader::Status::Record || status == varnet::PacketReader::Status::Bad) {
        ++records;
        continue;
      }
      if (status == varnet::PacketReader::Status::Cut && reader.Rest() != size % varnet::kRecordSize) std::abort();
      if (status != varnet::PacketReader::Status::Cut) break;
    }
    if (records != static_cast<std::int64_t>(size / varnet::kRecordSize)) std::abort();
    std::fclose(file);
  }
  if (size < 1) return 0;
  const bool oneTag = (data[0] & 1) != 0;
  varnet::CaptureRuns capture;
  varnet::FileRuns* file = new varnet::FileRuns(64);
  int files = 0;
  std::int64_t record = 0;
  std::set<std::uint32_t> seen;
  std::uint64_t count = 0;
  std::uint32_t highest = 0;
  for (std::size_t at = 1; at + 4 <= size; at += 4) {
    const std::uint8_t kind = data[at];
    if (kind == 0xFF) {  // the next hour's file
      capture.Fold(*file, files, files);
      ++files;
      delete file;
      file = new varnet::FileRuns(64);
      record = 0;
      continue;
    }
    ++record;
    if (!oneTag && kind == 0xFE) {
      file->Untimed();
      continue;
    }
    std::uint32_t sequence = static_cast<std::uint32_t>(data[at + 1] | data[at + 2] << 8 | data[at + 3] << 16);
    if (oneTag) {
      // Out of order by less than the window, and a new file starts above
      // what came before (a number the run has at a file's start is read as
      // the tag come round again).
      const std::int64_t step = record == 1 ? 1 + data[at + 1] % 8 : static_cast<std::int64_t>(data[at + 1] % 48) - 16;
      sequence = static_cast<std::uint32_t>(std::max<std::int64_t>(1, static_cast<std::int64_t>(highest) + step));
    } else if (kind & 0x80) {
      sequence = 0xFFFFFF00u + (sequence & 0x1FF);  // about the wrap
    }
    const int tag = oneTag ? 0 : (kind & 0x40 ? -1 : kind % 4);
    file->Add(record, sequence, tag, record);
    if (oneTag) {
      ++count;
      seen.insert(sequence);
      if (sequence > highest) highest = sequence;
    }
  }
  capture.Fold(*file, files, files);
  delete file;
  capture.Finish();
  const std::vector<varnet::RunEvent> events = capture.Take();
  const varnet::RunTotals& t = capture.Totals();
  std::uint64_t lost = 0;
  for (const varnet::RunEvent& e : events) {
    // A gap across the wrap runs from below 4294967296 to above 0.
    if (e.kind == varnet::RunEvent::kGap &&
        (e.lost == 0 || static_cast<std::uint32_t>(e.to - e.from + 1) != static_cast<std::uint32_t>(e.lost))) {
      std::abort();
    }
    if (e.kind == varnet::RunEvent::kGap) lost += e.lost;
  }
  if (lost != t.lost) std::abort();
  if (oneTag && !seen.empty()) {
    // One run: 1..highest is each number once, in the files or not.
    if (t.runs != 1) std::abort();
    if (t.lost + t.earlier + t.missing + seen.size() != highest) std::abort();
    if (t.repeats != count - seen.size()) std::abort();
  }
  return 0;
}
