// pktdump report: the bucketing and the alive rule case by case; captures
// of known shapes made by the benchmark's maker, read back from the page's
// markup (every mark carries its kind and time); bad input; and the page
// rendered by a real browser.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>
#include <set>
#include <string>
#include <vector>

#include <cstring>

#include "core/packet_record.h"
#include "fleet.h"
#include "wall_time.h"
#include "pktdump_core.h"
#include "modes.h"
#include "output.h"
#include "records.h"
#include "pktdump_run.h"
#include "report.h"

namespace {

using pktdump::report::Buckets;
using pktdump::report::Liveness;
using pktdump_test::Shell;
using pktdump_test::Slurp;

// pktdump report with these arguments: its exit code, and its standard
// error where asked.
int Report(const std::vector<std::string>& args, std::string* err = nullptr) {
  std::vector<std::string> all = {"report"};
  all.insert(all.end(), args.begin(), args.end());
  int code = -1;
  pktdump_test::Pktdump(all, &code, err);
  return code;
}

// The marks of a page: kind, time and the rest of their attributes.
struct Mark {
  std::string kind, time, attributes;
};
std::vector<Mark> Marks(const std::string& page, const std::string& kind) {
  std::vector<Mark> out;
  static const std::regex mark("<g class=\"mark [^\"]*\" data-kind=\"([^\"]*)\" data-time=\"([^\"]*)\"([^>]*)>");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), mark); it != std::sregex_iterator(); ++it) {
    if ((*it)[1] == kind) out.push_back({(*it)[1], (*it)[2], (*it)[3]});
  }
  return out;
}
std::string Attribute(const std::string& attributes, const std::string& name) {
  const std::regex a(" " + name + "=\"([^\"]*)\"");
  std::smatch m;
  return std::regex_search(attributes, m, a) ? m[1].str() : "";
}

class ReportTest : public testing::Test {
 protected:
  void SetUp() override {
    // Local time is UTC here, so that the page's times are known.
    setenv("TZ", "UTC", 1);
    tzset();
    const char* maker = std::getenv("TRELM_MAKE_PACKETS");
    if (maker == nullptr) GTEST_SKIP() << "TRELM_MAKE_PACKETS names the benchmark's maker";
    maker_ = maker;
    dir_ = testing::TempDir() + "report_test/";
    Shell("rm -rf " + dir_ + " && mkdir -p " + dir_);
  }
  std::string maker_, dir_;
  // 2026-12-09 07:00:00 UTC.
  static constexpr long kStart = 1796799600;
};

TEST(ReportBuckets, WidenAlongTheLadderAndKeepEveryCount) {
  struct Case {
    std::size_t limit;
    std::vector<std::int64_t> times;  // ms
    std::int64_t width;               // expected
    std::vector<std::pair<std::int64_t, std::uint64_t>> cells;  // start ms, count
  } const cases[] = {
      {8, {0, 999, 1000, 5500}, 1000, {{0, 2}, {1000, 1}, {5000, 1}}},
      // Three buckets of 1 s over a limit of 2: 2 s, then 10 s.
      {2, {0, 1000, 2000}, 2000, {{0, 2}, {2000, 1}}},
      {2, {0, 1000, 2000, 4000}, 10000, {{0, 4}}},
      // A week's span in 8 buckets: a day each.
      {8, {0, 3 * 86400000LL, 6 * 86400000LL + 5}, 1000, {}},
      {1, {0, 59999, 60000}, 300000, {{0, 3}}},
  };
  for (const Case& c : cases) {
    Buckets b(c.limit);
    for (std::int64_t t : c.times) b.Add(t, 1);
    if (c.cells.empty()) {
      // Only the limit is known to hold: three buckets fit in eight.
      EXPECT_EQ(b.Cells().size(), 3u);
      continue;
    }
    EXPECT_EQ(b.Width(), c.width) << c.times.size();
    std::vector<std::pair<std::int64_t, std::uint64_t>> cells;
    std::uint64_t total = 0;
    for (const auto& [key, cell] : b.Cells()) {
      cells.emplace_back(key * b.Width(), cell.a);
      total += cell.a;
    }
    EXPECT_EQ(cells, c.cells);
    EXPECT_EQ(total, c.times.size());
  }
  // Widening to a display width merges, never splits; first is the earliest.
  Buckets b;
  b.Add(61000, 1, 2);
  b.Add(1500, 3, 4);
  b.Widen(60000);
  ASSERT_EQ(b.Cells().size(), 2u);
  EXPECT_EQ(b.Cells().begin()->second.first, 1500);
  EXPECT_EQ(b.Cells().rbegin()->second.b, 2u);
}

TEST(ReportAlive, SilentWhereLongerThanTwiceTheUsualInterval) {
  struct Case {
    const char* what;
    std::vector<std::int64_t> heard;  // ms
    std::int64_t usual;
    std::vector<std::pair<std::int64_t, std::int64_t>> silences;
  };
  auto every = [](std::int64_t step, std::int64_t from, std::int64_t to) {
    std::vector<std::int64_t> v;
    for (std::int64_t t = from; t <= to; t += step) v.push_back(t);
    return v;
  };
  auto join = [](std::vector<std::int64_t> a, const std::vector<std::int64_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Case cases[] = {
      {"steady, 1 s", every(1000, 0, 100000), 1000, {}},
      {"a minute's silence", join(every(1000, 0, 100000), every(1000, 160000, 200000)), 1000,
       {{100000, 160000}}},
      {"1.9 times the interval is no silence", join(every(1000, 0, 50000), every(1000, 51900, 90900)),
       1000, {}},
      {"2.5 times is", join(every(1000, 0, 50000), every(1000, 52500, 90500)), 1000, {{50000, 52500}}},
      {"out of order by a little", {0, 1000, 2000, 1990, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000, 30000}, 1000,
       {{10000, 30000}}},
      {"heard once", {5000}, 0, {}},
      {"a silence as the ninth interval, every 10 s",
       join(every(10000, 0, 80000), every(10000, 230000, 1000000)), 10000, {{80000, 230000}}},
      {"two silences, every 2 s", join(join(every(2000, 0, 40000), every(2000, 50000, 90000)), every(2000, 100000, 140000)),
       2000, {{40000, 50000}, {90000, 100000}}},
  };
  for (const Case& c : cases) {
    Liveness l;
    for (std::int64_t t : c.heard) l.Heard(t);
    EXPECT_NEAR(static_cast<double>(l.Usual()), static_cast<double>(c.usual), 1.0) << c.what;
    EXPECT_EQ(l.Silences(), c.silences) << c.what;
    EXPECT_EQ(l.Count(), c.heard.size()) << c.what;
  }
}

// One record at a time through the gathering, no file: the event it
// makes and the devices it counts for, by the decoders' device rule.
TEST(ReportGathering, EachKindGivesItsEventAndItsDevices) {
  struct Case {
    int type;
    std::string datagram;
    const char* event;  // "" for none
    std::vector<int> devices;
  } const cases[] = {
      {1, "XP 12 1 1:XY:XP 13 2", "", {12, 13}},
      {1, "NN 7 'A1'", "", {}},
      {1, "XP 5 1:NN 7 'x':XY", "", {5, 7}},
      {2, "RD 5 READY", "unusual", {}},
      {2, "NS 5 x", "unusual", {}},
      {2, "NA 5 x", "", {}},
      {2, "TS 09 12 2026 10 11 12 050", "clock-set", {}},
      {2, "TS 31 02 2026 10 11 12 050", "unusual", {}},  // no such day: the clock stays
      {2, "GR 1000 1 1", "errorlog", {}},
      {2, "ZZ 5", "unusual", {}},
      {2, "HB 00\x0c", "", {}},
      {2, std::string("UR \0\5\1\x10\x00\0\1\0\1\0\2", 14), "", {}},  // device 0
      {2, std::string("UR \0\5\1\x10\x0c\0\1\0\1\0\2", 14), "", {12}},
  };
  for (const Case& c : cases) {
    pktdump::report::FileReport report("PKT_20261209.07", pktdump::report::kNoTime, "", {});
    std::uint8_t buffer[varnet::kDatagramSize + 1] = {};
    std::memcpy(buffer, c.datagram.data(), c.datagram.size());
    std::uint8_t record[varnet::kRecordSize];
    varnet::Arrival arrival{116444736000000000ull + 17967996000000000ull, 1};
    varnet::BuildRecord(static_cast<std::uint8_t>(c.type), buffer,
                        static_cast<std::uint16_t>(c.datagram.size()), record, &arrival);
    varnet::RecordView view;
    ASSERT_TRUE(varnet::ReadRecord(record, sizeof record, view));
    report.Add(1, view);
    report.Finish();
    std::string events;
    for (const auto& [kind, count] : report.EventCounts()) events += kind;
    EXPECT_EQ(events, c.event) << c.datagram;
    std::vector<int> devices;
    for (const auto& [device, count] : report.DeviceCounts()) devices.push_back(device);
    EXPECT_EQ(devices, c.devices) << c.datagram;
    EXPECT_EQ(report.Numbers().records, 1u);
  }
}

TEST_F(ReportTest, KnownShapesComeBackFromTheMarkup) {
  const std::string start = std::to_string(kStart);
  // 20 minutes at 50 a second: workstation 4 silent for a minute from
  // 07:05, a burst at five times the rate from 07:10 for 30 s, 40
  // datagrams lost at 07:15, a clock set at 07:16:40.
  const std::string shaped = dir_ + "PKT_20261209.07";
  ASSERT_EQ(std::system((maker_ + " 60000 " + shaped + " --start " + start +
                         " --rate 50 --silent 4 300 60 --burst 600 30 5 --drop 900 40 --clock-set 1000").c_str()), 0);
  // The next hour's file without arrival times, and one whose name gives no hour.
  const std::string untimed = dir_ + "PKT_20261209.08";
  ASSERT_EQ(std::system((maker_ + " 3000 " + untimed).c_str()), 0);
  const std::string nameless = dir_ + "night.pkt";
  ASSERT_EQ(std::system((maker_ + " 500 " + nameless).c_str()), 0);
  const std::string html = dir_ + "report.html";
  ASSERT_EQ(Report({"--out", html, shaped, untimed, nameless}), 0);
  const std::string page = Slurp(html);

  // The gap: one, 40 lost, at the record after it (07:15:00).
  const auto gaps = Marks(page, "gap");
  ASSERT_EQ(gaps.size(), 1u);
  EXPECT_EQ(gaps[0].time.substr(0, 19), "2026-12-09T07:15:00");
  EXPECT_EQ(Attribute(gaps[0].attributes, "data-lost"), "40");
  EXPECT_NE(page.find("data-file=\"PKT_20261209.07\" data-records=\"60001\" data-gaps=\"1\" data-lost=\"40\""),
            std::string::npos);
  // The silence: workstation 4 only, about a minute from 07:05.
  const auto silences = Marks(page, "silence");
  ASSERT_EQ(silences.size(), 1u) << page.substr(0, 3000);
  EXPECT_EQ(silences[0].time.substr(0, 15), "2026-12-09T07:0");
  const double seconds = std::atof(Attribute(silences[0].attributes, "data-seconds").c_str());
  EXPECT_GT(seconds, 60.0);
  EXPECT_LT(seconds, 66.0);
  const std::size_t strip = page.rfind("data-kind=\"workstation\" data-id=", page.find("data-kind=\"silence\""));
  EXPECT_EQ(page.substr(strip, 35), "data-kind=\"workstation\" data-id=\"4\"");
  // The burst: the peak is five times the rate.
  std::smatch peak;
  // The three files of the folder are one capture: one row.
  ASSERT_TRUE(std::regex_search(page, peak, std::regex("data-row=\"report_test/\" data-files=\"3\" data-peak=\"([0-9.]+)\"")));
  EXPECT_NEAR(std::atof(peak[1].str().c_str()), 250.0, 5.0);
  // The clock set: one mark, and its row with file and record.
  const auto clock = Marks(page, "clock-set");
  ASSERT_EQ(clock.size(), 1u);
  EXPECT_EQ(clock[0].time.substr(0, 19), "2026-12-09T07:16:40");
  EXPECT_NE(page.find("data-kind=\"clock-set\" data-time=\"2026-12-09T07:16:40"), std::string::npos);
  EXPECT_NE(page.find("sets the clock to 2026-12-09 07:16:40.500: TS 09 12 2026 07 16 40 050"), std::string::npos);
  // Unusual entries by Analyse's rule: the mix's RD lines (3 in 30 datagrams:
  // 6,000 + 300 + 49).
  std::smatch unusual;
  ASSERT_TRUE(std::regex_search(page, unusual, std::regex("data-kind=\"unusual\" class=\"count\">([0-9,]+)<")));
  EXPECT_EQ(unusual[1].str(), "6,349");
  // The untimed hour: a hatched span with its count, and the notes.
  const auto spans = Marks(page, "untimed");
  ASSERT_EQ(spans.size(), 1u);
  EXPECT_EQ(spans[0].time.substr(0, 19), "2026-12-09T08:00:00");
  EXPECT_EQ(Attribute(spans[0].attributes, "data-count"), "3000");
  EXPECT_NE(page.find("night.pkt: 500 records carry no arrival time"), std::string::npos);
  EXPECT_NE(page.find("the file's name gives no hour"), std::string::npos);
  EXPECT_NE(page.find("Times are local time, UTC (UTC+00:00)"), std::string::npos);
  // Self-contained: nothing fetched, no script.
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(std::regex_search(page, std::regex("(src|href)=|url\\(http|@import")), false);

  // A window: only what lies inside it.
  ASSERT_EQ(Report({"--from", "2026-12-09 07:14", "--to", "2026-12-09T07:16:00", "--out", html, shaped}), 0);
  const std::string narrow = Slurp(html);
  EXPECT_EQ(Marks(narrow, "gap").size(), 1u);
  EXPECT_EQ(Marks(narrow, "clock-set").size(), 0u);
  EXPECT_EQ(Marks(narrow, "silence").size(), 0u);
  EXPECT_NE(narrow.find("data-records=\"6000\""), std::string::npos);

  // Standard output.
  std::FILE* out = std::tmpfile();
  EXPECT_EQ(pktdump::Main({"report", "--out", "-", "--from", "2026-12-09 07:00", "--to",
                           "2026-12-09 07:00:01", shaped}, out, stderr), 0);
  std::rewind(out);
  char head[16] = "";
  EXPECT_EQ(std::fread(head, 1, 15, out), 15u);
  std::fclose(out);
  EXPECT_STREQ(head, "<!DOCTYPE html>");
}

TEST_F(ReportTest, BadInputIsNamedAndKeepGoingStillWritesThePage) {
  const std::string good = dir_ + "PKT_20261209.07";
  ASSERT_EQ(std::system((maker_ + " 100 " + good + " --start " + std::to_string(kStart)).c_str()), 0);
  const std::string cut = dir_ + "PKT_20261209.08";
  std::string bytes = Slurp(good);
  std::ofstream(cut, std::ios::binary) << bytes.substr(0, 528 * 3 + 100);
  const std::string notPackets = dir_ + "PKT_20261209.09";
  std::ofstream(notPackets, std::ios::binary) << std::string(528, 'x');
  const std::string empty = dir_ + "PKT_20261209.10";
  std::ofstream(empty, std::ios::binary) << "";
  const std::string html = dir_ + "bad.html";
  struct Case {
    std::string file, message;
  } const cases[] = {
      {notPackets, "PKT_20261209.09: record 1 has "},
      {empty, "PKT_20261209.10: is empty: it holds no records"},
      {dir_ + "PKT_20261209.11", "PKT_20261209.11: cannot be read"},
  };
  for (const Case& c : cases) {
    std::remove(html.c_str());
    std::string err;
    EXPECT_EQ(Report({"--out", html, good, c.file}, &err), 1) << c.file;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_FALSE(std::ifstream(html).good()) << "no page without --keep-going: " << c.file;
  }
  // A file cut inside a record is read to its last whole record, said,
  // and the page comes: damage (code 1), not a reason to refuse it.
  {
    std::remove(html.c_str());
    std::string said;
    EXPECT_EQ(Report({"--out", html, good, cut}, &said), 1);
    EXPECT_NE(said.find("PKT_20261209.08: cut inside a record: 100 bytes after the last whole record "
                        "(3 records read)"),
              std::string::npos)
        << said;
    EXPECT_NE(Slurp(html).find("data-file=\"PKT_20261209.08\" data-records=\"3\""), std::string::npos);
  }
  // Going on: the page comes, says what was skipped, and the code is 1.
  std::string err;
  EXPECT_EQ(Report({"--keep-going", "--out", html, good, cut, notPackets, empty}, &err), 1);
  const std::string page = Slurp(html);
  EXPECT_NE(page.find("PKT_20261209.09: record 1 has"), std::string::npos);
  EXPECT_NE(page.find("data-file=\"PKT_20261209.08\" data-records=\"3\""), std::string::npos);
  EXPECT_NE(page.find("data-bad=\"1\""), std::string::npos);
  // Usage errors come before any file is read.
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{good}, {"--out", html}, {"--from", "yesterday", "--out", html, good},
                                             {"--from", "2026-12-09 08:00", "--to", "2026-12-09 07:00", "--out", html, good},
                                             {"--format", "json", "--out", html, good}}) {
    EXPECT_EQ(Report(args, &err), 2) << args[0];
  }
}

TEST_F(ReportTest, ThePageIsNeverWrittenOverAnInputAndIsWholeOrNotThere) {
  const std::string pkt = dir_ + "PKT_20261209.07";
  ASSERT_EQ(std::system((maker_ + " 2000 " + pkt + " --start " + std::to_string(kStart)).c_str()), 0);
  const std::string capture = Slurp(pkt);
  // One of the inputs, by its name or another: refused before anything is
  // read, as every mode refuses it, and the capture stays as it was.
  for (const std::string& out : {pkt, dir_ + "./PKT_20261209.07"}) {
    std::string err;
    EXPECT_EQ(Report({"--out", out, pkt}, &err), 2) << out;
    EXPECT_EQ(err, "pktdump: --out " + out + " is the input " + pkt + "; see pktdump --help\n");
    EXPECT_TRUE(Slurp(pkt) == capture) << "the capture was written over";
  }
  // Usage errors are one line, as in every mode; -- ends the options.
  const std::string page = dir_ + "x.html";
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string said;
  } const cases[] = {
      {{"--from", "yesterday", "--out", page, pkt}, 2,
       "--from is a local time, YYYY-MM-DD HH:MM[:SS], not 'yesterday'; see pktdump --help"},
      {{"--format", "json", "--out", page, pkt}, 2, "--format is not an option of report; see pktdump --help"},
      {{pkt}, 2, "report needs --out (a file, or - for standard output); see pktdump --help"},
      {{"--to", "2026-12-09 07:14x", "--out", page, pkt}, 2,
       "--to is a local time, YYYY-MM-DD HH:MM[:SS], not '2026-12-09 07:14x'; see pktdump --help"},
      {{"--from", "2026-02-31 10:00", "--out", page, pkt}, 2,
       "--from is a local time, YYYY-MM-DD HH:MM[:SS], not '2026-02-31 10:00'; see pktdump --help"},
      {{"--out", page, "--", "--keep-going"}, 1, "--keep-going: cannot be read: No such file or directory"},
  };
  for (const Case& c : cases) {
    std::string err;
    EXPECT_EQ(Report(c.args, &err), c.code) << c.said;
    EXPECT_EQ(err, "pktdump: " + c.said + "\n");
  }
  EXPECT_FALSE(std::ifstream(page).good()) << "no page after a usage error or a bad input";
  // A disk that fills part-way: what was there before stays, and no part
  // of the page is left.
  char dir[] = "/tmp/report_disk_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string disk = dir;
  if (std::system(("mount -t tmpfs -o size=16k tmpfs " + disk + " 2>/dev/null").c_str()) != 0) {
    std::system(("rmdir " + disk).c_str());
    GTEST_SKIP() << "a small tmpfs cannot be mounted here (the test command runs as root)";
  }
  const std::string html = disk + "/night.html";
  std::ofstream(html, std::ios::binary) << "before";
  std::string err;
  EXPECT_EQ(Report({"--out", html, pkt}, &err), 1);
  EXPECT_EQ(err, "pktdump: " + html + ": cannot be written (disk full?)\n");
  EXPECT_EQ(Slurp(html), "before");
  EXPECT_FALSE(std::ifstream(html + ".pktdump-part").good()) << "a cut page was left";
  std::system(("umount " + disk + " && rmdir " + disk).c_str());
}

TEST_F(ReportTest, TwoFilesReadInParallelMakeThePageOfBothInOrder) {
  // Two workstations' hours, given in reverse: the page lists them in name
  // order, their numbers each their own.
  const std::string a = dir_ + "PKT_20261209.07", b = dir_ + "PKT_20261209.06";
  ASSERT_EQ(std::system((maker_ + " 20000 " + a + " --start " + std::to_string(kStart) + " --drop 10 7").c_str()), 0);
  ASSERT_EQ(std::system((maker_ + " 30000 " + b + " --start " + std::to_string(kStart - 3600) + " --rate 20").c_str()), 0);
  const std::string html = dir_ + "two.html";
  ASSERT_EQ(Report({"--out", html, a, b}), 0);
  const std::string page = Slurp(html);
  const std::size_t first = page.find("<tr data-file=\"PKT_20261209.06\" data-records=\"30000\" data-gaps=\"0\"");
  const std::size_t second = page.find("<tr data-file=\"PKT_20261209.07\" data-records=\"20000\" data-gaps=\"1\" data-lost=\"7\"");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, second);
  std::smatch span;
  ASSERT_TRUE(std::regex_search(page, span, std::regex("id=\"span\" data-from=\"([^\"]*)\" data-to=\"([^\"]*)\"")));
  EXPECT_EQ(span[1].str().substr(0, 19), "2026-12-09T06:00:00");
  EXPECT_EQ(span[2].str().substr(0, 16), "2026-12-09T07:03");
  // From 06:25 to 07:00 no file was recording: nobody was silent there.
  EXPECT_EQ(Marks(page, "silence").size(), 0u);
  EXPECT_GT(Marks(page, "gap").size(), 0u);
}

TEST_F(ReportTest, WhatWasLostBetweenAFoldersHoursCountsAsSummaryCountsIt) {
  // Hour 07 numbers 1..1000 (3 lost inside); hour 08 goes on from 1006:
  // 1001..1005 were lost between the files. The same two in another
  // folder each are two captures: nothing between them.
  const std::string start = std::to_string(kStart);
  const std::string a = dir_ + "PKT_20261209.07", b = dir_ + "PKT_20261209.08";
  ASSERT_EQ(std::system((maker_ + " 997 " + a + " --start " + start + " --drop 5 3").c_str()), 0);
  ASSERT_EQ(std::system((maker_ + " 500 " + b + " --start " + std::to_string(kStart + 3600) +
                         " --sequence 1006").c_str()), 0);
  const std::string html = dir_ + "hours.html";
  ASSERT_EQ(Report({"--out", html, b, a}), 0);
  std::string page = Slurp(html);
  EXPECT_NE(page.find("data-file=\"PKT_20261209.07\" data-records=\"997\" data-gaps=\"1\" data-lost=\"3\""), std::string::npos);
  EXPECT_NE(page.find("data-file=\"PKT_20261209.08\" data-records=\"500\" data-gaps=\"1\" data-lost=\"5\""), std::string::npos);
  const auto gaps = Marks(page, "gap");
  ASSERT_EQ(gaps.size(), 2u);
  EXPECT_EQ(gaps[1].time.substr(0, 19), "2026-12-09T08:00:00");
  // pktdump summary says the same.
  std::FILE* out = std::tmpfile();
  pktdump::Main({"summary", a, b}, out, stderr);
  std::rewind(out);
  std::string summary;
  for (int c; (c = std::fgetc(out)) != EOF;) summary += static_cast<char>(c);
  std::fclose(out);
  EXPECT_NE(summary.find("5 datagrams lost (sequence 1001 to 1005)"), std::string::npos) << summary;
  EXPECT_NE(summary.find("3 datagrams lost"), std::string::npos) << summary;

  Shell("mkdir -p " + dir_ + "ws12 " + dir_ + "ws14 && mv " + a + " " + dir_ + "ws12/ && mv " + b + " " + dir_ + "ws14/");
  ASSERT_EQ(Report({"--out", html, dir_ + "ws12/PKT_20261209.07", dir_ + "ws14/PKT_20261209.08"}), 0);
  page = Slurp(html);
  EXPECT_NE(page.find("data-file=\"ws14/PKT_20261209.08\" data-records=\"500\" data-gaps=\"0\""), std::string::npos);
}

TEST_F(ReportTest, ARecordedRunsNumbersBeforeTheFilesOrTheWindowAreNotCountedLost) {
  // Varnet tags its runs: a run's loss counts from its sequence 1. An hour
  // file from the middle of a run starts far above 1; those numbers are in
  // earlier files, as summary says, not lost, unless the file before says
  // where it ended.
  auto tagged = [&](const std::string& name, std::uint32_t first, std::uint32_t last, long start) {
    std::ofstream file(dir_ + name, std::ios::binary);
    for (std::uint32_t n = first; n <= last; ++n) {
      std::uint8_t buffer[varnet::kDatagramSize + 1] = {'C', 'P', ' ', '1', ' ', '1'};
      std::uint8_t record[varnet::kRecordSize];
      const varnet::Arrival arrival{116444736000000000ull + (start * 1000ull + (n - first) * 10ull) * 10000ull, n, 5};
      varnet::BuildRecord(1, buffer, 6, record, &arrival);
      file.write(reinterpret_cast<const char*>(record), sizeof record);
    }
    return dir_ + name;
  };
  const std::string a = tagged("PKT_20261209.07", 1, 1000, kStart);
  const std::string b = tagged("PKT_20261209.08", 1006, 1500, kStart + 3600);
  const std::string html = dir_ + "runs.html";
  struct Case {
    std::vector<std::string> args;
    std::string row;  // the file's row: its records, gaps and lost
    std::string note;
  } const cases[] = {
      {{a, b}, "data-file=\"PKT_20261209.08\" data-records=\"495\" data-gaps=\"1\" data-lost=\"5\"", ""},
      {{b}, "data-file=\"PKT_20261209.08\" data-records=\"495\" data-gaps=\"0\" data-lost=\"0\"",
       "PKT_20261209.08: 1,005 datagrams not in these files (sequence 1 to 1005): lost, or in an earlier file"},
      // A window that starts inside the run: what is before it is outside, not lost.
      {{"--from", "2026-12-09 07:00:05", "--to", "2026-12-09 08:00", a},
       "data-file=\"PKT_20261209.07\" data-records=\"500\" data-gaps=\"0\" data-lost=\"0\"", ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--out", html};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ASSERT_EQ(Report(args), 0) << c.row;
    const std::string page = Slurp(html);
    EXPECT_NE(page.find(c.row), std::string::npos) << c.row;
    if (!c.note.empty()) {
      EXPECT_NE(page.find(c.note), std::string::npos) << c.note;
    }
    EXPECT_EQ(Marks(page, "gap").size(), c.row.find("data-gaps=\"1\"") != std::string::npos ? 1u : 0u) << c.row;
  }
  // Two workstations' folders of the same hours: their files sort between
  // each other, and each still goes on from its own folder's hour before.
  Shell("mkdir -p " + dir_ + "ws12 " + dir_ + "ws14 && cp " + a + " " + b + " " + dir_ + "ws12/ && cp " +
        a + " " + b + " " + dir_ + "ws14/");
  ASSERT_EQ(Report({"--out", html, dir_ + "ws12/PKT_20261209.07", dir_ + "ws14/PKT_20261209.08",
                    dir_ + "ws12/PKT_20261209.08", dir_ + "ws14/PKT_20261209.07"}), 0);
  const std::string page = Slurp(html);
  for (const char* ws : {"ws12", "ws14"}) {
    const std::string row = std::string("data-file=\"") + ws +
                            "/PKT_20261209.08\" data-records=\"495\" data-gaps=\"1\" data-lost=\"5\"";
    EXPECT_NE(page.find(row), std::string::npos) << row;
  }
  EXPECT_EQ(page.find("not in these files"), std::string::npos);
}

TEST_F(ReportTest, TheGapTableListsTwoHundredAndCountsTheRest) {
  // Two files of 300 records, every other number lost: 299 gaps each.
  std::vector<std::string> paths;
  for (const char* name : {"PKT_20261209.07", "PKT_20261209.08"}) {
    std::ofstream file(dir_ + name, std::ios::binary);
    for (std::uint32_t n = 1; n <= 300; ++n) {
      std::uint8_t buffer[varnet::kDatagramSize + 1] = {'C', 'P', ' ', '1', ' ', '1'};
      std::uint8_t record[varnet::kRecordSize];
      const varnet::Arrival arrival{116444736000000000ull + (kStart * 1000ull + n * 10) * 10000ull, 2 * n - 1};
      varnet::BuildRecord(1, buffer, 6, record, &arrival);
      file.write(reinterpret_cast<const char*>(record), sizeof record);
    }
    paths.push_back(dir_ + name);
  }
  const std::string html = dir_ + "gaps.html";
  ASSERT_EQ(Report({"--out", html, paths[0], paths[1]}), 0);
  const std::string page = Slurp(html);
  const std::string table = page.substr(page.find("<table id=\"gap-table\">"));
  std::size_t rows = 0;
  for (std::size_t at = 0; (at = table.find("<tr data-file=", at)) != std::string::npos; ++at) ++rows;
  EXPECT_EQ(rows, 200u);
  EXPECT_NE(page.find("398 more gaps are counted above but not listed"), std::string::npos);
  // A number that came twice is counted, as summary and check count it.
  std::ofstream(paths[1], std::ios::binary | std::ios::app)
      << Slurp(paths[1]).substr(528 * 299, 528) << Slurp(paths[1]).substr(528 * 299, 528);
  ASSERT_EQ(Report({"--out", html, paths[1]}), 0);
  EXPECT_NE(Slurp(html).find("data-file=\"PKT_20261209.08\" data-records=\"302\" data-gaps=\"299\""),
            std::string::npos);
  EXPECT_NE(Slurp(html).find("data-bad=\"0\" data-repeats=\"2\""), std::string::npos);
}

TEST_F(ReportTest, AGapAfterTheClockWasSetWeeksAheadIsMarkedWhenItFell) {
  // A clock set 40 days ahead (a wrong date sent to the workstation): the
  // records after it carry the new date, and a gap among them falls there.
  const std::string pkt = dir_ + "PKT_20261209.07";
  {
    std::ofstream file(pkt, std::ios::binary);
    std::uint32_t sequence = 0;
    for (int n = 0; n < 200; ++n) {
      sequence += n == 150 ? 10 : 1;  // 9 lost before the 151st record
      const std::uint64_t ms = kStart * 1000ull + n * 10ull + (n >= 100 ? 40ull * 86400000ull : 0);
      std::uint8_t buffer[varnet::kDatagramSize + 1] = {'C', 'P', ' ', '1', ' ', '1'};
      std::uint8_t record[varnet::kRecordSize];
      const varnet::Arrival arrival{116444736000000000ull + ms * 10000ull, sequence, 0};
      varnet::BuildRecord(1, buffer, 6, record, &arrival);
      file.write(reinterpret_cast<const char*>(record), sizeof record);
    }
  }
  const std::string html = dir_ + "ahead.html";
  ASSERT_EQ(Report({"--out", html, pkt}), 0);
  const std::string page = Slurp(html);
  const auto gaps = Marks(page, "gap");
  ASSERT_EQ(gaps.size(), 1u);
  EXPECT_EQ(gaps[0].time.substr(0, 23), "2027-01-18T07:00:01.500");
  EXPECT_NE(page.find("data-time=\"2027-01-18T07:00:01.500+00:00\" data-lost=\"9\""), std::string::npos);
}

TEST_F(ReportTest, ThePageIsTheSameFoldedFileByFileAsFromEveryFileAtOnce) {
  // Two captures whose hours interleave in name order, with silences,
  // drops, a burst and a clock set, narrowed to a window: the page the
  // mode writes (files read in parallel, each folded and freed in name
  // order) is the page of every file's report kept until the end.
  struct Hour {
    const char* folder;
    int hour;
    const char* shape;
  } const hours[] = {
      {"ws12", 7, "--drop 150 4"},
      {"ws14", 7, "--burst 200 30 3"},
      {"ws12", 8, "--silent 4 250 150 --clock-set 300"},
      {"ws14", 8, "--silent 4 250 150 --drop 250 9"},
      {"ws12", 9, "--drop 50 2 --silent 4 200 150"},
  };
  Shell("mkdir -p " + dir_ + "ws12 " + dir_ + "ws14");
  std::vector<std::string> paths;
  for (const Hour& h : hours) {
    char name[32];
    std::snprintf(name, sizeof name, "PKT_20261209.%02d", h.hour);
    paths.push_back(dir_ + h.folder + "/" + name);
    ASSERT_EQ(std::system((maker_ + " 4000 " + paths.back() + " --start " +
                           std::to_string(kStart + 3600 * (h.hour - 7)) + " --rate 10 " + h.shape).c_str()), 0);
  }
  pktdump::report::PageOptions options;
  ASSERT_TRUE(pktdump::report::ParseLocalTime("2026-12-09 07:02", &options.window.from));
  ASSERT_TRUE(pktdump::report::ParseLocalTime("2026-12-09 09:10", &options.window.to));
  const std::string html = dir_ + "folded.html";
  ASSERT_EQ(Report({"--out", html, "--from", "2026-12-09 07:02", "--to", "2026-12-09 09:10",
                    paths[4], paths[1], paths[3], paths[0], paths[2]}), 0);
  const std::string page = Slurp(html);

  // The reports in name order, each going on from its folder's hour before.
  std::vector<std::unique_ptr<pktdump::report::FileReport>> all;
  pktdump::report::PageData folded;
  folded.window = options.window;
  for (const std::string& path : paths) {
    const std::string name = path.substr(path.rfind('/') + 1);
    auto f = std::make_unique<pktdump::report::FileReport>(
        name, pktdump::report::HourOfName(name), "", options.window);
    f->SetFolder(pktdump::Directory(path));
    const std::string bytes = Slurp(path);
    for (std::size_t at = 0; at + varnet::kRecordSize <= bytes.size(); at += varnet::kRecordSize) {
      varnet::RecordView view;
      ASSERT_TRUE(varnet::ReadRecord(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at,
                                     varnet::kRecordSize, view));
      f->Add(static_cast<std::int64_t>(at / varnet::kRecordSize + 1), view);
    }
    f->Finish();
    folded.Fold(*f);
    all.push_back(std::move(f));
  }
  folded.Finish();
  // Two captures: the page compares them, reading their files again.
  pktdump::fleet::Settings settings;
  settings.window = options.window;
  pktdump::fleet::Result compared;
  ASSERT_TRUE(pktdump::fleet::Compare(folded, paths, settings, &compared, stderr));
  options.fleet = &compared;
  std::vector<const pktdump::report::FileReport*> files;
  for (const auto& f : all) files.push_back(f.get());
  EXPECT_EQ(page, pktdump::report::RenderPage(files, options));
  EXPECT_EQ(page, pktdump::report::RenderPage(folded, options));
  // And it shows what each part folds: device 4's silences as each capture
  // heard them (ws12 at 08 and 09, ws14 at 08).
  EXPECT_EQ(Marks(page, "silence").size(), 3u);
  EXPECT_EQ(Marks(page, "clock-set").size(), 1u);
  EXPECT_EQ(Marks(page, "gap").size(), 3u);
  EXPECT_NE(page.find("data-row=\"ws14/\" data-files=\"2\""), std::string::npos);
  EXPECT_NE(page.find("<h2 id=\"fleet\">"), std::string::npos);
}

// The pages for a known set of captures (two workstations' folders with
// silences, drops, a burst and a clock set, and the shipped sample in a
// third), whole and in a window, against the copies kept beside this test:
// a change to the page is made there on purpose (run with TRELM_PIN_WRITE=1
// to write them), never by accident.
TEST_F(ReportTest, ThePagesForKnownCapturesArePinned) {
  const struct {
    const char* folder;
    int hour;
    const char* shape;
  } hours[] = {
      {"ws12", 7, "--drop 150 4"},
      {"ws14", 7, "--burst 200 30 3"},
      {"ws12", 8, "--silent 4 250 150 --clock-set 300"},
      {"ws14", 8, "--silent 4 250 150 --drop 250 9"},
  };
  std::vector<std::string> args;
  for (const auto& h : hours) {
    char name[32];
    std::snprintf(name, sizeof name, "PKT_20261209.%02d", h.hour);
    Shell("mkdir -p " + dir_ + h.folder);
    args.push_back(dir_ + h.folder + "/" + name);
    ASSERT_EQ(std::system((maker_ + " 2000 " + args.back() + " --start " +
                           std::to_string(kStart + 3600 * (h.hour - 7)) + " --rate 10 " + h.shape).c_str()), 0);
  }
  const char* sample = std::getenv("TRELM_PKTDUMP_SAMPLE");
  ASSERT_NE(sample, nullptr) << "TRELM_PKTDUMP_SAMPLE names the shipped sample";
  Shell("mkdir -p " + dir_ + "ws16 && cp " + sample + " " + dir_ + "ws16/");
  args.push_back(dir_ + "ws16");
  const struct {
    const char* name;
    std::vector<std::string> options;
  } pages[] = {{"report_whole.html", {}},
               {"report_window.html", {"--from", "2026-12-09 07:40", "--to", "2026-12-09 08:20"}}};
  for (const auto& p : pages) {
    std::vector<std::string> all = {"--out", dir_ + p.name};
    all.insert(all.end(), p.options.begin(), p.options.end());
    all.insert(all.end(), args.begin(), args.end());
    ASSERT_EQ(Report(all), 0) << p.name;
    const std::string page = Slurp(dir_ + p.name), pinned = std::string(TRELM_PIN_DIR "/") + p.name;
    if (std::getenv("TRELM_PIN_WRITE") != nullptr) std::ofstream(pinned, std::ios::binary) << page;
    EXPECT_TRUE(page == Slurp(pinned)) << p.name << " differs from " << pinned;
  }
}

TEST_F(ReportTest, ABrowserRendersThePage) {
  const std::string chromium = Shell("command -v chromium");
  if (chromium.empty()) GTEST_SKIP() << "chromium (installed by tools/setup.sh)";
  const std::string pkt = dir_ + "PKT_20261209.07";
  ASSERT_EQ(std::system((maker_ + " 20000 " + pkt + " --start " + std::to_string(kStart) +
                         " --silent 6 60 40 --drop 120 12 --clock-set 150").c_str()), 0);
  const std::string html = dir_ + "shown.html", png = dir_ + "shown.png";
  ASSERT_EQ(Report({"--out", html, pkt}), 0);
  // A headless browser of its own profile, offline, bounded in time.
  Shell("timeout 90 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync "
        "--user-data-dir=" + dir_ + "profile --screenshot=" + png +
        " --window-size=1280,2000 file://" + html + " >/dev/null 2>&1");
  const std::string image = Slurp(png);
  ASSERT_GT(image.size(), 20000u) << "no screenshot";
  EXPECT_EQ(image.substr(1, 3), "PNG");
  // 1280 wide, 2000 high, as asked.
  auto be32 = [&](std::size_t at) {
    return (static_cast<unsigned char>(image[at]) << 24) | (static_cast<unsigned char>(image[at + 1]) << 16) |
           (static_cast<unsigned char>(image[at + 2]) << 8) | static_cast<unsigned char>(image[at + 3]);
  };
  EXPECT_EQ(be32(16), 1280);
  EXPECT_EQ(be32(20), 2000);
}

}  // namespace

TEST_F(ReportTest, ALocalTimeTheClockPassesTwiceOrNeverIsRefusedAndTheAxisMarksTheChange) {
  // Berlin: the clock goes back from 03:00 to 02:00 on 25 October 2026, and
  // forward from 02:00 to 03:00 on 29 March 2026.
  const char* zone = std::getenv("TZ");
  const std::string kept = zone != nullptr ? zone : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  struct Case {
    const char* text;
    bool taken;
    const char* why;  // part of the refusal
  } const cases[] = {
      {"2026-10-25 02:30", false, "is two times here"},
      {"2026-03-29 02:30", false, "is no time here"},
      {"2026-10-25T02:30:00+02:00", true, ""},
      {"2026-10-25T02:30:00+01:00", true, ""},
      {"2026-10-25 03:30", true, ""},
      {"2026-10-25 01:59:59", true, ""},
  };
  for (const Case& c : cases) {
    std::int64_t ms = 0;
    std::string why;
    EXPECT_EQ(pktdump::report::ParseLocalTime(c.text, &ms, &why), c.taken) << c.text;
    EXPECT_NE(why.find(c.why), std::string::npos) << c.text << ": " << why;
  }
  std::int64_t first = 0, second = 0;
  ASSERT_TRUE(pktdump::report::ParseLocalTime("2026-10-25T02:30:00+02:00", &first));
  ASSERT_TRUE(pktdump::report::ParseLocalTime("2026-10-25T02:30:00+01:00", &second));
  EXPECT_EQ(second - first, 3600000);
  // The refusal is the usage error, with its reason.
  std::string err;
  EXPECT_EQ(Report({"--from", "2026-10-25 02:30", "--out", dir_ + "x.html", dir_ + "none"}, &err), 2);
  EXPECT_NE(err.find("--from 2026-10-25 02:30 is two times here"), std::string::npos) << err;
  // An hour either side of the change (00:30 to 01:30 UTC): one mark.
  const std::string pkt = dir_ + "PKT_20261025.02";
  ASSERT_EQ(std::system((maker_ + " 3600 " + pkt + " --start 1792888200 --rate 1").c_str()), 0);
  const std::string html = dir_ + "autumn.html";
  ASSERT_EQ(Report({"--out", html, pkt}), 0);
  const std::string page = Slurp(html);
  // On every plot's axis, at one time: 03:00 summer time, 01:00 UTC.
  std::set<std::string> times;
  for (std::size_t at = 0; (at = page.find("<g class=\"clock-change\" data-time=\"", at)) != std::string::npos; ++at) {
    const std::size_t from = at + std::string("<g class=\"clock-change\" data-time=\"").size();
    times.insert(page.substr(from, page.find('"', from) - from));
  }
  EXPECT_EQ(times, (std::set<std::string>{"2026-10-25T02:00:00.000+01:00"}));
  EXPECT_NE(page.find("UTC+02:00 \u2192 UTC+01:00"), std::string::npos);
  setenv("TZ", kept.c_str(), 1);
  if (zone == nullptr) unsetenv("TZ");
  tzset();
}

namespace {

// The page from the span on: what two ways of asking for one window must
// agree on.
std::string FromSpan(const std::string& page) {
  const std::size_t at = page.find("id=\"span\"");
  return at == std::string::npos ? std::string() : page.substr(at);
}

std::string Span(const std::string& page, const char* which) {
  std::smatch m;
  const std::regex span(std::string("id=\"span\"[^>]*data-") + which + "=\"([^\"]*)\"");
  return std::regex_search(page, m, span) ? m[1].str() : "";
}

}  // namespace

TEST_F(ReportTest, LastUtcAndDevicesAskTheQuestionsAnEngineerAsks) {
  // 2,000 s at 10 a second from 07:00 UTC: the latest arrival is 07:33:19.900.
  const std::string file = dir_ + "PKT_20261209.07";
  ASSERT_EQ(std::system((maker_ + " 20000 " + file + " --start " + std::to_string(kStart) +
                         " --rate 10").c_str()), 0);
  auto page = [&](std::vector<std::string> args) {
    const std::string html = dir_ + "ask.html";
    args.insert(args.end(), {"--out", html, file});
    std::string err;
    EXPECT_EQ(Report(args, &err), 0) << err;
    return Slurp(html);
  };
  // --last ends at the latest arrival and agrees with --from/--to there,
  // in local time (Berlin: UTC+1 in December) and in UTC.
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  const std::string last = page({"--last", "10m"});
  EXPECT_EQ(Span(last, "from"), "2026-12-09T08:23:19.901+01:00");
  EXPECT_EQ(Span(last, "to"), "2026-12-09T08:33:19.901+01:00");
  const std::string local = page({"--from", "2026-12-09 08:23:19.901", "--to", "2026-12-09 08:33:19.901"});
  EXPECT_EQ(FromSpan(local), FromSpan(last));
  const std::string utc = page({"--utc", "--from", "2026-12-09 07:23:19.901", "--to", "2026-12-09 07:33:19.901"});
  EXPECT_EQ(FromSpan(utc), FromSpan(page({"--utc", "--last", "10m"})));
  EXPECT_EQ(Span(utc, "from"), "2026-12-09T07:23:19.901+00:00");
  EXPECT_NE(utc.find("Times are UTC (--utc)"), std::string::npos);
  EXPECT_EQ(utc.find("+01:00"), std::string::npos) << "every time of the page in UTC";
  // The same window's figures whichever clock reads it.
  std::smatch a, b;
  const std::regex records("data-file=\"PKT_20261209.07\" data-records=\"(\\d+)\"");
  ASSERT_TRUE(std::regex_search(local, a, records));
  ASSERT_TRUE(std::regex_search(utc, b, records));
  EXPECT_EQ(a[1].str(), "6000");
  EXPECT_EQ(b[1].str(), a[1].str());
  // A time that gives its zone is read as given, --utc or not.
  EXPECT_EQ(FromSpan(page({"--utc", "--from", "2026-12-09T08:23:19.901+01:00", "--to",
                           "2026-12-09T07:33:19.901Z"})),
            FromSpan(utc));
  setenv("TZ", "UTC", 1);
  tzset();

  // --device draws those devices whatever their traffic, one without any
  // saying so, and the page names every device it did not draw.
  const std::string whole = page({});
  std::smatch notDrawn;
  ASSERT_TRUE(std::regex_search(whole, notDrawn, std::regex("class=\"not-drawn\" data-count=\"(\\d+)\"")));
  const std::regex strip("<g class=\"strip\" data-kind=\"device\" data-id=\"(\\d+)\"");
  std::set<std::string> drawn;
  for (auto it = std::sregex_iterator(whole.begin(), whole.end(), strip); it != std::sregex_iterator(); ++it) {
    drawn.insert((*it)[1]);
  }
  const std::size_t heard = drawn.size() + std::stoul(notDrawn[1].str());
  const std::string asked = page({"--device", "4000", "--device", "75", "--device", "75"});
  std::vector<std::string> askedStrips;
  for (auto it = std::sregex_iterator(asked.begin(), asked.end(), strip); it != std::sregex_iterator(); ++it) {
    askedStrips.push_back((*it)[1]);
  }
  EXPECT_EQ(askedStrips, (std::vector<std::string>{"75", "4000"}));
  EXPECT_NE(asked.find("Device 4000 sent no revertive in this window"), std::string::npos);
  ASSERT_TRUE(std::regex_search(asked, notDrawn, std::regex("class=\"not-drawn\" data-count=\"(\\d+)\">Not drawn: devices ([^(]*) \\(")));
  EXPECT_EQ(std::stoul(notDrawn[1].str()), heard - 1) << "all heard but device 75";
  EXPECT_EQ(notDrawn[2].str().find("75,"), std::string::npos);
  EXPECT_NE(asked.find("those asked for with --device"), std::string::npos);

  // Refused: --last with --from, with standard input, or no span.
  std::string err;
  for (const auto& bad : std::vector<std::vector<std::string>>{
           {"--last", "1h", "--from", "2026-12-09 07:00", "--out", "-", file},
           {"--last", "1h", "--out", dir_ + "x.html", "-"},
           {"--last", "0m", "--out", "-", file},
           {"--last", "1m1h", "--out", "-", file},
           {"--last", "h", "--out", "-", file},
           {"--utc", "--from", "2026-12-09 25:00", "--out", "-", file}}) {
    EXPECT_EQ(Report(bad, &err), 2) << bad[1];
  }
}

TEST_F(ReportTest, TheEventsTableIsInTimeOrderWithEachTextsRepeatsFolded) {
  // Two workstations' hours of text revertives, one a second: two texts
  // repeated all along, one heard once, and a time set in the middle.
  const auto write = [&](const std::string& path, std::int64_t startSeconds) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    for (int i = 0; i < 300; ++i) {
      std::string text = i % 2 == 0 ? "RD 5 READY" : "RD 7 READY";
      if (i == 7) text = "RD 9 READY";
      if (i == 150) text = "TS 09 12 2026 07 02 30 050";
      std::uint8_t buffer[varnet::kDatagramSize + 1] = {};
      std::memcpy(buffer, text.data(), text.size());
      varnet::Arrival arrival;
      arrival.filetime = trelm::MsFiletime((startSeconds + i) * 1000);
      arrival.sequence = static_cast<std::uint32_t>(i + 1);
      arrival.run = 0;
      std::uint8_t record[varnet::kRecordSize];
      varnet::BuildRecord(varnet::kRecordRevertive, buffer, static_cast<std::uint16_t>(text.size()),
                          record, &arrival);
      ASSERT_EQ(std::fwrite(record, 1, sizeof record, out), sizeof record);
    }
    std::fclose(out);
  };
  Shell("mkdir -p " + dir_ + "ws1 " + dir_ + "ws2");
  write(dir_ + "ws1/PKT_20261209.07", kStart);
  write(dir_ + "ws2/PKT_20261209.07", kStart + 100);
  const std::string file = dir_ + "ws1 " + dir_ + "ws2";
  const std::string html = dir_ + "events.html";
  ASSERT_EQ(Report({"--out", html, dir_ + "ws1", dir_ + "ws2"}), 0);
  const std::string page = Slurp(html);
  const std::regex row("<tr data-kind=\"([^\"]*)\" data-time=\"([^\"]*)\" data-file=\"([^/\"]*)[^>]*"
                       "data-count=\"(\\d+)\">(?:<td[^>]*>[^<]*</td>){4}<td class=\"x\">([^<]*)</td>");
  std::uint64_t listed = 0, folded = 0;
  std::string before;
  std::set<std::string> texts;
  bool clockSet = false;
  for (auto it = std::sregex_iterator(page.begin(), page.end(), row); it != std::sregex_iterator(); ++it) {
    const std::string kind = (*it)[1], time = (*it)[2], folder = (*it)[3], text = (*it)[5];
    const std::uint64_t count = std::stoull((*it)[4]);
    EXPECT_LE(before, time) << "time order";
    before = time;
    EXPECT_TRUE(texts.insert(folder + "|" + kind + "|" + text).second) << "one row per text: " << text;
    listed += count;
    folded += count > 1 ? 1 : 0;
    clockSet = clockSet || kind == "clock-set";
  }
  // Each capture's repeats are its own rows: RD 5 and RD 7 twice each.
  EXPECT_EQ(folded, 4u);
  EXPECT_TRUE(clockSet);
  EXPECT_NE(page.find("data-file=\"ws1/PKT_20261209.07\" data-record=\"1\" data-count=\"149\">"
                      "<td class=\"t\">2026-12-09 07:00:00.000</td>"),
            std::string::npos);
  EXPECT_NE(page.find("<td class=\"x\">RD 5 READY</td><td class=\"n\">149</td>"
                      "<td class=\"t\">2026-12-09 07:04:58.000</td>"),
            std::string::npos)
      << "the count and the last";
  // Every event is listed in a row's count or counted as not listed.
  std::uint64_t all = 0;
  const std::regex count("<b data-kind=\"[^\"]*\" class=\"count\">([\\d,]+)</b>");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), count); it != std::sregex_iterator(); ++it) {
    std::string n = (*it)[1];
    n.erase(std::remove(n.begin(), n.end(), ','), n.end());
    all += std::stoull(n);
  }
  std::smatch more;
  std::uint64_t notListed = 0;
  if (std::regex_search(page, more, std::regex("id=\"not-listed\">([\\d,]+) more"))) {
    std::string n = more[1];
    n.erase(std::remove(n.begin(), n.end(), ','), n.end());
    notListed = std::stoull(n);
  }
  EXPECT_EQ(listed + notListed, all);
}
