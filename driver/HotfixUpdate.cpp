// The update procedure for one instance: check that the package applies,
// save the libraries it replaces, install it as a new program folder or by
// swapping libraries under the running tasks, update the per-partition
// programs and the engines, restart the tasks and record the hotfix.
#include <list>
#include <string>

#include "DebugLog.h"
#include "DominoControl.h"
#include "EngineUpdate.h"
#include "Gates.h"
#include "Install.h"
#include "KVXInsInfo.h"
#include "LogTexts.h"
#include "PatchSetting.h"
#include "Porting.h"
#include "Procedures.h"
#include "QoFileOpUtil.h"
#include "QoKVXSleep.h"
#include "UpdateLayout.h"

namespace {

constexpr auto& kMsgStart = logtext::kUpdateStart;
constexpr auto& kMsgDone = logtext::kUpdateDone;
constexpr auto& kMsgCopyFolder = logtext::kFolderCopied;
constexpr auto& kMsgCopyFile = logtext::kFileCopied;
constexpr char kMsgInPlace[] = "Copy replace the file in KVX program with the new one.";
constexpr char kMsgBackup[] = "Back up the dlls from (%s) to (%s)";
constexpr char kMsgNeedExt[] = "needUpdateExt";
constexpr char kMsgNeedLoader[] = "needUpdate loader";
constexpr char kMsgAfterNeeds[] = "after needupdate ext and updateloader";
constexpr char kMsgBeforeSleep[] = "Before Sleep";
constexpr char kMsgSleepOver[] = "Sleep over";
constexpr char kMsgRemovedAside[] = "RemoveAllRenamedDlls over";

// Time for the restarted tasks to let go of the libraries moved aside.
constexpr int kReleaseSeconds = 5;

// Builds program/V5.8.0.<build> from the current folder plus the package's
// files and points program/latest at it. The running tasks keep the old
// folder until the restart at the end.
void InstallAsNewFolder(char* productPath, InstallInfo& info, _PatchSetting& setting,
                        InstancePaths& paths) {
  CopyAllDlls(paths.szCurProgramDir, paths.szBackupDir);
  // State: current libraries saved in the hotfix's backup folder.

  qo_strlcat(paths.szCurProgramDir, sizeof paths.szCurProgramDir, "/*");
  const int folderResult =
      QoKVXFileOpUtil::xcopy(paths.szCurProgramDir, paths.szNewProgramDir, true, nullptr, nullptr);
  LogDebugMessage(1, kMsgCopyFolder, paths.szCurProgramDir, paths.szNewProgramDir, folderResult);

  for (const std::string& name : setting.lstFiles) {
    const std::string source = kvxlayout::FileIn(info.strPackagePath, name);
    const std::string target = kvxlayout::FileIn(paths.szNewProgramDir, name);
    const int fileResult =
        QoKVXFileOpUtil::copy(source.c_str(), target.c_str(), true, nullptr, nullptr);
    LogDebugMessage(1, kMsgCopyFile, source.c_str(), target.c_str(), fileResult);
  }
  _ChangeOwner(paths.szNewProgramDir);
  CreateLink(productPath, paths.szNewProgramDir);
  // State: program/latest names the new build; tasks still run the old one.
  CopyReadMe(info);

  if (setting.bUpdateExt) ParseKVXInsINI(updateKVXExt, nullptr);
  if (setting.iUpdateLoader) ParseKVXInsINI(UpdateLoader, nullptr);
  CheckAndUpdateEngine(&info, &setting);
  ParseKVXInsINI(RestartAllKVX, nullptr);
}

// Swaps the listed libraries inside the current program folder. The running
// tasks hold the old files open, so those are renamed aside, never
// overwritten, and deleted only after the restart.
void InstallInPlace(InstallInfo& info, _PatchSetting& setting, InstancePaths& paths) {
  LogDebugMessage(1, kMsgInPlace);
  LogDebugMessage(1, kMsgBackup, paths.szCurProgramDir, paths.szBackupDir);
  CopyAllDlls(paths.szCurProgramDir, paths.szBackupDir);
  RenameAllDlls(paths.szCurProgramDir);
  // State: old libraries renamed aside (name_1), listed names missing.
  CopyAllDlls(kvxlayout::kPackageFiles, paths.szCurProgramDir);
  // State: new libraries in place beside the old ones aside.

  if (setting.bUpdateExt) {
    LogDebugMessage(1, kMsgNeedExt);
    ParseKVXInsINI(updateKVXExt, nullptr);
  }
  if (setting.iUpdateLoader) {
    LogDebugMessage(1, kMsgNeedLoader);
    ParseKVXInsINI(UpdateLoader, nullptr);
  }
  LogDebugMessage(1, kMsgAfterNeeds);
  CheckAndUpdateEngine(&info, &setting);

  LogDebugMessage(1, kMsgBeforeSleep);
  ParseKVXInsINI(RestartAllKVX, nullptr);
  QoKVXSleep(kReleaseSeconds);
  LogDebugMessage(1, kMsgSleepOver);
  RemoveAllRenamedDlls(paths.szCurProgramDir);
  LogDebugMessage(1, kMsgRemovedAside);
}

}  // namespace

InstanceOutcome UpdateHotfix(InstallInfo& info, _PatchSetting& setting, InstancePaths& paths) {
  LogDebugMessage(1, kMsgStart, g_szKVXPatch);
  char szHotfixRoot[1024];
  char szHotfixBuildDir[1024];
  qo_snprintf(szHotfixRoot, sizeof szHotfixRoot, "%s", kvxlayout::HotfixRoot(g_szKVXPatch).c_str());
  qo_snprintf(szHotfixBuildDir, sizeof szHotfixBuildDir, "%s",
              kvxlayout::HotfixBuildDir(g_szKVXPatch, setting.iBuildNumber).c_str());

  const GateVerdict verdict = CheckUpdateGates(g_lstKVXNIns[g_iCurIns], setting, paths);
  if (!verdict.Passed()) return verdict.outcome;

  if (setting.iCreateNewFolder != 0)
    InstallAsNewFolder(g_szKVXPatch, info, setting, paths);
  else
    InstallInPlace(info, setting, paths);

  // The staged kvxpatch.ini is what a later "/u" of this hotfix reads.
  CopyQOPatch(kvxlayout::kPackageFolder, szHotfixRoot);
  CopyHotFixFiles(kvxlayout::kPackageFolder, szHotfixBuildDir);
  LogDebugMessage(1, kMsgDone, g_szKVXPatch);
  return InstanceOutcome::kCompleted;
}
