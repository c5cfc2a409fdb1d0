// Partitions of the Domino stand-in (sim/) and the sandbox accounts they use.
#ifndef KVX_TESTS_CONTROL_SIMHARNESS_H
#define KVX_TESTS_CONTROL_SIMHARNESS_H

#include <sys/types.h>

#include "inventory/KVXInsInfo.h"
#include "support/TestSupport.h"

namespace kvxtest {

constexpr char kServerUser[] = "kvxsrv1";  // owns every partition's notes.ini and data
void EnsureAccounts();                     // kvxgroup and kServerUser
uid_t ServerUid();
gid_t KvxGroupGid();

struct JournalEntry {
  uid_t uid;
  std::string command;
};
// tree/name/notes.ini and data owned by kServerUser, bin with `server` and the
// nine task programs. A started server stops with the object.
class SimPartition {
 public:
  SimPartition(const TempTree& tree, const std::string& name);
  ~SimPartition() { Stop(); }
  KVXNParInfo Par() const { return {dataDir, binDir, notesIni}; }
  std::string Domsim(const std::string& verb, const std::string& args = "") const;
  void Start();  // unless it runs
  void Stop() { Domsim("stop"); }
  std::vector<JournalEntry> Journal() const;
  std::vector<std::string> JournalCommands() const;  // each checked to come from the owner
  void ClearJournal() const { Domsim("journal", "--clear"); }
  std::vector<std::string> RunningTasks() const;
  void SetRunning(const std::vector<std::string>& tasks) const;  // exactly these run
  std::string notesIni, dataDir, binDir;
};

}  // namespace kvxtest

#endif  // KVX_TESTS_CONTROL_SIMHARNESS_H
