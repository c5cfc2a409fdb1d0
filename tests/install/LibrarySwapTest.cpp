// The rename-aside library swap: what lands under each name, what the
// running tasks keep, and what the log says.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "install/Install.h"
#include "install/InstallTestSupport.h"
#include "inventory/PatchSetting.h"

namespace {

using installtest::Facts;
using installtest::NameTable;
using kvxtest::DebugLogMessages;
using kvxtest::ReadFile;
using kvxtest::WriteFile;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class LibrarySwap : public installtest::InstallTest {
 protected:
  std::string prog_;  // the current program folder
  std::string pkg_;   // the package's FileGroup1
  void SetUp() override {
    installtest::InstallTest::SetUp();
    if (IsSkipped()) return;
    prog_ = Path("product/program/V5.8.0.1000");
    pkg_ = Path("package/FileGroup1");
    for (const char* name : {"libA.so", "libB.so", "sub/libC.so"}) {
      WriteFile(prog_ + "/" + name, std::string("old-") + name);
      WriteFile(pkg_ + "/" + name, std::string("new-") + name);
    }
  }
};

TEST_F(LibrarySwap, RunningTaskKeepsOldFilesWhileNamesGetNewOnes) {
  NameTable dlls(szDlls, kMaxDlls, {"libA.so", "", "libB.so", "sub/libC.so"});
  const std::vector<std::string> names = {"libA.so", "libB.so", "sub/libC.so"};
  WriteFile(prog_ + "/libA.so_1", "stale aside file");
  std::vector<ino_t> oldInodes;
  std::vector<std::string> paths;
  for (const auto& name : names) {
    paths.push_back(prog_ + "/" + name);
    oldInodes.push_back(Facts(paths.back()).inode);
  }
  installtest::OpenFileHolder task(paths);
  std::vector<char> prog(prog_.begin(), prog_.end());
  prog.push_back('\0');

  EXPECT_EQ(0, RenameAllDlls(prog.data()));
  EXPECT_EQ(tree_.path(), installtest::CurrentFolder());
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_FALSE(Facts(paths[i]).exists) << names[i];
    EXPECT_EQ(oldInodes[i], Facts(paths[i] + "_1").inode) << names[i];
  }
  EXPECT_EQ("old-libA.so", ReadFile(prog_ + "/libA.so_1"));  // the stale one was replaced

  EXPECT_EQ(1, CopyAllDlls(pkg_.c_str(), prog.data()));
  const gid_t group = installtest::KvxGroupId();
  for (std::size_t i = 0; i < names.size(); ++i) {
    const installtest::FileFacts placed = Facts(paths[i]);
    EXPECT_EQ("new-" + names[i], ReadFile(paths[i]));
    EXPECT_NE(oldInodes[i], placed.inode) << names[i];
    EXPECT_EQ(0775u, placed.perms) << names[i];
    EXPECT_EQ(group, placed.gid) << names[i];
    EXPECT_EQ("old-" + names[i], ReadFile(paths[i] + "_1")) << "aside goes only at removal";
  }

  EXPECT_EQ(1, RemoveAllRenamedDlls(prog.data()));
  EXPECT_EQ(tree_.path(), installtest::CurrentFolder());
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_FALSE(Facts(paths[i] + "_1").exists) << names[i];
    EXPECT_EQ("new-" + names[i], ReadFile(paths[i]));
  }

  const std::vector<installtest::OpenFileHolder::Held> held = task.Report();
  ASSERT_EQ(names.size(), held.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(oldInodes[i], held[i].inode) << names[i];
    EXPECT_EQ("old-" + names[i], held[i].content) << names[i];
  }

  EXPECT_THAT(
      DebugLogMessages(),
      ElementsAre("Info: Rename the DLLs in (" + prog_ + ")",
                  "Info: Copy the file from (" + pkg_ + ") to (" + prog_ + ")",
                  "size of szDlls is: 1024, size of *szDlls is 8",
                  "Copy file " + pkg_ + "/libA.so to " + prog_ + "/libA.so, errno: 0",
                  "Copy file " + pkg_ + "/libB.so to " + prog_ + "/libB.so, errno: 0",
                  "Copy file " + pkg_ + "/sub/libC.so to " + prog_ + "/sub/libC.so, errno: 0",
                  "Info: CopyAllDlls END", "Info: Remove the DLLs in (" + prog_ + ")"));
}

TEST_F(LibrarySwap, BackupCreatesFolderSkipsMissingNameAndFixesModeOfExistingFile) {
  NameTable dlls(szDlls, kMaxDlls, {"libA.so", "missing.so", "sub/libC.so"});
  std::string backup = Path("product/hotfix/B1001/FileGroup1");
  WriteFile(backup + "/sub/libC.so", "older backup");
  ASSERT_EQ(0, ::chmod((backup + "/sub/libC.so").c_str(), 0600));

  EXPECT_EQ(1, CopyAllDlls(prog_.c_str(), backup.data()));

  const gid_t group = installtest::KvxGroupId();
  for (const std::string name : {"libA.so", "sub/libC.so"}) {
    EXPECT_EQ("old-" + name, ReadFile(backup + "/" + name));
    EXPECT_EQ(0775u, Facts(backup + "/" + name).perms) << name;
    EXPECT_EQ(group, Facts(backup + "/" + name).gid) << name;
  }
  EXPECT_FALSE(Facts(backup + "/missing.so").exists);
  EXPECT_THAT(
      DebugLogMessages(),
      ElementsAre("Info: Copy the file from (" + prog_ + ") to (" + backup + ")",
                  "size of szDlls is: 1024, size of *szDlls is 8",
                  "Copy file " + prog_ + "/libA.so to " + backup + "/libA.so, errno: 0",
                  "Error: Cannot copy the file(missing.so). Error code is -2.",
                  "Copy file " + prog_ + "/sub/libC.so to " + backup + "/sub/libC.so, errno: 0",
                  "Info: CopyAllDlls END"));
}

TEST_F(LibrarySwap, EmptyTableTouchesNothing) {
  NameTable dlls(szDlls, kMaxDlls, {});
  WriteFile(prog_ + "/libA.so_1", "aside");
  std::vector<char> prog(prog_.begin(), prog_.end());
  prog.push_back('\0');

  EXPECT_EQ(1, RenameAllDlls(prog.data()));
  EXPECT_EQ(1, CopyAllDlls(pkg_.c_str(), prog.data()));
  EXPECT_EQ(1, RemoveAllRenamedDlls(prog.data()));

  EXPECT_EQ("old-libA.so", ReadFile(prog_ + "/libA.so"));
  EXPECT_EQ("aside", ReadFile(prog_ + "/libA.so_1"));
  EXPECT_EQ(tree_.path(), installtest::CurrentFolder());
  EXPECT_THAT(DebugLogMessages(),
              ElementsAre("Info: Rename the DLLs in (" + prog_ + ")",
                          "Info: Copy the file from (" + pkg_ + ") to (" + prog_ + ")",
                          "size of szDlls is: 1024, size of *szDlls is 8", "Info: CopyAllDlls END",
                          "Info: Remove the DLLs in (" + prog_ + ")"));
}

// The result is that of the last rename; an earlier failure shows only in the log.
struct RenameCase {
  const char* name;
  std::vector<std::string> dlls;
  int result;
};
class RenameResult : public LibrarySwap, public ::testing::WithParamInterface<RenameCase> {};

TEST_P(RenameResult, IsTheLastRenames) {
  NameTable dlls(szDlls, kMaxDlls, GetParam().dlls);
  std::vector<char> prog(prog_.begin(), prog_.end());
  prog.push_back('\0');

  EXPECT_EQ(GetParam().result, RenameAllDlls(prog.data()));

  EXPECT_EQ("old-libA.so", ReadFile(prog_ + "/libA.so_1"));
  EXPECT_FALSE(Facts(prog_ + "/libA.so").exists);
  EXPECT_FALSE(Facts(prog_ + "/gone.so_1").exists);
  EXPECT_THAT(DebugLogMessages(),
              ::testing::Contains("Error: Cannot change name from (gone.so) to (gone.so_1)."));
}

INSTANTIATE_TEST_SUITE_P(Order, RenameResult,
                         ::testing::Values(RenameCase{"MissingLast", {"libA.so", "gone.so"}, -1},
                                           RenameCase{"MissingFirst", {"gone.so", "libA.so"}, 0}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(LibrarySwap, FolderThatCannotBeEnteredChangesNothing) {
  NameTable dlls(szDlls, kMaxDlls, {"libA.so"});
  char missing[] = "/nonexistent/program";
  WriteFile(Path("libA.so"), "in the working folder");

  EXPECT_EQ(0, RenameAllDlls(missing));
  EXPECT_EQ(0, RemoveAllRenamedDlls(missing));

  EXPECT_EQ(tree_.path(), installtest::CurrentFolder());
  EXPECT_EQ("in the working folder", ReadFile(Path("libA.so")));
  EXPECT_FALSE(Facts(Path("libA.so_1")).exists);
  EXPECT_THAT(DebugLogMessages(),
              ElementsAre("Info: Rename the DLLs in (/nonexistent/program)",
                          "Error: Cannot change to folder (/nonexistent/program).",
                          "Info: Remove the DLLs in (/nonexistent/program)",
                          "Error: Cannot change to folder (/nonexistent/program)."));
}

}  // namespace
