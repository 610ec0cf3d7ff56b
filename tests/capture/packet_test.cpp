// Packet records, their dump, the Packet dialog's viewer and replay on a
// file and a wrapper in memory, and the Analyse command on lines written
// by the tool's own log-line operation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/varnet.h"
#include "core/log_text.h"
#include "core/packet_dump.h"
#include "fake_capture_host.h"
#include "fake_net.h"

namespace varnet {
namespace {

constexpr const char* kIni = "c:\\cfg\\VARNET.INI";
constexpr const char* kLog07 = "c:\\logs\\LOG_20091001.07";
constexpr const char* kFile = "c:\\logs\\PKT_20091001.07";

std::string Record(std::uint8_t type, const std::string& data, int length = -1) {
  std::uint8_t buffer[kDatagramSize + 1] = {};
  std::memcpy(buffer, data.data(), std::min(data.size(), kDatagramSize));
  std::uint8_t record[kRecordSize];
  BuildRecord(type, buffer, static_cast<std::uint16_t>(length < 0 ? data.size() : length), record);
  return std::string(reinterpret_cast<char*>(record), sizeof record);
}

TEST(PacketDump, ARecordAndItsDump) {
  const std::string command = "CP 12 'a:b' 12345678";  // 20 bytes
  ASSERT_EQ(command.size(), 20u);
  const std::string r = Record(1, command);
  EXPECT_EQ(r.substr(0, 3), std::string("\x01\x00\x14", 3));
  EXPECT_EQ(r.substr(3, 13), std::string(13, '\xFF'));
  EXPECT_EQ(r.substr(16, 20), command);
  EXPECT_EQ(r.substr(36), std::string(492, '\0'));

  RecordView view;
  ASSERT_TRUE(ReadRecord(reinterpret_cast<const std::uint8_t*>(r.data()), r.size(), view));
  EXPECT_FALSE(ReadRecord(reinterpret_cast<const std::uint8_t*>(r.data()), 527, view));
  char header[96];
  ReadRecord(reinterpret_cast<const std::uint8_t*>(r.data()), r.size(), view);
  DumpHeader(300, view, header, sizeof header);
  EXPECT_STREQ(header, "Packet: 0300 (012c) - Type 1 - Length 20");

  std::uint8_t data[512] = {};
  const std::uint8_t first[16] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H',
                                  'I', 'J', 0x00, 0x1F, 0x7F, 0x80, 0xFF, 'Z'};
  std::memcpy(data, first, 16);
  data[511] = '!';
  char line[kDumpLineSize];
  DumpLine(data, 0, line);
  EXPECT_STREQ(line, "0000-0010 : 41 42 43 44 45 46 47 48   49 4a 00 1f 7f 80 ff 5a - ABCDEFGH IJ..\x7f..Z");
  DumpLine(data, 31, line);
  EXPECT_STREQ(line, "01f0-0200 : 00 00 00 00 00 00 00 00   00 00 00 00 00 00 00 21 - ........ .......!");
}

class PacketDialogTest : public ::testing::Test {
 protected:
  PacketDialogTest() {
    host.Set(kIni, "Paths", "LogFilePath", "c:\\logs");
    host.Set(kIni, "Network", "Channel", "7");
    host.Set(kIni, "Network", "CommandReplayEnabled", "1");
    host.Set(kIni, "Network", "RevertiveReplayEnabled", "1");
  }
  void Start() { ASSERT_TRUE(app.Startup()); }
  // Opens the dialog and chooses the file.
  void OpenWith(const std::string& file) {
    host.files[kFile] = file;
    host.choices = {kFile};
    app.OnCommand(kCmdPacket);
    app.Packets().OnInit();
    app.Packets().ChooseFile();
  }
  PacketAnalysis& P() { return app.Packets(); }

  FakeCaptureHost host;
  FakeNet net;
  Varnet app{host, net};
};

TEST_F(PacketDialogTest, ViewingRecords) {
  Start();
  const std::string file = Record(1, "CP 1") + Record(2, "RD 2") + Record(1, "CP 3").substr(0, 100);
  OpenWith(file);
  EXPECT_EQ(host.fileDialogs, std::vector<std::string>{"Open Packet File|packet|c:\\logs"});
  EXPECT_EQ(host.chooseFilePosts, 1);
  const std::size_t n = host.screen.size();
  EXPECT_EQ(host.screen[n - 3], "------------------ Packet Analysis Start -------------------");
  EXPECT_EQ(host.screen[n - 2], "c:\\logs");
  EXPECT_EQ(host.screen[n - 1], kFile);
  EXPECT_EQ(host.packetTexts[0], kFile);  // the caption
  EXPECT_EQ(host.packetTexts[kReplayStart], "1");
  EXPECT_EQ(host.packetTexts[kReplayRate], "1000");
  ASSERT_EQ(host.packetList.size(), 34u);
  EXPECT_EQ(host.packetList[0], "Packet: 0001 (0001) - Type 1 - Length 4");
  EXPECT_EQ(host.packetList[1], "  ");
  EXPECT_EQ(host.packetList[2].substr(0, 30), "0000-0010 : 43 50 20 31 00 00 ");
  EXPECT_EQ(host.packetTexts[kPacketNumber], "1");

  P().OnCommand(kPacketNext);
  EXPECT_EQ(host.packetList[0], "Packet: 0002 (0002) - Type 2 - Length 4");
  P().OnCommand(kPacketNext);
  EXPECT_EQ(host.packetList, std::vector<std::string>{"Packet: 0003 (0003) - incomplete, 100 of 528 bytes"});
  host.packetTexts[kPacketNumber] = "300";
  P().OnCommand(kPacketSelect);
  EXPECT_EQ(host.packetList, std::vector<std::string>{"Packet: 0300 (012c) - not in this file"});
  host.packetTexts[kPacketNumber] = "0";
  P().OnCommand(kPacketSelect);
  EXPECT_TRUE(host.packetList.empty());
  host.packetTexts[kPacketNumber] = "1";
  P().OnCommand(kPacketSelect);
  P().OnCommand(kPacketPrevious);  // at 1 stays at 1
  EXPECT_EQ(host.packetTexts[kPacketNumber], "1");
  EXPECT_EQ(host.packetList[0], "Packet: 0001 (0001) - Type 1 - Length 4");

  // A cancelled choice keeps the file; one that cannot be opened too.
  host.choices = {""};
  P().OnCommand(kPacketFile);
  host.unopenable.insert("c:\\logs\\other");
  host.files["c:\\logs\\other"] = "";
  host.choices = {"c:\\logs\\other"};
  P().OnCommand(kPacketFile);
  EXPECT_EQ(host.errors, std::vector<std::string>{"Unable to open log file"});
  P().OnCommand(kPacketNext);
  EXPECT_EQ(host.packetList[0], "Packet: 0002 (0002) - Type 2 - Length 4");
  EXPECT_TRUE(P().IsOpen());

  app.OnCommand(kCmdPacket);  // open already: nothing
  EXPECT_EQ(std::count(host.events.begin(), host.events.end(), "CreatePacketDialog"), 1);
  P().OnCommand(kPacketClose);
  EXPECT_FALSE(P().IsOpen());
  EXPECT_EQ(host.screen.back(), "------------------ Packet Analysis End -------------------");
}

TEST_F(PacketDialogTest, ACancelledFirstChoiceClosesTheDialog) {
  Start();
  host.choices = {""};
  app.OnCommand(kCmdPacket);
  P().OnInit();
  P().ChooseFile();
  EXPECT_FALSE(P().IsOpen());
  EXPECT_EQ(host.events.back(), "DestroyPacketDialog");
  // A view or step with no file reads nothing.
  P().Step();
  EXPECT_EQ(P().Position(), 1);
  EXPECT_TRUE(net.sent.empty());
}

TEST_F(PacketDialogTest, ReplayStepsSkipsStopsAndResumes) {
  host.Set(kIni, "Network", "RevertiveReplayEnabled", "0");
  Start();
  const std::string noZero(512, 'n');
  OpenWith(Record(1, "CP 1") + Record(2, "RD 2") + Record(1, "CP 3") + Record(1, noZero) +
           Record(1, "CP 5", 0xFFFF) + Record(1, "CP 6"));
  EXPECT_TRUE(host.packetEnabled[kReplayCommands]);
  EXPECT_FALSE(host.packetEnabled[kReplayRevertives]);  // not enabled in the settings
  EXPECT_FALSE(host.packetEnabled[kReplayGo] || host.packetEnabled[kReplayStep] ||
               host.packetEnabled[kReplayStop]);

  // A step before any replay: "STOPPED", then record 1.
  P().OnCheck(kReplayCommands, true);
  EXPECT_TRUE(host.packetEnabled[kReplayGo] && host.packetEnabled[kReplayStep]);
  P().OnCommand(kReplayStep);
  EXPECT_EQ(host.screen.back(), "STOPPED");
  EXPECT_EQ(host.packetTexts[kReplayPosition], "0");
  app.OnChar('x');  // a key of the main window steps too
  EXPECT_EQ(host.screen.back(), "CP 1");
  ASSERT_EQ(net.sent.size(), 1u);
  EXPECT_EQ(net.sent[0].destination, "DEVICE_CONTROL7 ");
  EXPECT_EQ(net.sent[0].data, "CP 1");
  EXPECT_EQ(net.sent[0].number, 2);  // under the ORM name

  // Start at 0 replays from 1; revertives are skipped silently.
  host.packetTexts[kReplayStart] = "0";
  host.packetTexts[kReplayRate] = "250";
  P().OnCommand(kReplayGo);
  EXPECT_TRUE(P().Running());
  EXPECT_EQ(host.packetTimer, 250u);
  EXPECT_FALSE(host.packetEnabled[kReplayGo]);
  EXPECT_TRUE(host.packetEnabled[kReplayStop]);
  EXPECT_EQ(net.sent.size(), 2u);
  app.OnChar(' ');  // space while replaying steps: record 2, a revertive
  EXPECT_EQ(net.sent.size(), 2u);
  EXPECT_TRUE(app.DisplayLive());
  P().Step();  // record 3 (timer 3)
  EXPECT_EQ(net.sent.back().data, "CP 3");
  // Stop, then resume where it stopped.
  P().OnCommand(kReplayStop);
  EXPECT_FALSE(P().Running());
  EXPECT_EQ(host.packetTimer, 0u);
  EXPECT_EQ(host.packetTexts[kReplayStart], "4");
  P().OnCommand(kReplayGo);
  EXPECT_EQ(net.sent.back().data, noZero);  // record 4
  EXPECT_EQ(host.screen.back().size(), 512u);  // the text ends after the record
  // A length above 512 stops the replay, nothing sent.
  P().Step();
  EXPECT_EQ(host.screen.back(), "STOPPED due to header");
  EXPECT_FALSE(P().Running());
  EXPECT_EQ(host.packetTexts[kReplayStart], "5");
  EXPECT_EQ(net.sent.size(), 4u);
  // The dump shows that length as recorded.
  host.packetTexts[kPacketNumber] = "5";
  P().OnCommand(kPacketSelect);
  EXPECT_EQ(host.packetList[0], "Packet: 0005 (0005) - Type 1 - Length 65535");
  // The end of the file stops it too.
  host.packetTexts[kReplayStart] = "6";
  P().OnCommand(kReplayGo);
  P().Step();
  EXPECT_EQ(host.screen.back(), "STOPPED due to header");
  EXPECT_EQ(net.sent.back().data, "CP 6");
  EXPECT_FALSE(P().Running());
}

TEST_F(PacketDialogTest, RatesCloseAndTheProgramsEnd) {
  Start();
  OpenWith(Record(1, "CP 1") + Record(1, "CP 2"));
  P().OnCheck(kReplayCommands, true);
  struct Case {
    const char* rate;
    unsigned ms;
  } cases[] = {{"abc", 1000}, {"0", 10}, {"-5", 10}, {"9", 10}, {"  40", 40}};
  for (const Case& c : cases) {
    host.packetTexts[kReplayRate] = c.rate;
    host.packetTexts[kReplayStart] = "1";
    P().OnCommand(kReplayGo);
    EXPECT_EQ(host.packetTimer, c.ms) << c.rate;
    P().OnCommand(kReplayStop);
  }
  P().OnCheck(kReplayCommands, false);
  EXPECT_FALSE(host.packetEnabled[kReplayGo] || host.packetEnabled[kReplayStep]);

  // Close stops a running replay, so that received datagrams count again.
  P().OnCheck(kReplayCommands, true);
  host.packetTexts[kReplayStart] = "1";
  P().OnCommand(kReplayGo);
  ASSERT_TRUE(P().Running());
  P().OnCommand(kPacketClose);
  EXPECT_FALSE(P().Running());
  EXPECT_EQ(host.packetTimer, 0u);

  // The program's end takes the dialog down before the control library.
  host.choices = {kFile};
  app.OnCommand(kCmdPacket);
  host.events.clear();
  app.CloseProgram();
  const auto dialog = std::find(host.events.begin(), host.events.end(), "DestroyPacketDialog");
  const auto library = std::find(host.events.begin(), host.events.end(), "FreeControlLibrary");
  ASSERT_NE(dialog, host.events.end());
  EXPECT_LT(dialog, library);
}

class AnalyseTest : public PacketDialogTest {
 protected:
  std::vector<std::string> Analyse(const std::string& path) {
    host.choices = {path};
    const std::size_t from = host.screen.size();
    app.OnCommand(kCmdAnalyse);
    // The window takes the posted steps until the log is read.
    while (host.analyseDue) {
      host.analyseDue = false;
      app.AnalyseStep();
    }
    return std::vector<std::string>(host.screen.begin() + from, host.screen.end());
  }
};

TEST_F(AnalyseTest, ALargeLogIsReadInPiecesWithCompletionsTakenBetween) {
  Start();
  std::string log;
  for (int i = 0; i < 3 * kAnalyseLinesPerStep; ++i) log += "07:00:00-00 - [001] CP 1 1\n";
  log += "07:59:00-00 - Log Closed\n";
  host.files["c:\\logs\\big"] = log;
  host.choices = {"c:\\logs\\big"};
  app.OnCommand(kCmdAnalyse);
  int pieces = 1;
  EXPECT_TRUE(app.Analysing());
  // A datagram handled between two pieces is recorded as ever.
  while (host.analyseDue) {
    host.analyseDue = false;
    FakeNet::Request* q = net.Arrive(1, "CP 9 'between'");
    ASSERT_NE(q, nullptr);
    app.OnNetCompletion(kNcbDatagramReceive, q);
    app.AnalyseStep();
    ++pieces;
  }
  EXPECT_EQ(pieces, 4);
  EXPECT_FALSE(app.Analysing());
  // Messages waiting end a piece early: the second look finds them.
  host.choices = {"c:\\logs\\big"};
  host.messagesAfter = 1;
  app.OnCommand(kCmdAnalyse);
  EXPECT_EQ(host.screen.back(), "c:\\logs\\big");  // nothing unusual in the first 400
  pieces = 1;
  while (host.analyseDue) {
    host.analyseDue = false;
    app.AnalyseStep();
    ++pieces;
  }
  EXPECT_EQ(pieces, 4);  // 400 lines, two pieces of 4000, then the rest
  EXPECT_EQ(host.screen.back(), "------------------ Log Analysis End -------------------");
  EXPECT_EQ(host.screen[host.screen.size() - 2], "07:59:00-00 - Log Closed");
  EXPECT_NE(host.LogTexts(kLog07).back().find("CP 9 'between'"), std::string::npos);
}

TEST_F(AnalyseTest, TheUnusualEntriesOfALogWrittenByTheTool) {
  Start();
  app.WriteLogLine("[001] CP 12 1");
  app.WriteLogLine("Network connection failure... attempting reset...");
  app.WriteLogLine("NetBIOS async SENDBCDG failed - Error 13");
  app.WriteLogLine("Unrecognised data in revertive packet 0");
  app.WriteLogLine(("L" + std::string(299, 'x')).c_str());
  app.WriteLogLine("Log Closed");
  host.files[kLog07] += "07:20:00-00 - last line without a line end";
  const std::vector<std::string> log = host.Lines(kLog07);
  const std::vector<std::string> shown = Analyse(kLog07);
  std::vector<std::string> expected = {"------------------ Log Analysis Start -------------------",
                                       "c:\\logs", kLog07};
  ASSERT_EQ(log.size(), 14u);  // the last line has no line end
  for (int i = 0; i < 8; ++i) expected.push_back(log[i]);  // the start-up lines
  expected.push_back(log[11]);                              // Unrecognised
  expected.push_back(log[12].substr(0, 254));  // the first piece loses its 255th character
  expected.push_back(log[13]);                 // Log Closed
  expected.push_back("------------------ Log Analysis End -------------------");
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(host.fileDialogs.back(), "Open Log File|main|c:\\logs");
  EXPECT_EQ(log[13].substr(14), "Log Closed");

  const std::vector<std::string> block = {" ", "No unusual entries found!", " ",
                                          "------------------ Log Analysis End -------------------"};
  host.files["c:\\logs\\empty"] = "";
  std::vector<std::string> empty = Analyse("c:\\logs\\empty");
  EXPECT_EQ(std::vector<std::string>(empty.begin() + 3, empty.end()), block);
  host.files["c:\\logs\\traffic"] = "07:00:00-00 - [001] CP 1 1\n07:00:01-00 - Network reset\nx\n";
  std::vector<std::string> traffic = Analyse("c:\\logs\\traffic");
  EXPECT_EQ(std::vector<std::string>(traffic.begin() + 3, traffic.end()), block);

  // Cancelled, or not to be opened: the frame alone.
  EXPECT_EQ(Analyse(""), (std::vector<std::string>{
                             "------------------ Log Analysis Start -------------------", "c:\\logs",
                             "------------------ Log Analysis End -------------------"}));
  EXPECT_EQ(Analyse("c:\\logs\\missing").size(), 4u);
  EXPECT_EQ(host.errors.back(), "Unable to open log file");
}

TEST(LogAnalysis, WhatIsUnusual) {
  EXPECT_TRUE(IsUnusualEntry("07:15:02-48 - Varnet started..."));
  EXPECT_FALSE(IsUnusualEntry("07:15:02-48 - [---] GPI Drv 005, Min 1, Max 3"));
  EXPECT_FALSE(IsUnusualEntry("07:15:02-48 - NetBIOS async SENDBCDG failed - Error 13"));
  EXPECT_FALSE(IsUnusualEntry("07:15:02-48 Varnet started..."));  // no " - "
  EXPECT_FALSE(IsUnusualEntry("7:15:02-48 - Varnet started..."));   // no ':' third
  EXPECT_TRUE(IsUnusualEntry("07:15:02-48 - network"));             // "Net" is case-sensitive
  EXPECT_FALSE(IsUnusualEntry("07"));
}

}  // namespace
}  // namespace varnet
