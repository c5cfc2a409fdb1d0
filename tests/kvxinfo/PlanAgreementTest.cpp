// The plan against the run it predicts: for every way the installer's gates
// can end an instance, kvxinfo's decision, gate and reason line, then
// UPDSilent on the same host, whose exit status and log must match.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "kvxinfo/SampleHost.h"

using namespace kvxtest;

namespace {

namespace fs = std::filesystem;

constexpr char kNewFolder[] =
    "Files=libkvxcore.so\nBuildNumber=1300\nCreateNewFolder=1\nUpdateLoader=1\nUpdateExt=1\n";

struct GateCase {
  const char* name;
  std::string config;
  std::function<void(const SampleHost&)> prepare;
  const char* decision;
  const char* gate;  // "null" when the package applies
  const char* outcome;
  int installerExit;
};

void Nothing(const SampleHost&) {}

const GateCase kGateCases[] = {
    {"Applies", kNewFolder, Nothing, "applies", "null", "completed", 0},
    {"ProgramNotOlder", "Files=libkvxcore.so\nBuildNumber=1200\n", Nothing, "skipped",
     "program build", "skipped", 212},
    {"HotfixNotOlder", kNewFolder,
     [](const SampleHost& h) { fs::create_directories(h.product + "/hotfix/B1300"); }, "skipped",
     "hotfix build", "skipped", 212},
    {"DepentBuildDiffers", std::string(kNewFolder) + "DepentBuild=1199\n", Nothing, "fails",
     "DepentBuild", "failed", 212},
    {"ServicePackMissing", std::string(kNewFolder) + "ServicePack=1201\n", Nothing, "fails",
     "ServicePack", "failed", 212},
    {"PreviousBuildExceeded", std::string(kNewFolder) + "PreviousBuild=1249\n",
     [](const SampleHost& h) { fs::create_directories(h.product + "/hotfix/B1250"); }, "fails",
     "PreviousBuild", "failed", 212},
    {"DatabaseMissing", kNewFolder,
     [](const SampleHost& h) { fs::remove(h.dataDir + "/kvx/kvtime.nsf"); }, "fails", "databases",
     "failed", 212},
    {"NoProgramBuild", kNewFolder,
     [](const SampleHost& h) {
       fs::remove(h.product + "/program/latest");
       fs::remove_all(h.product + "/program/V5.8.0.1200");
     },
     "fails", "program folder", "failed", 212},
};

class PlanAgreement : public ::testing::TestWithParam<GateCase> {
 protected:
  void SetUp() override {
    if (!InSandbox()) GTEST_SKIP() << "writes /etc/kvxsysV3.ini: runs only inside the sandbox";
    ClearDebugLog();
  }
  void TearDown() override { std::remove("/etc/kvxsysV3.ini"); }
  TempTree tree_;
};

TEST_P(PlanAgreement, InstallerDoesWhatThePlanSaid) {
  const GateCase& c = GetParam();
  SampleHost host(tree_, tree_.path());
  host.WritePackage(c.config);
  c.prepare(host);

  const CommandResult plan = RunKvxinfo("--json plan " + host.package);
  EXPECT_EQ(c.decision, JsonField(plan.output, "decision")) << plan.output;
  EXPECT_EQ(c.gate, JsonField(plan.output, "gate")) << plan.output;
  EXPECT_EQ(c.outcome, JsonField(plan.output, "installer_outcome"));
  EXPECT_EQ(std::to_string(c.installerExit), JsonField(plan.output, "installer_exit"));
  EXPECT_FALSE(fs::exists(DebugLogPath())) << "kvxinfo wrote the installer's log";

  EXPECT_EQ(c.installerExit, RunInstaller(host.package));
  const std::vector<std::string> log = DebugLogMessages();
  const std::string expectedLine = c.installerExit == 0
                                       ? "=============================Update (" + host.product +
                                             ") successfully======================="
                                       : JsonField(plan.output, "reason");
  EXPECT_NE(log.end(), std::find(log.begin(), log.end(), expectedLine))
      << "the installer did not log: " << expectedLine;
}

INSTANTIATE_TEST_SUITE_P(Gates, PlanAgreement, ::testing::ValuesIn(kGateCases),
                         [](const auto& i) { return std::string(i.param.name); });

// An in-place update on a file system too small for the backup and the new
// library: the plan says it fails, and the run that follows "completes" with
// the library gone from the program folder.
TEST(PlanFreeSpace, InPlaceOutOfSpaceFailsAndTheRunLosesTheLibrary) {
  if (!InSandbox()) GTEST_SKIP() << "mounts a small file system: runs only inside the sandbox";
  TempTree tree;
  const std::string small = tree / "small";
  fs::create_directories(small);
  ASSERT_EQ(0, ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m")) << "cannot mount tmpfs";
  {
    SampleHost host(tree, small);
    const std::string library = host.product + "/program/V5.8.0.1200/libkvxcore.so";
    WriteFile(library, std::string(600 * 1024, 'o'));
    host.WritePackage("Files=libkvxcore.so\nBuildNumber=1300\nCreateNewFolder=0\n");
    WriteFile(host.package + "/FileGroup1/libkvxcore.so", std::string(600 * 1024, 'n'));

    const CommandResult plan = RunKvxinfo("plan " + host.package);
    EXPECT_EQ(1, plan.exitStatus);
    EXPECT_NE(std::string::npos, plan.output.find("fails (free space)")) << plan.output;
    EXPECT_NE(std::string::npos,
              plan.output.find("\n  reason            not enough free space in "))
        << plan.output;

    EXPECT_EQ(0, RunInstaller(host.package));
    const std::string after = ReadFile(library);
    EXPECT_NE(std::string(600 * 1024, 'n'), after) << "the new library arrived after all";
    EXPECT_NE(std::string(600 * 1024, 'o'), after) << "the old library survived after all";
    std::remove("/etc/kvxsysV3.ini");
  }
  ::umount(small.c_str());
}

}  // namespace
