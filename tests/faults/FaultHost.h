// A one-instance host for fault runs of the real installer: a product tree
// with program build 1200 (wherever the test wants it, a small tmpfs
// included), one stand-in Domino partition, the registry in the sandbox's
// /etc, update packages of build 1300, and the means to judge afterwards
// whether any original program file was lost.
#ifndef KVX_TESTS_FAULTS_FAULTHOST_H
#define KVX_TESTS_FAULTS_FAULTHOST_H

#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "control/SimHarness.h"
#include "support/TestSupport.h"

namespace faults {

constexpr int kOldBuild = 1200;
constexpr int kNewBuild = 1300;
constexpr int kRunFailed = 212;  // -300 as a shell sees it

// The three libraries of build 1200; every package replaces all of them.
extern const char* const kLibraries[3];

struct PackageSpec {
  int createNewFolder = 0;
  std::vector<std::string> files = {kLibraries[0], kLibraries[1], kLibraries[2]};
  std::vector<std::string> leaveOut;  // listed in Files but not in FileGroup1
};

struct RunResult {
  int status = -1;
  std::vector<std::string> log;  // message part of each debug log line of the run
  double seconds = 0;
  bool Logged(const std::string& message) const;  // a whole message, exactly
  bool LoggedPrefix(const std::string& start) const;
};

class FaultHost {
 public:
  // productPath "" puts the product under the host's own tree. libraryBytes
  // sizes each library, so a test can size a tmpfs around the tree.
  explicit FaultHost(const std::string& productPath = "", size_t libraryBytes = 64 * 1024);
  ~FaultHost();
  FaultHost(const FaultHost&) = delete;
  FaultHost& operator=(const FaultHost&) = delete;

  const std::string& Root() const { return tree_.path(); }
  const std::string& Product() const { return product_; }
  std::string ProgramDir(int build) const;
  std::string BackupDir() const;  // hotfix/B1300/FileGroup1
  kvxtest::SimPartition& Partition() { return *partition_; }

  // Starts the server with the everyday tasks loaded, each mapping the
  // libraries through program/latest. kvxupd stays unloaded: the stop loops
  // count it but never end it.
  void StartServer();

  std::string MakePackage(const PackageSpec& want);
  std::string PackageLibrary(const std::string& name) const;  // its content

  // ./UPDSilent args, from the folder cwd, to its end.
  RunResult Run(const std::string& cwd, const std::string& args = "");
  // The same, in the background: returns the process id.
  pid_t Start(const std::string& cwd, const std::string& args = "");
  // Waits for a started run; the run's status (128 + signal when killed).
  int Wait(pid_t pid);

  // Originals of program/V5.8.0.1200 that can be found byte-identical
  // neither in that folder nor in the hotfix backup folder.
  std::vector<std::string> LostOriginals() const;
  // Relative paths of program/V5.8.0.1200 whose content now differs from
  // the original, or that are gone; extra files are named too.
  std::vector<std::string> ChangedOriginals() const;
  std::string LatestTarget() const;  // program/latest's target, "/" stripped

 private:
  void BuildProduct(size_t libraryBytes);
  void WriteRegistry() const;

  kvxtest::TempTree tree_;
  std::string product_;
  std::unique_ptr<kvxtest::SimPartition> partition_;
  std::map<std::string, std::string> originals_;  // relative path -> content
  size_t libraryBytes_;
  int packages_ = 0;
};

// Messages of the whole debug log (all runs since the last clear).
std::vector<std::string> LogMessages();
// Polls the debug log until a message starting with start appears; false
// after timeoutMs.
bool WaitForLogged(const std::string& start, int timeoutMs);

}  // namespace faults

#endif  // KVX_TESTS_FAULTS_FAULTHOST_H
