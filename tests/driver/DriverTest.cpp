// The installer as a black box: argument shapes, registries that are missing,
// malformed, empty or of another kind, and what the run logs and returns.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/TestSupport.h"

using namespace kvxtest;

namespace {

// -300 as a shell sees it.
constexpr int kFailedStatus = 212;

const char kUpdateBanner[] = "=============================Update KVX=======================";
const char kRollbackBanner[] = "=============================Rollback KVX=======================";
const char kEngineBanner[] = "=============================Rollback KVX ENGINE================";

class Driver : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!InSandbox()) GTEST_SKIP() << "writes /etc/kvxsysV3.ini: runs only inside the sandbox";
    ClearDebugLog();
    std::remove("/etc/kvxsysV3.ini");
  }
  void TearDown() override { std::remove("/etc/kvxsysV3.ini"); }

  // Runs the installer from the folder pkg with the given arguments.
  int Run(const std::string& args, const std::string& pkg = "/") {
    const std::string bin = BuildDir() + "/driver/UPDSilent";
    return RunCommand("cd '" + pkg + "' && '" + bin + "' " + args).exitStatus;
  }

  // One instance with one partition and a program build, under the tree.
  std::string AddInstance(const std::string& name, const std::string& version = "V5.8.0",
                          const std::string& type = "64-bit") {
    const std::string product = tree_ / name;
    WriteFile(product + "/program/V5.8.0.1200/libkvx.so", "lib");
    WriteFile(product + "/notes.ini", "[Notes]\nDirectory=" + product + "/data\nNotesProgram=" +
                                          product + "/bin\n");
    sections_ += "[" + name + "]\nProductPath=" + product + "/\nProductVersion=" + version +
                 "\nInstallType=" + type + "\nDomSvrIKVXCount=1\nDomSvrIKVXSecs=Par1\nPar1=" +
                 product + "/notes.ini\n";
    names_ += (names_.empty() ? "" : ",") + name;
    return product;
  }
  void WriteRegistry() {
    WriteFile("/etc/kvxsysV3.ini", "[KVXInstances]\nKVXInstanceList=" + names_ + "\n" + sections_);
  }

  static bool Logged(const std::string& message) {
    const auto messages = DebugLogMessages();
    return std::find(messages.begin(), messages.end(), message) != messages.end();
  }
  static int CountLogged(const std::string& message) {
    const auto messages = DebugLogMessages();
    return static_cast<int>(std::count(messages.begin(), messages.end(), message));
  }

  TempTree tree_;
  std::string sections_;
  std::string names_;
};

struct ShapeCase {
  const char* name;
  const char* args;
  const char* banner;  // "" when the shape selects no mode
};

const ShapeCase kShapes[] = {
    {"NoArgumentIsUpdate", "", kUpdateBanner},
    {"SlashUWithoutFolder", "/u", ""},
    {"SlashUWithFolder", "/u /pkg", kRollbackBanner},
    {"SlashUWithTwoWords", "/u /pkg more", ""},
    {"UpperCaseSlashU", "/U /pkg", ""},
    {"LongerWordThanSlashU", "/ux /pkg", ""},
    {"SlashUeWithOneWord", "/ue alder", ""},
    {"SlashUeWithOnePair", "/ue alder V9.750.1002", kEngineBanner},
    {"SlashUeWithThreeWords", "/ue alder V9.750.1002 birch", ""},
    {"SlashUeWithTenWords", "/ue a 1 b 2 c 3 d 4 e 5", kEngineBanner},
    {"EvenCountOtherWord", "/x a b", ""},
};

class ArgumentShape : public Driver, public ::testing::WithParamInterface<ShapeCase> {};

// Without a registry every shape ends at the registry, so what differs is only
// the banner, and the run fails before any package setting is read.
TEST_P(ArgumentShape, LogsItsBannerAndFailsWithoutRegistry) {
  const ShapeCase& c = GetParam();
  EXPECT_EQ(kFailedStatus, Run(c.args));
  const auto messages = DebugLogMessages();
  ASSERT_GE(messages.size(), 2u);
  const std::vector<std::string> banners = {kUpdateBanner, kRollbackBanner, kEngineBanner};
  int bannerCount = 0;
  for (const auto& m : messages)
    bannerCount += std::count(banners.begin(), banners.end(), m) ? 1 : 0;
  if (*c.banner) {
    EXPECT_EQ(c.banner, messages.front());
    EXPECT_EQ(1, bannerCount);
  } else {
    EXPECT_EQ(0, bannerCount);
  }
  EXPECT_EQ("Parsing kvxsys.ini error.", messages.back());
  EXPECT_FALSE(Logged("file number is 0 from kvxpatch.ini"));
}

INSTANTIATE_TEST_SUITE_P(Shapes, ArgumentShape, ::testing::ValuesIn(kShapes),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(Driver, MissingRegistryLogsItsPathAndFails) {
  EXPECT_EQ(kFailedStatus, Run(""));
  const std::vector<std::string> expected = {
      kUpdateBanner,
      "Info:ParseKVXInsINI Begin.",
      "g_lstKVXNIns size is 0",
      "Error: Cannot find the kvxsys.ini in '/etc/kvxsysV3.ini' !",
      "Parsing kvxsys.ini error.",
  };
  EXPECT_EQ(expected, DebugLogMessages());
}

TEST_F(Driver, MalformedRegistryFailsBeforeThePackageIsRead) {
  WriteFile("/etc/kvxsysV3.ini", "[KVXInstances]\nKVXInstanceList=one\n[one]\nProductPath=/p\n");
  EXPECT_EQ(kFailedStatus, Run(""));
  EXPECT_TRUE(Logged("Parsing kvxsys.ini error."));
  EXPECT_FALSE(Logged("Cannot open the file. (./FileGroup1/kvxpatch.ini)"));
}

TEST_F(Driver, RegistryWithoutInstanceListMeansNothingInstalled) {
  WriteFile("/etc/kvxsysV3.ini", "[KVXInstances]\nOther=1\n");
  EXPECT_EQ(kFailedStatus, Run(""));
  EXPECT_TRUE(Logged("There is no 'KVXInstanceList' in 'KVXInstances'"));
  EXPECT_EQ("No 64-bit KVX 5.8 installed.", DebugLogMessages().back());
}

TEST_F(Driver, InstancesOfAnotherVersionOrTypeAreNotInstalled) {
  AddInstance("old", "V5.7.0");
  AddInstance("narrow", "V5.8.0", "32-bit");
  WriteRegistry();
  EXPECT_EQ(kFailedStatus, Run(""));
  EXPECT_EQ("No 64-bit KVX 5.8 installed.", DebugLogMessages().back());
}

TEST_F(Driver, NoModeReadsEverythingAndChangesNothing) {
  AddInstance("one");
  AddInstance("two");
  WriteRegistry();
  EXPECT_EQ(kFailedStatus, Run("/U " + tree_.path()));
  EXPECT_TRUE(Logged("There is 2 KVX installed in current system!"));
  // No mode still reads the settings, from an empty package folder.
  EXPECT_TRUE(Logged("Cannot open the file. (/kvxpatch.ini)"));
  EXPECT_TRUE(Logged("file number is 0 from kvxpatch.ini"));
  EXPECT_FALSE(Logged("=============================Start update (" + tree_ / "one" +
                      ")======================="));
}

// An update without a package has build 0, which no instance accepts: every
// instance is skipped and the run fails as a whole.
TEST_F(Driver, UpdateWithoutPackageSkipsEveryInstance) {
  const std::string one = AddInstance("one");
  const std::string two = AddInstance("two");
  WriteRegistry();
  TempTree package;
  EXPECT_EQ(kFailedStatus, Run("", package.path()));
  EXPECT_TRUE(Logged("Cannot open the file. (./FileGroup1/kvxpatch.ini)"));
  for (const std::string& product : {one, two}) {
    EXPECT_TRUE(Logged("=============================Start update (" + product +
                       ")======================="));
    EXPECT_TRUE(Logged("The current program version is newer than that in this package. So quit. "
                       "(Old," + product + "/program/V5.8.0.1200:New," + product +
                       "/program/V5.8.0.0/)"));
  }
  EXPECT_EQ(2, CountLogged("The build number of current KVXN is (1200)"));
}

TEST_F(Driver, RollbackTakesThePackageFolderAsTyped) {
  AddInstance("one");
  WriteRegistry();
  EXPECT_EQ(kFailedStatus, Run("/u /some/hotfix/"));
  EXPECT_TRUE(Logged("Cannot open the file. (/some/hotfix//FileGroup1/kvxpatch.ini)"));
  EXPECT_TRUE(Logged("There is no HF, so return"));
}

}  // namespace
