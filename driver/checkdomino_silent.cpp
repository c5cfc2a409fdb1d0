// The run driver: picks the mode from the command line, reads the instance
// registry and the package settings, and runs the mode's procedure for every
// installed instance, folding their outcomes into the process's result.
#include <cstring>
#include <string>
#include <vector>

#include "DebugLog.h"
#include "KVXInsInfo.h"
#include "LogTexts.h"
#include "PatchSetting.h"
#include "Porting.h"
#include "Procedures.h"

namespace {

constexpr auto& kMsgUpdateBanner = logtext::kUpdateBanner;
constexpr auto& kMsgRollbackBanner = logtext::kRollbackBanner;
constexpr auto& kMsgEngineBanner = logtext::kEngineRollbackBanner;
constexpr auto& kMsgParseError = logtext::kRegistryUnreadable;
constexpr auto& kMsgNothingInstalled = logtext::kNoInstance;
constexpr auto& kMsgInstalledCount = logtext::kInstanceCount;

constexpr char kInstallType[] = "64-bit";
constexpr char kUpdatePackage[] = "./FileGroup1";
constexpr char kPackagePayload[] = "/FileGroup1";

enum class Mode { kNone, kUpdate, kHotfixRollback, kEngineRollback };

// Words are compared whole and with their case: "/U" and "/ux" are no mode.
Mode SelectMode(int argc, char** argv) {
  if (argc == 1) return Mode::kUpdate;
  if (argc == 3) return std::strcmp(argv[1], "/u") == 0 ? Mode::kHotfixRollback : Mode::kNone;
  if (argc > 3 && argc % 2 == 0 && std::strcmp(argv[1], "/ue") == 0) return Mode::kEngineRollback;
  return Mode::kNone;
}

void LogBanner(Mode mode) {
  switch (mode) {
    case Mode::kUpdate:
      LogDebugMessage(1, kMsgUpdateBanner);
      break;
    case Mode::kHotfixRollback:
      LogDebugMessage(1, kMsgRollbackBanner);
      break;
    case Mode::kEngineRollback:
      LogDebugMessage(1, kMsgEngineBanner);
      break;
    case Mode::kNone:
      break;
  }
}

// The hotfix rollback takes the package folder from the command line as it
// stands: a trailing slash on the word doubles the one before FileGroup1.
std::string PackageFolder(Mode mode, char** argv) {
  if (mode == Mode::kUpdate) return kUpdatePackage;
  if (mode == Mode::kHotfixRollback) return std::string(argv[2]) + kPackagePayload;
  return "";
}

}  // namespace

// Kept as an empty hook: the driver calls it once the mode is known.
void SetCommand() {}

int main(int argc, char** argv) {
  const Mode mode = SelectMode(argc, argv);
  LogBanner(mode);
  SetCommand();

  InstallInfo info;
  info.strPackagePath = PackageFolder(mode, argv);
  _PatchSetting setting;

  if (ParseKVXInsINI(nullptr, nullptr) != 0) {
    LogDebugMessage(1, kMsgParseError);
    return kRunFailed;
  }
  if (g_lstKVXNIns.empty()) {
    LogDebugMessage(1, kMsgNothingInstalled, kInstallType);
    return kRunFailed;
  }
  LogDebugMessage(1, kMsgInstalledCount, static_cast<int>(g_lstKVXNIns.size()));

  // The results are not acted on: an unreadable package leaves build 0, which
  // every instance then treats as not newer than what it has.
  if (mode != Mode::kEngineRollback) {
    ReadConfiguration(info, setting);
    ReadFileList(setting);
    ReadDBList(setting);
  }

  std::vector<InstanceOutcome> outcomes;
  InstancePaths paths;
  for (g_iCurIns = 0; g_iCurIns < static_cast<int>(g_lstKVXNIns.size()); ++g_iCurIns) {
    qo_snprintf(g_szKVXPatch, sizeof g_szKVXPatch, "%s",
                g_lstKVXNIns[g_iCurIns].strProductPath.c_str());
    FillInstancePaths(g_szKVXPatch, setting, paths);

    switch (mode) {
      case Mode::kUpdate:
        outcomes.push_back(UpdateHotfix(info, setting, paths));
        break;
      case Mode::kHotfixRollback:
        outcomes.push_back(RollbackHotfix(info, setting, paths));
        break;
      case Mode::kEngineRollback:
        // The engine rollback's count replaces the tally: only the last
        // instance decides, and a count of 0 fails the run.
        outcomes.assign(1, RollbackEngine(argc, argv) != 0 ? InstanceOutcome::kCompleted
                                                           : InstanceOutcome::kSkipped);
        break;
      case Mode::kNone:
        break;
    }
  }
  return RunResult(outcomes);
}
