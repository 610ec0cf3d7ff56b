// Mirvale's Linux profile writer on a disk that is full: the file keeps its
// old text (never emptied or cut), the write says it failed, and no
// temporary file is left; once there is room the value is written. The disk
// is a small tmpfs mounted for the test (as root; skipped where it cannot).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "wine_platform.h"

namespace mirvale {
namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class SmallDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/mirvale_disk_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    prefix_ = dir;
    drive_ = prefix_ + "/drive_c";
    mkdir(drive_.c_str(), 0755);
    mkdir((prefix_ + "/dosdevices").c_str(), 0755);
    ASSERT_EQ(symlink("../drive_c", (prefix_ + "/dosdevices/c:").c_str()), 0);
    const std::string mount = "mount -t tmpfs -o size=64k tmpfs " + drive_ + " 2>/dev/null";
    if (std::system(mount.c_str()) != 0) {
      GTEST_SKIP() << "a small tmpfs cannot be mounted here (the test command runs as root)";
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) std::system(("umount " + drive_).c_str());
    std::system(("rm -rf " + prefix_).c_str());
  }
  std::string prefix_;
  std::string drive_;
  bool mounted_ = false;
};

TEST_F(SmallDisk, AFullDiskLeavesTheFileAsItWasAndTheWriteFails) {
  const std::string ini = drive_ + "/ORM.INI";
  std::string before = "[Network]\r\nDefaultAdaptor=2\r\n[Other]\r\n";
  before += "Pad=" + std::string(3000, 'p') + "\r\n";
  {
    std::ofstream out(ini, std::ios::binary);
    out << before;
  }
  WinePlatform platform(prefix_);
  // No room at all, then a few bytes: too few for the new text.
  for (long room : {0L, 200L}) {
    SCOPED_TRACE(room);
    std::remove((drive_ + "/filler").c_str());
    std::FILE* f = std::fopen((drive_ + "/filler").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::string block(512, 'x');
    while (std::fwrite(block.data(), 1, block.size(), f) == block.size() && std::fflush(f) == 0) {
    }
    std::fclose(f);
    if (room > 0) {
      struct stat st{};
      stat((drive_ + "/filler").c_str(), &st);
      truncate((drive_ + "/filler").c_str(), st.st_size - room);
    }
    EXPECT_FALSE(platform.WriteProfileValue("Network", "DefaultAdaptor", "7", "c:\\ORM.INI"));
    EXPECT_EQ(Read(ini), before);
    EXPECT_EQ(std::system(("test -z \"$(ls -A " + drive_ + " | grep -v -e ORM.INI -e filler)\"").c_str()), 0)
        << "a temporary file was left";
  }
  std::remove((drive_ + "/filler").c_str());
  EXPECT_TRUE(platform.WriteProfileValue("Network", "DefaultAdaptor", "7", "c:\\ORM.INI"));
  EXPECT_EQ(platform.ProfileInt("Network", "DefaultAdaptor", 0, "c:\\orm.ini"), 7u);
  EXPECT_NE(Read(ini).find("Pad=ppp"), std::string::npos);
}

}  // namespace
}  // namespace mirvale
