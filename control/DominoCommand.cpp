// Console commands: a partition's `server` program run through the shell by a
// child that has become the owner of the partition's notes.ini, and the user
// and group switches that go with it.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DebugLog.h"
#include "DominoControl.h"
#include "LogTexts.h"
#include "Porting.h"
#include "ScopedWorkDir.h"
#include "ShellCommand.h"

namespace {

constexpr char kServerProgram[] = "server";
constexpr char kGroupName[] = "kvxgroup";
// The server program gets its libraries from the program folder only.
constexpr char kCommandLineFormat[] = "LD_LIBRARY_PATH=%s %s/%s =%s -c \"%s\"";

constexpr char kMsgSubmit[] = "Submit command '%s' to restart the KVX";
constexpr char kMsgSubmitStop[] = "Submit command '%s' to stop the sever";
constexpr auto& kMsgNotesIni = logtext::kChildNotesIni;
constexpr auto& kMsgNoStat = logtext::kChildNoStat;
constexpr auto& kMsgOwner = logtext::kChildOwner;
constexpr auto& kMsgSetUidFailed = logtext::kChildSetUidFailed;
constexpr char kMsgSetUidDone[] = "setuid over: %d";
constexpr char kMsgNoGroup[] = "Cannot get the gid for kvxgroup";
constexpr char kMsgSetGidFailed[] = "Cannot set the gid to %d";

constexpr unsigned long kCommandSize = 1024;
constexpr std::size_t kWorkDirSize = 1024;

// Whether the command took effect is judged later, from the lock files only.
void SubmitAsOwner(const char* notesIni, const char* binDir, const char* command,
                   const char* logFormat) {
  ScopedWorkDir<kWorkDirSize> cwd;
  if (::chdir(binDir) != 0) {
    // unchecked: the command line names the program by its full path
  }
  char line[kCommandSize];
  qo_snprintf(line, sizeof line, kCommandLineFormat, binDir, binDir, kServerProgram, notesIni,
              command);
  LogDebugMessage(1, logFormat, line);
  RunAsNotesIniOwner(notesIni, line);
}

}  // namespace

void RunDominoCommand(const char* notesIni, const char* binDir, const char* command) {
  SubmitAsOwner(notesIni, binDir, command, kMsgSubmit);
}

int StopAllDominoServer(KVXNParInfo* par, void* /*context*/) {
  SubmitAsOwner(par->strNotesIni.c_str(), par->strBinDir.c_str(), "quit", kMsgSubmitStop);
  return 1;
}

int ChangeUser(const char* notesIni) {
  LogDebugMessage(1, kMsgNotesIni, notesIni);
  struct stat st {};
  if (::stat(notesIni, &st) != 0) {
    LogDebugMessage(1, kMsgNoStat, notesIni);
    return 1;
  }
  const int uid = static_cast<int>(st.st_uid);
  LogDebugMessage(1, kMsgOwner, uid);
  if (::setuid(st.st_uid) != 0) {
    LogDebugMessage(1, kMsgSetUidFailed, uid);
    return 1;
  }
  LogDebugMessage(1, kMsgSetUidDone, uid);
  return 0;
}

int ChangeKVXGroup() {
  const struct group* grp = ::getgrnam(kGroupName);
  if (!grp) {
    LogDebugMessage(1, kMsgNoGroup);
    return 1;
  }
  const gid_t gid = grp->gr_gid;
  if (::setgid(gid) != 0) {
    LogDebugMessage(1, kMsgSetGidFailed, static_cast<int>(gid));
    return 1;
  }
  return 0;
}
