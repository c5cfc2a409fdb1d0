// unlink, xunlink and createDir, with the step callback.
#include "tests/fileop/FileOpTestUtil.h"

namespace fileoptest {
namespace {

class Delete : public FileOpTest {
 protected:
  void SetUp() override {
    Write("d/a.log");
    Write("d/b.log");
    Write("d/keep.txt");
    Write("d/old.log/inner.txt");
    Write("d/sub/deep/f");
    Write("outside/target", "t");
  }
};

TEST_F(Delete, UnlinkFileAndMissing) {
  EXPECT_EQ(0, Op::unlink(P("d/keep.txt").c_str()));
  EXPECT_FALSE(fs::exists(P("d/keep.txt")));
  EXPECT_EQ(0, Op::unlink(P("d/missing").c_str()));
  EXPECT_EQ(0, Op::xunlink(P("d/missing").c_str()));
  EXPECT_EQ(-1, Op::unlink(""));
  EXPECT_EQ(-1, Op::xunlink(nullptr));
}

TEST_F(Delete, UnlinkLeavesNonEmptyFolder) {
  EXPECT_EQ(0, Op::unlink((P("d/sub") + "/").c_str()));
  EXPECT_TRUE(fs::exists(P("d/sub/deep/f")));
  fs::create_directory(P("d/empty"));
  EXPECT_EQ(0, Op::unlink(P("d/empty").c_str()));
  EXPECT_FALSE(fs::exists(P("d/empty")));
}

TEST_F(Delete, UnlinkWildcardRemovesOnlyEmptyMatchingFolders) {
  EXPECT_EQ(0, Op::unlink(P("d/*.log").c_str()));
  EXPECT_EQ((std::set<std::string>{"keep.txt", "old.log/", "old.log/inner.txt", "sub/", "sub/deep/",
                                   "sub/deep/f"}),
            Tree("d"));
}

TEST_F(Delete, XunlinkWildcardKeepsTheFolder) {
  EXPECT_EQ(0, Op::xunlink(P("d/*.log").c_str()));
  EXPECT_EQ((std::set<std::string>{"keep.txt", "sub/", "sub/deep/", "sub/deep/f"}), Tree("d"));
}

TEST_F(Delete, XunlinkRemovesTreeButNeverLinkTargets) {
  fs::create_directory_symlink(P("outside"), P("d/sub/linkdir"));
  fs::create_symlink(P("outside/target"), P("d/linkfile"));
  EXPECT_EQ(0, Op::xunlink(P("d").c_str()));
  EXPECT_FALSE(fs::exists(fs::symlink_status(P("d"))));
  EXPECT_EQ("t", Read("outside/target"));
}

TEST_F(Delete, XunlinkOfALinkToAFolderDeletesTheLinkOnly) {
  fs::create_directory_symlink(P("outside"), P("ln"));
  EXPECT_EQ(0, Op::xunlink(P("ln").c_str()));
  EXPECT_FALSE(fs::exists(fs::symlink_status(P("ln"))));
  EXPECT_EQ("t", Read("outside/target"));
}

TEST_F(Delete, XunlinkRefusesTheRoot) {
  EXPECT_EQ(-1, Op::xunlink("/"));
  EXPECT_EQ(-1, Op::xunlink("\\"));
}

TEST_F(Delete, UnremovableEntryGivesMinusOne) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may remove from a read-only folder";
  fs::permissions(P("d"), fs::perms(0555));
  const int r = Op::unlink(P("d/keep.txt").c_str());
  fs::permissions(P("d"), fs::perms(0755));
  EXPECT_EQ(-1, r);
}

TEST_F(Delete, CallbackSkipsAndStops) {
  Recorder rec;
  rec.match = "/b.log";
  rec.answer = 2;
  Op::CallbackEntry e = EntryFor(&rec);
  EXPECT_EQ(0, Op::xunlink(P("d/*.log").c_str(), RecordStep, &e));
  EXPECT_TRUE(fs::exists(P("d/b.log")));
  EXPECT_FALSE(fs::exists(P("d/a.log")));
  rec.answer = 5;
  EXPECT_EQ(5, Op::xunlink(P("d").c_str(), RecordStep, &e));
  EXPECT_TRUE(fs::exists(P("d/b.log")));
}

TEST_F(Delete, CallbackSeesRemovalsDepthFirst) {
  Recorder rec;
  Op::CallbackEntry e = EntryFor(&rec);
  ASSERT_EQ(0, Op::xunlink(P("d/sub").c_str(), RecordStep, &e));
  const std::vector<Step> want = {
      {P("d/sub/deep/f"), "", 2, 0}, {P("d/sub/deep/f"), "", 2, 1}, {P("d/sub/deep"), "", 4, 0},
      {P("d/sub/deep"), "", 4, 1},   {P("d/sub"), "", 4, 0},        {P("d/sub"), "", 4, 1},
  };
  EXPECT_EQ(want, rec.steps);
}

class CreateDir : public FileOpTest {};

TEST_F(CreateDir, MakesParentsTopDown) {
  Recorder rec;
  Op::CallbackEntry e = EntryFor(&rec);
  ASSERT_EQ(0, Op::createDir((P("x/y/z") + "/").c_str(), RecordStep, &e));
  EXPECT_TRUE(fs::is_directory(P("x/y/z")));
  const std::vector<Step> want = {
      {P("x/y/z"), "", 3, 0}, {P("x/y"), "", 3, 0}, {P("x"), "", 3, 0},
      {P("x"), "", 3, 1},     {P("x/y"), "", 3, 1}, {P("x/y/z"), "", 3, 1},
  };
  EXPECT_EQ(want, rec.steps);
}

TEST_F(CreateDir, ModeIs0775LessTheMask) {
  const mode_t old = ::umask(0);
  const int r = Op::createDir(P("m").c_str());
  ::umask(old);
  ASSERT_EQ(0, r);
  EXPECT_EQ(fs::perms(0775), fs::status(P("m")).permissions() & fs::perms::mask);
}

TEST_F(CreateDir, Results) {
  Write("file");
  fs::create_directory(P("dir"));
  fs::create_directory_symlink(P("dir"), P("dlink"));
  EXPECT_EQ(0, Op::createDir(P("dir").c_str()));
  EXPECT_EQ(0, Op::createDir("/"));
  EXPECT_EQ(-5, Op::createDir(P("file/sub").c_str()));
  EXPECT_EQ(-5, Op::createDir(P("file").c_str()));
  EXPECT_EQ(-5, Op::createDir(P("dlink").c_str()));  // a link is not taken as the folder
  EXPECT_EQ(-1, Op::createDir(""));
  EXPECT_EQ(-1, Op::createDir(nullptr));
}

TEST_F(CreateDir, RelativeNameInCurrentFolder) {
  const fs::path saved = fs::current_path();
  fs::current_path(tree_.path());
  const int r = Op::createDir("rel");
  fs::current_path(saved);
  EXPECT_EQ(0, r);
  EXPECT_TRUE(fs::is_directory(P("rel")));
}

TEST_F(CreateDir, CallbackSkipAndStop) {
  Recorder rec;
  rec.answer = 2;
  Op::CallbackEntry e = EntryFor(&rec);
  EXPECT_EQ(0, Op::createDir(P("skipped").c_str(), RecordStep, &e));
  EXPECT_FALSE(fs::exists(P("skipped")));
  rec.answer = 3;
  EXPECT_EQ(3, Op::createDir(P("stopped").c_str(), RecordStep, &e));
  EXPECT_FALSE(fs::exists(P("stopped")));
}

}  // namespace
}  // namespace fileoptest
