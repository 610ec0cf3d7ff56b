// One table of cases that both platform layers must pass: the real Win32
// API (under Wine here) and the Linux reader of a Wine prefix. The Win32
// test lays out the fixture (registry keys and profile files); the Linux
// test reads the same prefix afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform.h"

namespace mirvale_conformance {

using namespace mirvale;

// The fixture: HKLM\Software\TrelmConformance (the 32-bit view) and c:\trelmconf.
constexpr const char* kKey = "Software\\TrelmConformance";
constexpr const char* kDir = "c:\\trelmconf";
const std::string kOddIni =
    "  [ Net ]  \r\n  Key  =   7  \r\n; note\r\nOther = x y \r\nMinus=-1\r\nTrail=12abc\r\n"
    "Quoted=\"34\"\r\nPlus=  +8\r\nHex=0x10\r\nEmpty=\r\n";

struct ValueCase {
  const char* name;
  unsigned long buffer;
  long status;
  unsigned type;
  std::string data;  // what the buffer holds on success
  unsigned long size;
};

inline void RegistryCases(Platform& p) {
  RegKey key = 0;
  ASSERT_EQ(p.OpenKey(kLocalMachine, kKey, &key), kSuccess);
  RegKey other = 0;
  EXPECT_EQ(p.OpenKey(kLocalMachine, "Software\\TrelmConformance\\Missing", &other), kFileNotFound);
  EXPECT_EQ(p.OpenKey(kLocalMachine, "software\\TRELMconformance", &other), kSuccess);
  p.CloseKey(other);

  const ValueCase values[] = {
      {"Text", 4, kMoreData, kRegSz, "", 6},
      {"Text", 64, kSuccess, kRegSz, std::string("hello", 6), 6},
      {"Long", 4, kMoreData, kRegSz, "", 301},
      {"Long", 301, kSuccess, kRegSz, std::string(300, 'x') + '\0', 301},
      {"Missing", 64, kFileNotFound, 0, "", 0},
      {"Decoy", 64, kFileNotFound, 0, "", 0},  // only in the 64-bit view
      {"List", 64, kSuccess, kRegMultiSz, std::string("a\0bb\0\0", 7), 7},
      {"Empty", 64, kSuccess, kRegMultiSz, std::string("\0\0", 2), 2},
      {"Bytes", 64, kSuccess, kRegBinary, std::string("\x01\x02\x03", 3), 3},
      {"Number", 64, kSuccess, kRegDword, std::string("\x05\0\0\0", 4), 4},
      {"Desc", 64, kSuccess, kRegSz, std::string("Carte r\xe9seau", 13) + '\0', 14},
  };
  for (const ValueCase& c : values) {
    unsigned char data[512] = {};
    unsigned type = 0;
    unsigned long size = c.buffer;
    EXPECT_EQ(p.QueryValue(key, c.name, &type, data, &size), c.status) << c.name << " " << c.buffer;
    if (c.status == kFileNotFound) continue;
    EXPECT_EQ(size, c.size) << c.name << " " << c.buffer;
    EXPECT_EQ(type, c.type) << c.name;
    if (c.status == kSuccess) {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), c.data) << c.name;
    }
  }

  char className[32] = "x";
  unsigned long classLength = sizeof className;
  unsigned long longestSubkey = 0, longestClass = 99;
  EXPECT_EQ(p.QueryInfoKey(key, className, &classLength, &longestSubkey, &longestClass), kSuccess);
  EXPECT_EQ(classLength, 0u);
  EXPECT_EQ(longestSubkey, 5u);
  EXPECT_EQ(longestClass, 0u);

  const char* names[] = {"0000", "0001", "Sub B"};
  for (unsigned long i = 0; i < 4; ++i) {
    char name[16] = "";
    char cls[8] = "";
    unsigned long nameLength = sizeof name, classLen = sizeof cls;
    const long status = p.EnumKey(key, i, name, &nameLength, cls, &classLen);
    if (i == 3) {
      EXPECT_EQ(status, kNoMoreItems);
      continue;
    }
    EXPECT_EQ(status, kSuccess) << i;
    EXPECT_STREQ(name, names[i]);
    EXPECT_EQ(nameLength, std::string(names[i]).size());
  }
  char small[3] = "";
  char cls[8] = "";
  unsigned long smallLength = sizeof small, classLen = sizeof cls;
  EXPECT_EQ(p.EnumKey(key, 0, small, &smallLength, cls, &classLen), kMoreData);

  RegKey sub = 0;
  ASSERT_EQ(p.OpenKey(key, "Sub B", &sub), kSuccess);
  unsigned char data[64] = {};
  unsigned type = 0;
  unsigned long size = sizeof data;
  EXPECT_EQ(p.QueryValue(sub, "DriverDesc", &type, data, &size), kSuccess);
  EXPECT_STREQ(reinterpret_cast<char*>(data), "Second card");
  p.CloseKey(sub);
  p.CloseKey(key);
}

// The system's texts for the codes Mirvale can meet, as Wine gives them.
inline void ErrorTextCases(Platform& p) {
  const struct {
    long code;
    const char* text;
  } texts[] = {{2, "File not found.\r\n"},          {5, "Access denied.\r\n"},
               {6, "Invalid handle.\r\n"},          {8, "Not enough memory.\r\n"},
               {13, "Invalid data.\r\n"},           {87, "Invalid parameter.\r\n"},
               {234, "More data available.\r\n"},   {259, "No more data available.\r\n"},
               {1010, "Invalid key.\r\n"},          {1018, "Key deleted.\r\n"},
               {0x7FFF0000, ""}};
  for (const auto& t : texts) EXPECT_EQ(p.ErrorText(t.code), t.text) << t.code;
}

// cwd: the test's current directory is c:\trelmconf.
inline void ProfileCases(Platform& p) {
  const std::string odd = std::string(kDir) + "\\odd.ini";
  struct IntCase {
    const char* section;
    const char* key;
    unsigned value;
  } ints[] = {{"NET", "KEY", 7},      {"Net", "Minus", 4294967295u}, {"Net", "Trail", 12},
              {"Net", "Quoted", 34},  {"Net", "Plus", 8},            {"Net", "Hex", 16},
              {"Net", "Empty", 3},    {"Net", "Nothing", 3},         {"None", "Key", 3}};
  for (const IntCase& c : ints) {
    EXPECT_EQ(p.ProfileInt(c.section, c.key, 3, odd), c.value) << c.key;
  }
  EXPECT_EQ(p.ProfileString("Net", "Other", "-", odd), "x y");
  EXPECT_EQ(p.ProfileInt("Net", "Key", 3, std::string(kDir) + "\\missing.ini"), 3u);
  EXPECT_EQ(p.ProfileInt("Net", "Key", 3, "c:\\TRELMCONF\\\\ODD.INI"), 7u);  // case, doubled '\'

  // Writes: a value replaced, the rest kept; a new file; a missing directory.
  EXPECT_TRUE(p.WriteProfileValue("net", "KEY", "9", odd));
  EXPECT_EQ(p.ProfileInt("Net", "Key", 3, odd), 9u);
  EXPECT_EQ(p.ProfileString("Net", "Other", "-", odd), "x y");
  EXPECT_EQ(p.ProfileInt("Net", "Minus", 3, odd), 4294967295u);
  EXPECT_TRUE(p.WriteProfileValue("Network", "DefaultAdaptor", "4", std::string(kDir) + "\\New.ini"));
  EXPECT_EQ(p.ProfileInt("network", "defaultadaptor", 0, std::string(kDir) + "\\new.INI"), 4u);
  EXPECT_FALSE(p.WriteProfileValue("N", "K", "1", std::string(kDir) + "\\nodir\\x.ini"));
  // A path from the root of the current drive, a relative one, and a name
  // alone (the Windows directory).
  EXPECT_TRUE(p.WriteProfileValue("N", "K", "5", "\\trelmconf_root.ini"));
  EXPECT_EQ(p.ProfileInt("N", "K", 0, "c:\\trelmconf_root.ini"), 5u);
  EXPECT_TRUE(p.WriteProfileValue("N", "K", "6", "rel\\r.ini"));
  EXPECT_EQ(p.ProfileInt("N", "K", 0, std::string(kDir) + "\\rel\\r.ini"), 6u);
  EXPECT_TRUE(p.WriteProfileValue("N", "K", "8", "TRELMCONF_WIN.INI"));
  EXPECT_EQ(p.ProfileInt("N", "K", 0, p.WindowsDirectory() + "\\trelmconf_win.ini"), 8u);
  EXPECT_EQ(p.ProfileInt("N", "K", 0, "trelmconf_win.ini"), 8u);
}

}  // namespace mirvale_conformance
