// The conformance table against the Linux reader of the Wine prefix that
// the Win32 run laid out (TRELM_WINEPREFIX; tools/test.sh stops the Wine
// server first, so that system.reg holds the fixture).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "conformance.h"
#include "wine_platform.h"

namespace {

using namespace mirvale_conformance;

std::string Prefix() {
  const char* prefix = std::getenv("TRELM_WINEPREFIX");
  return prefix != nullptr ? prefix : "";
}

class ConformanceWine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Prefix().empty()) GTEST_SKIP() << "TRELM_WINEPREFIX names the prefix (tools/test.sh sets it)";
  }
};

TEST_F(ConformanceWine, Registry) {
  mirvale::WinePlatform p(Prefix(), kDir);
  RegistryCases(p);
}

TEST_F(ConformanceWine, ErrorTexts) {
  mirvale::WinePlatform p(Prefix(), kDir);
  ErrorTextCases(p);
}

TEST_F(ConformanceWine, ProfileFiles) {
  mirvale::WinePlatform p(Prefix(), kDir);
  // The Win32 run changed odd.ini: the case starts from the fixture again.
  {
    std::ofstream odd(p.UnixPath(std::string(kDir) + "\\odd.ini"), std::ios::binary);
    odd << kOddIni;
  }
  for (const char* f : {"\\new.ini", "\\rel\\r.ini"}) std::remove(p.UnixPath(std::string(kDir) + f).c_str());
  std::remove(p.UnixPath("c:\\trelmconf_root.ini").c_str());
  ProfileCases(p);
}

}  // namespace
