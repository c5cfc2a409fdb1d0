// Copies made without a callback take a shorter way for a destination that
// does not exist yet; these cases pin down that every other destination still
// gets the answers and the effects of the general way.
#include <sys/stat.h>
#include <unistd.h>

#include "FileOpTestUtil.h"

namespace fileoptest {
namespace {

struct DestCase {
  const char* name;
  bool overwrite;
  int expected;
  const char* destAfter;  // content read through the destination path; null: not readable
};

class NoCallbackDestTest : public FileOpTest, public ::testing::WithParamInterface<DestCase> {};

// Each case starts from src.txt ("new") and a destination prepared by name.
TEST_P(NoCallbackDestTest, CopyByDestinationKind) {
  const DestCase& c = GetParam();
  Write("src.txt", "new");
  const std::string name = c.name;
  if (name == "file") Write("dst", "old content");
  if (name == "dangling-link") {
    ASSERT_EQ(::symlink(P("target").c_str(), P("dst").c_str()), 0);
  }
  if (name == "link-to-file") {
    Write("target", "old");
    ASSERT_EQ(::symlink(P("target").c_str(), P("dst").c_str()), 0);
  }
  if (name == "same-file") {
    ASSERT_EQ(::link(P("src.txt").c_str(), P("dst").c_str()), 0);
  }

  Op::CallbackEntry e{};
  EXPECT_EQ(Op::copy(P("src.txt").c_str(), P("dst").c_str(), c.overwrite, nullptr, &e), c.expected);
  if (c.destAfter != nullptr) {
    EXPECT_EQ(Read("dst"), c.destAfter);
  }
  EXPECT_EQ(Read("src.txt"), "new");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, NoCallbackDestTest,
    ::testing::Values(DestCase{"missing", false, 0, "new"},
                      DestCase{"file", false, Op::kErrDestExists, "old content"},
                      DestCase{"file", true, 0, "new"},
                      // Not readable, so not there: the write follows the link.
                      DestCase{"dangling-link", false, 0, "new"},
                      DestCase{"link-to-file", false, Op::kErrDestExists, "old"},
                      DestCase{"link-to-file", true, 0, "new"},
                      DestCase{"same-file", true, Op::kErrBadArgs, "new"}),
    [](const auto& info) {
      std::string n = std::string(info.param.name) + (info.param.overwrite ? "_over" : "_keep");
      for (char& ch : n)
        if (ch == '-') ch = '_';
      return n;
    });

TEST_F(NoCallbackDestTest, DanglingLinkCreatesItsTarget) {
  Write("src.txt", "new");
  ASSERT_EQ(::symlink(P("target").c_str(), P("dst").c_str()), 0);
  ASSERT_EQ(Op::copy(P("src.txt").c_str(), P("dst").c_str(), false), 0);
  EXPECT_EQ(Read("target"), "new");
  struct stat st;
  ASSERT_EQ(::lstat(P("dst").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(NoCallbackDestTest, MissingSourceLeavesNoDestination) {
  EXPECT_EQ(Op::copy(P("nothing").c_str(), P("dst").c_str(), true), Op::kErrOpenSource);
  EXPECT_FALSE(fs::exists(fs::symlink_status(P("dst"))));
}

TEST_F(NoCallbackDestTest, EntryWithoutCallbackRecordsTheLastStep) {
  Write("src.txt", "new");
  Op::CallbackEntry e{};
  e.iSize = sizeof e;
  ASSERT_EQ(Op::copy(P("src.txt").c_str(), P("out/dst.txt").c_str(), false, nullptr, &e), 0);
  EXPECT_EQ(e.iAction, Op::kActionCopyNew);
  EXPECT_EQ(e.iDone, 1);
}

TEST_F(NoCallbackDestTest, FolderAtTheTargetNameIsRefused) {
  Write("s/a", "1");
  fs::create_directories(P("d/a"));
  EXPECT_EQ(Op::copy(P("s").c_str(), P("d/").c_str(), true), Op::kErrDest);
  EXPECT_TRUE(fs::is_directory(P("d/a")));
}

TEST_F(NoCallbackDestTest, NewFileGetsTheCreationMask) {
  Write("src.txt", "new");
  ASSERT_EQ(::chmod(P("src.txt").c_str(), 0700), 0);
  const mode_t old = ::umask(022);
  const int r = Op::copy(P("src.txt").c_str(), P("dst").c_str(), false);
  ::umask(old);
  ASSERT_EQ(r, 0);
  struct stat st;
  ASSERT_EQ(::stat(P("dst").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

// A sub-folder of the destination that is a link back into the source must
// still stop the copy, although the pair above it was found apart.
TEST_F(NoCallbackDestTest, XcopyStopsAtALinkBackIntoTheSource) {
  Write("src/sub/deep/f", "1");
  fs::create_directories(P("out/src"));
  ASSERT_EQ(::symlink(P("src/sub/deep").c_str(), P("out/src/sub").c_str()), 0);
  EXPECT_EQ(Op::xcopy(P("src").c_str(), P("out/").c_str(), true), Op::kErrBadArgs);
  EXPECT_FALSE(fs::exists(P("src/sub/deep/sub")));
}

TEST_F(NoCallbackDestTest, XcopyOfADeepTreeCopiesEveryLevel) {
  Write("src/a/b/c/d/f1", "1");
  Write("src/a/f2", "2");
  ASSERT_EQ(Op::xcopy(P("src").c_str(), P("out/").c_str(), true), 0);
  EXPECT_EQ(Tree("out/src"), Tree("src"));
  EXPECT_EQ(Read("out/src/a/b/c/d/f1"), "1");
}

}  // namespace
}  // namespace fileoptest
