// The run's debug log: /var/log/updsilent_<YYYYMMDD>.dbg, one line per call.
#ifndef KVX_DRIVER_DEBUGLOG_H
#define KVX_DRIVER_DEBUGLOG_H

// Appends one line to the day's log file. The level is printed in the line's
// module field and filters nothing. Never fails visibly: a log file that
// cannot be opened loses the line.
void LogDebugMessage(int level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

#endif  // KVX_DRIVER_DEBUGLOG_H
