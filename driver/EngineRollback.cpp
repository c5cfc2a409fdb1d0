// RollbackEngine: the "/ue" mode's work on one instance. Removes the named
// engine version folders and, where the removed one was in use, points the
// engine's `latest` link at the newest version left. The KVX tasks are
// stopped before the first removal, so that no task holds an engine file
// open, and loaded again once at the end.
#include <cstdio>
#include <cstring>

#include "DebugLog.h"
#include "DominoControl.h"
#include "KVXInsInfo.h"
#include "LogTexts.h"
#include "Porting.h"
#include "Procedures.h"
#include "QoFileOpUtil.h"
#include "ShellCommand.h"
#include "VersionFolder.h"

namespace {

constexpr char kMsgFewArgs[] = "Input argc is %d";
constexpr auto& kMsgPair = logtext::kEnginePair;
constexpr auto& kMsgStart = logtext::kEngineStart;
constexpr auto& kMsgNoFolder = logtext::kEngineFolderMissing;
constexpr auto& kMsgOnlyOne = logtext::kEngineOnlyVersion;
constexpr char kMsgFolderNum[] = "%s folder num is %d";
constexpr auto& kMsgUnlink = logtext::kEngineUnlinked;
constexpr char kMsgShell[] = "Executed shell command %s";
constexpr auto& kMsgDone = logtext::kEngineRemoved;

constexpr int kMaxPairs = 4;
constexpr int kWordSize = 128;  // a word is used as at most 127 characters

struct EnginePairs {
  char szEngines[kMaxPairs][kWordSize];   // lower case
  char szVersions[kMaxPairs][kWordSize];  // upper case
  int count = 0;
};

// Takes the pairs after "/ue", converting the words in argv itself: the next
// instance's call sees (and logs) them already converted.
void TakePairs(int argc, char** argv, EnginePairs& pairs) {
  for (int n = 1; pairs.count < kMaxPairs && 2 * n + 1 < argc; ++n) {
    LogDebugMessage(1, kMsgPair, 2 * n, argv[2 * n], 2 * n + 1, argv[2 * n + 1]);
    qo_snprintf(pairs.szEngines[pairs.count], kWordSize, "%s", StringToLower(argv[2 * n]));
    qo_snprintf(pairs.szVersions[pairs.count], kWordSize, "%s", StringToUpper(argv[2 * n + 1]));
    ++pairs.count;
  }
}

// Removes one engine version; false when the pair was skipped.
bool RollbackOne(const char* productPath, const char* engine, const char* version) {
  char versionFolder[256];
  qo_snprintf(versionFolder, sizeof versionFolder, "%s/engine/%s/%s", productPath, engine, version);
  LogDebugMessage(1, kMsgStart, versionFolder);
  if (!QoKVXFileOpUtil::isExist(versionFolder)) {
    LogDebugMessage(1, kMsgNoFolder, versionFolder);
    return false;
  }

  char engineFolder[256];
  qo_snprintf(engineFolder, sizeof engineFolder, "%s/engine/%s", productPath, engine);
  // Every real sub-folder counts; `latest` is a link and does not.
  const int folders = QoKVXDirList(engineFolder).getFolderCount();
  if (folders < 2) {
    LogDebugMessage(1, kMsgOnlyOne);
    return false;
  }
  LogDebugMessage(1, kMsgFolderNum, engineFolder, folders);

  if (!StopAllTasksAndWait()) return false;

  char engineSub[256];
  char newest[256] = {};
  qo_snprintf(engineSub, sizeof engineSub, "engine/%s", engine);
  GetLatestPathN(productPath, engineSub, newest, 255);
  // The folder is the one in use when it begins with the newest one's path.
  const bool inUse = std::strncmp(versionFolder, newest, std::strlen(newest)) == 0;

  const int removed = QoKVXFileOpUtil::xunlink(versionFolder, nullptr, nullptr);
  LogDebugMessage(1, kMsgUnlink, versionFolder, removed);
  // State: the version folder is gone (or partly gone); `latest` may point
  // at it until it is re-pointed below.
  if (inUse) {
    // Not cleared: with nothing left to find, the link keeps its old target.
    GetLatestPathN(productPath, engineSub, newest, 255);
    char linkCmd[512];
    RunShellCommand(linkCmd, sizeof linkCmd, "ln -sfn %s %s/latest", newest, engineFolder);
    LogDebugMessage(0, kMsgShell, linkCmd);
  }
  LogDebugMessage(1, kMsgDone, versionFolder);
  return true;
}

}  // namespace

char* StringToLower(char* text) {
  for (char* c = text; *c != '\0'; ++c) {
    if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
  }
  return text;
}

char* StringToUpper(char* text) {
  for (char* c = text; *c != '\0'; ++c) {
    if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
  }
  return text;
}

int RollbackEngine(int argc, char** argv) {
  if (argc <= 3 || argv == nullptr) {
    LogDebugMessage(0, kMsgFewArgs, argc);
    return 0;
  }
  EnginePairs pairs;
  TakePairs(argc, argv, pairs);

  int removed = 0;
  for (int i = 0; i < pairs.count; ++i) {
    if (RollbackOne(g_szKVXPatch, pairs.szEngines[i], pairs.szVersions[i])) ++removed;
  }
  // The tasks stay stopped across all pairs and start again once.
  if (removed > 0) ParseKVXInsINI(LoadAllKVX, nullptr);
  return removed;
}
