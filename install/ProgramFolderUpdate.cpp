// Updates inside each partition's Domino program folder (the nine task
// programs and the extension manager), the read-me beside the program
// builds, and the copy of the product databases into a data folder.
//
// A task program or the extension manager may be running: the old file is
// renamed aside and the new one copied under its name. If that copy fails,
// the old file is renamed back, so the server never finds the name missing.
#include <limits.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "DebugLog.h"
#include "DominoControl.h"
#include "DominoState.h"
#include "Install.h"
#include "InstallUtil.h"
#include "KVXInsInfo.h"
#include "LogTexts.h"
#include "PatchSetting.h"
#include "Porting.h"
#include "QoFileOpUtil.h"
#include "ScopedWorkDir.h"
#include "UpdateLayout.h"
#include "VersionFolder.h"

namespace {

constexpr char kMsgLoaderBegin[] = "Info: Update loader from (%s) to (%s).";
constexpr auto& kMsgTaskRenameFailed = logtext::kTaskProgramRenamed;
constexpr auto& kMsgLoaderCopied = logtext::kLoaderCopied;
constexpr char kMsgExtBegin[] = "Info: Begin updating extension manager.";
constexpr char kMsgExtMissing[] = "Error: The extension mananger doesn't exist. (%s)";
constexpr char kMsgExtUnlinkFailed[] = "Error: Cannot unlink the file %s";
constexpr char kMsgExtCopyFailed[] = "Error: Fail to copy the file (%s) to (%s). error %d";
constexpr char kMsgExtUpdated[] = "Info: Have updated extension manager.";
constexpr char kMsgReadMeCopied[] = "Copy file from (%s) to (%s)";
constexpr char kMsgDatabaseBegin[] = "Info: Update database from (%s) to (%s).";
constexpr char kMsgDatabaseCopyFailed[] = "Error: Cannot copy the file(%s). Error code is %d.";
// Our own texts for the safety steps below.
constexpr char kMsgNoProgramFolder[] = "Error: Cannot find the program folder in (%s).";
constexpr char kMsgMovedBack[] = "Info: Move the file (%s) back to (%s).";
constexpr char kMsgMoveBackFailed[] = "Error: Cannot move the file (%s) back to (%s). error %d";

constexpr unsigned long kPathSize = 1024;
constexpr unsigned long kExtLatestSize = 256;
constexpr unsigned long kExtAsideSize = 512;
using kvxlayout::kExtName;
using kvxlayout::kProgramSub;

// After a failed copy the name may hold nothing or a partial file; the
// rename puts the old file back over either.
void MoveBack(const char* aside, const char* name) {
  if (::rename(aside, name) == 0) {
    LogDebugMessage(1, kMsgMovedBack, aside, name);
    return;
  }
  const int err = errno;
  LogDebugMessage(1, kMsgMoveBackFailed, aside, name, err);
}

// One task program in the Domino program folder bin becomes a copy of loader.
void ReplaceTaskProgram(const char* loader, const char* bin, const char* task) {
  char program[kPathSize];
  char aside[kPathSize];
  qo_snprintf(program, sizeof program, "%s", kvxlayout::FileIn(bin, task).c_str());
  qo_snprintf(aside, sizeof aside, "%s", kvxlayout::AsideName(program).c_str());
  ::unlink(aside);  // the previous run's aside copy; usually none
  const bool movedAside = ::rename(program, aside) == 0;
  if (!movedAside) {
    const int err = errno;
    LogDebugMessage(1, kMsgTaskRenameFailed, program, aside, err);
  }
  // State: the old program is under the aside name, the task's name is free.
  const int r = QoKVXFileOpUtil::copy(loader, program, true, nullptr, nullptr);
  LogDebugMessage(1, kMsgLoaderCopied, loader, program, r);
  if (r != 0 && movedAside) MoveBack(aside, program);
  _ChangeOwner(program);
}

// The part of updateKVXExt that runs inside the Domino program folder.
void ReplaceExtensionManager(const char* source, const char* target) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  char aside[kExtAsideSize];
  qo_snprintf(aside, sizeof aside, "%s", kvxlayout::ExtAsideName(std::rand()).c_str());
  if (QoKVXFileOpUtil::unlink(aside, nullptr, nullptr) != 0) {
    LogDebugMessage(1, kMsgExtUnlinkFailed, aside);
    return;
  }
  const bool movedAside = QoKVXFileOpUtil::rename(kExtName, aside);
  // State: the old library is under the numbered name, libkvxext.so is free.
  const int r = QoKVXFileOpUtil::copy(source, target, true, nullptr, nullptr);
  const int err = errno;
  if (r != 0) {
    LogDebugMessage(1, kMsgExtCopyFailed, source, target, err);
    if (movedAside) MoveBack(aside, kExtName);
  } else {
    LogDebugMessage(1, kMsgExtUpdated);
  }
  char owned[kExtAsideSize];
  qo_snprintf(owned, sizeof owned, "%s", kvxlayout::FileIn(".", kExtName).c_str());
  _ChangeOwner(owned);
}

}  // namespace

int UpdateLoader(KVXNParInfo* par, void* /*context*/) {
  char latest[kPathSize] = "";
  // Without a program build there is no loader to copy: leave the task
  // programs alone rather than move them all aside for nothing.
  if (!GetLatestPathN(g_szKVXPatch, kProgramSub, latest, sizeof latest)) {
    LogDebugMessage(1, kMsgNoProgramFolder, g_szKVXPatch);
    return 1;
  }
  char bin[kPathSize];
  qo_snprintf(bin, sizeof bin, "%s", par->strBinDir.c_str());
  LogDebugMessage(1, kMsgLoaderBegin, latest, bin);

  char loader[kPathSize];
  qo_snprintf(loader, sizeof loader, "%s",
              kvxlayout::FileIn(latest, kvxlayout::kLoaderName).c_str());
  for (const char* task : szaLoader) ReplaceTaskProgram(loader, bin, task);
  return 1;
}

int updateKVXExt(KVXNParInfo* par, void* /*context*/) {
  LogDebugMessage(1, kMsgExtBegin);
  // Room for any path the system can report: the rest of the run works
  // relative to this folder, so it must come back whatever its length.
  ScopedWorkDir<PATH_MAX> cwd;
  char latest[kExtLatestSize] = "";
  if (!GetLatestPathN(g_szKVXPatch, kProgramSub, latest, sizeof latest)) {
    LogDebugMessage(1, kMsgNoProgramFolder, g_szKVXPatch);
    return 1;
  }
  char source[kPathSize];
  qo_snprintf(source, sizeof source, "%s", kvxlayout::FileIn(latest, kExtName).c_str());
  if (!QoKVXFileOpUtil::isExist(source)) {
    LogDebugMessage(1, kMsgExtMissing, source);
    return 1;
  }
  char bin[kPathSize];
  char target[kPathSize];
  qo_snprintf(bin, sizeof bin, "%s", par->strBinDir.c_str());
  qo_snprintf(target, sizeof target, "%s", kvxlayout::FileIn(bin, kExtName).c_str());
  // The steps below use names relative to the program folder. A folder that
  // cannot be entered is not an error of its own: the rename then finds no
  // libkvxext.so and the copy, by absolute path, says what went wrong.
  if (::chdir(bin) != 0) {
  }
  ReplaceExtensionManager(source, target);
  return 1;
}

int CopyReadMe(InstallInfo& info) {
  char source[kPathSize];
  char target[kPathSize];
  qo_snprintf(source, sizeof source, "%s",
              kvxlayout::FileIn(info.strPackagePath, kvxlayout::kReadMeName).c_str());
  qo_snprintf(target, sizeof target, "%s", kvxlayout::ReadMePath(g_szKVXPatch).c_str());
  QoKVXFileOpUtil::copy(source, target, true, nullptr, nullptr);
  LogDebugMessage(1, kMsgReadMeCopied, source, target);
  return 0;
}

int UpdateDatabase(KVXNParInfo* par, void* /*context*/) {
  char folder[kPathSize];
  qo_snprintf(folder, sizeof folder, "%s/kvx", par->strDataDir.c_str());
  LogDebugMessage(1, kMsgDatabaseBegin, kvxlayout::kPackageFiles, folder);
  for (int i = 0; i < kMaxDBs; ++i) {
    const char* name = szDBs[i];
    if (!name || !*name) continue;
    char from[kPathSize];
    char to[kPathSize];
    qo_snprintf(from, sizeof from, "%s", kvxlayout::FileIn(kvxlayout::kPackageFiles, name).c_str());
    qo_snprintf(to, sizeof to, "%s", kvxlayout::FileIn(folder, name).c_str());
    const int r = QoKVXFileOpUtil::copy(from, to, true, nullptr, nullptr);
    if (r != 0) {
      LogDebugMessage(1, kMsgDatabaseCopyFailed, name, r);
      continue;
    }
    kvxinstall::GiveToKvxGroup(to);
  }
  return 1;
}
