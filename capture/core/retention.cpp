// The retention plan: the log directory's own hour files grouped by hour,
// the old ones by age, then the oldest by free space.
#include "core/retention.h"

#include <cinttypes>
#include <cstdio>
#include <map>

#include "core/packet_file.h"
#include "wall_time.h"

namespace varnet {

namespace {
// A sum of sizes that stops at the largest count rather than wrapping.
std::uint64_t Sum(std::uint64_t a, std::uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }
}  // namespace

bool OwnHourFileName(const std::string& name, std::int64_t* hour) {
  if (name.size() != 15 || (name.compare(0, 4, "LOG_") != 0 && name.compare(0, 4, "PKT_") != 0) ||
      name[12] != '.') {
    return false;
  }
  int digits[10];
  for (int i = 0, at = 4; i < 10; ++i, ++at) {
    if (at == 12) ++at;
    if (name[at] < '0' || name[at] > '9') return false;
    digits[i] = name[at] - '0';
  }
  const int year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
  const int month = digits[4] * 10 + digits[5], day = digits[6] * 10 + digits[7];
  const int h = digits[8] * 10 + digits[9];
  // A Windows clock shows no year before 1601.
  if (year < 1601 || month < 1 || month > 12 || day < 1 || day > trelm::DaysInMonth(year, month) ||
      h > 23) {
    return false;
  }
  *hour = NaiveHour(FileHour{year, month, day, h});
  return true;
}

std::vector<HourDeletion> PlanRetention(const std::vector<DirectoryEntry>& entries,
                                        std::int64_t currentHour, std::uint64_t freeBytes,
                                        const RetentionSettings& settings) {
  // The hours before the current one, oldest first, with their files.
  std::map<std::int64_t, HourDeletion> hours;
  for (const DirectoryEntry& e : entries) {
    std::int64_t hour = 0;
    if (e.directory || !OwnHourFileName(e.name, &hour) || hour >= currentHour) continue;
    HourDeletion& d = hours[hour];
    d.hour = hour;
    d.files.push_back(e);
    d.bytes = Sum(d.bytes, e.size);
  }
  std::vector<HourDeletion> plan;
  std::uint64_t free = freeBytes;
  for (auto& [hour, d] : hours) {
    // Old: the hour ended the kept days or more before the current began.
    if (settings.keepDays > 0 && hour < currentHour - 24 * static_cast<std::int64_t>(settings.keepDays)) {
      d.why = RetentionReason::kAge;
    } else if (settings.minFreeBytes > 0 && free < settings.minFreeBytes) {
      d.why = RetentionReason::kFreeSpace;
    } else {
      break;  // hours are in order: the rest are newer, and space is kept
    }
    free = Sum(free, d.bytes);
    plan.push_back(std::move(d));
  }
  return plan;
}

std::string RetentionLine(const HourDeletion& deletion, const RetentionSettings& settings) {
  std::string line = "Retention deleted";
  char part[96];
  for (auto it = deletion.files.begin(); it != deletion.files.end(); ++it) {
    std::snprintf(part, sizeof part, "%s %s (%" PRIu64 " bytes)", it == deletion.files.begin() ? "" : ",",
                  it->name.c_str(), it->size);
    line += part;
  }
  if (deletion.why == RetentionReason::kAge) {
    std::snprintf(part, sizeof part, ": older than %d day%s", settings.keepDays,
                  settings.keepDays == 1 ? "" : "s");
  } else {
    std::snprintf(part, sizeof part, ": to keep %" PRIu64 " MB free",
                  settings.minFreeBytes / (1024 * 1024));
  }
  return line + part;
}

}  // namespace varnet
