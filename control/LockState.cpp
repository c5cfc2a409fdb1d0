// Whether a server or a task runs, read from the record locks other processes
// hold on lock files in the partition's data folder, and nothing else. The
// tool never locks these files itself: it only asks who would be in the way.
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "DebugLog.h"
#include "DominoState.h"
#include "Handles.h"
#include "Porting.h"

const char* const szaLoader[9] = {"kvxreal", "kvxemf",  "kvxmon", "kvxsch", "kvxcm",
                                  "kvxupd",  "kvxsupp", "kvxdbs", "kvxdtas"};

namespace {

constexpr char kServerLockName[] = "~notes.lck";
constexpr char kTaskLockFolder[] = "%s/kvxtemp";
constexpr char kTaskLockFile[] = "%s/kvxtemp/%s";

constexpr char kMsgServerLocked[] = "The server's file lock '%s' is locked!";
constexpr char kMsgServerNotLocked[] = "The server's file lock '%s' is not locked!";

constexpr unsigned long kServerLockLimit = 511;  // at most 510 characters
constexpr std::size_t kTaskPathSize = 266;
constexpr std::size_t kEntryPathSize = 1024;
constexpr std::size_t kEntryNameSize = 256;

// The lock file's name: the task's name (case ignored), then "{" at once.
bool NamesTask(const char* name, const char* task) {
  const std::size_t n = std::strlen(task);
  return ::strncasecmp(name, task, n) == 0 && name[n] == '{';
}

}  // namespace

int isFileLocked(const char* path) {
  UniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return 0;
  // Could a write lock over the whole file be placed? Any lock of another
  // process, read or write, on any part of it, says no and names its holder.
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = 0;
  probe.l_len = 0;
  if (::fcntl(fd.get(), F_GETLK, &probe) != 0) return 0;
  return probe.l_pid != 0 ? 1 : 0;
}

int isDominoServerRunning(KVXNParInfo* par, void* /*context*/) {
  char path[kServerLockLimit + 1];
  qo_snprintf(path, kServerLockLimit, "%s/%s", par->strDataDir.c_str(), kServerLockName);
  if (isFileLocked(path)) {
    LogDebugMessage(1, kMsgServerLocked, path);
    return 1;
  }
  LogDebugMessage(1, kMsgServerNotLocked, path);
  return 0;
}

int IsKVXRun(const char* dataDir, const char* task) {
  char folder[kTaskPathSize];
  qo_snprintf(folder, sizeof folder, kTaskLockFolder, dataDir);
  DirPtr dir(::opendir(folder));
  if (!dir) return 0;  // no kvxtemp: no task runs
  while (const dirent* entry = ::readdir(dir.get())) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    char entryPath[kEntryPathSize];
    qo_snprintf(entryPath, sizeof entryPath, "%s/%s", folder, entry->d_name);
    const char* slash = std::strrchr(entryPath, '/');
    char name[kEntryNameSize];
    qo_snprintf(name, sizeof name, "%s", slash ? slash + 1 : entryPath);
    if (!NamesTask(name, task)) continue;
    char lockPath[kTaskPathSize];
    qo_snprintf(lockPath, sizeof lockPath, kTaskLockFile, dataDir, name);
    if (isFileLocked(lockPath)) return 1;
  }
  return 0;
}

int GetRunningKVXNum(KVXNParInfo* par, void* context) {
  auto* counter = static_cast<std::uint32_t*>(context);
  for (const char* task : {"kvxreal", "kvxdbs", "kvxupd"})
    if (IsKVXRun(par->strDataDir.c_str(), task)) ++*counter;
  return 1;
}
