// LogDebugMessage: the dated debug log every unit outside the two libraries
// writes to. The file is opened and closed for every line, so no handle
// outlives a call and a run that crosses midnight moves on to the next day's
// file by itself.
#include "DebugLog.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "Handles.h"
#include "Porting.h"

namespace {

// The file and line fields are fixed texts, whichever unit logs.
constexpr char kSourceUnit[] = "checkdomino_silent";
constexpr int kSourceLine = 337;

// Appends the line to the day's file, opened for this one line.
void AppendToDayFile(int level, const char* message) {
  const std::time_t now = std::time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);

  char stamp[20];
  char day[20];
  std::strftime(stamp, sizeof stamp, "%Y/%m/%d %H:%M:%S", &local);
  std::strftime(day, sizeof day, "%Y%m%d", &local);

  FilePtr file(std::fopen(DayLogPath(day).c_str(), "a+"));
  if (!file) return;

  // pthread_self is printed as a signed 32-bit number: its low 32 bits.
  const auto thread = static_cast<std::int32_t>(static_cast<std::uint32_t>(pthread_self()));
  char prefix[kLinePrefixSize];
  qo_snprintf(prefix, sizeof prefix, kLinePrefixFormat, stamp, static_cast<int>(getpid()),
              static_cast<int>(thread), static_cast<unsigned>(level), kSourceUnit, kSourceLine);

  std::fprintf(file.get(), "%s%s\n", prefix, message);
}

LogSink g_logSink = AppendToDayFile;

}  // namespace

std::string DayLogPath(const std::string& day) {
  return std::string(kLogFolder) + "/" + kLogName + "_" + day + ".dbg";
}

void SetLogSink(LogSink sink) { g_logSink = sink ? sink : AppendToDayFile; }

void DiscardLogLine(int /*level*/, const char* /*message*/) {}

void LogDebugMessage(int level, const char* fmt, ...) {
  char message[2048];
  va_list ap;
  va_start(ap, fmt);
  qo_vsnprintf(message, sizeof message, fmt, ap);
  va_end(ap);
  g_logSink(level, message);
}
