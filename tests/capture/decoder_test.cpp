// The decoders, format by format: the exact texts, the show flags, the
// device filters and every bound, including the fields that would have
// wrapped or looped.
#include "core/decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/varnet.h"
#include "fake_capture_host.h"
#include "fake_net.h"

namespace varnet {
namespace {

// W: a log line, S: a screen line, E: an error-log text, C: the clock.
class RecordingHost : public DecoderHost {
 public:
  std::vector<std::string> out;
  void WriteLogLine(const char* text) override { out.push_back(std::string("W:") + text); }
  void ShowLine(const char* text) override { out.push_back(std::string("S:") + text); }
  void WriteErrorLog(const char* text) override { out.push_back(std::string("E:") + text); }
  void SetClockDate(int y, int m, int d) override {
    out.push_back("C:" + std::to_string(y) + "-" + std::to_string(m) + "-" + std::to_string(d));
  }
  void SetClockTime(int h, int m, int s, int ms) override {
    out.push_back("C:" + std::to_string(h) + ":" + std::to_string(m) + ":" + std::to_string(s) +
                  "." + std::to_string(ms));
  }
};

using Lines = std::vector<std::string>;

std::string Pad(std::string text, std::size_t size) {
  text.resize(size, ' ');
  return text;
}
std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

class DecoderTest : public ::testing::Test {
 protected:
  Lines Command(const std::string& datagram) {
    host.out.clear();
    decoder.DecodeCommand(Buffer(datagram));
    return host.out;
  }
  Lines Revertive(const std::string& datagram, std::uint32_t counter = 0) {
    host.out.clear();
    decoder.DecodeRevertive(Buffer(datagram), counter);
    return host.out;
  }
  const std::uint8_t (&Buffer(const std::string& datagram))[kDatagramSize + 1] {
    std::memset(buffer, 0, sizeof buffer);
    std::memcpy(buffer, datagram.data(), std::min(datagram.size(), kDatagramSize));
    return buffer;
  }

  RecordingHost host;
  Settings settings;
  DeviceFilters filters;
  Decoder decoder{host, settings, filters};
  std::uint8_t buffer[kDatagramSize + 1];
};

TEST_F(DecoderTest, Commands) {
  filters.commands[14] = 0;
  const std::string longCommand = "CP 5 " + std::string(507, 'A');  // 512 bytes, no zero byte
  struct Case {
    std::string datagram;
    Lines expected;
  } cases[] = {
      {"CP1", {}},
      {"CP 12 1", {"W:[001] CP 12 1"}},
      {"CP 12 'a:b' x:CP 13 2", {"W:[001] CP 12 'a:b' x", "W:[002] CP 13 2"}},
      {"CP 12 'a:b:CP 13 2", {"W:[001] CP 12 'a:b:CP 13 2"}},  // the quote never closes
      {"CP 14 1:CP 13 1", {"W:[002] CP 13 1"}},                // 14 is filtered out
      {"CP 0 1:CP 1000 1:CP -3 1", {}},
      {"CP 12 1:XX:CP 13", {"W:[001] CP 12 1", "W:[002] XX", "W:[003] CP 13"}},
      {"::CP 5 1:", {"W:[003] CP 5 1"}},  // empty pieces write nothing
      {"XX abc:CP 6 1", {"W:[002] CP 6 1"}},  // no device to keep in the first
      {"NN 7 'A1:B2'", {"W:[001] Pkt Serial A1:B2 [007]"}},
      {"CP 9 1:NN 12 S77x", {"W:[001] CP 9 1", "W:[002] Pkt Serial S77x [012]"}},
      {"NX 5 1", {"W:[001] NX 5 1"}},
      {longCommand, {"W:[001] " + longCommand}},
  };
  for (const Case& c : cases) EXPECT_EQ(Command(c.datagram), c.expected) << c.datagram;

  settings.showPacketSerial = 0;
  settings.showNxMessages = 0;
  EXPECT_EQ(Command("NN 7 'A1:B2'"), Lines{});
  EXPECT_EQ(Command("NX 5 1:CP 5 2"), Lines{"W:[002] CP 5 2"});
}

TEST_F(DecoderTest, TheDispatchAndTheTextRevertives) {
  settings.showNxMessages = 1;
  EXPECT_EQ(Revertive("Zulu", 4), (Lines{"W:Unrecognised data in revertive packet 4", "W:Zulu"}));
  EXPECT_EQ(Revertive(""), (Lines{"W:Unrecognised data in revertive packet 0", "W:"}));
  for (const char* silent : {"GX", "HA", "IX", "NZ 1", "RX", "TX", "UX", "G", "N"}) {
    EXPECT_EQ(Revertive(silent), Lines{}) << silent;
  }
  EXPECT_EQ(Revertive("RD 12 READY"), Lines{"W:RD 12 READY"});
  for (const char* n : {"NA 1", "NB", "NC", "ND", "NE", "NI", "NL", "NO", "NR", "NS 1 x"}) {
    EXPECT_EQ(Revertive(n), Lines{std::string("W:") + n}) << n;
  }
  settings.showNxMessages = 0;
  EXPECT_EQ(Revertive("NS 1 x"), Lines{});

  settings.showHeartbeats = 1;
  EXPECT_EQ(Revertive("HB 00" + Bytes({0x2A, 0x00})), Lines{"W:Heartbeat - workstation 42"});
  EXPECT_EQ(Revertive("HB 00" + Bytes({0x01, 0x02})), Lines{"W:Heartbeat - workstation 513"});
  settings.showHeartbeats = 0;
  EXPECT_EQ(Revertive("HB 00" + Bytes({0x2A, 0x00})), Lines{});
}

TEST_F(DecoderTest, GpiRevertives) {
  const std::string gr = Pad("GR 5 1 3", 16) + "10" + Bytes({0xC8});
  EXPECT_EQ(Revertive(gr), (Lines{"S:" + gr, "W:[---] GPI Drv 005, Min 1, Max 3",
                                  "W:[001] GR 5 1 1", "W:[002] GR 5 2 0",
                                  "W:[003] GR 5 3 -104"}));  // 0xC8 is a signed character
  filters.revertives[5] = 0;
  EXPECT_EQ(Revertive(gr), Lines{"S:" + gr});  // the text is shown before any check
  const std::string zero = Pad("GR 0 1 3", 16) + "101";
  EXPECT_EQ(Revertive(zero), (Lines{"S:" + zero, "E:" + zero}));
  const std::string high = Pad("GR 1000 1 1", 16) + "1";
  EXPECT_EQ(Revertive(high), (Lines{"S:" + high, "E:" + high}));
  // Only the 16-byte header is scanned: digits glued to it are no field.
  EXPECT_EQ(Revertive("GR 6 2 1" + std::string(8, ' ') + "1").size(), 2u);  // last below first
  EXPECT_EQ(Revertive(Pad("GR 6 1 496", 16) + std::string(496, '1')).size(), 2u + 496u);
  EXPECT_EQ(Revertive(Pad("GR 6 1 497", 16) + std::string(496, '1')).size(), 2u);
  EXPECT_EQ(Revertive(Pad("GR 6 -2147483648 2147483647", 16)).size(), 2u);
}

TEST_F(DecoderTest, InfoRevertives) {
  const std::string head = Pad("IR 7 1 2 4", 24);
  const std::string ir = head + "ab" + Bytes({0, 0}) + "cdef" + "tail";
  EXPECT_EQ(Revertive(ir), (Lines{"W:[---] Info Drv 007, Min 1, Max 2, Slotsize 4",
                                  "W:[001] IR 7 1 'ab'", "W:[002] IR 7 2 'cdef'"}));
  for (const char* bad : {"IR 7 1 2 0", "IR 7 1 2 256", "IR 7 1 2 255", "IR 7 1 -2147483647 1"}) {
    EXPECT_EQ(Revertive(Pad(bad, 24) + std::string(488, 'x')).size(), 1u) << bad;
  }
  EXPECT_EQ(Revertive(Pad("IR 7 1 488 1", 24) + std::string(488, 'x')).size(), 1u + 488u);
  // The error-log text is the datagram cut at byte 23.
  EXPECT_EQ(Revertive(Pad("IR 0 1 1 4", 23) + "Xabcd"), Lines{"E:" + Pad("IR 0 1 1 4", 23)});
  filters.revertives[7] = 0;
  EXPECT_EQ(Revertive(ir), Lines{});
}

TEST_F(DecoderTest, RouterRevertives) {
  const std::string rr = Pad("RR 3 1 2 9", 24) + Bytes({0xFF, 0xFF, 0x05, 0x01});
  EXPECT_EQ(Revertive(rr), (Lines{"W:[---] Rtr Drv 3, Min 1, Max 2, iWS 9", "W:[001] RR 3 1 -1",
                                  "W:[002] RR 3 2 261"}));
  EXPECT_EQ(Revertive(Pad("RR 1 -1999999999 1 0", 24)),
            Lines{"W:[---] Rtr Drv 1, Min -1999999999, Max 1, iWS 0"});
  EXPECT_EQ(Revertive(Pad("RR 1 1 99999999999 0", 24)),
            Lines{"W:[---] Rtr Drv 1, Min 1, Max 2147483647, iWS 0"});
  EXPECT_EQ(Revertive(Pad("RR 1 1 244 0", 24)).size(), 1u + 244u);
  EXPECT_EQ(Revertive(Pad("RR 1 1 245 0", 24)).size(), 1u);
  EXPECT_EQ(Revertive("RR -5 1 1 0"), Lines{"E:RR -5 1 1 0"});
}

TEST_F(DecoderTest, TimeSetSetsOnlyARealDateAndTime) {
  EXPECT_EQ(Revertive("TS 01 10 2009 07 15 02 048"),
            (Lines{"W:TS 01 10 2009 07 15 02 048", "C:2009-10-1", "C:7:15:2.480"}));
  EXPECT_EQ(Revertive("TS 29 02 2024 23 59 59 099").size(), 3u);  // a leap day
  for (const char* bad : {"TS 29 02 2023 07 15 02 048", "TS 01 13 2009 07 15 02 048",
                          "TS 00 10 2009 07 15 02 048", "TS 01 10 2009 24 15 02 048",
                          "TS 01 10 2009 07 60 02 048", "TS 01 10 2009 07 15 02 100",
                          "TS 01 10 0999 07 15 02 048", "TS 01 10 2009", "TS", "TS x"}) {
    EXPECT_EQ(Revertive(bad), Lines{std::string("W:") + bad}) << bad;
  }
}

// A universal revertive from workstation 5.
std::string Ur(int count, const std::string& messages) {
  return "UR" + Bytes({' ', 0x00, 0x05, count}) + messages;
}
std::string Head(int type, int device, int reference) {
  return Bytes({type << 4 | device >> 8, device & 0xFF, reference >> 8, reference & 0xFF});
}
const std::string kSerial = Head(1, 0xFFF, 0xFFFF) + Bytes({0x80, 0x00, 0x01, 0x02});

TEST_F(DecoderTest, UniversalRevertives) {
  const std::string messages = Head(1, 12, 7) + Bytes({0, 3, 0xFF, 0xFE}) +       // RR
                               Head(2, 0, 1) + Bytes({0, 4, 200}) +                // GR, device 0
                               Head(3, 12, 2) + Bytes({0, 5, 3}) + "abc" +         // IR
                               Head(4, 0, 0) + Bytes({5, 0, 0}) + "RM 12" +        // text
                               kSerial +                                           // not last
                               Head(1, 1000, 1) + Bytes({0, 1, 0, 1}) +            // skipped
                               Head(4, 0, 0) + Bytes({5, 0, 0}) + "hello";
  EXPECT_EQ(Revertive(Ur(7, messages)),
            (Lines{"W:[---] Universal Revertive from Workstation 5 : Message count 7",
                   "W:[001] RR 12 3 -2 [007]", "W:[002] GR 0 4 200 [001]",
                   "W:[003] IR 12 5 'abc' [002]", "W:[004] RM 12", "W:[005] Pkt Serial: 00000102",
                   "W:[007] hello"}));
  filters.revertives[12] = 0;
  settings.showURheader = 0;
  settings.showPacketSerial = 0;
  EXPECT_EQ(Revertive(Ur(7, messages)), (Lines{"W:[002] GR 0 4 200 [001]", "W:[007] hello"}));

  settings.showURheader = 1;
  EXPECT_EQ(Revertive(Ur(0, messages)).size(), 1u);
  EXPECT_EQ(Revertive(Ur(0x80, messages)),
            Lines{"W:[---] Universal Revertive from Workstation 5 : Message count -128"});
}

TEST_F(DecoderTest, UniversalRevertivesThatEndEarly) {
  settings.showURheader = 0;
  const std::string rr = Head(1, 3, 1) + Bytes({0, 1, 0, 9});
  // An illegal type is reported once, with the message's bytes.
  EXPECT_EQ(Revertive(Ur(3, rr + Head(5, 3, 2) + Bytes({1, 2, 3, 4}) + rr)),
            (Lines{"W:[001] RR 3 1 9 [001]", "W:Illegal message in universal revertive",
                   "W:[002] 50 03 00 02 01 02 03 04"}));
  // A device above 999 of no known type ends silently.
  EXPECT_EQ(Revertive(Ur(3, rr + Head(7, 1234, 2) + rr)), Lines{"W:[001] RR 3 1 9 [001]"});
  // A message that would pass byte 511 is reported once.
  const std::string fill = Head(4, 0, 0) + Bytes({0, 0, 0});  // 7 bytes, an empty text
  std::string near;
  for (int i = 0; i < 71; ++i) near += fill;  // 6 + 497 = 503: 9 bytes left
  Lines out = Revertive(Ur(100, near + Head(3, 3, 1) + Bytes({0, 1, 9}) + "abcdefghi"));
  ASSERT_EQ(out.size(), 72u);
  EXPECT_EQ(out.back(), "E:Message exceeds packet boundary");
  out = Revertive(Ur(100, near + Head(3, 1500, 1) + Bytes({0, 1, 9})));  // a skip passing 511
  ASSERT_EQ(out.size(), 72u);
  EXPECT_EQ(out.back(), "E:Message exceeds packet boundary");
  // A serial message at 506 would pass byte 511.
  const std::string at506 = near.substr(7) + Head(4, 0, 0) + Bytes({3, 0, 0}) + "abc";
  out = Revertive(Ur(100, at506 + kSerial));
  ASSERT_EQ(out.size(), 72u);
  EXPECT_EQ(out.back(), "E:Message exceeds packet boundary");
  // A head that would pass byte 511 ends decoding without a line.
  std::string full;
  for (int i = 0; i < 63; ++i) full += rr;  // 6 + 504 = 510
  out = Revertive(Ur(127, full + "xy"));
  EXPECT_EQ(out.size(), 63u);
  EXPECT_EQ(out.back(), "W:[063] RR 3 1 9 [001]");
}

TEST(TokenScanner, TokensQuotesGlueAndMissingOnes) {
  TokenScanner t;
  t.Scan("XX a 'b c'd  -12 99999999999", 6);
  const char* texts[] = {"a", "b c", "-12", "99999999999", "", ""};
  const std::int32_t values[] = {0, 0, -12, 2147483647, 0, 0};
  for (int i = 0; i < 6; ++i) {
    EXPECT_STREQ(t.Text(i), texts[i]) << i;
    EXPECT_EQ(t.Value(i), values[i]) << i;
  }
  t.Scan("XX 'unclosed quote", 2);
  EXPECT_STREQ(t.Text(0), "unclosed quote");
  EXPECT_STREQ(t.Text(1), "");
  t.Scan("X", 3);  // shorter than the two-letter code and its blank
  EXPECT_STREQ(t.Text(0), "");
  EXPECT_STREQ(t.Text(5), "");  // a slot keeps its last content until scanned again
  t.Scan("XX 7", 12);           // more than ten are never taken
  EXPECT_EQ(t.Value(0), 7);
}

// Through the tool: the N-line rule of the log, the error log, the screen.
TEST(DecodingInVarnet, LinesReachTheLogTheScreenAndTheErrorLog) {
  FakeCaptureHost host;
  host.Set("c:\\cfg\\VARNET.INI", "Paths", "LogFilePath", "c:\\logs");
  FakeNet net;
  Varnet app(host, net);
  ASSERT_TRUE(app.Startup());
  std::uint8_t buffer[kDatagramSize + 1] = {};
  auto arrive = [&](std::uint8_t type, const std::string& data) {
    std::memset(buffer, 0, sizeof buffer);
    std::memcpy(buffer, data.data(), data.size());
    app.OnDatagram(type, buffer, static_cast<std::uint16_t>(data.size()));
  };
  arrive(kRecordRevertive, "NA 1 x");  // a blank third character: dropped by the log
  arrive(kRecordRevertive, "NS 1 x");
  app.OnCommand(kCmdShowNx);  // N messages off
  arrive(kRecordRevertive, "NS 1 y");
  arrive(kRecordRevertive, Pad("GR 0 1 1", 16) + "1");
  arrive(kRecordCommand, "CP 3 1");
  const std::vector<std::string> texts = host.LogTexts("c:\\logs\\LOG_20091001.07");
  EXPECT_EQ(std::vector<std::string>(texts.end() - 3, texts.end()),
            (std::vector<std::string>{"NS 1 x", "    - Not logging 'N' series messages -",
                                      "[001] CP 3 1"}));
  EXPECT_EQ(host.Lines("c:\\logs\\ERRORLOG.TXT"),
            std::vector<std::string>{"01/10/2009 07:15:02 - " + Pad("GR 0 1 1", 16) + "1"});
  const std::size_t n = host.screen.size();
  EXPECT_EQ(host.screen[n - 5], Pad("GR 0 1 1", 16) + "1");  // shown before it was logged
  EXPECT_EQ(host.screen[n - 4], "------------------ ! Error ! -------------------");
  EXPECT_TRUE(host.clockSets.empty());
}

}  // namespace
}  // namespace varnet
