// The packet data file, PKT_YYYYMMDD.HH: the one place that knows its name
// (made and read back, in the local time Varnet names its hour files by),
// the run tag a new run of the recorder takes, how a file that ends on part
// of a record is cut back before more follow, and how its records are read
// with one set of fault messages. The settlement of runs across files is
// packet_runs.h. Varnet, nbtraffic and every pktdump mode go through here.
// Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/packet_record.h"
#include "wall_time.h"

namespace varnet {

// The local date and hour a file's name carries.
struct FileHour {
  int year = 0, month = 0, day = 0, hour = 0;
};

constexpr std::size_t kPacketNameSize = 16;  // "PKT_YYYYMMDD.HH" and its NUL

// "PKT_YYYYMMDD.HH".
void PacketFileName(const FileHour& hour, char (&out)[kPacketNameSize]);
// The hour a name gives when it is exactly one of ours (the last component
// of a path with either slash); false for any other name ("PKT_20261209.1x",
// "PKT_20261209.07.bak", a month 13).
bool ParsePacketFileName(const std::string& path, FileHour* hour);

// The start of that local hour, as ms since 1970 (UTC), by the system's
// time zone; kNoHour for an hour that does not exist there.
constexpr std::int64_t kNoHour = trelm::kNoInstant;
std::int64_t HourStartMs(const FileHour& hour);
// The hour as a count from 1970-01-01 00 of the calendar's hours, whatever
// the clock did: two files' hours a day apart are 24 apart.
std::int64_t NaiveHour(const FileHour& hour);
// Whether that hour (a NaiveHour) is on the local clock: the hour the clock
// skips when it goes forward is not.
bool LocalHourExists(std::int64_t naiveHour);
// The hour a name gives as a NaiveHour, or kNoHour.
std::int64_t NaiveHourOf(const std::string& path);

// The tag a new run takes, from the last tags of the hour file it appends
// to and of the newest file (kNoRunTag for a file with no tagged record):
// the one after whichever is ahead, so that after a clock set back (a new
// run's records after an older run's in the same file) runs do not take
// turns with two tags, and never either of the two.
int ChooseRunTag(int lastOfOwnHour, int lastOfNewest);

// How many bytes past the last whole record a file of that size holds: a
// run that stopped while it wrote leaves them, and they are cut before the
// next record follows.
inline std::uint64_t PartialRecord(std::uint64_t size) { return size % kRecordSize; }

// Records read from a stream in blocks, never trusting the file: a record
// that is not fit is said with its number and reason, a file cut inside a
// record is read to its last whole record and said so.
class PacketReader {
 public:
  enum class Status { Record, End, Bad, Cut, Failed };
  explicit PacketReader(std::FILE* in);
  // The next record (view valid until the next call), or why there is none.
  // Bad: the record's fault is in Fault(); the reader goes on after it.
  Status Next(RecordView& view);
  std::int64_t Number() const { return number_; }
  // The texts every reader says, after the file's name and ": ".
  const std::string& Fault() const { return fault_; }
  std::size_t Rest() const { return rest_; }

 private:
  std::FILE* in_;
  std::vector<std::uint8_t> block_;
  std::size_t at_ = 0, filled_ = 0, rest_ = 0;
  std::int64_t number_ = 0;
  bool ended_ = false;
  std::string fault_, readError_;
};

// The messages, one wording for every reader.
std::string BadRecordText(std::int64_t number, const std::string& fault);  // "record N has ..."
std::string CutText(std::size_t rest, std::int64_t records);  // "N bytes after record K, ..."
std::string EmptyText();                                        // "is empty: it holds no records"

}  // namespace varnet
