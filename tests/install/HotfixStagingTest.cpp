// The installer and the package settings left in the hotfix tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

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

// A file missing from the package is logged; the other one is still staged.
struct MissingCase {
  const char* name;
  const char* present;  // the one file the package holds
  const char* placed;   // where it lands, below the product's hotfix folder
  int errorLine;        // index of the error line in the log
  const char* error;
};
const MissingCase kMissing[] = {
    {"Installer", "FileGroup1/kvxpatch.ini", "B1001/FileGroup1/kvxpatch.ini", 1,
     "Error: Cannot copy the file(UPDSilent). Error code is -2."},
    {"Settings", "UPDSilent", "UPDSilent", 2,
     "Error: Cannot copy the file(KvxPatchIni). Error code is -2."}};
class MissingPackageFile : public HotfixStaging,
                           public ::testing::WithParamInterface<MissingCase> {};

TEST_P(MissingPackageFile, IsLoggedAndTheOtherFileStillStaged) {
  const MissingCase& c = GetParam();
  WriteFile(Path(c.present), "content");

  Stage();

  ExpectPlaced(hotfix_ + c.placed, "content");
  std::vector<std::string> expected = {"Info: Copy the file from (./) to (" + hotfix_ + ")",
                                       "Info: Copy the file from (./) to (" + build_ + ")"};
  expected.insert(expected.begin() + c.errorLine, c.error);
  EXPECT_THAT(DebugLogMessages(), ::testing::ElementsAreArray(expected));
}

INSTANTIATE_TEST_SUITE_P(Package, MissingPackageFile, ::testing::ValuesIn(kMissing),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
