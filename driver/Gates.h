// What decides, before anything is written, whether an instance goes on: the
// update's gates and the hotfix rollback's checks, each answered as a verdict
// that names the gate and carries the line it logged; and how the instances'
// outcomes fold into the run's result. Nothing here writes, so kvxinfo asks
// the installer's own questions and gets the installer's own answers.
#ifndef KVX_DRIVER_GATES_H
#define KVX_DRIVER_GATES_H

#include <vector>

#include "KVXInsInfo.h"
#include "PatchSetting.h"

// How one instance ended.
enum class InstanceOutcome { kCompleted, kFailed, kSkipped };
// "completed", "failed" or "skipped".
const char* OutcomeName(InstanceOutcome outcome);

// Which check turned an instance away; kNone when every check passed.
enum class Gate {
  kNone,
  // update
  kProgramFolder,  // the current program folder's name holds no build number
  kProgramBuild,   // the program is as new as the package, or newer
  kHotfixBuild,    // the newest hotfix is as new as the package, or newer
  kDepentBuild,
  kServicePack,
  kPreviousBuild,
  kDatabases,  // a listed product database is missing
  // hotfix rollback
  kNoHotfix,
  kHotfixNewer,   // a newer hotfix than the one given is installed
  kHotfixOlder,   // the one given is not the newest
  kNotInstalled,  // its program folder is missing
  kProgramNewer,  // the program is newer than the hotfix
  kOnlyOneBuild,  // no older program folder to fall back to
};

// The answer of a set of checks. outcome is kCompleted while the instance may
// go on; line is the logged text of the check that decided, "" when none did.
struct GateVerdict {
  InstanceOutcome outcome = InstanceOutcome::kCompleted;
  Gate gate = Gate::kNone;
  char line[2048] = "";

  bool Passed() const { return gate == Gate::kNone; }
};

// A short name of the gate for people: "program build", "DepentBuild", ...
const char* GateName(Gate gate);

// Paths the driver forms or looks up at the start of every instance.
struct InstancePaths {
  char szBackupDir[1024];      // <product>/hotfix/B<build>/FileGroup1
  char szNewProgramDir[1024];  // <product>/program/V5.8.0.<build>/
  char szCurProgramDir[1024];  // newest program/V* folder
  char szCurHotfixDir[1024];   // newest hotfix/B* folder, "" when none
};

// Clears paths and fills them for the instance at productPath and the
// package's build.
void FillInstancePaths(const char* productPath, const _PatchSetting& setting, InstancePaths& paths);

// The update's gates. Removes a trailing separator from the current program
// and hotfix paths; logs each decision as the installer always has.
GateVerdict CheckUpdateGates(KVXNInsInfo& instance, const _PatchSetting& setting,
                             InstancePaths& paths);

// The hotfix rollback's checks, up to the point where it stops the tasks.
// Removes a trailing separator from the current program and hotfix paths.
GateVerdict CheckRollbackGates(const char* productPath, const _PatchSetting& setting,
                               InstancePaths& paths);

// The run's result from its instances' outcomes: 0 when at least one
// completed and none failed, otherwise kRunFailed.
constexpr int kRunFailed = -300;  // a shell sees exit status 212
int RunResult(const std::vector<InstanceOutcome>& outcomes);

// Removes one trailing '/' or '\\' from path, if it has one.
void RemoveTrailingSeparator(char* path);
// The text after the last occurrence of mark in path, or null when path
// holds no mark ("/p/program/V5.8.0.1234" and '.' give "1234").
const char* TextAfterLast(const char* path, char mark);

#endif  // KVX_DRIVER_GATES_H
