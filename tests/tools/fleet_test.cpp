// pktdump's comparison of workstations: the matcher case by case (the
// tolerance, duplicates, records a little out of order, its bound); then
// captures of one channel made by the benchmark's maker with a known truth
// (three workstations with clocks of their own, the wrapper's drops, a
// pause, a late start, a stop, a pulled cable, and a device and a
// workstation that truly stop), judged on the page (read back from its
// markup and its text) and in summary's JSON (parsed); then the edge cases:
// one capture, captures that never overlap, duplicates, clocks just inside
// and just outside the tolerance, a capture without arrival times.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "core/record_decoder.h"
#include "fleet.h"
#include "json_reader.h"
#include "pktdump_run.h"
#include "wall_time.h"

namespace {

using pktdump::fleet::Datagram;
using pktdump::fleet::Match;
using pktdump::fleet::Matcher;
using pktdump_test::JsonValue;
using pktdump_test::Shell;
using pktdump_test::Slurp;

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

// ------------------------------------------------------------ captures

// 2026-12-09 07:00:00 UTC, when the channel's first datagram comes.
constexpr long kStart = 1796799600;

class FleetTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    const char* maker = std::getenv("TRELM_MAKE_PACKETS");
    if (maker == nullptr) GTEST_SKIP() << "TRELM_MAKE_PACKETS names the benchmark's maker";
    maker_ = maker;
    dir_ = testing::TempDir() + "fleet_test/";
    Shell("rm -rf " + dir_ + " && mkdir -p " + dir_);
  }
  // A capture of the channel in the folder, of its shapes; its path.
  std::string Make(const std::string& folder, long datagrams, const std::string& shapes) {
    Shell("mkdir -p " + dir_ + folder);
    const std::string path = dir_ + folder + "/PKT_20261209.07";
    const std::string command =
        maker_ + " " + std::to_string(datagrams) + " " + path + " " + shapes;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
  }
  static std::uint64_t Records(const std::string& path) { return Slurp(path).size() / 528; }
  std::string maker_, dir_;
};

// Seconds after kStart of a time as the page ("2026-12-09T07:03:19.950+00:00")
// or summary ("2026-12-09T07:03:19.9500000Z") writes it.
double Seconds(const std::string& iso) {
  int h = 0, m = 0;
  double s = 0;
  if (iso.size() < 19 || std::sscanf(iso.c_str() + 11, "%d:%d:%lf", &h, &m, &s) != 3) return -1;
  return (h - 7) * 3600 + m * 60 + s;
}

// A judged gap or silence, as the page or the JSON gives it.
struct Judged {
  std::string capture, kind;
  int id = -1;
  double from = 0, to = 0;  // seconds after kStart
  std::string verdict;
  std::uint64_t count = 0;
  std::string heardBy;  // names parted by blanks
  std::string text;     // the page's row as text
};

// The page's table of judged gaps and silences, row by row.
std::vector<Judged> PageFindings(const std::string& page) {
  std::vector<Judged> out;
  const std::size_t begin = page.find("<table id=\"fleet-table\">");
  if (begin == std::string::npos) return out;
  const std::string table = page.substr(begin, page.find("</table>", begin) - begin);
  static const std::regex row(
      "<tr data-capture=\"([^\"]*)\" data-kind=\"([^\"]*)\"(?: data-id=\"([0-9]+)\")? "
      "data-from=\"([^\"]*)\" "
      "data-to=\"([^\"]*)\" data-class=\"([^\"]*)\" data-count=\"([0-9]+)\" "
      "data-heard-by=\"([^\"]*)\">(.*)</tr>");
  std::size_t at = 0;
  for (std::size_t end; (end = table.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = table.substr(at, end - at);
    std::smatch m;
    if (!std::regex_match(line, m, row)) continue;
    Judged j{m[1],
             m[2],
             m[3].matched ? std::stoi(m[3]) : -1,
             Seconds(m[4]),
             Seconds(m[5]),
             m[6],
             std::stoull(m[7]),
             m[8],
             std::regex_replace(m[9].str(), std::regex("(<[^>]*>)+"), "|")};
    out.push_back(j);
  }
  return out;
}

// The fleet object of summary's JSON (its last line), parsed.
JsonValue SummaryFleet(const std::vector<std::string>& args) {
  int code = -1;
  std::vector<std::string> all = {"summary", "--format", "json"};
  all.insert(all.end(), args.begin(), args.end());
  const std::string out = pktdump_test::Pktdump(all, &code);
  EXPECT_EQ(code, 0);
  std::string last = out.substr(0, out.size() - 1);
  last = last.substr(last.rfind('\n') + 1);
  JsonValue v;
  std::string why;
  EXPECT_TRUE(pktdump_test::JsonReader(last).Read(&v, &why)) << why << ": " << last;
  return v["fleet"];
}

std::vector<Judged> JsonFindings(const JsonValue& fleet) {
  std::vector<Judged> out;
  for (const char* part : {"gaps", "silences"}) {
    for (const JsonValue& f : fleet[part].items) {
      Judged j;
      j.capture = f["capture"].text;
      j.kind = f["kind"].text;
      if (f.Has(j.kind)) j.id = static_cast<int>(f[j.kind].number);
      j.from = Seconds(f["from"].text);
      j.to = Seconds(f["to"].text);
      j.verdict = f["class"].text;
      j.count = static_cast<std::uint64_t>(f["count"].number);
      for (const JsonValue& name : f["heard_by"].items)
        j.heardBy += (j.heardBy.empty() ? "" : " ") + name.text;
      out.push_back(j);
    }
  }
  return out;
}

// The page's coverage table: per capture its union, held and missing.
std::map<std::string, std::vector<std::uint64_t>> PageCoverage(const std::string& page) {
  std::map<std::string, std::vector<std::uint64_t>> out;
  static const std::regex row(
      "<tr data-capture=\"([^\"]*)\" data-union=\"([0-9]+)\" data-held=\"([0-9]+)\" "
      "data-missing=\"([0-9]+)\" data-share=\"([0-9.]+)\"");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), row); it != std::sregex_iterator();
       ++it) {
    out[(*it)[1]] = {std::stoull((*it)[2]), std::stoull((*it)[3]), std::stoull((*it)[4])};
  }
  return out;
}

std::map<std::string, std::vector<std::uint64_t>> JsonCoverage(const JsonValue& fleet) {
  std::map<std::string, std::vector<std::uint64_t>> out;
  for (const JsonValue& c : fleet["captures"].items) {
    if (!c["compared"].boolean) continue;
    out[c["name"].text] = {static_cast<std::uint64_t>(c["union"].number),
                           static_cast<std::uint64_t>(c["held"].number),
                           static_cast<std::uint64_t>(c["missing"].number)};
    EXPECT_NEAR(c["share"].number, c["held"].number / c["union"].number, 1e-6);
  }
  return out;
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

}  // namespace

namespace {

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

namespace {

TEST_F(FleetTest, EdgeCasesAreJudgedAsTheyMustBe) {
  // 100 s of one channel at 20 datagrams a second.
  struct Capture {
    const char* folder;
    const char* shapes;  // after the channel's
    bool timed;
  };
  struct Judgement {
    std::string capture, kind, verdict;
    bool operator<(const Judgement& o) const {
      return std::tie(capture, kind, verdict) < std::tie(o.capture, o.kind, o.verdict);
    }
    bool operator==(const Judgement& o) const {
      return capture == o.capture && kind == o.kind && verdict == o.verdict;
    }
  };
  // The union from the channel's datagrams and the captures' records.
  using Union = std::uint64_t (*)(std::uint64_t channel, const std::vector<std::uint64_t>& records);
  struct Case {
    const char* what;
    std::vector<Capture> captures;
    std::vector<std::string> options;
    std::int64_t tolerance;
    Union all;  // nullptr: nothing compared
    std::vector<Judgement> judged;
    const char* note;  // on the page and in the JSON, when not empty
  } const cases[] = {
      {"one capture: no comparison at all", {{"ws12", "", true}}, {}, 500, nullptr, {}, ""},
      {"two captures that never overlap: everything unknown",
       {{"ws12", "--until 40 --lose 20 5", true}, {"ws14", "--from 60 --lose 80 5", true}},
       {},
       500,
       [](std::uint64_t, const std::vector<std::uint64_t>& r) { return r[0] + r[1]; },
       {{"ws12/", "sequence", "unknown"}, {"ws14/", "sequence", "unknown"}},
       ""},
      {"a datagram twice in one capture: two, the other holds one",
       {{"ws12", "--duplicate 50 5", true}, {"ws14", "--offset 100", true}},
       {},
       500,
       [](std::uint64_t channel, const std::vector<std::uint64_t>&) { return channel + 5; },
       {},
       ""},
      {"the same datagrams twice in both: matched pairwise",
       {{"ws12", "--duplicate 50 5", true}, {"ws14", "--duplicate 50 5 --offset 100", true}},
       {},
       500,
       [](std::uint64_t channel, const std::vector<std::uint64_t>&) { return channel + 5; },
       {},
       ""},
      {"a clock 499 ms ahead: within the tolerance",
       {{"ws12", "", true}, {"ws14", "--offset 499", true}},
       {},
       500,
       [](std::uint64_t channel, const std::vector<std::uint64_t>&) { return channel; },
       {},
       ""},
      {"a clock 501 ms ahead: nothing matches",
       {{"ws12", "", true}, {"ws14", "--offset 501", true}},
       {},
       500,
       [](std::uint64_t channel, const std::vector<std::uint64_t>&) { return 2 * channel; },
       {},
       ""},
      {"501 ms with a tolerance of 600",
       {{"ws12", "", true}, {"ws14", "--offset 501", true}},
       {"--tolerance", "600"},
       600,
       [](std::uint64_t channel, const std::vector<std::uint64_t>&) { return channel; },
       {},
       ""},
      {"a capture without arrival times: not compared, nothing judged",
       {{"ws12", "--lose 50 5", true}, {"ws14", "", false}},
       {},
       500,
       nullptr,
       {},
       "ws14/ is not compared: none of its records carries its arrival time"},
  };
  const std::string channel = "--start " + std::to_string(kStart) + " --rate 20";
  for (const Case& c : cases) {
    Shell("rm -rf " + dir_ + "* && mkdir -p " + dir_);
    const std::uint64_t datagrams = Records(Make("channel", 2000, channel));
    std::vector<std::string> folders;
    std::vector<std::uint64_t> records;
    for (const Capture& k : c.captures) {
      records.push_back(Records(Make(k.folder, 2000, k.timed ? channel + " " + k.shapes : "")));
      folders.push_back(dir_ + k.folder);
    }
    std::map<std::string, std::vector<std::uint64_t>> coverage;
    for (std::size_t i = 0; c.all != nullptr && i < records.size(); ++i) {
      const std::uint64_t all = c.all(datagrams, records);
      coverage[std::string(c.captures[i].folder) + "/"] = {all, records[i], all - records[i]};
    }
    std::vector<Judgement> judged = c.judged;
    std::sort(judged.begin(), judged.end());
    auto judgements = [](const std::vector<Judged>& found) {
      std::vector<Judgement> out;
      for (const Judged& j : found) out.push_back({j.capture, j.kind, j.verdict});
      std::sort(out.begin(), out.end());
      return out;
    };

    std::vector<std::string> args = {"report", "--out", dir_ + "page.html"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), folders.begin(), folders.end());
    int code = -1;
    pktdump_test::Pktdump(args, &code);
    ASSERT_EQ(code, 0) << c.what;
    const std::string page = Slurp(dir_ + "page.html");
    std::vector<std::string> summary = c.options;
    summary.insert(summary.end(), folders.begin(), folders.end());
    if (c.captures.size() < 2) {
      EXPECT_EQ(page.find("id=\"fleet"), std::string::npos) << c.what;
      int code = -1;
      const std::string out = pktdump_test::Pktdump({"summary", "--format", "json", folders[0]}, &code);
      EXPECT_EQ(out.find("\"fleet\""), std::string::npos) << c.what;
      continue;
    }
    EXPECT_NE(page.find("data-tolerance-ms=\"" + std::to_string(c.tolerance) + "\""), std::string::npos)
        << c.what;
    EXPECT_EQ(PageCoverage(page), coverage) << c.what;
    EXPECT_EQ(judgements(PageFindings(page)), judged) << c.what;
    const JsonValue fleet = SummaryFleet(summary);
    EXPECT_EQ(fleet["tolerance_ms"].number, c.tolerance) << c.what;
    EXPECT_EQ(JsonCoverage(fleet), coverage) << c.what;
    EXPECT_EQ(judgements(JsonFindings(fleet)), judged) << c.what;
    if (*c.note != '\0') {
      EXPECT_NE(page.find(c.note), std::string::npos) << c.what;
      EXPECT_NE(page.find("Fewer than two captures can be compared: nothing is judged."), std::string::npos)
          << c.what;
      ASSERT_EQ(fleet["notes"].items.size(), 1u) << c.what;
      EXPECT_EQ(fleet["notes"].items[0].text, c.note) << c.what;
    }
  }
}

}  // namespace

namespace {

TEST_F(FleetTest, SixtyFourCapturesAreComparedAndTheRestSaid) {
  // 65 workstations' captures of 10 s of one channel: the first 64 compared
  // (each holds the whole channel), the 65th named in a note.
  std::vector<std::string> folders;
  for (int i = 0; i < 65; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "ws%03d", i);
    Make(name, 100, "--start " + std::to_string(kStart) + " --rate 10");
    folders.push_back(dir_ + name);
  }
  const JsonValue fleet = SummaryFleet(folders);
  ASSERT_EQ(fleet["captures"].items.size(), 65u);
  for (int i = 0; i < 65; ++i) {
    const JsonValue& c = fleet["captures"].items[static_cast<std::size_t>(i)];
    EXPECT_EQ(c["compared"].boolean, i < 64) << i;
    if (i < 64) {
      EXPECT_EQ(c["held"].number, 100) << i;
    }
  }
  EXPECT_EQ(fleet["union"].number, 100);
  ASSERT_EQ(fleet["notes"].items.size(), 1u);
  EXPECT_EQ(fleet["notes"].items[0].text, "ws064/ is not compared: 64 captures are compared at most");
}

}  // namespace
