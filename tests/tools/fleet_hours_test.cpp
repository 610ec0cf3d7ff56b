// pktdump's comparison of workstations when a capture's hour file is not
// given: its run goes on across that hour, so its numbers there may be in
// the file left out. Nothing is known of that hour in it: it witnesses no
// other capture's gap there ("unknown", not "not sent"), and its own
// silences are not claimed there.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fleet_run.h"

namespace {

using namespace fleet_test;

TEST_F(FleetTest, AnHourFileNotGivenWitnessesNothing) {
  // Two captures of one channel at a datagram a second, run 3 going on
  // from 07:59:50 through hour 08 into hour 09; ws12 drops 50 in hour 08.
  struct Case {
    const char* what;
    bool ws14HasHour8;
    std::string verdict;  // of ws12's gap
    double all;           // the union
  } const cases[] = {
      {"every hour given: ws14 holds what ws12 lost", true, "lost-here", 3620},
      {"ws14's hour 08 not given: nobody knows", false, "unknown", 3570},
  };
  auto make = [&](const std::string& folder, const char* hour, long n, long at,
                  const std::string& more) {
    Shell("mkdir -p " + dir_ + folder);
    const std::string command = maker_ + " " + std::to_string(n) + " " + dir_ + folder +
                                "/PKT_20261209." + hour + " --start " + std::to_string(kStart + at) +
                                " --rate 1 --run 3 " + more + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  };
  for (const Case& c : cases) {
    Shell("rm -rf " + dir_ + "* && mkdir -p " + dir_);
    for (const std::string ws : {"ws12", "ws14"}) {
      make(ws, "07", 10, 3590, "");
      make(ws, "09", 10, 7200, "--sequence 3611");
    }
    make("ws12", "08", 3600, 3600, "--sequence 11 --lose 1000 50");
    if (c.ws14HasHour8) make("ws14", "08", 3600, 3600, "--sequence 11");
    const JsonValue fleet = SummaryFleet({dir_ + "ws12", dir_ + "ws14"});
    const std::vector<Judged> found = JsonFindings(fleet);
    ASSERT_EQ(found.size(), 1u) << c.what;
    EXPECT_EQ(found[0].capture, "ws12/") << c.what;
    EXPECT_EQ(found[0].kind, "sequence") << c.what;
    EXPECT_EQ(found[0].verdict, c.verdict) << c.what;
    EXPECT_EQ(fleet["union"].number, c.all) << c.what;
    const std::vector<Judged> onPage = [&] {
      int code = -1;
      pktdump_test::Pktdump({"report", "--out", dir_ + "page.html", dir_ + "ws12", dir_ + "ws14"},
                            &code);
      EXPECT_EQ(code, 0) << c.what;
      return PageFindings(Slurp(dir_ + "page.html"));
    }();
    ASSERT_EQ(onPage.size(), 1u) << c.what;
    EXPECT_EQ(onPage[0].verdict, c.verdict) << c.what;
  }
}

}  // namespace
