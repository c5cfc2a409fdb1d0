// The run's debug log: /var/log/updsilent_<YYYYMMDD>.dbg, one line per call.
// Its name and line prefix are defined here for kvxinfo, which reads it back.
#ifndef KVX_DRIVER_DEBUGLOG_H
#define KVX_DRIVER_DEBUGLOG_H

#include <string>

// Every line opens with this prefix: the local time "YYYY/MM/DD HH:MM:SS",
// the process and thread ids, the level in hexadecimal, then a file and a
// line field that hold the same fixed values whichever unit logs. It is
// formatted into kLinePrefixSize bytes, so it is cut at 99 characters: with a
// seven-digit pid and a ten-digit negative tid the closing ':' is lost and
// the message follows the "]".
constexpr char kLinePrefixFormat[] = "[%s][pid=%d][tid=%d][module=%x] [file:%s] [line: %d]:";
constexpr int kLinePrefixSize = 100;

// Every day's log is kLogFolder/kLogName_<YYYYMMDD>.dbg.
constexpr char kLogFolder[] = "/var/log";
constexpr char kLogName[] = "updsilent";

// The log of a day given as "YYYYMMDD". A run that crosses midnight goes on
// in the next day's file.
std::string DayLogPath(const std::string& day);

// Appends one line to the day's log file. The level is printed in the line's
// module field and filters nothing. Never fails visibly: a log file that
// cannot be opened loses the line.
void LogDebugMessage(int level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Where LogDebugMessage's lines go: the message formatted and cut at 2047
// characters, without the line prefix. A program that promises to write
// nothing (kvxinfo) or that runs millions of inputs (the fuzz targets)
// installs its own sink once at start-up; null puts the day's file back.
using LogSink = void (*)(int level, const char* message);
void SetLogSink(LogSink sink);

// A sink that drops every line.
void DiscardLogLine(int level, const char* message);

#endif  // KVX_DRIVER_DEBUGLOG_H
