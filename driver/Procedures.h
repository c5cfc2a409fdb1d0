// The three procedures the driver runs for each instance, and the
// per-instance state it hands them.
#ifndef KVX_DRIVER_PROCEDURES_H
#define KVX_DRIVER_PROCEDURES_H

#include "inventory/PatchSetting.h"

// How one instance ended; the driver folds these into the run's result.
enum class InstanceOutcome { kCompleted, kFailed, kSkipped };

// Paths the driver forms or looks up at the start of every instance.
struct InstancePaths {
  char szBackupDir[1024];      // <product>/hotfix/B<build>/FileGroup1
  char szNewProgramDir[1024];  // <product>/program/V5.8.0.<build>/
  char szCurProgramDir[1024];  // newest program/V* folder
  char szCurHotfixDir[1024];   // newest hotfix/B* folder, "" when none
};

// Clears paths and fills them for the current instance (g_szKVXPatch) and
// the package's build.
void FillInstancePaths(const _PatchSetting& setting, InstancePaths& paths);

// The update's gates for the current instance: kCompleted when the package
// applies, otherwise how the instance ends and why (logged). Only reads.
// Removes a trailing separator from the current program and hotfix paths.
InstanceOutcome CheckUpdateGates(const _PatchSetting& setting, InstancePaths& paths);

// Update mode: apply the package in ./FileGroup1 to the current instance.
InstanceOutcome UpdateHotfix(InstallInfo& info, _PatchSetting& setting, InstancePaths& paths);
// "/u" mode: take the current instance's newest hotfix back out.
InstanceOutcome RollbackHotfix(InstallInfo& info, _PatchSetting& setting, InstancePaths& paths);

// "/ue" mode: remove the engine versions named on the command line from the
// current instance; returns how many were removed (0 to 4). Converts the
// engine names to lower case and the versions to upper case in argv itself.
int RollbackEngine(int argc, char** argv);
char* StringToLower(char* text);
char* StringToUpper(char* text);

#endif  // KVX_DRIVER_PROCEDURES_H
