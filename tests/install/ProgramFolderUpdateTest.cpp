// Task programs, extension manager, read-me and databases in the Domino
// program and data folders.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "install/Install.h"
#include "install/InstallTestSupport.h"
#include "inventory/KVXInsInfo.h"
#include "inventory/PatchSetting.h"

namespace {

using installtest::Facts;
using installtest::NamesEndingWith;
using kvxtest::DebugLogMessages;
using kvxtest::ReadFile;
using kvxtest::WriteFile;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;

const std::vector<std::string> kTasks = {"kvxreal", "kvxemf",  "kvxmon", "kvxsch", "kvxcm",
                                         "kvxupd",  "kvxsupp", "kvxdbs", "kvxdtas"};

// A product with two program builds (the newer one sorts first as text, so
// a textual pick would take the wrong one) and one partition.
class ProgramFolderUpdate : public installtest::InstallTest {
 protected:
  void SetUp() override {
    installtest::InstallTest::SetUp();
    if (IsSkipped()) return;
    product_ = Path("product");
    latest_ = product_ + "/program/V5.8.0.1000";
    WriteFile(product_ + "/program/V5.8.0.999/loader", "old build loader");
    WriteFile(product_ + "/program/V5.8.0.999/libkvxext.so", "old build ext");
    WriteFile(latest_ + "/loader", "new loader");
    WriteFile(latest_ + "/libkvxext.so", "new ext");
    std::strcpy(savedProduct_, g_szKVXPatch);
    std::snprintf(g_szKVXPatch, sizeof g_szKVXPatch, "%s", product_.c_str());
    par_.strBinDir = Path("domino/bin");
    par_.strDataDir = Path("domino/data");
    par_.strNotesIni = Path("domino/data/notes.ini");
    bin_ = par_.strBinDir;
  }
  void TearDown() override {
    if (!IsSkipped()) std::strcpy(g_szKVXPatch, savedProduct_);
    installtest::InstallTest::TearDown();
  }

  std::vector<std::string> LoaderCopyLines(const std::string& loader, int code) const {
    std::vector<std::string> lines;
    for (const auto& task : kTasks)
      lines.push_back("Info: copy the file(" + loader + ") to (" + bin_ + "/" + task +
                      "). Error code is " + std::to_string(code) + ".");
    return lines;
  }

  char savedProduct_[sizeof g_szKVXPatch];
  std::string product_;
  std::string latest_;
  std::string bin_;
  KVXNParInfo par_;
};

TEST_F(ProgramFolderUpdate, LoaderReplacesAllNineTaskProgramsAndKeepsNineAsideFiles) {
  for (const auto& task : kTasks) WriteFile(bin_ + "/" + task, "old " + task);
  WriteFile(bin_ + "/kvxreal_1", "aside of the run before");

  EXPECT_EQ(1, UpdateLoader(&par_, nullptr));

  const gid_t group = installtest::KvxGroupId();
  for (const auto& task : kTasks) {
    EXPECT_EQ("new loader", ReadFile(bin_ + "/" + task)) << task;
    EXPECT_EQ(0775u, Facts(bin_ + "/" + task).perms) << task;
    EXPECT_EQ(group, Facts(bin_ + "/" + task).gid) << task;
    EXPECT_EQ("old " + task, ReadFile(bin_ + "/" + task + "_1")) << task;
  }
  EXPECT_EQ(9u, NamesEndingWith(bin_, "_1").size());
  std::vector<std::string> expected = {"Info: Update loader from (" + latest_ + ") to (" + bin_ +
                                       ")."};
  for (const auto& line : LoaderCopyLines(latest_ + "/loader", 0)) expected.push_back(line);
  EXPECT_THAT(DebugLogMessages(), ElementsAreArray(expected));
}

TEST_F(ProgramFolderUpdate, LoaderFillsInMissingTaskPrograms) {
  WriteFile(bin_ + "/kvxreal", "old kvxreal");
  WriteFile(bin_ + "/kvxdtas", "old kvxdtas");

  EXPECT_EQ(1, UpdateLoader(&par_, nullptr));

  for (const auto& task : kTasks) EXPECT_EQ("new loader", ReadFile(bin_ + "/" + task)) << task;
  EXPECT_THAT(NamesEndingWith(bin_, "_1"), ElementsAre("kvxdtas_1", "kvxreal_1"));
  std::vector<std::string> expected = {"Info: Update loader from (" + latest_ + ") to (" + bin_ +
                                       ")."};
  const std::vector<std::string> copies = LoaderCopyLines(latest_ + "/loader", 0);
  for (std::size_t i = 0; i < kTasks.size(); ++i) {
    const std::string task = bin_ + "/" + kTasks[i];
    if (kTasks[i] != "kvxreal" && kTasks[i] != "kvxdtas")
      expected.push_back("rename from (" + task + ") to (" + task + "_1), error code is 2.");
    expected.push_back(copies[i]);
  }
  EXPECT_THAT(DebugLogMessages(), ElementsAreArray(expected));
}

TEST_F(ProgramFolderUpdate, FailedLoaderCopyPutsTheOldProgramBack) {
  ASSERT_EQ(0, ::unlink((latest_ + "/loader").c_str()));
  for (const auto& task : kTasks)
    if (task != "kvxupd") WriteFile(bin_ + "/" + task, "old " + task);

  EXPECT_EQ(1, UpdateLoader(&par_, nullptr));

  for (const auto& task : kTasks) {
    if (task == "kvxupd") continue;
    EXPECT_EQ("old " + task, ReadFile(bin_ + "/" + task)) << task;
  }
  EXPECT_FALSE(Facts(bin_ + "/kvxupd").exists);
  EXPECT_THAT(NamesEndingWith(bin_, "_1"), IsEmpty());
  const std::vector<std::string> log = DebugLogMessages();
  EXPECT_THAT(log, ::testing::Contains("Info: Move the file (" + bin_ + "/kvxreal_1) back to (" +
                                       bin_ + "/kvxreal)."));
  EXPECT_THAT(log, ::testing::Contains("Info: copy the file(" + latest_ + "/loader) to (" + bin_ +
                                       "/kvxreal). Error code is -2."));
}

TEST_F(ProgramFolderUpdate, NoProgramBuildLeavesTaskProgramsAlone) {
  const std::string empty = Path("empty-product");
  std::snprintf(g_szKVXPatch, sizeof g_szKVXPatch, "%s", empty.c_str());
  WriteFile(bin_ + "/kvxreal", "old kvxreal");

  EXPECT_EQ(1, UpdateLoader(&par_, nullptr));
  EXPECT_EQ(1, updateKVXExt(&par_, nullptr));

  EXPECT_EQ("old kvxreal", ReadFile(bin_ + "/kvxreal"));
  EXPECT_THAT(NamesEndingWith(bin_, "_1"), IsEmpty());
  EXPECT_THAT(DebugLogMessages(),
              ElementsAre("Error: Cannot find the program folder in (" + empty + ").",
                          "Info: Begin updating extension manager.",
                          "Error: Cannot find the program folder in (" + empty + ")."));
}

TEST_F(ProgramFolderUpdate, ExtensionManagerIsReplacedAndOldOneKeptUnderNumberedName) {
  WriteFile(bin_ + "/libkvxext.so", "old ext");

  EXPECT_EQ(1, updateKVXExt(&par_, nullptr));

  EXPECT_EQ(tree_.path(), installtest::CurrentFolder());
  EXPECT_EQ("new ext", ReadFile(bin_ + "/libkvxext.so"));
  EXPECT_EQ(0775u, Facts(bin_ + "/libkvxext.so").perms);
  EXPECT_EQ(installtest::KvxGroupId(), Facts(bin_ + "/libkvxext.so").gid);
  std::vector<std::string> aside;
  for (const auto& name : NamesEndingWith(bin_, ""))
    if (name.rfind("libkvxext.so_", 0) == 0) aside.push_back(name);
  ASSERT_EQ(1u, aside.size());
  EXPECT_THAT(aside[0], MatchesRegex("libkvxext\\.so_[0-9]+"));
  EXPECT_EQ("old ext", ReadFile(bin_ + "/" + aside[0]));
  EXPECT_THAT(DebugLogMessages(), ElementsAre("Info: Begin updating extension manager.",
                                              "Info: Have updated extension manager."));
}

TEST_F(ProgramFolderUpdate, ExtensionManagerMissingInNewestBuildChangesNothing) {
  ASSERT_EQ(0, ::unlink((latest_ + "/libkvxext.so").c_str()));
  WriteFile(bin_ + "/libkvxext.so", "old ext");

  EXPECT_EQ(1, updateKVXExt(&par_, nullptr));

  EXPECT_EQ(tree_.path(), installtest::CurrentFolder());
  EXPECT_EQ("old ext", ReadFile(bin_ + "/libkvxext.so"));
  EXPECT_EQ(std::vector<std::string>{"libkvxext.so"}, NamesEndingWith(bin_, ""));
  EXPECT_THAT(DebugLogMessages(), ElementsAre("Info: Begin updating extension manager.",
                                              "Error: The extension mananger doesn't exist. (" +
                                                  latest_ + "/libkvxext.so)"));
}

TEST_F(ProgramFolderUpdate, FailedExtensionManagerCopyPutsTheOldOneBack) {
  // A folder under the library's name exists but cannot be copied as a file.
  ASSERT_EQ(0, ::unlink((latest_ + "/libkvxext.so").c_str()));
  ASSERT_EQ(0, ::mkdir((latest_ + "/libkvxext.so").c_str(), 0755));
  WriteFile(bin_ + "/libkvxext.so", "old ext");

  EXPECT_EQ(1, updateKVXExt(&par_, nullptr));

  EXPECT_EQ(tree_.path(), installtest::CurrentFolder());
  EXPECT_EQ("old ext", ReadFile(bin_ + "/libkvxext.so"));
  EXPECT_EQ(std::vector<std::string>{"libkvxext.so"}, NamesEndingWith(bin_, ""));
  const std::vector<std::string> log = DebugLogMessages();
  ASSERT_EQ(3u, log.size());
  EXPECT_EQ("Info: Begin updating extension manager.", log[0]);
  EXPECT_EQ("Error: Fail to copy the file (" + latest_ + "/libkvxext.so) to (" + bin_ +
                "/libkvxext.so). error ",
            log[1].substr(0, log[1].rfind(' ') + 1));
  EXPECT_THAT(log[2], MatchesRegex("Info: Move the file \\(libkvxext\\.so_[0-9]+\\) back to "
                                   "\\(libkvxext\\.so\\)\\."));
}

// A Domino program folder that cannot be entered is not checked: the copy by
// absolute path creates it, and the working folder still comes back.
TEST_F(ProgramFolderUpdate, ExtensionManagerForMissingProgramFolderIsCopiedThere) {
  EXPECT_EQ(1, updateKVXExt(&par_, nullptr));

  EXPECT_EQ(tree_.path(), installtest::CurrentFolder());
  EXPECT_TRUE(Facts(bin_ + "/libkvxext.so").exists);
  EXPECT_THAT(DebugLogMessages(), ElementsAre("Info: Begin updating extension manager.",
                                              "Info: Have updated extension manager."));
}

TEST_F(ProgramFolderUpdate, ReadMeIsCopiedAndLoggedEvenWhenMissing) {
  InstallInfo info;
  info.strPackagePath = Path("package/FileGroup1");
  const std::string source = info.strPackagePath + "/readme_kvxn5_linux.txt";
  const std::string target = product_ + "/program/readme_kvxn5_linux.txt";
  const std::string line = "Copy file from (" + source + ") to (" + target + ")";

  EXPECT_EQ(0, CopyReadMe(info));
  EXPECT_FALSE(Facts(target).exists);

  WriteFile(source, "read me");
  WriteFile(target, "older read me");
  EXPECT_EQ(0, CopyReadMe(info));
  EXPECT_EQ("read me", ReadFile(target));
  EXPECT_THAT(DebugLogMessages(), ElementsAre(line, line));
}

TEST_F(ProgramFolderUpdate, DatabasesAreCopiedFromThePackage) {
  installtest::NameTable dbs(szDBs, kMaxDBs, {"kvconf.nsf", "", "missing.nsf", "kvquar.nsf"});
  WriteFile(Path("FileGroup1/kvconf.nsf"), "conf");
  WriteFile(Path("FileGroup1/kvquar.nsf"), "quar");
  const std::string kvx = par_.strDataDir + "/kvx";

  EXPECT_EQ(1, UpdateDatabase(&par_, nullptr));

  for (const std::string name : {"kvconf.nsf", "kvquar.nsf"}) {
    EXPECT_EQ(0775u, Facts(kvx + "/" + name).perms) << name;
    EXPECT_EQ(installtest::KvxGroupId(), Facts(kvx + "/" + name).gid) << name;
  }
  EXPECT_EQ("quar", ReadFile(kvx + "/kvquar.nsf"));
  EXPECT_FALSE(Facts(kvx + "/missing.nsf").exists);
  EXPECT_THAT(DebugLogMessages(),
              ElementsAre("Info: Update database from (./FileGroup1) to (" + kvx + ").",
                          "Error: Cannot copy the file(missing.nsf). Error code is -2."));
}

}  // namespace
