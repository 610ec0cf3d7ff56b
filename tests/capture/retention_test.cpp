// The retention plan on listings of a log directory: which names count as
// hour files, which hours go for age and which for space, oldest first,
// never the current hour, one after it, a directory or a stranger's file.
#include "core/retention.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnet {
namespace {

// NaiveHour of 2026-12-09 10:00, the current hour of every case.
std::int64_t Hour(const char* name) {
  std::int64_t hour = 0;
  EXPECT_TRUE(OwnHourFileName(name, &hour)) << name;
  return hour;
}

TEST(Retention, OnlyTheToolsOwnNamesAreHourFiles) {
  const struct {
    const char* name;
    bool own;
  } names[] = {
      {"LOG_20261209.10", true},  {"PKT_20261209.00", true},  {"PKT_20240229.23", true},
      {"pkt_20261209.10", false}, {"PKT_20261209.1x", false}, {"PKT_20261209.24", false},
      {"PKT_20250229.10", false}, {"PKT_20261309.10", false}, {"PKT_20261200.10", false},
      {"PKT_20261209.100", false}, {"PKT_20261209_10", false}, {"ERRORLOG.TXT", false},
      {"LOG_2026120.10", false},  {"XYZ_20261209.10", false}, {"PKT_20261209.10 ", false},
      {"PKT_00000101.00", false}, {"LOG_16001231.23", false}, {"LOG_16010101.00", true},
  };
  for (const auto& n : names) {
    std::int64_t hour = -1;
    EXPECT_EQ(OwnHourFileName(n.name, &hour), n.own) << n.name;
  }
  EXPECT_EQ(Hour("PKT_20261209.10") - Hour("LOG_20261208.10"), 24);
  EXPECT_EQ(Hour("PKT_20260301.00") - Hour("PKT_20260228.23"), 1);
}

TEST(Retention, OldHoursGoForAgeThenTheOldestForSpace) {
  const std::int64_t now = Hour("LOG_20261209.10");
  const std::uint64_t mb = 1024 * 1024;
  const std::vector<DirectoryEntry> listing = {
      {"LOG_20261209.10", 5 * mb, false},  // the current hour: never
      {"PKT_20261209.10", 50 * mb, false},
      {"PKT_20261209.12", 50 * mb, false},  // after the clock (set back): never
      {"PKT_20261201.07", 40 * mb, false},  // 8 days old
      {"LOG_20261201.07", 1 * mb, false},
      {"LOG_20261202.09", 2 * mb, false},   // ended exactly 7 days before: old
      {"LOG_20261202.10", 4 * mb, false},   // 7 days before, ends within them: kept
      {"PKT_20261202.11", 30 * mb, false},  // within 7 days
      {"PKT_20261208.09", 30 * mb, false},
      {"LOG_20261208.09", 3 * mb, false},
      {"PKT_20261201.1x", 9 * mb, false},   // not ours
      {"PKT_20261130.05", 0, true},          // a directory named like ours
      {"ERRORLOG.TXT", 7 * mb, false},
  };
  struct Expect {
    std::int64_t hour;
    std::uint64_t bytes;
    RetentionReason why;
  };
  const struct {
    const char* what;
    RetentionSettings settings;
    std::uint64_t free;
    std::vector<Expect> plan;
  } cases[] = {
      {"off", {0, 0}, 0, {}},
      {"seven days",
       {7, 0},
       0,
       {{Hour("PKT_20261201.07"), 41 * mb, RetentionReason::kAge},
        {Hour("LOG_20261202.09"), 2 * mb, RetentionReason::kAge}}},
      {"space kept already", {0, 100 * mb}, 100 * mb, {}},
      {"space: the oldest until enough is free",
       {0, 100 * mb},
       60 * mb,
       {{Hour("PKT_20261201.07"), 41 * mb, RetentionReason::kFreeSpace}}},
      {"space needs more than the old hours give",
       {7, 200 * mb},
       100 * mb,
       {{Hour("PKT_20261201.07"), 41 * mb, RetentionReason::kAge},
        {Hour("LOG_20261202.09"), 2 * mb, RetentionReason::kAge},
        {Hour("LOG_20261202.10"), 4 * mb, RetentionReason::kFreeSpace},
        {Hour("PKT_20261202.11"), 30 * mb, RetentionReason::kFreeSpace},
        {Hour("PKT_20261208.09"), 33 * mb, RetentionReason::kFreeSpace}}},
      {"a disk too small: every hour before the current one, and no more",
       {0, 1000 * mb},
       0,
       {{Hour("PKT_20261201.07"), 41 * mb, RetentionReason::kFreeSpace},
        {Hour("LOG_20261202.09"), 2 * mb, RetentionReason::kFreeSpace},
        {Hour("LOG_20261202.10"), 4 * mb, RetentionReason::kFreeSpace},
        {Hour("PKT_20261202.11"), 30 * mb, RetentionReason::kFreeSpace},
        {Hour("PKT_20261208.09"), 33 * mb, RetentionReason::kFreeSpace}}},
  };
  for (const auto& c : cases) {
    const std::vector<HourDeletion> plan = PlanRetention(listing, now, c.free, c.settings);
    ASSERT_EQ(plan.size(), c.plan.size()) << c.what;
    for (std::size_t i = 0; i < plan.size(); ++i) {
      EXPECT_EQ(plan[i].hour, c.plan[i].hour) << c.what << " " << i;
      EXPECT_EQ(plan[i].bytes, c.plan[i].bytes) << c.what << " " << i;
      EXPECT_EQ(plan[i].why, c.plan[i].why) << c.what << " " << i;
      for (const DirectoryEntry& f : plan[i].files) {
        std::int64_t hour = 0;
        EXPECT_TRUE(!f.directory && OwnHourFileName(f.name, &hour) && hour < now) << f.name;
      }
    }
  }
  const std::vector<HourDeletion> plan = PlanRetention(listing, now, 0, {7, 500 * mb});
  EXPECT_EQ(RetentionLine(plan[0], {7, 500 * mb}),
            "Retention deleted PKT_20261201.07 (41943040 bytes), LOG_20261201.07 (1048576 bytes): "
            "older than 7 days");
  EXPECT_EQ(RetentionLine(plan[3], {7, 500 * mb}),
            "Retention deleted PKT_20261202.11 (31457280 bytes): to keep 500 MB free");
}

}  // namespace
}  // namespace varnet
