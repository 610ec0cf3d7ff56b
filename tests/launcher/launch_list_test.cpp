// The rules for one launch list entry.
#include "core/launch_list.h"

#include <gtest/gtest.h>

namespace pellor {
namespace {

std::string Cut(std::string entry) {
  CutComment(entry);
  return entry;
}

std::string Prefixed(std::string entry, const char* drive, bool directoryMode) {
  ApplyDrivePrefix(entry, drive, directoryMode);
  return entry;
}

TEST(LaunchEntry, CommentCuttingKeepsBlanksAndIgnoresALeadingSemicolon) {
  EXPECT_EQ(Cut("c:\\apps\\a.exe ; main tool"), "c:\\apps\\a.exe ");
  EXPECT_EQ(Cut(";abc;def"), ";abc");
  EXPECT_EQ(Cut(";"), ";");
  EXPECT_EQ(Cut("a;"), "a");
  EXPECT_EQ(Cut("no comment"), "no comment");
}

TEST(LaunchEntry, EndTest) {
  EXPECT_TRUE(EndsList(0, "", false));
  EXPECT_TRUE(EndsList(0, "", true));          // missing or empty ends even in directory mode
  EXPECT_TRUE(EndsList(1, "x", false));        // one character ends before a directory entry
  EXPECT_FALSE(EndsList(1, "x", true));        // and is a command after one
  EXPECT_FALSE(EndsList(2, "ab", false));
  EXPECT_TRUE(EndsList(3, "a", false));        // cut to one character by a comment
}

TEST(LaunchEntry, DrivePrefixRule) {
  EXPECT_EQ(Prefixed("c:\\trelm\\bin\\app.exe", "c:", false), "c:\\trelm\\bin\\app.exe");
  EXPECT_EQ(Prefixed("C:\\trelm\\bin\\app.exe", "c:", false), "C:\\trelm\\bin\\app.exe");
  EXPECT_EQ(Prefixed("\\trelm\\bin\\app.exe", "c:", false), "c:\\trelm\\bin\\app.exe");
  EXPECT_EQ(Prefixed("app.exe", "c:", false), "c:app.exe");
  EXPECT_EQ(Prefixed("D:\\tools\\app.exe", "c:", false), "c:D:\\tools\\app.exe");
  EXPECT_EQ(Prefixed("<pause> 5", "c:", false), "c:<pause> 5");
  // Once a directory entry has been processed, entries are used as written.
  EXPECT_EQ(Prefixed("app.exe", "c:", true), "app.exe");
  EXPECT_EQ(Prefixed("D:\\tools\\app.exe", "c:", true), "D:\\tools\\app.exe");
  // A start drive shorter than two characters compares as far as it goes.
  EXPECT_EQ(Prefixed("x.exe", "", false), "x.exe");
}

TEST(LaunchEntry, ClassificationOrderAndCase) {
  EXPECT_EQ(Classify("c:\\trelm\\bin\\orm.exe [wait]", true), EntryKind::Orm);
  EXPECT_EQ(Classify("c:\\trelm\\bin\\orm.exe [wait]", false), EntryKind::Wait);
  EXPECT_EQ(Classify("c:\\bin\\ORM32.EXE", true), EntryKind::Orm);
  EXPECT_EQ(Classify("c:\\bin\\tool.exe c:\\orm.exe.cfg", true), EntryKind::Orm);  // substring
  EXPECT_EQ(Classify("c:<PAUSE> 3", false), EntryKind::Pause);
  EXPECT_EQ(Classify("c:<Directory> d:\\work", false), EntryKind::Directory);
  EXPECT_EQ(Classify("c:\\a.exe [WAIT]", false), EntryKind::Wait);
  EXPECT_EQ(Classify("c:<pause> 3 [wait]", false), EntryKind::Pause);  // first match decides
  EXPECT_EQ(Classify("c:\\a.exe /x", false), EntryKind::Command);
}

TEST(LaunchEntry, PauseSeconds) {
  EXPECT_EQ(PauseSeconds("c:<pause> 5"), 5);
  EXPECT_EQ(PauseSeconds("<PAUSE> 3"), 3);
  EXPECT_EQ(PauseSeconds("<pause>   12 seconds"), 12);
  EXPECT_EQ(PauseSeconds("<pause>"), 0);         // no number: no pause
  EXPECT_EQ(PauseSeconds("<pause> soon"), 0);
  EXPECT_EQ(PauseSeconds("<pause>5"), 0);        // the first word swallows the number
  EXPECT_EQ(PauseSeconds("<pause> 99999999999"), 2147483647);
}

TEST(LaunchEntry, TimerMillisecondsStayInRange) {
  EXPECT_EQ(SecondsToTimerMs(0), 0u);
  EXPECT_EQ(SecondsToTimerMs(5), 5000u);
  EXPECT_EQ(SecondsToTimerMs(-5), 0u);                  // never a huge unsigned delay
  EXPECT_EQ(SecondsToTimerMs(2147483647), 0x7FFFFFFFu);  // what a window timer takes
}

TEST(LaunchEntry, DirectoryAndWaitFields) {
  EXPECT_EQ(DirectoryField("c:<directory> d:\\work"), "d:\\work");
  EXPECT_EQ(DirectoryField("<directory> d:\\my work"), "d:\\my");  // cut at the first blank
  EXPECT_EQ(DirectoryField("<directory>  d:\\work"), "");          // two blanks: field 1 empty
  EXPECT_EQ(DirectoryField("<directory>"), "");
  EXPECT_EQ(WaitCommand("c:\\tools\\app.exe /x [wait]"), "c:\\tools\\app.exe /x ");
  EXPECT_EQ(WaitCommand("c:\\a.exe [x] [wait]"), "c:\\a.exe ");
}

}  // namespace
}  // namespace pellor
