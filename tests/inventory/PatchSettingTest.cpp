#include <climits>
#include <filesystem>

#include "InventoryTestUtil.h"
#include "ini/Porting.h"
#include "inventory/PatchSetting.h"

namespace {

using invtest::InventoryTest;
using invtest::LogHas;
using kvxtest::DebugLogMessages;
using kvxtest::TempTree;
using kvxtest::WriteFile;

std::string NameList(const char* stem, int count) {
  std::string list;
  for (int i = 0; i < count; ++i) list += (i ? "," : "") + std::string(stem) + std::to_string(i);
  return list;
}

class Settings : public InventoryTest {
 protected:
  void SetUp() override {
    InventoryTest::SetUp();
    if (IsSkipped()) return;
    info_.strPackagePath = tree_ / "FileGroup1";
  }
  void TearDown() override {
    FreeFileList();
    _PatchSetting empty;
    ReadDBList(empty);
    InventoryTest::TearDown();
  }
  int Read(const std::string& ini) {
    WriteFile(info_.strPackagePath + "/kvxpatch.ini", ini);
    kvxtest::ClearDebugLog();
    return ReadConfiguration(info_, setting_);
  }
  TempTree tree_;
  InstallInfo info_;
  _PatchSetting setting_;
};

TEST_F(Settings, ReadsEveryKeyInAnyLetterCase) {
  ASSERT_EQ(0, Read("[config]\nFiles=libkvx.so,libscan.so\nbuildnumber=1234\n"
                    "DATABASES=kvconf.nsf,kvquar.nsf\nCreateNewFolder=0\nDepentBuild=1200\n"
                    "ServicePack=1100\npreviousbuild=1201\nUpdateLoader=1\nUpdateExt=2\n"));
  EXPECT_EQ((std::list<std::string>{"libkvx.so", "libscan.so"}), setting_.lstFiles);
  EXPECT_EQ((std::list<std::string>{"kvconf.nsf", "kvquar.nsf"}), setting_.lstDatabases);
  EXPECT_EQ(1234, setting_.iBuildNumber);
  EXPECT_EQ(0, setting_.iCreateNewFolder);
  EXPECT_EQ(1200, setting_.iDepentBuild);
  EXPECT_EQ(1100, setting_.iServicePack);
  EXPECT_EQ(1201, setting_.iPreviousBuild);
  EXPECT_EQ(1, setting_.iUpdateLoader);
  EXPECT_EQ(1, setting_.bUpdateExt);
  EXPECT_EQ((std::vector<std::string>{"Read files from kvxpatch.ini is libkvx.so,libscan.so"}),
            DebugLogMessages());
}

TEST_F(Settings, MissingOptionalKeysTakeTheirDefaults) {
  ASSERT_EQ(0, Read("[Config]\nFiles=a.so\nBuildNumber=7\n"));
  EXPECT_TRUE(setting_.lstDatabases.empty());
  EXPECT_EQ(1, setting_.iCreateNewFolder);
  EXPECT_EQ(0, setting_.iDepentBuild);
  EXPECT_EQ(0, setting_.iServicePack);
  EXPECT_EQ(0, setting_.iPreviousBuild);
  EXPECT_EQ(0, setting_.iUpdateLoader);
  EXPECT_EQ(0, setting_.bUpdateExt);
  EXPECT_EQ(
      (std::vector<std::string>{"Read files from kvxpatch.ini is a.so",
                                "Cannot get the value in configuration file. (Config:Databases)",
                                "Needn't update extesion manager."}),
      DebugLogMessages());
}

TEST_F(Settings, MissingFileOrRequiredKeyFails) {
  EXPECT_EQ(1, ReadConfiguration(info_, setting_));
  EXPECT_EQ((std::vector<std::string>{"Cannot open the file. (" + info_.strPackagePath +
                                      "/kvxpatch.ini)"}),
            DebugLogMessages());

  setting_.iBuildNumber = 99;
  EXPECT_EQ(1, Read("[Config]\nBuildNumber=5\nCreateNewFolder=0\n"));
  EXPECT_EQ(0, setting_.iBuildNumber);
  EXPECT_EQ(
      (std::vector<std::string>{"Cannot get the value in configuration file. (Config:Files)"}),
      DebugLogMessages());

  EXPECT_EQ(1, Read("[Config]\nFiles=a.so\nDatabases=x\nCreateNewFolder=5\nUpdateExt=1\n"));
  EXPECT_EQ((std::list<std::string>{"a.so"}), setting_.lstFiles);
  EXPECT_TRUE(setting_.lstDatabases.empty());  // reading stopped before it
  EXPECT_EQ(0, setting_.iCreateNewFolder);
  EXPECT_EQ(0, setting_.bUpdateExt);
  EXPECT_EQ("Cannot get the value in configuration file. (Config:BuildNumber)",
            DebugLogMessages().back());
}

// How a number value reads, shown through BuildNumber and UpdateExt.
struct NumberCase {
  const char* name;
  const char* value;
  std::int32_t number;
  std::int32_t flag;  // bUpdateExt for the same text
};

const NumberCase kNumbers[] = {
    {"Plain", "1234", 1234, 1},
    {"Zero", "0", 0, 0},
    {"LeadingBlanksAndSign", "  +56", 56, 1},
    {"Negative", "-3", -3, 1},
    {"StopsAtNonDigit", "12ab", 12, 1},
    {"NoDigits", "abc", 0, 0},
    {"Empty", "", 0, 0},
    {"SignOnly", "-", 0, 0},
    {"AboveInt32HeldAtMax", "2147483648", INT32_MAX, 1},
    {"FarAboveHeldAtMax", "99999999999999999999999", INT32_MAX, 1},
    {"BelowInt32HeldAtMin", "-2147483649", INT32_MIN, 1},
    {"TwoToThe32PlusOne", "4294967297", INT32_MAX, 1},
};

class NumberValue : public Settings, public ::testing::WithParamInterface<NumberCase> {};
TEST_P(NumberValue, ReadsAsSigned32Bit) {
  const NumberCase& c = GetParam();
  ASSERT_EQ(0, Read(std::string("[Config]\nFiles=a\nBuildNumber=") + c.value +
                    "\nCreateNewFolder=" + c.value + "\nUpdateExt=" + c.value + "\n"));
  EXPECT_EQ(c.number, setting_.iBuildNumber);
  EXPECT_EQ(c.number, setting_.iCreateNewFolder);
  EXPECT_EQ(c.flag, setting_.bUpdateExt);
  EXPECT_FALSE(LogHas("Needn't update extesion manager."));
}
INSTANTIATE_TEST_SUITE_P(Cases, NumberValue, ::testing::ValuesIn(kNumbers),
                         [](const auto& i) { return std::string(i.param.name); });

struct ListCase {
  const char* name;
  const char* text;
  std::list<std::string> names;
};

const ListCase kLists[] = {
    {"Two", "a.so,b.so", {"a.so", "b.so"}},
    {"EmptyPiecesKept", "a.so,,b.so,", {"a.so", "", "b.so", ""}},
    {"EmptyTextIsOneEmptyName", "", {""}},
    {"BlanksKept", " a.so , b.so", {" a.so ", " b.so"}},
};

class FileList : public ::testing::TestWithParam<ListCase> {};
TEST_P(FileList, CutsAtEveryCommaAndAppends) {
  const ListCase& c = GetParam();
  std::list<std::string> list{"kept"};
  std::string text = c.text;
  EXPECT_EQ(0, ParseFileList(list, text.data()));
  std::list<std::string> expected = c.names;
  expected.push_front("kept");
  EXPECT_EQ(expected, list);
}
INSTANTIATE_TEST_SUITE_P(Cases, FileList, ::testing::ValuesIn(kLists),
                         [](const auto& i) { return std::string(i.param.name); });

// --- the name tables --------------------------------------------------------

std::vector<std::string> Slots(char* const* slots, int count) {
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) {
    EXPECT_NE(nullptr, slots[i]) << i;
    out.push_back(slots[i] ? slots[i] : "<null>");
  }
  return out;
}

struct TableCase {
  const char* name;
  std::string files;
  std::string databases;
  int fileCount;  // stored in szDlls and shown in the count line
};

const TableCase kTables[] = {
    {"Two", "a.so,b.so", "kvconf", 2},
    {"Exactly128And20", NameList("f", 128), NameList("d", 20), 128},
    {"130And25Cut", NameList("f", 130), NameList("d", 25), 128},
    {"EmptyValues", "", "", 1},
    {"LeadingBlank", " a.so,,b", " kvconf", 3},
};

class Tables : public Settings, public ::testing::WithParamInterface<TableCase> {};
TEST_P(Tables, HoldTheFirstNamesThenEmptyTexts) {
  const TableCase& c = GetParam();
  ASSERT_EQ(
      0, Read("[Config]\nFiles=" + c.files + "\nBuildNumber=1\nDatabases=" + c.databases + "\n"));
  kvxtest::ClearDebugLog();
  EXPECT_EQ(1, ReadFileList(setting_));
  EXPECT_EQ(1, ReadDBList(setting_));
  EXPECT_EQ((std::vector<std::string>{"file number is " + std::to_string(c.fileCount) +
                                      " from kvxpatch.ini"}),
            DebugLogMessages());

  std::vector<std::string> files(setting_.lstFiles.begin(), setting_.lstFiles.end());
  files.resize(kMaxDlls);
  EXPECT_EQ(files, Slots(szDlls, kMaxDlls));
  std::vector<std::string> dbs(setting_.lstDatabases.begin(), setting_.lstDatabases.end());
  dbs.resize(kMaxDBs);
  EXPECT_EQ(dbs, Slots(szDBs, kMaxDBs));

  EXPECT_EQ(1, FreeFileList());
  for (const std::string& slot : Slots(szDlls, kMaxDlls)) EXPECT_EQ("", slot);
  EXPECT_EQ(dbs, Slots(szDBs, kMaxDBs));
}
INSTANTIATE_TEST_SUITE_P(Cases, Tables, ::testing::ValuesIn(kTables),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(Settings, RefillingATableReplacesItsNames) {
  setting_.lstFiles = {"x", "y", "z"};
  ReadFileList(setting_);
  setting_.lstFiles = {"w"};
  ReadFileList(setting_);
  EXPECT_STREQ("w", szDlls[0]);
  EXPECT_STREQ("", szDlls[1]);
  EXPECT_STREQ("", szDlls[2]);
}

// --- product databases ------------------------------------------------------

class Databases : public Settings {
 protected:
  KVXNParInfo Partition(const std::string& name, const std::vector<std::string>& present) {
    KVXNParInfo partition;
    partition.strDataDir = tree_ / name;
    for (const std::string& db : present)
      WriteFile(partition.strDataDir + "/kvx/" + db + ".nsf", "");
    return partition;
  }
  const std::vector<std::string> all_{"kvconf", "kvxapproved", "kvxdtas", "kvency",
                                      "kvquar", "kvtime",      "kvvlog"};
};

TEST_F(Databases, StopsAtTheFirstMissingDatabase) {
  KVXNInsInfo instance;
  instance.vecParInfo.push_back(Partition("one", all_));
  std::vector<std::string> second = all_;
  second.erase(second.begin() + 5);  // no kvtime
  instance.vecParInfo.push_back(Partition("two", second));

  EXPECT_EQ(0, CheckNsfExistInDBList(instance));
  std::vector<std::string> expected;
  for (const std::string& db : all_)
    expected.push_back("Database \"" + (tree_ / "one/kvx/") + db +
                       ".nsf\" has been generated before.");
  for (int i = 0; i < 5; ++i)
    expected.push_back("Database \"" + (tree_ / "two/kvx/") + all_[i] +
                       ".nsf\" has been generated before.");
  expected.push_back("Database \"" + (tree_ / "two/kvx/kvtime.nsf") +
                     "\" has not been generated before.");
  EXPECT_EQ(expected, DebugLogMessages());
}

TEST_F(Databases, AllPresentOrNoPartitionsPass) {
  KVXNInsInfo instance;
  EXPECT_EQ(1, CheckNsfExistInDBList(instance));
  instance.vecParInfo.push_back(Partition("one", all_));
  std::filesystem::remove(tree_ / "one/kvx/kvvlog.nsf");
  std::filesystem::create_directory(tree_ / "one/kvx/kvvlog.nsf");  // a folder counts too
  instance.vecParInfo.push_back(Partition("two", all_));
  EXPECT_EQ(1, CheckNsfExistInDBList(instance));
  EXPECT_EQ(14u, DebugLogMessages().size());
}

TEST_F(Databases, APathLongerThan255CharactersCountsAsMissing) {
  // data folder + "/kvx/kvxapproved.nsf" (20 characters, the longest name):
  // 255 fits, 256 does not.
  const std::string base = tree_.path() + "/";
  std::string fits = base + std::string(255 - 20 - base.size(), 'a');
  std::string over = fits + "b";
  KVXNInsInfo instance;
  instance.vecParInfo.push_back(Partition(fits.substr(base.size()), all_));
  EXPECT_EQ(1, CheckNsfExistInDBList(instance));
  instance.vecParInfo.push_back(Partition(over.substr(base.size()), all_));
  EXPECT_EQ(0, CheckNsfExistInDBList(instance));
  const auto lines = DebugLogMessages();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ("Database \"" + over + "/kvx/kvconf.nsf\" has been generated before.",
            lines[lines.size() - 2]);
  EXPECT_EQ("Database \"" + over + "/kvx/kvxapproved.nsf\" has not been generated before.",
            lines.back());
}

TEST_F(Settings, CheckEnvironmentRefusesAnExistingBuildFolder) {
  qo_snprintf(g_szKVXPatch, sizeof g_szKVXPatch, "%s", tree_.path().c_str());
  setting_.iBuildNumber = 1234;
  EXPECT_EQ(1, CheckEnvironment(setting_));
  std::filesystem::create_directories(tree_ / "program/V5.8.0.1234");
  testing::internal::CaptureStdout();
  EXPECT_EQ(0, CheckEnvironment(setting_));
  const std::string expected =
      "Folder [" + (tree_ / "program/V5.8.0.1234") + "] already exist, skip upgrade!";
  EXPECT_EQ(expected, testing::internal::GetCapturedStdout());
  EXPECT_EQ(expected, DebugLogMessages().back());
}

}  // namespace
