// Helpers shared by the test suites: temporary trees, whole-file reads and
// writes, running a command and reading what it printed, the sandbox's debug
// log, and the locations of the build and source trees.
#ifndef KVX_TESTS_SUPPORT_TESTSUPPORT_H
#define KVX_TESTS_SUPPORT_TESTSUPPORT_H

#include <string>
#include <vector>

namespace kvxtest {

// A folder under /tmp, made world-traversable (mode 0755) so that a server
// user can reach what a test builds in it, and removed with everything in it
// when the object dies.
class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string operator/(const std::string& relative) const;

 private:
  std::string path_;
};

// Writes content to path, creating missing parent folders.
void WriteFile(const std::string& path, const std::string& content);
// The whole file, or "" when it cannot be read.
std::string ReadFile(const std::string& path);
std::vector<std::string> ReadLines(const std::string& path);

struct CommandResult {
  int exitStatus;      // WEXITSTATUS, or 128 + signal
  std::string output;  // standard output and standard error together
};
// Runs command through /bin/sh and collects what it printed.
CommandResult RunCommand(const std::string& command);

// Today's debug log in this sandbox: /var/log/updsilent_<YYYYMMDD>.dbg.
std::string DebugLogPath();
// The message part of each line of the debug log (what follows the prefix
// "[...][pid=..][tid=..][module=..] [file:checkdomino_silent] [line: 337]:").
std::vector<std::string> DebugLogMessages();
// Empties the debug log so a test sees only its own lines.
void ClearDebugLog();

std::string BuildDir();
std::string SourceDir();
std::string SandboxRunner();

// True when the test runs as root inside the sandbox; tests that need it
// skip with a clear reason otherwise.
bool InSandbox();

}  // namespace kvxtest

#endif  // KVX_TESTS_SUPPORT_TESTSUPPORT_H
