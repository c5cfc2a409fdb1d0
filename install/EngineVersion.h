// The scan engines an update knows and how it tells a newer version: the
// comparison alone, apart from the update that copies, so that a read-only
// planner can ask it too.
#ifndef KVX_INSTALL_ENGINEVERSION_H
#define KVX_INSTALL_ENGINEVERSION_H

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

// The update's rule: the major decides, then the minor, then the build.
bool IsNewerEngine(const EngineVersion& candidate, const EngineVersion& installed);

#endif  // KVX_INSTALL_ENGINEVERSION_H
