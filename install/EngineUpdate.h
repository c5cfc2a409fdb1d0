// Scan-engine update: installs a newer engine carried by the package under
// ./engine/<name> into a new version folder of the product tree and points
// the engine's `latest` link at it. Older version folders stay, so that an
// engine rollback can go back to them.
#ifndef KVX_INSTALL_ENGINEUPDATE_H
#define KVX_INSTALL_ENGINEUPDATE_H

#include "inventory/PatchSetting.h"

// The engine types, in the order CheckAndUpdateEngine processes them.
enum EngineType { kEngineAlder = 0, kEngineBirch = 1, kEngineCedar = 2, kEngineDogwood = 3 };
constexpr int kEngineTypeCount = 4;

// The engines' folder names, by type: engine/<name> in the product tree and
// ./engine/<name> in the package.
extern const char* const kEngineNames[kEngineTypeCount];

// An engine version as the update compares it.
struct EngineVersion {
  int major = 0;
  int minor = 0;
  int build = 0;
};

// The update's rule: the major decides, then the minor, then the build.
bool IsNewerEngine(const EngineVersion& candidate, const EngineVersion& installed);

// Runs CheckAndUpdateEngineByType for every type in order; a failure of one
// type does not stop the others. Always 0.
int CheckAndUpdateEngine(InstallInfo* info, _PatchSetting* setting);

// Updates one engine of the current instance (g_szKVXPatch) when the package
// carries a newer version of it. 0 when updated or already current, -1 when
// the records are null, the type is unknown, the engine is not installed or
// the package's version cannot be read. Only the records' presence matters.
int CheckAndUpdateEngineByType(int type, InstallInfo* info, _PatchSetting* setting);

#endif  // KVX_INSTALL_ENGINEUPDATE_H
