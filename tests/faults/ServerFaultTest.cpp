// Faults on the Domino side: a partition whose server is down, a task that
// never quits, a notes.ini whose owner has been deleted.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "faults/FaultHost.h"

namespace faults {
namespace {

bool Has(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

TEST(ServerFaultTest, ServerDownUpdateAndRollbackSendNothing) {
  if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs root inside the sandbox";
  FaultHost host;
  const std::string package = host.MakePackage(PackageSpec{});

  const RunResult update = host.Run(package);
  EXPECT_EQ(0, update.status);
  EXPECT_TRUE(update.Logged("Domino isnot running now."));
  EXPECT_EQ(host.PackageLibrary(kLibraries[0]),
            kvxtest::ReadFile(host.ProgramDir(kOldBuild) + "/" + kLibraries[0]));

  const RunResult rollback = host.Run(package, "/u " + host.Product() + "/hotfix/B1300");
  EXPECT_EQ(0, rollback.status);
  EXPECT_EQ(std::vector<std::string>{}, host.ChangedOriginals());
  EXPECT_EQ(std::vector<std::string>{}, host.Partition().JournalCommands());
}

// "/u" of a new-folder hotfix stops the tasks and polls ten times ten
// seconds; a task that ignores its end command makes it give up, load the
// tasks again and keep the hotfix. Only kvxreal, kvxdbs and kvxupd are
// counted in that wait, so the stubborn task is kvxreal.
TEST(ServerFaultTest, TaskThatNeverQuitsKeepsTheHotfix) {
  if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs root inside the sandbox";
  FaultHost host;
  PackageSpec want;
  want.createNewFolder = 1;
  const std::string package = host.MakePackage(want);
  ASSERT_EQ(0, host.Run(package).status);  // server down: no waits
  host.StartServer();
  host.Partition().Domsim("behave", "kvxreal never");

  const std::string hotfix = host.Product() + "/hotfix/B1300";
  const RunResult rollback = host.Run(package, "/u " + hotfix);
  EXPECT_EQ(kRunFailed, rollback.status);
  EXPECT_TRUE(rollback.Logged("Waiting for terminating all KVX. 1 KVX is running"));
  EXPECT_TRUE(rollback.Logged("Has try 10 times to stop KVX, but still failed, so give up."));
  EXPECT_GE(rollback.seconds, 90);
  EXPECT_EQ(host.ProgramDir(kNewBuild), host.LatestTarget());
  EXPECT_TRUE(std::filesystem::is_directory(hotfix + "/FileGroup1"));
  EXPECT_EQ(std::vector<std::string>{}, host.ChangedOriginals());
  const std::vector<std::string> tasks = host.Partition().RunningTasks();
  for (const char* task : {"kvxreal", "kvxemf", "kvxmon", "kvxsch", "kvxcm"})
    EXPECT_TRUE(Has(tasks, task)) << task << " not loaded again";
}

// The server runs under a uid that no longer has an account. The console
// commands go out under the uid that owns notes.ini all the same.
TEST(ServerFaultTest, NotesIniOwnerDeleted) {
  if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs root inside the sandbox";
  FaultHost host;
  kvxtest::SimPartition& par = host.Partition();
  ASSERT_EQ(0, kvxtest::RunCommand("useradd -M -N -s /usr/sbin/nologin kvxgone").exitStatus);
  ASSERT_EQ(0,
            kvxtest::RunCommand("chown -R kvxgone " + par.notesIni + " " + par.dataDir).exitStatus);
  host.StartServer();
  struct stat st {};
  ASSERT_EQ(0, ::stat(par.notesIni.c_str(), &st));
  ASSERT_EQ(0, kvxtest::RunCommand("userdel -f kvxgone").exitStatus);
  const std::string package = host.MakePackage(PackageSpec{});

  const RunResult update = host.Run(package);
  EXPECT_EQ(0, update.status);
  EXPECT_TRUE(update.Logged("stat: over, uid is: " + std::to_string(st.st_uid)));
  const std::vector<kvxtest::JournalEntry> journal = par.Journal();
  ASSERT_FALSE(journal.empty());
  for (const kvxtest::JournalEntry& e : journal) EXPECT_EQ(st.st_uid, e.uid) << e.command;
  EXPECT_TRUE(Has(par.RunningTasks(), "kvxreal"));
  EXPECT_EQ(std::vector<std::string>{}, host.LostOriginals());
}

}  // namespace
}  // namespace faults
