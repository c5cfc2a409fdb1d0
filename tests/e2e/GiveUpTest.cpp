// A task that ignores every stop command: the rollback of a new program
// folder waits ten real ten-second polls, gives up, loads the tasks again and
// leaves the hotfix installed, ready for another attempt.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/SampleHost.h"

using e2e::InstallerRun;
using e2e::InstanceSpec;
using e2e::PackageSpec;
using e2e::SampleHost;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

TEST(RollbackGiveUp, TasksThatNeverStopKeepTheHotfixInstalled) {
  if (!kvxtest::InSandbox()) GTEST_SKIP() << "runs the installer: only inside the sandbox";
  SampleHost host({InstanceSpec()});
  // Installed while the server is down, so the update itself does not wait.
  ASSERT_EQ(0, host.RunUpdate(host.MakePackage(PackageSpec())).status);
  kvxtest::SimPartition& par = host.Partition(0, 0);
  par.Domsim("behave", "kvxreal never");
  host.StartTasks(0, 0, {"kvxreal", "kvxemf"});
  const pid_t real = e2e::TaskPid(par, "kvxreal");
  const e2e::TreeSnapshot before = e2e::TakeSnapshot(host.Product());

  const InstallerRun run = host.RunRollback(0, 1300);

  EXPECT_EQ(e2e::kRunFailed, run.status) << run.output;
  EXPECT_GE(run.seconds, 100.0);
  EXPECT_EQ(10, run.Count("Waiting for terminating all KVX. 1 KVX is running"));
  EXPECT_FALSE(run.Logged("All KVX quit."));
  EXPECT_EQ("Has try 10 times to stop KVX, but still failed, so give up.", run.OwnLines().back());

  std::vector<std::string> expected = {"te kvxreal quit", "te kvxemf quit", "te kvxmon quit"};
  for (int pass = 0; pass < 10; ++pass) {
    expected.push_back("te kvxreal quit");
    expected.push_back("te kvxmon quit");
  }
  for (const char* load : {"load kvxemf", "load kvxsch", "load kvxmon", "load kvxcm"}) {
    expected.push_back(load);
  }
  EXPECT_THAT(par.JournalCommands(), ElementsAreArray(expected));
  for (const kvxtest::JournalEntry& entry : par.Journal()) {
    EXPECT_EQ(kvxtest::ServerUid(), entry.uid) << entry.command;
  }
  EXPECT_EQ(real, e2e::TaskPid(par, "kvxreal"));
  EXPECT_NE(-1, e2e::TaskPid(par, "kvxemf"));
  EXPECT_NE(-1, e2e::TaskPid(par, "kvxcm"));
  // Nothing removed: the hotfix's folder, its record and latest as they were.
  EXPECT_THAT(e2e::DiffSnapshots(before, e2e::TakeSnapshot(host.Product())), IsEmpty());
}

}  // namespace
