// The link and ownership helpers, judged by what they leave on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <filesystem>

#include "control/DominoControl.h"
#include "control/SimHarness.h"

namespace fs = std::filesystem;

namespace {

struct LinkCase {
  const char* name;
  const char* before;  // where program/latest points first; "" for no link
};

const LinkCase kLinks[] = {{"Replaces", "V5.8.0.1"}, {"Creates", ""}, {"SameTarget", "V5.8.0.2"}};

class CreateLinkTest : public ::testing::TestWithParam<LinkCase> {};

TEST_P(CreateLinkTest, LatestPointsAtTheTarget) {
  kvxtest::TempTree tree;
  fs::create_directories(tree / "program/V5.8.0.1");
  fs::create_directories(tree / "program/V5.8.0.2");
  if (*GetParam().before) fs::create_directory_symlink(GetParam().before, tree / "program/latest");
  std::string product = tree.path();
  std::string target = tree / "program/V5.8.0.2";

  CreateLink(product.data(), target.data());

  EXPECT_TRUE(fs::is_symlink(tree / "program/latest"));
  EXPECT_EQ(target, fs::read_symlink(tree / "program/latest").string());
  EXPECT_TRUE(fs::is_empty(tree / "program/V5.8.0.1")) << "no link left inside an old build";
}

INSTANTIATE_TEST_SUITE_P(Links, CreateLinkTest, ::testing::ValuesIn(kLinks),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(ChangeOwner, WholeTreeGets0775AndKvxgroup) {
  if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs root in the sandbox";
  kvxtest::EnsureAccounts();
  kvxtest::TempTree tree;
  const std::string root = tree / "V5.8.0.9";
  kvxtest::WriteFile(root + "/lib/libkvx.so", "x");
  kvxtest::WriteFile(root + "/loader", "y");
  fs::permissions(root + "/lib/libkvx.so", fs::perms(0600));
  fs::permissions(root + "/lib", fs::perms(0700));
  kvxtest::WriteFile(tree / "outside", "z");
  std::string path = root;

  _ChangeOwner(path.data());

  for (const std::string& p : {root, root + "/lib", root + "/lib/libkvx.so", root + "/loader"}) {
    struct stat st {};
    ASSERT_EQ(0, ::stat(p.c_str(), &st)) << p;
    EXPECT_EQ(0775u, st.st_mode & 07777) << p;
    EXPECT_EQ(kvxtest::KvxGroupGid(), st.st_gid) << p;
  }
  struct stat outside {};
  ::stat((tree / "outside").c_str(), &outside);
  EXPECT_NE(kvxtest::KvxGroupGid(), outside.st_gid);
}

TEST(DbSize, AddsTheFilesUnderKvx) {
  kvxtest::TempTree tree;
  kvxtest::WriteFile(tree / "kvx/a.nsf", std::string(10, 'a'));
  kvxtest::WriteFile(tree / "kvx/sub/b.nsf", std::string(20, 'b'));
  KVXNParInfo par{tree.path(), "", ""};
  std::uint32_t total = 5;
  EXPECT_EQ(1, GetAllDbSize(&par, &total));
  EXPECT_EQ(35u, total);

  kvxtest::ClearDebugLog();
  KVXNParInfo missing{tree / "none", "", ""};
  EXPECT_EQ(0, GetAllDbSize(&missing, &total));
  EXPECT_EQ(35u, total);
  EXPECT_EQ(std::vector<std::string>{"Error: Cannot get the size of folder '" + tree / "none/kvx'"},
            kvxtest::DebugLogMessages());
}

TEST(SmallHelpers, ToUpAndSystemFolder) {
  char text[] = "kvxReal-5.8{x}";
  ToUp(text);
  EXPECT_STREQ("KVXREAL-5.8{X}", text);

  char buf[8];
  std::memset(buf, '#', sizeof buf);
  GetSystemWindowsDirectory(buf, 3);
  EXPECT_EQ(0, std::memcmp(buf, "/et#", 4)) << "at most size characters";
  GetSystemWindowsDirectory(buf, sizeof buf);
  EXPECT_STREQ("/etc", buf);
}

}  // namespace
