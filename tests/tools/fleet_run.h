// What the tests of the workstations' comparison share: captures made by
// the benchmark's maker in a folder each, and the comparison read back from
// the page (its markup and text) and from summary's JSON (parsed). Native
// only.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "json_reader.h"
#include "pktdump_run.h"

namespace fleet_test {

using pktdump_test::JsonValue;
using pktdump_test::Shell;
using pktdump_test::Slurp;

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
inline double Seconds(const std::string& iso) {
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
inline std::vector<Judged> PageFindings(const std::string& page) {
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
inline JsonValue SummaryFleet(const std::vector<std::string>& args) {
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

inline std::vector<Judged> JsonFindings(const JsonValue& fleet) {
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
inline std::map<std::string, std::vector<std::uint64_t>> PageCoverage(const std::string& page) {
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

inline std::map<std::string, std::vector<std::uint64_t>> JsonCoverage(const JsonValue& fleet) {
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

}  // namespace fleet_test
