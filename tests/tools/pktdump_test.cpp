// pktdump on files in memory and on disk: decoded texts with their file and
// record, the dump as the Packet dialog shows it, summaries, every bad
// input, and the pcapng export read by tshark, with and without our Lua
// dissector.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/varnet.h"
#include "core/packet_file.h"
#include "core/packet_record.h"
#include "fake_capture_host.h"
#include "fake_net.h"
#include "inputs.h"
#include "pktdump_core.h"
#include "pktdump_run.h"
#include "report.h"
#include "sample_capture.h"
#include "traffic_mix.h"

namespace {

using pktdump_test::Capture;
using pktdump_test::Pktdump;
using pktdump_test::Shell;
using pktdump_test::Slurp;

std::string Record(std::uint8_t type, const std::string& data, int length = -1) {
  std::uint8_t buffer[varnet::kDatagramSize + 1] = {};
  std::memcpy(buffer, data.data(), std::min(data.size(), varnet::kDatagramSize));
  std::uint8_t record[varnet::kRecordSize];
  varnet::BuildRecord(type, buffer, static_cast<std::uint16_t>(length < 0 ? data.size() : length), record);
  return std::string(reinterpret_cast<char*>(record), sizeof record);
}
std::string Pad(std::string s, std::size_t n) {
  s.resize(n, ' ');
  return s;
}
std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int x : b) s += static_cast<char>(x);
  return s;
}
pktdump::File Make(const std::string& name, const std::string& bytes) {
  return {name, std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
}
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return lines;
}
std::string Temp(const std::string& name, const std::string& bytes) {
  const std::string path = testing::TempDir() + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

const std::string kUr = "UR" + Bytes({' ', 0, 5, 3}) + Bytes({0x10, 0x0C, 0, 7, 0, 3, 0xFF, 0xFE}) +
                        Bytes({0x1F, 0xFF, 0xFF, 0xFF, 0, 0, 1, 2}) + Bytes({0x40, 0, 0, 0, 5, 0, 0}) + "hello";
const std::string kKinds = Record(1, "CP 12 'a:b' x:CP 13 2") + Record(1, "NN 7 'A1:B2'") +
                           Record(2, Pad("GR 5 1 3", 16) + "101") +
                           Record(2, Pad("IR 7 1 2 4", 24) + std::string("ab\0\0cdef", 8)) +
                           Record(2, Pad("RR 3 1 2 9", 24) + "\xff\xff\x05\x01") +
                           Record(2, "HB 00" + Bytes({0x2A, 0})) + Record(2, kUr) +
                           Record(2, "NA 1 x") + Record(2, "NS 1 x") + Record(2, Pad("GR 0 1 1", 16) + "1");

TEST(Pktdump, DecodesIntoTheTextsOfTheLogWithFileAndRecord) {
  const std::string out = Capture([](std::FILE* f) { pktdump::Decode(Make("dir/PKT_20091001.07", kKinds), "", f); });
  const std::vector<std::string> expected = {
      "PKT_20091001.07:000001: [001] CP 12 'a:b' x",
      "PKT_20091001.07:000001: [002] CP 13 2",
      "PKT_20091001.07:000002: [001] Pkt Serial A1:B2 [007]",
      "PKT_20091001.07:000003: [---] GPI Drv 005, Min 1, Max 3",
      "PKT_20091001.07:000003: [001] GR 5 1 1",
      "PKT_20091001.07:000003: [002] GR 5 2 0",
      "PKT_20091001.07:000003: [003] GR 5 3 1",
      "PKT_20091001.07:000004: [---] Info Drv 007, Min 1, Max 2, Slotsize 4",
      "PKT_20091001.07:000004: [001] IR 7 1 'ab'",
      "PKT_20091001.07:000004: [002] IR 7 2 'cdef'",
      "PKT_20091001.07:000005: [---] Rtr Drv 3, Min 1, Max 2, iWS 9",
      "PKT_20091001.07:000005: [001] RR 3 1 -1",
      "PKT_20091001.07:000005: [002] RR 3 2 261",
      "PKT_20091001.07:000007: [---] Universal Revertive from Workstation 5 : Message count 3",
      "PKT_20091001.07:000007: [001] RR 12 3 -2 [007]",
      "PKT_20091001.07:000007: [002] Pkt Serial: 00000102",
      "PKT_20091001.07:000007: [003] hello",
      "PKT_20091001.07:000009: NS 1 x",  // NA with a blank third character is dropped
      "PKT_20091001.07:000010: ERRORLOG: " + Pad("GR 0 1 1", 16) + "1",
  };
  EXPECT_EQ(Lines(out), expected);
  // Settings from a VARNET.INI: heartbeats on, device 12's commands off.
  const std::string ini = "[Network]\r\nShowHeartbeats=1\r\nShowNxMessages=0\r\n[Commands]\r\nDevice_012=0\r\n";
  const std::vector<std::string> lines =
      Lines(Capture([&](std::FILE* f) { pktdump::Decode(Make("PKT_20091001.07", kKinds), ini, f); }));
  EXPECT_EQ(lines[0], "PKT_20091001.07:000001: [002] CP 13 2");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "PKT_20091001.07:000006: Heartbeat - workstation 42"), lines.end());
  EXPECT_EQ(std::find(lines.begin(), lines.end(), "PKT_20091001.07:000009: NS 1 x"), lines.end());
}

TEST(Pktdump, FilesInNameOrderDumpsAsTheDialogAndSummaries) {
  const std::string a = Temp("PKT_20091001.07", Record(1, "CP 1 1"));
  const std::string b = Temp("PKT_20091001.08", Record(1, "CP 2 1") + Record(2, "RD 9"));
  int code = -1;
  const std::vector<std::string> decoded = Lines(Pktdump({"decode", b, a}, &code));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(decoded, (std::vector<std::string>{"PKT_20091001.07:000001: [001] CP 1 1",
                                               "PKT_20091001.08:000001: [001] CP 2 1",
                                               "PKT_20091001.08:000002: RD 9"}));
  // The dump is the Packet dialog's list.
  varnet::FakeCaptureHost host;
  host.Set("c:\\cfg\\VARNET.INI", "Paths", "LogFilePath", "c:\\logs");
  host.files["c:\\logs\\PKT"] = Record(1, "CP 2 1") + Record(2, "RD 9");
  host.choices = {"c:\\logs\\PKT"};
  varnet::FakeNet net;
  varnet::Varnet app(host, net);
  ASSERT_TRUE(app.Startup());
  app.OnCommand(varnet::kCmdPacket);
  app.Packets().OnInit();
  app.Packets().ChooseFile();
  app.Packets().OnCommand(varnet::kPacketNext);
  EXPECT_EQ(Lines(Pktdump({"dump", b, "2", "2"}, &code)), host.packetList);
  EXPECT_EQ(Lines(Pktdump({"dump", b}, &code)).size(), 68u);

  const std::string summary = Pktdump({"summary", b}, &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Lines(summary), (std::vector<std::string>{
                                "PKT_20091001.08: 2 records, 1 command, 1 revertive, 0 malformed",
                                "PKT_20091001.08: device 002: 1 datagram"}));
}

TEST(Pktdump, BadInputIsNamedAndEndsWithCodeOne) {
  struct Case {
    std::string bytes;
    std::string message;
  } cases[] = {
      {Record(1, "CP 1") + Record(3, "CP 1"), "record 2 has type 3, neither 1 nor 2"},
      {Record(1, "CP 1", 513), "record 1 has length 513, above 512"},
      {Record(2, "RD", 0xFFFF), "record 1 has length 65535, above 512"},
  };
  for (const Case& c : cases) {
    const std::string path = Temp("PKT_bad", c.bytes);
    for (const char* mode : {"decode", "dump"}) {
      int code = -1;
      std::string err;
      const std::string out = Pktdump({mode, path}, &code, &err);
      EXPECT_EQ(code, 1) << mode << " " << c.message;
      EXPECT_EQ(err, "pktdump: " + path + ": " + c.message + "\n");
      EXPECT_EQ(out, "");  // nothing read past a bad record is shown
    }
    // The export refuses the file before it writes anything.
    const std::string pcapng = testing::TempDir() + "bad.pcapng";
    std::remove(pcapng.c_str());
    int code = -1;
    std::string err;
    Pktdump({"pcapng", "--out", pcapng, path}, &code, &err);
    EXPECT_EQ(code, 1) << "pcapng " << c.message;
    EXPECT_EQ(err, "pktdump: " + path + ": " + c.message + "\n");
    std::FILE* written = std::fopen(pcapng.c_str(), "rb");
    EXPECT_EQ(written, nullptr) << "no export of a bad file";
    if (written != nullptr) std::fclose(written);
    Pktdump({"summary", path}, &code);
    EXPECT_EQ(code, 1) << c.message;
  }
  // A file cut inside a record is read to its last whole record in every
  // mode, and said: damage, exit 1, but what it holds is not refused.
  {
    const std::string path = Temp("PKT_20091001.09", Record(1, "CP 1") + "xyz");
    const std::string said = "pktdump: PKT_20091001.09: cut inside a record: 3 bytes after the last "
                             "whole record (1 record read)\n";
    int code = -1;
    std::string err;
    EXPECT_EQ(Pktdump({"decode", path}, &code, &err), "PKT_20091001.09:000001: [001] CP 1\n");
    EXPECT_EQ(code, 1);
    EXPECT_EQ(err, said);
    EXPECT_EQ(Lines(Pktdump({"dump", path}, &code, &err)).size(), 34u);
    EXPECT_EQ(err, said);
    const std::string pcapng = testing::TempDir() + "cut.pcapng";
    Pktdump({"pcapng", "--out", pcapng, path}, &code, &err);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(err, said);
    std::FILE* written = std::fopen(pcapng.c_str(), "rb");
    EXPECT_NE(written, nullptr) << "the whole records are exported";
    if (written != nullptr) std::fclose(written);
  }
  int code = -1;
  std::string err;
  Pktdump({"decode", "/no/such/PKT_x"}, &code, &err);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(err, "pktdump: /no/such/PKT_x: cannot be read: No such file or directory\n");
  Pktdump({"frobnicate"}, &code);
  EXPECT_EQ(code, 2);
}

TEST(Pktdump, UsageErrorsAreOneLineFoundBeforeAnyFileIsRead) {
  // Each line: the arguments, the exit code, and the whole error output
  // without "pktdump: " and, for a usage error, "; see pktdump --help".
  // /no/such is never reached.
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string said;
  } cases[] = {
      {{}, 2, "no mode given"},
      {{"sumary", "/no/such"}, 2, "unknown mode 'sumary'"},
      {{"pcapng", "--chanel", "7", "--out", "x", "/no/such"}, 2, "unknown option --chanel"},
      {{"pcapng", "--out", "x", "--channel"}, 2, "--channel needs a value"},
      {{"pcapng", "--channel", "100", "--out", "x", "/no/such"}, 2,
       "--channel is a channel number, 0 to 99, not '100'"},
      {{"pcapng", "--channel", "7x", "--out", "x", "/no/such"}, 2,
       "--channel is a channel number, 0 to 99, not '7x'"},
      {{"pcapng", "/no/such"}, 2, "pcapng needs --out"},
      {{"pcapng", "--hour", "2026120910", "--out", "x", "/no/such"}, 2,
       "--hour is an hour as YYYYMMDD.HH, not '2026120910'"},
      {{"summary", "--ini", "v.ini", "/no/such"}, 2, "--ini is not an option of summary"},
      {{"check", "--format", "json", "/no/such"}, 2, "--format is not an option of check"},
      {{"decode", "--format", "xml", "/no/such"}, 2, "--format is text or json, not 'xml'"},
      {{"decode", "--kind", "both", "/no/such"}, 2, "--kind is command or revertive, not 'both'"},
      {{"summary", "--tolerance", "x", "/no/such"}, 2, "--tolerance is milliseconds, 0 to 60000, not 'x'"},
      {{"report", "--tolerance", "60001", "--out", "x", "/no/such"}, 2,
       "--tolerance is milliseconds, 0 to 60000, not '60001'"},
      {{"decode", "--tolerance", "5", "/no/such"}, 2, "--tolerance is not an option of decode"},
      {{"decode", "--records", "9-3", "/no/such"}, 2, "the record range 9-3 is reversed or starts below 1"},
      {{"decode", "--records", "2-x", "/no/such"}, 2, "--records is N, FIRST-LAST or FIRST-, not '2-x'"},
      {{"decode", "--records", "99999999999999999999", "/no/such"}, 2,
       "--records is N, FIRST-LAST or FIRST-, not '99999999999999999999'"},
      {{"dump", "/no/such", "0"}, 2, "the record range 0-0 is reversed or starts below 1"},
      {{"dump", "/no/such", "5", "x"}, 2, "LAST is a record number, not 'x'"},
      {{"dump", "/no/such", "5-x"}, 2, "the range is N, FIRST-LAST or FIRST-, not '5-x'"},
      {{"decode", "-", "-"}, 2, "standard input can be read once"},
      {{"decode"}, 2, "no file given"},
      {{"decode", "--", "--kind"}, 1, "--kind: cannot be read: No such file or directory"},
      {{"decode", "/no/such"}, 1, "/no/such: cannot be read: No such file or directory"},
      {{"decode", "--ini", "/no/such.ini", "x"}, 1, "/no/such.ini: cannot be read: No such file or directory"},
      {{"decode", "--ini", "/tmp", "x"}, 1, "/tmp: cannot be read: Is a directory"},
      {{"summary", "/dev"}, 1, "/dev: a folder with no packet data file (PKT_YYYYMMDD.HH) in it"},
      {{"decode", "/dev/"}, 1, "/dev/: a folder with no packet data file (PKT_YYYYMMDD.HH) in it"},
  };
  for (const Case& c : cases) {
    int code = -1;
    std::string err;
    const std::string out = Pktdump(c.args, &code, &err);
    std::string what;
    for (const std::string& a : c.args) what += a + " ";
    EXPECT_EQ(code, c.code) << what;
    EXPECT_EQ(err, "pktdump: " + c.said + (c.code == 2 ? "; see pktdump --help" : "") + "\n") << what;
    EXPECT_EQ(out, "") << what;
  }
  int code = -1;
  std::string err;
  const std::string help = Pktdump({"--help"}, &code, &err);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(Lines(help)[0].substr(0, 21), "usage: pktdump decode");
  EXPECT_EQ(Pktdump({"--version"}, &code), std::string("pktdump ") + pktdump::kVersion +
                                              " (Trelm workstation toolset)\n");
  EXPECT_EQ(code, 0);
}

// Runs pktdump with a pipe as standard input.
std::string PktdumpFrom(const std::string& bytes, const std::vector<std::string>& args, int* code,
                        std::string* err) {
  const std::string path = Temp("stdin", bytes);
  std::FILE* in = popen(("cat " + path).c_str(), "r");
  std::string errors;
  const std::string out = Capture([&](std::FILE* o) {
    errors = Capture([&](std::FILE* e) { *code = pktdump::Main(args, o, e, in); });
  });
  pclose(in);
  *err = errors;
  return out;
}

TEST(Pktdump, StandardInputFiltersKeepGoingJsonAndRanges) {
  const std::string three = Record(1, "CP 12 1") + Record(2, Pad("GR 5 1 1", 16) + "1") +
                            Record(1, "CP 7 2");
  const std::string path = Temp("PKT_20091001.09", three);
  int code = -1;
  std::string err;
  // "-" reads standard input, named so.
  EXPECT_EQ(Lines(PktdumpFrom(three, {"decode", "--kind", "command", "-"}, &code, &err)),
            (std::vector<std::string>{"(standard input):000001: [001] CP 12 1",
                                      "(standard input):000003: [001] CP 7 2"}));
  EXPECT_EQ(code, 0);
  // Filters: the device named first, the record range.
  EXPECT_EQ(Lines(Pktdump({"decode", "--device", "7", "--device", "5", path}, &code)),
            (std::vector<std::string>{"PKT_20091001.09:000002: [---] GPI Drv 005, Min 1, Max 1",
                                      "PKT_20091001.09:000002: [001] GR 5 1 1",
                                      "PKT_20091001.09:000003: [001] CP 7 2"}));
  EXPECT_EQ(Lines(Pktdump({"decode", "--records", "2-2", path}, &code)).size(), 2u);
  EXPECT_EQ(Lines(Pktdump({"decode", "--records", "3", path}, &code)),
            (std::vector<std::string>{"PKT_20091001.09:000003: [001] CP 7 2"}));
  // JSON: one object per record, and per file for summary.
  EXPECT_EQ(Lines(Pktdump({"decode", "--format", "json", "--records", "1-1", path}, &code)),
            (std::vector<std::string>{"{\"file\":\"PKT_20091001.09\",\"record\":1,\"kind\":"
                                      "\"command\",\"length\":7,\"lines\":[\"[001] CP 12 1\"],"
                                      "\"devices\":[12],\"errorlog\":[]}"}));
  EXPECT_EQ(Pktdump({"summary", "--format", "json", path}, &code),
            "{\"file\":\"PKT_20091001.09\",\"records\":3,\"commands\":2,\"revertives\":1,"
            "\"malformed\":0,\"bytes_after_last_record\":0,\"devices\":{\"5\":1,\"7\":1,"
            "\"12\":1},\"bad_records\":[]}\n");

  // A bad record: refused whole, or with --keep-going named, skipped, and
  // still an exit code of 1; from standard input too.
  const std::string bad = Record(1, "CP 1 1") + Record(3, "CP 2 1") + Record(1, "CP 3 1") + "xy";
  const std::string badPath = Temp("PKT_20091001.10", bad);
  EXPECT_EQ(Pktdump({"decode", badPath}, &code, &err), "");
  EXPECT_EQ(code, 1);
  const std::vector<std::string> kept = {"PKT_20091001.10:000001: [001] CP 1 1",
                                         "PKT_20091001.10:000003: [001] CP 3 1"};
  EXPECT_EQ(Lines(Pktdump({"decode", "--keep-going", badPath}, &code, &err)), kept);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(Lines(err), (std::vector<std::string>{
                            "pktdump: PKT_20091001.10: record 2 has type 3, neither 1 nor 2; skipped",
                            "pktdump: PKT_20091001.10: cut inside a record: 2 bytes after the last whole record (3 records read)"}));
  EXPECT_EQ(Lines(PktdumpFrom(bad, {"decode", "-"}, &code, &err)),
            (std::vector<std::string>{"(standard input):000001: [001] CP 1 1"}));
  EXPECT_EQ(code, 1);
  EXPECT_EQ(Lines(err)[0], "pktdump: (standard input): record 2 has type 3, neither 1 nor 2");
  EXPECT_EQ(Lines(Pktdump({"summary", badPath}, &code)),
            (std::vector<std::string>{
                "PKT_20091001.10: record 2 is malformed: type 3, neither 1 nor 2",
                "PKT_20091001.10: 3 records, 2 commands, 0 revertives, 1 malformed",
                "PKT_20091001.10: cut inside a record: 2 bytes after the last whole record (3 records read)",
                "PKT_20091001.10: device 001: 1 datagram", "PKT_20091001.10: device 003: 1 datagram"}));
  EXPECT_EQ(code, 1);

  // Dump ranges: outside the file is said; past its end is cut and said.
  Pktdump({"dump", path, "4"}, &code, &err);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(err, "pktdump: " + path + ": holds 3 records: record 4 is not in it\n");
  EXPECT_EQ(Lines(Pktdump({"dump", path, "3", "9"}, &code, &err)).size(), 34u);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(err, "pktdump: " + path + ": holds 3 records: the range ends at 3\n");
  EXPECT_EQ(Lines(PktdumpFrom(three, {"dump", "-", "2", "2"}, &code, &err))[0],
            "Packet: 0002 (0002) - Type 2 - Length 17");

  // The export to standard output is the export to a file, byte for byte.
  const std::string file = testing::TempDir() + "three.pcapng";
  Pktdump({"pcapng", "--out", file, path}, &code);
  std::ifstream written(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
  EXPECT_EQ(Pktdump({"pcapng", "--out", "-", path}, &code), bytes);
  EXPECT_EQ(code, 0);
}

TEST(Pktdump, SummaryAndTheDeviceFilterFollowTheDecodersDeviceRule) {
  // Each datagram and the devices its lines belong to (the devices whose
  // filter entries decide whether its lines are written). summary's counts
  // and --device take exactly what decode --format json gives each device.
  struct Case {
    std::uint8_t type;
    std::string data;
    std::set<int> devices;
  } const cases[] = {
      {1, "CP 12 'a:b' x:CP 13 2", {12, 13}},
      {1, "NN 7 'A1:B2'", {}},  // a packet serial's index is no device
      {1, "XP 5 1:NN 7 'x':XY", {5, 7}},
      {2, "RD 9 READY", {}},
      {2, "NS 4 x", {}},
      {2, Pad("GR 5 1 3", 16) + "101", {5}},
      {2, Pad("GR 0 1 1", 16) + "1", {}},  // device 0 passes every filter
      {2, kUr, {12}},
      {2, "HB 00" + Bytes({0x2A, 0}), {}},
  };
  std::string records;
  for (const Case& c : cases) records += Record(c.type, c.data);
  const std::string path = Temp("PKT_20091001.12", records);
  int code = -1;
  // The records (by number) of decode's JSON, and each one's devices.
  auto decoded = [&](const std::vector<std::string>& args) {
    std::map<int, std::set<int>> out;
    static const std::regex object("\"record\":([0-9]+),.*\"devices\":\\[([0-9,]*)\\]");
    for (const std::string& line : Lines(Pktdump(args, &code))) {
      std::smatch m;
      if (!std::regex_search(line, m, object)) continue;
      std::set<int>& devices = out[std::atoi(m[1].str().c_str())];
      std::istringstream list(m[2].str());
      for (std::string d; std::getline(list, d, ',');) devices.insert(std::atoi(d.c_str()));
    }
    return out;
  };
  const auto all = decoded({"decode", "--format", "json", path});
  ASSERT_EQ(all.size(), std::size(cases));
  std::map<int, long> counts;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(all.at(static_cast<int>(i + 1)), cases[i].devices) << cases[i].data;
    for (int d : cases[i].devices) ++counts[d];
  }
  std::string expected = "\"devices\":{";
  for (const auto& [device, count] : counts) {
    expected += (expected.back() == '{' ? "\"" : ",\"") + std::to_string(device) + "\":" + std::to_string(count);
  }
  EXPECT_NE(Pktdump({"summary", "--format", "json", path}, &code).find(expected + "}"), std::string::npos)
      << expected;
  for (int device : {4, 5, 7, 9, 12, 13}) {
    std::set<int> want, got;
    for (const auto& [record, devices] : all) {
      if (devices.count(device) != 0) want.insert(record);
    }
    for (const auto& [record, devices] : decoded({"decode", "--format", "json", "--device",
                                                   std::to_string(device), path})) {
      got.insert(record);
    }
    EXPECT_EQ(got, want) << "--device " << device;
  }
}

TEST(Pktdump, AnOutputThatCannotBeWrittenEndsWithCodeOne) {
  // /dev/full takes nothing: every mode says so, and the export leaves no
  // cut file behind.
  std::string records;
  for (int i = 0; i < 5000; ++i) records += Record(1, "CP 12 'abc'");
  const std::string path = Temp("PKT_20091001.07", records);
  for (const char* mode : {"decode", "dump", "summary"}) {
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::string errors;
    const std::string err = Capture([&](std::FILE* e) {
      EXPECT_EQ(pktdump::Main({mode, path}, full, e), 1) << mode;
    });
    std::fclose(full);
    EXPECT_EQ(err, "pktdump: the output: cannot be written (disk full?)\n") << mode;
  }
  char dir[] = "/tmp/pktdump_disk_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string disk = dir;
  if (std::system(("mount -t tmpfs -o size=16k tmpfs " + disk + " 2>/dev/null").c_str()) != 0) {
    std::system(("rmdir " + disk).c_str());
    GTEST_SKIP() << "a small tmpfs cannot be mounted here (the test command runs as root)";
  }
  // What was there before stays, and no part of the new export.
  const std::string pcapng = disk + "/night.pcapng";
  std::ofstream(pcapng, std::ios::binary) << "before";
  int code = -1;
  std::string err;
  Pktdump({"pcapng", "--out", pcapng, path}, &code, &err);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(err, "pktdump: " + pcapng + ": cannot be written (disk full?)\n");
  EXPECT_EQ(Slurp(pcapng), "before");
  EXPECT_FALSE(std::filesystem::exists(pcapng + ".pktdump-part")) << "a cut export was left";
  std::system(("umount " + disk + " && rmdir " + disk).c_str());
}

TEST(Pktdump, ThePcapngExportAsTsharkAndOurDissectorReadIt) {
  if (Shell("command -v tshark").empty()) GTEST_SKIP() << "tshark (installed by tools/setup.sh)";
  const char* lua = std::getenv("TRELM_DISSECTOR");
  ASSERT_NE(lua, nullptr) << "TRELM_DISSECTOR names trelm.lua";
  // A universal revertive whose IR message runs past the datagram.
  const std::string cut = "UR" + Bytes({' ', 0, 5, 1}) + Bytes({0x30, 0x0C, 0, 1, 0, 1, 0xFF}) + "abc";
  const std::string pkt = Temp("PKT_20091001.07", kKinds + Record(2, cut));
  const std::string out = testing::TempDir() + "kinds.pcapng";
  int code = -1;
  Pktdump({"pcapng", "--channel", "7", "--out", out, pkt}, &code);
  ASSERT_EQ(code, 0);

  // Without the dissector: the datagram service's names and the user data
  // byte for byte, and no warning.
  const std::vector<std::string> plain = Lines(Shell(
      "tshark -r " + out + " -T fields -e nbdgm.destination_name -e data.data 2>/dev/null"));
  ASSERT_EQ(plain.size(), 11u);
  EXPECT_EQ(plain[0], "DEVICE_CONTROL7<20>\t43502031322027613a622720783a43502031332032");
  EXPECT_EQ(plain[5], "ORM7<20>\t48422030302a00");
  EXPECT_EQ(Shell("tshark -r " + out + " -q -z expert,warn 2>/dev/null").find("Warns"), std::string::npos);
  EXPECT_NE(Shell("capinfos -a " + out + " 2>/dev/null").find("2009-10-01 07:00:00"), std::string::npos);
  // Each frame says where it came from.
  const std::vector<std::string> comments =
      Lines(Shell("tshark -r " + out + " -T fields -e frame.comment 2>/dev/null"));
  ASSERT_EQ(comments.size(), 11u);
  EXPECT_EQ(comments[0], "PKT_20091001.07 record 1");
  EXPECT_EQ(comments[10], "PKT_20091001.07 record 11");
  // A name that gives no hour is said, and the hour of the file's last
  // change stamps its frames.
  const std::string renamed = Temp("night.pkt", kKinds);
  std::system(("touch -d '2026-12-09 10:40:00 UTC' " + renamed).c_str());
  std::string err;
  const std::string stamped = testing::TempDir() + "renamed.pcapng";
  Pktdump({"pcapng", "--out", stamped, renamed}, &code, &err);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(err, "pktdump: night.pkt: the name gives no hour (PKT_YYYYMMDD.HH): its untimed frames "
                 "are stamped from 2026-12-09 10:00 UTC, the hour of its last change; --hour gives one\n");
  EXPECT_NE(Shell("capinfos -a " + stamped + " 2>/dev/null").find("2026-12-09 10:00:00"),
            std::string::npos);

  // With it: the fields the decoder's lines name. N series texts and the
  // packet serial command give lines to no device, as in Varnet.
  const std::string base = "tshark -r " + out + " -X lua_script:" + lua + " -T fields -E 'separator=;' ";
  const std::vector<std::string> rows = Lines(Shell(
      base + "-e trelm.kind -e trelm.code -e trelm.device -e trelm.index -e trelm.value -e trelm.state "
             "-e trelm.text -e trelm.serial -e trelm.serial_number -e trelm.workstation 2>/dev/null"));
  ASSERT_EQ(rows.size(), 11u);
  const std::vector<std::string> expected = {
      "command;CP,CP;12,13;;;;;;;",
      "command;NN;;;;;;A1:B2;;",
      "revertive;GR;5;1,2,3;;1,0,1;;;;",
      "revertive;IR;7;1,2;;;ab,cdef;;;",
      "revertive;RR;3;1,2;-1,261;;;;;",
      "revertive;HB;;;;;;;;42",
      "revertive;UR;12;3;-2;;hello;;0x00000102;5",
      "revertive;NA;;;;;NA 1 x;;;",
      "revertive;NS;;;;;NS 1 x;;;",
      "revertive;GR;;;;;;;;",
      "revertive;UR;12;1;;;abc;;;5",
  };
  EXPECT_EQ(rows, expected);
  // Device 0 of a GR is an error log entry in Varnet: malformed. The IR
  // message that runs past the datagram's bytes but not past the 512 bytes
  // Varnet decodes is read as Varnet reads it.
  EXPECT_EQ(Lines(Shell(base + "-Y trelm.malformed -e frame.number -e trelm.anomaly 2>/dev/null")),
            (std::vector<std::string>{"10;errorlog"}));
  // The Info column names devices and index ranges; TS becomes a date.
  EXPECT_EQ(Lines(Shell(base + "-e _ws.col.Info 2>/dev/null"))[2], "Revertive GR [device 5 index 1-3]");
}

std::string TimedRecord(std::uint8_t type, const std::string& data, std::uint64_t filetime,
                        std::uint32_t sequence, int run = varnet::Arrival::kNoRunTag) {
  std::uint8_t buffer[varnet::kDatagramSize + 1] = {};
  std::memcpy(buffer, data.data(), std::min(data.size(), varnet::kDatagramSize));
  std::uint8_t record[varnet::kRecordSize];
  const varnet::Arrival arrival{filetime, sequence, run};
  varnet::BuildRecord(type, buffer, static_cast<std::uint16_t>(data.size()), record, &arrival);
  return std::string(reinterpret_cast<char*>(record), sizeof record);
}

TEST(Pktdump, RecordsWithTheirArrivalGiveTimesRatesGapsAndChecks) {
  // 2026-12-09 10:00:00 UTC as a FILETIME; a datagram every 10 ms.
  const std::uint64_t base = (1796810400ull + 11644473600ull) * 10000000ull;
  const std::uint64_t tick = 100000;
  const std::string seven = TimedRecord(1, "CP 12 1", base, 1) +
                            TimedRecord(2, "RD 5", base + tick, 2) +
                            TimedRecord(1, "CP 13 2", base + 2 * tick, 3);
  // The next hour: three lost before it, then the wrapper starts again.
  const std::string eight = TimedRecord(1, "CP 14 1", base + 3 * tick, 7) +
                            TimedRecord(1, "CP 15 1", base + 4 * tick, 8) +
                            TimedRecord(1, "CP 16 1", base + 5 * tick, 1);
  const std::string a = Temp("PKT_20261209.10", seven);
  const std::string b = Temp("PKT_20261209.11", eight);
  int code = -1;
  EXPECT_EQ(Lines(Pktdump({"decode", "--records", "2", a}, &code))[0],
            "PKT_20261209.10:000002 2026-12-09T10:00:00.0100000Z: RD 5");
  EXPECT_NE(Pktdump({"decode", "--format", "json", "--records", "1", a}, &code)
                .find("\"length\":7,\"time\":\"2026-12-09T10:00:00.0000000Z\",\"sequence\":1,"),
            std::string::npos);
  EXPECT_EQ(Lines(Pktdump({"summary", a, b}, &code)),
            (std::vector<std::string>{
                "PKT_20261209.10: 3 records, 2 commands, 1 revertive, 0 malformed",
                "PKT_20261209.10: from 2026-12-09T10:00:00.0000000Z to 2026-12-09T10:00:00.0200000Z, "
                "0.020 s, 100.0 datagrams a second",
                "PKT_20261209.10: device 012: 1 datagram", "PKT_20261209.10: device 013: 1 datagram",
                "PKT_20261209.11: 3 records, 3 commands, 0 revertives, 0 malformed",
                "PKT_20261209.11: from 2026-12-09T10:00:00.0300000Z to 2026-12-09T10:00:00.0500000Z, "
                "0.020 s, 100.0 datagrams a second",
                "PKT_20261209.11: 3 datagrams lost (sequence 4 to 6) before record 1",
                "PKT_20261209.11: the sequence starts again at 1 at record 3 (a new run)",
                "PKT_20261209.11: device 014: 1 datagram", "PKT_20261209.11: device 015: 1 datagram",
                "PKT_20261209.11: device 016: 1 datagram"}));
  EXPECT_EQ(code, 0);
  // The check: whole, with a gap, and with nothing to check.
  EXPECT_EQ(Pktdump({"check", a}, &code), "0 gaps, 0 datagrams lost\n");
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Lines(Pktdump({"--check", b, a}, &code)),
            (std::vector<std::string>{
                "PKT_20261209.11: 3 datagrams lost (sequence 4 to 6) before record 1",
                "PKT_20261209.11: the sequence starts again at 1 at record 3 (a new run)",
                "1 gap, 3 datagrams lost"}));
  EXPECT_EQ(code, 1);
  // Two names' queues can put records out of the order of arrival: only
  // numbers that never came are lost.
  std::string shuffled;
  for (std::uint32_t n : {1, 3, 2, 5, 4, 8, 6}) shuffled += TimedRecord(2, "RD", base + n * tick, n);
  EXPECT_EQ(Pktdump({"check", Temp("PKT_20261209.13", shuffled)}, &code),
            "PKT_20261209.13: 1 datagram lost (sequence 7 to 7) before record 6\n1 gap, 1 datagram lost\n");
  EXPECT_EQ(code, 1);
  const std::string untimed = Temp("PKT_20261209.12", Record(1, "CP 1 1"));
  EXPECT_EQ(Pktdump({"check", untimed}, &code),
            "no record carries its arrival (PacketTimes=1): nothing to check\n");
  EXPECT_EQ(code, 3);  // not the code of a gap

  // The export stamps each frame with its arrival and names its sequence.
  if (Shell("command -v tshark").empty()) GTEST_SKIP() << "tshark (installed by tools/setup.sh)";
  const std::string cap = testing::TempDir() + "timed.pcapng";
  Pktdump({"pcapng", "--out", cap, a}, &code);
  ASSERT_EQ(code, 0);
  EXPECT_EQ(Lines(Shell("tshark -r " + cap + " -T fields -e frame.time_epoch -e frame.comment 2>/dev/null")),
            (std::vector<std::string>{"1796810400.000000000\tPKT_20261209.10 record 1 sequence 1",
                                      "1796810400.010000000\tPKT_20261209.10 record 2 sequence 2",
                                      "1796810400.020000000\tPKT_20261209.10 record 3 sequence 3"}));
}

// What a decoded record says, as pktdump's JSON and the dissector's fields
// both give it: the devices its lines go to (1..999), and its anomalies.
struct Said {
  std::set<int> devices;
  std::set<std::string> anomalies;
  bool operator==(const Said& o) const { return devices == o.devices && anomalies == o.anomalies; }
};
std::string Show(const Said& s) {
  std::string out = "devices";
  for (int d : s.devices) out += " " + std::to_string(d);
  out += ", anomalies";
  for (const std::string& a : s.anomalies) out += " " + a;
  return out;
}

TEST(Pktdump, TheDissectorAgreesWithVarnetRecordByRecord) {
  if (Shell("command -v tshark").empty()) GTEST_SKIP() << "tshark (installed by tools/setup.sh)";
  const char* lua = std::getenv("TRELM_DISSECTOR");
  const char* seeds = std::getenv("TRELM_FUZZ_SEEDS");
  ASSERT_NE(lua, nullptr) << "TRELM_DISSECTOR names trelm.lua";
  ASSERT_NE(seeds, nullptr) << "TRELM_FUZZ_SEEDS names the fuzz targets' seeds";
  // The traffic tool's mix, the decoder fuzzers' seeds (their first byte
  // holds the fuzzer's flags), and the cases the two used to disagree on.
  std::string records;
  trelm_traffic::Mix mix(trelm_traffic::Kind::Mix);
  std::vector<std::uint8_t> bytes;
  for (long n = 0; n < 3000; ++n) {
    const bool command = mix.Next(n, bytes);
    records += Record(command ? 1 : 2, std::string(bytes.begin(), bytes.end()));
  }
  for (const auto& [dir, type] : {std::pair<std::string, int>{"command", 1}, {"revertive", 2}}) {
    for (const std::string& name : Lines(Shell("ls " + std::string(seeds) + "/" + dir))) {
      std::ifstream in(std::string(seeds) + "/" + dir + "/" + name, std::ios::binary);
      const std::string seed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (!seed.empty()) records += Record(type, seed.substr(1, 512));
    }
  }
  for (const char* command : {"CP 12 1:XY y:CP 13 2", "CP 4 1:'a:b' 7", "NN 7 'x'", "CP"}) {
    records += Record(1, command);
  }
  for (const std::string& revertive : std::vector<std::string>
       {std::string("HB"), std::string("NX 5"), std::string("NA 5 x"), std::string("GX 5"),
        std::string("ZZ 5"), std::string(""), std::string("GR 5 1 3"), std::string("GR 1000 1 1"),
        Pad("IR 7 1 2 4", 24) + "ab", std::string("RR 0 1 1"), std::string("TS 09 12 2026 10 11 12 013"),
        "UR" + Bytes({' ', 0, 5, 2}) + Bytes({0x10, 0x0C, 0, 1, 0, 1, 0, 2}) + Bytes({0x70, 0x01, 0, 1}),
        "UR" + Bytes({' ', 0, 5, 1}) + Bytes({0x40, 0, 0, 0, 4, 0, 0}) + "RM 9",
        "UR" + Bytes({' ', 0, 5, 1}) + Bytes({0x30, 0x0C, 0, 1, 0, 1, 0xFF}) + "abc"}) {
    records += Record(2, revertive);
  }
  // The device rule: a line belongs to the device whose filter decides
  // whether it is written, so a packet serial, RD, NS, a time set and the
  // universal revertive's device 0 give none; a command after NN keeps its
  // number. Seven records, last.
  records += Record(1, "XP 5 1:NN 7 'x':XY") + Record(1, "NN 300 'A1'") + Record(2, "RD 5 READY 1") +
             Record(2, "NS 5 x") + Record(2, "TS 09 12 2026 10 11 12 050") +
             Record(2, "UR" + Bytes({' ', 0, 5, 1}) + Bytes({0x10, 0x00, 0, 1, 0, 1, 0, 2})) +
             Record(2, Pad("GR 0 1 1", 16) + "1");
  const std::string pkt = Temp("PKT_20261209.07", records);
  const std::string cap = testing::TempDir() + "agree.pcapng";
  int code = -1;
  Pktdump({"pcapng", "--channel", "7", "--out", cap, pkt}, &code);
  ASSERT_EQ(code, 0);

  std::vector<Said> varnet;
  for (const std::string& object : Lines(Pktdump({"decode", "--format", "json", pkt}, &code))) {
    Said said;
    const std::size_t at = object.find("\"devices\":[") + 11;
    std::istringstream list(object.substr(at, object.find(']', at) - at));
    for (std::string d; std::getline(list, d, ',');) said.devices.insert(std::atoi(d.c_str()));
    if (object.find("\"errorlog\":[]") == std::string::npos) said.anomalies.insert("errorlog");
    if (object.find("Unrecognised data in revertive packet") != std::string::npos) {
      said.anomalies.insert("unrecognised");
    }
    if (object.find("Illegal message in universal revertive") != std::string::npos) {
      said.anomalies.insert("illegal");
    }
    varnet.push_back(said);
  }
  std::vector<Said> dissector;
  for (const std::string& row :
       Lines(Shell("tshark -r " + cap + " -X lua_script:" + lua +
                   " -T fields -E separator=';' -e trelm.device -e trelm.anomaly 2>/dev/null"))) {
    Said said;
    const std::size_t semicolon = row.find(';');
    std::istringstream devices(row.substr(0, semicolon)), anomalies(row.substr(semicolon + 1));
    for (std::string d; std::getline(devices, d, ',');) said.devices.insert(std::atoi(d.c_str()));
    for (std::string a; std::getline(anomalies, a, ',');) said.anomalies.insert(a);
    dissector.push_back(said);
  }
  ASSERT_EQ(dissector.size(), varnet.size());
  int disagreements = 0;
  for (std::size_t n = 0; n < varnet.size(); ++n) {
    if (varnet[n] == dissector[n]) continue;
    if (++disagreements > 10) break;
    ADD_FAILURE() << "record " << n + 1 << ": pktdump " << Show(varnet[n]) << "; dissector "
                  << Show(dissector[n]);
  }
  // The cases themselves, so that agreement is not agreement on nothing.
  const std::size_t end = varnet.size(), last = end - 7;
  EXPECT_EQ(varnet[last - 18].devices, (std::set<int>{12, 13}));  // XY keeps device 12
  EXPECT_EQ(varnet[last - 10].anomalies, std::set<std::string>{"unrecognised"});  // ZZ 5
  EXPECT_EQ(varnet[last - 7].anomalies, std::set<std::string>{"errorlog"});        // GR 1000
  EXPECT_EQ(varnet[last - 3].anomalies, std::set<std::string>{"illegal"});
  EXPECT_EQ(varnet[last - 2].devices, std::set<int>{9});  // RM 9
  // A time set as a date and time, and whether it sets the clock.
  EXPECT_EQ(Lines(Shell("tshark -r " + cap + " -X lua_script:" + lua +
                        " -Y 'frame.number == " + std::to_string(last - 3) +
                        "' -T fields -e trelm.time -e trelm.time_valid 2>/dev/null")),
            std::vector<std::string>{"2026-12-09 10:11:12.130\t1"});
  EXPECT_EQ(varnet[end - 7].devices, (std::set<int>{5, 7}));  // XY keeps NN's 7
  for (std::size_t n = end - 6; n < end; ++n) EXPECT_EQ(varnet[n].devices, std::set<int>{}) << n;
  EXPECT_EQ(varnet[end - 1].anomalies, std::set<std::string>{"errorlog"});  // GR 0
  // Hundredths 050 set the clock to .500, in three digits.
  EXPECT_EQ(Lines(Shell("tshark -r " + cap + " -X lua_script:" + lua + " -Y 'frame.number == " +
                        std::to_string(end - 2) + "' -T fields -e trelm.time 2>/dev/null")),
            std::vector<std::string>{"2026-12-09 10:11:12.500"});
}

// 2026-12-09 10:00:00 UTC as a FILETIME, and 10 ms.
constexpr std::uint64_t kTen = (1796810400ull + 11644473600ull) * 10000000ull;
constexpr std::uint64_t kTick = 100000;

// Records of the given sequence numbers and run tag, 10 ms apart.
std::string Tagged(std::initializer_list<std::uint32_t> sequences, int run, std::uint64_t from = 0) {
  std::string records;
  for (std::uint32_t n : sequences) records += TimedRecord(2, "RD 5", kTen + (from + n) * kTick, n, run);
  return records;
}
std::string Span(std::uint32_t first, std::uint32_t last, int run) {
  std::string records;
  for (std::uint32_t n = first; n <= last; ++n) records += TimedRecord(2, "RD 5", kTen + n * kTick, n, run);
  return records;
}

TEST(Pktdump, CheckKnowsRunsByTheirTagAndTellsEachGapWhereItFalls) {
  // Each case: files (folder/name, records), check's output, exit code.
  const int none = varnet::Arrival::kNoRunTag;
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    std::string said;
    int code;
  } cases[] = {
      {"reordered inside the window", {{"a/PKT_20261209.10", Tagged({2, 1, 3}, 0)}}, "0 gaps, 0 datagrams lost\n", 0},
      {"a run whose first datagram was lost",
       {{"a/PKT_20261209.10", Span(1, 1000, 0) + Tagged({2, 3}, 1)}},
       "PKT_20261209.10: run 1 starts at record 1001 (sequence 2)\n"
       "PKT_20261209.10: 1 datagram lost (sequence 1 to 1) before record 1001\n1 gap, 1 datagram lost\n", 1},
      {"a run tagged from its sequence 1", {{"a/PKT_20261209.10", Tagged({1, 2}, 5) + Tagged({1}, 6)}},
       "PKT_20261209.10: run 6 starts at record 3 (sequence 1)\n0 gaps, 0 datagrams lost\n", 0},
      {"untagged files keep the old rule", {{"a/PKT_20261209.10", Tagged({1, 2, 3, 1, 2}, none)}},
       "PKT_20261209.10: the sequence starts again at 1 at record 4 (a new run)\n0 gaps, 0 datagrams lost\n", 0},
      {"a repeated number", {{"a/PKT_20261209.10", Tagged({1, 2, 2, 3}, 0)}},
       "PKT_20261209.10: sequence 2 repeated at record 3\n"
       "0 gaps, 0 datagrams lost, 1 sequence number repeated\n", 1},
      {"a gap told in its own file",
       {{"a/PKT_20261209.07", Span(1, 500, 0) + Span(511, 520, 0)}, {"a/PKT_20261209.09", Span(521, 530, 0)}},
       "PKT_20261209.07: 10 datagrams lost (sequence 501 to 510) before record 501\n"
       "1 gap, 10 datagrams lost\n", 1},
      {"two folders, two captures, named by path",
       {{"a/PKT_20261209.10", Tagged({1, 2, 3}, 0)}, {"b/PKT_20261209.10", Tagged({1, 3}, 0)}},
       "b/PKT_20261209.10: 1 datagram lost (sequence 2 to 2) before record 2\n1 gap, 1 datagram lost\n", 1},
      {"a run across the hours of one folder, named two ways",
       {{"a/PKT_20261209.10", Span(1, 5, 0)}, {"a/./PKT_20261209.11", Span(6, 10, 0)}},
       "0 gaps, 0 datagrams lost\n", 0},
      {"a run's count going on past 4294967295 (a 32-bit counter), reordered",
       {{"a/PKT_20261209.10", Tagged({4294967294u, 0, 4294967295u, 1, 3, 2}, 0)}},
       "PKT_20261209.10: 4294967293 datagrams not in these files (sequence 1 to 4294967293, before "
       "record 1): lost, or in an earlier file\n0 gaps, 0 datagrams lost, 4294967293 datagrams "
       "before the first record not in these files\n", 4},
      {"a run that began before the files given", {{"a/PKT_20261209.11", Tagged({5001, 5002}, 3) + Tagged({1}, 4)}},
       "PKT_20261209.11: 5000 datagrams not in these files (sequence 1 to 5000, before record 1): lost, "
       "or in an earlier file\nPKT_20261209.11: run 4 starts at record 3 (sequence 1)\n0 gaps, 0 datagrams lost, 5000 datagrams before the first record not in "
       "these files\n", 4},
      {"a malformed record and a cut one are said",
       {{"a/PKT_20261209.10", Tagged({1}, 0) + Record(7, "CP 1 1") + Tagged({2}, 0) + "x"}},
       "PKT_20261209.10: record 2 is malformed: type 7, neither 1 nor 2\n"
       "PKT_20261209.10: cut inside a record: 1 byte after the last whole record (3 records read)\n0 gaps, 0 datagrams lost\n", 1},
      {"records without times between two runs of one tag: three runs",
       {{"a/PKT_20261209.10", Tagged({1, 2, 3}, 0) + Record(1, "CP 1 1") + Tagged({1, 2}, 0)}},
       "PKT_20261209.10: run 0 starts at record 5 (sequence 1)\n0 gaps, 0 datagrams lost\n", 0},
      {"nothing to check", {{"a/PKT_20261209.10", Record(1, "CP 1 1")}},
       "no record carries its arrival (PacketTimes=1): nothing to check\n", 3},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"check"};
    for (const auto& [name, bytes] : c.files) {
      std::filesystem::create_directories(testing::TempDir() + name.substr(0, 1));
      args.push_back(Temp(name, bytes));
    }
    int code = -1;
    std::string out = Pktdump(args, &code);
    // The path given names a file only where two share a name.
    const std::string dir = testing::TempDir();
    for (std::size_t at; (at = out.find(dir)) != std::string::npos;) out.erase(at, dir.size());
    EXPECT_EQ(out, c.said) << c.what;
    EXPECT_EQ(code, c.code) << c.what;
  }
}

// The frames of a pcapng: their times in the interface's units, and the
// interface's options by code.
struct Pcapng {
  std::vector<std::uint64_t> times;
  std::map<int, std::string> interface;
};
Pcapng ReadPcapng(const std::string& bytes) {
  Pcapng p;
  auto u32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
  };
  for (std::size_t at = 0; at + 12 <= bytes.size();) {
    const std::uint32_t type = u32(at), length = u32(at + 4);
    if (length < 12 || at + length > bytes.size()) break;
    if (type == 6) p.times.push_back(static_cast<std::uint64_t>(u32(at + 12)) << 32 | u32(at + 16));
    for (std::size_t o = at + 16; type == 1 && o + 4 <= at + length - 4;) {
      const unsigned code = static_cast<unsigned char>(bytes[o]) | static_cast<unsigned char>(bytes[o + 1]) << 8;
      const unsigned size = static_cast<unsigned char>(bytes[o + 2]) | static_cast<unsigned char>(bytes[o + 3]) << 8;
      if (code == 0) break;
      p.interface[static_cast<int>(code)] = bytes.substr(o + 4, size);
      o += 4 + (size + 3) / 4 * 4;
    }
    at += length;
  }
  return p;
}

TEST(Pktdump, ExportsNeverOverAnInputTimedToTheirResolutionInTimeOrder) {
  // Times out of order, one of them going back (a clock set).
  const std::string timed = TimedRecord(2, "RD 1", kTen + 30, 1, 0) + TimedRecord(2, "RD 2", kTen + 10, 2, 0) +
                            TimedRecord(2, "RD 3", kTen + 20, 3, 0);
  const std::string pkt = Temp("night.pkt", timed);
  const std::string cap = testing::TempDir() + "night.pcapng";
  int code = -1;
  std::string err;
  Pktdump({"pcapng", "--out", cap, pkt}, &code, &err);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(err, "") << "every record carries its time: no hour is needed";
  const std::uint64_t since1970 = kTen - 116444736000000000ull;
  Pcapng p = ReadPcapng(Slurp(cap));
  EXPECT_EQ(p.times, (std::vector<std::uint64_t>{since1970 + 10, since1970 + 20, since1970 + 30}));
  EXPECT_EQ(p.interface[9], std::string(1, '\x07'));  // 100 ns
  EXPECT_EQ(p.interface[2], "varnet");
  // The span of times that go back is from the earliest to the latest.
  EXPECT_EQ(Lines(Pktdump({"summary", pkt}, &code))[1],
            "night.pkt: from 2026-12-09T10:00:00.0000010Z to 2026-12-09T10:00:00.0000030Z, 0.000 s, "
            "1000000.0 datagrams a second");
  // dump shows when each timed record arrived.
  EXPECT_EQ(Lines(Pktdump({"dump", pkt, "2"}, &code))[1],
            "Arrival: 2026-12-09T10:00:00.0000010Z - Sequence 2 - Run 0");

  // Untimed records from standard input take the hour --hour gives.
  err.clear();
  const std::string untimed = Record(1, "CP 1 1") + Record(1, "CP 2 1");
  const std::string piped = PktdumpFrom(untimed, {"pcapng", "--hour", "20261209.10", "--out", "-", "-"}, &code, &err);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(ReadPcapng(piped).times, (std::vector<std::uint64_t>{since1970 + 10, since1970 + 20}));

  // The output is never one of the inputs, by any name: refused, and the
  // capture is as it was.
  for (const std::string& out : {pkt, testing::TempDir() + "./night.pkt"}) {
    Pktdump({"pcapng", "--out", out, pkt}, &code, &err);
    EXPECT_EQ(code, 2) << out;
    EXPECT_EQ(err, "pktdump: --out " + out + " is the input " + pkt + "; see pktdump --help\n");
    EXPECT_EQ(Slurp(pkt), timed);
  }
  // Nor is it standard input read from the output ("< night.pkt"), and the
  // file written first is a new one, never an input that has its name.
  std::FILE* in = std::fopen(pkt.c_str(), "rb");
  Capture([&](std::FILE* e) { code = pktdump::Main({"pcapng", "--out", pkt, "-"}, e, e, in); });
  std::fclose(in);
  EXPECT_EQ(code, 2);
  EXPECT_TRUE(Slurp(pkt) == timed) << "the capture read from standard input was replaced";
  const std::string named = Temp("night.pcapng.pktdump-part", timed);
  Pktdump({"pcapng", "--out", cap, named}, &code, &err);
  EXPECT_EQ(code, 0) << err;
  EXPECT_TRUE(Slurp(named) == timed) << "an input named as the export's part file was cut";
  EXPECT_EQ(ReadPcapng(Slurp(cap)).times.size(), 3u);
  // An output that is a link stays one, to the file written; the file
  // replaced keeps its mode.
  const std::string kept = testing::TempDir() + "kept.pcapng";
  const std::string link = testing::TempDir() + "latest.pcapng";
  std::ofstream(kept) << "before";
  chmod(kept.c_str(), 0600);
  std::remove(link.c_str());
  ASSERT_EQ(symlink(kept.c_str(), link.c_str()), 0);
  Pktdump({"pcapng", "--out", link, pkt}, &code, &err);
  struct stat st {};
  EXPECT_TRUE(lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << "the link was replaced";
  EXPECT_TRUE(stat(kept.c_str(), &st) == 0 && (st.st_mode & 0777) == 0600) << std::oct << st.st_mode;
  EXPECT_EQ(ReadPcapng(Slurp(kept)).times.size(), 3u);
  chmod(kept.c_str(), 0640);
  Pktdump({"pcapng", "--out", kept, pkt}, &code, &err);
  EXPECT_TRUE(stat(kept.c_str(), &st) == 0 && (st.st_mode & 0777) == 0640) << std::oct << st.st_mode;
  // A pipe named as the output is written to, and stays a pipe.
  const std::string fifo = testing::TempDir() + "night.fifo";
  std::remove(fifo.c_str());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::FILE* reader = popen(("timeout 10 cat " + fifo).c_str(), "r");
  Pktdump({"pcapng", "--out", fifo, pkt}, &code, &err);
  std::string read;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, reader)) > 0;) read.append(chunk, n);
  pclose(reader);
  EXPECT_EQ(code, 0) << err;
  EXPECT_EQ(ReadPcapng(read).times.size(), 3u);
  EXPECT_TRUE(stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) << "the pipe was replaced by a file";
}

TEST(Pktdump, ARangePastTheEndIsSaidTheSameWayInEveryModeFromFilesAndPipes) {
  const std::string three = Record(1, "CP 1 1") + Record(1, "CP 2 1") + Record(1, "CP 3 1");
  const std::string path = Temp("PKT_20261209.12", three);
  const std::string out = testing::TempDir() + "range.pcapng";
  struct Case {
    std::vector<std::string> args;  // FILE is put last
    std::string said;               // after "pktdump: FILE: holds 3 records: "
    int code;
  } cases[] = {
      {{"dump", "-", "5"}, "record 5 is not in it", 1},
      {{"dump", "-", "2", "9"}, "the range ends at 3", 0},
      {{"dump", "-", "2-"}, "", 0},
      {{"decode", "--records", "4-"}, "record 4 is not in it", 1},
      {{"decode", "--records", "3-7"}, "the range ends at 3", 0},
      {{"pcapng", "--out", out, "--records", "9"}, "record 9 is not in it", 1},
  };
  for (const Case& c : cases) {
    for (const bool pipe : {false, true}) {
      std::vector<std::string> args = c.args;
      const auto at = std::find(args.begin(), args.end(), "-");
      if (at != args.end()) args.erase(at);
      args.insert(args[0] == "dump" ? args.begin() + 1 : args.end(), pipe ? "-" : path);
      int code = -1;
      std::string err;
      const std::string shown = pipe ? PktdumpFrom(three, args, &code, &err) : Pktdump(args, &code, &err);
      const std::string name = pipe ? "(standard input)" : path;
      EXPECT_EQ(err, c.said.empty() ? "" : "pktdump: " + name + ": holds 3 records: " + c.said + "\n")
          << args[0] << " " << args.back() << " " << pipe;
      EXPECT_EQ(code, c.code) << c.said << " " << pipe;
    }
  }
  // dump N is that record, as --records N.
  int code = -1;
  EXPECT_EQ(Lines(Pktdump({"dump", path, "2"}, &code))[0], "Packet: 0002 (0002) - Type 1 - Length 6");
  EXPECT_EQ(Lines(Pktdump({"dump", path, "2"}, &code)).size(), 34u);
  EXPECT_EQ(Pktdump({"dump", "--records", "2", path}, &code), Pktdump({"dump", path, "2"}, &code));
}

// A folder is read as its hour files, in name order, and a file named
// twice (by whatever name) once, in every mode: each mode gives exactly what
// it gives for the two files named once each.
TEST(Pktdump, AFolderIsItsHourFilesAndAFileNamedTwiceIsReadOnceInEveryMode) {
  namespace fs = std::filesystem;
  const std::string root = testing::TempDir() + "pktdump_inputs_" + std::to_string(getpid()) + "/";
  fs::remove_all(root);
  const std::string ws = root + "ws12";
  fs::create_directories(ws + "/sub");
  fs::create_directories(ws + "/PKT_20091001.10");  // a folder, named as an hour file
  fs::create_directories(root + "empty/PKT_20091001.11");
  fs::create_directories(root + "one");
  auto put = [](const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  };
  const std::string a = ws + "/PKT_20091001.07", b = ws + "/PKT_20091001.08";
  put(b, Record(1, "CP 2 1") + Record(2, "RD 9"));
  put(a, Record(1, "CP 1 1"));
  // No hour files, though near: none is read as part of the folder.
  for (const char* name : {"notes.txt", "PKT_20091001.7", "PKT_20091001.07.bak", "PKT_20091301.07", "PKT_2009100107"}) {
    put(ws + "/" + name, "not records");
  }
  put(ws + "/sub/PKT_20091001.09", Record(1, "CP 3 1"));
  put(root + "empty/notes.txt", "not records");
  put(root + "one/PKT_20091001.09", Record(1, "CP 3 1"));
  fs::create_symlink(a, root + "link07");
  fs::create_hard_link(a, root + "hard07");
  const std::string relative = fs::relative(a).string();
  ASSERT_FALSE(relative.empty());

  // What the folder gives, and the same file by six other names.
  std::vector<std::string> paths = {ws + "/"};
  ASSERT_TRUE(pktdump::ExpandInputs(&paths, stderr));
  EXPECT_EQ(paths, (std::vector<std::string>{ws + "/PKT_20091001.07", ws + "/PKT_20091001.08"}));
  const std::vector<std::string> twice = {a, ws, relative, "./" + relative, root + "link07",
                                          root + "hard07", root + "../" + fs::path(root).parent_path().filename().string() + "/ws12/PKT_20091001.07",
                                          b};
  const std::string noted =
      "pktdump: note: 7 inputs name files given before (the first: " + a + " again): each is read once\n";

  const std::string pcapng = root + "out.pcapng", page = root + "out.html";
  const struct {
    std::vector<std::string> args;  // the files are put after them
    std::string written;            // the file the mode writes, or ""
  } modes[] = {
      {{"decode"}, ""},
      {{"decode", "--format", "json"}, ""},
      {{"summary"}, ""},
      {{"summary", "--format", "json"}, ""},
      {{"check"}, ""},
      {{"pcapng", "--out", pcapng}, pcapng},
      {{"report", "--out", page}, page},
  };
  for (const auto& m : modes) {
    SCOPED_TRACE(m.args[0] + (m.args.size() > 1 ? " " + m.args[1] + " " + m.args[2] : std::string()));
    struct Run {
      std::string out, err, written;
      int code = -1;
    };
    auto run = [&](const std::vector<std::string>& files) {
      std::vector<std::string> args = m.args;
      args.insert(args.end(), files.begin(), files.end());
      Run r;
      fs::remove(m.written.empty() ? root + "none" : m.written);
      r.out = Pktdump(args, &r.code, &r.err);
      if (!m.written.empty()) r.written = Slurp(m.written);
      return r;
    };
    const Run named = run({b, a});
    EXPECT_FALSE(named.out.empty() && named.written.empty());
    const struct {
      const char* what;
      std::vector<std::string> files;
      std::string notes;  // what stderr says before what the files named once give
    } givens[] = {
        {"the folder", {ws}, ""},
        {"the folder with a slash", {ws + "/"}, ""},
        {"the files and the folder, by many names", twice, noted},
    };
    for (const auto& g : givens) {
      SCOPED_TRACE(g.what);
      const Run got = run(g.files);
      EXPECT_EQ(got.code, named.code);
      EXPECT_EQ(got.out, named.out);
      EXPECT_EQ(got.err, g.notes + named.err);
      EXPECT_TRUE(got.written == named.written) << "the written file is that of the files named once";
    }
    // A folder without an hour file is said, before anything is read.
    const Run none = run({a, root + "empty"});
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "pktdump: " + root + "empty: a folder with no packet data file (PKT_YYYYMMDD.HH) in it\n");
  }
  // dump shows one file: a folder of one hour file is that file, a folder
  // of more is refused before anything is read.
  int code = -1;
  std::string err;
  EXPECT_EQ(Pktdump({"dump", root + "one", "1"}, &code, &err), Pktdump({"dump", root + "one/PKT_20091001.09", "1"}, &code));
  EXPECT_EQ(err, "");
  EXPECT_EQ(Pktdump({"dump", ws, "1"}, &code, &err), "");
  EXPECT_EQ(code, 2);
  EXPECT_EQ(err, "pktdump: dump shows one file, and " + ws +
                     " gives 2 (PKT_20091001.07 to PKT_20091001.08): name one of them; see pktdump --help\n");
  EXPECT_EQ(Pktdump({"dump", a, "1"}, &code), Pktdump({"dump", root + "link07", "1"}, &code));
  fs::remove_all(root);
}

// Where the shell leaves patterns to the program (Windows' cmd), pktdump
// expands them: in name order, folders among what they match read as
// their hour files, a pattern that matches nothing said by its text. The
// system's part is a fake here; pktdump_exe_test.sh runs Windows' own.
class FakeInputs : public pktdump::InputSystem {
 public:
  std::map<std::string, std::vector<std::string>> matches;  // pattern: what it matches
  std::map<std::string, std::vector<std::string>> folders;  // folder: its names
  std::map<std::string, std::string> files;                 // path: identity
  bool IsPattern(const std::string& a) override { return a.find_first_of("*?") != std::string::npos; }
  std::vector<std::string> Match(const std::string& p) override { return matches[p]; }
  bool IsFolder(const std::string& path) override { return folders.count(path) != 0; }
  bool List(const std::string& folder, std::vector<std::string>* names, std::string* reason) override {
    *names = folders[folder];
    *reason = "Access is denied";
    return folder != "d:\\locked";
  }
  bool Identity(const std::string& path, std::string* identity) override {
    if (files.count(path) == 0) return false;
    *identity = files[path];
    return true;
  }
  std::string Join(const std::string& folder, const std::string& name) override { return folder + "\\" + name; }
};

TEST(Pktdump, PatternsAreExpandedWhereTheShellLeavesThemToTheProgram) {
  FakeInputs system;
  system.matches = {
      {"d:\\PKT_2026*", {"d:\\PKT_20261209.08", "d:\\PKT_20261209.07"}},
      {"d:\\PKT_20261209.0?", {"d:\\PKT_20261209.07", "d:\\PKT_20261209.08"}},
      {"d:\\ws*", {"d:\\ws14", "d:\\ws12"}},
      {"d:\\*", {"d:\\notes", "d:\\PKT_20261209.07"}},
      {"d:\\l*", {"d:\\locked"}},
  };
  system.folders = {{"d:\\ws12", {"PKT_20261209.07", "notes.txt"}}, {"d:\\ws14", {"PKT_20261209.07"}},
                    {"d:\\locked", {}}, {"d:\\empty", {"notes.txt"}}};
  system.files = {{"d:\\PKT_20261209.07", "1"}, {"d:\\PKT_20261209.08", "2"}, {"D:\\pkt_20261209.07", "1"},
                  {"d:\\ws12\\PKT_20261209.07", "3"}, {"d:\\ws14\\PKT_20261209.07", "4"}};
  const struct {
    const char* what;
    std::vector<std::string> given;
    std::vector<std::string> read;  // empty: none, as the error says
    std::string said;
  } cases[] = {
      {"a pattern, in name order", {"d:\\PKT_2026*"}, {"d:\\PKT_20261209.07", "d:\\PKT_20261209.08"}, ""},
      {"standard input and a file stay where they are", {"d:\\PKT_20261209.08", "-", "d:\\PKT_2026*"},
       {"d:\\PKT_20261209.08", "-", "d:\\PKT_20261209.07"},
       "pktdump: note: d:\\PKT_20261209.08 again, given before: it is read once\n"},
      {"two patterns that overlap", {"d:\\PKT_2026*", "d:\\PKT_20261209.0?"},
       {"d:\\PKT_20261209.07", "d:\\PKT_20261209.08"},
       "pktdump: note: 2 inputs name files given before (the first: d:\\PKT_20261209.07 again): each is read "
       "once\n"},
      {"the same file by another name", {"d:\\PKT_20261209.07", "D:\\pkt_20261209.07"}, {"d:\\PKT_20261209.07"},
       "pktdump: note: D:\\pkt_20261209.07 is d:\\PKT_20261209.07, given before: it is read once\n"},
      {"folders matched: their hour files", {"d:\\ws*"}, {"d:\\ws12\\PKT_20261209.07", "d:\\ws14\\PKT_20261209.07"},
       ""},
      {"everything matched: what is no hour file is read as a file", {"d:\\*"}, {"d:\\PKT_20261209.07", "d:\\notes"},
       ""},
      {"a pattern that matches nothing", {"d:\\PKT_20261209.07", "d:\\PKT_2099*"}, {},
       "pktdump: d:\\PKT_2099*: matches no file\n"},
      {"a folder without hour files", {"d:\\empty"}, {},
       "pktdump: d:\\empty: a folder with no packet data file (PKT_YYYYMMDD.HH) in it\n"},
      {"a folder matched that cannot be listed", {"d:\\l*"}, {}, "pktdump: d:\\locked: cannot be read: Access is denied\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> paths = c.given;
    const std::string said = Capture([&](std::FILE* err) {
      EXPECT_EQ(pktdump::ExpandInputs(&paths, err, system), !c.read.empty());
    });
    EXPECT_EQ(said, c.said);
    if (!c.read.empty()) {
      EXPECT_EQ(paths, c.read);
    }
  }
  // The names a folder's hour files have: exactly PKT_YYYYMMDD.HH, by the
  // packet file's own name rule.
  const struct {
    const char* name;
    bool hour;
  } names[] = {{"PKT_20261209.07", true},   {"pkt_20261209.07", true},     {"PKT_20261209.7", false},
               {"PKT_20261209.07.bak", false}, {"PKT_20261309.07", false}, {"PKT_20261209.24", false},
               {"PKT_20261200.07", false},  {"PKT-20261209.07", false},    {"LOG_20261209.07", false},
               {"PKT_2026120a.07", false},  {"PKT_19691231.23", false},    {"", false}};
  for (const auto& n : names) EXPECT_EQ(varnet::ParsePacketFileName(n.name, nullptr), n.hour) << n.name;
}

// report --from and --to: local time as before, and the ISO 8601 times the
// page writes, in UTC ("Z") or with their offset, to the millisecond.
TEST(Pktdump, ReportTimesAreLocalOrIso8601WithTheirZone) {
  using pktdump::report::ParseLocalTime;
  const std::int64_t at = 1796799720000;  // 2026-12-09T07:02:00Z
  const struct {
    const char* text;
    bool ok;
    std::int64_t ms;
  } zoned[] = {
      {"2026-12-09T07:02:00Z", true, at},
      {"2026-12-09T07:02Z", true, at},
      {"2026-12-09 07:02:00z", true, at},
      {"2026-12-09T08:02:00+01:00", true, at},
      {"2026-12-09T08:02:00+0100", true, at},
      {"2026-12-09T08:02:00+01", true, at},
      {"2026-12-09T01:32:00-05:30", true, at},
      {"2026-12-10T00:02:00+17:00", true, at},
      {"2026-12-09T07:02:00.250Z", true, at + 250},
      {"2026-12-09T08:02:00.250+01:00", true, at + 250},  // as the page's data-time
      {"2026-12-09T07:02:00,5Z", true, at + 500},
      {"2026-12-09T07:02:00.123456789Z", true, at + 123},
      {"2024-02-29T00:00:00Z", true, 1709164800000},
      {"1970-01-01T00:00:00Z", true, 0},
      {"2026-12-09T07:02:00+1:00", false, 0},
      {"2026-12-09T07:02:00+24:00", false, 0},
      {"2026-12-09T07:02:00+01:60", false, 0},
      {"2026-12-09T07:02:00+01:0", false, 0},
      {"2026-02-29T00:00:00Z", false, 0},
      {"2026-04-31T00:00:00Z", false, 0},
      {"2026-12-09T24:00:00Z", false, 0},
      {"2026-12-09T07:02:00ZZ", false, 0},
      {"2026-12-09T07:02:00Z+01:00", false, 0},
      {"2026-12-09T07:02:00+01:00x", false, 0},
      {"2026-12-09T07:02.5Z", false, 0},
      {"2026-12-09T07:02:00.Z", false, 0},
      {"2026-12-09T07:02:00.1234567890Z", false, 0},
      {"2026-12-09X07:02:00Z", false, 0},
      {"1969-12-31T23:00:00Z", false, 0},
  };
  for (const auto& z : zoned) {
    std::int64_t ms = -1;
    EXPECT_EQ(ParseLocalTime(z.text, &ms), z.ok) << z.text;
    if (z.ok) {
      EXPECT_EQ(ms, z.ms) << z.text;
    }
  }
  // Without a zone, local time as before, to the millisecond too; in a zone
  // one hour east of UTC, 08:02 local is 07:02Z.
  const char* saved = std::getenv("TZ");
  const std::string before = saved != nullptr ? saved : "";
  setenv("TZ", "TST-1", 1);
  tzset();
  const struct {
    const char* text;
    std::int64_t ms;  // -1: no time
  } local[] = {
      {"2026-12-09 08:02", at},          {"2026-12-09T08:02", at},
      {"2026-12-09 08:02:00", at},       {"2026-12-09 08:02:00.250", at + 250},
      {"2026-12-09 08:02:5", at + 5000}, {"2026-02-31 10:00", -1},
      {"2026-12-09 08:02x", -1},         {"yesterday", -1},
  };
  for (const auto& l : local) {
    std::int64_t ms = -1;
    EXPECT_EQ(ParseLocalTime(l.text, &ms), l.ms != -1) << l.text;
    if (l.ms != -1) {
      EXPECT_EQ(ms, l.ms) << l.text;
    }
  }
  if (saved != nullptr) {
    setenv("TZ", before.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
  // On the command line: the offset counts (08:01+01:00 is before 07:02Z).
  int code = -1;
  std::string err;
  Pktdump({"report", "--from", "2026-12-09T07:02:00Z", "--to", "2026-12-09T08:01:00+01:00", "--out", "-",
           "/no/such"}, &code, &err);
  EXPECT_EQ(code, 2);
  EXPECT_EQ(err, "pktdump: --from is not before --to; see pktdump --help\n");
  Pktdump({"report", "--from", "2026-12-09T07:02:00Z", "--to", "2026-12-09T08:03:00+01:00", "--out", "-",
           "/no/such"}, &code, &err);
  EXPECT_EQ(code, 1) << err;
  EXPECT_EQ(err, "pktdump: /no/such: cannot be read: No such file or directory\n");
}

TEST(Pktdump, TheShippedSampleIsTheSampleMakersAndReadsAsItsRunsSay) {
  const char* sample = std::getenv("TRELM_PKTDUMP_SAMPLE");
  ASSERT_NE(sample, nullptr) << "TRELM_PKTDUMP_SAMPLE names tools/pktdump/sample/PKT_20261209.10";
  EXPECT_TRUE(Slurp(sample) == pktdump::SampleCapture()) << "make_pktdump_sample writes it again";
  int code = -1;
  EXPECT_EQ(Pktdump({"check", sample}, &code),
            "PKT_20261209.10: 3 datagrams lost (sequence 61 to 63) before record 61\n"
            "PKT_20261209.10: run 1 starts at record 118 (sequence 1)\n1 gap, 3 datagrams lost\n");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(Lines(Pktdump({"summary", sample}, &code))[0],
            "PKT_20261209.10: 157 records, 64 commands, 93 revertives, 0 malformed");
  // JSON says each record's run.
  EXPECT_NE(Pktdump({"decode", "--format", "json", "--records", "118", sample}, &code)
                .find("\"sequence\":1,\"run\":1,"),
            std::string::npos);
}

}  // namespace
