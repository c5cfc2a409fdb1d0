#include "support/TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace kvxtest {

TempTree::TempTree() {
  char pattern[] = "/tmp/kvxtest.XXXXXX";
  if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  fs::permissions(path_, fs::perms(0755));
}

TempTree::~TempTree() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TempTree::operator/(const std::string& relative) const {
  return path_ + "/" + relative;
}

void WriteFile(const std::string& path, const std::string& content) {
  const fs::path parent = fs::path(path).parent_path();
  if (!parent.empty()) fs::create_directories(parent);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

CommandResult RunCommand(const std::string& command) {
  struct PipeCloser {
    void operator()(FILE* f) const { ::pclose(f); }
  };
  std::fflush(nullptr);
  FILE* raw = ::popen((command + " 2>&1").c_str(), "r");
  if (!raw) return {-1, ""};
  std::string output;
  std::array<char, 4096> chunk;
  size_t n;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), raw)) > 0) output.append(chunk.data(), n);
  const int status = ::pclose(raw);
  int exitStatus = -1;
  if (WIFEXITED(status)) exitStatus = WEXITSTATUS(status);
  else if (WIFSIGNALED(status)) exitStatus = 128 + WTERMSIG(status);
  return {exitStatus, output};
}

std::string DebugLogPath() {
  const std::time_t now = std::time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  char day[20];
  std::strftime(day, sizeof day, "%Y%m%d", &local);
  return std::string("/var/log/updsilent_") + day + ".dbg";
}

std::vector<std::string> DebugLogMessages() {
  static const std::string kPrefixEnd = "[file:checkdomino_silent] [line: 337]:";
  std::vector<std::string> messages;
  for (const std::string& line : ReadLines(DebugLogPath())) {
    const size_t at = line.find(kPrefixEnd);
    messages.push_back(at == std::string::npos ? line : line.substr(at + kPrefixEnd.size()));
  }
  return messages;
}

void ClearDebugLog() {
  std::error_code ignored;
  fs::remove(DebugLogPath(), ignored);
}

static std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

std::string BuildDir() { return EnvOr("KVX_BUILD_DIR", "."); }
std::string SourceDir() { return EnvOr("KVX_SOURCE_DIR", ".."); }
std::string SandboxRunner() { return EnvOr("KVX_SANDBOX", SourceDir() + "/tests/support/sandbox-run"); }

bool InSandbox() { return ::geteuid() == 0 && std::getenv("KVX_SANDBOX_ROOT") != nullptr; }

}  // namespace kvxtest
