// copy, xcopy, move, xmove and rename on real trees.
#include <sys/stat.h>

#include "tests/fileop/FileOpTestUtil.h"

namespace fileoptest {
namespace {

class Copy : public FileOpTest {
 protected:
  void SetUp() override {
    Write("a/b/one.dll", "one");
    Write("a/b/two.txt", "two");
    Write("a/b/sub/deep.dll", "deep");
  }
};

TEST_F(Copy, FileToNewFileCreatesMissingFolders) {
  fs::create_directory(P("x"));
  const mode_t old = ::umask(022);
  const int r = Op::copy(P("a/b/one.dll").c_str(), P("x/y/z.txt").c_str(), false);
  ::umask(old);
  ASSERT_EQ(0, r);
  EXPECT_EQ("one", Read("x/y/z.txt"));
  EXPECT_EQ(fs::perms(0755), fs::status(P("x/y")).permissions() & fs::perms::mask);
}

TEST_F(Copy, ExistingDestinationWithoutOverwriteIsKept) {
  Write("dst", "keep");
  EXPECT_EQ(-6, Op::copy(P("a/b/one.dll").c_str(), P("dst").c_str(), false));
  EXPECT_EQ("keep", Read("dst"));
}

TEST_F(Copy, OverwriteReplacesContentAndKeepsMode) {
  Write("dst", "a much longer old content");
  fs::permissions(P("dst"), fs::perms(0640));
  EXPECT_EQ(0, Op::copy(P("a/b/one.dll").c_str(), P("dst").c_str(), true));
  EXPECT_EQ("one", Read("dst"));
  EXPECT_EQ(fs::perms(0640), fs::status(P("dst")).permissions() & fs::perms::mask);
}

TEST_F(Copy, DirectoryCopiesOnlyItsFiles) {
  ASSERT_EQ(0, Op::copy(P("a/b").c_str(), (P("x") + "/").c_str(), false));
  EXPECT_EQ((std::set<std::string>{"one.dll", "two.txt"}), Tree("x"));
}

TEST_F(Copy, WildcardIntoFolder) {
  ASSERT_EQ(0, Op::copy(P("a/b/*.dll").c_str(), (P("x") + "/").c_str(), false));
  EXPECT_EQ(std::set<std::string>{"one.dll"}, Tree("x"));
}

TEST_F(Copy, BackslashesAreRewritten) {
  const std::string src = tree_.path() + "\\a\\b\\one.dll";
  const std::string dst = tree_.path() + "\\x\\";
  ASSERT_EQ(0, Op::copy(src.c_str(), dst.c_str(), false));
  EXPECT_EQ("one", Read("x/one.dll"));
}

struct CodeCase {
  const char* name;
  const char* source;  // relative to the tree; "" stays empty
  const char* dest;
  bool recursive;
  int code;
};
const CodeCase kCodes[] = {
    {"EmptySource", "", "x/f", false, -1},
    {"EmptyDest", "a/b/one.dll", "", false, -1},
    {"WildcardToFile", "a/b/*.dll", "x/file.dll", false, -1},
    {"DirToFile", "a/b", "x/file", false, -1},
    {"XWildcardToFile", "a/b/*.dll", "x/file.dll", true, -1},
    {"XDirToFile", "a/b", "x/file", true, -1},
    {"MissingToFile", "a/b/missing", "x/f", false, -2},
    {"MissingIntoDir", "a/b/missing", "x/", false, 0},
    {"XMissingIntoDir", "a/b/missing", "x/", true, 0},
    {"DestLinkToDirOverwrite", "a/b/one.dll", "blink", false, -5},
    {"DestLinkToDirExists", "a/b/one.dll", "blink", false, -6},
    {"ParentIsFile", "a/b/one.dll", "a/b/two.txt/f", false, -5},
    {"ReadErrorOnFolderLink", "blink", "x/f", false, -3},
    {"SameFileRefused", "a/b/one.dll", "a/b/one.dll", false, -6},
    {"SameFileOverwriteRefused", "a/b/one.dll", "a/../a/b/one.dll", false, -1},
    {"HardLinkRefused", "a/b/one.dll", "hard", false, -1},
    {"DirIntoItself", "a", "a/b/", true, -1},
};
class CopyCodes : public Copy, public ::testing::WithParamInterface<CodeCase> {};
TEST_P(CopyCodes, Result) {
  const CodeCase& c = GetParam();
  fs::create_directory_symlink(P("a/b"), P("blink"));
  fs::create_hard_link(P("a/b/one.dll"), P("hard"));
  const std::string src = *c.source ? P(c.source) : "";
  const std::string dst = *c.dest ? P(c.dest) : "";
  const bool overwrite = std::string(c.name).find("Overwrite") != std::string::npos ||
                         std::string(c.name) == "HardLinkRefused";
  const int r = c.recursive ? Op::xcopy(src.c_str(), dst.c_str(), overwrite)
                            : Op::copy(src.c_str(), dst.c_str(), overwrite);
  EXPECT_EQ(c.code, r);
  EXPECT_EQ("one", Read("a/b/one.dll"));  // a refused copy never empties its source
}
INSTANTIATE_TEST_SUITE_P(Codes, CopyCodes, ::testing::ValuesIn(kCodes),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(Copy, NullPaths) {
  EXPECT_EQ(-1, Op::copy(nullptr, P("x").c_str(), true));
  EXPECT_EQ(-1, Op::xcopy(P("a").c_str(), nullptr, true));
}

TEST_F(Copy, XcopyCopiesTheFolderItself) {
  ASSERT_EQ(0, Op::xcopy(P("a/b").c_str(), (P("x") + "/").c_str(), false));
  EXPECT_EQ((std::set<std::string>{"b/", "b/one.dll", "b/two.txt", "b/sub/", "b/sub/deep.dll"}),
            Tree("x"));
  EXPECT_EQ("deep", Read("x/b/sub/deep.dll"));
}

TEST_F(Copy, XcopyWildcardTakesMatchingFoldersWhole) {
  Write("a/b/sub.dll/inner", "in");
  ASSERT_EQ(0, Op::xcopy(P("a/b/*.dll").c_str(), (P("x") + "/").c_str(), false));
  EXPECT_EQ((std::set<std::string>{"one.dll", "sub.dll/", "sub.dll/inner"}), Tree("x"));
}

TEST_F(Copy, LinkedFilesArriveAsFiles) {
  Write("outside/target.txt", "target");
  fs::create_symlink(P("outside/target.txt"), P("a/b/filelink"));
  ASSERT_EQ(0, Op::copy(P("a/b").c_str(), (P("x") + "/").c_str(), false));
  EXPECT_FALSE(fs::is_symlink(P("x/filelink")));
  EXPECT_EQ("target", Read("x/filelink"));
}

TEST_F(Copy, XcopyNeverEntersLinkedFolders) {
  Write("outside/secret", "s");
  fs::create_directory_symlink(P("outside"), P("a/b/out"));
  // The link is copied like a file; a folder cannot be read as one.
  EXPECT_EQ(-3, Op::xcopy(P("a/b").c_str(), (P("x") + "/").c_str(), false));
  EXPECT_FALSE(fs::exists(P("x/b/out/secret")));
  EXPECT_EQ("s", Read("outside/secret"));
}

TEST_F(Copy, LargeFileCrossesManyChunks) {
  std::string big(3 * 256 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + i / 7);
  Write("big", big);
  ASSERT_EQ(0, Op::copy(P("big").c_str(), P("big2").c_str(), false));
  EXPECT_EQ(big, Read("big2"));
}

TEST_F(Copy, NonRegularSourceUsesTheBufferLoop) {
  ASSERT_EQ(0, Op::copy("/proc/self/status", P("status").c_str(), false));
  EXPECT_NE(std::string::npos, Read("status").find("Name:"));
}

TEST_F(Copy, CallbackSkipsAndStops) {
  Recorder rec;
  rec.match = "/one.dll";
  rec.answer = 2;
  Op::CallbackEntry e = EntryFor(&rec);
  ASSERT_EQ(0, Op::copy(P("a/b").c_str(), (P("x") + "/").c_str(), false, RecordStep, &e));
  EXPECT_EQ(std::set<std::string>{"two.txt"}, Tree("x"));

  rec.answer = 7;
  fs::remove_all(P("x"));
  fs::create_directory(P("x"));
  EXPECT_EQ(7, Op::copy(P("a/b/one.dll").c_str(), (P("x") + "/").c_str(), false, RecordStep, &e));
  EXPECT_TRUE(Tree("x").empty());
}

TEST_F(Copy, CallbackSeesEachStepTwiceWithAction) {
  Write("x/one.dll", "old");
  Recorder rec;
  Op::CallbackEntry e = EntryFor(&rec);
  ASSERT_EQ(0, Op::copy(P("a/b/*.dll").c_str(), (P("x") + "/").c_str(), true, RecordStep, &e));
  const std::vector<Step> want = {{P("a/b/one.dll"), P("x/one.dll"), 1, 0},
                                  {P("a/b/one.dll"), P("x/one.dll"), 1, 1}};
  EXPECT_EQ(want, rec.steps);
}

TEST_F(Copy, CallbackStopAfterTheStepKeepsTheCopy) {
  Recorder rec;
  rec.match = "/one.dll";  // the folder step before it goes on
  rec.answerAfter = 9;
  Op::CallbackEntry e = EntryFor(&rec);
  EXPECT_EQ(9, Op::copy(P("a/b/one.dll").c_str(), P("n").c_str(), false, RecordStep, &e));
  EXPECT_EQ("one", Read("n"));
}

TEST_F(Copy, MoveCopiesThenDeletes) {
  ASSERT_EQ(0, Op::move(P("a/b/*.dll").c_str(), (P("x") + "/").c_str(), false));
  EXPECT_EQ(std::set<std::string>{"one.dll"}, Tree("x"));
  EXPECT_FALSE(fs::exists(P("a/b/one.dll")));
  EXPECT_TRUE(fs::exists(P("a/b/sub/deep.dll")));
}

TEST_F(Copy, MoveOntoItselfKeepsTheFile) {
  EXPECT_NE(0, Op::move(P("a/b/one.dll").c_str(), P("a/b/one.dll").c_str(), true));
  EXPECT_EQ("one", Read("a/b/one.dll"));
}

TEST_F(Copy, XmoveMovesTheTree) {
  ASSERT_EQ(0, Op::xmove(P("a/b").c_str(), (P("x") + "/").c_str(), false));
  EXPECT_EQ(5u, Tree("x").size());
  EXPECT_FALSE(fs::exists(P("a/b")));
  EXPECT_TRUE(fs::exists(P("a")));
}

TEST_F(Copy, MoveStopsWhenTheCopyFails) {
  Write("x/one.dll", "old");
  EXPECT_EQ(-6, Op::move(P("a/b/one.dll").c_str(), P("x/one.dll").c_str(), false));
  EXPECT_TRUE(fs::exists(P("a/b/one.dll")));
}

TEST_F(Copy, RenameStripsOneTrailingSeparator) {
  EXPECT_TRUE(Op::rename((P("a/b") + "/").c_str(), (P("a/c") + "/").c_str()));
  EXPECT_TRUE(fs::is_directory(P("a/c/sub")));
  EXPECT_FALSE(Op::rename(P("missing").c_str(), P("m2").c_str()));
  EXPECT_FALSE(Op::rename(nullptr, P("m2").c_str()));
}

}  // namespace
}  // namespace fileoptest
