#include "CapturedLog.h"

#include "DebugLog.h"

namespace kvxinfo {
namespace {

std::vector<std::string>& Lines() {
  static std::vector<std::string> lines;
  return lines;
}

void KeepLine(int /*level*/, const char* message) { Lines().emplace_back(message); }

}  // namespace

void CaptureInstallerLog() { SetLogSink(KeepLine); }

const std::vector<std::string>& CapturedLog() { return Lines(); }

void ClearCapturedLog() { Lines().clear(); }

std::string LastCapturedLine() { return Lines().empty() ? std::string() : Lines().back(); }

}  // namespace kvxinfo
