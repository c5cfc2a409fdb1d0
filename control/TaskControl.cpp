// Ending, loading and restarting the add-on's tasks of one partition. Every
// test of a task is a fresh look at its lock file; every command goes through
// the partition's server program and returns once that program has ended.
// None of this waits for a task to end except RestartAllKVX, which must not
// load a task while its old instance still runs.
#include <cstdint>
#include <cstdio>

#include "DebugLog.h"
#include "DominoControl.h"
#include "DominoState.h"
#include "LogTexts.h"
#include "QoKVXSleep.h"

namespace {

constexpr char kMsgServerDown[] = "Domino isnot running now.";
constexpr char kMsgAllQuit[] = "All KVX quit.";
constexpr char kMsgWaiting[] = "Waiting for terminating all KVX. %d KVX is running";
constexpr auto& kMsgGiveUp = logtext::kTaskStopGaveUp;

constexpr int kStopPasses = 10;
constexpr int kStopPassSeconds = 10;

// After the first end command, how many more a task that does not end gets.
constexpr int kMaxEndRepeats = 121;
constexpr int kShortWait = 2;
constexpr int kRealWait = 5;

struct TaskCommands {
  const char* task;
  const char* end;
  const char* load;
};
constexpr TaskCommands kReal{"kvxreal", "te kvxreal quit", "load kvxreal"};
constexpr TaskCommands kEmf{"kvxemf", "te kvxemf quit", "load kvxemf"};
constexpr TaskCommands kMon{"kvxmon", "te kvxmon quit", "load kvxmon"};
constexpr TaskCommands kSch{"kvxsch", "te kvxsch quit", "load kvxsch"};
constexpr TaskCommands kCm{"kvxcm", "te kvxcm quit", "load kvxcm"};
constexpr TaskCommands kDbs{"kvxdbs", "te kvxdbs quit", nullptr};
constexpr TaskCommands kDtas{"kvxdtas", "te kvxdtas quit", "load kvxdtas"};
constexpr char kRestartCm[] = "restart task kvxcm";

bool Runs(const KVXNParInfo* par, const TaskCommands& t) {
  return IsKVXRun(par->strDataDir.c_str(), t.task) != 0;
}

void Send(const KVXNParInfo* par, const char* command) {
  RunDominoCommand(par->strNotesIni.c_str(), par->strBinDir.c_str(), command);
}

// Ends a running task and keeps ending it until it is gone, a dot per repeat
// on standard output for the operator watching; gives up after the last
// repeat and leaves the decision to the load that follows.
void EndAndWait(const KVXNParInfo* par, const TaskCommands& t, int seconds) {
  Send(par, t.end);
  QoKVXSleep(seconds);
  for (int repeats = 0; Runs(par, t);) {
    Send(par, t.end);
    QoKVXSleep(seconds);
    if (++repeats >= kMaxEndRepeats) break;
    std::printf(".");
    std::fflush(stdout);
  }
}

// Ends the task when it runs, gives it a moment, loads it in either case.
void Reload(const KVXNParInfo* par, const TaskCommands& t) {
  if (Runs(par, t)) {
    Send(par, t.end);
    QoKVXSleep(kShortWait);
  }
  Send(par, t.load);
}

}  // namespace

int StopAllKVX(KVXNParInfo* par, void* /*context*/) {
  if (!isDominoServerRunning(par, nullptr)) return 1;
  for (const TaskCommands* t : {&kReal, &kDbs, &kDtas, &kEmf, &kSch, &kCm})
    if (Runs(par, *t)) Send(par, t->end);
  Send(par, kMon.end);  // sent without a test
  return 1;
}

int LoadAllKVX(KVXNParInfo* par, void* /*context*/) {
  if (!isDominoServerRunning(par, nullptr)) return 1;
  if (!Runs(par, kEmf)) Send(par, kEmf.load);
  if (!Runs(par, kSch)) Send(par, kSch.load);
  Send(par, kMon.load);  // sent without a test
  if (!Runs(par, kReal)) Send(par, kReal.load);
  if (!Runs(par, kCm)) Send(par, kCm.load);
  return 1;
}

int RestartAllKVX(KVXNParInfo* par, void* /*context*/) {
  if (!isDominoServerRunning(par, nullptr)) {
    LogDebugMessage(1, kMsgServerDown);
    return 1;
  }
  Reload(par, kEmf);
  Reload(par, kSch);
  Reload(par, kMon);
  if (Runs(par, kReal)) EndAndWait(par, kReal, kRealWait);
  Send(par, kReal.load);  // also when it still runs after the last repeat
  Send(par, Runs(par, kCm) ? kRestartCm : kCm.load);
  if (Runs(par, kDtas)) {
    EndAndWait(par, kDtas, kShortWait);
    Send(par, kDtas.load);
  }
  return 1;
}

bool StopAllTasksAndWait() {
  ChangeKVXGroup();
  ParseKVXInsINI(StopAllKVX, nullptr);
  for (int pass = 0; pass < kStopPasses; ++pass) {
    std::uint32_t running = 0;
    ParseKVXInsINI(GetRunningKVXNum, &running);
    if (running == 0) {
      LogDebugMessage(1, kMsgAllQuit);
      return true;
    }
    LogDebugMessage(1, kMsgWaiting, static_cast<int>(running));
    QoKVXSleep(kStopPassSeconds);
    ParseKVXInsINI(StopAllKVX, nullptr);
  }
  LogDebugMessage(1, kMsgGiveUp);
  ParseKVXInsINI(LoadAllKVX, nullptr);
  return false;
}
