// Child processes of the tool: shell helpers through system, and the one
// child that takes on a partition's server user to run a console command.
// One child at a time; the tool waits for each.
#include "ShellCommand.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "DebugLog.h"
#include "DominoControl.h"
#include "LogTexts.h"
#include "Porting.h"

namespace {
constexpr auto& kMsgForkFailed = logtext::kConsoleForkFailed;
}  // namespace

int RunShellCommand(char* cmd, unsigned long size, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  qo_vsnprintf(cmd, size, fmt, ap);
  va_end(ap);
  std::fflush(nullptr);  // nothing buffered is written twice
  return std::system(cmd);
}

int RunAsNotesIniOwner(const char* notesIni, const char* commandLine) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) {
    const int err = errno;
    LogDebugMessage(1, kMsgForkFailed, err);
    return -1;
  }
  if (pid == 0) {
    // The tool is single-threaded, so the child may log before it execs.
    if (ChangeUser(notesIni) == 0)
      ::execl("/bin/sh", "sh", "-c", commandLine, static_cast<char*>(nullptr));
    ::_exit(127);  // _exit: no atexit handlers, no second flush
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return status;
}
