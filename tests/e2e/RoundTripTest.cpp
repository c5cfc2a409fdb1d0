// An update and the rollback of the hotfix it installed, once for each way a
// package installs, against a stand-in partition whose tasks run and hold the
// product's libraries open. Each trip waits through the installer's real
// restart sleeps, so each asserts everything along its way.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "support/HostKit.h"

namespace fs = std::filesystem;
using namespace kvxtest;
using Lines = std::vector<std::string>;
using ::testing::Contains;

namespace {

const char* const kTasks[] = {"kvxreal", "kvxemf",  "kvxmon", "kvxsch", "kvxcm",
                              "kvxupd",  "kvxsupp", "kvxdbs", "kvxdtas"};

// The paths whose entry (type, mode, owner, link) or, as "content <path>",
// whose bytes differ between two snapshots of the same tree.
std::set<std::string> Changed(const std::string& before, const std::string& after) {
  std::set<std::string> sides[2], changed;
  for (int i = 0; i < 2; ++i) {
    std::istringstream in(i ? after : before);
    for (std::string line; std::getline(in, line);) sides[i].insert(line);
  }
  for (int i = 0; i < 2; ++i) {
    for (const std::string& line : sides[i]) {
      if (sides[1 - i].count(line)) continue;
      std::istringstream in(line);
      std::string w[4];
      in >> w[0] >> w[1] >> w[2] >> w[3];
      changed.insert(w[0].size() == 32 ? "content " + w[1] : w[3]);
    }
  }
  return changed;
}

unsigned long Inode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}
// The inode of the task's mapping of path (as the kernel names it); 0 when none.
unsigned long MappedInode(pid_t pid, const std::string& path) {
  for (const std::string& line : ReadLines("/proc/" + std::to_string(pid) + "/maps")) {
    std::istringstream in(line);
    std::string skip, mapped;
    unsigned long inode = 0;
    in >> skip >> skip >> skip >> skip >> inode;
    if (std::getline(in >> std::ws, mapped) && mapped == path) return inode;
  }
  return 0;
}

std::string Done(const std::string& what, const std::string& product) {
  return "=============================" + what + " (" + product +
         ") successfully=======================";
}

class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!InSandbox()) GTEST_SKIP() << "runs the installer: only inside the sandbox";
  }
};

TEST_F(RoundTrip, NewProgramFolder) {
  InstanceSpec spec;
  spec.partitions = 2;  // the second one's server stays down
  Host host({spec});
  const std::string product = host.Product(), oldDir = host.Program(1200);
  const std::string newDir = host.Program(1300);
  for (size_t k = 0; k < 2; ++k)
    WriteFile(host.Partition(0, k).binDir + "/libkvxext.so", "ext " + std::to_string(k) + "\n");
  host.StartTasks({"kvxreal", "kvxemf", "kvxcm", "kvxsupp"});
  SimPartition& par = host.Partition();
  const Lines files = {"libkvxcore.so", "libkvxscan.so", "libkvxext.so", "loader"};
  const std::string pkg = host.Package({1300,
                                        files,
                                        "ServicePack=1200\nUpdateLoader=1\nUpdateExt=1\n",
                                        {{"alder", "9.750.1002"}, {"birch", "1.199.2000"}}});
  const std::string taskProgram = ReadFile(par.binDir + "/kvxreal");
  const std::string before = Snapshot(product);

  ASSERT_EQ(0, RunUPDSilent(pkg).exitStatus);
  Lines log = DebugLogMessages(true);
  EXPECT_EQ(Done("Update", product), log.back());
  EXPECT_EQ(1, std::count(log.begin(), log.end(), "Domino isnot running now."));
  // The old build's files saved; the new folder is the old one with the
  // package's files on top, all the group's.
  for (const std::string& file : files)
    EXPECT_EQ(FileText(file, "kvx1", 1200), ReadFile(product + "/hotfix/B1300/FileGroup1/" + file));
  for (const auto& entry : fs::recursive_directory_iterator(oldDir)) {
    const std::string rel = fs::relative(entry.path(), oldDir), copy = newDir + "/" + rel;
    const bool listed = std::count(files.begin(), files.end(), rel);
    if (!entry.is_directory()) {
      EXPECT_EQ(listed ? FileText(rel, "package", 1300) : ReadFile(entry.path()), ReadFile(copy));
    }
    EXPECT_EQ("775 kvxgroup", ModeGroup(copy)) << rel;
  }
  EXPECT_EQ(newDir + "/", fs::read_symlink(product + "/program/latest"));
  EXPECT_EQ(FileText("read-me", "package", 1300),
            ReadFile(product + "/program/readme_kvxn5_linux.txt"));
  for (const auto& [shipped, staged] :
       {std::pair<std::string, std::string>{"UPDSilent", "UPDSilent"},
        {"FileGroup1/kvxpatch.ini", "B1300/FileGroup1/kvxpatch.ini"}}) {
    EXPECT_EQ(ReadFile(pkg + "/" + shipped), ReadFile(product + "/hotfix/" + staged));
    EXPECT_EQ("775 kvxgroup", ModeGroup(product + "/hotfix/" + staged));
  }
  // Only the newer engine is taken.
  EXPECT_EQ(product + "/engine/alder/V9.750.1002",
            fs::read_symlink(product + "/engine/alder/latest"));
  EXPECT_EQ("Version: 9.750.1002\n", ReadFile(product + "/engine/alder/V9.750.1002/version.txt"));
  EXPECT_EQ(product + "/engine/birch/V1.200.1009",
            fs::read_symlink(product + "/engine/birch/latest"));
  EXPECT_FALSE(fs::exists(product + "/engine/birch/V1.199.2000"));
  // Every partition, running or not, gets the new loader and extension manager.
  for (size_t k = 0; k < 2; ++k) {
    const std::string bin = host.Partition(0, k).binDir;
    for (const char* task : kTasks) {
      EXPECT_EQ(FileText("loader", "package", 1300), ReadFile(bin + "/" + task)) << task;
      EXPECT_EQ(taskProgram, ReadFile(bin + "/" + task + "_1")) << task;
    }
    EXPECT_EQ(FileText("libkvxext.so", "package", 1300), ReadFile(bin + "/libkvxext.so"));
    Lines aside;
    for (const auto& entry : fs::directory_iterator(bin))
      if (entry.path().filename().string().rfind("libkvxext.so_", 0) == 0)
        aside.push_back(ReadFile(entry.path()));
    EXPECT_EQ(Lines{"ext " + std::to_string(k) + "\n"}, aside);
  }
  // The tasks restart from the new folder only once it is complete.
  EXPECT_EQ(Lines({"te kvxemf quit", "load kvxemf", "load kvxsch", "load kvxmon", "te kvxreal quit",
                   "load kvxreal", "restart task kvxcm"}),
            par.JournalCommands());
  Lines running = par.RunningTasks();
  std::sort(running.begin(), running.end());
  EXPECT_EQ(Lines({"kvxcm", "kvxemf", "kvxmon", "kvxreal", "kvxsch", "kvxsupp"}), running);
  EXPECT_NE(0u, MappedInode(TaskPid(par, "kvxreal"), newDir + "/libkvxcore.so"));

  // Rollback: tasks stopped, the hotfix's folder and a broken run's scratch
  // folder gone, latest back, tasks loaded; the tree as it was but for what
  // a rollback leaves (the staged installer, the read-me, the newer engine).
  WriteFile(product + "/program/V5.8.0.0000/libkvxcore.so", "left over\n");
  par.ClearJournal();
  ASSERT_EQ(0, RunUPDSilent(product + "/hotfix", "/u " + product + "/hotfix/B1300").exitStatus);
  log = DebugLogMessages(true);
  EXPECT_THAT(log, Contains("All KVX quit."));
  EXPECT_EQ(Done("Rollback", product), log.back());
  EXPECT_EQ(Lines({"te kvxreal quit", "te kvxemf quit", "te kvxsch quit", "te kvxcm quit",
                   "te kvxmon quit", "load kvxemf", "load kvxsch", "load kvxmon", "load kvxreal",
                   "load kvxcm"}),
            par.JournalCommands());
  EXPECT_EQ(oldDir, fs::read_symlink(product + "/program/latest"));
  const std::string alder = "./engine/alder/V9.750.1002";
  EXPECT_EQ(std::set<std::string>({alder, alder + "/version.txt",
                                   "content " + alder + "/version.txt", "./engine/alder/latest",
                                   "./hotfix/UPDSilent", "content ./hotfix/UPDSilent",
                                   "./program/latest", "./program/readme_kvxn5_linux.txt",
                                   "content ./program/readme_kvxn5_linux.txt"}),
            Changed(before, Snapshot(product)));
  EXPECT_NE(0u, MappedInode(TaskPid(par, "kvxreal"), oldDir + "/libkvxcore.so"));
}

TEST_F(RoundTrip, LibrariesSwappedInPlace) {
  Host host;
  const std::string product = host.Product(), dir = host.Program(1200);
  const std::string core = dir + "/libkvxcore.so";
  // kvxsupp is never restarted: it keeps what it mapped before the update.
  host.StartTasks({"kvxreal", "kvxemf", "kvxcm", "kvxsupp"});
  SimPartition& par = host.Partition();
  const pid_t keeper = TaskPid(par, "kvxsupp");
  const unsigned long oldInode = Inode(core);
  const Lines files = {"libkvxcore.so", "libkvxscan.so"};
  const std::string pkg =
      host.Package({1300, files, "CreateNewFolder=0\n", {{"alder", "9.750.1002"}}});
  const std::string before = Snapshot(product);

  ASSERT_EQ(0, RunUPDSilent(pkg).exitStatus);
  const Lines log = DebugLogMessages(true);
  auto at = log.begin();  // these lines in this order, others between them
  for (const std::string& line :
       Lines{"Copy replace the file in KVX program with the new one.",
             "Back up the dlls from (" + dir + ") to (" + product + "/hotfix/B1300/FileGroup1)",
             "Before Sleep", "Sleep over", "RemoveAllRenamedDlls over", Done("Update", product)})
    EXPECT_NE(log.end(), at = std::find(at, log.end(), line)) << line;
  EXPECT_THAT(log, ::testing::Not(Contains("needUpdate loader")));
  for (const std::string& file : files) {
    EXPECT_EQ(FileText(file, "package", 1300), ReadFile(dir + "/" + file));
    EXPECT_EQ("775 kvxgroup", ModeGroup(dir + "/" + file));
    EXPECT_EQ(FileText(file, "kvx1", 1200), ReadFile(product + "/hotfix/B1300/FileGroup1/" + file));
    EXPECT_FALSE(fs::exists(dir + "/" + file + "_1"));
  }
  EXPECT_EQ(dir, fs::read_symlink(product + "/program/latest"));
  EXPECT_FALSE(fs::exists(product + "/program/V5.8.0.1300"));
  EXPECT_FALSE(fs::exists(product + "/program/readme_kvxn5_linux.txt"));
  EXPECT_TRUE(fs::exists(product + "/hotfix/B1300/FileGroup1/kvxpatch.ini"));
  // The untouched task still runs on the old library: renamed aside, never
  // overwritten, and deleted only under it. The restarted ones map the new.
  ASSERT_EQ(keeper, TaskPid(par, "kvxsupp"));
  EXPECT_EQ(oldInode, MappedInode(keeper, core + "_1 (deleted)"));
  EXPECT_EQ(Inode(core), MappedInode(TaskPid(par, "kvxreal"), core));
  EXPECT_NE(oldInode, Inode(core));
  EXPECT_EQ(Lines({"te kvxemf quit", "load kvxemf", "load kvxsch", "load kvxmon", "te kvxreal quit",
                   "load kvxreal", "restart task kvxcm"}),
            par.JournalCommands());

  // Rollback: the saved libraries swapped back under the running tasks, the
  // same bytes, now the group's.
  par.ClearJournal();
  ASSERT_EQ(0, RunUPDSilent(product + "/hotfix", "/u " + product + "/hotfix/B1300").exitStatus);
  EXPECT_EQ(
      Lines({"te kvxemf quit", "load kvxemf", "te kvxsch quit", "load kvxsch", "te kvxmon quit",
             "load kvxmon", "te kvxreal quit", "load kvxreal", "restart task kvxcm"}),
      par.JournalCommands());
  const std::string alder = "./engine/alder/V9.750.1002";
  EXPECT_EQ(std::set<std::string>(
                {alder, alder + "/version.txt", "content " + alder + "/version.txt",
                 "./engine/alder/latest", "./hotfix/UPDSilent", "content ./hotfix/UPDSilent",
                 "./program/V5.8.0.1200/libkvxcore.so", "./program/V5.8.0.1200/libkvxscan.so"}),
            Changed(before, Snapshot(product)));
  EXPECT_EQ(Inode(core), MappedInode(TaskPid(par, "kvxreal"), core));
}

}  // namespace
