// The wrapper's wire format and fault list, natively: what other programs
// and analysers read must stay exactly this.
#include "net/nbdgm.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "faults.h"
#include "transport.h"

namespace velknb {
namespace {

TEST(Nbdgm, ADatagramHasTheDirectGroupHeaderAndReadsBack) {
  Datagram d;
  d.id = 0x1234;
  d.sourcePort = 13807;
  PadName("ORM7", d.source);
  PadName("DEVICE_CONTROL7", d.destination);
  const std::string user = "CP 12 1";
  d.data = reinterpret_cast<const std::uint8_t*>(user.data());
  d.length = user.size();
  std::uint8_t out[kMaxDatagram];
  const std::size_t size = BuildDatagram(d, out, sizeof out);
  ASSERT_EQ(size, 82 + user.size());
  const std::vector<std::uint8_t> head(out, out + 14);
  EXPECT_EQ(head, (std::vector<std::uint8_t>{0x11, 0x02, 0x12, 0x34, 127, 0, 0, 1, 0x35, 0xEF,
                                             0x00, 68 + 7, 0, 0}));
  // "O" is 0x4F: 'E' (4) and 'P' (15); a blank is 0x20: "CA".
  EXPECT_EQ(out[14], 0x20);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out) + 15, 4), "EPFC");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out) + 15 + 8 * 2, 4), "CACA");
  EXPECT_EQ(out[47], 0x00);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out) + 82, user.size()), user);

  Datagram back;
  ASSERT_EQ(ParseDatagram(out, size, back), ParseResult::Ok);
  EXPECT_EQ(back.id, 0x1234);
  EXPECT_EQ(back.sourcePort, 13807);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(back.destination), 16), "DEVICE_CONTROL7 ");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(back.data), back.length), user);
  char text[17];
  NameText(back.source, text);
  EXPECT_STREQ(text, "ORM7");

  d.length = 513;
  EXPECT_EQ(BuildDatagram(d, out, sizeof out), 0u);
}

TEST(Nbdgm, WhatIsNotOurDatagramIsRefused) {
  Datagram d;
  PadName("A", d.source);
  PadName("B", d.destination);
  std::uint8_t good[kMaxDatagram];
  const std::size_t size = BuildDatagram(d, good, sizeof good);
  struct Case {
    std::size_t at;  // byte changed (or the size, for a cut)
    int value;       // -1: cut the payload to at bytes
    ParseResult result;
  } cases[] = {
      {0, -1, ParseResult::Short},       {81, -1, ParseResult::Short},
      {0, 0x10, ParseResult::NotDirectGroup}, {1, 0x03, ParseResult::Fragment},
      {13, 0x01, ParseResult::Fragment},  {11, 67, ParseResult::BadLength},
      {10, 0x01, ParseResult::BadLength}, {14, 0x1F, ParseResult::BadName},
      {20, 'Q', ParseResult::BadName},    {47, 0x01, ParseResult::BadName},
      {48 + 33, 'A', ParseResult::BadName},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bytes(good, good + size);
    if (c.value < 0) {
      bytes.resize(c.at);
    } else {
      bytes[c.at] = static_cast<std::uint8_t>(c.value);
    }
    Datagram out;
    EXPECT_EQ(ParseDatagram(bytes.data(), bytes.size(), out), c.result) << c.at;
  }
  std::vector<std::uint8_t> longer(good, good + size);
  longer.push_back(0);
  Datagram out;
  EXPECT_EQ(ParseDatagram(longer.data(), longer.size(), out), ParseResult::BadLength);
}

TEST(Nbdgm, NamesArePaddedCutAndShownPrintable) {
  std::uint8_t name[16];
  PadName("ID_012", name);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(name), 16), "ID_012          ");
  PadName("A_NAME_LONGER_THAN_SIXTEEN", name);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(name), 16), "A_NAME_LONGER_TH");
  name[3] = 0x01;
  char text[17];
  NameText(name, text);
  EXPECT_STREQ(text, "A_N.ME_LONGER_TH");
  std::uint8_t encoded[34], back[16];
  for (int b = 0; b < 256; ++b) {
    name[0] = static_cast<std::uint8_t>(b);
    EncodeName(name, encoded);
    ASSERT_TRUE(DecodeName(encoded, back));
    ASSERT_EQ(back[0], b);
  }
}

TEST(Faults, TheListInTheEnvironment) {
  Faults f;
  EXPECT_EQ(f.deadAfter, -1);  // no dead socket unless asked for
  EXPECT_EQ(f.reopenHolds, 0);
  EXPECT_EQ(ParseFaults("add=2@1; post=3@20,recv=0x17@5,dead=2@300,deliver=4@9,hold=1", f), 0);
  EXPECT_EQ(f.reopenHolds, 1);
  EXPECT_EQ(f.deadReopenFailures, 2);
  EXPECT_EQ(f.deadAfter, 300);
  EXPECT_EQ(f.deliverFailures, 4);
  EXPECT_EQ(f.deliverAfter, 9);
  EXPECT_EQ(f.addFailures, 2);
  EXPECT_EQ(f.addAfter, 1);
  EXPECT_EQ(f.postFailures, 3);
  EXPECT_EQ(f.postAfter, 20);
  EXPECT_EQ(f.receiveCode, 0x17);
  EXPECT_EQ(f.receiveAfter, 5);
  Faults g;
  EXPECT_EQ(ParseFaults("recv=0x23,add=x,post=-1,unknown=1,add=1@,=,", g), 5);
  EXPECT_EQ(g.receiveCode, 0x23);
  EXPECT_EQ(g.receiveAfter, 0);
  EXPECT_EQ(g.addFailures, 0);
  EXPECT_EQ(ParseFaults(nullptr, g), 0);
}

// Settings that would send off this machine, or unicast, are refused
// before any socket of the LANA exists: nothing is sent to find out.
TEST(Transport, RefusesAGroupThatIsNotMulticastAndAnInterfaceNotOfThisMachine) {
  struct Case {
    const char* interfaceAddress;
    const char* group;
    const char* error;  // empty: opens
  } const cases[] = {
      {"127.0.0.1", "239.255.138.1", ""},
      {"127.0.0.1", "224.0.0.251", ""},
      {"127.0.0.2", "239.255.138.1", ""},  // loopback too, though not in the address table
      {"127.0.0.1", "10.1.2.3", "the group 10.1.2.3 is not a multicast group (224.0.0.0 to 239.255.255.255)"},
      {"127.0.0.1", "127.0.0.1", "the group 127.0.0.1 is not a multicast group (224.0.0.0 to 239.255.255.255)"},
      {"127.0.0.1", "255.255.255.255", "the group 255.255.255.255 is not a multicast group (224.0.0.0 to 239.255.255.255)"},
      {"127.0.0.1", "group", "the group address is not an IPv4 address"},
      {"192.0.2.1", "239.255.138.1", "the interface 192.0.2.1 is not an address of this machine"},
      {"0.0.0.0", "239.255.138.1", "the interface 0.0.0.0 is not an address of this machine"},
      {"239.255.138.1", "239.255.138.1", "the interface 239.255.138.1 is not an address of this machine"},
      {"255.255.255.255", "239.255.138.1", "the interface 255.255.255.255 is not an address of this machine"},
  };
  for (const Case& c : cases) {
    TransportSettings settings;
    settings.interfaceAddress = c.interfaceAddress;
    settings.group = c.group;
    settings.basePort = 15990;
    Transport t;
    std::string error;
    EXPECT_EQ(t.Open(settings, 0, &error, false), *c.error == '\0') << c.interfaceAddress << " " << c.group;
    EXPECT_EQ(error, c.error) << c.interfaceAddress << " " << c.group;
    EXPECT_EQ(t.IsOpen(), *c.error == '\0');
  }
}

}  // namespace
}  // namespace velknb
