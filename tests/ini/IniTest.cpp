// The INI reader and writer on real files: line rules, cuts, the copy-out
// bound, prefix matching, backup and layout. Hostile bytes: the fuzz replay.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "QoIniUtil.h"
#include "QoIniWriter.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

const std::string S63(63, 's'), A63(63, 'a'), B64(64, 'b'), V1021(1021, 'v'), W40(40, 'w');
const std::string kLongLines = "[S]\nk=" + V1021 + W40 + "=tail\n";
constexpr int kBig = 2048;

struct Case {  // count: what getValueCount(section, key) answers
  const char* name;
  std::string file, section, key;
  int index, size, rc;
  std::string value;
  int count;
};
const Case kCases[] = {
    {"BlanksAroundEqualsKept", "[S]\nkey = v\n", "S", "key ", 0, kBig, 0, " v", 1},
    {"CaseIgnoredInBothNames", "[Notes]\nZAP=/d\n", "nOTES", "zap", 0, kBig, 0, "/d", 1},
    {"SectionWholeNameOnly", "[KVX1]\nk=v\n", "KVX", "k", 0, kBig, -104, "", -104},
    {"KeyWholeNameOnly", "[S]\nkey=v\n", "S", "ke", 0, kBig, -103, "", 0},
    {"LowerCaseEndMarkStops", "[S]\na=1\n[end]\nb=2\n", "S", "b", 0, kBig, -103, "", 0},
    {"EndMarkWithBlankIsSection", "[S]\na=1\n[END] \nb=2\n", "END", "b", 0, kBig, 0, "2", 1},
    {"InnerBracketInName", "[a]b] tail\nk=v\n", "a]b", "k", 0, kBig, 0, "v", 1},
    {"BareEqualsIsEmptyKey", "[S]\n=\nk=v\n", "S", "", 0, kBig, 0, "", 1},
    {"SplitAtFirstEquals", "[S]\nk=a=b\n", "S", "k", 0, kBig, 0, "a=b", 1},
    {"KeyBeforeHeaderDropped", "k=v\n[S]\n", "S", "k", 0, kBig, -103, "", 0},
    {"LineWithoutEqualsDropped", "[S]\njunk\n\nk=v\n", "S", "k", 0, kBig, 0, "v", 1},
    {"TwoLineEndBytesAtMost", "[S]\nk=v\r\r\n", "S", "k", 0, kBig, 0, "v\r", 1},
    {"SecondSameSectionIgnored", "[S]\na=1\n[s]\nb=2\n", "S", "b", 0, kBig, -103, "", 0},
    {"MissingSection", "[S]\na=1\n", "T", "a", 0, kBig, -104, "", -104},
    {"SectionCutAt63", "[" + S63 + "1234567]\nk=v\n", S63, "k", 0, kBig, 0, "v", 1},
    {"KeyOf63Kept", "[S]\n" + A63 + "=63\n", "S", A63, 0, kBig, 0, "63", 1},
    {"KeyOf64DropsLine", "[S]\n" + B64 + "=64\nk=v\n", "S", B64.substr(1), 0, kBig, -103, "", 0},
    {"LongLineFirstPiece", kLongLines, "S", "k", 0, kBig, 0, V1021, 1},
    {"LongLineSecondPiece", kLongLines, "S", W40, 0, kBig, 0, "tail", 1},
    {"DuplicateByIndex", "[S]\nk=1\nK=2\nx=0\nk=3\n", "s", "K", 2, kBig, 0, "3", 3},
    {"IndexPastDuplicates", "[S]\nk=1\nK=2\n", "S", "k", 2, kBig, -103, "", 2},
    {"NegativeIndex", "[S]\nk=1\n", "S", "k", -1, kBig, -103, "", 1},
    {"CutToSizeMinusOne", "[S]\nk=abcdef\n", "S", "k", 0, 4, 0, "abc", 1},
    {"SizeOneGivesEmpty", "[S]\nk=abcdef\n", "S", "k", 0, 1, 0, "", 1},
    {"SizeZeroRefused", "[S]\nk=abcdef\n", "S", "k", 0, 0, -106, "", 1},
};

class Lookup : public ::testing::TestWithParam<Case> {};
TEST_P(Lookup, ValueAndCount) {
  const Case& c = GetParam();
  kvxtest::TempTree tree;
  kvxtest::WriteFile(tree / "t.ini", c.file);
  QoIniReader reader;
  ASSERT_EQ(0, reader.open((tree / "t.ini").c_str()));
  std::string buf(kBig + 2, '#');
  int len = c.size;
  EXPECT_EQ(c.rc, reader.getValueAt(c.section.c_str(), c.key.c_str(), &buf[1], &len, c.index));
  EXPECT_EQ('#', buf[0]);  // nothing in front of the buffer
  EXPECT_EQ(c.rc ? c.size : static_cast<int>(c.value.size()), len);
  EXPECT_EQ(c.rc ? "" : c.value, c.rc ? "" : std::string(buf.c_str() + 1));
  // A failure writes nothing; a success nothing past the bound.
  EXPECT_EQ(std::string::npos, buf.find_first_not_of('#', c.rc ? 1 : 1 + c.size));
  EXPECT_EQ(c.count, reader.getValueCount(c.section.c_str(), c.key.c_str()));
}
KVX_TABLE(Ini, Lookup, kCases);

TEST(IniReader, OpenCloseAndDump) {
  kvxtest::TempTree tree;
  const std::string path = tree / "t.ini";
  kvxtest::WriteFile(path, "[A]\r\nk=1\r\n\r\nx\r\n[B]\r\n=2\r\n");
  QoIniReader r;
  ASSERT_EQ(0, r.open(path.c_str()));
  char buf[8] = "keep";
  int len = sizeof buf;
  EXPECT_EQ(-106, r.getValue("A", nullptr, buf, &len));
  EXPECT_EQ(-106, r.getValue("A", "k", buf, nullptr));
  EXPECT_EQ(-106, r.getValueCount(nullptr, "k"));
  EXPECT_EQ(-105, r.open((tree / "missing.ini").c_str()));
  EXPECT_EQ(-105, r.open(tree.path().c_str()));  // a folder reads as nothing
  EXPECT_EQ(-106, r.open(nullptr));
  testing::internal::CaptureStdout();
  r.dumpStdout();  // the failed opens kept the content
  EXPECT_EQ("[A]\nk=1\n\n[B]\n=2\n\n[END]\n", testing::internal::GetCapturedStdout());
  kvxtest::WriteFile(path, "[T]\nk=w\n");
  ASSERT_EQ(0, r.open(path.c_str()));
  EXPECT_EQ(-104, r.getValueCount("A", "k"));  // a second open replaces, never adds
  EXPECT_EQ(0, r.close());
  EXPECT_EQ(-104, r.getValueCount("T", "k"));
}

struct SetCase {
  const char *name, *file, *section, *key;
  int index, rc;
  const char* written;  // the whole file afterwards; null: left untouched, no backup
};
// clang-format off
const SetCase kSets[] = {
    {"SectionByPrefix", "[KVXInstances]\nA=1\n[KVX1]\nA=2\n", "kvx", "A", 0, 0, "[KVXInstances]\nA=NEW\n\n[KVX1]\nA=2\n\n[END]\n"},
    {"KeyByPrefixAndIndex", "[S]\nPa=/p\nX=0\nPv=V1\n", "S", "p", 1, 0, "[S]\nPa=/p\nX=0\nPv=NEW\n\n[END]\n"},
    {"OnlyLoadedLinesKept", "a=0\r\n[S] x\r\njunk\r\nk=1\r\n\r\n[end]\r\n[T]\r\n", "S", "k", 0, 0, "[S]\nk=NEW\n\n[END]\n"},
    {"IndexBeyondMatches", "[S]\nP1=1\nP2=2\n", "S", "P", 2, -103, nullptr},
    {"NoSuchSection", "[S]\nk=1\n", "T", "k", 0, -104, nullptr},
    {"NullKey", "[S]\nk=1\n", "S", nullptr, 0, -106, nullptr},
};
// clang-format on

class SetValueAt : public ::testing::TestWithParam<SetCase> {};
TEST_P(SetValueAt, RewritesOrLeavesFile) {
  const SetCase& c = GetParam();
  kvxtest::TempTree tree;
  const std::string path = tree / "kvxsysV3.ini";
  kvxtest::WriteFile(path, c.file);
  QoIniWriter writer;
  ASSERT_EQ(0, writer.open(path.c_str()));
  char value[] = "NEW";
  EXPECT_EQ(c.rc, writer.SetValueAt(c.section, c.key, value, c.index));
  EXPECT_EQ(c.written ? c.written : c.file, kvxtest::ReadFile(path));
  EXPECT_EQ(c.written ? c.file : "", kvxtest::ReadFile(path + ".bak"));
}
KVX_TABLE(Ini, SetValueAt, kSets);

TEST(IniWriter, RoundTripAndBackupOfTheLatestRewrite) {
  kvxtest::TempTree tree;
  const std::string path = tree / "t.ini";
  kvxtest::WriteFile(path, "[S]\nProductPath=/p\nInstallType=1\n[T]\n");
  QoIniWriter writer;
  EXPECT_EQ(-106, writer.dumpFile());  // never opened
  ASSERT_EQ(0, writer.open(path.c_str()));
  EXPECT_EQ(-105, writer.open((tree / "missing.ini").c_str()));  // keeps path and content
  EXPECT_EQ(2, writer.getValueCount("s", ""));
  std::string huge(2000, 'x');
  ASSERT_EQ(0, writer.SetValue("S", "Product", huge.data()));
  const std::string first =
      "[S]\nProductPath=" + std::string(1024, 'x') + "\nInstallType=1\n\n[T]\n\n[END]\n";
  EXPECT_EQ(first, kvxtest::ReadFile(path));
  char two[] = "2", three[] = "3";
  ASSERT_EQ(0, writer.SetValue("S", "Install", two));
  EXPECT_EQ(first, kvxtest::ReadFile(path + ".bak"));
  // A folder in the file's place cannot be rewritten; the value stays in memory.
  fs::remove(path);
  fs::create_directory(path);
  EXPECT_EQ(-105, writer.SetValue("S", "P", three));
  fs::remove(path);
  ASSERT_EQ(0, writer.SetValue("S", "I", two));
  EXPECT_EQ("[S]\nProductPath=3\nInstallType=2\n\n[T]\n\n[END]\n", kvxtest::ReadFile(path));
  EXPECT_EQ(0, writer.close());
  EXPECT_EQ(-104, writer.SetValue("S", "P", two));
  EXPECT_EQ(0, writer.dumpFile());  // the remembered path is rewritten empty
  EXPECT_EQ("[END]\n", kvxtest::ReadFile(path));
}

}  // namespace
