// QoIniReader against real files: the line rules, the cuts, case-insensitive
// whole-name lookups, duplicates, the copy-out bound and hostile input.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "ini/QoIniUtil.h"
#include "support/TestSupport.h"

namespace {

struct Lookup {
  int rc;
  std::string value;
};

Lookup Get(QoIniReader& r, const char* section, const char* key, int index = 0) {
  char buf[2048];
  int len = sizeof buf;
  const int rc = r.getValueAt(section, key, buf, &len, index);
  return {rc, rc == 0 ? std::string(buf, static_cast<std::size_t>(len)) : ""};
}

std::string Dump(QoIniReader& r) {
  testing::internal::CaptureStdout();
  r.dumpStdout();
  return testing::internal::GetCapturedStdout();
}

class IniFile : public ::testing::Test {
 protected:
  // Writes content to a temp file and loads it; the reader must accept it.
  void Load(const std::string& content) {
    kvxtest::WriteFile(path_, content);
    ASSERT_EQ(0, reader_.open(path_.c_str()));
  }
  kvxtest::TempTree tree_;
  std::string path_ = tree_ / "t.ini";
  QoIniReader reader_;
};

struct RuleCase {
  const char* name;
  const char* file;
  const char* section;
  const char* key;
  int rc;
  const char* value;
};
const std::string k63(63, 'n');
const RuleCase kRules[] = {
    {"BlanksAroundEqualsKept", "[S]\nkey = v\n", "S", "key ", 0, " v"},
    {"KeyWithoutItsBlankMissing", "[S]\nkey = v\n", "S", "key", -103, ""},
    {"CaseIgnoredInBothNames", "[Notes]\nDIRECTORY=/data\n", "notes", "Directory", 0, "/data"},
    {"OnlyAsciiLettersFold", "[S]\nk[=1\n", "S", "k{", -103, ""},
    {"HighBytesDoNotFold", "[S]\n\xC4=1\n", "S", "\xE4", -103, ""},
    {"SectionMatchesWholeNameOnly", "[KVX1]\nk=v\n", "KVX", "k", -104, ""},
    {"KeyMatchesWholeNameOnly", "[S]\nkey=v\n", "S", "ke", -103, ""},
    {"SectionBlanksBelongToName", "[ S ]\nk=v\n", " S ", "k", 0, "v"},
    {"SectionNotTrimmed", "[ S ]\nk=v\n", "S", "k", -104, ""},
    {"LowerCaseEndMarkStops", "[S]\na=1\n[end]\nb=2\n", "S", "b", -103, ""},
    {"EndMarkWithCrLfStops", "[S]\r\na=1\r\n[End]\r\nb=2\r\n", "S", "b", -103, ""},
    {"EndMarkWithBlankIsSection", "[S]\na=1\n[END] \nb=2\n", "END", "b", 0, "2"},
    {"InnerBracketBelongsToName", "[a]b]\nk=v\n", "a]b", "k", 0, "v"},
    {"TextAfterLastBracketDropped", "[S] tail\nk=v\n", "S", "k", 0, "v"},
    {"HeaderWithoutBracketKeepsLine", "[S\nk=v\n", "S", "k", 0, "v"},
    {"HeaderMayHoldEquals", "[S=1]\nk=v\n", "S=1", "k", 0, "v"},
    {"EmptyKeyName", "[S]\n=v\n", "S", "", 0, "v"},
    {"SplitAtFirstEquals", "[S]\nk=a=b\n", "S", "k", 0, "a=b"},
    {"QuotesAndHashAreData", "[S]\nk=\"x\" ;y #z\n", "S", "k", 0, "\"x\" ;y #z"},
    {"SemicolonStartsAKeyName", "[S]\n;c=1\n", "S", ";c", 0, "1"},
    {"EmptyValue", "[S]\nk=\n", "S", "k", 0, ""},
    {"KeyBeforeHeaderDropped", "k=v\n[S]\n", "S", "k", -103, ""},
    {"LineWithoutEqualsDropped", "[S]\njunk\n\nk=v\n", "S", "k", 0, "v"},
    {"AtMostTwoLineEndBytesGo", "[S]\nk=v\r\r\n", "S", "k", 0, "v\r"},
    {"LastLineWithoutNewline", "[S]\nk=v", "S", "k", 0, "v"},
    {"SecondSameSectionIgnored", "[S]\na=1\n[s]\nb=2\n", "S", "b", -103, ""},
    {"HeaderOnLastLineHasNoValues", "[S]\na=1\n[T]", "T", "a", -103, ""},
    {"MissingSection", "[S]\na=1\n", "T", "a", -104, ""},
};

class LineRules : public IniFile, public ::testing::WithParamInterface<RuleCase> {};
TEST_P(LineRules, Lookup) {
  const RuleCase& c = GetParam();
  Load(c.file);
  const Lookup got = Get(reader_, c.section, c.key);
  EXPECT_EQ(c.rc, got.rc) << getIDDErrDesc(got.rc);
  EXPECT_EQ(c.value, got.value);
}
INSTANTIATE_TEST_SUITE_P(Ini, LineRules, ::testing::ValuesIn(kRules),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(IniFile, SectionNameCutAt63Bytes) {
  const std::string name = std::string(63, 's') + "1234567";
  Load("[" + name + "]\nk=v\n");
  EXPECT_EQ("v", Get(reader_, name.substr(0, 63).c_str(), "k").value);
  EXPECT_EQ(-104, Get(reader_, name.c_str(), "k").rc);
  EXPECT_EQ(-104, Get(reader_, name.substr(0, 64).c_str(), "k").rc);
}

TEST_F(IniFile, KeyNameOf63KeptAnd64DropsLine) {
  Load("[S]\n" + std::string(63, 'a') + "=63\n" + std::string(64, 'b') + "=64\n");
  EXPECT_EQ("63", Get(reader_, "S", std::string(63, 'a').c_str()).value);
  EXPECT_EQ(0, reader_.getValueCount("S", std::string(64, 'b').c_str()));
  EXPECT_EQ(0, reader_.getValueCount("S", std::string(63, 'b').c_str()));
}

TEST_F(IniFile, LongLineArrivesIn1023BytePieces) {
  // "k=" and 1021 value bytes fill one read; the rest is a line of its own.
  const std::string value(1021, 'v');
  const std::string rest(40, 'w');
  Load("[S]\nk=" + value + rest + "=tail\n" + std::string(1023, 'u') + "z=1\n");
  EXPECT_EQ(value, Get(reader_, "S", "k").value);
  EXPECT_EQ("tail", Get(reader_, "S", rest.c_str()).value);
  // 1023 bytes without "=" are one dropped piece; "z=1" is the next one.
  EXPECT_EQ("1", Get(reader_, "S", "z").value);
}

TEST_F(IniFile, CrLfGivesSameContentAsLf) {
  const std::string lf = "[A]\nk=1\n\nx\n[B]\n=2\n";
  std::string crlf;
  for (char ch : lf) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  Load(lf);
  const std::string fromLf = Dump(reader_);
  Load(crlf);
  EXPECT_EQ(fromLf, Dump(reader_));
  EXPECT_EQ("[A]\nk=1\n\n[B]\n=2\n\n[END]\n", fromLf);
}

TEST_F(IniFile, DuplicateKeysByIndex) {
  Load("[S]\nk=1\nK=2\nother=x\nk=3\n");
  EXPECT_EQ("1", Get(reader_, "S", "k").value);
  EXPECT_EQ("2", Get(reader_, "s", "k", 1).value);
  EXPECT_EQ("3", Get(reader_, "S", "k", 2).value);
  EXPECT_EQ(-103, Get(reader_, "S", "k", 3).rc);
  EXPECT_EQ(-103, Get(reader_, "S", "k", -1).rc);
  EXPECT_EQ(3, reader_.getValueCount("S", "K"));
  EXPECT_EQ(0, reader_.getValueCount("S", "none"));
  EXPECT_EQ(-104, reader_.getValueCount("T", "k"));
  EXPECT_EQ(-106, reader_.getValueCount(nullptr, "k"));
}

struct CutCase {
  const char* name;
  int size;
  int rc;
  const char* out;
  int len;
};
const CutCase kCuts[] = {{"Fits", 7, 0, "abcdef", 6},
                         {"CutToSizeMinusOne", 4, 0, "abc", 3},
                         {"SizeOneGivesEmpty", 1, 0, "", 0},
                         {"SizeZeroRefused", 0, -106, "", 0},
                         {"NegativeRefused", -5, -106, "", -5}};
class CopyOut : public IniFile, public ::testing::WithParamInterface<CutCase> {};
TEST_P(CopyOut, KeepsSizeMinusOneBytes) {
  const CutCase& c = GetParam();
  Load("[S]\nk=abcdef\n");
  char buf[16];
  std::memset(buf, '#', sizeof buf);
  int len = c.size;
  EXPECT_EQ(c.rc, reader_.getValue("S", "k", buf + 1, &len));
  EXPECT_EQ('#', buf[0]);  // nothing before the buffer either
  if (c.rc == 0) {
    EXPECT_STREQ(c.out, buf + 1);
    EXPECT_EQ('#', buf[1 + c.size]);  // nothing past the bound
  } else {
    EXPECT_EQ('#', buf[1]);  // a failure leaves the buffer alone
  }
  EXPECT_EQ(c.len, len);
}
INSTANTIATE_TEST_SUITE_P(Ini, CopyOut, ::testing::ValuesIn(kCuts),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(IniFile, FailedLookupLeavesBufferAndLength) {
  Load("[S]\nk=v\n");
  char buf[8] = "keep";
  int len = sizeof buf;
  EXPECT_EQ(-103, reader_.getValue("S", "x", buf, &len));
  EXPECT_EQ(-104, reader_.getValue("X", "k", buf, &len));
  EXPECT_EQ(-106, reader_.getValue("S", "k", buf, nullptr));
  EXPECT_EQ(-106, reader_.getValue("S", nullptr, buf, &len));
  EXPECT_STREQ("keep", buf);
  EXPECT_EQ(8, len);
}

TEST_F(IniFile, FailedOpenKeepsContent) {
  Load("[S]\nk=v\n");
  EXPECT_EQ(-105, reader_.open((tree_ / "missing.ini").c_str()));
  EXPECT_EQ(-105, reader_.open(tree_.path().c_str()));  // a folder reads as nothing
  EXPECT_EQ(-105, reader_.open((path_ + "/below-a-file").c_str()));
  EXPECT_EQ(-106, reader_.open(nullptr));
  EXPECT_EQ("v", Get(reader_, "S", "k").value);
}

TEST_F(IniFile, CloseAndReopenReplaceContent) {
  Load("[S]\nk=v\n");
  EXPECT_EQ(0, reader_.close());
  EXPECT_EQ(-104, Get(reader_, "S", "k").rc);
  EXPECT_EQ("[END]\n", Dump(reader_));
  Load("[S]\nk=v\n");
  Load("[T]\nk=w\n");
  EXPECT_EQ(-104, Get(reader_, "S", "k").rc);
  EXPECT_EQ("w", Get(reader_, "T", "k").value);
}

TEST_F(IniFile, BinaryGarbageOf10MBStaysInBounds) {
  std::mt19937 gen(20240611);
  std::string garbage = "[S]\n";
  garbage.reserve(10u << 20);
  while (garbage.size() < (10u << 20)) {
    const unsigned r = gen();
    // Bias towards the bytes the parser reacts to.
    const char special[] = {'\n', '\r', '[', ']', '=', '\0'};
    garbage += (r & 7) == 0 ? special[(r >> 3) % 6] : static_cast<char>(r >> 8);
  }
  Load(garbage);
  const std::string dump = Dump(reader_);
  ASSERT_GE(dump.size(), 6u);
  EXPECT_EQ("[END]\n", dump.substr(dump.size() - 6));
}

TEST_F(IniFile, TenMegabytesOfLongLines) {
  const std::string line = "k=" + std::string(1000, 'x') + "\n";
  std::string content = "[S]\n";
  for (int i = 0; i < 10 * 1024; ++i) content += line;
  content += "last=1\n";
  Load(content);
  EXPECT_EQ(10 * 1024, reader_.getValueCount("S", "k"));
  EXPECT_EQ("1", Get(reader_, "S", "last").value);
}

TEST(IddErrDesc, NamesEveryCode) {
  const std::pair<int, const char*> kTexts[] = {{0, "IDD_ERR_ZERO"},
                                                {-100, "IDD_ERR_INVALID_VALUE"},
                                                {-101, "IDD_ERR_VALUE_NAME_OVERSIZE"},
                                                {-102, "IDD_ERR_VALUE_OVERSIZE"},
                                                {-103, "IDD_ERR_VALUE_NOTFOUND"},
                                                {-104, "IDD_ERR_SECTION_NOTFOUND"},
                                                {-105, "IDD_ERR_INIFILE_OPENFAILED"},
                                                {-106, "IDD_ERR_Unknown"},
                                                {5, "IDD_ERR_Unknown"},
                                                {-107, "IDD_ERR_Unknown"}};
  for (const auto& [code, text] : kTexts) EXPECT_STREQ(text, getIDDErrDesc(code)) << code;
}

}  // namespace
