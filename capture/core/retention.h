// Retention of the log directory's hour files: which hours go, oldest
// first, so that at most a number of days of them stay and at least a free
// space stays on the directory's disk. An hour's capture log (LOG_) and
// packet data file (PKT_) go together. Only names exactly as the capture
// tool makes them are ever chosen: never a directory, never ERRORLOG.TXT,
// never the current hour nor one after it (after a clock set back). The
// plan is made here from a listing; the caller deletes and says so.
// Portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnet {

struct RetentionSettings {
  int keepDays = 0;               // hours older than this many days go; 0: none for age
  std::uint64_t minFreeBytes = 0;  // the oldest hours go while less is free; 0: none for space
  bool Enabled() const { return keepDays > 0 || minFreeBytes > 0; }
};

// One name in the log directory.
struct DirectoryEntry {
  std::string name;
  std::uint64_t size = 0;
  bool directory = false;
};

// The hour of a name exactly as the capture tool makes it: "LOG_" or "PKT_"
// (capitals), YYYYMMDD of a date that exists from 1601 on, '.', HH from 00
// to 23. The
// hour is a NaiveHour (packet_file.h); false for any other name.
bool OwnHourFileName(const std::string& name, std::int64_t* hour);

enum class RetentionReason { kAge, kFreeSpace };

// One hour to delete: its files (one or both of LOG_ and PKT_), their size
// and why.
struct HourDeletion {
  std::int64_t hour = 0;
  std::vector<DirectoryEntry> files;
  std::uint64_t bytes = 0;
  RetentionReason why = RetentionReason::kAge;
};

// The hours to delete, oldest first: those that ended keepDays × 24 hours
// or more before the current hour (a NaiveHour) began, so that the current
// hour and the keepDays × 24 before it stay; then, while the free space
// with what they free is below minFreeBytes, the oldest that are left.
std::vector<HourDeletion> PlanRetention(const std::vector<DirectoryEntry>& entries,
                                        std::int64_t currentHour, std::uint64_t freeBytes,
                                        const RetentionSettings& settings);

// The capture log's line for a deletion: "Retention deleted LOG_20261201.07
// (1234 bytes), PKT_20261201.07 (5678 bytes): older than 7 days" or "...: to
// keep 500 MB free".
std::string RetentionLine(const HourDeletion& deletion, const RetentionSettings& settings);

}  // namespace varnet
