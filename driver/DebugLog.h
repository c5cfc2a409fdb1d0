// The run's debug log: /var/log/updsilent_<YYYYMMDD>.dbg, one line per call.
#ifndef KVX_DRIVER_DEBUGLOG_H
#define KVX_DRIVER_DEBUGLOG_H

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
