#include "driver/ProcedureSupport.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "control/DominoControl.h"
#include "driver/DebugLog.h"
#include "driver/Procedures.h"
#include "ini/Porting.h"
#include "inventory/KVXInsInfo.h"
#include "inventory/VersionFolder.h"

namespace {

constexpr char kMsgNoProgramBuild[] = "Cannot get the build number of current KVXN. (%s)";
constexpr char kMsgProgramBuild[] = "The build number of current KVXN is (%s)";
constexpr char kMsgAllQuit[] = "All KVX quit.";
constexpr char kMsgWaiting[] = "Waiting for terminating all KVX. %d KVX is running";
constexpr char kMsgGiveUp[] = "Has try 10 times to stop KVX, but still failed, so give up.";

constexpr int kStopPasses = 10;
constexpr int kStopPassSeconds = 10;

std::uint32_t CountRunningTasks() {
  std::uint32_t running = 0;
  ParseKVXInsINI(GetRunningKVXNum, &running);
  return running;
}

}  // namespace

void RemoveTrailingSeparator(char* path) {
  const std::size_t length = std::strlen(path);
  if (length > 0 && (path[length - 1] == '/' || path[length - 1] == '\\')) path[length - 1] = '\0';
}

const char* TextAfterLast(const char* path, char mark) {
  const char* at = std::strrchr(path, mark);
  return at ? at + 1 : nullptr;
}

int ReadBuildNumber(const char* text) { return static_cast<int>(std::strtol(text, nullptr, 10)); }

void FillInstancePaths(const _PatchSetting& setting, InstancePaths& paths) {
  std::memset(&paths, 0, sizeof paths);
  qo_snprintf(paths.szBackupDir, sizeof paths.szBackupDir, "%s/hotfix/B%d/FileGroup1", g_szKVXPatch,
              setting.iBuildNumber);
  qo_snprintf(paths.szNewProgramDir, sizeof paths.szNewProgramDir, "%s/program/V5.8.0.%d/",
              g_szKVXPatch, setting.iBuildNumber);
  GetLatestPathN(g_szKVXPatch, "program", paths.szCurProgramDir, sizeof paths.szCurProgramDir);
  GetLatestHFPathN(g_szKVXPatch, "hotfix", paths.szCurHotfixDir, sizeof paths.szCurHotfixDir);
}

const char* ReadCurrentProgramBuild(char* programDir) {
  RemoveTrailingSeparator(programDir);
  const char* build = TextAfterLast(programDir, '.');
  if (!build) {
    LogDebugMessage(1, kMsgNoProgramBuild, programDir);
    return nullptr;
  }
  LogDebugMessage(1, kMsgProgramBuild, build);
  return build;
}

bool StopAllTasksAndWait() {
  ChangeKVXGroup();
  ParseKVXInsINI(StopAllKVX, nullptr);
  for (int pass = 0; pass < kStopPasses; ++pass) {
    const std::uint32_t running = CountRunningTasks();
    if (running == 0) {
      LogDebugMessage(1, kMsgAllQuit);
      return true;
    }
    LogDebugMessage(1, kMsgWaiting, static_cast<int>(running));
    QoKVXSleep(kStopPassSeconds);
    ParseKVXInsINI(StopAllKVX, nullptr);
  }
  LogDebugMessage(1, kMsgGiveUp);
  ParseKVXInsINI(LoadAllKVX, nullptr);
  return false;
}
