// The metrics file: its text as a scraper reads it, its counters against
// the capture log's close lines over a run with traffic, loss of every
// kind, devices heard and a channel down and back; when it is written; its
// settings; its failures; and the escaping of its texts.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/run_figures.h"
#include "core/metrics_text.h"
#include "prom_text.h"
#include "varnet_rig.h"

namespace varnet {
namespace {

constexpr const char* kProm = "c:\\metrics\\varnet.prom";
// The fake clock's start, 2009-10-01 07:15:02.480 UTC, in Unix seconds.
constexpr double kStart = 1254381302.480;
constexpr const char* kLost = "varnet_datagrams_lost_total{reason=";

std::string Lost(const char* reason) { return std::string(kLost) + reason + "}"; }

class MetricsTest : public ::testing::Test, public VarnetRig {
 protected:
  MetricsTest() : VarnetRig("7", true) {
    host.Set(kIni, "Metrics", "MetricsFile", kProm);
    host.Set(kIni, "Metrics", "MetricsSeconds", "2");
  }
  prom_text::Scrape Scraped() {
    prom_text::Scrape s = prom_text::Parse(host.files[kProm]);
    EXPECT_EQ(s.error, "") << host.files[kProm];
    return s;
  }
  // The fake clock's now in Unix seconds.
  double Now() const { return kStart + static_cast<double>(host.ticks - 1000000) / 1000.0; }
  int Writes() { return host.replacements[kProm]; }
};

// A GPI revertive of one device: its 16-byte header and one state.
std::string Gpi(int device) {
  std::string header = "GR " + std::to_string(device) + " 1 1";
  header.resize(16, ' ');
  return header + "1";
}

// The close's counts, from its lines: "Run totals: ..." and the "Lost in
// this run: ..." lines where something was lost (else 0).
std::map<std::string, double> CloseCounts(const std::vector<std::string>& texts) {
  std::map<std::string, double> c;
  unsigned long long a = 0, b = 0, q = 0, m = 0, d = 0, r = 0, w = 0;
  int totals = 0;
  for (const std::string& t : texts) {
    if (std::sscanf(t.c_str(), "Run totals: %llu datagrams received, %llu recorded", &a, &b) == 2) {
      c["varnet_datagrams_received_total"] = static_cast<double>(a);
      c["varnet_datagrams_recorded_total"] = static_cast<double>(b);
      ++totals;
    }
    if (std::sscanf(t.c_str(), "Lost in this run: %llu lines and %llu records not written", &a,
                    &b) == 2) {
      c["varnet_log_lines_lost_total"] = static_cast<double>(a);
      c[Lost("not_written")] = static_cast<double>(b);
    }
    if (std::sscanf(t.c_str(),
                    "Lost in this run: %llu datagrams dropped (queue full), %llu malformed, %llu "
                    "while the channel was down, %llu during replay, %llu waiting at the close",
                    &q, &m, &d, &r, &w) == 5) {
      c[Lost("queue_full")] = static_cast<double>(q);
      c[Lost("malformed")] = static_cast<double>(m);
      c[Lost("channel_down")] = static_cast<double>(d);
      c[Lost("replay")] = static_cast<double>(r);
      c[Lost("waiting_at_close")] = static_cast<double>(w);
    }
  }
  EXPECT_EQ(totals, 1) << "one totals line at the close";
  for (const char* key : {"varnet_log_lines_lost_total"}) c.emplace(key, 0.0);
  for (const char* reason :
       {"queue_full", "malformed", "channel_down", "replay", "waiting_at_close", "not_written"}) {
    c.emplace(Lost(reason), 0.0);
  }
  return c;
}

TEST_F(MetricsTest, ARunsCountersAgreeWithTheCloseLinesThroughLossOfEveryKind) {
  Start();
  prom_text::Scrape s = Scraped();
  ASSERT_EQ(Writes(), 1) << "written once at the start";
  const std::vector<std::string> families = {
      "varnet_datagrams_received_total", "varnet_datagrams_recorded_total",
      "varnet_datagrams_lost_total", "varnet_log_lines_lost_total", "varnet_channel_up",
      "varnet_run_start_time_seconds", "varnet_retention_deleted_files_total",
      "varnet_retention_deleted_bytes_total"};
  EXPECT_EQ(s.families, families) << "no datagram yet: no last datagram, no device";
  EXPECT_EQ(s.types["varnet_datagrams_lost_total"], "counter");
  EXPECT_EQ(s.types["varnet_channel_up"], "gauge");
  EXPECT_NEAR(s.At("varnet_run_start_time_seconds"), kStart, 1e-4);
  EXPECT_EQ(s.At("varnet_channel_up"), 1);
  EXPECT_EQ(s.samples.size(), 13u);

  double t12 = 0, t13 = 0, t40 = 0, t15 = 0, t51 = 0;
  struct Step {
    const char* what;
    std::function<void()> act;
    std::function<std::map<std::string, double>()> expect;
    std::vector<std::string> absent;
  };
  const std::vector<Step> steps = {
      {"commands and a revertive: their devices heard",
       [&] {
         Arrive(1, "CP 12 1");
         t12 = Now();
         host.Advance(250);
         Arrive(1, "CP 13 1:CP 14 1");
         t13 = Now();
         host.Advance(250);
         Arrive(2, Gpi(40));
         t40 = Now();
       },
       [&] {
         return std::map<std::string, double>{
             {"varnet_datagrams_received_total", 3}, {"varnet_datagrams_recorded_total", 3},
             {"varnet_device_last_heard_time_seconds{device=12}", t12},
             {"varnet_device_last_heard_time_seconds{device=13}", t13},
             {"varnet_device_last_heard_time_seconds{device=14}", t13},
             {"varnet_device_last_heard_time_seconds{device=40}", t40},
             {"varnet_last_datagram_time_seconds", t40}};
       },
       {"varnet_device_last_heard_time_seconds{device=1}"}},
      {"the wrapper drops some and finds some malformed",
       [&] {
         net.loss.dropped = 4;
         net.loss.malformed = 2;
       },
       [&] {
         return std::map<std::string, double>{{Lost("queue_full"), 4}, {Lost("malformed"), 2}};
       },
       {}},
      {"a full disk: two records and their lines not written",
       [&] {
         host.space = 0;
         Arrive(1, "CP 15 1");
         t15 = Now();
         Arrive(1, "CP 16 1");
         host.space = -1;
         Arrive(1, "CP 17 1");
       },
       [&] {
         return std::map<std::string, double>{
             {"varnet_datagrams_received_total", 6}, {"varnet_datagrams_recorded_total", 4},
             {Lost("not_written"), 2}, {"varnet_log_lines_lost_total", 2},
             {"varnet_device_last_heard_time_seconds{device=15}", t15}};
       },
       {}},
      {"the channel goes down: what comes meanwhile is lost",
       [&] {
         FakeNet::Request* inFlight = net.Arrive(2, "RD late");
         Arrive(1, "", 0x17);
         app.OnNetCompletion(kNcbDatagramReceive, inFlight);
         net.loss.unclaimed = 3;
       },
       [&] {
         return std::map<std::string, double>{{"varnet_channel_up", 0},
                                              {Lost("channel_down"), 4},
                                              {"varnet_datagrams_received_total", 6}};
       },
       {}},
      {"and comes back",
       [&] {
         host.Advance(10000);
         app.OnTimer(kTimerReset);
         ASSERT_FALSE(app.Net().InReset());
       },
       [&] { return std::map<std::string, double>{{"varnet_channel_up", 1}}; },
       {}},
      {"a replay drops what comes while it runs",
       [&] {
         const std::uint8_t deviceControl = 3;  // its number since the reset
         app.Net().SetReplayRunning(true);
         Arrive(deviceControl, "CP 50 1");
         app.Net().SetReplayRunning(false);
         Arrive(deviceControl, "CP 51 1");
         t51 = Now();
       },
       [&] {
         return std::map<std::string, double>{
             {Lost("replay"), 1}, {"varnet_datagrams_received_total", 7},
             {"varnet_device_last_heard_time_seconds{device=51}", t51},
             {"varnet_last_datagram_time_seconds", t51}};
       },
       {"varnet_device_last_heard_time_seconds{device=50}"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    const int writes = Writes();
    step.act();
    Tick(2);
    EXPECT_GT(Writes(), writes) << "written on the idle tick";
    const prom_text::Scrape now = Scraped();
    for (const auto& [key, value] : step.expect()) {
      EXPECT_TRUE(now.Has(key)) << key;
      EXPECT_NEAR(now.At(key), value, 1e-4) << key;
    }
    for (const std::string& key : step.absent) EXPECT_FALSE(now.Has(key)) << key;
    // Counters never go back, and no figure goes missing.
    for (const auto& [key, value] : s.samples) {
      EXPECT_TRUE(now.Has(key)) << key;
      const std::string family = key.substr(0, key.find('{'));
      if (s.types[family] == "counter") {
        EXPECT_GE(now.At(key), value) << key;
      }
    }
    EXPECT_EQ(now.At("varnet_datagrams_lost_total{reason=waiting_at_close}"), 0)
        << "nothing is lost waiting before the close";
    s = now;
  }

  // The close: its lines and the file's last writing say the same.
  net.loss.waiting = 5;
  const int writes = Writes();
  app.CloseProgram();
  EXPECT_EQ(Writes(), writes + 1);
  const prom_text::Scrape last = Scraped();
  const std::map<std::string, double> close = CloseCounts(Texts(kLog07));
  EXPECT_EQ(close.size(), 9u);
  for (const auto& [key, value] : close) EXPECT_EQ(last.At(key), value) << key;
  EXPECT_EQ(last.At(Lost("waiting_at_close")), 5);
  EXPECT_EQ(last.At("varnet_datagrams_received_total"),
            last.At("varnet_datagrams_recorded_total") + last.At(Lost("not_written")))
      << "every datagram received is recorded or counted";
  const std::vector<std::string> texts = Texts(kLog07);
  EXPECT_EQ(texts.back(), "Log Closed");
  EXPECT_EQ(texts[texts.size() - 4], "Run totals: 7 datagrams received, 5 recorded");
  EXPECT_TRUE(host.errors.empty());
}

TEST_F(MetricsTest, WrittenAtTheStartEveryMetricsSecondsAlsoWhenTheTickIsHeldBackAndAtTheClose) {
  host.Set(kIni, "Metrics", "MetricsSeconds", "3");
  Start();
  EXPECT_EQ(Writes(), 1);
  Tick(2);
  EXPECT_EQ(Writes(), 1);
  Tick(1);
  EXPECT_EQ(Writes(), 2);
  Tick(3);
  EXPECT_EQ(Writes(), 3);
  // Completions hold the timer's message back: the tick runs between them.
  host.Advance(1600);
  Arrive(1, "CP 1 1");
  EXPECT_EQ(Writes(), 3);
  host.Advance(1600);
  Arrive(1, "CP 2 1");
  EXPECT_EQ(Writes(), 4);
  EXPECT_EQ(Scraped().At("varnet_datagrams_received_total"), 2);
  host.Advance(100);
  app.OnTimer(kTimerIdle);  // the held-back message itself: the same turn
  EXPECT_EQ(Writes(), 4);
  app.CloseProgram();
  EXPECT_EQ(Writes(), 5);
  // Its starting line says where and how often.
  EXPECT_EQ(Count(Texts(kLog07), "Metrics file 'c:\\metrics\\varnet.prom' written every 3 seconds"),
            1);
}

TEST_F(MetricsTest, WhatRetentionDeletedIsCountedAsTheClosesRetentionLineSaysIt) {
  // Two hours ten days old, and one of today that stays.
  host.Set(kIni, "Retention", "KeepDays", "2");
  host.files["c:\\logs\\LOG_20090921.06"] = std::string(1000, 'l');
  host.files["c:\\logs\\PKT_20090921.06"] = std::string(2 * kRecordSize, 'p');
  host.files["c:\\logs\\LOG_20090921.07"] = std::string(300, 'l');
  host.files["c:\\logs\\LOG_20091001.05"] = std::string(10, 'l');
  Start();
  Tick(2);
  const prom_text::Scrape s = Scraped();
  EXPECT_EQ(s.At("varnet_retention_deleted_files_total"), 3);
  EXPECT_EQ(s.At("varnet_retention_deleted_bytes_total"), 1300 + 2 * kRecordSize);
  EXPECT_EQ(host.files.count("c:\\logs\\LOG_20091001.05"), 1u);
  app.CloseProgram();
  const prom_text::Scrape last = Scraped();
  unsigned long long files = 0, hours = 0, bytes = 0;
  int lines = 0;
  for (const std::string& t : Texts(kLog07)) {
    lines += std::sscanf(t.c_str(), "Retention in this run: %llu files of %llu hours deleted (%llu",
                         &files, &hours, &bytes) == 3;
  }
  ASSERT_EQ(lines, 1);
  EXPECT_EQ(hours, 2u);
  EXPECT_EQ(last.At("varnet_retention_deleted_files_total"), static_cast<double>(files));
  EXPECT_EQ(last.At("varnet_retention_deleted_bytes_total"), static_cast<double>(bytes));
}

TEST(MetricsSettingsTest, ReadOnlyAndOffWhenAbsentWithALineForWhatWasNotTaken) {
  const std::string tooLong = "c:\\" + std::string(300, 'm') + ".prom";
  struct Case {
    const char* file;     // nullptr: absent
    const char* seconds;  // nullptr: absent
    const char* written;  // where the file is written; nullptr: none
    int every;
    std::string line;  // the line about it; "" none
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, 0, ""},
      {"", "1", nullptr, 0, ""},
      {nullptr, "0", nullptr, 0, ""},
      {"varnet.prom", nullptr, nullptr, 0,
       "MetricsFile 'varnet.prom' is not a full path (such as c:\\metrics\\varnet.prom): no metrics "
       "file is written"},
      {"\\metrics\\varnet.prom", nullptr, nullptr, 0,
       "MetricsFile '\\metrics\\varnet.prom' is not a full path (such as c:\\metrics\\varnet.prom): "
       "no metrics file is written"},
      {tooLong.c_str(), nullptr, nullptr, 0,
       "MetricsFile is longer than 255 characters: no metrics file is written (c:\\mmm*"},
      {kProm, nullptr, kProm, 5, ""},
      {kProm, "1", kProm, 1, ""},
      {kProm, "3600", kProm, 3600, ""},
      {kProm, "0", kProm, 5, "MetricsSeconds '0' is not a whole number from 1 to 3600: taken as 5"},
      {kProm, "3601", kProm, 5,
       "MetricsSeconds '3601' is not a whole number from 1 to 3600: taken as 5"},
      {kProm, "-5", kProm, 5, "MetricsSeconds '-5' is not a whole number from 1 to 3600: taken as 5"},
      {kProm, "10x", kProm, 5,
       "MetricsSeconds '10x' is not a whole number from 1 to 3600: taken as 5"},
      {"\\\\store\\metrics\\ws12.prom", "30", "\\\\store\\metrics\\ws12.prom", 30, ""},
  };
  // The start of a run without [Metrics]: what every other case adds to.
  VarnetRig plain("7", true);
  plain.Start();
  const std::vector<std::string> plainLines = plain.Texts(kLog07);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file != nullptr ? c.file : "(absent)") + " / " +
                 (c.seconds != nullptr ? c.seconds : "(absent)"));
    VarnetRig rig("7", true);
    if (c.file != nullptr) rig.host.Set(kIni, "Metrics", "MetricsFile", c.file);
    if (c.seconds != nullptr) rig.host.Set(kIni, "Metrics", "MetricsSeconds", c.seconds);
    const std::map<std::string, std::string> before = rig.host.profile;
    rig.Start();
    std::vector<std::string> added = rig.Texts(kLog07);
    ASSERT_GE(added.size(), plainLines.size());
    EXPECT_EQ(std::vector<std::string>(added.begin(), added.begin() + plainLines.size()),
              plainLines);
    added.erase(added.begin(), added.begin() + plainLines.size());
    std::vector<std::string> expected;
    if (!c.line.empty()) expected.push_back(c.line);
    if (c.written != nullptr) {
      expected.push_back(std::string("Metrics file '") + c.written + "' written every " +
                         std::to_string(c.every) + " seconds");
    }
    ASSERT_EQ(added.size(), expected.size());
    for (std::size_t i = 0; i < added.size(); ++i) {
      const std::string& e = expected[i];
      if (e.back() == '*') {
        EXPECT_EQ(added[i].rfind(e.substr(0, e.size() - 1), 0), 0u) << added[i];
      } else {
        EXPECT_EQ(added[i], e);
      }
    }
    rig.app.CloseProgram();
    // Read only: VARNET.INI is as it was for [Metrics].
    for (const auto& [key, value] : rig.host.profile) {
      if (key.find("|metrics|") != std::string::npos) {
        EXPECT_EQ(before.at(key), value) << key;
      }
    }
    EXPECT_EQ(rig.host.Get(kIni, "Metrics", "MetricsSeconds"),
              c.seconds != nullptr ? c.seconds : "<absent>");
    int writes = 0;
    for (const auto& [path, count] : rig.host.replacements) writes += count;
    if (c.written == nullptr) {
      EXPECT_EQ(writes, 0) << "no metrics file";
      for (const auto& [path, bytes] : rig.host.files) EXPECT_EQ(path.find(".prom"), std::string::npos);
    } else {
      EXPECT_EQ(rig.host.replacements[c.written], 2) << "at the start and the close";
      EXPECT_EQ(rig.app.Config().metrics.seconds, c.every);
    }
  }
}

TEST_F(MetricsTest, AFailingWriteIsOneLineAndWritingAgainAnother) {
  const std::string failed =
      "Unable to write the metrics file 'c:\\metrics\\varnet.prom': Access is denied.";
  const std::string again = "Metrics file written again: 'c:\\metrics\\varnet.prom'";
  host.replaceFails = 1;
  Start();
  EXPECT_EQ(Count(Texts(kLog07), failed), 1);
  EXPECT_EQ(host.files.count(kProm), 0u);
  Tick(2);
  EXPECT_EQ(Count(Texts(kLog07), again), 1);
  const std::string written = host.files[kProm];
  // Three failures in a row: one line; the file stays as it was.
  host.replaceFails = 3;
  Arrive(1, "CP 12 1");
  Tick(6);
  EXPECT_EQ(Count(Texts(kLog07), failed), 2);
  EXPECT_EQ(Count(Texts(kLog07), again), 1);
  EXPECT_EQ(host.files[kProm], written);
  // Reception went on meanwhile, and the next write carries it.
  Tick(2);
  EXPECT_EQ(Count(Texts(kLog07), again), 2);
  EXPECT_EQ(Scraped().At("varnet_datagrams_received_total"), 1);
  // A failure at the close is said before the close's last line.
  host.replaceFails = 1;
  app.CloseProgram();
  const std::vector<std::string> texts = Texts(kLog07);
  EXPECT_EQ(texts[texts.size() - 2], failed);
  EXPECT_EQ(texts.back(), "Log Closed");
  EXPECT_EQ(Count(texts, failed), 3);
  EXPECT_TRUE(host.errors.empty()) << "never a box";
  EXPECT_EQ(host.quits, 1);
}

TEST(MetricsTextTest, LabelValuesAndHelpAreEscapedAndReadBack) {
  const std::string awkward = "a\\b\"c\nd}e,f=\"g";
  MetricsText text;
  text.Family("x_total", MetricType::kCounter, "Help with \\ and\na line feed.");
  text.Sample("device", awkward, CountValue(3));
  text.Sample("device", "plain", CountValue(18446744073709551615ull));
  text.Family("y_time_seconds", MetricType::kGauge, "A time.");
  text.Sample(SecondsValue(1254381302480));
  EXPECT_EQ(text.Text(),
            "# HELP x_total Help with \\\\ and\\na line feed.\n"
            "# TYPE x_total counter\n"
            "x_total{device=\"a\\\\b\\\"c\\nd}e,f=\\\"g\"} 3\n"
            "x_total{device=\"plain\"} 18446744073709551615\n"
            "# HELP y_time_seconds A time.\n"
            "# TYPE y_time_seconds gauge\n"
            "y_time_seconds 1254381302.480\n");
  const prom_text::Scrape s = prom_text::Parse(text.Text());
  ASSERT_EQ(s.error, "");
  EXPECT_EQ(s.At("x_total{device=" + awkward + "}"), 3);
  EXPECT_EQ(s.helps.at("x_total"), "Help with \\ and\na line feed.");
  EXPECT_EQ(EscapeLabelValue("no escapes"), "no escapes");

  const struct {
    std::int64_t ms;
    const char* text;
  } seconds[] = {{0, "0.000"},           {5, "0.005"},          {999, "0.999"},
                 {1000, "1.000"},        {-1500, "-1.500"},     {1254381302480, "1254381302.480"},
                 {4102444800001, "4102444800.001"}};
  for (const auto& c : seconds) EXPECT_EQ(SecondsValue(c.ms), c.text) << c.ms;

  // The reader refuses what a scraper refuses.
  for (const char* bad : {"x 1", "# HELP x h\n# TYPE x counter\nx 1\n# HELP x h\n",
                          "# HELP x h\n# TYPE x counter\ny 1\n", "# HELP x h\n# TYPE x summ\n",
                          "# HELP x h\n# TYPE x gauge\nx{a=\"\\t\"} 1\n",
                          "# HELP x h\n# TYPE x gauge\nx 1x\n",
                          "# HELP x h\n# TYPE x gauge\nx 1\nx 2\n"}) {
    EXPECT_NE(prom_text::Parse(bad).error, "") << bad;
  }
}

TEST(MetricsTextTest, TheRunsFiguresInTheirFamiliesAndTimesBefore1970Left) {
  RunFigures f;
  f.counts.received = 10;
  f.counts.recorded = 9;
  f.counts.lost.notWritten = 1;
  f.counts.linesLost = 2;
  f.channelUp = true;
  f.runStart = 116444736000000000ull + 12345ull * 10000;  // 12.345 s after 1970 began
  f.lastDatagram = 1;  // in 1601: no sample
  f.deviceHeard[999] = 116444736000000000ull + 20000ull * 10000;
  f.retentionDeletedFiles = 4;
  f.retentionDeletedBytes = 2112;
  const prom_text::Scrape s = prom_text::Parse(RunFiguresText(f));
  ASSERT_EQ(s.error, "") << RunFiguresText(f);
  EXPECT_EQ(s.samples, (std::map<std::string, double>{
                           {"varnet_datagrams_received_total", 10},
                           {"varnet_datagrams_recorded_total", 9},
                           {Lost("queue_full"), 0},
                           {Lost("malformed"), 0},
                           {Lost("channel_down"), 0},
                           {Lost("replay"), 0},
                           {Lost("waiting_at_close"), 0},
                           {Lost("not_written"), 1},
                           {"varnet_log_lines_lost_total", 2},
                           {"varnet_channel_up", 1},
                           {"varnet_run_start_time_seconds", 12.345},
                           {"varnet_device_last_heard_time_seconds{device=999}", 20},
                           {"varnet_retention_deleted_files_total", 4},
                           {"varnet_retention_deleted_bytes_total", 2112},
                       }));
  for (const auto& [family, type] : s.types) {
    const bool counter = family.size() > 6 && family.substr(family.size() - 6) == "_total";
    EXPECT_EQ(type, counter ? "counter" : "gauge") << family;
  }
}

}  // namespace
}  // namespace varnet
