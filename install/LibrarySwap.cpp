// Program library swap: the files listed in szDlls are saved, moved aside
// ("_1"), replaced and, once the tasks have restarted, the aside files are
// deleted. A running task keeps using the old file through the handle it
// holds; the name never points at a half-written library.
#include <stdio.h>
#include <unistd.h>

#include "DebugLog.h"
#include "Install.h"
#include "InstallUtil.h"
#include "LogTexts.h"
#include "PatchSetting.h"
#include "Porting.h"
#include "QoFileOpUtil.h"
#include "ScopedWorkDir.h"
#include "UpdateLayout.h"

namespace {

constexpr char kMsgCopyBegin[] = "Info: Copy the file from (%s) to (%s)";
constexpr char kMsgTableSize[] = "size of szDlls is: %d, size of *szDlls is %d";
constexpr char kMsgCopyFailed[] = "Error: Cannot copy the file(%s). Error code is %d.";
constexpr auto& kMsgCopied = logtext::kFileCopied;
constexpr char kMsgCopyEnd[] = "Info: CopyAllDlls END";
constexpr char kMsgRenameBegin[] = "Info: Rename the DLLs in (%s)";
constexpr char kMsgRemoveBegin[] = "Info: Remove the DLLs in (%s)";
constexpr char kMsgNoFolder[] = "Error: Cannot change to folder (%s).";
constexpr char kMsgRenameFailed[] = "Error: Cannot change name from (%s) to (%s).";

constexpr unsigned long kPathSize = 1024;

// The name of slot i, or nullptr when the slot carries none.
const char* ListedName(int i) {
  const char* name = szDlls[i];
  return (name && *name) ? name : nullptr;
}

void AsideName(char* out, unsigned long size, const char* name) {
  qo_snprintf(out, size, "%s", kvxlayout::AsideName(name).c_str());
}

}  // namespace

int CopyAllDlls(const char* source, char* target) {
  LogDebugMessage(1, kMsgCopyBegin, source, target);
  LogDebugMessage(1, kMsgTableSize, static_cast<int>(sizeof szDlls),
                  static_cast<int>(sizeof *szDlls));
  for (int i = 0; i < kMaxDlls; ++i) {
    const char* name = ListedName(i);
    if (!name) continue;
    char from[kPathSize];
    char to[kPathSize];
    qo_snprintf(from, sizeof from, "%s", kvxlayout::FileIn(source, name).c_str());
    qo_snprintf(to, sizeof to, "%s", kvxlayout::FileIn(target, name).c_str());
    const int r = QoKVXFileOpUtil::copy(from, to, true, nullptr, nullptr);
    if (r != 0) {
      LogDebugMessage(1, kMsgCopyFailed, name, r);
      continue;
    }
    LogDebugMessage(1, kMsgCopied, from, to, 0);
    kvxinstall::GiveToKvxGroup(to);
  }
  LogDebugMessage(1, kMsgCopyEnd);
  return 1;
}

int RenameAllDlls(char* folder) {
  LogDebugMessage(1, kMsgRenameBegin, folder);
  ScopedWorkDir<kPathSize> cwd;
  if (::chdir(folder) != 0) {
    LogDebugMessage(1, kMsgNoFolder, folder);
    return 0;
  }
  int result = 1;
  for (int i = 0; i < kMaxDlls; ++i) {
    const char* name = ListedName(i);
    if (!name) continue;
    char aside[kPathSize];
    AsideName(aside, sizeof aside, name);
    ::unlink(aside);  // one aside generation only; usually there is none
    result = ::rename(name, aside);
    // State: on success the name is missing until CopyAllDlls puts the new
    // file there; the running tasks still hold the aside file.
    if (result != 0) LogDebugMessage(1, kMsgRenameFailed, name, aside);
  }
  return result;
}

int RemoveAllRenamedDlls(char* folder) {
  LogDebugMessage(1, kMsgRemoveBegin, folder);
  ScopedWorkDir<kPathSize> cwd;
  if (::chdir(folder) != 0) {
    LogDebugMessage(1, kMsgNoFolder, folder);
    return 0;
  }
  for (int i = 0; i < kMaxDlls; ++i) {
    const char* name = ListedName(i);
    if (!name) continue;
    char aside[kPathSize];
    AsideName(aside, sizeof aside, name);
    ::unlink(aside);  // a missing aside file is already what we want
  }
  return 1;
}
