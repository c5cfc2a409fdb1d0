// The installer killed (SIGKILL) at several points of an in-place update,
// then the same update run again, then "/u". The point is found by polling
// the debug log for the line the installer writes just before it.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <string>

#include "faults/FaultHost.h"

namespace faults {
namespace {

struct KillCase {
  const char* name;
  const char* killAfter;  // start of the log line that triggers the kill
  bool serverUp;
};

class KillTest : public ::testing::TestWithParam<KillCase> {};

TEST_P(KillTest, RerunIsSkippedAndRollbackRestores) {
  if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs root inside the sandbox";
  const KillCase& c = GetParam();
  FaultHost host;
  if (c.serverUp) host.StartServer();
  const std::string package = host.MakePackage(PackageSpec{});

  const pid_t run = host.Start(package);
  const bool seen = WaitForLogged(c.killAfter, 30000);
  ::kill(run, SIGKILL);
  EXPECT_EQ(128 + SIGKILL, host.Wait(run));
  ASSERT_TRUE(seen) << c.killAfter;
  EXPECT_EQ(std::vector<std::string>{}, host.LostOriginals()) << "after the kill";

  // The backup folder already names the hotfix, so the same update is
  // taken for installed and skipped.
  const RunResult again = host.Run(package);
  EXPECT_EQ(kRunFailed, again.status);
  EXPECT_TRUE(again.LoggedPrefix("The current hotfix version is newer than that in this package."));
  EXPECT_EQ(std::vector<std::string>{}, host.LostOriginals()) << "after the second run";

  // The hotfix folder has no kvxpatch.ini yet; the package's own is read.
  const RunResult rollback = host.Run(package, "/u " + package);
  EXPECT_EQ(0, rollback.status);
  EXPECT_TRUE(rollback.Logged("=============================Rollback (" + host.Product() +
                              ") successfully======================="));
  EXPECT_EQ(std::vector<std::string>{}, host.ChangedOriginals());
  EXPECT_FALSE(std::filesystem::exists(host.Product() + "/hotfix/B1300"));
  if (c.serverUp) {
    std::vector<std::string> tasks = host.Partition().RunningTasks();
    EXPECT_NE(tasks.end(), std::find(tasks.begin(), tasks.end(), "kvxreal"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, KillTest,
    ::testing::Values(
        // Backup whole; killed among the renames and the copy of the new files.
        KillCase{"DuringSwap", "Info: Rename the DLLs in (", false},
        // New files in, originals aside, tasks being restarted.
        KillCase{"DuringRestart", "Before Sleep", true},
        // In the five seconds before the aside files go.
        KillCase{"DuringReleaseWait", "Domino isnot running now.", false},
        // Aside files being deleted, hotfix not yet recorded.
        KillCase{"BeforeRecord", "Info: Remove the DLLs in (", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace faults
