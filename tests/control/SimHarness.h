// Partitions of the Domino stand-in (sim/) and the sandbox accounts they use.
#ifndef KVX_TESTS_CONTROL_SIMHARNESS_H
#define KVX_TESTS_CONTROL_SIMHARNESS_H

#include "KVXInsInfo.h"
#include "TestSupport.h"

namespace kvxtest {

constexpr char kServerUser[] = "kvxsrv1";  // owns every partition's notes.ini and data
void EnsureAccounts();                     // kvxgroup and kServerUser
uid_t ServerUid();

// tree/name: notes.ini and data of kServerUser, bin with the programs; stops with the object.
struct SimPartition {
  SimPartition(const TempTree& tree, const std::string& name);
  ~SimPartition() { Stop(); }
  KVXNParInfo Par() const { return {dataDir, binDir, notesIni}; }
  std::string Domsim(const std::string& verb, const std::string& args = "") const;
  void Start();  // unless it runs
  void Stop() { Domsim("stop"); }
  std::vector<std::string> JournalCommands() const;  // each checked to come from kServerUser
  void ClearJournal() const { RunCommand("truncate -cs0 " + dataDir + "/domsim/journal"); }
  std::vector<std::string> RunningTasks() const;
  void SetRunning(const std::vector<std::string>& tasks) const;  // exactly these run
  std::string notesIni, dataDir, binDir;
};

}  // namespace kvxtest

#endif  // KVX_TESTS_CONTROL_SIMHARNESS_H
