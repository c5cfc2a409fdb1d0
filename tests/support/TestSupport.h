// Helpers every test suite shares: temporary trees, files, commands, the
// sandbox's debug log, and where the build and source trees are.
#ifndef KVX_TESTS_SUPPORT_TESTSUPPORT_H
#define KVX_TESTS_SUPPORT_TESTSUPPORT_H

#include <string>
#include <vector>

namespace kvxtest {

// A folder under /tmp (mode 0755, for server users), removed with its contents.
class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& content);  // makes missing folders
std::string ReadFile(const std::string& path);                        // "" when unreadable
std::vector<std::string> ReadLines(const std::string& path);
struct CommandResult {
  int exitStatus;      // 128 + signal when killed
  std::string output;  // standard output and error
};
CommandResult RunCommand(const std::string& command);

using Lines = std::vector<std::string>;

// Every line of every day's log, the oldest day first: a run that crosses
// midnight goes on in the next day's file.
Lines DebugLogLines();
// The message of every line of every day's log (what follows "[line: 337]:").
// own leaves out the lines every partition pass and console command repeat.
Lines DebugLogMessages(bool own = false);
void ClearDebugLog();

// Instantiates suite over a table whose rows carry their test's name.
#define KVX_TABLE(prefix, suite, rows)                               \
  INSTANTIATE_TEST_SUITE_P(prefix, suite, ::testing::ValuesIn(rows), \
                           [](const auto& i) { return std::string(i.param.name); })

std::string BuildDir();
std::string SourceDir();

}  // namespace kvxtest

#endif  // KVX_TESTS_SUPPORT_TESTSUPPORT_H
