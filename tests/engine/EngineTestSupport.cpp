#include "engine/EngineTestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace enginetest {

namespace {

// Lines other units write while the procedures run.
const char* const kForeignPrefixes[] = {
    "Info:ParseKVXInsINI", "The server's file lock",
    "Submit command",      "szNotesIniFiles",
    "stat: over",          "setuid over",
};

std::string LevelOf(const std::string& line) {
  const std::string mark = "[module=";
  const size_t at = line.find(mark);
  if (at == std::string::npos) return "?";
  return line.substr(at + mark.size(), line.find(']', at) - at - mark.size());
}

bool LockWhole(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return ::fcntl(fd, F_SETLK, &lock) == 0;
}

// The child: holds the server's lock and one lock per task until killed;
// a task's lock is dropped when its quit file appears.
[[noreturn]] void HoldLocks(const std::string& data, const std::vector<std::string>& tasks,
                            int readyFd) {
  const int server = ::open((data + "/~notes.lck").c_str(), O_RDWR | O_CREAT, 0644);
  if (server < 0 || !LockWhole(server)) ::_exit(1);
  std::vector<int> fds;
  for (const std::string& task : tasks) {
    const int fd = ::open((data + "/kvxtemp/" + task + "{1}").c_str(), O_RDWR | O_CREAT, 0644);
    if (fd < 0 || !LockWhole(fd)) ::_exit(1);
    fds.push_back(fd);
  }
  if (::write(readyFd, "x", 1) != 1) ::_exit(1);
  ::close(readyFd);
  for (;;) {
    for (size_t i = 0; i < tasks.size(); ++i) {
      const std::string quit = data + "/kvxtemp/" + tasks[i] + ".quit";
      if (fds[i] >= 0 && ::access(quit.c_str(), F_OK) == 0) {
        ::unlink((data + "/kvxtemp/" + tasks[i] + "{1}").c_str());
        ::close(fds[i]);  // drops the lock: the task has ended
        fds[i] = -1;
        ::unlink(quit.c_str());
      }
    }
    ::usleep(5000);
  }
}

constexpr char kServerScript[] = R"SH(#!/bin/sh
# $1 is "=" and the notes.ini path, $2 is -c, $3 the console command.
root=$(dirname "$(dirname "$0")")
echo "$3" >> "$root/commands.log"
case "$3" in
  "te "*" quit")
    task=${3#te }
    task=${task% quit}
    tmp="$root/data/kvxtemp"
    if [ -e "$tmp/$task{1}" ] && [ ! -e "$root/stubborn" ]; then
      touch "$tmp/$task.quit"
      while [ -e "$tmp/$task.quit" ]; do sleep 0.01; done
    fi
    ;;
esac
exit 0
)SH";

}  // namespace

std::vector<std::string> LoggedLines() {
  const std::vector<std::string> raw = kvxtest::ReadLines(kvxtest::DebugLogPath());
  const std::vector<std::string> messages = kvxtest::DebugLogMessages();
  std::vector<std::string> lines;
  for (size_t i = 0; i < raw.size() && i < messages.size(); ++i) {
    lines.push_back(LevelOf(raw[i]) + "|" + messages[i]);
  }
  return lines;
}

std::vector<std::string> OwnLines() {
  std::vector<std::string> own;
  for (const std::string& line : LoggedLines()) {
    const std::string message = line.substr(line.find('|') + 1);
    bool foreign = false;
    for (const char* prefix : kForeignPrefixes) {
      foreign = foreign || message.rfind(prefix, 0) == 0;
    }
    if (!foreign) own.push_back(line);
  }
  return own;
}

int CountLines(const std::vector<std::string>& lines, const std::string& text) {
  int n = 0;
  for (const std::string& line : lines) n += line.find(text) != std::string::npos;
  return n;
}

void UseInstance(const std::string& productPath, const std::vector<KVXNParInfo>& partitions) {
  KVXNInsInfo instance;
  instance.strInsName = "KVX1";
  instance.strProductPath = productPath;
  instance.strProductVersion = "V5.8";
  instance.strInstallType = "64-bit";
  instance.iDomSvrCount = static_cast<int>(partitions.size());
  instance.vecParInfo = partitions;
  g_lstKVXNIns.assign(1, instance);
  g_iCurIns = 0;
  std::snprintf(g_szKVXPatch, sizeof g_szKVXPatch, "%s", productPath.c_str());
}

void MakeFolder(const std::string& path) { fs::create_directories(path); }

void MakeLink(const std::string& target, const std::string& link) {
  fs::create_directory_symlink(target, link);
}

std::string LinkTarget(const std::string& link) {
  std::error_code error;
  const fs::path target = fs::read_symlink(link, error);
  return error ? "" : target.string();
}

void EnsureKvxGroup() {
  if (kvxtest::InSandbox()) kvxtest::RunCommand("groupadd -f kvxgroup");
}

ScopedChdir::ScopedChdir(const std::string& path) : saved_(fs::current_path().string()) {
  fs::current_path(path);
}

ScopedChdir::~ScopedChdir() {
  std::error_code ignored;
  fs::current_path(saved_, ignored);
}

FakePartition::FakePartition(const std::string& root, const std::vector<std::string>& runningTasks)
    : root_(root) {
  MakeFolder(root_ + "/data/kvxtemp");
  kvxtest::WriteFile(root_ + "/notes.ini",
                     "[Notes]\nDirectory=" + root_ + "/data\nNotesProgram=" + root_ + "/bin\n");
  kvxtest::WriteFile(root_ + "/bin/server", kServerScript);
  fs::permissions(root_ + "/bin/server", fs::perms(0755));

  int ready[2];
  if (::pipe(ready) != 0) throw std::runtime_error("pipe failed");
  std::fflush(nullptr);
  holder_ = ::fork();
  if (holder_ < 0) throw std::runtime_error("fork failed");
  if (holder_ == 0) {
    ::close(ready[0]);
    HoldLocks(root_ + "/data", runningTasks, ready[1]);
  }
  ::close(ready[1]);
  char byte = 0;
  const bool locked = ::read(ready[0], &byte, 1) == 1;
  ::close(ready[0]);
  if (!locked) throw std::runtime_error("the lock holder did not start");
}

FakePartition::~FakePartition() {
  ::kill(holder_, SIGKILL);
  int status = 0;
  ::waitpid(holder_, &status, 0);
}

KVXNParInfo FakePartition::info() const {
  KVXNParInfo par;
  par.strDataDir = root_ + "/data";
  par.strBinDir = root_ + "/bin";
  par.strNotesIni = root_ + "/notes.ini";
  return par;
}

void FakePartition::MakeStubborn() { kvxtest::WriteFile(root_ + "/stubborn", ""); }

std::vector<std::string> FakePartition::Commands() const {
  return kvxtest::ReadLines(root_ + "/commands.log");
}

}  // namespace enginetest
