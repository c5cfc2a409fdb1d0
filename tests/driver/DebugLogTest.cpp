// The debug log line: its file name, its prefix and the cut of long messages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <string>

#include "driver/DebugLog.h"
#include "support/TestSupport.h"

using namespace kvxtest;

namespace {

class DebugLog : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!InSandbox()) GTEST_SKIP() << "writes /var/log: runs only inside the sandbox";
    ClearDebugLog();
  }
};

TEST_F(DebugLog, LineHasTheFixedPrefixAndLandsInTodaysFile) {
  LogDebugMessage(1, "hello %s %d", "world", 7);
  LogDebugMessage(0, "second");
  const auto lines = ReadLines(DebugLogPath());
  ASSERT_EQ(2u, lines.size());
  const std::regex prefix(
      R"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\]\[pid=(\d+)\]\[tid=-?\d+\]\[module=(\d+)\] )"
      R"(\[file:checkdomino_silent\] \[line: 337\]:(.*))");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, prefix)) << lines[0];
  EXPECT_EQ(std::to_string(getpid()), m[1].str());
  EXPECT_EQ("1", m[2].str());
  EXPECT_EQ("hello world 7", m[3].str());
  ASSERT_TRUE(std::regex_match(lines[1], m, prefix)) << lines[1];
  EXPECT_EQ("0", m[2].str());
}

TEST_F(DebugLog, LevelIsPrintedInHexAndFiltersNothing) {
  LogDebugMessage(255, "x");
  const auto lines = ReadLines(DebugLogPath());
  ASSERT_EQ(1u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find("[module=ff]"));
}

TEST_F(DebugLog, MessageIsCutAt2047Characters) {
  const std::string longText(5000, 'x');
  LogDebugMessage(1, "%s", longText.c_str());
  const auto messages = DebugLogMessages();
  ASSERT_EQ(1u, messages.size());
  EXPECT_EQ(std::string(2047, 'x'), messages[0]);
}

TEST_F(DebugLog, AppendsToAnExistingFile) {
  WriteFile(DebugLogPath(), "earlier line\n");
  LogDebugMessage(1, "later");
  const auto lines = ReadLines(DebugLogPath());
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("earlier line", lines[0]);
}

}  // namespace
