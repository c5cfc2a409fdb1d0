// The inventory on a host with a running stand-in server, proof that neither
// view changes anything, kvxinfo's own checks of what a run will need, and
// the exit statuses its man page promises.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "control/SimHarness.h"
#include "kvxinfo/SampleHost.h"

using namespace kvxtest;

namespace {

namespace fs = std::filesystem;

class Views : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!InSandbox()) GTEST_SKIP() << "writes /etc/kvxsysV3.ini: runs only inside the sandbox";
    ClearDebugLog();
  }
  void TearDown() override { std::remove("/etc/kvxsysV3.ini"); }
  TempTree tree_;
};

TEST_F(Views, InventoryReadsServerTasksHotfixEnginesAndDatabases) {
  EnsureAccounts();
  SampleHost host(tree_, tree_.path());
  SimPartition par(tree_, "domino");
  fs::create_directories(host.product + "/hotfix/B1250");
  fs::create_directories(host.product + "/engine/alder/V10.000.1000");  // newest, not linked
  fs::remove(host.dataDir + "/kvx/kvquar.nsf");
  par.Start();
  par.SetRunning({"kvxreal", "kvxcm"});

  const CommandResult r = RunKvxinfo("--json");
  ASSERT_EQ(0, r.exitStatus) << r.output;
  EXPECT_EQ("1200", JsonField(r.output, "program_build"));
  EXPECT_EQ("V5.8.0.1200", JsonField(r.output, "program_latest"));
  EXPECT_EQ("1250", JsonField(r.output, "hotfix_build"));
  EXPECT_EQ("V10.000.1000", JsonField(r.output, "newest"));
  EXPECT_EQ("V9.750.1001", JsonField(r.output, "latest"));
  EXPECT_EQ(std::string(kServerUser), JsonField(r.output, "owner"));
  EXPECT_EQ("true", JsonField(r.output, "server_running"));
  EXPECT_NE(
      std::string::npos,
      r.output.find("\"tasks_running\": [\n            \"kvxreal\",\n            \"kvxcm\"\n"))
      << r.output;
  EXPECT_EQ("Database \"" + host.dataDir + "/kvx/kvquar.nsf\" has not been generated before.",
            JsonField(r.output, "database_problem"));

  par.Stop();
  const CommandResult stopped = RunKvxinfo("");
  EXPECT_NE(std::string::npos, stopped.output.find("    server          not running\n"))
      << stopped.output;
  EXPECT_NE(std::string::npos, stopped.output.find("    KVX tasks       none\n"));
}

// The whole host tree, the registry and the server's journal are the same
// before and after both views, and no debug log appears.
TEST_F(Views, NeitherViewChangesTheHost) {
  EnsureAccounts();
  SampleHost host(tree_, tree_.path());
  SimPartition par(tree_, "domino");
  host.WritePackage(
      "Files=libkvxcore.so,libkvxext.so\nBuildNumber=1300\nCreateNewFolder=0\n"
      "UpdateLoader=1\nUpdateExt=1\n");
  par.Start();
  par.SetRunning({"kvxreal", "kvxemf", "kvxdtas"});
  par.ClearJournal();
  const std::string before = Fingerprint(tree_.path()) + ReadFile("/etc/kvxsysV3.ini");

  EXPECT_EQ(0, RunKvxinfo("").exitStatus);
  EXPECT_EQ(0, RunKvxinfo("--json").exitStatus);
  const CommandResult plan = RunKvxinfo("plan " + host.package);
  EXPECT_EQ(0, plan.exitStatus) << plan.output;
  EXPECT_EQ(0, RunKvxinfo("--json plan " + host.package).exitStatus);

  EXPECT_EQ(before, Fingerprint(tree_.path()) + ReadFile("/etc/kvxsysV3.ini"));
  EXPECT_TRUE(par.JournalCommands().empty());
  EXPECT_FALSE(fs::exists(DebugLogPath()));
  EXPECT_NE(std::string::npos, plan.output.find("\n  tasks restarted   Par1\n")) << plan.output;
}

struct NeedCase {
  const char* name;
  const char* missingFile;  // left out of the package
  bool ownerGone;           // notes.ini given to a uid without account
  const char* gate;
  const char* reasonStart;
};

const NeedCase kNeeds[] = {
    {"PackageFileMissing", "libkvxscan.so", false, "package files", "file missing in package: "},
    {"NotesIniOwnerGone", "", true, "notes.ini owner", "notes.ini owner of "},
};

class Needs : public ::testing::TestWithParam<NeedCase> {
 protected:
  void SetUp() override {
    if (!InSandbox()) GTEST_SKIP() << "writes /etc/kvxsysV3.ini: runs only inside the sandbox";
  }
  void TearDown() override { std::remove("/etc/kvxsysV3.ini"); }
  TempTree tree_;
};

// The gates pass, so the installer would report the instance completed; the
// plan says it fails and why.
TEST_P(Needs, PlanFailsWhereTheGatesPass) {
  const NeedCase& c = GetParam();
  SampleHost host(tree_, tree_.path());
  host.WritePackage("Files=libkvxcore.so,libkvxscan.so\nBuildNumber=1300\nCreateNewFolder=0\n",
                    c.missingFile);
  if (c.ownerGone) {
    ASSERT_EQ(0, ::chown(host.notesIni.c_str(), 54321, 54321));
  }

  const CommandResult r = RunKvxinfo("--json plan " + host.package);
  EXPECT_EQ(1, r.exitStatus);
  EXPECT_EQ("fails", JsonField(r.output, "decision"));
  EXPECT_EQ("completed", JsonField(r.output, "installer_outcome"));
  EXPECT_EQ(c.gate, JsonField(r.output, "gate"));
  EXPECT_EQ(0u, JsonField(r.output, "reason").rfind(c.reasonStart, 0)) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Checks, Needs, ::testing::ValuesIn(kNeeds),
                         [](const auto& i) { return std::string(i.param.name); });

struct StatusCase {
  const char* name;
  const char* args;  // {pkg} stands for the package folder
  bool registry;
  int status;
  const char* error;  // the JSON error, "" when none is expected
};

const StatusCase kStatuses[] = {
    {"Help", "--help", false, 0, ""},
    {"UnknownWord", "list", false, 64, ""},
    {"PlanWithoutFolder", "plan", false, 64, ""},
    {"NoRegistry", "--json", false, 3,
     "Error: Cannot find the kvxsys.ini in '/etc/kvxsysV3.ini' !"},
    {"NoPackageFolder", "--json plan /nonexistent/pkg", true, 4,
     "Cannot open the package folder. (/nonexistent/pkg)"},
    {"UnreadableSettings", "--json plan {pkg}", true, 4, ""},
    {"NothingToUpdate", "plan {pkg}", true, 2, ""},
};

class Statuses : public ::testing::TestWithParam<StatusCase> {
 protected:
  void SetUp() override {
    if (!InSandbox()) GTEST_SKIP() << "writes /etc/kvxsysV3.ini: runs only inside the sandbox";
    std::remove("/etc/kvxsysV3.ini");
  }
  void TearDown() override { std::remove("/etc/kvxsysV3.ini"); }
  TempTree tree_;
};

TEST_P(Statuses, ExitStatusAsDocumented) {
  const StatusCase& c = GetParam();
  std::string args = c.args;
  if (c.registry) {
    SampleHost host(tree_, tree_.path());
    if (std::string(c.name) == "NothingToUpdate")
      host.WritePackage("Files=libkvxcore.so\nBuildNumber=1100\n");
    else
      fs::create_directories(host.package);
    const std::size_t at = args.find("{pkg}");
    if (at != std::string::npos) args.replace(at, 5, host.package);
  }
  const CommandResult r = RunKvxinfo(args);
  EXPECT_EQ(c.status, r.exitStatus) << r.output;
  if (*c.error) {
    EXPECT_EQ(c.error, JsonField(r.output, "error")) << r.output;
  }
}

INSTANTIATE_TEST_SUITE_P(Exit, Statuses, ::testing::ValuesIn(kStatuses),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
