#include "control/SimHarness.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

#include <algorithm>
#include <sstream>

namespace kvxtest {

void EnsureAccounts() {
  if (!::getgrnam("kvxgroup")) RunCommand("groupadd kvxgroup");
  if (!::getpwnam(kServerUser)) RunCommand(std::string("useradd -M -N ") + kServerUser);
}
uid_t ServerUid() { return ::getpwnam(kServerUser) ? ::getpwnam(kServerUser)->pw_uid : -1u; }
gid_t KvxGroupGid() { return ::getgrnam("kvxgroup") ? ::getgrnam("kvxgroup")->gr_gid : -1u; }

SimPartition::SimPartition(const TempTree& tree, const std::string& name)
    : notesIni(tree / name + "/notes.ini"),
      dataDir(tree / name + "/data"),
      binDir(tree / name + "/bin") {
  EnsureAccounts();
  Domsim("setup", dataDir + " " + binDir + " " + kServerUser);
}
std::string SimPartition::Domsim(const std::string& verb, const std::string& args) const {
  const CommandResult r =
      RunCommand(BuildDir() + "/sim/domsim " + verb + " " + notesIni + " " + args);
  EXPECT_EQ(0, r.exitStatus) << verb << " " << args << ": " << r.output;
  return r.output;
}
void SimPartition::Start() {
  if (RunCommand(BuildDir() + "/sim/domsim status " + notesIni).exitStatus != 0) Domsim("start");
}
std::vector<JournalEntry> SimPartition::Journal() const {
  std::vector<JournalEntry> entries;
  for (const std::string& line : ReadLines(dataDir + "/domsim/journal")) {
    const size_t a = line.find('\t'), b = line.find('\t', a + 1);
    entries.push_back({static_cast<uid_t>(std::stoul(line.substr(a + 1))), line.substr(b + 1)});
  }
  return entries;
}
std::vector<std::string> SimPartition::JournalCommands() const {
  struct stat owner {};
  ::stat(notesIni.c_str(), &owner);
  std::vector<std::string> commands;
  for (const JournalEntry& e : Journal()) {
    EXPECT_EQ(owner.st_uid, e.uid) << e.command << ": not sent as the notes.ini owner";
    commands.push_back(e.command);
  }
  return commands;
}
std::vector<std::string> SimPartition::RunningTasks() const {
  std::vector<std::string> names;
  std::istringstream in(ReadFile(dataDir + "/domsim/tasks"));
  for (std::string pid, name; in >> pid >> name;) names.push_back(name);
  return names;
}
void SimPartition::SetRunning(const std::vector<std::string>& tasks) const {
  const std::vector<std::string> running = RunningTasks();
  for (const std::string& task : running)
    if (std::count(tasks.begin(), tasks.end(), task) == 0) Domsim("send", "'te " + task + " quit'");
  for (const std::string& task : tasks)
    if (std::count(running.begin(), running.end(), task) == 0)
      Domsim("send", "'load " + task + "'");
  std::vector<std::string> now = RunningTasks(), want = tasks;
  std::sort(now.begin(), now.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(want, now) << "the stand-in did not reach the state";
}

}  // namespace kvxtest
