// An update and the rollback of the hotfix it installed, once for each way a
// package installs, against a stand-in partition whose tasks run and hold the
// product's libraries open. Each trip waits through the installer's real
// restart sleeps, so each asserts everything along its way.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>

#include "HostKit.h"

namespace fs = std::filesystem;
using namespace kvxtest;
using Paths = std::set<std::string>;

namespace {

// The paths whose entry (type, mode, owner, link) or, as "content <path>",
// whose bytes differ between two snapshots of the same tree.
Paths Changed(const std::string& before, const std::string& after) {
  Paths changed;
  for (const auto& [one, other] : {std::pair(before, after), std::pair(after, before)}) {
    std::istringstream in(one);
    for (std::string line, w[4]; std::getline(in, line);) {
      if (("\n" + other).find("\n" + line + "\n") != std::string::npos) continue;
      std::istringstream(line) >> w[0] >> w[1] >> w[2] >> w[3];
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
    unsigned long inode = 0;
    char mapped[4096] = "";
    if (std::sscanf(line.c_str(), "%*s %*s %*s %*s %lu %4095[^\n]", &inode, mapped) == 2 &&
        mapped == path)
      return inode;
  }
  return 0;
}
// The running task's process id; -1 when it does not run.
pid_t TaskPid(const SimPartition& par, const std::string& task) {
  std::istringstream in(ReadFile(par.dataDir + "/domsim/tasks"));
  long pid = 0;
  for (std::string name; in >> pid >> name;)
    if (name == task) return static_cast<pid_t>(pid);
  return -1;
}

std::string Done(const std::string& what, const std::string& product) {
  return "=============================" + what + " (" + product +
         ") successfully=======================";
}

struct TripCase {
  const char* name;
  bool newFolder;
  Lines rollbackCommands;  // the first partition's journal during "/u"
};
class RoundTrip : public ::testing::TestWithParam<TripCase> {};

TEST_P(RoundTrip, UpdateThenRollback) {
  const TripCase& c = GetParam();
  InstanceSpec want;
  want.partitions = 2;  // the second one's server stays down
  Host host({want});
  const std::string product = host.Product(), oldDir = host.Program(1200);
  const std::string dir = c.newFolder ? host.Program(1300) : oldDir, core = "/libkvxcore.so";
  for (size_t k = 0; k < 2; ++k) WriteFile(host.Partition(0, k).binDir + "/libkvxext.so", "old\n");
  // kvxsupp is never restarted: it keeps what it mapped before the update.
  host.StartTasks({"kvxreal", "kvxemf", "kvxcm", "kvxsupp"});
  SimPartition& par = host.Partition();
  const pid_t keeper = TaskPid(par, "kvxsupp");
  const unsigned long oldInode = Inode(oldDir + core);
  const Lines files = c.newFolder
                          ? Lines{"libkvxcore.so", "libkvxscan.so", "libkvxext.so", "loader"}
                          : Lines{"libkvxcore.so", "libkvxscan.so"};
  const std::string pkg = host.Package(
      {1300,
       files,
       c.newFolder ? "ServicePack=1200\nUpdateLoader=1\nUpdateExt=1" : "CreateNewFolder=0",
       {{"alder", "9.750.1002"}}});
  const std::string before = Snapshot(product), taskProgram = ReadFile(par.binDir + "/kvxcm");

  ASSERT_EQ(0, RunUPDSilent(pkg).exitStatus);
  EXPECT_EQ(Done("Update", product), DebugLogMessages(true).back());
  // The old build's files saved; the listed ones in place, all the group's.
  // A new folder is the old one with the package's files on top.
  for (const std::string& file : files)
    EXPECT_EQ(FileText(file, "kvx1", 1200), ReadFile(product + "/hotfix/B1300/FileGroup1/" + file));
  for (const auto& entry : fs::recursive_directory_iterator(c.newFolder ? oldDir : dir)) {
    const std::string rel = fs::relative(entry.path(), oldDir), copy = dir + "/" + rel;
    const bool listed = std::count(files.begin(), files.end(), rel);
    if (!entry.is_directory()) {
      EXPECT_EQ(listed ? FileText(rel, "package", 1300) : ReadFile(entry.path()), ReadFile(copy));
    }
    if (c.newFolder || listed) {
      EXPECT_EQ("775 kvxgroup", ModeGroup(copy)) << rel;
    }
    EXPECT_FALSE(fs::exists(copy + "_1")) << rel;
  }
  EXPECT_EQ(c.newFolder ? dir + "/" : dir, fs::read_symlink(product + "/program/latest"));
  // Every partition, running or not, gets the new loader and extension manager.
  for (size_t k = 0; k < 2; ++k) {
    const std::string bin = host.Partition(0, k).binDir + "/";
    EXPECT_EQ(c.newFolder ? FileText("loader", "package", 1300) : taskProgram,
              ReadFile(bin + "kvxcm"));
    EXPECT_EQ(c.newFolder ? FileText("libkvxext.so", "package", 1300) : "old\n",
              ReadFile(bin + "libkvxext.so"));
  }
  // The tasks restart once the new files are complete; the untouched one
  // still runs on the old library, in place renamed aside, never
  // overwritten, and deleted only under it.
  EXPECT_EQ(Lines({"te kvxemf quit", "load kvxemf", "load kvxsch", "load kvxmon", "te kvxreal quit",
                   "load kvxreal", "restart task kvxcm"}),
            par.JournalCommands());
  EXPECT_EQ(Inode(dir + core), MappedInode(TaskPid(par, "kvxreal"), dir + core));
  ASSERT_EQ(keeper, TaskPid(par, "kvxsupp"));
  EXPECT_EQ(oldInode, MappedInode(keeper, oldDir + core + (c.newFolder ? "" : "_1 (deleted)")));

  // Rollback (in a new folder after a broken run left the scratch folder):
  // the product tree as it was but for what a round trip leaves.
  if (c.newFolder) WriteFile(product + "/program/V5.8.0.0000/libkvxcore.so", "left over\n");
  par.ClearJournal();
  ASSERT_EQ(0, RunUPDSilent(product + "/hotfix", "/u " + product + "/hotfix/B1300").exitStatus);
  EXPECT_EQ(Done("Rollback", product), DebugLogMessages(true).back());
  EXPECT_EQ(c.rollbackCommands, par.JournalCommands());
  EXPECT_EQ(oldDir, fs::read_symlink(product + "/program/latest"));
  Paths expected = {"./engine/alder/V9.750.1002",
                    "./engine/alder/V9.750.1002/version.txt",
                    "content ./engine/alder/V9.750.1002/version.txt",
                    "./engine/alder/latest",
                    "./hotfix/UPDSilent",
                    "content ./hotfix/UPDSilent"};
  const Lines more = c.newFolder ? Lines{"./program/latest", "./program/readme_kvxn5_linux.txt",
                                         "content ./program/readme_kvxn5_linux.txt"}
                                 : Lines{"./program/V5.8.0.1200/libkvxcore.so",
                                         "./program/V5.8.0.1200/libkvxscan.so"};
  expected.insert(more.begin(), more.end());
  EXPECT_EQ(expected, Changed(before, Snapshot(product)));
  EXPECT_EQ(Inode(oldDir + core), MappedInode(TaskPid(par, "kvxreal"), oldDir + core));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Styles, RoundTrip, ::testing::Values(
    TripCase{"NewProgramFolder", true, {"te kvxreal quit", "te kvxemf quit", "te kvxsch quit", "te kvxcm quit", "te kvxmon quit", "load kvxemf", "load kvxsch", "load kvxmon", "load kvxreal", "load kvxcm"}},
    TripCase{"LibrariesSwappedInPlace", false, {"te kvxemf quit", "load kvxemf", "te kvxsch quit", "load kvxsch", "te kvxmon quit", "load kvxmon", "te kvxreal quit", "load kvxreal", "restart task kvxcm"}}),
    [](const auto& i) { return std::string(i.param.name); });
// clang-format on

}  // namespace
