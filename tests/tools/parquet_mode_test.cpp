// pktdump parquet's command line and partitions, case by case: which
// workstation each capture gets (--ws for the inputs after it, a folder's
// digits, else 0), where each part goes and what it is called, what is
// refused before anything is written, and what a malformed record or a cut
// file does. What the parts hold is for the independent readers
// (parquet_test.sh); here only their place and their frame.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/packet_record.h"
#include "pktdump_run.h"

namespace {

using pktdump_test::Pktdump;
using pktdump_test::Slurp;
namespace fs = std::filesystem;

// 2026-12-09 07:00:00 UTC.
constexpr std::uint64_t kSeven = 116444736000000000ULL + 1796799600ULL * 10000000ULL;

// count timed records of run 2 from sequence 1, a second apart.
void WriteHour(const std::string& path, int count, const std::string& tail = "") {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  for (int n = 1; n <= count; ++n) {
    std::uint8_t buffer[varnet::kDatagramSize + 1] = {'X', 'P', ' ', '1', ' ', '1', ' ', '1'};
    std::uint8_t record[varnet::kRecordSize];
    varnet::Arrival arrival;
    arrival.filetime = kSeven + static_cast<std::uint64_t>(n) * 10000000ULL;
    arrival.sequence = static_cast<std::uint32_t>(n);
    arrival.run = 2;
    varnet::BuildRecord(1, buffer, 8, record, &arrival);
    out.write(reinterpret_cast<const char*>(record), sizeof record);
  }
  out << tail;
}

class ParquetModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    dir_ = (fs::temp_directory_path() / ("pktdump-parquet-mode-" + std::to_string(getpid()))).string() + "/";
    fs::remove_all(dir_);
    WriteHour(dir_ + "ws12/PKT_20261209.07", 3);
    WriteHour(dir_ + "ws12/PKT_20261210.00", 2);
    WriteHour(dir_ + "site/capture/PKT_20261209.07", 4);
    WriteHour(dir_ + "big99999/PKT_20261209.07", 1);
    WriteHour(dir_ + "renamed.pkt", 1);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string dir_;
};

// The parts under DIR, as "table/ws=N/date=D" with the rows said for each.
std::vector<std::string> Parts(const std::string& out) {
  std::vector<std::string> parts;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t slash = line.rfind('/');
    parts.push_back(line.substr(0, slash) + line.substr(line.find(':')));
  }
  return parts;
}

TEST_F(ParquetModeTest, WorkstationsPartitionsAndRefusals) {
  struct Case {
    const char* what;
    std::vector<std::string> args;  // "@" stands for the test's folder; --out @out is added
    int code;
    std::vector<std::string> parts;  // as Parts gives them
    const char* error;               // a part of stderr ("" none)
  };
  const std::vector<Case> cases = {
      {"a folder's digits name its workstation; a date a part",
       {"@ws12"}, 0,
       {"records/ws=12/date=2026-12-09: 3 rows", "records/ws=12/date=2026-12-10: 2 rows",
        "gaps/ws=12/date=2026-12-09: 0 rows", "gaps/ws=12/date=2026-12-10: 0 rows"},
       ""},
      {"--ws stands for the inputs after it; a folder without digits is 0",
       {"@site/capture", "--ws", "14", "@ws12/PKT_20261209.07"}, 0,
       {"records/ws=0/date=2026-12-09: 4 rows", "gaps/ws=0/date=2026-12-09: 0 rows",
        "records/ws=14/date=2026-12-09: 3 rows", "gaps/ws=14/date=2026-12-09: 0 rows"},
       ""},
      {"a later --ws takes over",
       {"--ws", "3", "@site/capture", "--ws", "4", "@ws12/PKT_20261210.00"}, 0,
       {"records/ws=3/date=2026-12-09: 4 rows", "gaps/ws=3/date=2026-12-09: 0 rows",
        "records/ws=4/date=2026-12-10: 2 rows", "gaps/ws=4/date=2026-12-10: 0 rows"},
       ""},
      {"digits past 65535 name no workstation",
       {"@big99999"}, 0,
       {"records/ws=0/date=2026-12-09: 1 rows", "gaps/ws=0/date=2026-12-09: 0 rows"}, ""},
      {"one folder is one capture, of one workstation",
       {"--ws", "1", "@ws12/PKT_20261209.07", "--ws", "2", "@ws12/PKT_20261210.00"}, 1, {},
       "its folder is given as workstation 1 and as 2: one folder is one capture"},
      {"a name that gives no hour has no date",
       {"@ws12", "@renamed.pkt"}, 1, {},
       "renamed.pkt: its name gives no hour (PKT_YYYYMMDD.HH), which its date partition needs"},
      {"nor has standard input", {"-"}, 1, {}, "(standard input): its name gives no hour"},
      {"a file that is not there", {"@ws12/PKT_20261209.09"}, 1, {}, "cannot be read: No such file or directory"},
      {"a workstation is a number", {"--ws", "twelve", "@ws12"}, 2, {},
       "--ws is a workstation number, 0 to 65535, not 'twelve'"},
      {"--ws is parquet's alone", {"--ws", "1", "@ws12", "--mode-is-report"}, 2, {},
       "--ws is not an option of report"},
  };
  for (const Case& c : cases) {
    const std::string out = dir_ + "out";
    fs::remove_all(out);
    std::vector<std::string> args = {"parquet"};
    bool report = false;
    for (const std::string& a : c.args) {
      if (a == "--mode-is-report") {
        report = true;
      } else {
        args.push_back(a[0] == '@' ? dir_ + a.substr(1) : a);
      }
    }
    if (report) args[0] = "report";
    args.push_back("--out");
    args.push_back(out);
    int code = -1;
    std::string err;
    const std::string said = Pktdump(args, &code, &err);
    EXPECT_EQ(code, c.code) << c.what << "\n" << err;
    EXPECT_EQ(Parts(said), c.parts) << c.what;
    if (*c.error != '\0') {
      EXPECT_NE(err.find(c.error), std::string::npos) << c.what << "\n" << err;
    }
    // What was said is what is there: each part a whole Parquet file,
    // nothing beside them (no part left half-written).
    std::size_t files = 0;
    if (fs::exists(out)) {
      for (const auto& entry : fs::recursive_directory_iterator(out)) {
        if (!entry.is_regular_file()) continue;
        ++files;
        const std::string bytes = Slurp(entry.path().string());
        EXPECT_EQ(entry.path().extension(), ".parquet") << c.what << ": " << entry.path();
        EXPECT_EQ(bytes.substr(0, 4), "PAR1") << entry.path();
        EXPECT_EQ(bytes.substr(bytes.size() - 4), "PAR1") << entry.path();
      }
    }
    EXPECT_EQ(files, c.parts.size()) << c.what;
  }
}

TEST_F(ParquetModeTest, PartsAreNamedByFolderAndFirstHourAndReplacedByARunAgain) {
  const std::string out = dir_ + "out";
  int code = -1;
  const std::string first = Pktdump({"parquet", dir_ + "ws12", "--out", out}, &code);
  ASSERT_EQ(code, 0);
  const std::string again = Pktdump({"parquet", dir_ + "ws12", "--out", out}, &code);
  ASSERT_EQ(code, 0);
  EXPECT_EQ(first, again);
  // The same hours again: the same parts, replaced.
  std::size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(out)) files += entry.is_regular_file();
  EXPECT_EQ(files, 4u);
  const std::string line = first.substr(0, first.find('\n'));
  EXPECT_NE(line.find("/part-"), std::string::npos) << line;
  EXPECT_NE(line.find("-2026120907.parquet: 3 rows"), std::string::npos) << line;
  // Another folder of the same workstation and hour: a part beside.
  WriteHour(dir_ + "other/ws12/PKT_20261209.07", 5);
  Pktdump({"parquet", dir_ + "other/ws12", "--out", out}, &code);
  ASSERT_EQ(code, 0);
  files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(out + "/records/ws=12/date=2026-12-09")) {
    files += entry.is_regular_file();
  }
  EXPECT_EQ(files, 2u);
}

TEST_F(ParquetModeTest, MalformedRecordsAreKeptAndACutFileIsReadToItsLastRecord) {
  WriteHour(dir_ + "ws5/PKT_20261209.07", 3, std::string(100, 'x'));
  {
    std::fstream f(dir_ + "ws5/PKT_20261209.07", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(varnet::kRecordSize);  // record 2's type
    f.put(9);
  }
  int code = -1;
  std::string err;
  const std::string said = Pktdump({"parquet", dir_ + "ws5", "--out", dir_ + "out"}, &code, &err);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(Parts(said), (std::vector<std::string>{"records/ws=5/date=2026-12-09: 3 rows",
                                                   "gaps/ws=5/date=2026-12-09: 1 rows"}));
  EXPECT_NE(err.find("PKT_20261209.07: record 2 has type 9, neither 1 nor 2; kept as a malformed row"),
            std::string::npos) << err;
  EXPECT_NE(err.find("PKT_20261209.07: cut inside a record: 100 bytes after the last whole record"),
            std::string::npos) << err;
}

}  // namespace
