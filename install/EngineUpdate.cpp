// CheckAndUpdateEngine and CheckAndUpdateEngineByType: compare each engine the
// package carries with the newest installed version folder and install it
// beside the older ones when it is newer.
#include "EngineUpdate.h"

#include <cstdio>
#include <cstring>

#include "DebugLog.h"
#include "DominoControl.h"
#include "KVXInsInfo.h"
#include "LogTexts.h"
#include "Porting.h"
#include "QoFileOpUtil.h"
#include "ShellCommand.h"
#include "UpdateLayout.h"
#include "VersionFolder.h"

namespace {

constexpr char kMsgNullInput[] = "CheckAndUpdate Input installInfo or patchInfo is NULL";
constexpr char kMsgUnknownType[] = "Unknow engine type:%d";
constexpr char kMsgLatestPath[] = "CheckAndUpdate %s, latest path:%s";
constexpr char kMsgNotInstalled[] = "CheckAndUpdate: can not find %s from dir %s";
constexpr char kMsgVersions[] = "CheckAndUpdate: current version:%d.%d.%d, new version:%d.%d.%d.";
constexpr char kMsgNoNeed[] = "CheckAndUpdate: no need to update.";
constexpr auto& kMsgCopied = logtext::kFolderCopied;
constexpr char kMsgShell[] = "Executed shell command %s";
constexpr char kMsgNotExist[] = "%s not exist";

// Points <product>/<sub>/latest at the newest version folder now present,
// which after a good copy is the one just made. A `latest` whose target has
// gone counts as absent, so it is not removed and the new link cannot replace
// it; the shell's results are not examined either way.
void RelinkLatest(const char* productPath, const char* subFolder) {
  char newLatest[256] = {};
  GetLatestPathN(productPath, subFolder, newLatest, 255);

  char linkPath[512];
  char removeCmd[512];
  char linkCmd[512];
  qo_snprintf(linkPath, sizeof linkPath, "%s/%s/latest", productPath, subFolder);
  if (QoKVXFileOpUtil::isExist(linkPath)) {
    RunShellCommand(removeCmd, sizeof removeCmd, "rm %s/%s/latest", productPath, subFolder);
    LogDebugMessage(0, kMsgShell, removeCmd);
  } else {
    LogDebugMessage(0, kMsgNotExist, linkPath);
  }
  RunShellCommand(linkCmd, sizeof linkCmd, "ln -s %s %s/%s/latest", newLatest, productPath,
                  subFolder);
  LogDebugMessage(0, kMsgShell, linkCmd);
}

}  // namespace

int CheckAndUpdateEngine(InstallInfo* info, _PatchSetting* setting) {
  for (int type = 0; type < kEngineTypeCount; ++type) {
    CheckAndUpdateEngineByType(type, info, setting);  // each type stands on its own
  }
  return 0;
}

int CheckAndUpdateEngineByType(int type, InstallInfo* info, _PatchSetting* setting) {
  if (info == nullptr || setting == nullptr) {
    LogDebugMessage(0, kMsgNullInput);
    return -1;
  }
  if (type < 0 || type >= kEngineTypeCount) {
    LogDebugMessage(1, kMsgUnknownType, type);
    return -1;
  }
  char subFolder[128];
  char packageFolder[256];
  qo_snprintf(subFolder, sizeof subFolder, "%s", kvxlayout::EngineSubFolder(type).c_str());
  qo_snprintf(packageFolder, sizeof packageFolder, "%s",
              kvxlayout::EnginePackageFolder(".", type).c_str());

  const InstalledEngine installed = ReadInstalledEngine(g_szKVXPatch, type);
  LogDebugMessage(1, kMsgLatestPath, subFolder, installed.newestPath);
  // An engine that is not installed is never installed by an update.
  if (!installed.found) {
    LogDebugMessage(1, kMsgNotInstalled, subFolder, installed.newestPath);
    return -1;
  }
  EngineVersion offered;
  if (!ReadOfferedEngine(".", type, offered)) return -1;
  LogDebugMessage(1, kMsgVersions, installed.version.major, installed.version.minor,
                  installed.version.build, offered.major, offered.minor, offered.build);
  if (!IsNewerEngine(offered, installed.version)) {
    LogDebugMessage(1, kMsgNoNeed);
    return 0;
  }

  char newFolder[256];
  qo_snprintf(newFolder, sizeof newFolder, "%s",
              kvxlayout::EngineVersionFolder(g_szKVXPatch, type, offered).c_str());
  qo_strlcat(packageFolder, sizeof packageFolder, "/*");
  const int copied = QoKVXFileOpUtil::xcopy(packageFolder, newFolder, true, nullptr, nullptr);
  LogDebugMessage(1, kMsgCopied, packageFolder, newFolder, copied);
  // State: a failed copy may have left a partial folder; the link is rebuilt
  // anyway and then names the newest folder that exists.
  _ChangeOwner(newFolder);
  RelinkLatest(g_szKVXPatch, subFolder);
  return 0;
}
