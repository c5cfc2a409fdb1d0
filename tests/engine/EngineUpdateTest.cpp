// The engine update against a real product tree and a package in a temporary
// working folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/EngineTestSupport.h"
#include "install/EngineUpdate.h"
#include "inventory/PatchSetting.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using enginetest::LoggedLines;
using enginetest::MakeFolder;
using enginetest::MakeLink;
using kvxtest::WriteFile;

namespace {

class EngineUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    product_ = product.path() + "/KVX";
    enginetest::UseInstance(product_);
    kvxtest::ClearDebugLog();
  }

  // An installed version folder holding one file, with `latest` at it.
  void Install(const std::string& engine, const std::string& folder) {
    const std::string dir = product_ + "/engine/" + engine;
    MakeFolder(dir + "/" + folder);
    WriteFile(dir + "/" + folder + "/engine.so", "old " + folder);
    std::error_code ignored;
    fs::remove(dir + "/latest", ignored);
    MakeLink(dir + "/" + folder, dir + "/latest");
  }

  // The package's engine: version.txt, a file and a sub-folder.
  void Offer(const std::string& engine, const std::string& version) {
    const std::string dir = package.path() + "/engine/" + engine;
    WriteFile(dir + "/version.txt", "VERSION: " + version + "\r\n");
    WriteFile(dir + "/engine.so", "new " + version);
    WriteFile(dir + "/pattern/p1.dat", "pattern");
  }

  int Run(int type) {
    enginetest::ScopedChdir inPackage(package.path());
    return CheckAndUpdateEngineByType(type, &info_, &setting_);
  }

  std::string Engine(const std::string& engine) const { return product_ + "/engine/" + engine; }

  kvxtest::TempTree product;
  kvxtest::TempTree package;
  std::string product_;
  InstallInfo info_;
  _PatchSetting setting_;
};

struct VersionCase {
  const char* name;
  const char* installed;  // folder name
  const char* offered;    // version.txt, from its tenth character
  const char* shown;      // the pair of versions as logged
  const char* newFolder;  // "" when nothing is to be installed
};

const VersionCase kVersionCases[] = {
    {"Equal", "V9.750.1001", "9.750.1001", "9.750.1001, new version:9.750.1001", ""},
    {"NewerMinorOlderBuild", "V9.750.1001", "9.751.1000", "9.750.1001, new version:9.751.1000",
     "V9.751.1000"},
    {"NewerBuild", "V9.750.1001", "9.750.1002", "9.750.1001, new version:9.750.1002",
     "V9.750.1002"},
    {"OlderMajorHigherRest", "V10.000.1000", "9.999.9999", "10.0.1000, new version:9.999.9999", ""},
    {"NewerMajor", "V9.999.9999", "10.0.1", "9.999.9999, new version:10.0.1", "V10.000.1"},
    {"MinorPaddedToThreeDigits", "V9.004.1001", "9.5.1001", "9.4.1001, new version:9.5.1001",
     "V9.005.1001"},
    {"FourNumbersThirdIgnored", "V9.750.1001", "9.750.7.1002", "9.750.1001, new version:9.750.1002",
     "V9.750.1002"},
    {"FourNumbersHighThirdLowBuild", "V9.750.1001", "9.750.9999.1000",
     "9.750.1001, new version:9.750.1000", ""},
    {"OlderBuild", "V9.750.1001", "9.750.1000", "9.750.1001, new version:9.750.1000", ""},
};

class EngineUpdateVersions : public EngineUpdate,
                             public ::testing::WithParamInterface<VersionCase> {};

TEST_P(EngineUpdateVersions, InstallsOnlyNewerAndRelinks) {
  const VersionCase& c = GetParam();
  Install("alder", c.installed);
  Offer("alder", c.offered);
  const std::string dir = Engine("alder");

  EXPECT_EQ(0, Run(kEngineAlder));

  std::vector<std::string> expected = {
      "1|CheckAndUpdate engine/alder, latest path:" + dir + "/" + c.installed,
      "1|File ./engine/alder/version.txt content is VERSION: " + std::string(c.offered) + ".",
      "1|CheckAndUpdate: current version:" + std::string(c.shown) + ".",
  };
  if (*c.newFolder == '\0') {
    expected.push_back("1|CheckAndUpdate: no need to update.");
    EXPECT_EQ(expected, LoggedLines());
    EXPECT_EQ(dir + "/" + c.installed, enginetest::LinkTarget(dir + "/latest"));
    EXPECT_EQ(2, std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    return;
  }
  const std::string fresh = dir + "/" + c.newFolder;
  expected.push_back("1|Copy folder ./engine/alder/* to " + fresh + "/, errno: 0");
  expected.push_back("0|Executed shell command rm " + dir + "/latest");
  expected.push_back("0|Executed shell command ln -s " + fresh + " " + dir + "/latest");
  EXPECT_EQ(expected, LoggedLines());
  EXPECT_EQ(fresh, enginetest::LinkTarget(dir + "/latest"));
  EXPECT_EQ("new " + std::string(c.offered), kvxtest::ReadFile(fresh + "/engine.so"));
  EXPECT_EQ("pattern", kvxtest::ReadFile(fresh + "/pattern/p1.dat"));
  EXPECT_TRUE(fs::exists(fresh + "/version.txt"));
  // The older version stays for a later rollback.
  EXPECT_EQ("old " + std::string(c.installed),
            kvxtest::ReadFile(dir + "/" + c.installed + "/engine.so"));
  EXPECT_EQ(fs::perms(0775), fs::status(fresh + "/engine.so").permissions());
}

INSTANTIATE_TEST_SUITE_P(Versions, EngineUpdateVersions, ::testing::ValuesIn(kVersionCases),
                         [](const auto& i) { return std::string(i.param.name); });

// One type's failure leaves the others to run: birch is not installed,
// cedar's package has no version.txt, dogwood is newer.
TEST_F(EngineUpdate, EveryTypeRunsWhateverTheOthersGive) {
  Install("alder", "V9.750.1001");
  Offer("alder", "9.750.1001");
  Offer("birch", "2.0.1");
  Install("cedar", "V1.000.1");
  MakeFolder(package.path() + "/engine/cedar");
  Install("dogwood", "V3.010.5");
  Offer("dogwood", "3.10.6");

  {
    enginetest::ScopedChdir inPackage(package.path());
    EXPECT_EQ(0, CheckAndUpdateEngine(&info_, &setting_));
  }
  const std::string dogwood = Engine("dogwood");
  const std::vector<std::string> expected = {
      "1|CheckAndUpdate engine/alder, latest path:" + Engine("alder") + "/V9.750.1001",
      "1|File ./engine/alder/version.txt content is VERSION: 9.750.1001.",
      "1|CheckAndUpdate: current version:9.750.1001, new version:9.750.1001.",
      "1|CheckAndUpdate: no need to update.",
      "1|CheckAndUpdate engine/birch, latest path:",
      "1|CheckAndUpdate: can not find engine/birch from dir ",
      "1|CheckAndUpdate engine/cedar, latest path:" + Engine("cedar") + "/V1.000.1",
      "0|Can not open file ./engine/cedar/version.txt.",
      "1|CheckAndUpdate engine/dogwood, latest path:" + dogwood + "/V3.010.5",
      "1|File ./engine/dogwood/version.txt content is VERSION: 3.10.6.",
      "1|CheckAndUpdate: current version:3.10.5, new version:3.10.6.",
      "1|Copy folder ./engine/dogwood/* to " + dogwood + "/V3.010.6/, errno: 0",
      "0|Executed shell command rm " + dogwood + "/latest",
      "0|Executed shell command ln -s " + dogwood + "/V3.010.6 " + dogwood + "/latest",
  };
  EXPECT_EQ(expected, LoggedLines());
  EXPECT_FALSE(fs::exists(Engine("birch")));  // an update never installs a new engine
  EXPECT_EQ(dogwood + "/V3.010.6", enginetest::LinkTarget(dogwood + "/latest"));
}

// A `latest` whose target is gone counts as absent: it is not removed, and
// the new link cannot take its place.
TEST_F(EngineUpdate, DanglingLatestIsNotRemoved) {
  const std::string dir = Engine("alder");
  MakeFolder(dir + "/V9.750.1001");
  MakeLink(dir + "/V9.000.1", dir + "/latest");
  Offer("alder", "9.750.1002");

  EXPECT_EQ(0, Run(kEngineAlder));

  const std::vector<std::string> lines = LoggedLines();
  ASSERT_EQ(6u, lines.size());
  EXPECT_EQ("0|" + dir + "/latest not exist", lines[4]);
  EXPECT_EQ("0|Executed shell command ln -s " + dir + "/V9.750.1002 " + dir + "/latest", lines[5]);
  EXPECT_TRUE(fs::is_directory(dir + "/V9.750.1002"));
  EXPECT_EQ(dir + "/V9.000.1", enginetest::LinkTarget(dir + "/latest"));
}

struct RefusedCase {
  const char* name;
  int type;
  bool nullInfo;
  bool nullSetting;
  const char* line;
};

const RefusedCase kRefused[] = {
    {"TypeFour", 4, false, false, "1|Unknow engine type:4"},
    {"TypeMinusOne", -1, false, false, "1|Unknow engine type:-1"},
    {"NullInfo", 0, true, false, "0|CheckAndUpdate Input installInfo or patchInfo is NULL"},
    {"NullSetting", 0, false, true, "0|CheckAndUpdate Input installInfo or patchInfo is NULL"},
    {"NullBeforeType", 9, true, true, "0|CheckAndUpdate Input installInfo or patchInfo is NULL"},
};

class EngineUpdateRefused : public EngineUpdate,
                            public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(EngineUpdateRefused, FailsWithOneLine) {
  const RefusedCase& c = GetParam();
  Install("alder", "V9.750.1001");
  Offer("alder", "9.750.1002");
  enginetest::ScopedChdir inPackage(package.path());
  EXPECT_EQ(-1, CheckAndUpdateEngineByType(c.type, c.nullInfo ? nullptr : &info_,
                                           c.nullSetting ? nullptr : &setting_));
  EXPECT_EQ(std::vector<std::string>{c.line}, LoggedLines());
  EXPECT_FALSE(fs::exists(Engine("alder") + "/V9.750.1002"));
}

INSTANTIATE_TEST_SUITE_P(Refused, EngineUpdateRefused, ::testing::ValuesIn(kRefused),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
