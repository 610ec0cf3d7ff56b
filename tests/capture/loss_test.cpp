// Nothing is lost silently: a disk that fills at a chosen byte and frees
// up again, receives that stop coming back, completions the tool no longer
// tracks, the wrapper's loss counters, and keys after the Packet dialog.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "varnet_rig.h"

namespace varnet {
namespace {

constexpr const char* kErrors = "c:\\logs\\ERRORLOG.TXT";

class LossTest : public ::testing::Test, public VarnetRig {
 protected:
  LossTest() : VarnetRig("7", true) {}
};

TEST_F(LossTest, AFullDiskLeavesWholeRecordsAndLinesAndSaysWhatWasLost) {
  // Each case fills the disk after so many more bytes, lets five commands
  // arrive (a record of 528 bytes and a line of 37 each), frees the disk,
  // and lets one more arrive.
  struct Case {
    long long space;
    bool cutsFail;
    int recordsKept;
  };
  const Case cases[] = {
      {0, false, 0},    {100, false, 0},   {565, false, 1},
      {665, false, 1},  {665, true, 1},    {5000, false, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("space " + std::to_string(c.space) + (c.cutsFail ? ", cuts fail" : ""));
    VarnetRig rig(nullptr, true);
    FakeCaptureHost& h = rig.host;
    FakeNet& n = rig.net;
    Varnet& v = rig.app;
    ASSERT_TRUE(v.Startup());
    h.space = c.space;
    h.cutsFail = c.cutsFail;
    for (int i = 0; i < 5; ++i) {
      FakeNet::Request* q = n.Arrive(1, "CP 12 'abcdefgh'");
      ASSERT_NE(q, nullptr);
      v.OnNetCompletion(kNcbDatagramReceive, q);
    }
    // Reception went on: every receive was posted again.
    EXPECT_EQ(v.Net().Outstanding(), 24);
    h.space = -1;
    h.cutsFail = false;
    v.OnNetCompletion(kNcbDatagramReceive, n.Arrive(1, "CP 99 'x'"));

    // Whole records only, the last one after those kept.
    const std::string& records = h.files[kPkt07];
    ASSERT_EQ(records.size(), (c.recordsKept + 1) * kRecordSize);
    EXPECT_EQ(records.substr(records.size() - kRecordSize + 16, 9), "CP 99 'x'");
    // Whole lines only, each with its time stamp.
    const std::vector<std::string> lines = h.Lines(kLog07);
    for (const std::string& line : lines) EXPECT_EQ(line.substr(2, 1), ":") << line;
    const int linesKept = Count(lines, "CP 12");
    const int linesLost = 5 - linesKept;
    const int recordsLost = 5 - c.recordsKept;
    const std::vector<std::string> texts = h.LogTexts(kLog07);
    if (recordsLost == 0 && linesLost == 0) {
      EXPECT_EQ(texts.back(), "[001] CP 99 'x'");
      EXPECT_EQ(h.failedWrites, 0);
    } else {
      EXPECT_EQ(texts[texts.size() - 2], "[001] CP 99 'x'");
      EXPECT_EQ(texts.back(), "Writing resumed - " + std::to_string(linesLost) + " lines and " +
                                  std::to_string(recordsLost) +
                                  " records could not be written and are lost");
      // Reported once for each file that failed, on the screen (the error
      // log had no room either), and never in a box.
      EXPECT_EQ(Count(h.screen, "Unable to write to 'c:\\logs\\PKT_20091001.07'"), 1);
      EXPECT_EQ(Count(h.screen, "Unable to write to 'c:\\logs\\LOG_20091001.07'"),
                linesLost != 0 ? 1 : 0);
      EXPECT_TRUE(h.errors.empty());
    }
    v.CloseProgram();
    const std::vector<std::string> end = h.LogTexts(kLog07);
    ASSERT_GE(end.size(), 2u);
    EXPECT_EQ(end.back(), "Log Closed");
    // The totals come first, always: six received, the kept ones recorded.
    const std::string totals = "Run totals: 6 datagrams received, " +
                               std::to_string(c.recordsKept + 1) + " recorded";
    if (recordsLost != 0 || linesLost != 0) {
      EXPECT_EQ(end[end.size() - 2], "Lost in this run: " + std::to_string(linesLost) +
                                         " lines and " + std::to_string(recordsLost) +
                                         " records not written");
      EXPECT_EQ(end[end.size() - 3], totals);
    } else {
      EXPECT_EQ(Count(end, "Lost in this run"), 0);
      EXPECT_EQ(end[end.size() - 2], totals);
    }
  }
}

TEST_F(LossTest, LinesAndRecordsAreWrittenInOneCallPerFileAndNeverHeldLong) {
  Start();
  host.delaysFlush = true;
  const std::size_t lines = host.Lines(kLog07).size();
  const int writes = host.writes;
  for (int i = 0; i < 6; ++i) Arrive(1, "CP 12 'abcdefgh'");
  // Held until the flush timer fires, 100 ms on: one write for each file.
  EXPECT_TRUE(host.flushDue);
  EXPECT_EQ(host.flushDelay, 100u);
  EXPECT_EQ(host.files[kPkt07].size(), 0u);
  EXPECT_EQ(host.Lines(kLog07).size(), lines);
  host.events.clear();
  app.OnTimer(kTimerFlush);
  EXPECT_EQ(host.writes, writes + 2);
  EXPECT_EQ(host.files[kPkt07].size(), 6 * kRecordSize);
  EXPECT_EQ(host.Lines(kLog07).size(), lines + 6);
  // The timer fires once; the next line or record sets it again.
  EXPECT_EQ(Count(host.events, "KillTimer 5"), 1);
  host.flushDue = false;
  app.OnTimer(kTimerFlush);
  EXPECT_EQ(host.writes, writes + 2);

  // The timer waits behind a stream of completions: a line or record held
  // for 100 ms goes out with the next one.
  Arrive(1, "CP 12 'one'");
  EXPECT_TRUE(host.flushDue);
  host.Advance(99);
  Arrive(1, "CP 12 'two'");
  EXPECT_EQ(host.files[kPkt07].size(), 6 * kRecordSize);
  host.Advance(1);
  Arrive(1, "CP 12 'three'");
  EXPECT_EQ(host.files[kPkt07].size(), 9 * kRecordSize);

  // And behind the pieces of an analysis: each piece writes what came of age.
  std::string old;
  for (int i = 0; i < 500; ++i) old += "12:00:00.000 [001] CP 12 'x'\n";
  host.files["c:\\logs\\old.log"] = old;
  host.choices.push_back("c:\\logs\\old.log");
  Arrive(1, "CP 12 'four'");
  host.messagesAfter = 0;  // the first piece stops at once
  app.AnalyseLog();
  EXPECT_TRUE(host.analyseDue);
  EXPECT_EQ(host.files[kPkt07].size(), 9 * kRecordSize);
  host.Advance(100);
  host.analyseDue = false;
  app.AnalyseStep();
  EXPECT_EQ(host.files[kPkt07].size(), 10 * kRecordSize);

  // A flush that meets a full disk keeps the whole records that fit.
  for (int i = 0; i < 5; ++i) Arrive(1, "CP 12 'abcdefgh'");
  host.space = 2 * kRecordSize + 100;
  app.Log().FlushFiles();
  EXPECT_EQ(host.files[kPkt07].size(), 12 * kRecordSize);
  host.space = -1;
  Arrive(1, "CP 12 'back'");
  app.Log().FlushFiles();
  EXPECT_EQ(host.files[kPkt07].size(), 13 * kRecordSize);
  app.Log().FlushFiles();  // the line about the loss follows with the next flush
  const std::vector<std::string> texts = host.LogTexts(kLog07);
  EXPECT_EQ(texts[texts.size() - 2], "[001] CP 12 'back'");
  // Of the five lines, those that fitted in the room the records and the
  // error log's entry left are whole in the log; the rest are counted.
  const int kept = Count(host.Lines(kLog07), "'abcdefgh'") - 6;
  EXPECT_EQ(texts.back(), "Writing resumed - " + std::to_string(5 - kept) +
                              " lines and 3 records could not be written and are lost");

  // The idle tick and the close write what is held.
  Arrive(1, "CP 12 'tick'");
  Tick(1);
  EXPECT_EQ(host.files[kPkt07].size(), 14 * kRecordSize);
  app.WriteLogLine("held");
  app.CloseProgram();
  app.Log().CloseStreams();
  EXPECT_EQ(host.LogTexts(kLog07).back(), "Log Closed");
}

TEST_F(LossTest, ANoteOfLossThatCannotBeWrittenKeepsItsCountsForTheNextNote) {
  // Two commands are lost whole (their records and lines); the next one
  // goes through, and the note that follows it fails, written at once
  // (the disk fills again) or held and written with a later flush (a full
  // disk, a passing failure); or the held note is written and the line
  // behind it is lost. Then `meanwhile` more commands are lost, and
  // writing works again.
  enum class Note { kFullAtOnce, kFullHeld, kPassingHeld, kWrittenLineBehindLost };
  struct Case {
    const char* what;
    Note note;
    int meanwhile;
  };
  const Case cases[] = {
      {"at once, the disk full", Note::kFullAtOnce, 0},
      {"at once, the disk full, more lost", Note::kFullAtOnce, 1},
      {"held, the disk full", Note::kFullHeld, 0},
      {"held, a passing failure, more lost", Note::kPassingHeld, 2},
      {"held and written, the line behind it lost", Note::kWrittenLineBehindLost, 1},
  };
  const auto note = [](int lines, int records) {
    return "Writing resumed - " + std::to_string(lines) + " lines and " + std::to_string(records) +
           " records could not be written and are lost";
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VarnetRig rig("7", true);
    FakeCaptureHost& h = rig.host;
    ASSERT_TRUE(rig.app.Startup());
    const bool held = c.note != Note::kFullAtOnce;
    h.delaysFlush = held;
    h.space = 0;
    for (int i = 0; i < 2; ++i) rig.Arrive(1, "CP 12 'lost'");
    if (held) rig.app.Log().FlushFiles();
    if (held) {
      h.space = -1;
      rig.Arrive(1, "CP 12 'back'");
      rig.app.Log().FlushFiles();  // the record and the line; the note is held
      ASSERT_EQ(Count(h.LogTexts(kLog07), "Writing resumed"), 0);
      if (c.note == Note::kFullHeld) h.space = 0;
      if (c.note == Note::kPassingHeld) h.failNext = 2;  // the batch and its retry
      if (c.note == Note::kWrittenLineBehindLost) {
        rig.app.WriteLogLine("behind");
        h.space = static_cast<long long>(("07:15:02-48 - " + note(2, 2) + "\n").size());
      }
      rig.app.Log().FlushFiles();
      h.failNext = 0;
    } else {
      // Room for the record and the line, and no more: the note fails.
      h.space = static_cast<long long>(kRecordSize + std::string("07:15:02-48 - [001] CP 12 'back'\n").size());
      rig.Arrive(1, "CP 12 'back'");
    }
    EXPECT_EQ(Count(h.LogTexts(kLog07), "CP 12 'back'"), 1);
    std::vector<std::string> expected;  // the notes written
    int lines = 2 + c.meanwhile, records = 2 + c.meanwhile;
    if (c.note == Note::kWrittenLineBehindLost) {
      expected.push_back(note(2, 2));
      lines = 1 + c.meanwhile;
      records = c.meanwhile;
    }
    expected.push_back(note(lines, records));
    EXPECT_EQ(Count(h.LogTexts(kLog07), "Writing resumed"), static_cast<int>(expected.size()) - 1);

    h.space = 0;
    for (int i = 0; i < c.meanwhile; ++i) rig.Arrive(1, "CP 12 'meanwhile'");
    if (held) rig.app.Log().FlushFiles();
    h.space = -1;
    rig.Arrive(1, "CP 12 'again'");
    rig.app.Log().FlushFiles();
    rig.app.Log().FlushFiles();  // a held note follows with the next flush
    const std::vector<std::string> texts = h.LogTexts(kLog07);
    std::vector<std::string> notes;
    for (const std::string& t : texts) {
      if (t.rfind("Writing resumed", 0) == 0) notes.push_back(t);
    }
    EXPECT_EQ(notes, expected);
    EXPECT_EQ(texts.back(), expected.back());
    // Whole lines only: the note that failed left nothing of itself.
    for (const std::string& line : h.Lines(kLog07)) EXPECT_EQ(line.substr(2, 1), ":") << line;
    EXPECT_EQ(h.files[kPkt07].size() % kRecordSize, 0u);

    // The run's totals: every line and record lost, the notes not among them.
    rig.app.CloseProgram();
    rig.app.Log().CloseStreams();  // what the close held goes out
    const std::vector<std::string> end = h.LogTexts(kLog07);
    ASSERT_GE(end.size(), 2u);
    const int linesLost = 2 + c.meanwhile + (c.note == Note::kWrittenLineBehindLost ? 1 : 0);
    EXPECT_EQ(end[end.size() - 2], "Lost in this run: " + std::to_string(linesLost) + " lines and " +
                                       std::to_string(2 + c.meanwhile) + " records not written");
    EXPECT_EQ(end.back(), "Log Closed");
  }
}

TEST_F(LossTest, OneBoxForAFileThatCannotBeOpenedThoughCompletionsComeWhileItIsUp) {
  for (const char* unopenable : {kLog07, kPkt07}) {
    SCOPED_TRACE(unopenable);
    VarnetRig rig(nullptr, true);
    FakeCaptureHost& h = rig.host;
    FakeNet& n = rig.net;
    Varnet& v = rig.app;
    ASSERT_TRUE(v.Startup());
    // The hour changes and the next file cannot be opened; while its box
    // is up, a datagram's completion is handled and writes a line.
    h.now.hour = 8;
    const std::string next = std::string(unopenable).replace(std::string(unopenable).size() - 2, 2, "08");
    h.unopenable.insert(next);
    h.duringBox = [&] {
      FakeNet::Request* q = n.Arrive(1, "CP 12 'during'");
      if (q != nullptr) v.OnNetCompletion(kNcbDatagramReceive, q);
    };
    v.WriteLogLine("next hour");
    EXPECT_EQ(h.errors.size(), 1u);
    EXPECT_EQ(h.quits, 1);
  }
}

TEST_F(LossTest, AFileEndingOnPartOfARecordIsCutBackWhenOpened) {
  host.files[kPkt07] = std::string(kRecordSize * 2 + 17, '\x01');
  Start();
  EXPECT_EQ(host.files[kPkt07].size(), 2 * kRecordSize);
  EXPECT_EQ(Count(host.LogTexts(kLog07), "ended on part of a record: 17 bytes cut"), 1);
}

TEST_F(LossTest, AFailingErrorLogIsReportedOnceAndCounted) {
  Start();
  host.space = 10;
  app.WriteErrorLog("first");
  app.WriteErrorLog("second");
  EXPECT_EQ(host.files[kErrors], "");
  EXPECT_EQ(Count(host.screen, "Unable to write to 'c:\\logs\\ERRORLOG.TXT'"), 1);
  host.space = -1;
  app.WriteLogLine("after");
  EXPECT_EQ(host.LogTexts(kLog07).back(),
            "Writing resumed - 2 lines and 0 records could not be written and are lost");
}

TEST_F(LossTest, EmptyReceiveSlotsAreFilledAgainAtTheIdleTick) {
  Start();
  // Three completions with an unexpected code leave three slots empty.
  for (int i = 0; i < 3; ++i) Arrive(1, "", 0x0B);
  EXPECT_EQ(app.Net().Outstanding(), 21);
  Tick(1);
  EXPECT_EQ(app.Net().Outstanding(), 24);
  EXPECT_EQ(net.Posted(1), 12);
  EXPECT_EQ(host.LogTexts(kLog07).back(), "Receives posted again: 3 (21 of 24 were outstanding)");

  // Every receive fails, and so does the first post again: the next tick
  // brings reception back and says it was down.
  for (int i = 0; i < 12; ++i) Arrive(1, "", 0x0B);
  for (int i = 0; i < 12; ++i) Arrive(2, "", 0x0B);
  EXPECT_EQ(app.Net().Outstanding(), 0);
  net.receiveResults = {0x22};
  Tick(1);
  EXPECT_EQ(app.Net().Outstanding(), 0);
  Tick(1);
  EXPECT_EQ(app.Net().Outstanding(), 24);
  EXPECT_EQ(net.Posted(1), 12);
  EXPECT_EQ(net.Posted(2), 12);
  EXPECT_EQ(host.LogTexts(kLog07).back(),
            "Reception was down: no receive was outstanding; 24 of 24 posted again");
  // Nothing more to fill: no more lines.
  const std::size_t lines = host.Lines(kLog07).size();
  Tick(1);
  EXPECT_EQ(host.Lines(kLog07).size(), lines);
  EXPECT_TRUE(net.faults.empty());
}

TEST_F(LossTest, ACompletionOfAnEarlierPassIsRecordedDecodedAndFreed) {
  Start();
  FakeNet::Request* old = net.Foreign(1, "CP 12 'late'");
  app.OnNetCompletion(kNcbDatagramReceive, old);
  EXPECT_FALSE(net.Live(old));
  EXPECT_EQ(host.files[kPkt07].size(), kRecordSize);
  EXPECT_EQ(Count(host.LogTexts(kLog07), "late"), 1);
  EXPECT_EQ(app.Net().Outstanding(), 24);
  EXPECT_TRUE(net.faults.empty());
}

TEST_F(LossTest, TheWrappersLossIsShownAtMostOnceAMinuteAndTotalledAtTheClose) {
  Start();
  const std::string line =
      "Datagrams lost: 5 dropped (queue full), 1 malformed, 0 while the channel was down, in "
      "this run";
  net.loss.waiting = 7;  // waiting is no loss while the program runs
  Tick(3);
  EXPECT_EQ(Count(host.LogTexts(kLog07), "Datagrams lost"), 0);  // nothing lost, nothing said
  net.loss.dropped = 5;
  net.loss.malformed = 1;
  Tick(1);
  EXPECT_EQ(host.LogTexts(kLog07).back(), line);
  net.loss.dropped = 9;
  Tick(58);
  EXPECT_EQ(Count(host.LogTexts(kLog07), "Datagrams lost"), 1);
  Tick(2);
  EXPECT_EQ(Count(host.LogTexts(kLog07), "Datagrams lost"), 2);
  EXPECT_EQ(Count(host.LogTexts(kLog07), "9 dropped"), 1);
  Tick(120);  // no rise, no line
  EXPECT_EQ(Count(host.LogTexts(kLog07), "Datagrams lost"), 2);
  // Analyse lists it as unusual.
  const std::vector<std::string> lines = host.Lines(kLog07);
  EXPECT_EQ(Count(lines, "Datagrams lost"), 2);

  net.loss.unclaimed = 4;
  net.loss.waiting = 2;
  app.CloseProgram();
  const std::vector<std::string> end = host.LogTexts(kLog07);
  EXPECT_EQ(end[end.size() - 2],
            "Lost in this run: 9 datagrams dropped (queue full), 1 malformed, 4 while the channel "
            "was down, 0 during replay, 2 waiting at the close");
  EXPECT_EQ(end.back(), "Log Closed");
}

TEST_F(LossTest, AFailedBatchIsRetriedALineAtATimeAsQueuedThoughLinesHoldLineFeeds) {
  // Lines with line feeds of their own (a datagram's text in an error
  // entry; a log line keeps all but its first): a failed batch is retried
  // line by line as they were queued, never split at a line feed.
  const std::string raw = "bad text\nsecond part\nthird part";
  struct Case {
    bool errorLog;
    int failNext;        // passing failures
    long long space;     // or a disk that fills (-1: no limit)
    int kept;            // whole lines kept of the three queued (one for the error log)
  };
  const Case cases[] = {
      {true, 1, -1, 1},  {true, 0, 40, 0},     // the one entry: retried whole, or lost whole
      {false, 1, -1, 3}, {false, 0, 60, 1},   // three lines: the batch fails once, or fills
      {false, 2, -1, 0},  // the retry of the first line fails too: nothing after it goes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.errorLog ? "error log" : "capture log") + ", fail " +
                 std::to_string(c.failNext) + ", space " + std::to_string(c.space));
    VarnetRig rig("7");
    ASSERT_TRUE(rig.app.Startup());
    FakeCaptureHost& h = rig.host;
    h.delaysFlush = true;
    const std::string path = c.errorLog ? kErrors : kLog07;
    const std::size_t before = h.files[path].size();
    h.failNext = c.failNext;
    h.space = c.space;
    if (c.errorLog) {
      rig.app.WriteErrorLog(raw.c_str());
    } else {
      rig.app.WriteLogLine("one");
      rig.app.WriteLogLine(raw.c_str());
      rig.app.WriteLogLine("three");
      rig.app.Log().FlushFiles();
    }
    const std::string written = h.files[path].substr(before);
    // Whole lines only: each starts with its stamp and is followed by the
    // next one's or the end.
    std::vector<std::string> expected;
    if (c.errorLog) {
      expected = {"01/10/2009 07:15:02 - " + raw + "\n"};
    } else {
      expected = {"07:15:02-48 - one\n", "07:15:02-48 - bad text second part\nthird part\n",
                  "07:15:02-48 - three\n"};
    }
    std::string whole;
    for (int i = 0; i < c.kept; ++i) whole += expected[static_cast<std::size_t>(i)];
    EXPECT_EQ(written, whole);
    h.space = -1;
    rig.app.WriteLogLine("after");
    rig.app.Log().FlushFiles();
    rig.app.Log().FlushFiles();  // the line about the loss follows with the next flush
    const int lost = static_cast<int>(expected.size()) - c.kept;
    const std::vector<std::string> lines = h.Lines(kLog07);
    if (lost == 0) {
      EXPECT_EQ(Count(lines, "Writing resumed"), 0);
      EXPECT_EQ(lines.back(), "07:15:02-48 - after");
    } else {
      EXPECT_EQ(lines.back(), "07:15:02-48 - Writing resumed - " + std::to_string(lost) +
                                  " lines and 0 records could not be written and are lost");
    }
  }
}

TEST_F(LossTest, TheCloseRemovesTheNamesThenTakesWhatWasOnItsWayThenCounts) {
  host.Set(kIni, "Network", "PacketTimes", "1");
  Start();
  // Two completions wait in the window's queue; as the names go the
  // wrapper counts three datagrams that it could no longer hand over.
  FakeNet::Request* first = net.Arrive(1, "CP 3 'queued'");
  FakeNet::Request* second = net.Arrive(2, "RD 4");
  net.loss.unclaimed = 2;  // while the channel was down earlier
  net.mirror = &host.events;
  host.waitingCompletions = [&] {
    net.loss.unclaimed += 3;
    app.OnNetCompletion(kNcbDatagramReceive, first);
    app.OnNetCompletion(kNcbDatagramReceive, second);
  };
  app.CloseProgram();
  const auto at = [&](const std::string& event) {
    return std::find(host.events.begin(), host.events.end(), event) - host.events.begin();
  };
  EXPECT_LT(at("DeleteName ORM7 2 0"), at("TakeWaitingCompletions"));
  EXPECT_EQ(net.Posted(1) + net.Posted(2), 0);  // nothing posted again
  const std::string& records = host.files[kPkt07];
  ASSERT_EQ(records.size(), 2 * kRecordSize);
  EXPECT_EQ(records.substr(16, 13), "CP 3 'queued'");
  EXPECT_EQ(records.substr(kRecordSize + 16, 4), "RD 4");
  const std::vector<std::string> end = Texts(kLog07);
  ASSERT_GE(end.size(), 4u);
  EXPECT_EQ(Count(end, "CP 3 'queued'"), 1);
  EXPECT_EQ(end[end.size() - 4], "RD 4");
  EXPECT_EQ(end[end.size() - 3], "Run totals: 2 datagrams received, 2 recorded");
  EXPECT_EQ(end[end.size() - 2],
            "Lost in this run: 0 datagrams dropped (queue full), 0 malformed, 2 while the channel "
            "was down, 0 during replay, 3 waiting at the close");
  EXPECT_EQ(end.back(), "Log Closed");
  EXPECT_TRUE(net.faults.empty());
}

TEST_F(LossTest, RecordsHeldAtTheCloseAreWrittenBeforeTheRunsTotals) {
  // Records still held when the program closes (the last 100 ms, and what
  // the close took from the queue) go out before the totals are written:
  // those the packet file refuses are in them.
  host.delaysFlush = true;
  Start();
  for (int i = 0; i < 3; ++i) Arrive(1, "CP 12 'held'");
  ASSERT_EQ(host.files[kPkt07].size(), 0u);
  host.failNext = 2;  // the batch and the first record's retry fail
  app.CloseProgram();
  app.Log().CloseStreams();
  EXPECT_EQ(host.files[kPkt07].size(), 0u);
  const std::vector<std::string> end = Texts(kLog07);
  ASSERT_GE(end.size(), 3u);
  EXPECT_EQ(end[end.size() - 3], "Run totals: 3 datagrams received, 0 recorded");
  EXPECT_EQ(end[end.size() - 2], "Lost in this run: 0 lines and 3 records not written");
  EXPECT_EQ(end.back(), "Log Closed");
}

TEST_F(LossTest, EachRunTagsItsRecordsWithTheTagAfterTheNewestFilesLast) {
  auto record = [](int run, std::uint32_t sequence) {
    std::uint8_t buffer[kDatagramSize + 1] = {'R', 'D'};
    std::uint8_t out[kRecordSize];
    const Arrival arrival{1, sequence, run};
    BuildRecord(kRecordRevertive, buffer, 2, out, &arrival);
    return std::string(reinterpret_cast<const char*>(out), kRecordSize);
  };
  const std::string untimed(kRecordSize, '\x02');
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    int tag;
  };
  const std::string old05 = "c:\\logs\\PKT_20091001.05";
  const std::string old06 = "c:\\logs\\PKT_20091001.06";
  const Case cases[] = {
      {"no file", {}, 0},
      {"the newest by name", {{old06, record(5, 1) + record(5, 2)}, {old05, record(9, 1)}}, 6},
      {"the tags go round", {{old06, record(126, 7)}}, 0},
      {"an empty newest file", {{kPkt07, ""}, {old06, record(9, 3)}}, 10},
      {"a file without tags", {{old06, record(-1, 4) + untimed}}, 0},
      {"part of a record at the end", {{old06, record(4, 1) + "\x02\x00"}}, 5},
      {"another file name is none of ours", {{"c:\\logs\\PKT_20091001.08x", record(40, 1)}, {old06, record(2, 1)}}, 3},
      // The clock was set back: a later hour's file is there, and the
      // run this one follows in the hour's own file had the tag after it.
      {"the hour's own file", {{"c:\\logs\\PKT_20091001.09", record(5, 9)}, {kPkt07, record(6, 4)}}, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VarnetRig rig("7", true);
    rig.host.Set(kIni, "Network", "PacketTimes", "1");
    for (const auto& [path, bytes] : c.files) rig.host.files[path] = bytes;
    const std::size_t before = rig.host.files[kPkt07].size() / kRecordSize * kRecordSize;
    ASSERT_TRUE(rig.app.Startup());
    rig.Arrive(2, "RD 1");
    rig.host.now.hour = 8;  // the hour changes within the run
    rig.Arrive(1, "CP 2");
    rig.Arrive(2, "RD 3");
    std::vector<RecordView> views;
    for (const auto& [path, offset] :
         {std::pair<std::string, std::size_t>{kPkt07, before},
          {"c:\\logs\\PKT_20091001.08", 0}, {"c:\\logs\\PKT_20091001.08", kRecordSize}}) {
      const std::string& bytes = rig.host.files[path];
      RecordView view;
      ASSERT_TRUE(ReadRecord(reinterpret_cast<const std::uint8_t*>(bytes.data()) + offset,
                             bytes.size() - offset, view));
      views.push_back(view);
    }
    // One tag for the run, sequences from 1.
    for (std::size_t i = 0; i < views.size(); ++i) {
      EXPECT_EQ(views[i].arrival.run, c.tag) << i;
      EXPECT_EQ(views[i].arrival.sequence, i + 1) << i;
    }
    rig.app.CloseProgram();
  }
}

TEST_F(LossTest, ACompletionAfterTheNamesCameBackIsRecordedByTheNameItCameFor) {
  host.Set(kIni, "Network", "SavePackets", "1");
  Start();
  Arrive(1, "CP 1", 0x17);  // the network fails: the names go
  host.Advance(10000);
  app.OnTimer(kTimerReset);  // and come back under 3 and 4
  ASSERT_EQ(net.calls.back().substr(0, 9), "ReceiveDG");
  for (const auto& [number, type] : {std::pair<int, int>{1, kRecordCommand}, {2, kRecordRevertive},
                                      {3, kRecordCommand}, {4, kRecordRevertive}}) {
    app.OnNetCompletion(kNcbDatagramReceive, net.Foreign(static_cast<std::uint8_t>(number), "XX"));
    const std::string& records = host.files[kPkt07];
    ASSERT_GE(records.size(), kRecordSize);
    EXPECT_EQ(records.substr(records.size() - kRecordSize + 16, 2), "XX");
    EXPECT_EQ(records[records.size() - kRecordSize], type) << number;
  }
}

TEST_F(LossTest, HeldLinesAndTheTimersAreBoundByTheClockNotByWhatComes) {
  // A backlog of completions that log nothing (heartbeats, not shown):
  // a line held 100 ms is written all the same.
  host.delaysFlush = true;
  host.Set(kIni, "Watchdog", "InfoDriver", "5");
  host.Set(kIni, "Watchdog", "InfoSlot", "2");
  Start();
  app.WriteLogLine("held");
  for (int i = 0; i < 3; ++i) {
    host.Advance(60);
    Arrive(2, "HB 1");
  }
  EXPECT_EQ(Texts(kLog07).back(), "held");

  // An analysis's pieces come one after another: the idle tick (which
  // closes the files after five idle seconds), the watchdog report and the
  // reset attempt still run.
  std::string old;
  for (int i = 0; i < 30000; ++i) old += "12:00:00.000 [001] CP 12 'x'\n";
  host.files["c:\\logs\\old.log"] = old;
  host.choices.push_back("c:\\logs\\old.log");
  Arrive(1, "CP 1", 0x17);  // the network fails
  const std::size_t sent = net.sent.size();
  app.AnalyseLog();
  for (int i = 0; i < 120 && app.Analysing(); ++i) {
    host.Advance(1000);
    host.messagesAfter = 0;  // each piece reads a little
    app.AnalyseStep();
  }
  EXPECT_EQ(Count(Texts(kLog07), "Network connection reset ok after 1 retries"), 1);
  EXPECT_EQ(net.sent.size(), sent + 2);
  EXPECT_FALSE(app.Log().LogOpen());

  // A timer's own message, held back behind the completions that ran it
  // late, comes just after that run: it does not run a second time.
  host.Advance(90000);
  const std::size_t before = net.sent.size();
  Arrive(4, "HB 1");  // (the names came back as 3 and 4) the watchdog report, half an interval late, runs here
  const std::size_t ranLate = net.sent.size();
  EXPECT_GT(ranLate, before);
  app.OnTimer(kTimerWatchdog);
  EXPECT_EQ(net.sent.size(), ranLate);
  host.Advance(60000);
  app.OnTimer(kTimerWatchdog);  // the next turn
  EXPECT_GT(net.sent.size(), ranLate);
}

TEST_F(LossTest, ASecondRunOnTheSameLogDirectoryIsRefused) {
  Start();
  VarnetRig second("8", true);
  second.host.heldDirectories = host.heldDirectories;  // one machine
  EXPECT_FALSE(second.app.Startup());
  EXPECT_EQ(second.host.errors,
            std::vector<std::string>{"Varnet is already running with the log directory 'c:\\logs'"});
  EXPECT_EQ(second.host.quits, 1);
  EXPECT_TRUE(second.host.files.empty());  // nothing of the first run's was touched
  EXPECT_TRUE(second.net.calls.empty());
}

TEST_F(LossTest, KeysStepTheReplayOnlyWhileThePacketDialogIsOpen) {
  host.Set(kIni, "Network", "CommandReplayEnabled", "1");
  Start();
  std::string record(kRecordSize, '\0');
  record[0] = 1;
  record[2] = 4;
  record.replace(16, 4, "CP 1");
  host.files["c:\\logs\\PKT_old"] = record + record + record;
  host.choices = {"c:\\logs\\PKT_old"};
  app.OnCommand(kCmdPacket);
  app.Packets().OnInit();
  app.Packets().ChooseFile();
  app.Packets().OnCheck(kReplayCommands, true);
  app.Packets().OnCommand(kReplayGo);
  app.Packets().OnCommand(kReplayStop);
  ASSERT_EQ(net.sent.size(), 1u);  // record 1
  app.OnChar('x');
  EXPECT_EQ(net.sent.size(), 2u);  // a key steps while the dialog is open
  app.Packets().OnCommand(kPacketClose);
  for (unsigned key : {'x', '\r', ' ', 'q'}) app.OnChar(key);
  EXPECT_EQ(net.sent.size(), 2u);  // and never after it closed
  EXPECT_FALSE(app.DisplayLive());  // space still pauses
}

}  // namespace
}  // namespace varnet
