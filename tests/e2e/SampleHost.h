// A sample host for running the real installer end to end: KVX instances
// with their product trees and Domino stand-in partitions, registered in the
// sandbox's /etc/kvxsysV3.ini, and unpacked update packages to run it from.
// The installer's debug logs are emptied before each run, so a run's log
// holds only its own lines.
#ifndef KVX_TESTS_E2E_SAMPLEHOST_H
#define KVX_TESTS_E2E_SAMPLEHOST_H

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "control/SimHarness.h"
#include "e2e/TreeSnapshot.h"
#include "support/TestSupport.h"

namespace e2e {

// -300, as a shell sees the installer's failure.
constexpr int kRunFailed = 212;

// The seven databases every partition's data/kvx folder must hold.
extern const char* const kProductDatabases[7];

struct InstanceSpec {
  std::string name = "kvx1";
  int partitions = 1;
  // program/V5.8.0.<n> folders; each holds the libraries, loader, kvx.cfg and
  // res/messages.txt, with contents naming the instance and the build.
  std::vector<int> programBuilds = {1200};
  int latest = -1;                // build program/latest names: -1 the newest, 0 no link
  std::vector<int> hotfixBuilds;  // hotfix/B<n>/FileGroup1/kvxpatch.ini
  std::vector<std::string> libraries = {"libkvxcore.so", "libkvxscan.so", "libkvxext.so"};
  // engine/<name>/V<x>.<yyy>.<z> folders; the last one of a name gets latest.
  std::vector<std::string> engines = {"alder/V9.750.1001", "birch/V1.200.1009"};
  // A database left out of the last partition's data/kvx folder ("" none).
  std::string missingDatabase;
  // Where the product tree goes; "" puts it under the host's tree.
  std::string productPath;
};

struct PackageSpec {
  int build = 1300;
  int createNewFolder = 1;
  int depentBuild = 0;
  int servicePack = 0;
  int previousBuild = 0;
  int updateLoader = 0;
  int updateExt = 0;
  // FileGroup1 files listed in Files; "loader" is a working task program.
  std::vector<std::string> files = {"libkvxcore.so", "libkvxscan.so"};
  std::vector<std::string> databases;
  // engine/<name>/version.txt with this version text, e.g. {"alder", "9.750.1002"}.
  std::vector<std::pair<std::string, std::string>> engines;
  bool settings = true;  // false: no kvxpatch.ini at all
  bool readme = true;
  bool installer = true;      // UPDSilent, a copy of the built installer
  std::string extraSettings;  // more lines for [Config], written last
};

// One finished run of the installer.
struct InstallerRun {
  int status = -1;
  std::string output;            // what it printed
  std::vector<std::string> log;  // the message part of each debug log line
  double seconds = 0;

  bool Logged(const std::string& message) const;
  int Count(const std::string& message) const;
  // The messages without those of the registry iteration and the server
  // commands, which every per-partition step repeats.
  std::vector<std::string> OwnLines() const;
};

// The installer of the build tree.
std::string BuiltInstaller();
// What a listed package file holds, and what an installed one holds.
std::string PackageFileContent(const std::string& name, int build);
std::string InstalledFileContent(const std::string& instance, const std::string& name, int build);
// The stand-in's task program, with a marker appended so copies differ.
std::string TaskProgramWith(const std::string& marker);
std::string ReadmeContent(int build);

class SampleHost {
 public:
  // Builds the instances and writes the registry. Only inside the sandbox.
  explicit SampleHost(std::vector<InstanceSpec> instances);
  ~SampleHost();  // stops the servers and removes the registry
  SampleHost(const SampleHost&) = delete;
  SampleHost& operator=(const SampleHost&) = delete;

  const std::string& Root() const { return tree_.path(); }
  std::string Product(size_t ins = 0) const { return specs_[ins].productPath; }
  std::string ProgramDir(size_t ins, int build) const;
  kvxtest::SimPartition& Partition(size_t ins, size_t par);

  // Starts the partition's server with exactly these tasks, each mapping the
  // instance's first two libraries through program/latest (those that exist);
  // empties the journal.
  void StartTasks(size_t ins, size_t par, const std::vector<std::string>& tasks);
  // The files the tasks map from now on (read by each task when it starts).
  void MapLibraries(size_t ins, size_t par, const std::vector<std::string>& paths);

  // An unpacked package in a folder of its own under the host's tree.
  std::string MakePackage(const PackageSpec& want);
  void WriteSettings(const std::string& path, const PackageSpec& want) const;

  // ./UPDSilent from the package folder, the way an administrator updates.
  InstallerRun RunUpdate(const std::string& package);
  // The staged installer from the instance's hotfix folder: hotfix/UPDSilent
  // /u <product>/hotfix/B<build>.
  InstallerRun RunRollback(size_t ins, int build);
  // Any installer run: cd cwd && program args.
  InstallerRun Run(const std::string& cwd, const std::string& program, const std::string& args);

 private:
  void BuildInstance(InstanceSpec& want);
  void WriteRegistry() const;

  kvxtest::TempTree tree_;
  int packageCount_ = 0;
  std::vector<InstanceSpec> specs_;
  std::vector<std::vector<std::unique_ptr<kvxtest::SimPartition>>> partitions_;
};

// A folder under /tmp whose path holds no '.', removed with its contents.
class DotFreeDir {
 public:
  DotFreeDir();
  ~DotFreeDir();
  DotFreeDir(const DotFreeDir&) = delete;
  DotFreeDir& operator=(const DotFreeDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Running stand-in tasks, seen from outside.
pid_t TaskPid(const kvxtest::SimPartition& par, const std::string& task);  // -1: not running
struct MappedFile {
  unsigned long start = 0;
  unsigned long inode = 0;
  std::string path;  // as the kernel shows it, " (deleted)" included
};
std::vector<MappedFile> MappedFiles(pid_t pid);
// The first mapping whose path begins with prefix; start 0 when none.
MappedFile FindMapping(pid_t pid, const std::string& prefix);
// length bytes of the task's memory at address.
std::string ReadTaskMemory(pid_t pid, unsigned long address, size_t length);

}  // namespace e2e

#endif  // KVX_TESTS_E2E_SAMPLEHOST_H
