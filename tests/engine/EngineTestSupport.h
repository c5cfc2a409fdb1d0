// What the engine tests share: the debug log read with its levels, a working
// folder that comes back, a current instance set up in memory, and a Domino
// partition whose server and tasks are played by lock-holding processes.
#ifndef KVX_TESTS_ENGINE_ENGINETESTSUPPORT_H
#define KVX_TESTS_ENGINE_ENGINETESTSUPPORT_H

#include <sys/types.h>

#include <string>
#include <vector>

#include "inventory/KVXInsInfo.h"

namespace enginetest {

// Each line of today's debug log as "<level>|<message>".
std::vector<std::string> LoggedLines();
// The same without the lines that the registry iteration and the task
// control write, so a test can compare the procedure's own lines exactly.
std::vector<std::string> OwnLines();
// How many lines hold text.
int CountLines(const std::vector<std::string>& lines, const std::string& text);

// Makes the registry hold one instance with the given product path and
// partitions, and makes it the current one.
void UseInstance(const std::string& productPath, const std::vector<KVXNParInfo>& partitions = {});

void MakeFolder(const std::string& path);
void MakeLink(const std::string& target, const std::string& link);
std::string LinkTarget(const std::string& link);  // "" when not a link

// Lets the sandbox's own /etc know the group kvxgroup, so that the group
// switch before a rollback succeeds.
void EnsureKvxGroup();

class ScopedChdir {
 public:
  explicit ScopedChdir(const std::string& path);
  ~ScopedChdir();
  ScopedChdir(const ScopedChdir&) = delete;
  ScopedChdir& operator=(const ScopedChdir&) = delete;

 private:
  std::string saved_;
};

// A partition under root: data/ with ~notes.lck and kvxtemp/, bin/server, a
// script that records each console command in root/commands.log, and
// notes.ini. A child process holds the locks of the running server and of
// the running tasks. When the script gets "te <task> quit" for a task that
// runs, it asks the child to drop that task's lock and waits until it has,
// unless the partition was made stubborn.
class FakePartition {
 public:
  FakePartition(const std::string& root, const std::vector<std::string>& runningTasks);
  ~FakePartition();
  FakePartition(const FakePartition&) = delete;
  FakePartition& operator=(const FakePartition&) = delete;

  KVXNParInfo info() const;
  void MakeStubborn();
  std::vector<std::string> Commands() const;

 private:
  std::string root_;
  pid_t holder_ = -1;
};

}  // namespace enginetest

#endif  // KVX_TESTS_ENGINE_ENGINETESTSUPPORT_H
