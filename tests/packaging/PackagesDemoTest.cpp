// Builds both packages with cpack, checks what each holds, runs the skeleton's
// installer, and runs the demo from the stand-in kit unpacked with dpkg -x
// into a scratch root (never installed into the system).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "packaging/PackagingTestSupport.h"
#include "support/TestSupport.h"

namespace kvxtest {
namespace {

constexpr char kSkeletonDir[] = "kvx-update-package-skeleton-5.8.0";

class PackagesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!InSandbox()) return;
    out_ = new TempTree();
    const CommandResult result =
        RunCommand("cpack --config " + ShellQuote(BuildDir() + "/CPackConfig.cmake") + " -B " +
                   ShellQuote(out_->path()) + " 2>&1");
    cpack_status_ = result.exitStatus;
    cpack_output_ = result.output;
  }
  static void TearDownTestSuite() {
    delete out_;
    out_ = nullptr;
  }
  void SetUp() override {
    if (!InSandbox()) GTEST_SKIP() << "needs root inside tests/support/sandbox-run";
    ASSERT_EQ(cpack_status_, 0) << cpack_output_;
  }
  // The one package in the output folder whose name ends in suffix.
  static std::string Package(const std::string& suffix) {
    std::string found;
    for (const std::string& name : FilesUnder(out_->path())) {
      if (name.find('/') == std::string::npos && name.size() > suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        EXPECT_EQ(found, "") << "two packages end in " << suffix;
        found = *out_ / name;
      }
    }
    EXPECT_NE(found, "") << "no package ends in " << suffix << "\n" << cpack_output_;
    return found;
  }
  static std::string DebField(const std::string& field) {
    return RunCommand("dpkg-deb -f " + ShellQuote(Package(".deb")) + " " + field).output;
  }

  static TempTree* out_;
  static int cpack_status_;
  static std::string cpack_output_;
};
TempTree* PackagesTest::out_ = nullptr;
int PackagesTest::cpack_status_ = -1;
std::string PackagesTest::cpack_output_;

TEST_F(PackagesTest, SkeletonUnpacksIntoOneFolderWithARunnableInstaller) {
  TempTree unpacked;
  ASSERT_EQ(RunCommand("tar -xzf " + ShellQuote(Package(".tar.gz")) + " -C " +
                       ShellQuote(unpacked.path()))
                .exitStatus,
            0);
  const std::string top = unpacked / kSkeletonDir;
  std::set<std::string> want{std::string(kSkeletonDir) + "/UPDSilent",
                             std::string(kSkeletonDir) + "/README",
                             std::string(kSkeletonDir) + "/FileGroup1/kvxpatch.ini"};
#ifdef KVX_HAVE_KVXINFO
  want.insert(std::string(kSkeletonDir) + "/kvxinfo");
#endif
  EXPECT_EQ(FilesUnder(unpacked.path()), want);
  EXPECT_TRUE(IsExecutableFile(top + "/UPDSilent"));

  // With no instance registry the packaged installer still runs, logs why
  // it stops and ends with -300.
  RunCommand("rm -f /etc/kvxsysV3.ini");
  ClearDebugLog();
  const CommandResult run = RunCommand("cd " + ShellQuote(top) + " && ./UPDSilent");
  EXPECT_EQ(run.exitStatus, 212);
  EXPECT_EQ(run.output, "");
  const std::vector<std::string> log = DebugLogMessages();
  EXPECT_NE(std::find(log.begin(), log.end(), "Parsing kvxsys.ini error."), log.end());
}

TEST_F(PackagesTest, DebNamesItsMaintainerDescriptionAndDependencies) {
  EXPECT_EQ(DebField("Package"), "kvx-domsim\n");
  EXPECT_NE(DebField("Maintainer").find('@'), std::string::npos);
  EXPECT_NE(DebField("Description").find("\n "), std::string::npos) << "no long description";
  // Package names alone, without their version bounds.
  std::set<std::string> depends;
  const std::string field = DebField("Depends");
  std::istringstream entries(field);
  for (std::string entry; std::getline(entries, entry, ',');) {
    std::istringstream words(entry);
    std::string name;
    words >> name;
    depends.insert(name);
  }
  for (const char* dependency : {"libc6", "libstdc++6", "bash", "util-linux", "passwd"}) {
    EXPECT_EQ(depends.count(dependency), 1u) << dependency << " missing from: " << field;
  }
}

// The statuses the demo printed, in order ("exit status: N" lines).
std::vector<int> ExitStatuses(const std::string& output) {
  constexpr char kStatusLine[] = "exit status: ";
  std::vector<int> statuses;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(kStatusLine, 0) == 0) {
      statuses.push_back(std::atoi(line.c_str() + sizeof(kStatusLine) - 1));
    }
  }
  return statuses;
}

TEST_F(PackagesTest, DemoRunsFromTheUnpackedKit) {
  TempTree root;
  ASSERT_EQ(RunCommand("dpkg -x " + ShellQuote(Package(".deb")) + " " + ShellQuote(root.path()))
                .exitStatus,
            0);
  for (const std::string& file : FilesUnder(root.path())) {
    EXPECT_EQ(file.rfind("usr/", 0), 0u) << "outside /usr: " << file;
  }

  // The launcher starts a sandbox of its own inside this one.
  const CommandResult demo = RunCommand(
      ShellQuote(root / (std::string("usr/") + KVX_BINDIR + "/kvx-domsim-demo")) + " 2>&1");
  EXPECT_EQ(demo.exitStatus, 0) << demo.output;
  // The update, "/u" and "/ue" each ended with status 0.
  EXPECT_EQ(ExitStatuses(demo.output), (std::vector<int>{0, 0, 0})) << demo.output;
  EXPECT_NE(demo.output.find("hotfixes: B1300"), std::string::npos) << demo.output;
}

}  // namespace
}  // namespace kvxtest
