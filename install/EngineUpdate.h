// Scan-engine update: installs a newer engine carried by the package under
// ./engine/<name> into a new version folder of the product tree and points
// the engine's `latest` link at it. Older version folders stay, so that an
// engine rollback can go back to them.
#ifndef KVX_INSTALL_ENGINEUPDATE_H
#define KVX_INSTALL_ENGINEUPDATE_H

#include "EngineVersion.h"
#include "PatchSetting.h"

// Runs CheckAndUpdateEngineByType for every type in order; a failure of one
// type does not stop the others. Always 0.
int CheckAndUpdateEngine(InstallInfo* info, _PatchSetting* setting);

// Updates one engine of the current instance (g_szKVXPatch) when the package
// carries a newer version of it. 0 when updated or already current, -1 when
// the records are null, the type is unknown, the engine is not installed or
// the package's version cannot be read. Only the records' presence matters.
int CheckAndUpdateEngineByType(int type, InstallInfo* info, _PatchSetting* setting);

#endif  // KVX_INSTALL_ENGINEUPDATE_H
