// What Varnet reports to the event log: for each kind of run, the events
// in order, each with its level, and insertion strings that say what the
// log lines beside them say.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "varnet_rig.h"

namespace varnet {
namespace {

using Reported = FakeCaptureHost::Reported;

const trelm::EventDef* Find(unsigned id) {
  for (const trelm::EventDef& event : kVarnetEvents) {
    if (event.id == id) return &event;
  }
  return nullptr;
}

// The numbers a line of the given form holds, as text ({} when no line of
// the log has that form); the nth such line.
std::vector<std::string> Numbers(const std::vector<std::string>& texts, const char* format,
                                 int count, int nth = 0) {
  for (const std::string& t : texts) {
    unsigned long long n[7] = {};
    if (std::sscanf(t.c_str(), format, &n[0], &n[1], &n[2], &n[3], &n[4], &n[5], &n[6]) == count &&
        nth-- == 0) {
      std::vector<std::string> out;
      for (int i = 0; i < count; ++i) out.push_back(std::to_string(n[i]));
      return out;
    }
  }
  return {};
}

constexpr const char* kWritingResumed =
    "Writing resumed - %llu lines and %llu records could not be written and are lost";
constexpr const char* kLinesLost = "Lost in this run: %llu lines and %llu records not written";
constexpr const char* kDatagramsLost =
    "Lost in this run: %llu datagrams dropped (queue full), %llu malformed, %llu while the channel "
    "was down, %llu during replay, %llu waiting at the close";
constexpr const char* kChannelBack = "Network connection reset ok after %llu retries";
constexpr const char* kRunTotals = "Run totals: %llu datagrams received, %llu recorded";

// What each event's strings must be, read from the run's log and screen.
std::vector<std::string> ExpectedStrings(const Reported& event, int nth, VarnetRig& rig) {
  // Every line the run showed, without its stamp: a log file may have
  // gone to retention since.
  std::vector<std::string> log;
  for (const std::string& line : rig.host.shown) {
    const bool stamped = line.size() > 14 && line[2] == ':' && line.compare(11, 3, " - ") == 0;
    log.push_back(stamped ? line.substr(14) : line);
  }
  const std::string channel = std::to_string(rig.app.Config().channel);
  switch (event.id) {
    case 100:
      return {"3.09.00", channel, "c:\\logs"};
    case 101: {
      std::vector<std::string> lines = Numbers(log, kLinesLost, 2);
      std::vector<std::string> datagrams = Numbers(log, kDatagramsLost, 5);
      if (lines.empty()) lines = {"0", "0"};
      if (datagrams.empty()) datagrams = {"0", "0", "0", "0", "0"};
      lines.insert(lines.end(), datagrams.begin(), datagrams.end());
      std::vector<std::string> totals = Numbers(log, kRunTotals, 2);
      totals.insert(totals.end(), lines.begin(), lines.end());
      return totals;
    }
    case 102: {
      std::vector<std::string> retries = Numbers(log, kChannelBack, 1, nth);
      retries.insert(retries.begin(), channel);
      return retries;
    }
    case 103:
      return Numbers(log, kWritingResumed, 2, nth);
    case 200:
      return {channel};
    case 201: {
      // The nth file whose failure the screen shows (a dated error entry).
      const std::string head = "Unable to write to '";
      for (const std::string& line : rig.host.shown) {
        const std::size_t at = line.find(head);
        if (at != std::string::npos && nth-- == 0) {
          const std::size_t from = at + head.size();
          return {line.substr(from, line.find('\'', from) - from)};
        }
      }
      return {"(no line on the screen)"};
    }
    case 202:
      return Numbers(log, kDatagramsLost, 5);
    case 104: {
      // The nth retention line.
      std::vector<std::string> lines;
      for (const std::string& t : log) {
        if (t.rfind("Retention deleted ", 0) == 0) lines.push_back(t);
      }
      if (nth < static_cast<int>(lines.size())) return {lines[static_cast<std::size_t>(nth)]};
      return {"(no retention line)"};
    }
    default:
      return event.strings;
  }
}

struct Case {
  const char* name;
  bool savePackets;
  // After the start: what happens in the run, up to its close.
  std::function<void(VarnetRig&)> run;
  std::vector<unsigned> ids;
  // Hour files are kept a day, and one a month old waits in the directory.
  bool keepOneDay = false;
};

const Case kCases[] = {
    {"a quiet run", false, [](VarnetRig& r) { r.app.CloseProgram(); }, {100, 101}},
    {"the channel goes down and comes back on the second attempt", false,
     [](VarnetRig& r) {
       FakeNet::Request* inFlight = r.net.Arrive(2, "RD late");
       r.Arrive(1, "", 0x17);
       r.app.OnNetCompletion(kNcbDatagramReceive, inFlight);  // counted as lost while down
       r.net.addResults = {0x16, 0, 0};
       for (int attempt = 0; attempt < 2; ++attempt) {
         r.host.Advance(10000);
         r.app.OnTimer(kTimerReset);
       }
       r.app.CloseProgram();
     },
     {100, 200, 102, 202, 101}},
    {"the disk fills and frees again", true,
     [](VarnetRig& r) {
       r.host.space = 665;  // a record and three lines fit
       for (int i = 0; i < 5; ++i) r.Arrive(1, "CP 12 'abcdefgh'");
       r.host.space = -1;
       r.Arrive(1, "CP 99 'x'");
       r.app.CloseProgram();
     },
     {100, 201, 201, 103, 101}},
    {"the wrapper lost datagrams", false,
     [](VarnetRig& r) {
       r.net.loss.dropped = 9;
       r.net.loss.malformed = 1;
       r.net.loss.waiting = 2;
       r.app.CloseProgram();
     },
     {100, 202, 101}},
    {"the retention deleted hour files", true,
     [](VarnetRig& r) {
       // At the hour change: a day after the start, two hours are more
       // than a day old.
       r.host.Advance(25 * 3600 * 1000);
       r.Arrive(1, "CP 12 'abcdefgh'");
       r.app.CloseProgram();
     },
     {104, 100, 104, 101},
     true},
    // The box says it; the two entries are in the counts all the same.
    {"the error log cannot be opened for two entries", false,
     [](VarnetRig& r) {
       r.host.unopenable.insert("c:\\logs\\ERRORLOG.TXT");
       r.app.WriteErrorLog("first");
       r.app.WriteErrorLog("second");
       r.host.unopenable.clear();
       r.app.WriteLogLine("after");
       r.app.CloseProgram();
     },
     {100, 103, 101}},
};

TEST(VarnetEvents, EachRunReportsItsEventsWithTheFiguresOfItsLogLines) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    VarnetRig rig("7", c.savePackets);
    if (c.keepOneDay) {
      rig.host.Set(kIni, "Retention", "KeepDays", "1");
      rig.host.files["c:\\logs\\LOG_20090901.07"] = "a month old";
    }
    rig.Start();
    c.run(rig);
    const std::vector<Reported>& reported = rig.host.reported;
    EXPECT_EQ(rig.host.ReportedIds(), c.ids);
    std::map<unsigned, int> seen;
    for (const Reported& event : reported) {
      const trelm::EventDef* def = Find(event.id);
      ASSERT_NE(def, nullptr) << event.id;
      EXPECT_EQ(event.type, def->type) << def->name;
      EXPECT_EQ(event.strings.size(), def->strings) << def->name;
      EXPECT_EQ(event.strings, ExpectedStrings(event, seen[event.id]++, rig)) << def->name;
    }
  }
}

TEST(VarnetEvents, TheFiguresAreThoseOfTheRunNotNoughts) {
  // The strings above come from the log; here they are checked outright.
  VarnetRig rig("7", true);
  rig.Start();
  rig.host.space = 665;  // a record and three lines fit
  for (int i = 0; i < 5; ++i) rig.Arrive(1, "CP 12 'abcdefgh'");
  rig.host.space = -1;
  rig.Arrive(1, "CP 99 'x'");
  rig.net.loss.dropped = 4;
  rig.app.CloseProgram();
  const std::vector<Reported>& r = rig.host.reported;
  ASSERT_EQ(r.size(), 6u);
  EXPECT_EQ(r[0].strings, (std::vector<std::string>{"3.09.00", "7", "c:\\logs"}));
  EXPECT_EQ(r[1].strings, (std::vector<std::string>{"c:\\logs\\PKT_20091001.07"}));
  EXPECT_EQ(r[2].strings, (std::vector<std::string>{"c:\\logs\\LOG_20091001.07"}));
  // Two lines and four records of the five datagrams found no room.
  EXPECT_EQ(r[3].strings, (std::vector<std::string>{"2", "4"}));
  EXPECT_EQ(r[4].strings, (std::vector<std::string>{"4", "0", "0", "0", "0"}));
  // Six came; two records were written (one before the disk filled, the
  // last).
  EXPECT_EQ(r[5].strings,
            (std::vector<std::string>{"6", "2", "2", "4", "4", "0", "0", "0", "0"}));
  EXPECT_EQ(r[5].type, trelm::EventType::Information);
  EXPECT_EQ(r[1].type, trelm::EventType::Error);
}

TEST(VarnetEvents, ARefusedStartReportsNothing) {
  VarnetRig first("7");
  first.Start();
  VarnetRig second("7");
  second.host.heldDirectories = first.host.heldDirectories;
  EXPECT_FALSE(second.app.Startup());
  EXPECT_TRUE(second.host.reported.empty());
}

}  // namespace
}  // namespace varnet
