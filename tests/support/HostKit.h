// A KVX host in a few lines, built in the sandbox: instances, their partitions
// and the registry /etc/kvxsysV3.ini; packages, installer runs, fingerprints.
#ifndef KVX_TESTS_SUPPORT_HOSTKIT_H
#define KVX_TESTS_SUPPORT_HOSTKIT_H

#include <memory>

#include "SimHarness.h"
#include "TestSupport.h"

namespace kvxtest {

constexpr int kRunFailed = 212;                  // the installer's -300, as a shell sees it
std::string ModeGroup(const std::string& path);  // "775 kvxgroup"; "" when missing

// program/V5.8.0.<n> (lib{kvxcore,kvxscan,kvxext}.so, loader, kvx.cfg and
// res/messages.txt holding FileText), program/latest, hotfix/B<n>/FileGroup1/
// kvxpatch.ini, engine/<name>/<version>/version.txt (the last is latest), and
// partitions with the product databases data/kvx/<db>.nsf.
struct InstanceSpec {
  std::string name = "kvx1";
  std::vector<int> builds = {1200};
  int latest = -1;  // -1 the newest build, 0 no link
  std::vector<int> hotfixes;
  std::vector<std::string> engines = {"alder/V9.750.1001", "birch/V1.200.1009"};
  int partitions = 1;
  std::string product;  // "" for tree/<name>/product
};
// FileGroup1: kvxpatch.ini (Files, BuildNumber, then config), the listed
// files and the read-me; engine/<name>/version.txt; UPDSilent, the built one.
struct PackageSpec {
  int build = 1300;
  std::vector<std::string> files = {"libkvxcore.so", "libkvxscan.so"};
  std::string config = "CreateNewFolder=1\n";
  std::vector<std::pair<std::string, std::string>> engines;  // {"alder", "9.750.1002"}
};
// "KVX <name> of <origin>, build <n>\n"; a loader is the task program before it.
std::string FileText(const std::string& name, const std::string& origin, int build);

class Host {
 public:
  explicit Host(std::vector<InstanceSpec> wanted = {InstanceSpec()});  // and the registry
  ~Host();
  std::string Product(size_t ins = 0) const { return instances[ins].product; }
  std::string Program(int build, size_t ins = 0) const;
  SimPartition& Partition(size_t ins = 0, size_t k = 0) { return *partitions_[ins][k]; }
  std::string Package(const PackageSpec& want, const std::string& name = "package");
  // The partition's server with exactly these tasks, each mapping libkvxcore.so
  // and libkvxscan.so through program/latest; the journal emptied.
  void StartTasks(const std::vector<std::string>& tasks, size_t ins = 0, size_t k = 0);
  TempTree tree;
  std::vector<InstanceSpec> instances;

 private:
  std::vector<std::vector<std::unique_ptr<SimPartition>>> partitions_;
};

// cd cwd && program args, with the debug logs emptied first.
CommandResult RunUPDSilent(const std::string& cwd, const std::string& args = "",
                           const std::string& program = "./UPDSilent");

// One line per entry under root, sorted: type, mode, owner, path, link target
// (and modification time when asked); then a hash of each file's content.
std::string Snapshot(const std::string& root, bool times = false);

}  // namespace kvxtest

#endif  // KVX_TESTS_SUPPORT_HOSTKIT_H
