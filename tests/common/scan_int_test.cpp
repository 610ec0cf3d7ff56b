// Numbers read from profile values and datagrams, as "%d" reads them.
#include "scan_int.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace trelm {
namespace {

TEST(ScanInt, LikePercentD) {
  std::int32_t v = 77;
  EXPECT_FALSE(ScanInt("abc", v));
  EXPECT_EQ(v, 77);  // untouched
  EXPECT_FALSE(ScanInt("", v));
  EXPECT_FALSE(ScanInt("-", v));
  ASSERT_TRUE(ScanInt("  -12x", v));
  EXPECT_EQ(v, -12);
  ASSERT_TRUE(ScanInt("+7", v));
  EXPECT_EQ(v, 7);
  ASSERT_TRUE(ScanInt("-99999999999", v));
  EXPECT_EQ(v, INT32_MIN);
}

}  // namespace
}  // namespace trelm
