// The hotfix rollback for one instance: take the instance's newest hotfix
// back out, the way it went in. A hotfix that brought its own program folder
// has that folder removed and program/latest moved back; one that swapped
// libraries in place has the saved libraries swapped back. The hotfix's own
// folder goes last, so a rollback that fails can simply be run again.
#include <cstring>
#include <string>

#include "DebugLog.h"
#include "DominoControl.h"
#include "Gates.h"
#include "Install.h"
#include "KVXInsInfo.h"
#include "LogTexts.h"
#include "Porting.h"
#include "Procedures.h"
#include "QoFileOpUtil.h"
#include "QoKVXSleep.h"
#include "VersionFolder.h"

namespace {

constexpr auto& kMsgStart = logtext::kRollbackStart;
constexpr auto& kMsgDone = logtext::kRollbackDone;
constexpr char kMsgMoved[] = "Have delete all files in (%s), including itself..";
constexpr char kMsgCannotMove[] = "Cannot rename the file (%s), Sleep 10 second.";
constexpr auto& kMsgMoveGiveUp = logtext::kProgramMoveGaveUp;
constexpr char kMsgNewBuild[] = "The build number of new KVXN is (%s)";
constexpr char kMsgNoNewBuild[] = "Cannot get the build number of new KVXN. (%s)";
constexpr char kMsgInPlace[] = "Copy replace the file in KVX program with the new one.";
constexpr auto& kMsgRemovedHotfix = logtext::kHotfixFolderRemoved;

constexpr int kMoveAttempts = 10;
constexpr int kMoveRetrySeconds = 10;
constexpr int kReleaseSeconds = 5;

// Moves the hotfix's program folder to the scratch name, retrying while the
// tasks still hold it. False when it would not move in ten attempts.
bool MoveProgramFolderAside(const char* programDir, const char* scratchDir) {
  for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
    if (QoKVXFileOpUtil::rename(programDir, scratchDir)) {
      LogDebugMessage(1, kMsgMoved, scratchDir);
      return true;
    }
    ParseKVXInsINI(StopAllKVX, nullptr);
    LogDebugMessage(1, kMsgCannotMove, scratchDir);
    QoKVXSleep(kMoveRetrySeconds);
  }
  LogDebugMessage(1, kMsgMoveGiveUp);
  ParseKVXInsINI(LoadAllKVX, nullptr);
  return false;
}

InstanceOutcome RollbackNewFolder(char* productPath, InstancePaths& paths) {
  if (!StopAllTasksAndWait()) return InstanceOutcome::kFailed;
  // State: every task of the instance stopped.

  char szScratchDir[1024];
  qo_snprintf(szScratchDir, sizeof szScratchDir, "%s/program/V5.8.0.0000", productPath);
  QoKVXFileOpUtil::xunlink(szScratchDir, nullptr, nullptr);  // a leftover of a broken run
  if (!MoveProgramFolderAside(paths.szNewProgramDir, szScratchDir)) return InstanceOutcome::kFailed;
  QoKVXFileOpUtil::xunlink(szScratchDir, nullptr, nullptr);
  // State: hotfix program folder gone; program/latest dangles until relinked.

  GetLatestPathN(productPath, "program", szScratchDir, sizeof szScratchDir);
  CreateLink(productPath, szScratchDir);
  RemoveTrailingSeparator(szScratchDir);
  if (const char* newBuild = TextAfterLast(szScratchDir, '.'))
    LogDebugMessage(1, kMsgNewBuild, newBuild);
  else
    LogDebugMessage(1, kMsgNoNewBuild, szScratchDir);
  ParseKVXInsINI(LoadAllKVX, nullptr);
  return InstanceOutcome::kCompleted;
}

// Swaps the libraries the update saved back in under the running tasks.
void RollbackInPlace(InstancePaths& paths) {
  LogDebugMessage(1, kMsgInPlace);
  RenameAllDlls(paths.szCurProgramDir);
  // State: hotfix libraries renamed aside, listed names missing.
  const std::string saved = std::string(paths.szCurHotfixDir) + "/FileGroup1";
  CopyAllDlls(saved.c_str(), paths.szCurProgramDir);
  ParseKVXInsINI(RestartAllKVX, nullptr);
  QoKVXSleep(kReleaseSeconds);
  RemoveAllRenamedDlls(paths.szCurProgramDir);
}

}  // namespace

InstanceOutcome RollbackHotfix(InstallInfo& /*info*/, _PatchSetting& setting,
                               InstancePaths& paths) {
  LogDebugMessage(1, kMsgStart, g_szKVXPatch);
  const GateVerdict verdict = CheckRollbackGates(g_szKVXPatch, setting, paths);
  if (!verdict.Passed()) return verdict.outcome;

  if (setting.iCreateNewFolder != 0) {
    const InstanceOutcome outcome = RollbackNewFolder(g_szKVXPatch, paths);
    if (outcome != InstanceOutcome::kCompleted) return outcome;
  } else {
    RollbackInPlace(paths);
  }

  const int removed = QoKVXFileOpUtil::xunlink(paths.szCurHotfixDir, nullptr, nullptr);
  LogDebugMessage(1, kMsgRemovedHotfix, paths.szCurHotfixDir, removed);
  LogDebugMessage(1, kMsgDone, g_szKVXPatch);
  return InstanceOutcome::kCompleted;
}
