// An update and the rollback of the hotfix it installed, once for each way a
// package installs, against a stand-in partition whose tasks run and hold the
// product's libraries open. Each trip waits through the installer's real
// restart sleeps, so each asserts everything along its way.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/SampleHost.h"

namespace fs = std::filesystem;
using e2e::InstallerRun;
using e2e::InstanceSpec;
using e2e::PackageSpec;
using e2e::SampleHost;
using e2e::TreeSnapshot;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;

namespace {

const char* const kTaskPrograms[] = {"kvxreal", "kvxemf",  "kvxmon", "kvxsch", "kvxcm",
                                     "kvxupd",  "kvxsupp", "kvxdbs", "kvxdtas"};

std::string LinkTarget(const std::string& link) {
  std::error_code error;
  const fs::path target = fs::read_symlink(link, error);
  return error ? "" : target.string();
}

std::vector<std::string> Sorted(std::vector<std::string> items) {
  std::sort(items.begin(), items.end());
  return items;
}

unsigned long Inode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// The lines appear in this order, others may come between them.
void ExpectInOrder(const std::vector<std::string>& log, const std::vector<std::string>& lines) {
  auto from = log.begin();
  for (const std::string& line : lines) {
    from = std::find(from, log.end(), line);
    ASSERT_NE(log.end(), from) << "not logged, or out of order: " << line;
  }
}

// Every command reached the server as the server's user.
void ExpectSentAsServerUser(const kvxtest::SimPartition& par) {
  for (const kvxtest::JournalEntry& entry : par.Journal()) {
    EXPECT_EQ(kvxtest::ServerUid(), entry.uid) << entry.command;
  }
}

// What the product tree shows after a round trip besides its state before:
// the read-me and the installer stay, as do the newer engine and its link.
std::vector<std::string> LeftBehind(const std::string& product) {
  return {"+ hotfix/UPDSilent", "+ engine/alder/V9.750.1002",
          "+ engine/alder/V9.750.1002/alder.dat", "+ engine/alder/V9.750.1002/version.txt",
          "link engine/alder/latest: " + product + "/engine/alder/V9.750.1001 -> " + product +
              "/engine/alder/V9.750.1002"};
}

class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kvxtest::InSandbox()) GTEST_SKIP() << "runs the installer: only inside the sandbox";
  }
};

TEST_F(RoundTrip, NewProgramFolder) {
  InstanceSpec want;
  want.partitions = 2;  // the second one's server is down
  SampleHost host({want});
  const std::string product = host.Product();
  const std::string oldDir = host.ProgramDir(0, 1200);
  const std::string newDir = host.ProgramDir(0, 1300);
  kvxtest::SimPartition& par = host.Partition(0, 0);
  host.StartTasks(0, 0, {"kvxreal", "kvxemf", "kvxcm", "kvxsupp"});
  PackageSpec package;
  package.files = {"libkvxcore.so", "libkvxscan.so", "libkvxext.so", "loader"};
  package.servicePack = 1200;
  package.updateLoader = 1;
  package.updateExt = 1;
  package.engines = {{"alder", "9.750.1002"}, {"birch", "1.199.2000"}};
  const std::string pkg = host.MakePackage(package);
  const std::string taskProgram = kvxtest::ReadFile(par.binDir + "/kvxreal");
  const TreeSnapshot before = e2e::TakeSnapshot(product);

  const InstallerRun update = host.RunUpdate(pkg);

  ASSERT_EQ(0, update.status) << update.output;
  EXPECT_EQ(
      "=============================Update (" + product + ") successfully=======================",
      update.OwnLines().back());
  const TreeSnapshot after = e2e::TakeSnapshot(product);

  // The libraries of the old build are saved, whatever the package lists.
  for (const std::string& name : package.files) {
    EXPECT_EQ(e2e::InstalledFileContent("kvx1", name, 1200),
              kvxtest::ReadFile(product + "/hotfix/B1300/FileGroup1/" + name))
        << name;
  }
  // The new folder is the old one with the package's files on top, all the group's.
  const TreeSnapshot oldFiles = e2e::SubTree(before, "program/V5.8.0.1200");
  const TreeSnapshot newFiles = e2e::SubTree(after, "program/V5.8.0.1300");
  ASSERT_EQ(oldFiles.size(), newFiles.size());
  for (const auto& [path, entry] : oldFiles) {
    ASSERT_EQ(1u, newFiles.count(path)) << path;
    const e2e::TreeEntry& copy = newFiles.at(path);
    if (std::count(package.files.begin(), package.files.end(), path)) {
      EXPECT_EQ(e2e::PackageFileContent(path, 1300), kvxtest::ReadFile(newDir + "/" + path));
    } else {
      EXPECT_EQ(entry.hash, copy.hash) << path;
    }
    EXPECT_EQ(0775u, copy.mode) << path;
    EXPECT_EQ(kvxtest::KvxGroupGid(), copy.gid) << path;
  }
  EXPECT_THAT(e2e::DiffSnapshots(oldFiles, e2e::SubTree(after, "program/V5.8.0.1200")), IsEmpty());
  EXPECT_EQ(newDir + "/", LinkTarget(product + "/program/latest"));
  EXPECT_EQ(e2e::ReadmeContent(1300),
            kvxtest::ReadFile(product + "/program/readme_kvxn5_linux.txt"));

  // The hotfix record a later rollback starts from.
  EXPECT_EQ(kvxtest::ReadFile(pkg + "/FileGroup1/kvxpatch.ini"),
            kvxtest::ReadFile(product + "/hotfix/B1300/FileGroup1/kvxpatch.ini"));
  EXPECT_EQ(kvxtest::ReadFile(pkg + "/UPDSilent"),
            kvxtest::ReadFile(product + "/hotfix/UPDSilent"));
  for (const char* staged : {"hotfix/UPDSilent", "hotfix/B1300/FileGroup1/kvxpatch.ini"}) {
    EXPECT_EQ(0775u, after.at(staged).mode) << staged;
    EXPECT_EQ(kvxtest::KvxGroupGid(), after.at(staged).gid) << staged;
  }

  // Only the newer engine is installed.
  EXPECT_EQ(product + "/engine/alder/V9.750.1002", LinkTarget(product + "/engine/alder/latest"));
  EXPECT_EQ("Version: 9.750.1002\n",
            kvxtest::ReadFile(product + "/engine/alder/V9.750.1002/version.txt"));
  EXPECT_EQ(product + "/engine/birch/V1.200.1009", LinkTarget(product + "/engine/birch/latest"));
  EXPECT_FALSE(fs::exists(product + "/engine/birch/V1.199.2000"));

  // Every partition, running or not, gets the new loader and extension manager.
  for (size_t k = 0; k < 2; ++k) {
    const std::string bin = host.Partition(0, k).binDir;
    for (const char* task : kTaskPrograms) {
      EXPECT_EQ(e2e::PackageFileContent("loader", 1300), kvxtest::ReadFile(bin + "/" + task))
          << task;
      EXPECT_EQ(taskProgram, kvxtest::ReadFile(bin + "/" + task + "_1")) << task;
    }
    EXPECT_EQ(e2e::PackageFileContent("libkvxext.so", 1300),
              kvxtest::ReadFile(bin + "/libkvxext.so"));
    std::vector<std::string> asideExt;
    for (const auto& entry : fs::directory_iterator(bin)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("libkvxext.so_", 0) == 0) asideExt.push_back(kvxtest::ReadFile(entry.path()));
    }
    EXPECT_THAT(asideExt, ElementsAreArray({"KVX extension manager of kvx1/par" +
                                            std::to_string(k + 1) + "\n"}));
  }

  // The tasks restart from the new folder only once it is complete.
  EXPECT_THAT(par.JournalCommands(),
              ElementsAreArray({"te kvxemf quit", "load kvxemf", "load kvxsch", "load kvxmon",
                                "te kvxreal quit", "load kvxreal", "restart task kvxcm"}));
  ExpectSentAsServerUser(par);
  EXPECT_EQ(1, update.Count("Domino isnot running now."));
  EXPECT_THAT(Sorted(par.RunningTasks()),
              ElementsAreArray({"kvxcm", "kvxemf", "kvxmon", "kvxreal", "kvxsch", "kvxsupp"}));
  EXPECT_NE(0u, e2e::FindMapping(e2e::TaskPid(par, "kvxreal"), newDir + "/libkvxcore.so").start);

  // The same package again finds its own build installed.
  par.ClearJournal();
  const InstallerRun again = host.RunUpdate(pkg);
  EXPECT_EQ(e2e::kRunFailed, again.status);
  EXPECT_EQ("The current program version is newer than that in this package. So quit. (Old," +
                newDir + ":New," + newDir + "/)",
            again.OwnLines().back());
  EXPECT_THAT(e2e::DiffSnapshots(after, e2e::TakeSnapshot(product)), IsEmpty());
  EXPECT_THAT(par.JournalCommands(), IsEmpty());

  // Rollback: tasks stopped, the hotfix's folder gone, latest back, tasks loaded.
  const InstallerRun rollback = host.RunRollback(0, 1300);

  ASSERT_EQ(0, rollback.status) << rollback.output;
  EXPECT_TRUE(rollback.Logged("All KVX quit."));
  EXPECT_TRUE(rollback.Logged("The build number of new KVXN is (1200)"));
  EXPECT_THAT(par.JournalCommands(),
              ElementsAreArray({"te kvxreal quit", "te kvxemf quit", "te kvxsch quit",
                                "te kvxcm quit", "te kvxmon quit", "load kvxemf", "load kvxsch",
                                "load kvxmon", "load kvxreal", "load kvxcm"}));
  ExpectSentAsServerUser(par);
  std::vector<std::string> expected = LeftBehind(product);
  expected.push_back("+ program/readme_kvxn5_linux.txt");
  // latest is made anew after the process took on kvxgroup to stop the tasks.
  expected.push_back("group program/latest: root -> kvxgroup");
  EXPECT_THAT(e2e::DiffSnapshots(before, e2e::TakeSnapshot(product)),
              UnorderedElementsAreArray(expected));
  for (const std::string& name : package.files) {
    EXPECT_EQ(e2e::InstalledFileContent("kvx1", name, 1200),
              kvxtest::ReadFile(oldDir + "/" + name));
  }
  EXPECT_NE(0u, e2e::FindMapping(e2e::TaskPid(par, "kvxreal"), oldDir + "/libkvxcore.so").start);
}

TEST_F(RoundTrip, LibrariesSwappedInPlace) {
  SampleHost host({InstanceSpec()});
  const std::string product = host.Product();
  const std::string dir = host.ProgramDir(0, 1200);
  const std::string core = dir + "/libkvxcore.so";
  kvxtest::SimPartition& par = host.Partition(0, 0);
  // kvxsupp is never restarted: it keeps what it mapped before the update.
  host.StartTasks(0, 0, {"kvxreal", "kvxemf", "kvxcm", "kvxsupp"});
  const pid_t keeper = e2e::TaskPid(par, "kvxsupp");
  const unsigned long oldInode = Inode(core);
  const std::string oldCore = kvxtest::ReadFile(core);
  PackageSpec package;
  package.createNewFolder = 0;
  package.engines = {{"alder", "9.750.1002"}};
  const std::string pkg = host.MakePackage(package);
  const TreeSnapshot before = e2e::TakeSnapshot(product);

  const InstallerRun update = host.RunUpdate(pkg);

  ASSERT_EQ(0, update.status) << update.output;
  ExpectInOrder(update.OwnLines(),
                {"Copy replace the file in KVX program with the new one.",
                 "Back up the dlls from (" + dir + ") to (" + product + "/hotfix/B1300/FileGroup1)",
                 "after needupdate ext and updateloader", "Before Sleep", "Sleep over",
                 "RemoveAllRenamedDlls over",
                 "=============================Update (" + product +
                     ") successfully======================="});
  EXPECT_FALSE(update.Logged("needUpdateExt"));
  EXPECT_FALSE(update.Logged("needUpdate loader"));
  const TreeSnapshot after = e2e::TakeSnapshot(product);
  for (const std::string& name : package.files) {
    EXPECT_EQ(e2e::PackageFileContent(name, 1300), kvxtest::ReadFile(dir + "/" + name));
    EXPECT_EQ(0775u, after.at("program/V5.8.0.1200/" + name).mode);
    EXPECT_EQ(kvxtest::KvxGroupGid(), after.at("program/V5.8.0.1200/" + name).gid);
    EXPECT_EQ(e2e::InstalledFileContent("kvx1", name, 1200),
              kvxtest::ReadFile(product + "/hotfix/B1300/FileGroup1/" + name));
  }
  for (const auto& [path, entry] : after) {
    EXPECT_FALSE(path.size() > 2 && path.compare(path.size() - 2, 2, "_1") == 0) << path;
  }
  EXPECT_EQ(dir, LinkTarget(product + "/program/latest"));
  EXPECT_FALSE(fs::exists(product + "/program/V5.8.0.1300"));
  EXPECT_FALSE(fs::exists(product + "/program/readme_kvxn5_linux.txt"));
  EXPECT_TRUE(fs::exists(product + "/hotfix/B1300/FileGroup1/kvxpatch.ini"));

  // The untouched task still runs on the old library: renamed aside, never
  // overwritten, and deleted only under it.
  ASSERT_EQ(keeper, e2e::TaskPid(par, "kvxsupp"));
  const e2e::MappedFile kept = e2e::FindMapping(keeper, core);
  EXPECT_EQ(core + "_1 (deleted)", kept.path);
  EXPECT_EQ(oldInode, kept.inode);
  EXPECT_EQ(oldCore, e2e::ReadTaskMemory(keeper, kept.start, oldCore.size()));
  // The restarted ones map the new library.
  const e2e::MappedFile fresh = e2e::FindMapping(e2e::TaskPid(par, "kvxreal"), core);
  EXPECT_EQ(core, fresh.path);
  EXPECT_EQ(Inode(core), fresh.inode);
  EXPECT_THAT(par.JournalCommands(),
              ElementsAreArray({"te kvxemf quit", "load kvxemf", "load kvxsch", "load kvxmon",
                                "te kvxreal quit", "load kvxreal", "restart task kvxcm"}));
  ExpectSentAsServerUser(par);

  // The recorded hotfix turns the same package away.
  const InstallerRun again = host.RunUpdate(pkg);
  EXPECT_EQ(e2e::kRunFailed, again.status);
  EXPECT_EQ("The current hotfix version is newer than that in this package. So quit. (Old," +
                product + "/hotfix/B1300:New," + product + "/program/V5.8.0.1300/)",
            again.OwnLines().back());

  // Rollback: the saved libraries swapped back under the running tasks.
  par.ClearJournal();
  const InstallerRun rollback = host.RunRollback(0, 1300);

  ASSERT_EQ(0, rollback.status) << rollback.output;
  EXPECT_THAT(par.JournalCommands(),
              ElementsAreArray({"te kvxemf quit", "load kvxemf", "te kvxsch quit", "load kvxsch",
                                "te kvxmon quit", "load kvxmon", "te kvxreal quit", "load kvxreal",
                                "restart task kvxcm"}));
  ExpectSentAsServerUser(par);
  std::vector<std::string> expected = LeftBehind(product);
  for (const std::string& name : package.files) {
    expected.push_back("mode program/V5.8.0.1200/" + name + ": 0644 -> 0775");
    expected.push_back("group program/V5.8.0.1200/" + name + ": root -> kvxgroup");
  }
  EXPECT_THAT(e2e::DiffSnapshots(before, e2e::TakeSnapshot(product)),
              UnorderedElementsAreArray(expected));
  for (const std::string& name : package.files) {
    EXPECT_EQ(e2e::InstalledFileContent("kvx1", name, 1200), kvxtest::ReadFile(dir + "/" + name));
  }
  const pid_t real = e2e::TaskPid(par, "kvxreal");
  const e2e::MappedFile restored = e2e::FindMapping(real, core);
  EXPECT_EQ(Inode(core), restored.inode);
  EXPECT_EQ(oldCore, e2e::ReadTaskMemory(real, restored.start, oldCore.size()));
}

}  // namespace
