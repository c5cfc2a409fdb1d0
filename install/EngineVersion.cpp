#include "EngineVersion.h"

const char* const kEngineNames[kEngineTypeCount] = {"alder", "birch", "cedar", "dogwood"};

bool IsNewerEngine(const EngineVersion& candidate, const EngineVersion& installed) {
  if (candidate.major != installed.major) return candidate.major > installed.major;
  if (candidate.minor != installed.minor) return candidate.minor > installed.minor;
  return candidate.build > installed.build;
}
