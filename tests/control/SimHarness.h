// Test harness around the Domino stand-in: the server user and kvxgroup of
// the sandbox, partitions driven through the domsim script, and a forked
// process that holds a record lock for as long as a test needs it.
#ifndef KVX_TESTS_CONTROL_SIMHARNESS_H
#define KVX_TESTS_CONTROL_SIMHARNESS_H

#include <fcntl.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "inventory/KVXInsInfo.h"
#include "support/TestSupport.h"

namespace kvxtest {

constexpr char kServerUser[] = "kvxsrv1";

// Creates kvxgroup and the server user in the sandbox when missing.
void EnsureAccounts();
uid_t ServerUid();
gid_t KvxGroupGid();
std::string Domsim();  // the domsim script of the build tree

struct JournalEntry {
  uid_t uid;
  std::string command;
};

// One partition of the stand-in under tree/<name>: notes.ini, data, bin.
// The server is stopped when the object dies.
class SimPartition {
 public:
  SimPartition(const TempTree& tree, const std::string& name);
  ~SimPartition();
  SimPartition(const SimPartition&) = delete;
  SimPartition& operator=(const SimPartition&) = delete;

  KVXNParInfo Par() const { return {dataDir, binDir, notesIni}; }
  void Start();  // unless it runs
  void Stop();
  bool ServerRuns() const;  // from the lock on ~notes.lck
  // Runs the domsim command line "domsim <verb> <notes.ini> <args>"; fails
  // the test on a non-zero status.
  std::string Domsim(const std::string& verb, const std::string& args = "") const;
  std::string Send(const std::string& command) const;
  std::vector<JournalEntry> Journal() const;
  std::vector<std::string> JournalCommands() const;
  void ClearJournal() const;
  std::vector<std::string> RunningTasks() const;  // names, as loaded
  // Loads what should run and ends the rest, so the tasks running are exactly these.
  void SetRunning(const std::vector<std::string>& tasks) const;

  std::string notesIni;
  std::string dataDir;
  std::string binDir;
};

// A child process holding a record lock on path (created when missing) until
// the object dies.
class LockHolder {
 public:
  LockHolder(const std::string& path, short type, off_t start = 0, off_t length = 0);
  ~LockHolder();
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

 private:
  pid_t pid_ = -1;
  int hold_ = -1;  // the child ends when this closes
};

}  // namespace kvxtest

#endif  // KVX_TESTS_CONTROL_SIMHARNESS_H
