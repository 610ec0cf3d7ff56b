// Mirvale's Linux profile writer on a disk that is full: the file keeps its
// old text (never emptied or cut), the write says it failed, and no
// temporary file is left; once there is room the value is written. The disk
// is a small tmpfs mounted for the test (as root; skipped where it cannot).
// Then a file it cannot read (a directory in its place, a read or a write
// that fails at a chosen byte through the platform's file seam) is refused
// with the system's reason and left as it was; the mode is kept; a link
// keeps being a link to the file written.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

// The platform with its file calls failing at a chosen byte (-1: never).
class FaultyPlatform : public WinePlatform {
 public:
  using WinePlatform::WinePlatform;
  long readFailAt = -1;
  long writeFailAt = -1;

 protected:
  long ReadBytes(int fd, char* buffer, std::size_t size) override {
    return Fail(readFailAt, readSoFar_, size, [&](std::size_t n) { return WinePlatform::ReadBytes(fd, buffer, n); });
  }
  long WriteBytes(int fd, const char* data, std::size_t size) override {
    return Fail(writeFailAt, writtenSoFar_, size, [&](std::size_t n) { return WinePlatform::WriteBytes(fd, data, n); });
  }

 private:
  template <typename Call>
  static long Fail(long at, long& soFar, std::size_t size, Call call) {
    if (at >= 0 && soFar >= at) {
      errno = EIO;
      return -1;
    }
    const std::size_t n = at >= 0 && soFar + static_cast<long>(size) > at ? static_cast<std::size_t>(at - soFar) : size;
    const long done = call(n);
    if (done > 0) soFar += done;
    return done;
  }
  long readSoFar_ = 0;
  long writtenSoFar_ = 0;
};

class Prefix : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/mirvale_write_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    prefix_ = dir;
    drive_ = prefix_ + "/drive_c";
    mkdir(drive_.c_str(), 0755);
    mkdir((prefix_ + "/dosdevices").c_str(), 0755);
    ASSERT_EQ(symlink("../drive_c", (prefix_ + "/dosdevices/c:").c_str()), 0);
  }
  void TearDown() override { std::system(("rm -rf " + prefix_).c_str()); }
  void Put(const std::string& name, const std::string& text, mode_t mode = 0644) {
    std::ofstream(drive_ + "/" + name, std::ios::binary) << text;
    chmod((drive_ + "/" + name).c_str(), mode);
  }
  // The names in a directory of the drive, sorted, one a line.
  std::string List(const std::string& dir) {
    std::string out;
    if (std::FILE* p = popen(("LC_ALL=C ls -A " + drive_ + "/" + dir).c_str(), "r")) {
      char buffer[256];
      while (std::fgets(buffer, sizeof buffer, p) != nullptr) out += buffer;
      pclose(p);
    }
    return out;
  }
  std::string prefix_;
  std::string drive_;
};

TEST_F(Prefix, AFileThatCannotBeReadIsRefusedWithItsReasonAndLeftAsItWas) {
  const std::string before = "[Network]\r\nDefaultAdaptor=2\r\n[Other]\r\nPad=" + std::string(9000, 'p') + "\r\n";
  const struct {
    const char* what;
    bool directory;   // a directory in place of the file
    long readFailAt;  // the read fails at this byte
    long writeFailAt; // the new file's write fails at this byte
    const char* reason;
  } cases[] = {
      {"a directory in its place", true, -1, -1, "Is a directory"},
      {"a read that fails at the start", false, 0, -1, "Input/output error"},
      {"a read that fails past the first block", false, 8200, -1, "Input/output error"},
      {"a write that fails part-way", false, -1, 100, "Input/output error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::system(("rm -rf " + drive_ + "/ORM.INI").c_str());
    if (c.directory) {
      ASSERT_EQ(mkdir((drive_ + "/ORM.INI").c_str(), 0755), 0);
    } else {
      Put("ORM.INI", before, 0640);
    }
    FaultyPlatform platform(prefix_);
    platform.readFailAt = c.readFailAt;
    platform.writeFailAt = c.writeFailAt;
    EXPECT_FALSE(platform.WriteProfileValue("Network", "DefaultAdaptor", "7", "c:\\ORM.INI"));
    EXPECT_EQ(platform.LastWriteError(), c.reason);
    struct stat st{};
    ASSERT_EQ(stat((drive_ + "/ORM.INI").c_str(), &st), 0);
    if (c.directory) {
      EXPECT_TRUE(S_ISDIR(st.st_mode));
    } else {
      EXPECT_EQ(Read(drive_ + "/ORM.INI"), before);
      EXPECT_EQ(st.st_mode & 07777, 0640u);
    }
    EXPECT_EQ(List(""), "ORM.INI\n") << "a temporary file was left";
  }
}

TEST_F(Prefix, TheModeIsKeptAndALinkStaysALinkToTheFileWritten) {
  // The mode of a file replaced, and of one made new.
  Put("ORM.INI", "[Network]\r\nDefaultAdaptor=2\r\n", 0600);
  WinePlatform platform(prefix_);
  ASSERT_TRUE(platform.WriteProfileValue("Network", "DefaultAdaptor", "7", "c:\\ORM.INI"));
  struct stat st{};
  ASSERT_EQ(stat((drive_ + "/ORM.INI").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(Read(drive_ + "/ORM.INI"), "[Network]\r\nDefaultAdaptor=7\r\n");
  const mode_t mask = umask(022);
  ASSERT_TRUE(platform.WriteProfileValue("NetBIOS", "Adaptor", "7", "c:\\NEW.INI"));
  umask(mask);
  ASSERT_EQ(stat((drive_ + "/NEW.INI").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);

  // A link to a file elsewhere (relative), and one whose file is not there yet.
  mkdir((drive_ + "/real").c_str(), 0755);
  Put("real/orm.ini", "[Network]\r\nDefaultAdaptor=1\r\nKeep=me\r\n", 0640);
  ASSERT_EQ(symlink("real/orm.ini", (drive_ + "/LINKED.INI").c_str()), 0);
  ASSERT_EQ(symlink("real/later.ini", (drive_ + "/LATER.INI").c_str()), 0);
  for (const char* name : {"LINKED.INI", "LATER.INI"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(platform.WriteProfileValue("Network", "DefaultAdaptor", "5", std::string("c:\\") + name));
    struct stat link{};
    ASSERT_EQ(lstat((drive_ + "/" + name).c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_EQ(platform.ProfileInt("Network", "DefaultAdaptor", 0, std::string("c:\\") + name), 5u);
  }
  EXPECT_EQ(Read(drive_ + "/real/orm.ini"), "[Network]\r\nDefaultAdaptor=5\r\nKeep=me\r\n");
  ASSERT_EQ(stat((drive_ + "/real/orm.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(List(""), "LATER.INI\nLINKED.INI\nNEW.INI\nORM.INI\nreal\n");
  EXPECT_EQ(List("real"), "later.ini\norm.ini\n");
}

TEST_F(Prefix, AFileThatMayNotBeWrittenIsRefusedNotReplaced) {
  // As a user who may write the folder but not the file (read-only, or
  // another's): the write fails as Wine's would, and the file stays.
  chmod(prefix_.c_str(), 0755);
  chmod(drive_.c_str(), 0777);
  const std::string before = "[Network]\r\nDefaultAdaptor=2\r\n";
  for (mode_t mode : {0444, 0644}) {
    SCOPED_TRACE(mode);
    std::remove((drive_ + "/ORM.INI").c_str());
    Put("ORM.INI", before, mode);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (getuid() == 0 && setuid(65534) != 0) _exit(3);
      WinePlatform platform(prefix_);
      const bool written = platform.WriteProfileValue("Network", "DefaultAdaptor", "7", "c:\\ORM.INI");
      _exit(written ? 1 : platform.LastWriteError() == "Permission denied" ? 0 : 2);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: replaced; 2: another reason; 3: no other user here";
    EXPECT_EQ(Read(drive_ + "/ORM.INI"), before);
    EXPECT_EQ(List(""), "ORM.INI\n") << "a temporary file was left";
  }
}

}  // namespace
}  // namespace mirvale
