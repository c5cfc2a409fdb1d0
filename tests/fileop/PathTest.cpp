// Path splitting, the path queries and the separator helpers.
#include <sys/stat.h>

#include "fileop/FileOpInternal.h"
#include "tests/fileop/FileOpTestUtil.h"

namespace fileoptest {
namespace {

struct SplitCase {
  const char* name;
  const char* path;
  const char* file;
  const char* dir;
};
const SplitCase kSplits[] = {
    {"Nested", "/a/b/c.txt", "c.txt", "/a/b/"},
    {"BareName", "c.txt", "c.txt", ""},
    {"TrailingSeparator", "/a/b/", "", "/a/b/"},
    {"UnderRoot", "/c.txt", "c.txt", ""},
    {"Root", "/", "", ""},
    {"Relative", "a/b", "b", "a/"},
    {"Empty", "", "", ""},
    {"BackslashIsNoSeparator", "a\\b", "a\\b", ""},
};
class Split : public ::testing::TestWithParam<SplitCase> {};
TEST_P(Split, FileAndDirName) {
  const SplitCase& c = GetParam();
  EXPECT_EQ(c.file, Op::getFileName(c.path));
  EXPECT_EQ(c.dir, Op::getDirName(c.path));
}
INSTANTIATE_TEST_SUITE_P(Paths, Split, ::testing::ValuesIn(kSplits),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Split, NullPathGivesEmpty) {
  EXPECT_EQ("", Op::getFileName(nullptr));
  EXPECT_EQ("", Op::getDirName(nullptr));
  EXPECT_FALSE(Op::isDirName(nullptr));
  EXPECT_FALSE(Op::isDir(nullptr));
  EXPECT_FALSE(Op::exist(nullptr));
  EXPECT_FALSE(Op::isExist(nullptr));
}

class Queries : public FileOpTest {};

TEST_F(Queries, IsDirNameLooksAtTheLastByteOnly) {
  EXPECT_TRUE(Op::isDirName("/no/such/"));
  EXPECT_FALSE(Op::isDirName(tree_.path().c_str()));
  EXPECT_FALSE(Op::isDirName(""));
}

TEST_F(Queries, IsDirDoesNotFollowLinks) {
  Write("f");
  fs::create_directory(P("d"));
  fs::create_directory_symlink(P("d"), P("link"));
  EXPECT_TRUE(Op::isDir(P("d").c_str()));
  EXPECT_TRUE(Op::isDir((P("d") + "/").c_str()));
  EXPECT_FALSE(Op::isDir((P("d") + "//x").c_str()));
  EXPECT_FALSE(Op::isDir(P("link").c_str()));
  EXPECT_FALSE(Op::isDir((P("link") + "/").c_str()));
  EXPECT_FALSE(Op::isDir(P("f").c_str()));
  EXPECT_FALSE(Op::isDir(P("missing").c_str()));
  EXPECT_FALSE(Op::isDir(""));
}

TEST_F(Queries, ExistOpensWhileIsExistOnlyLooks) {
  Write("f");
  fs::create_symlink(P("gone"), P("dangling"));
  EXPECT_TRUE(Op::exist(P("f").c_str()));
  EXPECT_TRUE(Op::isExist(P("f").c_str()));
  EXPECT_FALSE(Op::exist(P("dangling").c_str()));
  EXPECT_FALSE(Op::isExist(P("dangling").c_str()));
  ASSERT_EQ(0, ::mkfifo(P("fifo").c_str(), 0600));
  EXPECT_TRUE(Op::exist(P("fifo").c_str()));  // answers without waiting for a writer
}

TEST_F(Queries, UnreadableFileExistsButDoesNotOpen) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  Write("secret");
  fs::permissions(P("secret"), fs::perms::none);
  EXPECT_TRUE(Op::isExist(P("secret").c_str()));
  EXPECT_FALSE(Op::exist(P("secret").c_str()));
}

TEST(Separators, Helpers) {
  using namespace qo_fileop_internal;
  EXPECT_TRUE(isPathSeparator('/'));
  EXPECT_FALSE(isPathSeparator('\\'));
  EXPECT_TRUE(isWildcardName("a?"));
  EXPECT_TRUE(isWildcardName("*"));
  EXPECT_FALSE(isWildcardName("abc"));
  EXPECT_FALSE(isWildcardName(""));
  EXPECT_FALSE(isWildcardName(nullptr));
  std::string s = "a\\b\\c";
  normalizeSeptor(s);
  EXPECT_EQ("a/b/c", s);
  s = "a/b";
  normalizeSeptor(s);
  EXPECT_EQ("a/b", s);
}

}  // namespace
}  // namespace fileoptest
