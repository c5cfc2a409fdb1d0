// The tree walk, sizes, emptiness and content comparison.
#include <cstring>

#include "tests/fileop/FileOpTestUtil.h"

namespace fileoptest {
namespace {

class Size : public FileOpTest {
 protected:
  void SetUp() override {
    Write("t/ten", std::string(10, 'a'));
    Write("t/twenty", std::string(20, 'b'));
    Write("t/sub/five", std::string(5, 'c'));
  }
};

TEST_F(Size, DirSize) {
  EXPECT_EQ(35u, Op::getDirSize(P("t").c_str()));
  EXPECT_EQ(35u, Op::getDirSize((P("t") + "/").c_str()));
  fs::create_directory(P("empty"));
  EXPECT_EQ(0u, Op::getDirSize(P("empty").c_str()));
  EXPECT_EQ(10u, Op::getDirSize(P("t/ten").c_str()));
  EXPECT_EQ(Op::kSizeError, Op::getDirSize(P("missing").c_str()));
  EXPECT_EQ(Op::kSizeError, Op::getDirSize(""));
}

TEST_F(Size, DanglingLinkFailsTheWalk) {
  fs::create_symlink(P("gone"), P("t/sub/dangling"));
  EXPECT_EQ(Op::kSizeError, Op::getDirSize(P("t").c_str()));
}

TEST_F(Size, LinkedFolderIsNotEntered) {
  Write("outside/big", std::string(1000, 'z'));
  fs::create_directory_symlink(P("outside"), P("t/out"));
  EXPECT_EQ(35u, Op::getDirSize(P("t").c_str()));
}

TEST_F(Size, BeyondFourGiBIsExact) {
  fs::create_directory(P("sparse"));
  const std::uintmax_t big = (std::uintmax_t{5} << 30) + 3;
  Write("sparse/f", "");
  fs::resize_file(P("sparse/f"), big);  // sparse: no disk space used
  EXPECT_EQ(big, Op::getDirSize(P("sparse").c_str()));
  EXPECT_FALSE(Op::filesizeEqualTo(P("sparse/f").c_str(), 3));
}

int CountAndPrune(Op::CallbackEntry* e) {
  static_cast<std::vector<Step>*>(e->pUserData)
      ->push_back({e->szSource, "", e->iAction, static_cast<int>(e->iItemSize)});
  if (e->iAction == Op::kActionVisitDir) e->iAction = 0;
  return 0;
}

TEST_F(Size, CallbackCanKeepTheWalkOutOfAFolder) {
  std::vector<Step> seen;
  Op::CallbackEntry e{};
  e.iSize = sizeof e;
  e.pUserData = &seen;
  EXPECT_TRUE(Op::xaccess(P("t").c_str(), CountAndPrune, &e));
  EXPECT_EQ(3u, seen.size());  // ten, twenty, sub; nothing below sub
}

TEST_F(Size, WrongRecordSizeIsRefusedUntouched) {
  std::vector<Step> seen;
  Op::CallbackEntry e{};
  e.pUserData = &seen;
  EXPECT_FALSE(Op::xaccess(P("t").c_str(), CountAndPrune, &e));
  EXPECT_FALSE(Op::xaccess(P("t").c_str(), CountAndPrune, nullptr));
  EXPECT_TRUE(seen.empty());
}

TEST_F(Size, IsEmptyDir) {
  fs::create_directory(P("empty"));
  Write("hidden/.h");
  EXPECT_TRUE(Op::isEmptyDir(P("empty").c_str()));
  EXPECT_FALSE(Op::isEmptyDir(P("hidden").c_str()));
  EXPECT_FALSE(Op::isEmptyDir(P("t/ten").c_str()));
  EXPECT_FALSE(Op::isEmptyDir(P("missing").c_str()));
}

TEST_F(Size, FileSizeEqualTo) {
  Write("h", std::string(100, 'h'));
  EXPECT_TRUE(Op::filesizeEqualTo(P("h").c_str(), 100));
  EXPECT_FALSE(Op::filesizeEqualTo(P("h").c_str(), 99));
  EXPECT_FALSE(Op::filesizeEqualTo(P("missing").c_str(), 0));
  EXPECT_FALSE(Op::filesizeEqualTo(nullptr, 0));
}

TEST_F(Size, Comp) {
  std::string body(600 * 1024, 'q');
  Write("c1", body);
  Write("c2", body);
  body.back() = 'r';
  Write("c3", body);
  Write("short", "q");
  Write("e1", "");
  Write("e2", "");
  EXPECT_TRUE(Op::comp(P("c1").c_str(), P("c2").c_str()));
  EXPECT_TRUE(Op::comp(P("c1").c_str(), P("c1").c_str()));
  EXPECT_FALSE(Op::comp(P("c1").c_str(), P("c3").c_str()));
  EXPECT_FALSE(Op::comp(P("c1").c_str(), P("short").c_str()));
  EXPECT_FALSE(Op::comp(P("c1").c_str(), P("missing").c_str()));
  EXPECT_TRUE(Op::comp(P("e1").c_str(), P("e2").c_str()));
  EXPECT_FALSE(Op::comp(nullptr, P("e2").c_str()));
}

}  // namespace
}  // namespace fileoptest
