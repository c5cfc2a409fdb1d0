// The directory lister and its wildcard matcher.
#include <algorithm>

#include "fileop/FileOpInternal.h"
#include "tests/fileop/FileOpTestUtil.h"

namespace fileoptest {
namespace {

struct MatchCase {
  const char* name;
  const char* pattern;
  const char* text;
  bool match;
};
const MatchCase kMatches[] = {
    {"StarAny", "*", "abc", true},
    {"StarHidden", "*", ".hidden", true},
    {"StarEmpty", "*", "", true},
    {"QuestionExact", "a?c", "abc", true},
    {"QuestionTooShort", "a?c", "ac", false},
    {"QuestionTooLong", "a?c", "abcd", false},
    {"CaseMatters", "*.dll", "x.DLL", false},
    {"Suffix", "*.dll", "lib.dll", true},
    {"SuffixOnlyAtEnd", "*.dll", "lib.dll.bak", false},
    {"DoubleStar", "**.dll", "a.dll", true},
    {"EmptyPatternEmptyName", "", "", true},
    {"EmptyPatternName", "", "a", false},
    {"StarCoversSlash", "a*b", "a/x/b", true},
    {"BracketIsPlain", "[ab]", "a", false},
    {"BracketLiteral", "[ab]", "[ab]", true},
    {"BackslashIsPlain", "a\\*", "a\\zz", true},
    {"Backtrack", "*a*b*c", "xaybzbc", true},
    {"BacktrackFails", "*a*b*c", "xaybzb", false},
    {"StarThenQuestion", "*?", "", false},
    {"ManyStarsNoBlowUp", "*a*a*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
     false},
};
class FnMatch : public ::testing::TestWithParam<MatchCase> {};
TEST_P(FnMatch, WholeNameAgainstWholePattern) {
  const MatchCase& c = GetParam();
  EXPECT_EQ(c.match, qo_fileop_internal::_fnmatch(c.pattern, c.text));
}
INSTANTIATE_TEST_SUITE_P(Patterns, FnMatch, ::testing::ValuesIn(kMatches),
                         [](const auto& i) { return std::string(i.param.name); });

class DirList : public FileOpTest {
 protected:
  void SetUp() override {
    Write("D/a");
    Write("D/b.dll");
    fs::create_directory(P("D/sub"));
  }
  static std::vector<std::string> All(QoKVXDirList& l) {
    std::vector<std::string> out;
    while (l.hasNext()) out.push_back(l.getNext());
    return out;
  }
  static std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  }
};

TEST_F(DirList, DirectoryWithAndWithoutSeparatorListsAll) {
  const std::vector<std::string> want = {P("D/a"), P("D/b.dll"), P("D/sub")};
  for (const std::string& arg : {P("D"), P("D/"), P("D/*")}) {
    QoKVXDirList l(arg.c_str());
    EXPECT_EQ(want, Sorted(All(l))) << arg;
    EXPECT_EQ("*", l.getFilter()) << arg;
  }
}

TEST_F(DirList, WildcardFilters) {
  QoKVXDirList l(P("D/*.dll").c_str());
  EXPECT_EQ("*.dll", l.getFilter());
  EXPECT_EQ(std::vector<std::string>{P("D/b.dll")}, All(l));
}

TEST_F(DirList, BackslashesAreSeparators) {
  const std::string arg = tree_.path() + "\\D\\*.dll";
  QoKVXDirList l(arg.c_str());
  EXPECT_EQ(std::vector<std::string>{P("D/b.dll")}, All(l));
}

TEST_F(DirList, SingleEntryAndMissing) {
  QoKVXDirList one(P("D/a").c_str());
  EXPECT_EQ(std::vector<std::string>{P("D/a")}, All(one));
  QoKVXDirList none(P("D/missing").c_str());
  EXPECT_FALSE(none.hasNext());
  QoKVXDirList noDir(P("nodir/*").c_str());
  EXPECT_FALSE(noDir.hasNext());
  QoKVXDirList null(nullptr);
  EXPECT_EQ("*", null.getFilter());
}

TEST_F(DirList, GetNextPastTheEndIsEmpty) {
  QoKVXDirList l(P("D/a").c_str());
  EXPECT_EQ(P("D/a"), l.getNext());
  EXPECT_FALSE(l.hasNext());
  EXPECT_EQ("", l.getNext());
  EXPECT_EQ("", l.getNext());
}

TEST_F(DirList, CountsFoldersWithoutFollowingLinks) {
  fs::create_directory_symlink(P("D/sub"), P("D/sublink"));
  Write("D/.hidden");
  QoKVXDirList l(P("D").c_str());
  EXPECT_EQ(1, l.getFolderCount());
  EXPECT_EQ(4, l.getFileCount());  // a, b.dll, the link, .hidden
}

TEST_F(DirList, LinkToFolderIsOneEntry) {
  fs::create_directory_symlink(P("D"), P("link"));
  QoKVXDirList l(P("link").c_str());
  EXPECT_EQ(std::vector<std::string>{P("link")}, All(l));
}

TEST_F(DirList, SnapshotAtConstruction) {
  QoKVXDirList l(P("D").c_str());
  Write("D/late");
  fs::remove(P("D/a"));
  const std::vector<std::string> got = Sorted(All(l));
  EXPECT_EQ((std::vector<std::string>{P("D/a"), P("D/b.dll"), P("D/sub")}), got);
}

TEST_F(DirList, BareNameListsInCurrentFolder) {
  const fs::path saved = fs::current_path();
  fs::current_path(P("D"));
  QoKVXDirList l("b.dll");
  QoKVXDirList star("*.dll");
  fs::current_path(saved);
  EXPECT_EQ(std::vector<std::string>{"b.dll"}, All(l));
  EXPECT_EQ(std::vector<std::string>{"b.dll"}, All(star));
}

}  // namespace
}  // namespace fileoptest
