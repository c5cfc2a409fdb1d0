#include "TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace kvxtest {

TempTree::TempTree() {
  char pattern[] = "/tmp/kvxtest.XXXXXX";
  if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  fs::permissions(path_ = pattern, fs::perms(0755));
}
TempTree::~TempTree() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& content) {
  if (fs::path(path).has_parent_path()) fs::create_directories(fs::path(path).parent_path());
  if (!(std::ofstream(path, std::ios::binary) << content)) throw std::runtime_error(path);
}
std::string ReadFile(const std::string& path) {
  std::error_code ec;  // a folder opens, but reading it throws
  if (!std::filesystem::is_regular_file(path, ec)) return "";
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

CommandResult RunCommand(const std::string& command) {
  std::fflush(nullptr);
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, ""};
  std::string output;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), output};
}

static std::vector<std::string> DebugLogs() {  // oldest first
  std::vector<std::string> files;
  std::error_code ignored;
  for (const auto& e : fs::directory_iterator("/var/log", ignored))
    if (e.path().filename().string().rfind("updsilent_", 0) == 0) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}
Lines DebugLogLines() {
  Lines lines;
  for (const std::string& file : DebugLogs())
    for (std::string& line : ReadLines(file)) lines.push_back(std::move(line));
  return lines;
}
std::vector<std::string> DebugLogMessages(bool own) {
  static const char* const kRepeated[] = {"Info:ParseKVXInsINI", "The server's file lock",
                                          "Submit command",      "szNotesIniFiles",
                                          "stat: over",          "setuid over"};
  std::vector<std::string> messages;
  for (const std::string& line : DebugLogLines()) {
    const size_t at = line.find("[line: 337]:");
    const std::string m = at == std::string::npos ? line : line.substr(at + 12);
    const auto repeated = [&m](const char* start) { return m.rfind(start, 0) == 0; };
    if (!own || std::none_of(std::begin(kRepeated), std::end(kRepeated), repeated))
      messages.push_back(m);
  }
  return messages;
}
void ClearDebugLog() {
  for (const std::string& file : DebugLogs()) std::remove(file.c_str());
}

std::string BuildDir() { return std::getenv("KVX_BUILD_DIR") ?: "."; }
std::string SourceDir() { return std::getenv("KVX_SOURCE_DIR") ?: ".."; }
// The code under test writes /etc/kvxsysV3.ini and /var/log by fixed paths:
// a test binary started outside sandbox-run stops before any test runs.
[[maybe_unused]] static const bool kInSandbox = [] {
  if (::geteuid() == 0 && std::getenv("KVX_SANDBOX_ROOT")) return true;
  std::fprintf(stderr, "run the tests as root through tests/support/sandbox-run\n");
  std::exit(2);
}();

}  // namespace kvxtest
