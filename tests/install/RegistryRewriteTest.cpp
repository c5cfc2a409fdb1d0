// ProductVersion of the current instance rewritten in /etc/kvxsysV3.ini
// (the sandbox's private copy of /etc).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "install/Install.h"
#include "install/InstallTestSupport.h"
#include "inventory/KVXInsInfo.h"

namespace {

using kvxtest::DebugLogMessages;
using kvxtest::ReadFile;
using kvxtest::WriteFile;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kRegistry[] = "/etc/kvxsysV3.ini";
constexpr char kBackup[] = "/etc/kvxsysV3.ini.bak";

class RegistryRewrite : public installtest::InstallTest {
 protected:
  void SetUp() override {
    installtest::InstallTest::SetUp();
    if (IsSkipped()) return;
    savedList_ = g_lstKVXNIns;
    savedCur_ = g_iCurIns;
    ::unlink(kRegistry);
    ::unlink(kBackup);
  }
  void TearDown() override {
    if (!IsSkipped()) {
      g_lstKVXNIns = savedList_;
      g_iCurIns = savedCur_;
    }
    installtest::InstallTest::TearDown();
  }
  // The instances by name; the current one is index current.
  void Instances(const std::vector<std::string>& names, int current) {
    g_lstKVXNIns.clear();
    for (const auto& name : names) {
      KVXNInsInfo instance;
      instance.strInsName = name;
      g_lstKVXNIns.push_back(instance);
    }
    g_iCurIns = current;
  }

  std::vector<KVXNInsInfo> savedList_;
  std::int32_t savedCur_ = 0;
};

TEST_F(RegistryRewrite, SetsTheVersionKeepsABackupAndEndsWithEndMark) {
  const std::string before =
      "[KVXInstances]\nKVXInstanceList=KVX1\n"
      "a line without equals sign\n"
      "[KVX1]\nProductPath=/opt/kvx\nProductVersion=V5.8.0.1000\nInstallType=1\n";
  WriteFile(kRegistry, before);
  Instances({"KVX1"}, 0);

  UpdateKVXSys(1234);

  EXPECT_EQ(
      "[KVXInstances]\nKVXInstanceList=KVX1\n\n"
      "[KVX1]\nProductPath=/opt/kvx\nProductVersion=V5.8.0.1234\nInstallType=1\n\n"
      "[END]\n",
      ReadFile(kRegistry));
  EXPECT_EQ(before, ReadFile(kBackup));
  EXPECT_THAT(DebugLogMessages(), IsEmpty());
}

// The writer takes the first section and key that begin with the names given.
TEST_F(RegistryRewrite, ChangesTheFirstSectionAndKeyThatBeginWithTheNames) {
  WriteFile(kRegistry,
            "[KVX10]\nProductVersionOld=V5.8.0.900\nProductVersion=V5.8.0.1000\n"
            "[KVX1]\nProductVersion=V5.8.0.1000\n");
  Instances({"KVX10", "KVX1"}, 1);

  UpdateKVXSys(1234);

  EXPECT_EQ(
      "[KVX10]\nProductVersionOld=V5.8.0.1234\nProductVersion=V5.8.0.1000\n\n"
      "[KVX1]\nProductVersion=V5.8.0.1000\n\n[END]\n",
      ReadFile(kRegistry));
}

TEST_F(RegistryRewrite, SectionWithoutVersionLeavesTheFileAlone) {
  const std::string before = "[KVX1]\nProductPath=/opt/kvx\n";
  WriteFile(kRegistry, before);
  Instances({"KVX1"}, 0);

  UpdateKVXSys(1234);

  EXPECT_EQ(before, ReadFile(kRegistry));
  EXPECT_EQ(-1, ::access(kBackup, F_OK));
  EXPECT_THAT(DebugLogMessages(),
              ElementsAre("Error: Fail to update the file (/etc/kvxsysV3.ini)"));
}

TEST_F(RegistryRewrite, MissingRegistryIsLogged) {
  Instances({"KVX1"}, 0);

  UpdateKVXSys(1234);

  EXPECT_EQ(-1, ::access(kRegistry, F_OK));
  EXPECT_THAT(DebugLogMessages(), ElementsAre("Error: Fail to open the file (/etc/kvxsysV3.ini)"));
}

TEST_F(RegistryRewrite, NoCurrentInstanceDoesNothing) {
  const std::string before = "[KVX1]\nProductVersion=V5.8.0.1000\n";
  WriteFile(kRegistry, before);
  for (const int current : {-1, 1}) {
    Instances({"KVX1"}, current);
    UpdateKVXSys(1234);
  }
  EXPECT_EQ(before, ReadFile(kRegistry));
  EXPECT_THAT(DebugLogMessages(), IsEmpty());
}

}  // namespace
