// The file operations on real trees: result, effects and callback steps of every operation in
// one table; the lister's wildcards, the path queries, sizes and content comparison.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "QoFileOpUtil.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using Op = QoKVXFileOpUtil;

// Every case starts in this tree, which is also the working folder.
const char kTree[] =
    "a/b/one.dll=one a/b/two.txt=two a/b/sub/deep/f=f o/t=t dst=old top.txt= y/one.dll/ e/ "
    "t/ten=0123456789 t/sub/five=12345 t/twenty=01234567890123456789 z/b/ D/a= D/abc= D/b.dll= "
    "D/b.dll.bak= D/.h= D/xaybzbc= D/sub/ a/out>o blink>a/b z/b/sub>a/b/sub/deep t/out>o "
    "D/sl>D/sub flink>dst dangle>gone";

class FileOp : public ::testing::Test {
 protected:
  void SetUp() override {
    std::istringstream in(kTree);
    for (std::string item; in >> item;) {
      const std::size_t eq = item.find('='), to = item.find('>');
      if (eq < item.size()) kvxtest::WriteFile(P(item.substr(0, eq)), item.substr(eq + 1));
      if (to < item.size()) fs::create_symlink(P(item.substr(to + 1)), P(item.substr(0, to)));
      if (item.back() == '/') fs::create_directories(P(item));
    }
    fs::create_hard_link(P("a/b/one.dll"), P("hard"));
    fs::permissions(P("dst"), fs::perms(0640));
    ASSERT_EQ(0, ::mkfifo(P("ff").c_str(), 0600));
    saved_ = fs::current_path();
    fs::current_path(tree_.path());
    mask_ = ::umask(0);
  }
  void TearDown() override {
    ::umask(mask_);
    fs::current_path(saved_);
  }
  // Below the tree; an absolute path or a backslash first as given, ":name" relative.
  std::string P(const std::string& rel) const {
    if (rel.empty() || rel[0] == '/' || rel[0] == '\\') return rel;
    return rel[0] == ':' ? rel.substr(1) : tree_ / rel;
  }
  // Each "path=want": "-" absent, "/" a folder, "*" any content, "@755" the mode, else content.
  void Expect(const std::string& checks) {
    std::istringstream in(checks);
    for (std::string item; in >> item;) {
      const std::string key = item.substr(0, item.find('=') + 1), want = item.substr(key.size());
      const std::string path = P(key.substr(0, key.size() - 1));
      const fs::file_status st = fs::symlink_status(path);
      std::string got = kvxtest::ReadFile(path);
      if (want == "*" && !got.empty()) got = "*";
      if (fs::is_directory(st)) got = "/";
      if (!fs::exists(st)) got = "-";
      std::ostringstream mode;
      mode << "@" << std::oct << static_cast<int>(st.permissions() & fs::perms::mask);
      EXPECT_EQ(item, key + (want[0] == '@' ? mode.str() : got));
    }
  }
  static int Run(char op, const std::string& src, const std::string& dst, bool over,
                 Op::Callback cb, Op::CallbackEntry* e) {
    const char *s = src.c_str(), *d = dst.c_str();
    if (op == 'r') return Op::rename(s, d) ? 0 : -1;
    if (op == 'u') return Op::unlink(s, cb, e);
    if (op == 'U') return Op::xunlink(s, cb, e);
    if (op == 'd') return Op::createDir(s, cb, e);
    const auto run = op == 'c'   ? Op::copy
                     : op == 'x' ? Op::xcopy
                     : op == 'm' ? Op::move
                                 : Op::xmove;
    return run(s, d, over, cb, e);
  }
  kvxtest::TempTree tree_;
  fs::path saved_;
  mode_t mask_ = 0;
};

// Each step as "<action><+ done|- announced><source>[><dest>]", paths below the tree;
// the callback answers before and after for steps whose source holds match.
struct Steps {
  std::string tree, match, seen;
  int before = 0, after = 0;
};
int Record(Op::CallbackEntry* e) {
  auto* s = static_cast<Steps*>(e->pUserData);
  const auto rel = [s](const std::string& p) {
    return p.substr(std::min(p.size(), s->tree.size() + 1));
  };
  const std::string src = rel(e->szSource);
  s->seen += (s->seen.empty() ? "" : " ") + std::to_string(e->iAction) + (e->iDone ? "+" : "-") +
             src + (e->szDest ? ">" + rel(e->szDest) : "");
  return src.find(s->match) == std::string::npos ? 0 : e->iDone ? s->after : s->before;
}

// op: c copy, x xcopy, m move, M xmove, r rename, u unlink, U xunlink, d createDir.
// With steps, the callback records them.
struct Case {
  const char* name;
  char op;
  const char *src, *dst;
  bool overwrite;
  int code;
  const char* expect;  // see Expect; a failed case also keeps the source
  const char *steps = nullptr, *match = "";
  int before = 0, after = 0;
};
// clang-format off
const Case kCases[] = {
    {"CopyNewFileAndFolders", 'c', "a/b/one.dll", "x/y/n", 0, 0, "x/y/n=one x/y=@775 x/y/n=@666"},
    {"CopyKeepsExisting", 'c', "a/b/one.dll", "dst", 0, -6, "dst=old"},
    {"CopyOverwritesKeepsMode", 'c', "a/b/one.dll", "dst", 1, 0, "dst=one dst=@640"},
    {"CopyFollowsDanglingLink", 'c', "a/b/one.dll", "dangle", 0, 0, "gone=one"},
    {"CopyFolderFilesOnly", 'c', "a/b", "x/", 0, 0, "x/one.dll=one x/two.txt=two x/sub=-"},
    {"CopyWildcard", 'c', "a/b/*.dll", "x/", 0, 0, "x/one.dll=one x/two.txt=-"},
    {"CopyBackslashes", 'c', "a\\b\\one.dll", "x\\", 0, 0, "x/one.dll=one"},
    {"CopyMissingSource", 'c', "a/b/none", "x/n", 0, -2, "x/n=-"},
    {"CopyEmptySource", 'c', "", "x/n", 0, -1, "x=-"},
    {"CopyWildcardToFile", 'c', "a/b/*.dll", "x/n", 0, -1, "x=-"},
    {"CopyOntoFolderLink", 'c', "a/b/one.dll", "blink", 1, -5, ""},
    {"CopyOntoFolderLinkKept", 'c', "a/b/one.dll", "blink", 0, -6, ""},
    {"CopyOntoFolder", 'c', "a/b", "y/", 1, -5, "y/one.dll=/"},
    {"CopyBelowAFile", 'c', "a/b/one.dll", "dst/n", 0, -5, "dst=old"},
    {"CopyFolderReadError", 'c', "blink", "x/n", 0, -3, ""},
    {"CopyNonRegularFile", 'c', "/proc/self/status", "st", 0, 0, "st=*"},
    {"SameFileRefused", 'c', "a/b/one.dll", "a/../a/b/one.dll", 1, -1, ""},
    {"HardLinkRefused", 'c', "a/b/one.dll", "hard", 1, -1, ""},
    {"XcopyTree", 'x', "a/b", "x/", 0, 0, "x/b/one.dll=one x/b/sub/deep/f=f"},
    {"XcopyBackslashes", 'x', "a\\b", "x\\", 0, 0, "x/b/sub/deep/f=f"},
    {"XcopyWildcardTakesFolders", 'x', "a/b/s*", "x/", 0, 0, "x/sub/deep/f=f x/one.dll=-"},
    {"XcopyWildcardToFile", 'x', "a/b/*.dll", "x/n", 0, -1, "x=-"},
    {"XcopyFolderToFile", 'x', "a/b", "x/n", 0, -1, "x=-"},
    {"XcopyIntoItself", 'x', "a", "a/b/", 0, -1, "a/b/a=-"},
    {"XcopyLinkBackIntoSource", 'x', "a/b", "z/", 1, -1, "a/b/sub/deep/sub=-"},
    {"XcopyNeverEntersLinks", 'x', "a", "x/", 0, -3, "o/t=t x/a/out/t=-"},
    {"MoveWildcard", 'm', "a/b/*.dll", "x/", 0, 0, "x/one.dll=one a/b/one.dll=- a/b/two.txt=two"},
    {"MoveOntoItself", 'm', "a/b/one.dll", "a/b/one.dll", 1, -1, ""},
    {"XmoveTree", 'M', "a/b", "x/", 0, 0, "x/b/sub/deep/f=f a/b=- a=/"},
    {"RenameStripsOneSeparator", 'r', "a/b/", "a/c/", 0, 0, "a/c/sub=/ a/b=-"},
    {"UnlinkFile", 'u', "a/b/one.dll", "", 0, 0, "a/b/one.dll=- hard=one"},
    {"UnlinkMissing", 'u', "none", "", 0, 0, ""},
    {"UnlinkKeepsFullFolder", 'u', "a/b/sub/", "", 0, 0, "a/b/sub/deep/f=f"},
    {"UnlinkEmptyFolder", 'u', "e", "", 0, 0, "e=-"},
    {"UnlinkWildcard", 'u', "a/b/*", "", 0, 0, "a/b/one.dll=- a/b/two.txt=- a/b/sub=/"},
    {"XunlinkTreeNotLinkTargets", 'U', "a", "", 0, 0, "a=- o/t=t"},
    {"XunlinkFolderLinkOnly", 'U', "blink", "", 0, 0, "blink=- a/b/two.txt=two"},
    {"XunlinkWildcard", 'U', "a/b/s*", "", 0, 0, "a/b/sub=- a/b/two.txt=two"},
    {"CreateDirRelative", 'd', ":r/s", "", 0, 0, "r/s=/"},
    {"CreateDirBelowAFile", 'd', "dst/sub", "", 0, -5, ""},
    {"CreateDirOnAFile", 'd', "dst", "", 0, -5, ""},
    {"CreateDirOnFolderLink", 'd', "blink", "", 0, -5, ""},
    {"CreateDirEmptyPath", 'd', "", "", 0, -1, ""},
    {"CbCopyOver", 'c', "a/b/one.dll", "dst", 1, 0, "", "3- 3+ 1-a/b/one.dll>dst 1+a/b/one.dll>dst"},
    {"CbCopySkip", 'c', "a/b/one.dll", "x/n", 0, 0, "x/n=-", "3-x 3+x 0-a/b/one.dll>x/n", "dll", 2},
    {"CbCopyStop", 'c', "a/b/one.dll", "x/n", 0, 7, "x/n=-", "3-x 3+x 0-a/b/one.dll>x/n", "dll", 7},
    {"CbCopyStoppedAfter", 'c', "a/b/one.dll", "x/n", 0, 9, "x/n=one", "3-x 3+x 0-a/b/one.dll>x/n 0+a/b/one.dll>x/n", "dll", 0, 9},
    {"CbXunlinkDepthFirst", 'U', "a/b/sub", "", 0, 0, "a/b/sub=-", "2-a/b/sub/deep/f 2+a/b/sub/deep/f 4-a/b/sub/deep 4+a/b/sub/deep 4-a/b/sub 4+a/b/sub"},
    {"CbXunlinkSkipped", 'U', "a/b/*.dll", "", 0, 0, "a/b/one.dll=one", "2-a/b/one.dll", "", 2},
    {"CbXunlinkStopped", 'U', "a/b/sub", "", 0, 5, "a/b/sub/deep/f=f", "2-a/b/sub/deep/f", "f", 5},
    {"CbCreateDirTopDown", 'd', "x/y/z/", "", 0, 0, "", "3-x/y/z 3-x/y 3-x 3+x 3+x/y 3+x/y/z"},
    {"CbCreateDirSkipped", 'd', "q", "", 0, 0, "q=-", "3-q", "", 2},
    {"CbCreateDirStopped", 'd', "q", "", 0, 3, "q=-", "3-q", "", 3},
};
// clang-format on

class Operation : public FileOp, public ::testing::WithParamInterface<Case> {};
TEST_P(Operation, ResultAndEffect) {
  const Case& c = GetParam();
  Steps steps{tree_.path(), c.match, "", c.before, c.after};
  Op::CallbackEntry e{};
  e.iSize = sizeof e;
  e.pUserData = &steps;
  EXPECT_EQ(c.code, Run(c.op, P(c.src), P(c.dst), c.overwrite, c.steps ? Record : nullptr,
                        c.steps ? &e : nullptr));
  EXPECT_EQ(c.steps ? c.steps : "", steps.seen);
  Expect(c.expect);
  if (c.code != 0 && !c.steps) Expect("a/b/one.dll=one a/b/sub/deep/f=f");
}
KVX_TABLE(FileOp, Operation, kCases);

TEST_F(FileOp, ListerWildcards) {  // relative arguments list relative paths
  const char kAll[] = "D/.h D/a D/abc D/b.dll D/b.dll.bak D/sl D/sub D/xaybzbc";
  const std::tuple<const char*, const char*, int> kRows[] = {
      // argument, listing, folders
      {"D", kAll, 1},
      {"D/", kAll, 1},
      {"D/*.dll", "D/b.dll", 0},
      {"D/a?c", "D/abc", 0},
      {"D/ab*", "D/abc", 0},
      {"D/*a*b*c", "D/abc D/xaybzbc", 0},
      {"D\\*.bak", "D/b.dll.bak", 0},
      {"D/a", "D/a", 0},
      {"D/sl", "D/sl", 0},  // a link to a folder is one entry
      {"none/*", "", 0},
      {"*.txt", "top.txt", 0},
  };
  for (const auto& [arg, listing, folders] : kRows) {
    QoKVXDirList list(arg);
    std::vector<std::string> got;
    while (list.hasNext()) got.push_back(list.getNext());
    EXPECT_EQ("", list.getNext());
    std::sort(got.begin(), got.end());
    std::string joined;
    for (const std::string& g : got) joined += (joined.empty() ? "" : " ") + g;
    EXPECT_EQ(listing, joined) << arg;
    EXPECT_EQ(folders, list.getFolderCount()) << arg;
  }
}

TEST_F(FileOp, QueriesSizesAndContent) {
  // 100 * isDir + 10 * exist + isExist; a fifo answers without waiting for a writer
  const std::tuple<const char*, int> kQueries[] = {{"a/b", 111},   {"a/b/", 111}, {"blink", 11},
                                                   {"blink/", 11}, {"dst", 11},   {"dangle", 0},
                                                   {"none", 0},    {"", 0},       {"ff", 11}};
  for (const auto& [rel, bits] : kQueries) {
    const std::string p = P(rel);
    EXPECT_EQ(bits, 100 * Op::isDir(p.c_str()) + 10 * Op::exist(p.c_str()) + Op::isExist(p.c_str()))
        << rel;
  }
  const std::uint64_t kErr = Op::kSizeError, kHuge = (std::uint64_t{5} << 30) + 3;
  fs::resize_file(P("top.txt"), kHuge);  // sparse: no disk space
  const std::tuple<const char*, std::uint64_t> kSizes[] = {
      {"t", 35},      {"t/", 35}, {"t\\sub", 5},   {"t/ten", 10},     {"e", 0},
      {"none", kErr}, {"", kErr}, {"blink", kErr}, {"top.txt", kHuge}};
  for (const auto& [rel, size] : kSizes) EXPECT_EQ(size, Op::getDirSize(P(rel).c_str())) << rel;
  EXPECT_TRUE(Op::isEmptyDir(P("e").c_str()));
  EXPECT_FALSE(Op::isEmptyDir(P("D").c_str()) || Op::isEmptyDir(P("t/ten").c_str()));
  fs::create_symlink(P("gone"), P("t/sub/dangle"));
  EXPECT_EQ(Op::kSizeError, Op::getDirSize(P("t").c_str()));
  EXPECT_FALSE(Op::filesizeEqualTo(P("top.txt").c_str(), 3));
  EXPECT_TRUE(Op::filesizeEqualTo(P("dst").c_str(), 3));
  std::string big(600 * 1024 + 17, '\0');  // more than two chunks of the copy and the compare
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + i / 7);
  kvxtest::WriteFile(P("c1"), big);
  ASSERT_EQ(0, Op::copy(P("c1").c_str(), P("c2").c_str(), false));
  EXPECT_EQ(big, kvxtest::ReadFile(P("c2")));
  big.back() ^= 1;
  kvxtest::WriteFile(P("c3"), big);
  const std::tuple<const char*, const char*, bool> kPairs[] = {
      {"c1", "c2", 1},   {"c1", "c1", 1},     {"c1", "c3", 0}, {"c1", "dst", 0},
      {"c1", "none", 0}, {"D/a", "D/abc", 1}, {"", "c1", 0}};
  QoKVXFileComparer shared;  // one pair's bytes must not leak into the next
  for (const auto& [a, b, same] : kPairs) {
    EXPECT_EQ(same, Op::comp(P(a).c_str(), P(b).c_str())) << a << b;
    EXPECT_EQ(same, shared.same(P(a).c_str(), P(b).c_str())) << a << b;
  }
}

// Run in a child locked into the tree: a refusal that fails can only empty the tree.
TEST_F(FileOp, XunlinkRefusesTheRoot) {
  for (const char* root : {"/", "\\", "//"}) {
    EXPECT_EXIT(
        {
          if (::chroot(tree_.path().c_str()) != 0 || ::chdir("/a") != 0) ::_exit(2);
          ::_exit(Op::xunlink(root) == -1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << root;
  }
  Expect("a/b/one.dll=one o/t=t");
}

}  // namespace
