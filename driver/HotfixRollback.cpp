// The hotfix rollback for one instance: take the instance's newest hotfix
// back out, the way it went in. A hotfix that brought its own program folder
// has that folder removed and program/latest moved back; one that swapped
// libraries in place has the saved libraries swapped back. The hotfix's own
// folder goes last, so a rollback that fails can simply be run again.
#include <cstring>
#include <string>

#include "control/DominoControl.h"
#include "driver/DebugLog.h"
#include "driver/ProcedureSupport.h"
#include "driver/Procedures.h"
#include "fileop/QoFileOpUtil.h"
#include "ini/Porting.h"
#include "install/Install.h"
#include "inventory/KVXInsInfo.h"
#include "inventory/VersionFolder.h"

namespace {

constexpr char kMsgStart[] =
    "=============================Start rollback (%s)=======================";
constexpr char kMsgDone[] =
    "=============================Rollback (%s) successfully=======================";
constexpr char kMsgNoHotfix[] = "There is no HF, so return";
constexpr char kMsgHotfixNewer[] =
    "There is newer HF applied, so return, the build number of current hotfix is (%s)";
constexpr char kMsgHotfixOlder[] =
    "There is no current HF, so return, the build number of current hotfix is (%s)";
constexpr char kMsgNotInstalled[] =
    "The hotfix isn't installed, the folder isn't a folder or doesn't exist. (%s)";
constexpr char kMsgProgramNewer[] =
    "There is newer HF applied, so return, the build number of current KVXN is (%s)";
constexpr char kMsgOnlyOneBuild[] =
    "There is only one folder matching the pattern, so return. (%s)";
constexpr char kMsgBuildCount[] = "There %d hotfixes installed.";
constexpr char kMsgMoved[] = "Have delete all files in (%s), including itself..";
constexpr char kMsgCannotMove[] = "Cannot rename the file (%s), Sleep 10 second.";
constexpr char kMsgMoveGiveUp[] =
    "Has try 10 times to delete the hot file, but still failed, so give up.";
constexpr char kMsgNewBuild[] = "The build number of new KVXN is (%s)";
constexpr char kMsgNoNewBuild[] = "Cannot get the build number of new KVXN. (%s)";
constexpr char kMsgInPlace[] = "Copy replace the file in KVX program with the new one.";
constexpr char kMsgRemovedHotfix[] = "Remove the old back up folder! (%s), error code [%d]";

constexpr int kMoveAttempts = 10;
constexpr int kMoveRetrySeconds = 10;
constexpr int kReleaseSeconds = 5;

// Program build folders under root: folders whose path ends in a build
// number above 0 after its last '.'. The scratch name V5.8.0.0000 does not
// count.
int CountProgramBuilds(const char* root) {
  int count = 0;
  QoKVXDirList listing(root);
  while (listing.hasNext()) {
    const std::string entry = listing.getNext();
    if (!QoKVXFileOpUtil::isDir(entry.c_str())) continue;
    const char* build = TextAfterLast(entry.c_str(), '.');
    if (build && ReadBuildNumber(build) > 0) ++count;
  }
  return count;
}

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

InstanceOutcome RollbackNewFolder(const _PatchSetting& setting, InstancePaths& paths) {
  if (!QoKVXFileOpUtil::isDir(paths.szNewProgramDir)) {
    LogDebugMessage(1, kMsgNotInstalled, paths.szNewProgramDir);
    return InstanceOutcome::kFailed;
  }
  const char* programBuildText = ReadCurrentProgramBuild(paths.szCurProgramDir);
  if (!programBuildText) return InstanceOutcome::kFailed;
  if (setting.iBuildNumber < ReadBuildNumber(programBuildText)) {
    LogDebugMessage(1, kMsgProgramNewer, programBuildText);
    return InstanceOutcome::kFailed;
  }

  char szProgramRoot[1024];
  qo_snprintf(szProgramRoot, sizeof szProgramRoot, "%s/program/", g_szKVXPatch);
  const int builds = CountProgramBuilds(szProgramRoot);
  if (builds < 2) {  // nothing to fall back to
    LogDebugMessage(1, kMsgOnlyOneBuild, szProgramRoot);
    return InstanceOutcome::kFailed;
  }
  LogDebugMessage(1, kMsgBuildCount, builds);

  if (!StopAllTasksAndWait()) return InstanceOutcome::kFailed;
  // State: every task of the instance stopped.

  char szScratchDir[1024];
  qo_snprintf(szScratchDir, sizeof szScratchDir, "%s/program/V5.8.0.0000", g_szKVXPatch);
  QoKVXFileOpUtil::xunlink(szScratchDir, nullptr, nullptr);  // a leftover of a broken run
  if (!MoveProgramFolderAside(paths.szNewProgramDir, szScratchDir)) return InstanceOutcome::kFailed;
  QoKVXFileOpUtil::xunlink(szScratchDir, nullptr, nullptr);
  // State: hotfix program folder gone; program/latest dangles until relinked.

  GetLatestPathN(g_szKVXPatch, "program", szScratchDir, sizeof szScratchDir);
  CreateLink(g_szKVXPatch, szScratchDir);
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
  RemoveTrailingSeparator(paths.szCurHotfixDir);
  const char* hotfixBuildText = TextAfterLast(paths.szCurHotfixDir, 'B');
  if (!hotfixBuildText) {
    LogDebugMessage(1, kMsgNoHotfix);
    return InstanceOutcome::kFailed;
  }
  const int hotfixBuild = ReadBuildNumber(hotfixBuildText);
  if (setting.iBuildNumber < hotfixBuild) {
    LogDebugMessage(1, kMsgHotfixNewer, hotfixBuildText);
    return InstanceOutcome::kFailed;
  }
  if (setting.iBuildNumber > hotfixBuild) {
    LogDebugMessage(1, kMsgHotfixOlder, hotfixBuildText);
    return InstanceOutcome::kFailed;
  }

  if (setting.iCreateNewFolder != 0) {
    const InstanceOutcome outcome = RollbackNewFolder(setting, paths);
    if (outcome != InstanceOutcome::kCompleted) return outcome;
  } else {
    RollbackInPlace(paths);
  }

  const int removed = QoKVXFileOpUtil::xunlink(paths.szCurHotfixDir, nullptr, nullptr);
  LogDebugMessage(1, kMsgRemovedHotfix, paths.szCurHotfixDir, removed);
  LogDebugMessage(1, kMsgDone, g_szKVXPatch);
  return InstanceOutcome::kCompleted;
}
