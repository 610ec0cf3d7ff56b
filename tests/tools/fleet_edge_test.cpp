// pktdump's comparison of workstations at its edges: one capture (no
// comparison), captures that never overlap (all unknown), a datagram twice in
// one capture or in both (matched pairwise), clocks just inside and just
// outside the tolerance, --tolerance, a capture without arrival times, more
// captures than are compared, and a file gone before it is read again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "fleet.h"
#include "fleet_run.h"

namespace {

// The captures' fixture and the readers of the page and the JSON.
using namespace fleet_test;

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
      const std::string out =
          pktdump_test::Pktdump({"summary", "--format", "json", folders[0]}, &code);
      EXPECT_EQ(out.find("\"fleet\""), std::string::npos) << c.what;
      continue;
    }
    EXPECT_NE(page.find("data-tolerance-ms=\"" + std::to_string(c.tolerance) + "\""),
              std::string::npos)
        << c.what;
    EXPECT_EQ(PageCoverage(page), coverage) << c.what;
    EXPECT_EQ(judgements(PageFindings(page)), judged) << c.what;
    const JsonValue fleet = SummaryFleet(summary);
    EXPECT_EQ(fleet["tolerance_ms"].number, c.tolerance) << c.what;
    EXPECT_EQ(JsonCoverage(fleet), coverage) << c.what;
    EXPECT_EQ(judgements(JsonFindings(fleet)), judged) << c.what;
    if (*c.note != '\0') {
      EXPECT_NE(page.find(c.note), std::string::npos) << c.what;
      EXPECT_NE(page.find("Fewer than two captures can be compared: nothing is judged."),
                std::string::npos)
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
  EXPECT_EQ(fleet["notes"].items[0].text,
            "ws064/ is not compared: 64 captures are compared at most");
}

}  // namespace

namespace {

TEST_F(FleetTest, AFileGoneBeforeItIsReadAgainIsSaidAndThePageStillDrawn) {
  // Two captures gathered for the page; one file goes before the comparison
  // reads it again: said on stderr and on the page, false returned, and what
  // was compared until then kept.
  const std::string channel = "--start " + std::to_string(kStart) + " --rate 20";
  const std::vector<std::string> paths = {Make("ws12", 400, channel), Make("ws14", 400, channel)};
  pktdump::report::PageData data;
  for (const std::string& path : paths) {
    pktdump::report::FileReport f("PKT_20261209.07", pktdump::report::HourOfName("PKT_20261209.07"),
                                  "", pktdump::report::Window());
    f.SetFolder(pktdump::Directory(path));
    const std::string bytes = Slurp(path);
    for (std::size_t at = 0; at + 528 <= bytes.size(); at += 528) {
      varnet::RecordView view;
      ASSERT_TRUE(
          varnet::ReadRecord(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at, 528, view));
      f.Add(static_cast<std::int64_t>(at / 528 + 1), view);
    }
    f.Finish();
    data.Fold(f);
  }
  data.Finish();
  std::remove(paths[1].c_str());
  pktdump::fleet::Result result;
  bool compared = true;
  const std::string err = pktdump_test::Capture([&](std::FILE* e) {
    compared = pktdump::fleet::Compare(data, paths, pktdump::fleet::Settings(), &result, e);
  });
  EXPECT_FALSE(compared);
  const std::string why =
      paths[1] + ": cannot be read again for the comparison: No such file or directory";
  EXPECT_EQ(err, "pktdump: " + why + "\n");
  ASSERT_EQ(result.notes.size(), 1u);
  EXPECT_EQ(result.notes[0], "The comparison stopped: " + why);
  pktdump::report::PageOptions options;
  options.fleet = &result;
  const std::string page = pktdump::report::RenderPage(data, options);
  EXPECT_NE(page.find("The comparison stopped: "), std::string::npos);
  EXPECT_NE(page.find("</html>"), std::string::npos);
}

}  // namespace
