// Bounded formatting: a text that does not fit is cut at size - 1 and the
// byte at size - 1 is NUL in every case; nothing past the bound is touched.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ini/Porting.h"

namespace {

struct CutCase {
  const char* name;
  unsigned long size;
  const char* in;
  const char* out;
};
const CutCase kCuts[] = {{"Fits", 4, "abc", "abc"},
                         {"CutAtSizeMinusOne", 4, "abcdef", "abc"},
                         {"SizeOne", 1, "abc", ""},
                         {"ShorterLeavesRest", 8, "ab", "ab"}};

class BoundedFormat : public ::testing::TestWithParam<CutCase> {};
TEST_P(BoundedFormat, KeepsSizeMinusOneBytes) {
  const CutCase& c = GetParam();
  char buf[16];
  std::memset(buf, '#', sizeof buf);
  qo_snprintf(buf, c.size, "%s", c.in);
  EXPECT_STREQ(c.out, buf);
  EXPECT_EQ('\0', buf[c.size - 1]);
  EXPECT_EQ('#', buf[c.size]);  // nothing past the bound
}
INSTANTIATE_TEST_SUITE_P(Cuts, BoundedFormat, ::testing::ValuesIn(kCuts),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
