// Every program and library we build carries the toolset's version in its
// VERSIONINFO resource, read back with the real version API; the
// command-line programs print it with --version. The files and the file
// versions expected of them come from a list (TRELM_VERSION_LIST, one
// "path<TAB>file version<TAB>program name or -" a line) that CMake writes
// for the build, and the release test writes for an installed toolset. A
// file version "third-party:6.4.2" is a library of another product that
// ships with ours (Mirvale's Qt): its own version, file and product alike.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "e2e_harness.h"
#include "trelm_version.h"

namespace {

using namespace trelm_e2e;

struct Expected {
  std::string path;
  std::string fileVersion;
  std::string program;  // "-" for none
};

std::vector<Expected> ReadList() {
  std::vector<Expected> list;
  for (const std::string& line : ReadLines(Built("TRELM_VERSION_LIST"))) {
    const size_t a = line.find('\t');
    const size_t b = line.find('\t', a + 1);
    if (a == std::string::npos || b == std::string::npos) continue;
    std::string path = line.substr(0, a);
    if (!path.empty() && path[0] == '/') {
      path = "Z:" + path;
      for (char& c : path) {
        if (c == '/') c = '\\';
      }
    }
    list.push_back({path, line.substr(a + 1, b - a - 1), line.substr(b + 1)});
  }
  return list;
}

// "3.04.06" as the four 16-bit numbers of a fixed file version.
void Numbers(const std::string& text, DWORD* ms, DWORD* ls) {
  unsigned n[4] = {0, 0, 0, 0};
  std::sscanf(text.c_str(), "%u.%u.%u.%u", &n[0], &n[1], &n[2], &n[3]);
  *ms = (n[0] << 16) | n[1];
  *ls = (n[2] << 16) | n[3];
}

std::string Value(const std::vector<char>& info, const char* name) {
  char* text = nullptr;
  UINT size = 0;
  const std::string key = std::string("\\StringFileInfo\\040904E4\\") + name;
  if (!VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&text), &size) || size == 0) {
    return std::string();
  }
  return std::string(text);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

TEST(VersionResource, EveryFileCarriesTheToolsetsVersion) {
  const std::vector<Expected> list = ReadList();
  ASSERT_FALSE(list.empty()) << "TRELM_VERSION_LIST names no files";
  DWORD productMs = 0, productLs = 0;
  Numbers(TRELM_VERSION, &productMs, &productLs);
  for (const Expected& e : list) {
    SCOPED_TRACE(e.path);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(e.path.c_str(), &handle);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(e.path.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    DWORD ms = 0, ls = 0;
    const std::string thirdParty = "third-party:";
    if (e.fileVersion.compare(0, thirdParty.size(), thirdParty) == 0) {
      Numbers(e.fileVersion.substr(thirdParty.size()), &ms, &ls);
      EXPECT_EQ(fixed->dwFileVersionMS, ms);
      EXPECT_EQ(fixed->dwFileVersionLS, ls);
      EXPECT_EQ(fixed->dwProductVersionMS, ms);
      EXPECT_EQ(fixed->dwProductVersionLS, ls);
      EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
      continue;
    }
    Numbers(e.fileVersion, &ms, &ls);
    EXPECT_EQ(fixed->dwFileVersionMS, ms);
    EXPECT_EQ(fixed->dwFileVersionLS, ls);
    EXPECT_EQ(fixed->dwProductVersionMS, productMs);
    EXPECT_EQ(fixed->dwProductVersionLS, productLs);
    const bool dll = e.path.size() > 4 && _stricmp(e.path.c_str() + e.path.size() - 4, ".dll") == 0;
    EXPECT_EQ(fixed->dwFileType, dll ? static_cast<DWORD>(VFT_DLL) : static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(Value(info, "FileVersion"), e.fileVersion);
    EXPECT_EQ(Value(info, "ProductVersion"), TRELM_VERSION);
    EXPECT_EQ(Value(info, "ProductName"), TRELM_PRODUCT_NAME);
    EXPECT_EQ(_stricmp(Value(info, "OriginalFilename").c_str(), BaseName(e.path).c_str()), 0)
        << Value(info, "OriginalFilename");
    EXPECT_FALSE(Value(info, "FileDescription").empty());
  }
}

TEST(VersionResource, CommandLineProgramsPrintIt) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const std::string out = std::string(temp) + "trelm_version_out.txt";
  int programs = 0;
  for (const Expected& e : ReadList()) {
    if (e.program == "-") continue;
    SCOPED_TRACE(e.path);
    ++programs;
    DeleteFileA(out.c_str());
    Program run("cmd /c \"\"" + e.path + "\" --version > " + out + "\"");
    EXPECT_EQ(run.Wait(30000), 0);
    // pktdump writes its standard output in binary mode (it carries
    // pcapng), the others in text mode: one line either way.
    std::string text = ReadFile(out);
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.erase(text.size() - 2, 1);
    EXPECT_EQ(text, e.program + " " TRELM_VERSION " (Trelm workstation toolset)\n");
  }
  EXPECT_GT(programs, 0);
}

}  // namespace
