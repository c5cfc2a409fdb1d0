// The three procedures the driver runs for each instance, and the
// per-instance state it hands them.
#ifndef KVX_DRIVER_PROCEDURES_H
#define KVX_DRIVER_PROCEDURES_H

#include "Gates.h"
#include "PatchSetting.h"

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
