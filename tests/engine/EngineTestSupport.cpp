#include "engine/EngineTestSupport.h"

#include <filesystem>

#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace enginetest {

namespace {

// Lines other units write while the procedures run.
const char* const kForeignPrefixes[] = {
    "Info:ParseKVXInsINI", "The server's file lock",
    "Submit command",      "szNotesIniFiles",
    "stat: over",          "setuid over",
};

std::string LevelOf(const std::string& line) {
  const std::string mark = "[module=";
  const size_t at = line.find(mark);
  if (at == std::string::npos) return "?";
  return line.substr(at + mark.size(), line.find(']', at) - at - mark.size());
}

}  // namespace

std::vector<std::string> LoggedLines() {
  const std::vector<std::string> raw = kvxtest::ReadLines(kvxtest::DebugLogPath());
  const std::vector<std::string> messages = kvxtest::DebugLogMessages();
  std::vector<std::string> lines;
  for (size_t i = 0; i < raw.size() && i < messages.size(); ++i) {
    lines.push_back(LevelOf(raw[i]) + "|" + messages[i]);
  }
  return lines;
}

std::vector<std::string> OwnLines() {
  std::vector<std::string> own;
  for (const std::string& line : LoggedLines()) {
    const std::string message = line.substr(line.find('|') + 1);
    bool foreign = false;
    for (const char* prefix : kForeignPrefixes) {
      foreign = foreign || message.rfind(prefix, 0) == 0;
    }
    if (!foreign) own.push_back(line);
  }
  return own;
}

int CountLines(const std::vector<std::string>& lines, const std::string& text) {
  int n = 0;
  for (const std::string& line : lines) n += line.find(text) != std::string::npos;
  return n;
}

void UseInstance(const std::string& productPath, const std::vector<KVXNParInfo>& partitions) {
  KVXNInsInfo instance;
  instance.strInsName = "KVX1";
  instance.strProductPath = productPath;
  instance.strProductVersion = "V5.8";
  instance.strInstallType = "64-bit";
  instance.iDomSvrCount = static_cast<int>(partitions.size());
  instance.vecParInfo = partitions;
  g_lstKVXNIns.assign(1, instance);
  g_iCurIns = 0;
  std::snprintf(g_szKVXPatch, sizeof g_szKVXPatch, "%s", productPath.c_str());
}

void MakeFolder(const std::string& path) { fs::create_directories(path); }

void MakeLink(const std::string& target, const std::string& link) {
  fs::create_directory_symlink(target, link);
}

std::string LinkTarget(const std::string& link) {
  std::error_code error;
  const fs::path target = fs::read_symlink(link, error);
  return error ? "" : target.string();
}

ScopedChdir::ScopedChdir(const std::string& path) : saved_(fs::current_path().string()) {
  fs::current_path(path);
}

ScopedChdir::~ScopedChdir() {
  std::error_code ignored;
  fs::current_path(saved_, ignored);
}

}  // namespace enginetest
