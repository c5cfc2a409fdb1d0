// Defines LogDebugMessage for kvxinfo. Linked as an object of the program
// itself, it is found before the debug log library's, whose object is then
// never pulled in: nothing kvxinfo calls can write /var/log.
#include "kvxinfo/CapturedLog.h"

#include <cstdarg>

#include "driver/DebugLog.h"
#include "ini/Porting.h"

namespace {

std::vector<std::string>& Lines() {
  static std::vector<std::string> lines;
  return lines;
}

}  // namespace

void LogDebugMessage(int /*level*/, const char* fmt, ...) {
  char message[2048];  // the installer's log cuts its messages at the same length
  va_list ap;
  va_start(ap, fmt);
  qo_vsnprintf(message, sizeof message, fmt, ap);
  va_end(ap);
  Lines().emplace_back(message);
}

namespace kvxinfo {

const std::vector<std::string>& CapturedLog() { return Lines(); }

void ClearCapturedLog() { Lines().clear(); }

std::string LastCapturedLine() { return Lines().empty() ? std::string() : Lines().back(); }

}  // namespace kvxinfo
