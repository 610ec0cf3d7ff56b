// The conformance table against the real Win32 API under Wine. This
// program lays out the fixture first. With --read FILE SECTION KEY it
// prints GetPrivateProfileIntA's answer instead (for the end-to-end run).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "conformance.h"
#include "win32_platform.h"

namespace {

using namespace mirvale_conformance;

void SetString(HKEY key, const char* name, DWORD type, const std::string& data) {
  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                 static_cast<DWORD>(data.size()));
}

void LayOutFixture() {
  HKEY key = nullptr;
  // The fixture is in the 32-bit programs' view, which Mirvale reads
  // whatever its own architecture; the 64-bit view holds a decoy value it
  // must not see (on a 32-bit system both are one key: the decoy goes with
  // the tree deleted below).
  HKEY decoy = nullptr;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                  nullptr, &decoy, nullptr);
  SetString(decoy, "Decoy", REG_SZ, std::string("64-bit view", 12));
  RegCloseKey(decoy);
  HKEY software32 = nullptr;
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &software32);
  RegDeleteTreeA(software32, "TrelmConformance");
  RegCloseKey(software32);
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                  nullptr, &key, nullptr);
  SetString(key, "Text", REG_SZ, std::string("hello", 6));
  SetString(key, "Long", REG_SZ, std::string(300, 'x') + '\0');
  SetString(key, "List", REG_MULTI_SZ, std::string("a\0bb\0\0", 7));
  SetString(key, "Empty", REG_MULTI_SZ, std::string("\0\0", 2));
  SetString(key, "Bytes", REG_BINARY, "\x01\x02\x03");
  const DWORD five = 5;
  RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&five), 4);
  SetString(key, "Desc", REG_SZ, std::string("Carte r\xe9seau", 13) + '\0');
  for (const char* name : {"0001", "0000", "Sub B"}) {
    HKEY sub = nullptr;
    RegCreateKeyExA(key, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
    SetString(sub, "DriverDesc", REG_SZ, std::string(std::strcmp(name, "Sub B") == 0 ? "Second card" : "Card") + '\0');
    RegCloseKey(sub);
  }
  RegCloseKey(key);

  CreateDirectoryA(kDir, nullptr);
  CreateDirectoryA((std::string(kDir) + "\\rel").c_str(), nullptr);
  for (const char* f : {"\\new.ini", "\\rel\\r.ini"}) DeleteFileA((std::string(kDir) + f).c_str());
  DeleteFileA("c:\\trelmconf_root.ini");
  HANDLE h = CreateFileA((std::string(kDir) + "\\odd.ini").c_str(), GENERIC_WRITE, 0, nullptr,
                         CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(h, kOddIni.data(), static_cast<DWORD>(kOddIni.size()), &written, nullptr);
  CloseHandle(h);
  SetCurrentDirectoryA(kDir);
}

TEST(ConformanceWin32, Registry) {
  mirvale::Win32Platform p;
  RegistryCases(p);
}

TEST(ConformanceWin32, ErrorTexts) {
  mirvale::Win32Platform p;
  ErrorTextCases(p);
}

TEST(ConformanceWin32, ProfileFiles) {
  mirvale::Win32Platform p;
  ProfileCases(p);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--read") == 0) {
    std::printf("%u\n", GetPrivateProfileIntA(argv[3], argv[4], 0, argv[2]));
    return 0;
  }
  LayOutFixture();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
