// pktdump's comparison of workstations when a capture's records are out of
// arrival order beyond the 4,096 places put back in order: the record that
// comes too late may miss its match, and the comparison says so in a note
// instead of passing the miscount off as a loss.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "fleet_run.h"

namespace {

using namespace fleet_test;

TEST_F(FleetTest, RecordsOutOfOrderBeyondTheReorderAreSaid) {
  struct Case {
    const char* what;
    std::size_t moveTo;  // where ws14's first record goes (0: stays)
    double all;
    std::string note;
  } const cases[] = {
      {"in order: nothing to say", 0, 10000, ""},
      {"4,000 places late: put back in order", 4000, 10000, ""},
      {"5,000 places late: said", 5000, 10001,
       "ws14/: 1 record came more than 4,096 places out of arrival order: each may be counted "
       "as missing from this capture and from the others"},
  };
  const std::string channel = "--start " + std::to_string(kStart) + " --rate 20";
  for (const Case& c : cases) {
    Shell("rm -rf " + dir_ + "* && mkdir -p " + dir_);
    const std::string bytes = Slurp(Make("ws12", 10000, channel));
    std::string moved = bytes;
    if (c.moveTo > 0) {
      moved = bytes.substr(528, 528 * c.moveTo) + bytes.substr(0, 528) +
              bytes.substr(528 * (c.moveTo + 1));
    }
    ASSERT_EQ(moved.size(), bytes.size());
    Shell("mkdir -p " + dir_ + "ws14");
    std::ofstream(dir_ + "ws14/PKT_20261209.07", std::ios::binary) << moved;
    const JsonValue fleet = SummaryFleet({dir_ + "ws12", dir_ + "ws14"});
    EXPECT_EQ(fleet["union"].number, c.all) << c.what;
    if (c.note.empty()) {
      EXPECT_TRUE(fleet["notes"].items.empty()) << c.what;
    } else {
      ASSERT_EQ(fleet["notes"].items.size(), 1u) << c.what;
      EXPECT_EQ(fleet["notes"].items[0].text, c.note) << c.what;
    }
  }
}

}  // namespace
