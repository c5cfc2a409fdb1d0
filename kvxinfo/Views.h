// What kvxinfo shows: the installed instances as the installer sees them
// (inventory), what an update package would do to each (plan), and whether a
// host is in the state a completed update leaves (verify). Plain records,
// filled by the inventory, plan and verify units and printed as text or JSON
// by the output unit. The log view's records are RunLog's.
#ifndef KVX_KVXINFO_VIEWS_H
#define KVX_KVXINFO_VIEWS_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "EngineVersion.h"
#include "Gates.h"

namespace kvxinfo {

// Exit statuses; the man page lists them.
constexpr int kExitOk = 0;
constexpr int kExitPlanFails = 1;    // some instance would fail; verify found a failure
constexpr int kExitPlanNothing = 2;  // no instance would be updated
constexpr int kExitNoInstance = 3;   // registry unreadable, malformed or empty
constexpr int kExitPackageUnreadable = 4;
constexpr int kExitUsage = 64;

struct PartitionView {
  std::string name;  // the registry's entry name, e.g. Par1
  std::string notesIni;
  std::string dataDir;
  std::string binDir;
  std::string owner;  // user name of the notes.ini owner, or "uid N"
  bool ownerExists = false;
  bool serverRuns = false;
  std::vector<std::string> runningTasks;  // in the order of the task table
  bool databasesPresent = false;
  std::string databaseProblem;  // the installer's line for the first missing one
};

struct EngineView {
  std::string name;
  std::vector<std::string> versions;  // version folder names, oldest first
  std::string newest;                 // what the installer takes as current
  std::string latest;                 // the folder the latest link names, "" without a link
};

struct InstanceView {
  std::string name;
  std::string productPath;
  std::string version;
  std::string installType;
  std::string programDir;     // newest program folder, "" when none
  std::string programBuild;   // the text after its last '.', "" when none
  std::string programLatest;  // the folder program/latest names, "" without a link
  std::string hotfixDir;      // newest hotfix folder, "" when none
  int hotfixBuild = 0;        // 0 when none
  std::vector<EngineView> engines;
  std::vector<PartitionView> partitions;
};

struct Inventory {
  int status = kExitOk;
  std::string error;  // set with a status other than kExitOk
  std::vector<InstanceView> instances;
};

enum class Decision { kApplies, kSkipped, kFails };

// What the engine update would do with one engine.
enum class EngineAction { kUpdate, kCurrent, kNotInstalled, kNotInPackage };

struct EnginePlan {
  std::string name;
  std::string installed;  // current version "9.750.1001", "" when not installed
  std::string offered;    // the package's version, "" when it carries none
  EngineAction action = EngineAction::kNotInstalled;
  EngineVersion installedVersion;
  EngineVersion offeredVersion;
};

struct SpaceCheck {
  std::string folder;  // an existing folder on the file system
  std::uint64_t needed = 0;
  std::uint64_t available = 0;
  std::string uses;  // what the run writes there
};

struct InstancePlan {
  std::string name;
  std::string productPath;
  Decision decision = Decision::kSkipped;
  InstanceOutcome installerOutcome = InstanceOutcome::kSkipped;  // what UPDSilent ends it with
  std::string gate;    // the gate or check that decided, "" when it applies
  std::string reason;  // the installer's text, or kvxinfo's for its own checks
  std::vector<std::string> details;
  std::string programBuild;
  int hotfixBuild = 0;
  // Only when the gates pass:
  bool newFolder = false;
  std::string targetDir;  // the new program folder, or the current one for in place
  std::string backupDir;
  std::vector<std::string> files;
  bool loader = false;
  bool extensionManager = false;
  std::vector<std::string> partitions;  // every partition's Domino program folder
  std::vector<std::string> restarted;   // partitions whose server runs: tasks restarted
  std::vector<EnginePlan> engines;
  std::vector<SpaceCheck> space;
};

struct Plan {
  int status = kExitOk;
  std::string error;
  std::string packageFolder;
  std::string settingsProblem;  // the installer's line when kvxpatch.ini cannot be read
  int packageBuild = 0;
  std::vector<InstancePlan> instances;
  int installerExit = 0;  // what UPDSilent would return to the shell
};

enum class CheckResult { kOk, kWarning, kFailed };

// One finding of verify: what was checked on which instance, and a detail a
// person can act on.
struct CheckRow {
  std::string instance;
  std::string check;
  CheckResult result = CheckResult::kOk;
  std::string detail;
};

struct Verification {
  int status = kExitOk;
  std::string error;
  std::string packageFolder;  // "" when only the host's health was checked
  int packageBuild = 0;
  std::vector<CheckRow> rows;
  // With a package, by instance name: whether the update went through there
  // and every check of the instance passed.
  std::map<std::string, bool> applied;
};

}  // namespace kvxinfo

#endif  // KVX_KVXINFO_VIEWS_H
