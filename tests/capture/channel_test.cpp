// The capture tool on its channel, with a wrapper library in memory: names,
// receives, completions, packet records, the network reset on a virtual
// clock, sending and the watchdog report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "varnet_rig.h"

namespace varnet {
namespace {

class ChannelTest : public ::testing::Test, public VarnetRig {
 protected:
  ChannelTest() : VarnetRig("7") {}
  bool Logged(const std::string& text) {
    for (const std::string& t : Texts(kLog07)) {
      if (t == text) return true;
    }
    return false;
  }
};

TEST_F(ChannelTest, NamesForEveryChannelAndTwelveReceivesEach) {
  struct Case {
    const char* channel;
    const char* deviceControl;
    const char* orm;
    int title;
  } cases[] = {
      {"7", "DEVICE_CONTROL7", "ORM7", 7},  {"99", "DEVICE_CONTROL99", "ORM99", 99},
      {"0", "DEVICE_CONTROL", "ORM", 0},    {"100", "DEVICE_CONTROL", "ORM", 0},
      {"-1", "DEVICE_CONTROL", "ORM", 0},
  };
  for (const Case& c : cases) {
    FakeCaptureHost h;
    h.Set(kIni, "Network", "Channel", c.channel);
    h.Set(kOrmIni, "Network", "DefaultAdaptor", "3");
    FakeNet n;
    n.receiveResults = {0, 0xFF};  // both count as posted
    Varnet v(h, n);
    ASSERT_TRUE(v.Startup()) << c.channel;
    EXPECT_EQ(n.calls[0], "Reset 0 0 3") << c.channel;
    EXPECT_EQ(n.calls[1], std::string("AddGroupName ") + c.deviceControl + " 3 -> 1");
    EXPECT_EQ(n.calls[14], std::string("AddGroupName ") + c.orm + " 3 -> 2");
    for (int i = 2; i < 14; ++i) EXPECT_EQ(n.calls[i], "ReceiveDG 512 1 3");
    for (int i = 15; i < 27; ++i) EXPECT_EQ(n.calls[i], "ReceiveDG 512 2 3");
    EXPECT_EQ(n.Posted(1), 12);
    EXPECT_EQ(n.Posted(2), 12);
    EXPECT_EQ(v.Net().TableCount(), 24);
    EXPECT_EQ(v.Net().Outstanding(), 24);
    EXPECT_EQ(h.titles.back(), "Trelm Tessik Log - V3.09.00 - Channel " + std::to_string(c.title));
    EXPECT_TRUE(n.reports.empty());
  }
}

TEST_F(ChannelTest, AFailedPostLeavesFewerReceivesAndSaysSo) {
  net.receiveResults = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x09};
  Start();
  EXPECT_EQ(net.reports, std::vector<std::string>{"NetReceiveDG() post failed|9"});
  EXPECT_TRUE(Logged("Warning - Only 5 buffers initialised"));
  // The ORM name's share is half of what is left.
  EXPECT_EQ(net.Posted(1), 5);
  EXPECT_EQ(net.Posted(2), 2);
  EXPECT_EQ(app.Net().TableCount(), 5);
  EXPECT_EQ(net.LiveCount(), 7u);  // the failed request was freed
  // The registration lines come before "Varnet started...".
  const std::vector<std::string> texts = Texts(kLog07);
  EXPECT_EQ(texts[3], "Warning - Only 5 buffers initialised");
  EXPECT_EQ(texts[4], "Varnet started...");
  // The ORM receives beyond the count still complete and are replaced.
  Arrive(2, "RD 1");
  EXPECT_EQ(net.Posted(2), 2);
  EXPECT_TRUE(net.faults.empty());
}

TEST_F(ChannelTest, EveryDatagramIsRecordedInOrderAndItsReceiveReplaced) {
  host.Set(kIni, "Network", "SavePackets", "1");
  Start();
  Arrive(1, std::string("CP 12 'a:b'") + '\0' + "tail");
  Arrive(2, "UR");
  // Five idle seconds close the hour's files; the next datagram opens them
  // again and is recorded, with no line written for it.
  Tick(6);
  EXPECT_FALSE(app.Log().LogOpen());
  const std::size_t lines = host.Lines(kLog07).size();
  // A request that reports more than 512 bytes, of a revertive that writes
  // no line.
  Arrive(2, "GX" + std::string(598, 'x'));
  EXPECT_EQ(host.Lines(kLog07).size(), lines);
  Tick(1);  // not reset by the recording: the files close on time
  EXPECT_TRUE(app.Log().LogOpen());

  const std::string& file = host.files[kPkt07];
  ASSERT_EQ(file.size(), 3 * kRecordSize);
  auto record = [&](int n) { return file.substr((n - 1) * kRecordSize, kRecordSize); };
  EXPECT_EQ(record(1).substr(0, 16), std::string("\x01\x00\x10", 3) + std::string(13, '\xFF'));
  EXPECT_EQ(record(1).substr(16, 16), std::string("CP 12 'a:b'") + '\0' + "tail");
  EXPECT_EQ(record(1).substr(32), std::string(496, '\0'));
  EXPECT_EQ(record(2).substr(0, 3), std::string("\x02\x00\x02", 3));
  EXPECT_EQ(record(3).substr(0, 3), std::string("\x02\x02\x00", 3));  // cut to 512
  EXPECT_EQ(record(3).substr(16), "GX" + std::string(510, 'x'));

  EXPECT_EQ(net.Posted(1), 12);
  EXPECT_EQ(net.Posted(2), 12);
  EXPECT_EQ(app.Net().Outstanding(), 24);
  EXPECT_EQ(net.LiveCount(), 24u);  // the completed requests were freed
  EXPECT_TRUE(net.faults.empty());
}

TEST_F(ChannelTest, PacketTimesPutTheArrivalInTheFillerAndNothingElseChanges) {
  // PacketTimes=1: the wrapper's time and sequence where it gives them,
  // else the clock's time when the completion is handled and the tool's own
  // count; the first run writes no PacketTimes key.
  host.Set(kIni, "Network", "SavePackets", "1");
  host.Set(kIni, "Network", "PacketTimes", "1");
  Start();
  EXPECT_EQ(host.Get(kIni, "Network", "PacketTimes"), "1");
  FakeNet::Request* q = net.Arrive(1, "CP 12 1");
  ASSERT_NE(q, nullptr);
  q->timed = true;
  q->arrival = Arrival{0x01DD6A0B12345678ull, 41};
  app.OnNetCompletion(kNcbDatagramReceive, q);
  Arrive(2, "RD 3");
  const std::string& file = host.files[kPkt07];
  ASSERT_EQ(file.size(), 2 * kRecordSize);
  // The marker carries the run's tag: 0, the first, with no packet data
  // file before.
  EXPECT_EQ(file.substr(0, 16), std::string("\x01\x00\x07\x80\x78\x56\x34\x12\x0B\x6A\xDD\x01\x29\x00\x00\x00", 16));
  RecordView first, second;
  ASSERT_TRUE(ReadRecord(reinterpret_cast<const std::uint8_t*>(file.data()), kRecordSize, first));
  ASSERT_TRUE(ReadRecord(reinterpret_cast<const std::uint8_t*>(file.data()) + kRecordSize,
                         kRecordSize, second));
  EXPECT_TRUE(first.timed);
  EXPECT_EQ(first.arrival.filetime, 0x01DD6A0B12345678ull);
  EXPECT_EQ(first.arrival.sequence, 41u);
  // 2009-10-01 07:15:02.480 taken as UTC, and the second datagram handled.
  EXPECT_TRUE(second.timed);
  EXPECT_EQ(second.arrival.filetime, 128988549024800000ull);
  EXPECT_EQ(second.arrival.sequence, 2u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(second.data), 4), "RD 3");

  // PacketTimes=0 and a first run: the filler as it always was, and the
  // key left unwritten.
  VarnetRig plain(nullptr, true);
  plain.Start();
  EXPECT_EQ(plain.host.Get(kIni, "Network", "PacketTimes"), "<absent>");
  plain.Arrive(1, "CP 12 1");
  EXPECT_EQ(plain.host.files[kPkt07].substr(0, 16), std::string("\x01\x00\x07", 3) + std::string(13, '\xFF'));
  RecordView view;
  ReadRecord(reinterpret_cast<const std::uint8_t*>(plain.host.files[kPkt07].data()), kRecordSize, view);
  EXPECT_FALSE(view.timed);
}

TEST_F(ChannelTest, TheReceiveCounterCountsUntilTheNextTick) {
  Start();
  Arrive(1, "CP 1");
  Arrive(2, "RD");
  EXPECT_EQ(app.ReceiveCounter(), 2u);
  Tick(1);
  EXPECT_EQ(app.ReceiveCounter(), 0u);
}

TEST_F(ChannelTest, ANetworkFailureIsRetriedEveryTenSecondsUntilTheNamesAreBack) {
  host.Set(kIni, "Network", "SavePackets", "1");
  Start();
  FakeNet::Request* inFlight = net.Arrive(2, "RD late");  // completed, not yet handled
  Arrive(1, "", 0x17);
  EXPECT_TRUE(Logged("Network connection failure... attempting reset..."));
  EXPECT_TRUE(app.Net().InReset());
  EXPECT_EQ(host.intervals[4], 10000u);
  EXPECT_EQ(net.calls.back(), "DeleteName ORM7 2 0");
  EXPECT_EQ(net.receives.size(), 0u);  // released by the deletes
  // A completion that was on its way is freed, not recorded, but counted.
  app.OnNetCompletion(kNcbDatagramReceive, inFlight);
  EXPECT_FALSE(net.Live(inFlight));
  EXPECT_EQ(host.files[kPkt07].size(), 0u);
  EXPECT_EQ(app.Net().DownDrops(), 1u);

  // First retry: the first name fails. Second: the second name fails, and
  // the first goes again. Third: both are added.
  net.addResults = {0x16, 0, 0x16, 0, 0};
  for (int attempt = 1; attempt <= 3; ++attempt) {
    host.Advance(10000);
    ASSERT_TRUE(host.timers.count(4)) << attempt;
    app.OnTimer(kTimerReset);
  }
  const std::vector<std::string> texts = Texts(kLog07);
  const std::vector<std::string> expected = {
      "Network connection failure... attempting reset...", "Network reset attempt 1 failed",
      "Network reset attempt 2 failed", "Network connection reset ok after 3 retries"};
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(texts.end() - 4, texts.end()), expected);
  EXPECT_EQ(host.Lines(kLog07).back().substr(0, 8), "07:15:32");  // 30 s after the failure
  EXPECT_EQ(net.reports, (std::vector<std::string>{"<CL>-AddName failed|22",
                                                   "<CL>-AddName failed|22"}));
  EXPECT_FALSE(host.timers.count(4));
  EXPECT_FALSE(app.Net().InReset());
  EXPECT_EQ(app.Net().Retries(), 0);
  EXPECT_EQ(net.receives.size(), 24u);
  EXPECT_EQ(net.LiveCount(), 24u);
  EXPECT_TRUE(host.errors.empty());  // no box during a reset

  // Reception goes on under the new numbers.
  const std::uint8_t orm = net.receives.back()->view.number;
  Arrive(orm, "RD back");
  EXPECT_EQ(host.files[kPkt07].substr(0, 1), "\x02");
  EXPECT_TRUE(net.faults.empty());
}

TEST_F(ChannelTest, OtherReceiveFailuresAndStrangeCompletions) {
  Start();
  // Another error: reported, one receive fewer, the request freed.
  Arrive(1, "", 0x0B);
  EXPECT_EQ(net.reports.back(), "<CL>-NCB RECV failed|11");
  EXPECT_EQ(net.Posted(1), 11);
  EXPECT_EQ(app.Net().Outstanding(), 23);

  // An unexpected command code: reported; a request of ours is freed, one
  // the library never gave out is left alone by it.
  FakeNet::Request* ours = net.Arrive(2, "x");
  app.OnNetCompletion(0x33, ours);
  EXPECT_EQ(net.reports.back(), "<CL>-Unexpected|51");
  EXPECT_FALSE(net.Live(ours));
  FakeNet::Request stranger;
  app.OnNetCompletion(0x33, &stranger);
  app.OnNetCompletion(kNcbDatagramReceive, &stranger);
  app.OnNetCompletion(kNcbDatagramSend, &stranger);
  app.OnNetCompletion(kNcbDatagramReceive, nullptr);
  // An unreadable request of ours is neither read nor freed.
  FakeNet::Request* hidden = net.Arrive(2, "y");
  net.unreadable.insert(hidden);
  app.OnNetCompletion(kNcbDatagramReceive, hidden);
  EXPECT_TRUE(net.Live(hidden));
  EXPECT_EQ(net.reports.size(), 3u);
  EXPECT_TRUE(net.faults.empty());
}

TEST_F(ChannelTest, SendingAndTheWatchdogReport) {
  host.Set(kIni, "Watchdog", "InfoDriver", "12");
  host.Set(kIni, "Watchdog", "InfoSlot", "3");
  Start();
  const std::string report = std::string("IW 12 '01-10-2009 - 07;15;02' 3") + '\0';
  ASSERT_EQ(net.sent.size(), 2u);
  EXPECT_EQ(net.sent[0].destination, "ID_012          ");
  EXPECT_EQ(net.sent[1].destination, "DEVICE_CONTROL  ");
  for (const FakeNet::Sent& s : net.sent) {
    EXPECT_EQ(s.data, report);
    EXPECT_EQ(s.number, 2);  // always under the ORM name
  }
  EXPECT_EQ(app.Net().SendsOutstanding(), 2u);
  host.Advance(60000);
  app.OnTimer(kTimerWatchdog);
  ASSERT_EQ(net.sent.size(), 4u);
  EXPECT_EQ(net.sent[2].data.substr(0, 29), "IW 12 '01-10-2009 - 07;16;02'");

  // Completions free the sends; a failed one is reported first.
  ASSERT_EQ(net.sends.size(), 4u);
  net.sends[1]->view.retcode = 0x0E;
  for (FakeNet::Request* q : net.sends) app.OnNetCompletion(kNcbDatagramSend, q);
  EXPECT_EQ(net.reports, std::vector<std::string>{"<ID>-NCBSENDBCDG failedx|14"});
  for (FakeNet::Request* q : net.sends) EXPECT_FALSE(net.Live(q));
  EXPECT_EQ(app.Net().SendsOutstanding(), 0u);
  // A send past the ones tracked is freed when it completes.
  FakeNet::Request* untracked = net.Foreign(0, "");
  untracked->command = kNcbDatagramSend;
  app.OnNetCompletion(kNcbDatagramSend, untracked);
  EXPECT_FALSE(net.Live(untracked));

  // A send that cannot start: a screen line, the request freed.
  net.sendResults = {0x13};
  EXPECT_EQ(app.Net().Send("ORM7", "x", 1), 0x13);
  EXPECT_EQ(host.screen.back(), "NetBIOS async SENDBCDG failed - Error 13");
  EXPECT_TRUE(net.faults.empty());
}

TEST_F(ChannelTest, NoWatchdogReportWithoutBothSettings) {
  const char* settings[][2] = {{"0", "3"}, {"12", "0"}, {"0", "0"}};
  for (const auto& s : settings) {
    FakeCaptureHost h;
    h.Set(kIni, "Watchdog", "InfoDriver", s[0]);
    h.Set(kIni, "Watchdog", "InfoSlot", s[1]);
    FakeNet n;
    Varnet v(h, n);
    ASSERT_TRUE(v.Startup());
    h.Advance(60000);
    v.OnTimer(kTimerWatchdog);
    EXPECT_TRUE(n.sent.empty()) << s[0] << " " << s[1];
  }
  // A driver above 999 still gives a 16-character name.
  FakeCaptureHost h;
  h.Set(kIni, "Watchdog", "InfoDriver", "1234");
  h.Set(kIni, "Watchdog", "InfoSlot", "1");
  FakeNet n;
  Varnet v(h, n);
  ASSERT_TRUE(v.Startup());
  ASSERT_EQ(n.sent.size(), 2u);
  EXPECT_EQ(n.sent[0].destination, "ID_1234         ");
}

TEST_F(ChannelTest, ADuplicateRegistrationIsReplacedAndHeard) {
  net.addResults = {0x16, 0};  // the device-control name, then its re-add
  net.nextNumber = 9;
  Start();
  EXPECT_EQ(net.reports, std::vector<std::string>{"<CL>-AddName failed|22"});
  EXPECT_EQ(host.errors, std::vector<std::string>{
                             "There is already a unique 'DEVICE_CONTROL7 ' registration on the "
                             "network"});
  EXPECT_EQ(host.events.front(),
            "ShowWindowError There is already a unique 'DEVICE_CONTROL7 ' registration on the "
            "network");
  EXPECT_EQ(net.calls[2].substr(0, 26), "DeleteName DEVICE_CONTROL7");
  // Its receives go under the number the re-add gave.
  EXPECT_EQ(net.Posted(9), 12);
  EXPECT_EQ(net.Posted(10), 12);
  host.Set(kIni, "Network", "SavePackets", "1");
  Arrive(9, "CP 1");
  EXPECT_EQ(net.Posted(9), 12);

  // When the delete fails the program closes without the ORM name.
  FakeCaptureHost h;
  h.Set(kIni, "Network", "Channel", "7");
  FakeNet n;
  n.addResults = {0x16};
  n.deleteResult = 0x113;  // only the low byte counts
  Varnet v(h, n);
  EXPECT_FALSE(v.Startup());
  EXPECT_EQ(h.quits, 1);
  for (const std::string& call : n.calls) EXPECT_EQ(call.find("ORM"), std::string::npos);
}

TEST_F(ChannelTest, DatagramsDuringAReplayAreDroppedButReceptionGoesOn) {
  host.Set(kIni, "Network", "SavePackets", "1");
  Start();
  app.Net().SetReplayRunning(true);
  for (int i = 0; i < 30; ++i) Arrive(i % 2 == 0 ? 1 : 2, "CP 1");
  EXPECT_EQ(host.files[kPkt07].size(), 0u);
  EXPECT_EQ(app.ReceiveCounter(), 0u);
  EXPECT_EQ(app.Net().Outstanding(), 24);
  app.Net().SetReplayRunning(false);
  Arrive(1, "CP 2");
  EXPECT_EQ(host.files[kPkt07].size(), kRecordSize);
}

TEST_F(ChannelTest, AfterCloseCompletionsOnTheirWayAreRecordedAndNothingIsPosted) {
  host.Set(kIni, "Network", "SavePackets", "1");
  Start();
  FakeNet::Request* late = net.Arrive(1, "CP 1");
  app.CloseProgram();
  EXPECT_EQ(net.calls[net.calls.size() - 2], "DeleteName DEVICE_CONTROL7 1 0");
  EXPECT_EQ(net.calls.back(), "DeleteName ORM7 2 0");
  app.OnNetCompletion(kNcbDatagramReceive, late);
  app.OnNetCompletion(kNcbDatagramReceive, net.Foreign(2, "RD 1"));
  EXPECT_FALSE(net.Live(late));
  EXPECT_EQ(host.files[kPkt07].size(), 2 * kRecordSize);
  EXPECT_EQ(host.files[kPkt07][0], kRecordCommand);
  EXPECT_EQ(host.files[kPkt07][kRecordSize], kRecordRevertive);
  EXPECT_EQ(net.calls.back(), "DeleteName ORM7 2 0");  // nothing posted after close
  EXPECT_FALSE(host.timers.count(4));
  EXPECT_TRUE(net.faults.empty());
}

}  // namespace
}  // namespace varnet
