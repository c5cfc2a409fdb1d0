// Hotfix staging: at the end of a completed update the installer itself
// and the package settings are left in the instance's hotfix tree, where a
// later rollback of that build reads its settings from.
#include "DebugLog.h"
#include "Install.h"
#include "InstallUtil.h"
#include "Porting.h"
#include "QoFileOpUtil.h"

namespace {

constexpr char kMsgCopyBegin[] = "Info: Copy the file from (%s) to (%s)";
constexpr char kMsgInstallerFailed[] = "Error: Cannot copy the file(UPDSilent). Error code is %d.";
constexpr char kMsgSettingsFailed[] = "Error: Cannot copy the file(KvxPatchIni). Error code is %d.";

constexpr unsigned long kPathSize = 1024;
// Joined as texts after "<folder>/", even when the folder ends in "/".
constexpr char kInstaller[] = "UPDSilent";
constexpr char kSettings[] = "/FileGroup1/kvxpatch.ini";

// Copies source/relative to target/relative; 0 or the copy's result.
int StageFile(const char* source, const char* target, const char* relative) {
  LogDebugMessage(1, kMsgCopyBegin, source, target);
  char from[kPathSize];
  char to[kPathSize];
  qo_snprintf(from, sizeof from, "%s/%s", source, relative);
  qo_snprintf(to, sizeof to, "%s/%s", target, relative);
  const int r = QoKVXFileOpUtil::copy(from, to, true, nullptr, nullptr);
  if (r == 0) kvxinstall::GiveToKvxGroup(to);
  return r;
}

}  // namespace

int CopyQOPatch(const char* source, const char* target) {
  const int r = StageFile(source, target, kInstaller);
  if (r != 0) LogDebugMessage(1, kMsgInstallerFailed, r);
  return 1;
}

int CopyHotFixFiles(const char* source, const char* target) {
  const int r = StageFile(source, target, kSettings);
  if (r != 0) LogDebugMessage(1, kMsgSettingsFailed, r);
  return 1;
}
