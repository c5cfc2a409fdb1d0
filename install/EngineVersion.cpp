#include "EngineVersion.h"

#include <cstring>
#include <string>

#include "Porting.h"
#include "UpdateLayout.h"
#include "VersionFolder.h"

const char* const kEngineNames[kEngineTypeCount] = {"alder", "birch", "cedar", "dogwood"};

InstalledEngine ReadInstalledEngine(const char* productPath, int type) {
  InstalledEngine engine;
  char sub[128];
  qo_snprintf(sub, sizeof sub, "%s", kvxlayout::EngineSubFolder(type).c_str());
  GetLatestPathN(productPath, sub, engine.newestPath, sizeof engine.newestPath);
  // A folder found elsewhere (a latest link out of the tree) is not this
  // engine's: the update never installs beside it.
  const char* found = std::strstr(engine.newestPath, sub);
  if (found == nullptr) return engine;
  engine.found = true;
  int unusedThird = 0;
  QoParseVersionStr(found + std::strlen(sub), &engine.version.major, &engine.version.minor,
                    &unusedThird, &engine.version.build);
  return engine;
}

bool ReadOfferedEngine(const char* packageFolder, int type, EngineVersion& version) {
  char folder[256];
  qo_snprintf(folder, sizeof folder, "%s",
              kvxlayout::EnginePackageFolder(packageFolder, type).c_str());
  int extra = 0;
  return ReadEngineVersion(folder, &version.major, &version.minor, &version.build, &extra) == 0;
}

bool IsNewerEngine(const EngineVersion& candidate, const EngineVersion& installed) {
  if (candidate.major != installed.major) return candidate.major > installed.major;
  if (candidate.minor != installed.minor) return candidate.minor > installed.minor;
  return candidate.build > installed.build;
}
