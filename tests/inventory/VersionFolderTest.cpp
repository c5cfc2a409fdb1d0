#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>

#include "InventoryTestUtil.h"
#include "inventory/VersionFolder.h"

namespace {

namespace fs = std::filesystem;
using invtest::InventoryTest;
using kvxtest::DebugLogMessages;
using kvxtest::TempTree;
using kvxtest::WriteFile;

struct ParseCase {
  const char* name;
  const char* path;
  int v[4];
};

const ParseCase kParses[] = {
    {"EngineThreeNumbers", "/opt/kvx/engine/alder/V9.750.1001", {9, 750, 0, 1001}},
    {"ProgramTrailingSlash", "/opt/kvx/program/V5.8.0.1234/", {5, 8, 0, 1234}},
    {"Hotfix", "B1234", {1234, 0, 0, 0}},
    {"Latest", "/opt/kvx/program/latest", {0, 0, 0, 0}},
    {"TwoNumbers", "x/V7.12", {7, 12, 0, 0}},
    {"BackslashesOnly", "a\\b\\V1.2.3", {1, 2, 0, 3}},
    {"TrailingBackslash", "a/V1.2.3.4\\", {1, 2, 3, 4}},
    {"FifthNumberIgnored", "V1.2.3.4.5", {1, 2, 3, 4}},
    {"BlanksAndSigns", "V 7. -3.+2", {7, -3, 0, 2}},
    {"DoubleDotStops", "V5..8", {5, 0, 0, 0}},
    {"BlankBeforeDotStops", "V5 .8", {5, 0, 0, 0}},
    {"TextAfterNumber", "V5.8x.9", {5, 8, 0, 0}},
    {"HugeHeldAtMax", "V99999999999.1", {INT_MAX, 1, 0, 0}},
    {"Empty", "", {0, 0, 0, 0}},
    {"RootOnly", "/", {0, 0, 0, 0}},
    {"LetterOnly", "/a/V", {0, 0, 0, 0}},
};

class ParseVersion : public ::testing::TestWithParam<ParseCase> {};
TEST_P(ParseVersion, ReadsTheLastComponent) {
  const ParseCase& c = GetParam();
  int v[4] = {-9, -9, -9, -9};
  QoParseVersionStr(c.path, &v[0], &v[1], &v[2], &v[3]);
  EXPECT_EQ((std::vector<int>(c.v, c.v + 4)), (std::vector<int>(v, v + 4)));
}
INSTANTIATE_TEST_SUITE_P(Cases, ParseVersion, ::testing::ValuesIn(kParses),
                         [](const auto& i) { return std::string(i.param.name); });

// --- finding the newest folder ----------------------------------------------

class Finder : public ::testing::Test {
 protected:
  void Folders(const std::string& sub, const std::vector<std::string>& names) {
    for (const std::string& name : names) fs::create_directories(tree_ / (sub + "/" + name));
  }
  // The first of names in the order the directory yields them.
  std::string FirstListed(const std::string& sub, const std::vector<std::string>& names) {
    for (const auto& entry : fs::directory_iterator(tree_ / sub))
      for (const std::string& name : names)
        if (entry.path().filename() == name) return entry.path().string();
    return "";
  }
  std::string Latest(const char* sub, std::size_t size = 1024) {
    buf_.assign(size + 8, '#');
    const char* found = GetLatestPathN(tree_.path().c_str(), sub, buf_.data(), size);
    if (found) {
      EXPECT_EQ(buf_.data(), found);
    }
    return found ? found : "<null>";
  }
  std::string LatestHF(const char* sub) {
    buf_.assign(1024, '#');
    const char* found = GetLatestHFPathN(tree_.path().c_str(), sub, buf_.data(), 1024);
    return found ? found : "<null>";
  }
  TempTree tree_;
  std::vector<char> buf_;
};

TEST_F(Finder, ComparesBuildsAsNumbers) {
  Folders("program", {"V5.8.0.999", "V5.8.0.1234", "V5.8.0.1200"});
  EXPECT_EQ(tree_ / "program/V5.8.0.1234", Latest("program"));
}

TEST_F(Finder, ComparesFromTheFirstComponent) {
  Folders("engine/alder", {"V9.750.1001", "V10.000.1000", "V9.999.9999"});
  EXPECT_EQ(tree_ / "engine/alder/V10.000.1000", Latest("engine/alder"));
}

TEST_F(Finder, IgnoresLinksFilesAndOtherNames) {
  Folders("program", {"V5.8.0.1000", "v5.8.0.7000", "X5.8.0.8000"});
  fs::create_directories(tree_ / "target");
  fs::create_directory_symlink(tree_ / "target", tree_ / "program/V5.8.0.9999");
  fs::create_directory_symlink(tree_ / "program/V5.8.0.1000", tree_ / "program/latest");
  WriteFile(tree_ / "program/V5.8.0.9000", "a file");
  EXPECT_EQ(tree_ / "program/V5.8.0.1000", Latest("program"));
}

TEST_F(Finder, OfEqualVersionsTheFirstListedWins) {
  const std::vector<std::string> same = {"V5.8.0.1234", "V5.8.0.01234", "V05.8.0.1234",
                                         "V5.08.0.1234"};
  Folders("program", same);
  EXPECT_EQ(FirstListed("program", same), Latest("program"));
}

TEST_F(Finder, CutsThePathToTheOutSize) {
  Folders("program", {"V5.8.0.1234"});
  const std::string full = tree_ / "program/V5.8.0.1234";
  EXPECT_EQ(full.substr(0, 9), Latest("program", 10));
  EXPECT_EQ('#', buf_[10]);
  EXPECT_EQ(full, Latest("program", full.size() + 1));
  EXPECT_EQ(full.substr(0, full.size() - 1), Latest("program", full.size()));
}

TEST_F(Finder, NothingFoundLeavesOutAsGiven) {
  EXPECT_EQ("<null>", Latest("program"));  // no folder at all
  Folders("program", {"Vxyz", "V-5.8"});
  EXPECT_EQ("<null>", Latest("program"));
  EXPECT_EQ('#', buf_[0]);
}

TEST_F(Finder, AFirstComponentOfZeroIsReportedAsNothing) {
  Folders("engine/birch", {"V0.5.1", "V0.7.2"});
  EXPECT_EQ("<null>", Latest("engine/birch"));
  EXPECT_EQ(tree_ / "engine/birch/V0.7.2", std::string(buf_.data()));
}

TEST_F(Finder, APatternThatDoesNotFitFindsNothing) {
  // base + "/" + sub + "/V*" must fit 1024 bytes with its terminator; a
  // folder name has at most 255 bytes, so sub is made of several.
  std::string sub;
  const std::size_t length = 1024 - tree_.path().size() - 1 - 3 - 1;
  while (sub.size() < length)
    sub += (sub.empty() ? "" : "/") +
           std::string(std::min<std::size_t>(200, length - sub.size() - !sub.empty()), 's');
  ASSERT_EQ(length, sub.size());
  Folders(sub, {"V5.8.0.1"});
  EXPECT_EQ(tree_ / (sub + "/V5.8.0.1"), Latest(sub.c_str(), 2048));
  const std::string longer = sub + "t";
  Folders(longer, {"V5.8.0.1"});
  EXPECT_EQ("<null>", Latest(longer.c_str(), 2048));
}

TEST_F(Finder, HotfixFoldersCompareTheirSingleNumber) {
  EXPECT_EQ("<null>", LatestHF("hotfix"));
  Folders("hotfix", {"B1001", "Bxyz", "B1002", "B0999"});
  fs::create_directory_symlink(tree_ / "hotfix/B1001", tree_ / "hotfix/B5000");
  EXPECT_EQ(tree_ / "hotfix/B1002", LatestHF("hotfix"));
  Folders("hotfix", {"B99999999999"});  // held at the largest 32-bit number
  EXPECT_EQ(tree_ / "hotfix/B99999999999", LatestHF("hotfix"));
}

TEST_F(Finder, HotfixFoldersOfZeroOrBelowNeverCount) {
  Folders("hotfix", {"B0", "B-5", "Babc", "b1234", "V1234"});
  EXPECT_EQ("<null>", LatestHF("hotfix"));
  EXPECT_EQ('#', buf_[0]);
}

// --- the engine version file ---------------------------------------------------

class EngineVersion : public InventoryTest {
 protected:
  int Read(const std::string& folder, int* v) {
    kvxtest::ClearDebugLog();
    std::vector<char> arg(folder.begin(), folder.end());
    arg.push_back('\0');
    for (int i = 0; i < 4; ++i) v[i] = -9;
    return ReadEngineVersion(arg.data(), &v[0], &v[1], &v[2], &v[3]);
  }
  TempTree tree_;
};

struct EngineCase {
  const char* name;
  std::string content;
  int result;
  int v[4];            // major, minor, build, extra
  const char* shown;   // the line as logged; nullptr: not logged
  bool noVersionLine;  // "..., no version." is the last line
};

const EngineCase kEngines[] = {
    {"ThreeNumbers", "version:V9.750.1001\n", 0, {9, 750, 1001, 0}, "version:V9.750.1001", false},
    {"FourNumbers",
     "version:V9.750.7.1001\nnext\n",
     0,
     {9, 750, 1001, 7},
     "version:V9.750.7.1001",
     false},
    {"CrLf", "version:V9.750.1001\r\n", 0, {9, 750, 1001, 0}, "version:V9.750.1001", false},
    {"NoLineEnd", "version:V1.2.3", 0, {1, 2, 3, 0}, "version:V1.2.3", false},
    {"NineCharacters", "123456789\n", 0, {0, 0, 0, 0}, "123456789", false},
    {"EightCharacters", "12345678\r\n", -1, {0, 0, 0, 0}, "12345678", true},
    {"EmptyLine", "\n1.2.3\n", -1, {0, 0, 0, 0}, "", true},
    {"LongLine", std::string(5000, 'x'), 0, {0, 0, 0, 0}, nullptr, false},
    {"Binary", std::string("abc\0def\xff\xfe\x01 V1.2.3", 17), -1, {0, 0, 0, 0}, "abc", true},
};

class EngineFile : public EngineVersion, public ::testing::WithParamInterface<EngineCase> {};
TEST_P(EngineFile, ReadsTheFirstLine) {
  const EngineCase& c = GetParam();
  WriteFile(tree_ / "engine/alder/version.txt", c.content);
  int v[4];
  EXPECT_EQ(c.result, Read(tree_ / "engine/alder", v));
  EXPECT_EQ((std::vector<int>(c.v, c.v + 4)), (std::vector<int>(v, v + 4)));
  const std::string file = tree_ / "engine/alder/version.txt";
  const auto lines = DebugLogMessages();
  if (c.shown) {
    EXPECT_EQ("File " + file + " content is " + c.shown + ".", lines.at(0));
  }
  if (c.noVersionLine) {
    EXPECT_EQ("File " + file + " content is " + c.shown + ", no version.", lines.back());
  } else {
    EXPECT_EQ(1u, lines.size());
  }
}
INSTANTIATE_TEST_SUITE_P(Cases, EngineFile, ::testing::ValuesIn(kEngines),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(EngineVersion, ReportsMissingAndEmptyFiles) {
  int v[4];
  EXPECT_EQ(-1, Read(tree_ / "none", v));
  EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), (std::vector<int>(v, v + 4)));
  EXPECT_EQ((std::vector<std::string>{"Can not open file " + (tree_ / "none/version.txt") + "."}),
            DebugLogMessages());
  WriteFile(tree_ / "empty/version.txt", "");
  EXPECT_EQ(-1, Read(tree_ / "empty", v));
  EXPECT_EQ(
      (std::vector<std::string>{"File " + (tree_ / "empty/version.txt") + " content is empty."}),
      DebugLogMessages());
}

TEST_F(EngineVersion, AcceptsAFolderOfUpTo243Characters) {
  std::string folder = tree_.path();
  while (folder.size() < 243)
    folder += "/" + std::string(std::min<std::size_t>(60, 243 - folder.size() - 1), 'e');
  ASSERT_EQ(243u, folder.size());
  WriteFile(folder + "/version.txt", "version:V1.2.3\n");
  int v[4];
  EXPECT_EQ(0, Read(folder, v));
  EXPECT_EQ(3, v[2]);

  EXPECT_EQ(-1, Read(folder + "x", v));
  EXPECT_EQ((std::vector<std::string>{"file length is 255, more than max."}), DebugLogMessages());
  EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), (std::vector<int>(v, v + 4)));
}

TEST_F(EngineVersion, RefusesNullOutputs) {
  WriteFile(tree_ / "version.txt", "version:V1.2.3\n");
  int a = 7, b = 7, c = 7;
  char folder[1024];
  std::strcpy(folder, tree_.path().c_str());
  EXPECT_EQ(-1, ReadEngineVersion(folder, &a, &b, &c, nullptr));
  EXPECT_EQ(7, a);  // untouched
  EXPECT_EQ((std::vector<std::string>{"input pointer is NULL."}), DebugLogMessages());
}

}  // namespace
