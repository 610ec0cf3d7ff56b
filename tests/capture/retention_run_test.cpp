// Retention in a running capture tool: a week of hour files at a steady
// rate on a small disk, the settings that turn it on and what start-up says
// of them, files it must leave alone, a file it cannot delete, and the
// close's totals.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/packet_file.h"
#include "core/retention.h"
#include "varnet_rig.h"

namespace varnet {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

// "c:\logs\PKT_20091001.07" -> its hour; -1 for a name not ours.
std::int64_t HourOfPath(const std::string& path) {
  std::int64_t hour = -1;
  if (!OwnHourFileName(path.substr(path.rfind('\\') + 1), &hour)) return -1;
  return hour;
}

std::int64_t HourOf(const LocalTime& t) {
  return NaiveHour(FileHour{t.year, t.month, t.day, t.hour});
}

struct Week {
  const char* name;
  const char* keepDays;   // nullptr: absent
  const char* minFreeMB;  // nullptr: absent
  long long disk;         // bytes; -1: no limit
  int perHour;            // datagrams an hour, evenly spread
  int hours;              // how long it runs
  bool writesFail;        // an hour outgrows the free space kept
  int hoursLeft;          // hour files (LOG_ and PKT_) left at the end; -1: not checked
};

TEST(RetentionRun, AWeekOnASmallDiskKeepsItsSpaceAndLosesNothing) {
  const Week weeks[] = {
      // The free space kept is more than an hour writes: no write ever fails.
      {"space, room for an hour", nullptr, "1", 2 * kMiB, 400, 7 * 24, false, -1},
      // An hour writes more than the space kept: a write fails, the oldest
      // hour goes, and the write is made again.
      {"space, an hour outgrows it", nullptr, "1", 2 * kMiB + 512 * 1024, 2600, 30, true, -1},
      // Age only, on a large disk: the current hour and two days before it.
      {"age, two days", "2", nullptr, -1, 50, 7 * 24, false, 49},
      // Both: the stricter wins.
      {"age and space", "3", "1", 2 * kMiB, 400, 7 * 24, false, -1},
  };
  for (const Week& w : weeks) {
    SCOPED_TRACE(w.name);
    VarnetRig rig("7", true);
    FakeCaptureHost& h = rig.host;
    if (w.keepDays != nullptr) h.Set(kIni, "Retention", "KeepDays", w.keepDays);
    if (w.minFreeMB != nullptr) h.Set(kIni, "Retention", "MinFreeMB", w.minFreeMB);
    // A month-old hour, and files it must leave alone: named almost like
    // its own, or its own error log.
    const std::map<std::string, std::string> before = {
        {"c:\\logs\\PKT_20090901.07", std::string(300 * 1024, 'p')},
        {"c:\\logs\\LOG_20090901.07", std::string(1024, 'l')},
        {"c:\\logs\\PKT_20090901.0x", std::string(2048, 'x')},
        {"c:\\logs\\LOG_20090901.07.old", std::string(2048, 'x')},
        {"c:\\logs\\ERRORLOG.TXT", std::string(2048, 'e')},
    };
    long long used = 0;
    for (const auto& [path, bytes] : before) {
      h.files[path] = bytes;
      used += static_cast<long long>(bytes.size());
    }
    if (w.disk >= 0) h.space = w.disk - used;
    rig.Start();

    const int stepMs = 3600 * 1000 / w.perHour;
    long long leastFree = h.space;
    std::uint64_t sent = 0;
    for (int hour = 0; hour < w.hours; ++hour) {
      for (int i = 0; i < w.perHour; ++i) {
        rig.Arrive(1, "CP " + std::to_string(i % 999 + 1) + " 'abcdefgh'");
        ++sent;
        h.Advance(stepMs);
        rig.app.OnTimer(kTimerIdle);
        if (w.disk >= 0) leastFree = std::min(leastFree, h.space);
      }
    }
    // The screen holds every line of the run until the close clears it;
    // the close's own lines are in the last hour's log.
    const std::vector<std::string> screen = h.screen;
    const LocalTime end = h.now;
    rig.app.CloseProgram();
    char lastLog[40];
    std::snprintf(lastLog, sizeof lastLog, "c:\\logs\\LOG_%04d%02d%02d.%02d", end.year, end.month,
                  end.day, end.hour);
    const std::vector<std::string> closing = h.LogTexts(lastLog);

    // Nothing lost to the full disk: every record is in a file kept or
    // one deleted whole, and no line says otherwise.
    std::uint64_t recordBytes = 0;
    for (const auto& [path, bytes] : h.files) {
      if (path.find("\\PKT_2009") != std::string::npos && HourOfPath(path) >= 0) {
        recordBytes += bytes.size();
      }
    }
    std::uint64_t removedBytes = 0;
    std::uint64_t removedRecords = 0;
    for (const FakeCaptureHost::Removal& r : h.removed) {
      removedBytes += r.size;
      if (r.path.find("\\PKT_") != std::string::npos) removedRecords += r.size;
    }
    EXPECT_EQ(recordBytes + removedRecords, sent * kRecordSize + 300 * 1024);
    EXPECT_EQ(Count(screen, "Writing resumed"), 0);
    EXPECT_EQ(Count(closing, "Lost in this run"), 0);
    EXPECT_EQ(Count(screen, "Unable to write"), 0);
    EXPECT_EQ(h.failedWrites > 0, w.writesFail);
    if (w.disk >= 0) {
      EXPECT_GE(leastFree, 0);
      if (!w.writesFail) {
        EXPECT_GE(leastFree, static_cast<long long>(1 * kMiB - 400 * (kRecordSize + 60)));
      }
    }

    // Oldest first, an hour's two files together, never the hour being
    // written, and never a name that is not exactly its own.
    ASSERT_FALSE(h.removed.empty());
    std::int64_t last = -1;
    for (const FakeCaptureHost::Removal& r : h.removed) {
      const std::int64_t hour = HourOfPath(r.path);
      ASSERT_GE(hour, 0) << r.path;
      EXPECT_GE(hour, last) << r.path;
      EXPECT_LT(hour, HourOf(r.when)) << r.path;
      last = hour;
    }
    for (const char* kept : {"c:\\logs\\PKT_20090901.0x", "c:\\logs\\LOG_20090901.07.old",
                             "c:\\logs\\ERRORLOG.TXT"}) {
      EXPECT_EQ(h.files.count(kept), 1u) << kept;
    }
    EXPECT_EQ(h.removed.front().path.substr(8), "LOG_20090901.07");
    EXPECT_EQ(h.removed[1].path.substr(8), "PKT_20090901.07");
    if (w.hoursLeft >= 0) {
      int left = 0;
      for (const auto& [path, bytes] : h.files) left += HourOfPath(path) >= 0 ? 1 : 0;
      EXPECT_EQ(left, 2 * w.hoursLeft);
    }

    // Every deletion is one line naming its files, sizes and why, and the
    // close totals them.
    std::uint64_t lineFiles = 0;
    std::uint64_t lineHours = 0;
    for (const std::string& line : screen) {
      if (line.find("Retention deleted ") == std::string::npos) continue;
      ++lineHours;
      for (std::size_t at = line.find(" bytes)"); at != std::string::npos;
           at = line.find(" bytes)", at + 1)) {
        ++lineFiles;
      }
      const bool forAge = line.find(": older than ") != std::string::npos;
      const bool forSpace = line.find(": to keep 1 MB free") != std::string::npos;
      EXPECT_TRUE(forAge || forSpace) << line;
      if (w.keepDays == nullptr) {
        EXPECT_FALSE(forAge) << line;
      }
      if (w.minFreeMB == nullptr) {
        EXPECT_FALSE(forSpace) << line;
      }
    }
    EXPECT_EQ(lineFiles, h.removed.size());
    char total[160];
    std::snprintf(total, sizeof total,
                  "Retention in this run: %zu files of %" PRIu64 " hours deleted (%" PRIu64
                  " bytes)",
                  h.removed.size(), lineHours, removedBytes);
    EXPECT_EQ(Count(closing, total), 1) << total;
    EXPECT_EQ(rig.app.Log().RetentionFiles(), h.removed.size());
    EXPECT_EQ(rig.app.Log().RetentionBytes(), removedBytes);
  }
}

TEST(RetentionRun, StartUpSaysTheRuleAndRefusesValuesThatAreNoWholeNumber) {
  const struct {
    const char* keepDays;
    const char* minFreeMB;
    std::vector<std::string> lines;  // what start-up says, in order
    int keepDaysTaken;
    std::uint64_t minFreeTaken;
  } cases[] = {
      {nullptr, nullptr, {}, 0, 0},
      {"", "  ", {}, 0, 0},
      {"0", "0", {}, 0, 0},
      {"7", nullptr, {"Retention: keeping 7 days of hour files, oldest hours deleted first"}, 7, 0},
      {nullptr, " 500 ", {"Retention: keeping at least 500 MB free, oldest hours deleted first"}, 0,
       500 * kMiB},
      {"30", "2048",
       {"Retention: keeping 30 days of hour files, at least 2048 MB free, oldest hours deleted "
        "first"},
       30, 2048 * kMiB},
      {"seven", "100",
       {"Retention: KeepDays=seven in VARNET.INI is not a whole number from 0 to 36500; not used",
        "Retention: keeping at least 100 MB free, oldest hours deleted first"},
       0, 100 * kMiB},
      {"-3", nullptr,
       {"Retention: KeepDays=-3 in VARNET.INI is not a whole number from 0 to 36500; not used"}, 0,
       0},
      {"36501", "1.5",
       {"Retention: KeepDays=36501 in VARNET.INI is not a whole number from 0 to 36500; not used"},
       0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.keepDays ? c.keepDays : "-") + "/" + (c.minFreeMB ? c.minFreeMB : "-"));
    VarnetRig rig("7", true);
    if (c.keepDays != nullptr) rig.host.Set(kIni, "Retention", "KeepDays", c.keepDays);
    if (c.minFreeMB != nullptr) rig.host.Set(kIni, "Retention", "MinFreeMB", c.minFreeMB);
    rig.Start();
    std::vector<std::string> said;
    for (const std::string& text : rig.Texts(kLog07)) {
      if (text.rfind("Retention", 0) == 0) said.push_back(text);
    }
    EXPECT_EQ(said, c.lines);
    EXPECT_EQ(rig.app.Config().retention.keepDays, c.keepDaysTaken);
    EXPECT_EQ(rig.app.Config().retention.minFreeBytes, c.minFreeTaken);
    // Never written back: the file stays as the site wrote it.
    EXPECT_EQ(rig.host.Get(kIni, "Retention", "KeepDays"),
              c.keepDays != nullptr ? c.keepDays : "<absent>");
    // Off: the close says nothing of it.
    rig.app.CloseProgram();
    EXPECT_EQ(Count(rig.Texts(kLog07), "Retention in this run"),
              rig.app.Config().retention.Enabled() ? 1 : 0);
  }
}

TEST(RetentionRun, AFileThatCannotBeDeletedIsKeptAndSaidAndTheRestGoOn) {
  VarnetRig rig("7", true);
  FakeCaptureHost& h = rig.host;
  h.Set(kIni, "Retention", "KeepDays", "1");
  h.files["c:\\logs\\LOG_20090920.05"] = "old";
  h.files["c:\\logs\\PKT_20090920.05"] = std::string(kRecordSize, 'r');
  h.files["c:\\logs\\LOG_20090921.05"] = "older than a day";
  h.undeletable.insert("c:\\logs\\PKT_20090920.05");
  rig.Start();
  const std::vector<std::string> texts = rig.Texts(kLog07);
  EXPECT_EQ(Count(texts, "Retention could not delete PKT_20090920.05 (open elsewhere, or "
                         "read-only): it is kept"),
            1);
  EXPECT_EQ(Count(texts, "Retention deleted LOG_20090920.05 (3 bytes): older than 1 day"), 1);
  EXPECT_EQ(Count(texts, "Retention deleted LOG_20090921.05 (16 bytes): older than 1 day"), 1);
  EXPECT_EQ(h.files.count("c:\\logs\\PKT_20090920.05"), 1u);
  // The lines come after the hour's files were opened, in its log.
  EXPECT_LT(std::find_if(texts.begin(), texts.end(),
                         [](const std::string& t) { return t.rfind("Capture Log opened", 0) == 0; }) -
                texts.begin(),
            std::find_if(texts.begin(), texts.end(),
                         [](const std::string& t) { return t.rfind("Retention", 0) == 0; }) -
                texts.begin());
  rig.app.CloseProgram();
  EXPECT_EQ(Count(rig.Texts(kLog07), "Retention in this run: 2 files of 2 hours deleted (19 bytes)"),
            1);
}

TEST(RetentionRun, AFailedWriteJustPastTheHourNeverDeletesTheHourBeingWritten) {
  // The records of 07:59 wait for the flush timer, which comes at 08:00
  // on a disk that has just filled: the files still open are the 07
  // hour's, and retention may not take them, only older hours.
  VarnetRig rig("7", true);
  FakeCaptureHost& h = rig.host;
  h.Set(kIni, "Retention", "MinFreeMB", "1");
  h.files["c:\\logs\\PKT_20091001.05"] = std::string(kRecordSize, 'r');
  h.delaysFlush = true;
  rig.Start();
  rig.app.OnTimer(kTimerFlush);
  h.Advance((44 * 60 + 57) * 1000 + 500);  // 07:59:59.980
  rig.Arrive(1, "CP 1 'abcdefgh'");
  rig.Arrive(1, "CP 2 'abcdefgh'");
  h.Advance(40);  // 08:00:00.020, no datagram since
  h.space = 0;
  rig.app.OnTimer(kTimerFlush);
  std::vector<std::string> gone;
  for (const FakeCaptureHost::Removal& r : h.removed) gone.push_back(r.path.substr(8));
  EXPECT_EQ(gone, std::vector<std::string>{"PKT_20091001.05"});
  EXPECT_EQ(h.files.count(kLog07), 1u);
  EXPECT_EQ(h.files.count("c:\\logs\\PKT_20091001.07"), 1u);
}

}  // namespace
}  // namespace varnet
