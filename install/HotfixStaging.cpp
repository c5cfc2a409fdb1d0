// Hotfix staging: at the end of a completed update the installer itself
// and the package settings are left in the instance's hotfix tree, where a
// later rollback of that build reads its settings from.
#include "DebugLog.h"
#include "Install.h"
#include "InstallUtil.h"
#include "Porting.h"
#include "QoFileOpUtil.h"
#include "UpdateLayout.h"

namespace {

constexpr char kMsgCopyBegin[] = "Info: Copy the file from (%s) to (%s)";
constexpr char kMsgInstallerFailed[] = "Error: Cannot copy the file(UPDSilent). Error code is %d.";
constexpr char kMsgSettingsFailed[] = "Error: Cannot copy the file(KvxPatchIni). Error code is %d.";

constexpr unsigned long kPathSize = 1024;

// Copies the file from the source folder to the target folder; 0 or the
// copy's result.
int StageFile(const char* source, const char* target, kvxlayout::StagedFile file) {
  LogDebugMessage(1, kMsgCopyBegin, source, target);
  char from[kPathSize];
  char to[kPathSize];
  qo_snprintf(from, sizeof from, "%s", kvxlayout::StagedPath(source, file).c_str());
  qo_snprintf(to, sizeof to, "%s", kvxlayout::StagedPath(target, file).c_str());
  const int r = QoKVXFileOpUtil::copy(from, to, true, nullptr, nullptr);
  if (r == 0) kvxinstall::GiveToKvxGroup(to);
  return r;
}

}  // namespace

int CopyQOPatch(const char* source, const char* target) {
  const int r = StageFile(source, target, kvxlayout::StagedFile::kInstaller);
  if (r != 0) LogDebugMessage(1, kMsgInstallerFailed, r);
  return 1;
}

int CopyHotFixFiles(const char* source, const char* target) {
  const int r = StageFile(source, target, kvxlayout::StagedFile::kSettings);
  if (r != 0) LogDebugMessage(1, kMsgSettingsFailed, r);
  return 1;
}
