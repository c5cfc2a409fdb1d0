// The installer and the package settings left in the hotfix tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "install/Install.h"
#include "install/InstallTestSupport.h"

namespace {

using installtest::Facts;
using kvxtest::DebugLogMessages;
using kvxtest::ReadFile;
using kvxtest::WriteFile;
using ::testing::ElementsAre;

// The working folder is the unpacked package, as in an update run.
class HotfixStaging : public installtest::InstallTest {
 protected:
  void SetUp() override {
    installtest::InstallTest::SetUp();
    if (IsSkipped()) return;
    hotfix_ = Path("product/hotfix/");
    build_ = Path("product/hotfix/B1001/");
  }
  void Stage() {
    EXPECT_EQ(1, CopyQOPatch("./", hotfix_.c_str()));
    EXPECT_EQ(1, CopyHotFixFiles("./", build_.c_str()));
  }
  void ExpectPlaced(const std::string& path, const std::string& content) {
    EXPECT_EQ(content, ReadFile(path)) << path;
    EXPECT_EQ(0775u, Facts(path).perms) << path;
    EXPECT_EQ(installtest::KvxGroupId(), Facts(path).gid) << path;
  }
  std::string hotfix_;
  std::string build_;
};

TEST_F(HotfixStaging, CreatesTheFoldersAndPlacesBothFiles) {
  WriteFile(Path("UPDSilent"), "installer");
  WriteFile(Path("FileGroup1/kvxpatch.ini"), "[Setting]\n");

  Stage();

  ExpectPlaced(hotfix_ + "UPDSilent", "installer");
  ExpectPlaced(build_ + "FileGroup1/kvxpatch.ini", "[Setting]\n");
  EXPECT_THAT(DebugLogMessages(), ElementsAre("Info: Copy the file from (./) to (" + hotfix_ + ")",
                                              "Info: Copy the file from (./) to (" + build_ + ")"));
}

TEST_F(HotfixStaging, ReplacesFilesOfAnEarlierUpdate) {
  WriteFile(Path("UPDSilent"), "installer 2");
  WriteFile(Path("FileGroup1/kvxpatch.ini"), "[Setting]\nBuildNumber=1001\n");
  WriteFile(hotfix_ + "UPDSilent", "installer 1, a longer older file");
  WriteFile(build_ + "FileGroup1/kvxpatch.ini", "old settings");
  ASSERT_EQ(0, ::chmod((hotfix_ + "UPDSilent").c_str(), 0600));
  ASSERT_EQ(0, ::chmod((build_ + "FileGroup1/kvxpatch.ini").c_str(), 0644));

  Stage();

  ExpectPlaced(hotfix_ + "UPDSilent", "installer 2");
  ExpectPlaced(build_ + "FileGroup1/kvxpatch.ini", "[Setting]\nBuildNumber=1001\n");
}

TEST_F(HotfixStaging, MissingInstallerIsLoggedAndSettingsStillStaged) {
  WriteFile(Path("FileGroup1/kvxpatch.ini"), "[Setting]\n");

  Stage();

  EXPECT_FALSE(Facts(hotfix_ + "UPDSilent").exists);
  ExpectPlaced(build_ + "FileGroup1/kvxpatch.ini", "[Setting]\n");
  EXPECT_THAT(DebugLogMessages(),
              ElementsAre("Info: Copy the file from (./) to (" + hotfix_ + ")",
                          "Error: Cannot copy the file(UPDSilent). Error code is -2.",
                          "Info: Copy the file from (./) to (" + build_ + ")"));
}

TEST_F(HotfixStaging, MissingSettingsAreLogged) {
  WriteFile(Path("UPDSilent"), "installer");

  Stage();

  ExpectPlaced(hotfix_ + "UPDSilent", "installer");
  EXPECT_FALSE(Facts(build_ + "FileGroup1/kvxpatch.ini").exists);
  EXPECT_THAT(DebugLogMessages(),
              ElementsAre("Info: Copy the file from (./) to (" + hotfix_ + ")",
                          "Info: Copy the file from (./) to (" + build_ + ")",
                          "Error: Cannot copy the file(KvxPatchIni). Error code is -2."));
}

}  // namespace
