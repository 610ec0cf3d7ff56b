// pktdump's comparison of workstations: the matcher case by case (the
// tolerance, duplicates, records a little out of order, its bound); then
// captures of one channel made by the benchmark's maker with a known truth
// (three workstations with clocks of their own, the wrapper's drops, a
// pause, a late start, a stop, a pulled cable, and a device and a
// workstation that truly stop), judged on the page (read back from its
// markup and its text) and in summary's JSON (parsed). The edge cases are
// in fleet_edge_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "core/record_decoder.h"
#include "fleet.h"
#include "fleet_run.h"
#include "wall_time.h"

namespace {

// The captures' fixture and the readers of the page and the JSON.
using namespace fleet_test;
using pktdump::fleet::Datagram;
using pktdump::fleet::Match;
using pktdump::fleet::Matcher;

// ------------------------------------------------------------ the matcher

TEST(FleetMatcher, MatchesWithinTheToleranceAndPairsDuplicates) {
  struct Heard {
    std::size_t capture;
    std::int64_t ms;
    char datagram;  // its bytes, as a letter
  };
  struct Case {
    const char* what;
    std::vector<Heard> heard;  // merged by arrival
    // Each match: its datagram and the captures holding it (a bit each).
    std::multiset<std::pair<char, std::uint64_t>> matches;
  } const cases[] = {
      {"one datagram, three captures within the tolerance",
       {{0, 1000, 'a'}, {1, 1300, 'a'}, {2, 1450, 'a'}},
       {{'a', 7}}},
      {"just under the tolerance", {{0, 1000, 'a'}, {1, 1499, 'a'}}, {{'a', 3}}},
      {"just at it", {{0, 1000, 'a'}, {1, 1500, 'a'}}, {{'a', 3}}},
      {"just over it", {{0, 1000, 'a'}, {1, 1501, 'a'}}, {{'a', 1}, {'a', 2}}},
      // Every arrival within the tolerance of every other: the third is
      // 800 ms after the first.
      {"a chain longer than the tolerance",
       {{0, 1000, 'a'}, {1, 1400, 'a'}, {2, 1800, 'a'}},
       {{'a', 3}, {'a', 4}}},
      {"other bytes never match", {{0, 1000, 'a'}, {1, 1000, 'b'}}, {{'a', 1}, {'b', 2}}},
      {"a duplicate in one capture: two, matched pairwise",
       {{0, 1000, 'a'}, {1, 1050, 'a'}, {0, 1100, 'a'}, {1, 1150, 'a'}},
       {{'a', 3}, {'a', 3}}},
      {"a duplicate the other capture lacks",
       {{0, 1000, 'a'}, {0, 1100, 'a'}, {1, 1150, 'a'}},
       {{'a', 3}, {'a', 1}}},
      {"a record a little out of order still finds its match",
       {{0, 1000, 'a'}, {0, 1600, 'c'}, {1, 1200, 'a'}},
       {{'a', 3}, {'c', 1}}},
      {"the same datagram seconds apart is two",
       {{0, 1000, 'a'}, {1, 1100, 'a'}, {0, 4000, 'a'}, {1, 4100, 'a'}},
       {{'a', 3}, {'a', 3}}},
  };
  for (const Case& c : cases) {
    std::multiset<std::pair<char, std::uint64_t>> got;
    std::int64_t earliest = INT64_MAX;  // of every match, the earliest arrival it holds
    Matcher matcher(500 * 10000, [&](const Match& m) {
      got.insert({m.copy.bytes[0], m.holders});
      earliest = std::min(earliest, m.copy.ticks);
    });
    for (const Heard& h : c.heard) {
      Datagram d;
      d.ticks = h.ms * 10000;
      d.type = 2;
      d.length = 1;
      d.bytes = std::string(1, h.datagram);
      d.key = pktdump::fleet::KeyOf(d.type, d.length,
                                    reinterpret_cast<const std::uint8_t*>(d.bytes.data()));
      matcher.Add(h.capture, d);
    }
    matcher.Finish();
    EXPECT_EQ(got, c.matches) << c.what;
    EXPECT_EQ(earliest, 1000 * 10000) << c.what;
    EXPECT_EQ(matcher.OpenNow(), 0u) << c.what;
  }
}

TEST(FleetMatcher, KeepsOnlyWhatTheToleranceHolds) {
  // Three captures at 1,000 datagrams a second for 100 s, every datagram
  // different: the matches open at once are those within twice the
  // tolerance (500 ms) of the latest, never the stream's length.
  struct Case {
    const char* what;
    std::int64_t offsetMs;  // of the third capture's clock
    std::size_t most;       // open at once, at most
    std::uint64_t matches;
  } const cases[] = {
      {"clocks that agree: one match per datagram", 0, 1000 + 3, 100000},
      {"a clock 2 s off: its datagrams match nothing", 2000, 2 * 1000 + 3, 200000},
  };
  for (const Case& c : cases) {
    std::uint64_t done = 0;
    Matcher matcher(500 * 10000, [&](const Match&) { ++done; });
    std::vector<Datagram> next;
    for (int n = 0; n < 100000; ++n) {
      for (std::size_t capture = 0; capture < 3; ++capture) {
        Datagram d;
        d.ticks = (n + (capture == 2 ? c.offsetMs : 0)) * 10000LL;
        d.type = 1;
        d.length = 4;
        d.bytes.assign(reinterpret_cast<const char*>(&n), 4);
        d.key = pktdump::fleet::KeyOf(1, 4, reinterpret_cast<const std::uint8_t*>(d.bytes.data()));
        matcher.Add(capture, d);
      }
    }
    matcher.Finish();
    EXPECT_EQ(done, c.matches) << c.what;
    EXPECT_LE(matcher.MostOpen(), c.most) << c.what;
  }
}

// The channel's datagrams of the reference capture (the channel's shapes
// only) in [from, to) seconds: per device its revertives, and per
// workstation its heartbeats, by the decoders' rule.
void Heard(const std::string& path, double from, double to, std::map<int, std::uint64_t>* devices,
           std::map<int, std::uint64_t>* workstations) {
  const std::string bytes = Slurp(path);
  varnet::NullDecoderHost host;
  varnet::RecordDecoder decoder(host, std::string());
  for (std::size_t at = 0; at + 528 <= bytes.size(); at += 528) {
    varnet::RecordView view;
    ASSERT_TRUE(
        varnet::ReadRecord(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at, 528, view));
    const double s =
        static_cast<double>(trelm::FiletimeMs(view.arrival.filetime)) / 1000.0 - kStart;
    if (view.type != varnet::kRecordRevertive || s < from || s >= to) continue;
    const varnet::DatagramFacts& facts = decoder.Decode(view);
    for (int d : facts.devices) ++(*devices)[d];
    if (facts.heartbeat >= 0) ++(*workstations)[facts.heartbeat];
  }
}

// What the maker made, and how each of it must be judged.
struct Truth {
  const char* capture;
  const char* kind;
  int id;
  double fromLo, fromHi;  // seconds after kStart
  const char* verdict;
  std::uint64_t count;
  const char* heardBy;
};

// Each finding is one of the truths (each found once), or a silence of the
// pulled cable's capture (ws16/ heard nothing from 920 s to 950 s), which
// only ws12/ could hear then: as many as the channel carried of it then
// (ws16/'s clock is 150 ms behind).
void Judge(const std::vector<Judged>& found, const std::vector<Truth>& truths,
           const std::map<int, std::uint64_t>& devices,
           const std::map<int, std::uint64_t>& workstations, const std::string& where) {
  std::vector<int> seen(truths.size(), 0);
  std::map<int, std::uint64_t> cableDevices, cableWorkstations;
  for (const Judged& j : found) {
    const std::string what = where + ": " + j.capture + " " + j.kind + " " + std::to_string(j.id) +
                             " from " + std::to_string(j.from);
    bool known = false;
    for (std::size_t t = 0; t < truths.size(); ++t) {
      const Truth& truth = truths[t];
      if (j.capture != truth.capture || j.kind != truth.kind || j.id != truth.id ||
          j.from < truth.fromLo || j.from > truth.fromHi) {
        continue;
      }
      known = true;
      ++seen[t];
      EXPECT_EQ(j.verdict, truth.verdict) << what;
      EXPECT_EQ(j.count, truth.count) << what;
      EXPECT_EQ(j.heardBy, truth.heardBy) << what;
    }
    if (known) continue;
    const bool cable = j.capture == "ws16/" && (j.kind == "device" || j.kind == "workstation") &&
                       j.from >= 905 && j.from <= 920 && j.to >= 949 && j.to <= 965;
    EXPECT_TRUE(cable) << "made by nothing: " << what;
    if (!cable) continue;
    EXPECT_EQ(j.verdict, "lost-here") << what;
    EXPECT_EQ(j.heardBy, "ws12/") << what;
    (j.kind == "device" ? cableDevices : cableWorkstations)[j.id] = j.count;
  }
  for (std::size_t t = 0; t < truths.size(); ++t) {
    EXPECT_EQ(seen[t], 1) << where << ": " << truths[t].capture << " " << truths[t].kind << " from "
                          << truths[t].fromLo;
  }
  EXPECT_EQ(cableDevices, devices) << where;
  EXPECT_EQ(cableWorkstations, workstations) << where;
}

TEST_F(FleetTest, ThreeWorkstationsAreJudgedAsTheMakerMadeThem) {
  // One channel for 1,000 s at 20 datagrams a second, where device 38 sends
  // nothing from 400 s for a minute and workstation 10 no heartbeat from
  // 750 s for 40 s. ws12/ records all of it, but for the wrapper's drops at
  // 120 s (while nobody else records), 200 s and 700 s and a pause from
  // 650 s; ws14/ (its clock 120 ms ahead) pauses from 100 s for 50 s, drops
  // 30 at 600 s and stops at 850 s; ws16/ (150 ms behind) starts at 300 s,
  // drops 10 at 880 s and hears nothing from 920 s for 30 s (a cable pulled:
  // no gap in its numbers).
  const std::string channel =
      "--start " + std::to_string(kStart) + " --rate 20 --mute 38 400 60 --silent 10 750 40";
  const std::string a =
      Make("ws12", 20000, channel + " --lose 120 12 --lose 200 40 --pause 650 20 --lose 700 25");
  const std::string b =
      Make("ws14", 20000, channel + " --offset 120 --pause 100 50 --lose 600 30 --until 850");
  const std::string c =
      Make("ws16", 20000, channel + " --offset -150 --from 300 --lose 880 10 --miss 920 30");
  const std::string reference = Make("channel", 20000, channel);
  const std::vector<Truth> truths = {
      {"ws12/", "sequence", -1, 119, 121, "unknown", 0, ""},
      {"ws12/", "sequence", -1, 199, 201, "lost-here", 40, "ws14/"},
      {"ws12/", "not-recording", -1, 649, 651, "lost-here", 400, "ws14/ ws16/"},
      {"ws12/", "sequence", -1, 699, 701, "lost-here", 25, "ws14/ ws16/"},
      // ws12/ held all but the 12 it lost at 120 s, which nobody has.
      {"ws14/", "not-recording", -1, 99, 101, "lost-here", 1000 - 12, "ws12/"},
      {"ws14/", "sequence", -1, 599, 601, "lost-here", 30, "ws12/ ws16/"},
      {"ws16/", "sequence", -1, 879, 881, "lost-here", 10, "ws12/"},
      {"ws12/", "device", 38, 391, 400, "not-sent", 0, ""},
      {"ws14/", "device", 38, 391, 401, "not-sent", 0, ""},
      {"ws16/", "device", 38, 391, 400, "not-sent", 0, ""},
      {"ws12/", "workstation", 10, 743, 750, "not-sent", 0, ""},
      {"ws14/", "workstation", 10, 743, 751, "not-sent", 0, ""},
      {"ws16/", "workstation", 10, 743, 750, "not-sent", 0, ""},
  };
  std::map<int, std::uint64_t> devices, workstations;
  Heard(reference, 920, 950, &devices, &workstations);
  ASSERT_EQ(workstations.size(), 12u) << "the mix's workstations that send heartbeats";
  ASSERT_GE(devices.size(), 20u);
  // Every datagram of the channel but the 12 nobody recorded is in the union;
  // each capture holds every record it has.
  const std::uint64_t all = Records(reference) - 12;
  const std::map<std::string, std::vector<std::uint64_t>> coverage = {
      {"ws12/", {all, Records(a), all - Records(a)}},
      {"ws14/", {all, Records(b), all - Records(b)}},
      {"ws16/", {all, Records(c), all - Records(c)}},
  };

  const std::string html = dir_ + "fleet.html";
  int code = -1;
  pktdump_test::Pktdump({"report", "--out", html, dir_ + "ws12", dir_ + "ws14", dir_ + "ws16"},
                        &code);
  ASSERT_EQ(code, 0);
  const std::string page = Slurp(html);
  const std::vector<Judged> onPage = PageFindings(page);
  Judge(onPage, truths, devices, workstations, "page");
  EXPECT_EQ(PageCoverage(page), coverage);
  EXPECT_NE(page.find("data-tolerance-ms=\"500\""), std::string::npos);
  EXPECT_NE(page.find("it arrived within 500 ms in both"), std::string::npos);
  // The rows read as they say: the 40 lost by ws12/ at 200 s.
  bool read = false;
  for (const Judged& j : onPage) {
    if (j.capture != "ws12/" || j.count != 40) continue;
    read = j.text.find("|ws12/|sequence gap: 40 numbers skipped (") != std::string::npos &&
           j.text.find("|lost here|40|ws14/ (40)|") != std::string::npos;
  }
  EXPECT_TRUE(read) << "no row says the 40 ws12/ lost at 200 s";
  // The strips and lanes carry the class: workstation 10's silence in each
  // capture (not sent), and in ws16/ every workstation's while its cable
  // was out (lost here); the pauses' lanes (lost here) and the drop nobody
  // else could see (unknown).
  const std::regex silence(
      "<g class=\"mark silence\" data-kind=\"silence\" data-time=\"[^\"]*\" data-end=\"[^\"]*\" "
      "data-seconds=\"[^\"]*\" data-class=\"([a-z-]+)\"><title>(WS|Device) ([0-9]+) ");
  std::map<std::string, int> marked;
  for (auto it = std::sregex_iterator(page.begin(), page.end(), silence);
       it != std::sregex_iterator(); ++it) {
    if ((*it)[2] == "WS") ++marked[(*it)[1].str() + " " + (*it)[3].str()];
  }
  EXPECT_EQ(marked["not-sent 10"], 3);
  EXPECT_EQ(marked["lost-here 4"], 1);
  EXPECT_EQ(marked.size(), 13u);
  EXPECT_NE(page.find("data-row=\"ws12/\" data-state=\"not-recording\" "
                      "data-from=\"2026-12-09T07:10:50.001+00:00\" "
                      "data-to=\"2026-12-09T07:11:10.050+00:00\" data-class=\"lost-here\""),
            std::string::npos);
  EXPECT_NE(page.find("data-row=\"ws14/\" data-state=\"not-recording\" "
                      "data-from=\"2026-12-09T07:01:40.121+00:00\" "
                      "data-to=\"2026-12-09T07:02:30.170+00:00\" data-class=\"lost-here\""),
            std::string::npos);
  EXPECT_NE(
      page.find(
          "data-row=\"ws12/\" data-state=\"lost\" data-from=\"2026-12-09T07:02:00.000+00:00\" "
          "data-to=\"2026-12-09T07:02:00.651+00:00\" data-class=\"unknown\""),
      std::string::npos);

  // summary's JSON: the same, over the same folders.
  const JsonValue fleet = SummaryFleet({dir_ + "ws12", dir_ + "ws14", dir_ + "ws16"});
  EXPECT_EQ(fleet["tolerance_ms"].number, 500);
  EXPECT_EQ(JsonCoverage(fleet), coverage);
  Judge(JsonFindings(fleet), truths, devices, workstations, "summary");
  EXPECT_EQ(JsonFindings(fleet).size(), onPage.size());
}

}  // namespace
