// The scan engines an update knows, how it reads the installed and the
// offered version of one, and how it tells a newer version: the reading and
// the comparison alone, apart from the update that copies, so that a
// read-only planner asks the same questions and gets the same answers.
#ifndef KVX_INSTALL_ENGINEVERSION_H
#define KVX_INSTALL_ENGINEVERSION_H

#include <cstddef>

// The engine types, in the order the update processes them.
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

// The newest installed version folder of one engine, as the update finds it.
struct InstalledEngine {
  char newestPath[256] = {};  // the version folder found, "" when none
  bool found = false;         // newestPath lies in this engine's folder
  EngineVersion version;      // read from newestPath's name when found
};

// Looks up the newest version folder of engine type under productPath. The
// update logs newestPath before it looks at found.
InstalledEngine ReadInstalledEngine(const char* productPath, int type);

// The version in <packageFolder>/engine/<name>/version.txt; false, with the
// reader's line logged, when it cannot be read. The update reads it only
// after it found the engine installed.
bool ReadOfferedEngine(const char* packageFolder, int type, EngineVersion& version);

// The update's rule: the major decides, then the minor, then the build.
bool IsNewerEngine(const EngineVersion& candidate, const EngineVersion& installed);

#endif  // KVX_INSTALL_ENGINEVERSION_H
