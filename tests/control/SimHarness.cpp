#include "SimHarness.h"

#include <gmock/gmock.h>
#include <grp.h>
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

SimPartition::SimPartition(const TempTree& tree, const std::string& n)
    : notesIni(tree / n + "/notes.ini"), dataDir(tree / n + "/data"), binDir(tree / n + "/bin") {
  EnsureAccounts();
  Domsim("setup", dataDir + " " + binDir + " " + kServerUser);
}
std::string SimPartition::Domsim(const std::string& verb, const std::string& args) const {
  const auto r = RunCommand(BuildDir() + "/sim/domsim " + verb + " " + notesIni + " " + args);
  EXPECT_EQ(0, r.exitStatus) << verb << " " << args << ": " << r.output;
  return r.output;
}
void SimPartition::Start() {
  if (RunCommand(BuildDir() + "/sim/domsim status " + notesIni).exitStatus != 0) Domsim("start");
}
// Commands go as notes.ini's owner, which a fault run may change.
uid_t NotesIniOwner(const std::string& notesIni) {
  struct stat st {};
  return ::stat(notesIni.c_str(), &st) == 0 ? st.st_uid : ServerUid();
}
std::vector<std::string> SimPartition::JournalCommands() const {
  std::vector<std::string> commands;  // from "time<TAB>uid<TAB>command" lines
  const std::string owner = std::to_string(NotesIniOwner(notesIni));
  std::istringstream in(ReadFile(dataDir + "/domsim/journal"));
  for (std::string time, uid, command;
       std::getline(in, time, '\t') && std::getline(in, uid, '\t') && std::getline(in, command);) {
    EXPECT_EQ(owner, uid) << command << ": not sent as the notes.ini owner";
    commands.push_back(command);
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
  const auto send = [this](const std::string& command) {  // straight to the server program
    RunCommand("setpriv --reuid=" + std::to_string(NotesIniOwner(notesIni)) +
               " --clear-groups env LD_LIBRARY_PATH=" + binDir + " " + binDir +
               "/server =" + notesIni + " -c '" + command + "'");
  };
  for (const std::string& task : running)
    if (std::count(tasks.begin(), tasks.end(), task) == 0) send("te " + task + " quit");
  for (const std::string& task : tasks)
    if (std::count(running.begin(), running.end(), task) == 0) send("load " + task);
  EXPECT_THAT(RunningTasks(), ::testing::UnorderedElementsAreArray(tasks)) << "not reached";
}

}  // namespace kvxtest
