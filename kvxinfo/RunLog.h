// The installer's debug log read back: which runs the day's file holds, what
// each did to every instance and how it must have ended. The log is the only
// record a run leaves (the installer prints nothing), and it is written by
// every process at once, so lines are told apart by their pid alone.
#ifndef KVX_KVXINFO_RUNLOG_H
#define KVX_KVXINFO_RUNLOG_H

#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "Gates.h"

namespace kvxinfo {

struct RunInstance {
  std::string product;                     // the product path, "" until the log names it
  std::optional<InstanceOutcome> outcome;  // empty while the instance is unfinished
  // The deciding message, the start line while unfinished. An engine
  // rollback's: its last removal, or its last pair's line when none.
  std::string line;
};

// OutcomeName, or "unfinished".
const char* OutcomeText(const RunInstance& instance);

struct Run {
  int pid = 0;
  std::string start;  // "YYYY/MM/DD HH:MM:SS" of the run's first line
  std::string end;    // and of its last
  std::string mode;   // "update", "hotfix rollback", "engine rollback" or "none"
  bool finished = false;
  int exitStatus = -1;  // 0 or 212 as the shell saw it; -1 while not finished
  int announced = -1;   // instances the run said it would treat; -1 before it said
  std::vector<RunInstance> instances;
  std::vector<std::string> errors;  // the messages of every error line, in order
};

// The runs of a debug log, in the order they started. A run opens at its
// banner, or without one (no mode) at its process's first registry pass. A
// line without the log's prefix continues the line before it (a message that
// held a newline). Lines of a pid outside any run are left out: the end of a
// run begun in the previous day's file, and the console command children's.
std::vector<Run> ReadRuns(std::istream& log);

// The status of `kvxinfo log` for the last `last` runs (at least one).
constexpr int kLogClean = 0;    // each finished with 0 and logged no error
constexpr int kLogTrouble = 1;  // one logged an error, ended with 212 or did not finish
constexpr int kLogNoRun = 2;    // the log holds no run
int LogStatus(const std::vector<Run>& runs, int last);

}  // namespace kvxinfo

#endif  // KVX_KVXINFO_RUNLOG_H
