// QoIniWriter against real files: prefix matching, the backup beside the
// file, the exact rewritten layout and what happens when the rewrite fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ini/QoIniWriter.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

class IniWriterFile : public ::testing::Test {
 protected:
  void Load(const std::string& content) {
    kvxtest::WriteFile(path_, content);
    ASSERT_EQ(0, writer_.open(path_.c_str()));
  }
  std::string Written() const { return kvxtest::ReadFile(path_); }
  std::string Backup() const { return kvxtest::ReadFile(path_ + ".bak"); }

  kvxtest::TempTree tree_;
  std::string path_ = tree_ / "kvxsysV3.ini";
  QoIniWriter writer_;
  char value_[8] = "NEW";
};

struct SetCase {
  const char* name;
  const char* file;
  const char* section;
  const char* key;
  int index;
  int rc;
  const char* written;  // the whole file afterwards; null: left untouched
};
const SetCase kSets[] = {
    {"SectionByPrefix", "[KVXInstances]\nA=1\n[Instance1]\nA=2\n", "KVX", "A", 0, 0,
     "[KVXInstances]\nA=NEW\n\n[Instance1]\nA=2\n\n[END]\n"},
    {"FirstOfOverlappingSections", "[KVX10]\nV=1\n[KVX1]\nV=2\n", "kvx1", "V", 0, 0,
     "[KVX10]\nV=NEW\n\n[KVX1]\nV=2\n\n[END]\n"},
    {"KeyByPrefix", "[S]\nProductPath=/p\nProductVersion=V1\n", "S", "product", 0, 0,
     "[S]\nProductPath=NEW\nProductVersion=V1\n\n[END]\n"},
    {"SecondMatchByIndex", "[S]\nProductPath=/p\nX=0\nProductVersion=V1\n", "S", "Product", 1, 0,
     "[S]\nProductPath=/p\nX=0\nProductVersion=NEW\n\n[END]\n"},
    {"EmptyArgsTakeFirst", "[S]\na=1\n[T]\nb=2\n", "", "", 0, 0,
     "[S]\na=NEW\n\n[T]\nb=2\n\n[END]\n"},
    {"IndexBeyondMatches", "[S]\nP1=1\nP2=2\n", "S", "P", 2, -103, nullptr},
    {"NegativeIndex", "[S]\nP1=1\n", "S", "P", -1, -103, nullptr},
    {"LongerArgNoPrefix", "[S]\nkey=1\n", "S", "keys", 0, -103, nullptr},
    {"SectionWithoutValues", "[S]\n", "S", "", 0, -103, nullptr},
    {"NoSuchSection", "[S]\nk=1\n", "T", "k", 0, -104, nullptr},
    {"NoSectionsAtAll", "k=1\n", "", "k", 0, -104, nullptr},
};

class SetValueAt : public IniWriterFile, public ::testing::WithParamInterface<SetCase> {};
TEST_P(SetValueAt, RewritesOrLeavesFile) {
  const SetCase& c = GetParam();
  Load(c.file);
  EXPECT_EQ(c.rc, writer_.SetValueAt(c.section, c.key, value_, c.index));
  EXPECT_EQ(c.written ? c.written : c.file, Written());
  if (c.written) {
    EXPECT_EQ(c.file, Backup());
  } else {
    EXPECT_FALSE(fs::exists(path_ + ".bak"));
  }
}
INSTANTIATE_TEST_SUITE_P(Ini, SetValueAt, ::testing::ValuesIn(kSets),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(IniWriterFile, RewriteKeepsOnlyWhatWasLoaded) {
  const std::string old =
      "stray=1\r\n[Inst] junk\r\nno equals here\r\nProductVersion=V5.8.0.1000\r\n\r\n"
      "ProductPath=/opt/kvx\r\n[Inst]\r\nProductVersion=dup\r\n[end]\r\n[After]\r\nx=1\r\n";
  Load(old);
  char build[] = "V5.8.0.1234";
  ASSERT_EQ(0, writer_.SetValue("Inst", "ProductVersion", build));
  EXPECT_EQ(
      "[Inst]\nProductVersion=V5.8.0.1234\nProductPath=/opt/kvx\n\n"
      "[Inst]\nProductVersion=dup\n\n[END]\n",
      Written());
  EXPECT_EQ(old, Backup());
  // The backup always holds the file as it was before the latest rewrite.
  const std::string first = Written();
  ASSERT_EQ(0, writer_.SetValue("Inst", "ProductPath", value_));
  EXPECT_EQ(first, Backup());
}

TEST_F(IniWriterFile, LongValueCutTo1024) {
  Load("[S]\nk=1\n");
  std::string huge(2000, 'x');
  ASSERT_EQ(0, writer_.SetValue("S", "k", huge.data()));
  EXPECT_EQ("[S]\nk=" + std::string(1024, 'x') + "\n\n[END]\n", Written());
}

TEST_F(IniWriterFile, CountsByPrefix) {
  Load("[S]\nProductPath=/p\nProductVersion=V\nInstallType=1\n[T]\n");
  EXPECT_EQ(2, writer_.getValueCount("s", "Product"));
  EXPECT_EQ(3, writer_.getValueCount("S", ""));
  EXPECT_EQ(0, writer_.getValueCount("T", "x"));
  EXPECT_EQ(-104, writer_.getValueCount("U", "x"));
  EXPECT_EQ(-106, writer_.getValueCount("S", nullptr));
}

TEST_F(IniWriterFile, NullArgumentsRefused) {
  Load("[S]\nk=1\n");
  EXPECT_EQ(-106, writer_.SetValue(nullptr, "k", value_));
  EXPECT_EQ(-106, writer_.SetValue("S", nullptr, value_));
  EXPECT_EQ(-106, writer_.SetValue("S", "k", nullptr));
  EXPECT_EQ(-106, writer_.open(nullptr));
  EXPECT_EQ("[S]\nk=1\n", Written());
}

TEST_F(IniWriterFile, NeverOpenedWriterWritesNothing) {
  EXPECT_EQ(-106, writer_.dumpFile());
  EXPECT_EQ(-104, writer_.SetValue("", "", value_));
  testing::internal::CaptureStdout();
  writer_.dumpStdout();
  EXPECT_EQ("[END]\n", testing::internal::GetCapturedStdout());
  EXPECT_TRUE(fs::is_empty(tree_.path()));
}

TEST_F(IniWriterFile, FailedOpenKeepsPathAndContent) {
  Load("[S]\nk=1\n");
  const std::string other = tree_ / "missing.ini";
  EXPECT_EQ(-105, writer_.open(other.c_str()));
  ASSERT_EQ(0, writer_.SetValue("S", "k", value_));
  EXPECT_EQ("[S]\nk=NEW\n\n[END]\n", Written());
  EXPECT_FALSE(fs::exists(other));
}

TEST_F(IniWriterFile, FailedRewriteKeepsValueInMemory) {
  Load("[S]\na=1\nb=2\n");
  // A folder in the file's place cannot be opened for writing, even by root.
  fs::remove(path_);
  fs::create_directory(path_);
  EXPECT_EQ(-105, writer_.SetValue("S", "a", value_));
  fs::remove(path_);
  char two[] = "TWO";
  ASSERT_EQ(0, writer_.SetValue("S", "b", two));
  EXPECT_EQ("[S]\na=NEW\nb=TWO\n\n[END]\n", Written());
}

TEST_F(IniWriterFile, CloseKeepsPath) {
  Load("[S]\nk=1\n");
  EXPECT_EQ(0, writer_.close());
  EXPECT_EQ(-104, writer_.SetValue("S", "k", value_));
  EXPECT_EQ(0, writer_.dumpFile());  // the remembered path is rewritten empty
  EXPECT_EQ("[END]\n", Written());
}

}  // namespace
