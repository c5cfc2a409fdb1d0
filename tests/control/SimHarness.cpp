#include "control/SimHarness.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

namespace kvxtest {

void EnsureAccounts() {
  if (!::getgrnam("kvxgroup")) RunCommand("groupadd kvxgroup");
  if (!::getpwnam(kServerUser))
    RunCommand(std::string("useradd -M -N -s /usr/sbin/nologin ") + kServerUser);
}

uid_t ServerUid() {
  const passwd* pw = ::getpwnam(kServerUser);
  return pw ? pw->pw_uid : static_cast<uid_t>(-1);
}

gid_t KvxGroupGid() {
  const group* gr = ::getgrnam("kvxgroup");
  return gr ? gr->gr_gid : static_cast<gid_t>(-1);
}

std::string Domsim() { return BuildDir() + "/sim/domsim"; }

SimPartition::SimPartition(const TempTree& tree, const std::string& name)
    : notesIni(tree / (name + "/notes.ini")),
      dataDir(tree / (name + "/data")),
      binDir(tree / (name + "/bin")) {
  const CommandResult r = RunCommand(kvxtest::Domsim() + " setup " + notesIni + " " + dataDir +
                                     " " + binDir + " " + kServerUser);
  EXPECT_EQ(0, r.exitStatus) << r.output;
}

SimPartition::~SimPartition() { Stop(); }

std::string SimPartition::Domsim(const std::string& verb, const std::string& args) const {
  const CommandResult r = RunCommand(kvxtest::Domsim() + " " + verb + " " + notesIni + " " + args);
  EXPECT_EQ(0, r.exitStatus) << verb << " " << args << ": " << r.output;
  return r.output;
}

bool SimPartition::ServerRuns() const {
  const int fd = ::open((dataDir + "/~notes.lck").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  const bool locked = ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  ::close(fd);
  return locked;
}

void SimPartition::Start() {
  if (!ServerRuns()) Domsim("start");
}
void SimPartition::Stop() {
  if (ServerRuns()) RunCommand(kvxtest::Domsim() + " stop " + notesIni);
}

// Straight to the server program: domsim send costs a handful of processes.
std::string SimPartition::Send(const std::string& command) const {
  const passwd* pw = ::getpwnam(kServerUser);
  const std::string uid = std::to_string(pw ? pw->pw_uid : 0);
  const std::string gid = std::to_string(pw ? pw->pw_gid : 0);
  const CommandResult r =
      RunCommand("setpriv --reuid=" + uid + " --regid=" + gid + " --clear-groups -- env " +
                 "DOMSIM_ECHO=1 LD_LIBRARY_PATH=" + binDir + " " + binDir + "/server =" + notesIni +
                 " -c '" + command + "'");
  EXPECT_EQ(0, r.exitStatus) << command << ": " << r.output;
  return r.output;
}

std::vector<JournalEntry> SimPartition::Journal() const {
  std::vector<JournalEntry> entries;
  for (const std::string& line : ReadLines(dataDir + "/domsim/journal")) {
    const std::size_t a = line.find('\t');
    const std::size_t b = line.find('\t', a + 1);
    if (a == std::string::npos || b == std::string::npos) {
      ADD_FAILURE() << "journal line without two tabs: " << line;
      continue;
    }
    entries.push_back(
        {static_cast<uid_t>(std::stoul(line.substr(a + 1, b - a - 1))), line.substr(b + 1)});
  }
  return entries;
}

std::vector<std::string> SimPartition::JournalCommands() const {
  std::vector<std::string> commands;
  for (const JournalEntry& e : Journal()) commands.push_back(e.command);
  return commands;
}

void SimPartition::ClearJournal() const {
  // Truncated in place, never created: it must stay the server user's file.
  if (::truncate((dataDir + "/domsim/journal").c_str(), 0) != 0) {
    // no journal yet: nothing to clear
  }
}

std::vector<std::string> SimPartition::RunningTasks() const {
  std::vector<std::string> names;
  std::istringstream in(ReadFile(dataDir + "/domsim/tasks"));
  std::string pid, name;
  while (in >> pid >> name) names.push_back(name);
  return names;
}

void SimPartition::SetRunning(const std::vector<std::string>& tasks) const {
  const std::vector<std::string> running = RunningTasks();
  for (const std::string& task : running)
    if (std::find(tasks.begin(), tasks.end(), task) == tasks.end()) Send("te " + task + " quit");
  for (const std::string& task : tasks)
    if (std::find(running.begin(), running.end(), task) == running.end()) Send("load " + task);
  std::vector<std::string> now = RunningTasks();
  std::vector<std::string> want = tasks;
  std::sort(now.begin(), now.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(want, now) << "the stand-in did not reach the state";
}

LockHolder::LockHolder(const std::string& path, short type, off_t start, off_t length) {
  int ready[2], hold[2];
  if (::pipe(ready) != 0 || ::pipe(hold) != 0) {
    ADD_FAILURE() << "pipe failed";
    return;
  }
  std::fflush(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::close(ready[0]);
    ::close(hold[1]);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    const char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0) ? 'y' : 'n';
    if (::write(ready[1], &ok, 1) != 1) ::_exit(1);
    char byte;
    while (::read(hold[0], &byte, 1) > 0) {
    }
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(hold[0]);
  hold_ = hold[1];
  char ok = 'n';
  if (::read(ready[0], &ok, 1) != 1 || ok != 'y') ADD_FAILURE() << "could not lock " << path;
  ::close(ready[0]);
}

LockHolder::~LockHolder() {
  if (hold_ >= 0) ::close(hold_);
  if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
}

}  // namespace kvxtest
