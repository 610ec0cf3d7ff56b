// One table of capture shapes, made record by record, read by every mode
// that gives a loss figure: check, summary's JSON, the report's page (whole,
// and cut into windows that must add up, with the files given in any
// order) and the pcapng export as tshark reads it. Each must give the
// figures the shape was made with, and the page's lanes must say when the
// capture recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/packet_record.h"
#include "pktdump_run.h"

namespace {

using pktdump_test::Pktdump;
using pktdump_test::Shell;
using pktdump_test::Slurp;

// 2026-12-09 07:00:00 UTC; the test runs in UTC, so local hours are UTC's.
constexpr std::int64_t kSeven = 1796799600;

struct Datagram {
  std::uint32_t sequence;
  int tag;
  double at;  // seconds after 07:00
  std::uint8_t type = 2;
};

// Records of one hour file: the datagrams, then any bytes of a cut record.
struct HourFile {
  std::string name;  // folder/PKT_...
  std::vector<Datagram> datagrams;
  std::string tail{};
};

std::string Bytes(const std::vector<Datagram>& datagrams) {
  std::string out;
  for (const Datagram& d : datagrams) {
    std::uint8_t buffer[varnet::kDatagramSize + 1] = {};
    const std::string text = "RD 5";
    std::copy(text.begin(), text.end(), buffer);
    varnet::Arrival arrival;
    arrival.filetime = static_cast<std::uint64_t>((kSeven + 11644473600ll) * 10000000ll +
                                                  static_cast<std::int64_t>(d.at * 1e7));
    arrival.sequence = d.sequence;
    arrival.run = d.tag;
    std::uint8_t record[varnet::kRecordSize];
    varnet::BuildRecord(d.type, buffer, static_cast<std::uint16_t>(text.size()), record, &arrival);
    out.append(reinterpret_cast<const char*>(record), sizeof record);
  }
  return out;
}

// Numbers first..last of a run, one every step seconds from at.
std::vector<Datagram> Numbers(std::uint32_t first, std::uint32_t last, int tag, double at, double step) {
  std::vector<Datagram> out;
  for (std::uint64_t n = first; n <= last; ++n) out.push_back({static_cast<std::uint32_t>(n), tag, at + (n - first) * step});
  return out;
}
std::vector<Datagram> operator+(std::vector<Datagram> a, const std::vector<Datagram>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Figures {
  std::uint64_t lost = 0, repeats = 0, earlier = 0, missing = 0;
};

struct Shape {
  const char* what;
  std::vector<HourFile> files;
  Figures expected;
  int checkCode;
  bool twice = false;          // the first file is given again by another name
  double downFrom = -1, downTo = -1;  // a span the capture did not record
};

std::uint64_t Attribute(const std::string& text, std::size_t at, const std::string& name) {
  const std::size_t found = text.find(name + "=\"", at);
  if (found == std::string::npos) return 0;
  return std::strtoull(text.c_str() + found + name.size() + 2, nullptr, 10);
}

// The file table's rows of a page: its figures summed.
Figures PageFigures(const std::string& page) {
  Figures f;
  for (std::size_t at = 0; (at = page.find("<tr data-file=", at)) != std::string::npos; ++at) {
    const std::size_t end = page.find('>', at);
    const std::string row = page.substr(at, end - at);
    if (row.find("data-records=") == std::string::npos) continue;
    f.lost += Attribute(row, 0, "data-lost");
    f.repeats += Attribute(row, 0, "data-repeats");
  }
  return f;
}

// check's verdict line, read back into figures.
Figures CheckFigures(const std::string& out) {
  Figures f;
  const std::size_t last = out.rfind('\n', out.size() - 2);
  const std::string verdict = out.substr(last == std::string::npos ? 0 : last + 1);
  const std::size_t lost = verdict.find(" lost");
  const std::size_t comma = verdict.rfind(", ", lost);
  f.lost = std::strtoull(verdict.c_str() + comma + 2, nullptr, 10);
  auto before = [&](const std::string& words) -> std::uint64_t {
    const std::size_t at = verdict.find(words);
    if (at == std::string::npos) return 0;
    const std::size_t start = verdict.rfind(", ", at);
    return std::strtoull(verdict.c_str() + start + 2, nullptr, 10);
  };
  f.repeats = before(" repeated");
  f.earlier = before(" before the first record");
  f.missing = before(" in hour files not given");
  return f;
}

// summary's JSON: the gaps that are proven lost, summed.
std::uint64_t SummaryLost(const std::string& json) {
  std::uint64_t lost = 0;
  for (std::size_t at = 0; (at = json.find("\"lost\":", at)) != std::string::npos; ++at) {
    const std::size_t end = json.find('}', at);
    if (json.substr(at, end - at).find("maybe_") != std::string::npos) continue;
    lost += std::strtoull(json.c_str() + at + 7, nullptr, 10);
  }
  return lost;
}

std::string Local(double seconds) {
  const std::time_t t = static_cast<std::time_t>(kSeven + static_cast<std::int64_t>(seconds));
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::gmtime(&t));
  return text;
}

class Figures_ : public testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    dir_ = testing::TempDir() + "figures/";
    std::filesystem::remove_all(dir_);
  }
  std::string dir_;
};

TEST_F(Figures_, EveryModeAndExportGivesTheFiguresEachShapeWasMadeWith) {
  const bool tshark = !Shell("command -v tshark").empty();
  Shape shapes[] = {
      {"reordered across an hour change",
       {{"a/PKT_20261209.07", Numbers(1, 100, 0, 0, 35) + std::vector<Datagram>{{102, 0, 3595}}},
        {"a/PKT_20261209.08", std::vector<Datagram>{{101, 0, 3601}} + Numbers(103, 200, 0, 3602, 30)}},
       {0, 0, 0, 0}, 0},
      {"a clock set back ten minutes inside the hour",
       {{"a/PKT_20261209.07", Numbers(1, 100, 0, 0, 6) + Numbers(101, 200, 0, 0, 6)}}, {0, 0, 0, 0}, 0},
      {"the 32-bit wrap across an hour change",
       {{"a/PKT_20261209.07", Numbers(4294967290u, 4294967295u, 0, 3000, 10) + Numbers(0, 10, 0, 3060, 10)},
        {"a/PKT_20261209.08", Numbers(11, 20, 0, 3600, 10)}},
       {0, 0, 4294967289u, 0}, 4},
      {"repeated numbers", {{"a/PKT_20261209.07", Numbers(1, 50, 0, 0, 10) + Numbers(25, 30, 0, 600, 10)}},
       {0, 6, 0, 0}, 1},
      {"two runs in one hour", {{"a/PKT_20261209.07", Numbers(1, 40, 3, 0, 10) + Numbers(1, 40, 4, 500, 10)}},
       {0, 0, 0, 0}, 0},
      {"a run's last numbers and the next run's first lost",
       {{"a/PKT_20261209.07", Numbers(1, 47, 5, 0, 10) + Numbers(50, 50, 5, 480, 10) + Numbers(3, 40, 6, 600, 10)}},
       {4, 0, 0, 0}, 1},
      {"a capture down for two minutes",
       {{"a/PKT_20261209.07", Numbers(1, 60, 1, 0, 1) + Numbers(1, 60, 2, 180, 1)}}, {0, 0, 0, 0}, 0, false, 59, 180},
      {"a missing hour file",
       {{"a/PKT_20261209.07", Numbers(1, 50, 0, 0, 60)}, {"a/PKT_20261209.09", Numbers(101, 150, 0, 7200, 60)}},
       {0, 0, 0, 50}, 4},
      {"a file cut inside a record",
       {{"a/PKT_20261209.07", Numbers(1, 30, 0, 0, 10), std::string(100, 'x')}}, {0, 0, 0, 0}, 1},
      {"one file given twice", {{"a/PKT_20261209.07", Numbers(1, 30, 0, 0, 10)}}, {0, 0, 0, 0}, 0, true},
      {"one run's numbers in hour files out of their order (the clock set back across an hour)",
       {{"a/PKT_20261209.09", Numbers(70001, 80000, 5, 7200, 0.1)},
        {"a/PKT_20261209.10", Numbers(1, 69990, 5, 10800, 0.01)}},
       {10, 0, 0, 0}, 1},
      {"two folders' files of the same hours",
       {{"a/PKT_20261209.10", Numbers(1, 100, 0, 10800, 10)},
        {"a/PKT_20261209.11", Numbers(102, 200, 0, 14400, 10)},
        {"b/PKT_20261209.10", Numbers(1, 10, 0, 10800, 10)}},
       {1, 0, 0, 0}, 1},
      {"empty hour files between",
       {{"a/PKT_20261209.08", Numbers(1, 10, 0, 3600, 10)}, {"a/PKT_20261209.09", {}},
        {"a/PKT_20261209.10", {}}, {"a/PKT_20261209.11", Numbers(21, 30, 0, 14400, 10)}},
       {10, 0, 0, 0}, 1},
      {"a datagram handed over twice at an hour change",
       {{"a/PKT_20261209.07", Numbers(1, 100, 5, 0, 30)},
        {"a/PKT_20261209.08", Numbers(100, 200, 5, 3600, 30)}},
       {0, 1, 0, 0}, 1},
      {"a later run that starts after hours not given",
       {{"a/PKT_20261209.07", Numbers(1, 100, 5, 0, 30)},
        {"a/PKT_20261209.10", Numbers(201, 300, 6, 10800, 30)}},
       {0, 0, 0, 200}, 4},
      {"two captures, one losing",
       {{"a/PKT_20261209.07", Numbers(1, 100, 0, 0, 10)},
        {"b/PKT_20261209.07", Numbers(1, 20, 0, 0, 10) + Numbers(31, 100, 0, 300, 10)}},
       {10, 0, 0, 0}, 1},
  };
  int index = 0;
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.what);
    const std::string root = dir_ + std::to_string(index++) + "/";
    std::vector<std::string> paths;
    for (const HourFile& f : shape.files) {
      const std::string path = root + f.name;
      std::filesystem::create_directories(std::filesystem::path(path).parent_path());
      std::FILE* out = std::fopen(path.c_str(), "wb");
      ASSERT_NE(out, nullptr);
      const std::string bytes = Bytes(f.datagrams) + f.tail;
      std::fwrite(bytes.data(), 1, bytes.size(), out);
      std::fclose(out);
      paths.push_back(path);
    }
    if (shape.twice) paths.push_back(root + "a/./" + shape.files.front().name.substr(2));
    std::vector<std::string> reversed(paths.rbegin(), paths.rend());
    const Figures& want = shape.expected;

    // check, in both orders.
    for (const auto* given : {&paths, &reversed}) {
      std::vector<std::string> args = {"check"};
      args.insert(args.end(), given->begin(), given->end());
      int code = -1;
      const std::string out = Pktdump(args, &code);
      const Figures got = CheckFigures(out);
      EXPECT_EQ(got.lost, want.lost) << out;
      EXPECT_EQ(got.repeats, want.repeats) << out;
      EXPECT_EQ(got.earlier, want.earlier) << out;
      EXPECT_EQ(got.missing, want.missing) << out;
      EXPECT_EQ(code, shape.checkCode) << out;
    }
    // summary's gaps.
    {
      std::vector<std::string> args = {"summary", "--format", "json"};
      args.insert(args.end(), reversed.begin(), reversed.end());
      int code = -1;
      EXPECT_EQ(SummaryLost(Pktdump(args, &code)), want.lost);
    }
    // decode's JSON ends with the gaps.
    {
      std::vector<std::string> args = {"decode", "--format", "json", "--keep-going"};
      args.insert(args.end(), paths.begin(), paths.end());
      int code = -1;
      const std::string json = Pktdump(args, &code);
      std::uint64_t lost = 0, elsewhere = 0;
      for (std::size_t at = 0; (at = json.find("{\"gap\":\"", at)) != std::string::npos; ++at) {
        const std::string kind = json.substr(at + 8, json.find('"', at + 8) - at - 8);
        const std::size_t field = json.find("\"lost\":", at);
        (kind == "lost" ? lost : elsewhere) += std::strtoull(json.c_str() + field + 7, nullptr, 10);
      }
      EXPECT_EQ(lost, want.lost) << json.substr(json.size() > 400 ? json.size() - 400 : 0);
      EXPECT_EQ(elsewhere, want.earlier + want.missing);
    }
    // The page, whole and cut into three windows that add up.
    auto page = [&](const std::vector<std::string>& extra, const std::vector<std::string>& files) {
      std::vector<std::string> args = {"report", "--keep-going", "--out", root + "page.html"};
      args.insert(args.end(), extra.begin(), extra.end());
      args.insert(args.end(), files.begin(), files.end());
      int code = -1;
      std::string err;
      Pktdump(args, &code, &err);
      return Slurp(root + "page.html");
    };
    const std::string whole = page({}, reversed);
    const Figures all = PageFigures(whole);
    EXPECT_EQ(all.lost, want.lost);
    EXPECT_EQ(all.repeats, want.repeats);
    Figures windows;
    const double cuts[] = {-3600, 170, 1800, 8 * 3600};
    for (int w = 0; w < 3; ++w) {
      const Figures part = PageFigures(page({"--from", Local(cuts[w]), "--to", Local(cuts[w + 1])},
                                            w % 2 == 0 ? paths : reversed));
      windows.lost += part.lost;
      windows.repeats += part.repeats;
    }
    EXPECT_EQ(windows.lost, want.lost) << "the windows add up to the whole";
    EXPECT_EQ(windows.repeats, want.repeats);
    // The lanes: not recording only where it was not; losing where it lost.
    std::vector<std::pair<double, double>> off;
    std::size_t lostLanes = 0;
    for (std::size_t at = 0; (at = whole.find("<g class=\"lane\"", at)) != std::string::npos; ++at) {
      const std::string lane = whole.substr(at, whole.find('>', at) - at);
      if (lane.find("data-state=\"lost\"") != std::string::npos) ++lostLanes;
      if (lane.find("data-state=\"not-recording\"") == std::string::npos) continue;
      auto seconds = [&](const char* name) {
        const std::size_t v = lane.find(std::string(name) + "=\"") + std::string(name).size() + 2;
        std::tm t{};
        strptime(lane.substr(v, 19).c_str(), "%Y-%m-%dT%H:%M:%S", &t);
        return static_cast<double>(timegm(&t) - kSeven);
      };
      off.emplace_back(seconds("data-from"), seconds("data-to"));
    }
    if (shape.downFrom >= 0) {
      ASSERT_EQ(off.size(), 1u);
      EXPECT_NEAR(off[0].first, shape.downFrom, 1.5);
      EXPECT_NEAR(off[0].second, shape.downTo, 1.5);
      EXPECT_EQ(whole.find("class=\"mark silence\""), std::string::npos)
          << "a device is not silent while its capture was not recording";
    } else if (std::string(shape.what) != "two runs in one hour" &&
               std::string(shape.what) != "a run's last numbers and the next run's first lost" &&
               std::string(shape.what) != "a later run that starts after hours not given" &&
               std::all_of(shape.files.begin(), shape.files.end(),
                           [](const HourFile& f) { return f.name.rfind("a/", 0) == 0; })) {
      // One capture of one run: recording from its first record to its last.
      EXPECT_TRUE(off.empty()) << off.size();
    }
    EXPECT_EQ(lostLanes > 0, want.lost > 0);
    // The export: tshark's sum of the frames' drop counts.
    if (tshark) {
      std::vector<std::string> args = {"pcapng", "--keep-going", "--out", root + "x.pcapng"};
      args.insert(args.end(), reversed.begin(), reversed.end());
      int code = -1;
      Pktdump(args, &code);
      const std::string counts = Shell("tshark -r " + root + "x.pcapng -T fields -e frame.drop_count 2>/dev/null");
      std::uint64_t dropped = 0;
      std::size_t frames = 0;
      for (std::size_t at = 0; at < counts.size();) {
        const std::size_t end = counts.find('\n', at);
        if (counts[at] >= '0' && counts[at] <= '9') dropped += std::strtoull(counts.c_str() + at, nullptr, 10);
        ++frames;
        at = end == std::string::npos ? counts.size() : end + 1;
      }
      EXPECT_EQ(dropped, want.lost);
      std::size_t records = 0;
      for (const HourFile& f : shape.files) records += f.datagrams.size();
      EXPECT_EQ(frames, records) << "every record once, the file given twice too";
    }
  }
}

TEST_F(Figures_, TheExportsCarryTheLossWhateverTheFilter) {
  // Commands 1, 2, a revertive 4, commands 5..10, revertives 12, 13: 3 and
  // 11 lost, each before a record of the other kind.
  std::vector<Datagram> records = {{1, 0, 0, 1}, {2, 0, 1, 1}, {4, 0, 2, 2}};
  for (std::uint32_t n = 5; n <= 10; ++n) records.push_back({n, 0, static_cast<double>(n), 1});
  records.push_back({12, 0, 12, 2});
  records.push_back({13, 0, 13, 2});
  std::filesystem::create_directories(dir_ + "f");
  const std::string path = dir_ + "f/PKT_20261209.07";
  std::FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  const std::string bytes = Bytes(records);
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
  int code = -1;
  EXPECT_EQ(CheckFigures(Pktdump({"check", path}, &code)).lost, 2u);
  if (!Shell("command -v tshark").empty()) {
    auto dropped = [&](std::vector<std::string> filter) {
      std::vector<std::string> args = {"pcapng", "--out", dir_ + "f.pcapng"};
      args.insert(args.end(), filter.begin(), filter.end());
      args.push_back(path);
      Pktdump(args, &code);
      const std::string counts = Shell("tshark -r " + dir_ + "f.pcapng -T fields -e frame.drop_count 2>/dev/null");
      std::uint64_t sum = 0;
      for (std::size_t at = 0; at < counts.size();) {
        const std::size_t end = counts.find('\n', at);
        if (counts[at] >= '0' && counts[at] <= '9') sum += std::strtoull(counts.c_str() + at, nullptr, 10);
        at = end == std::string::npos ? counts.size() : end + 1;
      }
      return sum;
    };
    EXPECT_EQ(dropped({}), 2u);
    EXPECT_EQ(dropped({"--kind", "command"}), 2u) << "the gap before the last revertives is carried";
    EXPECT_EQ(dropped({"--kind", "revertive"}), 2u);
    // Ranges that cut the file in two add up to it.
    EXPECT_EQ(dropped({"--records", "1-5"}) + dropped({"--records", "6-"}), 2u);
    EXPECT_EQ(dropped({"--records", "1-2"}) + dropped({"--records", "3-"}), 2u);
  }
  // decode's gaps are the capture's, whatever range is shown.
  for (const char* range : {"1-", "2-4", "9-"}) {
    const std::string json = Pktdump({"decode", "--format", "json", "--records", range, path}, &code);
    std::uint64_t lost = 0;
    for (std::size_t at = 0; (at = json.find("{\"gap\":\"lost\"", at)) != std::string::npos; ++at) {
      lost += std::strtoull(json.c_str() + json.find("\"lost\":", at + 10) + 7, nullptr, 10);
    }
    EXPECT_EQ(lost, 2u) << range;
  }
}

}  // namespace
