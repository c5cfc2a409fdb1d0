// The gates of the update and the checks of the hotfix rollback. They only
// read; nothing on disk changes when one turns an instance away.
#include "Gates.h"

#include <cstdarg>
#include <cstring>
#include <string>

#include "DebugLog.h"
#include "DecimalNumber.h"
#include "LogTexts.h"
#include "Porting.h"
#include "QoFileOpUtil.h"
#include "UpdateLayout.h"
#include "VersionFolder.h"

namespace {

constexpr auto& kMsgNoProgramBuild = logtext::kNoProgramBuild;
constexpr char kMsgProgramBuild[] = "The build number of current KVXN is (%s)";

constexpr auto& kMsgProgramNewer = logtext::kProgramNotOlder;
constexpr char kMsgHotfixBuild[] = "The build number of current hotfix is (%s)";
constexpr auto& kMsgHotfixNewer = logtext::kHotfixNotOlder;
constexpr auto& kMsgDepentBuild = logtext::kDepentBuildMissing;
constexpr auto& kMsgServicePack = logtext::kServicePackMissing;
constexpr auto& kMsgPreviousBuild = logtext::kPreviousBuildMismatch;
constexpr auto& kMsgDatabaseMissing = logtext::kDatabaseMissing;

constexpr auto& kMsgNoHotfix = logtext::kNoHotfix;
constexpr auto& kMsgRollbackHotfixNewer = logtext::kRollbackHotfixNewer;
constexpr auto& kMsgRollbackHotfixOlder = logtext::kRollbackHotfixOlder;
constexpr auto& kMsgNotInstalled = logtext::kHotfixNotInstalled;
constexpr auto& kMsgRollbackProgramNewer = logtext::kRollbackProgramNewer;
constexpr auto& kMsgOnlyOneBuild = logtext::kOnlyOneProgramFolder;
constexpr char kMsgBuildCount[] = "There %d hotfixes installed.";

// Logs the deciding line and returns it as the verdict.
GateVerdict Decide(InstanceOutcome outcome, Gate gate, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
GateVerdict Decide(InstanceOutcome outcome, Gate gate, const char* fmt, ...) {
  GateVerdict verdict;
  verdict.outcome = outcome;
  verdict.gate = gate;
  va_list ap;
  va_start(ap, fmt);
  qo_vsnprintf(verdict.line, sizeof verdict.line, fmt, ap);
  va_end(ap);
  LogDebugMessage(1, "%s", verdict.line);
  return verdict;
}

// Build numbers in folder names are read like every other number of the
// inventory: held at the 32-bit limits, never wrapped.
int BuildAfterLast(const char* path, char mark) {
  const char* text = TextAfterLast(path, mark);
  return text ? ReadDecimal32(text) : 0;
}

// The build of the current program folder, logged; removes one trailing
// separator from programDir. Null, with the failing verdict, when the name
// holds no '.'.
const char* ReadCurrentProgramBuild(char* programDir, GateVerdict& verdict) {
  RemoveTrailingSeparator(programDir);
  const char* build = TextAfterLast(programDir, '.');
  if (!build) {
    verdict =
        Decide(InstanceOutcome::kFailed, Gate::kProgramFolder, kMsgNoProgramBuild, programDir);
    return nullptr;
  }
  LogDebugMessage(1, kMsgProgramBuild, build);
  return build;
}

// Program build folders under root: folders whose path ends in a build
// number above 0 after its last '.'. The scratch name V5.8.0.0000 does not
// count.
int CountProgramBuilds(const char* root) {
  int count = 0;
  QoKVXDirList listing(root);
  while (listing.hasNext()) {
    const std::string entry = listing.getNext();
    if (QoKVXFileOpUtil::isDir(entry.c_str()) && BuildAfterLast(entry.c_str(), '.') > 0) ++count;
  }
  return count;
}

GateVerdict CheckRollbackNewFolder(const char* productPath, const _PatchSetting& setting,
                                   InstancePaths& paths) {
  if (!QoKVXFileOpUtil::isDir(paths.szNewProgramDir))
    return Decide(InstanceOutcome::kFailed, Gate::kNotInstalled, kMsgNotInstalled,
                  paths.szNewProgramDir);
  GateVerdict verdict;
  const char* programBuildText = ReadCurrentProgramBuild(paths.szCurProgramDir, verdict);
  if (!programBuildText) return verdict;
  if (setting.iBuildNumber < ReadDecimal32(programBuildText))
    return Decide(InstanceOutcome::kFailed, Gate::kProgramNewer, kMsgRollbackProgramNewer,
                  programBuildText);

  char szProgramRoot[1024];
  qo_snprintf(szProgramRoot, sizeof szProgramRoot, "%s/program/", productPath);
  const int builds = CountProgramBuilds(szProgramRoot);
  if (builds < 2)  // nothing to fall back to
    return Decide(InstanceOutcome::kFailed, Gate::kOnlyOneBuild, kMsgOnlyOneBuild, szProgramRoot);
  LogDebugMessage(1, kMsgBuildCount, builds);
  return verdict;
}

}  // namespace

const char* OutcomeName(InstanceOutcome outcome) {
  switch (outcome) {
    case InstanceOutcome::kCompleted:
      return "completed";
    case InstanceOutcome::kFailed:
      return "failed";
    case InstanceOutcome::kSkipped:
      return "skipped";
  }
  return "unknown";
}

const char* GateName(Gate gate) {
  switch (gate) {
    case Gate::kNone:
      return "";
    case Gate::kProgramFolder:
      return "program folder";
    case Gate::kProgramBuild:
      return "program build";
    case Gate::kHotfixBuild:
      return "hotfix build";
    case Gate::kDepentBuild:
      return "DepentBuild";
    case Gate::kServicePack:
      return "ServicePack";
    case Gate::kPreviousBuild:
      return "PreviousBuild";
    case Gate::kDatabases:
      return "databases";
    case Gate::kNoHotfix:
      return "no hotfix";
    case Gate::kHotfixNewer:
      return "newer hotfix";
    case Gate::kHotfixOlder:
      return "not the newest hotfix";
    case Gate::kNotInstalled:
      return "hotfix program folder";
    case Gate::kProgramNewer:
      return "newer program";
    case Gate::kOnlyOneBuild:
      return "only one program build";
  }
  return "unknown";
}

void RemoveTrailingSeparator(char* path) {
  const std::size_t length = std::strlen(path);
  if (length > 0 && (path[length - 1] == '/' || path[length - 1] == '\\')) path[length - 1] = '\0';
}

const char* TextAfterLast(const char* path, char mark) {
  const char* at = std::strrchr(path, mark);
  return at ? at + 1 : nullptr;
}

void FillInstancePaths(const char* productPath, const _PatchSetting& setting,
                       InstancePaths& paths) {
  std::memset(&paths, 0, sizeof paths);
  qo_snprintf(paths.szBackupDir, sizeof paths.szBackupDir, "%s",
              kvxlayout::BackupDir(productPath, setting.iBuildNumber).c_str());
  qo_snprintf(paths.szNewProgramDir, sizeof paths.szNewProgramDir, "%s",
              kvxlayout::NewProgramDir(productPath, setting.iBuildNumber).c_str());
  GetLatestPathN(productPath, kvxlayout::kProgramSub, paths.szCurProgramDir,
                 sizeof paths.szCurProgramDir);
  GetLatestHFPathN(productPath, kvxlayout::kHotfixSub, paths.szCurHotfixDir,
                   sizeof paths.szCurHotfixDir);
}

GateVerdict CheckUpdateGates(KVXNInsInfo& instance, const _PatchSetting& setting,
                             InstancePaths& paths) {
  GateVerdict verdict;
  const char* programBuildText = ReadCurrentProgramBuild(paths.szCurProgramDir, verdict);
  if (!programBuildText) return verdict;
  const int programBuild = ReadDecimal32(programBuildText);
  if (setting.iBuildNumber <= programBuild)
    return Decide(InstanceOutcome::kSkipped, Gate::kProgramBuild, kMsgProgramNewer,
                  paths.szCurProgramDir, paths.szNewProgramDir);

  RemoveTrailingSeparator(paths.szCurHotfixDir);
  int hotfixBuild = 0;
  if (const char* hotfixBuildText = TextAfterLast(paths.szCurHotfixDir, 'B')) {
    LogDebugMessage(1, kMsgHotfixBuild, hotfixBuildText);
    hotfixBuild = ReadDecimal32(hotfixBuildText);
    if (setting.iBuildNumber <= hotfixBuild)
      return Decide(InstanceOutcome::kSkipped, Gate::kHotfixBuild, kMsgHotfixNewer,
                    paths.szCurHotfixDir, paths.szNewProgramDir);
  }

  if (setting.iDepentBuild != 0 && setting.iDepentBuild != programBuild)
    return Decide(InstanceOutcome::kFailed, Gate::kDepentBuild, kMsgDepentBuild, programBuild,
                  setting.iDepentBuild);
  if (setting.iServicePack != 0 && setting.iServicePack > programBuild)
    return Decide(InstanceOutcome::kFailed, Gate::kServicePack, kMsgServicePack, programBuild,
                  setting.iServicePack);
  if (setting.iPreviousBuild != 0 && hotfixBuild > setting.iPreviousBuild)
    return Decide(InstanceOutcome::kFailed, Gate::kPreviousBuild, kMsgPreviousBuild, hotfixBuild,
                  setting.iPreviousBuild);
  if (CheckNsfExistInDBList(instance) == 0)
    return Decide(InstanceOutcome::kFailed, Gate::kDatabases, kMsgDatabaseMissing);
  return verdict;
}

GateVerdict CheckRollbackGates(const char* productPath, const _PatchSetting& setting,
                               InstancePaths& paths) {
  RemoveTrailingSeparator(paths.szCurHotfixDir);
  const char* hotfixBuildText = TextAfterLast(paths.szCurHotfixDir, 'B');
  if (!hotfixBuildText) return Decide(InstanceOutcome::kFailed, Gate::kNoHotfix, kMsgNoHotfix);
  const int hotfixBuild = ReadDecimal32(hotfixBuildText);
  if (setting.iBuildNumber < hotfixBuild)
    return Decide(InstanceOutcome::kFailed, Gate::kHotfixNewer, kMsgRollbackHotfixNewer,
                  hotfixBuildText);
  if (setting.iBuildNumber > hotfixBuild)
    return Decide(InstanceOutcome::kFailed, Gate::kHotfixOlder, kMsgRollbackHotfixOlder,
                  hotfixBuildText);
  if (setting.iCreateNewFolder == 0) return GateVerdict();
  return CheckRollbackNewFolder(productPath, setting, paths);
}

int RunResult(const std::vector<InstanceOutcome>& outcomes) {
  int completed = 0;
  for (const InstanceOutcome outcome : outcomes) {
    if (outcome == InstanceOutcome::kFailed) return kRunFailed;
    if (outcome == InstanceOutcome::kCompleted) ++completed;
  }
  return completed > 0 ? 0 : kRunFailed;
}
