// The debug log line: its file name, its prefix and the cut of long messages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

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
  const std::string pid = std::to_string(getpid());
  const std::string prefix =
      R"(\[[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\]\[pid=)" + pid +
      R"(\]\[tid=-?[0-9]+\]\[module=)";
  const std::string fixed = R"(\] \[file:checkdomino_silent\] \[line: 337\]:)";
  EXPECT_THAT(lines[0], ::testing::ContainsRegex("^" + prefix + "1" + fixed + "hello world 7$"));
  EXPECT_THAT(lines[1], ::testing::ContainsRegex("^" + prefix + "0" + fixed + "second$"));
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
