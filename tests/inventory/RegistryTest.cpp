#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <random>

#include "InventoryTestUtil.h"

namespace {

using invtest::InventoryTest;
using invtest::kRegistryPath;
using invtest::LogHas;
using invtest::Rooted;
using kvxtest::DebugLogMessages;
using kvxtest::TempTree;
using kvxtest::WriteFile;

std::string NotesIni(const std::string& data, const std::string& bin) {
  return "[Notes]\nDirectory=" + data + "\nNotesProgram=" + bin + "\n";
}

class Registry : public InventoryTest {
 protected:
  void Notes(const std::string& name, const std::string& content) {
    WriteFile(tree_ / name, content);
  }
  void WriteRegistry(const std::string& text) {
    WriteFile(kRegistryPath, Rooted(text, tree_.path()));
  }
  TempTree tree_;
};

TEST_F(Registry, ReadsSeveralInstancesAndPartitionsInListOrder) {
  Notes("a1.ini", NotesIni("/data/a1", "/opt/a1"));
  Notes("a2.ini", "[notes]\r\nDIRECTORY=/data/a2\r\nnotesprogram=/opt/a2\r\n");
  Notes("b1.ini", NotesIni("/data/b1", "/opt/b1"));
  WriteRegistry(
      "[KVXInstances]\nKVXInstanceList= ,InstB , ,, InstA\n"
      "[InstA]\nProductPath=/opt/kvx/a/\nProductVersion=V5.8.0.1000\nInstallType=64-bit\n"
      "DomSvrIKVXCount=2\nDomSvrIKVXSecs=Par1, Par 2\nPar1=@/a1.ini\nPar 2=@/a2.ini\n"
      "[instb]\nproductpath=/opt/kvx/b//\nproductversion=v5.80\ninstalltype=64-Bit\n"
      "domsvrikvxcount=none\ndomsvrikvxsecs=P\nP=@/b1.ini\n");

  ASSERT_EQ(0, ParseKVXInsINI(nullptr, nullptr));
  ASSERT_EQ(2u, g_lstKVXNIns.size());
  const KVXNInsInfo& b = g_lstKVXNIns[0];
  EXPECT_EQ("InstB", b.strInsName);
  EXPECT_EQ("/opt/kvx/b/", b.strProductPath);  // only one trailing separator goes
  EXPECT_EQ("v5.80", b.strProductVersion);
  EXPECT_EQ("64-Bit", b.strInstallType);
  EXPECT_EQ(0, b.iDomSvrCount);
  ASSERT_EQ(1u, b.vecParInfo.size());
  EXPECT_EQ("/data/b1", b.vecParInfo[0].strDataDir);

  const KVXNInsInfo& a = g_lstKVXNIns[1];
  EXPECT_EQ("InstA", a.strInsName);
  EXPECT_EQ("/opt/kvx/a", a.strProductPath);
  EXPECT_EQ("Par1, Par 2", a.strDomSvrSecs);
  EXPECT_EQ(2, a.iDomSvrCount);
  EXPECT_TRUE(a.strReserved.empty());
  ASSERT_EQ(2u, a.vecParInfo.size());
  EXPECT_EQ("/data/a1", a.vecParInfo[0].strDataDir);
  EXPECT_EQ("/opt/a1", a.vecParInfo[0].strBinDir);
  EXPECT_EQ(tree_ / "a1.ini", a.vecParInfo[0].strNotesIni);
  EXPECT_EQ("/data/a2", a.vecParInfo[1].strDataDir);
  EXPECT_EQ("/opt/a2", a.vecParInfo[1].strBinDir);

  EXPECT_TRUE(LogHas("Info:ParseKVXInsINI Begin."));
  EXPECT_TRUE(LogHas("g_lstKVXNIns size is 0"));
  EXPECT_TRUE(LogHas("'ProductPath' in 'InstA' is '/opt/kvx/a'"));
  EXPECT_TRUE(LogHas("'ProductVersion' in 'InstA' is 'V5.8.0.1000'"));
  EXPECT_TRUE(LogHas("'InstallType' in 'InstB' is '64-Bit'"));
  EXPECT_EQ("Info:ParseKVXInsINI END.", DebugLogMessages().back());
}

TEST_F(Registry, LeavesOutOtherVersionsAndTypesSilently) {
  Notes("n.ini", NotesIni("/d", "/b"));
  const std::string body = "DomSvrIKVXCount=1\nDomSvrIKVXSecs=P\nP=@/n.ini\n";
  WriteRegistry(
      "[KVXInstances]\nKVXInstanceList=Old,Narrow,Short,Good\n"
      "[Old]\nProductPath=/o\nProductVersion=V5.7\nInstallType=64-bit\n" +
      body + "[Narrow]\nProductPath=/n\nProductVersion=V5.8\nInstallType=32-bit\n" + body +
      "[Short]\nProductPath=/s\nProductVersion=V5.\nInstallType=64-bit\n" + body +
      "[Good]\nProductPath=/g\nProductVersion=V5.8\nInstallType=64-bit\n" + body);
  ASSERT_EQ(0, ParseKVXInsINI(nullptr, nullptr));
  ASSERT_EQ(1u, g_lstKVXNIns.size());
  EXPECT_EQ("Good", g_lstKVXNIns[0].strInsName);
  for (const std::string& line : DebugLogMessages())
    EXPECT_EQ(std::string::npos, line.find("Error"));
}

TEST_F(Registry, CutsAnInstanceNameTo63Characters) {
  Notes("n.ini", NotesIni("/d", "/b"));
  const std::string name(70, 'n');
  WriteRegistry("[KVXInstances]\nKVXInstanceList=" + name + "\n[" + name +
                "]\nProductPath=/p\nProductVersion=V5.8\nInstallType=64-bit\n"
                "DomSvrIKVXCount=1\nDomSvrIKVXSecs=P\nP=@/n.ini\n");
  ASSERT_EQ(0, ParseKVXInsINI(nullptr, nullptr));
  ASSERT_EQ(1u, g_lstKVXNIns.size());
  EXPECT_EQ(name.substr(0, 63), g_lstKVXNIns[0].strInsName);
}

// Malformed and partial registries: the result, the message of the failing
// step (the last line before the call returned) and what stayed registered.
struct BadCase {
  const char* name;
  const char* registry;  // "@" is the temporary tree; nullptr: no file at all
  int result;
  const char* lastLine;  // "@" as above
  std::size_t registered;
};

const char kGood[] =
    "[Good]\nProductPath=/g\nProductVersion=V5.8\nInstallType=64-bit\n"
    "DomSvrIKVXCount=1\nDomSvrIKVXSecs=P\nP=@/ok.ini\n";
#define GOOD_LIST "[KVXInstances]\nKVXInstanceList=Good,X\n"
#define X_HEAD "[X]\nProductPath=/x\nProductVersion=V5.8\nInstallType=64-bit\n"

const BadCase kBadCases[] = {
    {"NoFile", nullptr, 1025, "Error: Cannot find the kvxsys.ini in '/etc/kvxsysV3.ini' !", 0},
    {"NoList", "[KVXInstances]\nOther=1\n", 0, "There is no 'KVXInstanceList' in 'KVXInstances'",
     0},
    {"NoListSection", "[Something]\nKVXInstanceList=a\n", 0,
     "There is no 'KVXInstanceList' in 'KVXInstances'", 0},
    {"ListOfBlanks", "[KVXInstances]\nKVXInstanceList= , ,,\n", 1026,
     "Error: The format of kvxsysV2.ini is error. There is no Domino partition in "
     "'KVXInstanceList'",
     0},
    {"NoProductVersion", GOOD_LIST "[X]\nProductPath=/x\n", 1026,
     "Error: The format of kvxsys.ini is error. There is no 'ProductVersion' in 'X'", 1},
    {"NoInstallType", GOOD_LIST "[X]\nProductPath=/x\nProductVersion=V5.8\n", 1026,
     "Error: The format of kvxsys.ini is error. There is no 'InstallType' in 'X'", 1},
    {"NoCount", GOOD_LIST X_HEAD "DomSvrIKVXSecs=P\n", 1026,
     "Error: The format of kvxsys.ini is error. There is no 'DomSvrIKVXCount' in 'X'", 1},
    {"NoSecs", GOOD_LIST X_HEAD "DomSvrIKVXCount=1\n", 1026,
     "Error: The format of kvxsys.ini is error. There is no 'DomSvrIKVXSecs' in 'X'", 1},
    {"SecsOfBlanks", GOOD_LIST X_HEAD "DomSvrIKVXCount=1\nDomSvrIKVXSecs= , \n", 1026,
     "Error: The format of kvxsys.ini is error. There is no Domino partition in 'X'", 1},
    {"NoPartitionKey", GOOD_LIST X_HEAD "DomSvrIKVXCount=1\nDomSvrIKVXSecs=P1\n", 1026,
     "Error: The format of kvxsys.ini is error. There is no 'P1NotesIniPath' in 'X'", 1},
    {"NotesIniMissing", GOOD_LIST X_HEAD "DomSvrIKVXCount=1\nDomSvrIKVXSecs=P\nP=@/gone.ini\n",
     1026, "Error: The format of notes.ini is error. There is no 'NotesProgram'", 1},
    {"NoNotesProgram", GOOD_LIST X_HEAD "DomSvrIKVXCount=1\nDomSvrIKVXSecs=P\nP=@/noprogram.ini\n",
     1026, "Error: The format of notes.ini is error. There is no 'NotesProgram'", 1},
    {"NoDirectory", GOOD_LIST X_HEAD "DomSvrIKVXCount=1\nDomSvrIKVXSecs=P\nP=@/nodata.ini\n", 1026,
     "Error: The format of notes.ini is error. There is no 'Directory'", 1},
    {"SecondOfThreeWithoutProductPath",
     "[KVXInstances]\nKVXInstanceList=Good,X,Good\n[X]\nProductVersion=V5.8\n", 0,
     "There is no 'ProductPath' in 'X'", 1},
};

class RegistryFailure : public Registry, public ::testing::WithParamInterface<BadCase> {};

TEST_P(RegistryFailure, ReturnsItsCodeWithItsMessage) {
  const BadCase& c = GetParam();
  Notes("ok.ini", NotesIni("/d", "/b"));
  Notes("noprogram.ini", "[Notes]\nDirectory=/d\n");
  Notes("nodata.ini", "[Notes]\nNotesProgram=/b\n");
  if (c.registry) WriteRegistry(std::string(c.registry) + kGood);
  EXPECT_EQ(c.result, ParseKVXInsINI(nullptr, nullptr));
  ASSERT_FALSE(DebugLogMessages().empty());
  EXPECT_EQ(Rooted(c.lastLine, tree_.path()), DebugLogMessages().back());
  EXPECT_EQ(c.registered, g_lstKVXNIns.size());
  EXPECT_FALSE(LogHas("Info:ParseKVXInsINI END."));
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistryFailure, ::testing::ValuesIn(kBadCases),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(Registry, MissingNotesIniIsNamedBeforeTheFormatError) {
  WriteRegistry("[KVXInstances]\nKVXInstanceList=X\n" X_HEAD
                "DomSvrIKVXCount=1\nDomSvrIKVXSecs=P\nP=@/gone.ini\n");
  EXPECT_EQ(1026, ParseKVXInsINI(nullptr, nullptr));
  const auto lines = DebugLogMessages();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ("Cannot open the file. (" + (tree_ / "gone.ini") + ")", lines[lines.size() - 2]);
}

// --- iteration -------------------------------------------------------------

struct Visits {
  std::vector<std::string> dataDirs;
  int stopAfter = -1;  // return 0 on this visit (0-based), -1: never
};

int Record(KVXNParInfo* par, void* context) {
  auto* visits = static_cast<Visits*>(context);
  visits->dataDirs.push_back(par->strDataDir);
  par->strDataDir = "changed";  // must not reach the registry
  return static_cast<int>(visits->dataDirs.size()) - 1 == visits->stopAfter ? 0 : 1;
}

class Iteration : public Registry {
 protected:
  void SetUp() override {
    Registry::SetUp();
    if (IsSkipped()) return;
    for (const char* p : {"p1", "p2", "p3"})
      Notes(std::string(p) + ".ini", NotesIni(std::string("/data/") + p, "/b"));
    WriteRegistry(
        "[KVXInstances]\nKVXInstanceList=One,Three\n"
        "[One]\nProductPath=/1\nProductVersion=V5.8\nInstallType=64-bit\n"
        "DomSvrIKVXCount=1\nDomSvrIKVXSecs=p1\np1=@/p1.ini\n"
        "[Three]\nProductPath=/3\nProductVersion=V5.8\nInstallType=64-bit\n"
        "DomSvrIKVXCount=3\nDomSvrIKVXSecs=p1,p2,p3\np1=@/p1.ini\np2=@/p2.ini\np3=@/p3.ini\n");
  }
};

TEST_F(Iteration, ACallbackGivenWhileBuildingIsNotCalled) {
  Visits visits;
  ASSERT_EQ(0, ParseKVXInsINI(Record, &visits));
  EXPECT_EQ(2u, g_lstKVXNIns.size());
  EXPECT_TRUE(visits.dataDirs.empty());
}

TEST_F(Iteration, VisitsEveryPartitionOfTheCurrentInstanceOnACopy) {
  ASSERT_EQ(0, ParseKVXInsINI(nullptr, nullptr));
  g_iCurIns = 1;
  Visits visits;
  kvxtest::ClearDebugLog();
  EXPECT_EQ(0, ParseKVXInsINI(Record, &visits));
  EXPECT_EQ((std::vector<std::string>{"/data/p1", "/data/p2", "/data/p3"}), visits.dataDirs);
  EXPECT_EQ("/data/p1", g_lstKVXNIns[1].vecParInfo[0].strDataDir);
  EXPECT_EQ((std::vector<std::string>{"Info:ParseKVXInsINI Begin.", "Info:ParseKVXInsINI END."}),
            DebugLogMessages());
}

TEST_F(Iteration, ACallbackReturningZeroEndsThePass) {
  ASSERT_EQ(0, ParseKVXInsINI(nullptr, nullptr));
  g_iCurIns = 1;
  Visits visits;
  visits.stopAfter = 0;
  EXPECT_EQ(0, ParseKVXInsINI(Record, &visits));
  EXPECT_EQ(1u, visits.dataDirs.size());
  const auto lines = DebugLogMessages();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ("Error: The callback return FALSE, so break out.", lines[lines.size() - 2]);
  EXPECT_EQ("Info:ParseKVXInsINI END.", lines.back());
}

TEST_F(Iteration, AnIndexOutsideTheRegistryOrNoCallbackCallsNothing) {
  ASSERT_EQ(0, ParseKVXInsINI(nullptr, nullptr));
  for (std::int32_t index : {2, -1, 1000}) {
    g_iCurIns = index;
    Visits visits;
    EXPECT_EQ(0, ParseKVXInsINI(Record, &visits)) << index;
    EXPECT_TRUE(visits.dataDirs.empty()) << index;
  }
  g_iCurIns = 0;
  EXPECT_EQ(0, ParseKVXInsINI(nullptr, nullptr));
  EXPECT_EQ(2u, g_lstKVXNIns.size());  // filled once, never read again
}

// --- hostile files ---------------------------------------------------------

std::string RandomBytes(std::size_t n) {
  std::mt19937 gen(42);
  std::string bytes(n, '\0');
  for (char& b : bytes) b = static_cast<char>(gen() & 0xff);
  return bytes;
}

TEST_F(Registry, HugeBinaryOrOddRegistriesNeverCrash) {
  // 10 MB of long key lines, then random bytes, then a folder and a dangling link.
  std::string huge = "[KVXInstances]\n";
  while (huge.size() < 10u * 1024 * 1024) huge += "k=" + std::string(1000, 'v') + "\n";
  WriteFile(kRegistryPath, huge);
  EXPECT_EQ(0, ParseKVXInsINI(nullptr, nullptr));
  EXPECT_TRUE(g_lstKVXNIns.empty());

  WriteFile(kRegistryPath,
            "[KVXInstances]\nKVXInstanceList=" + RandomBytes(3000) + "\n" + RandomBytes(1 << 16));
  const int binary = ParseKVXInsINI(nullptr, nullptr);
  EXPECT_TRUE(binary == 0 || binary == 1026) << binary;
  g_lstKVXNIns.clear();

  std::remove(kRegistryPath);
  ASSERT_EQ(0, ::mkdir(kRegistryPath, 0755));
  const int folder = ParseKVXInsINI(nullptr, nullptr);
  EXPECT_TRUE(folder == 0 || folder == 1025) << folder;
  ::rmdir(kRegistryPath);

  ASSERT_EQ(0, ::symlink("/nonexistent/kvxsys", kRegistryPath));
  EXPECT_EQ(1025, ParseKVXInsINI(nullptr, nullptr));
  std::remove(kRegistryPath);
}

TEST_F(Registry, HugeBinaryOrUnreadableNotesIniNeverCrashes) {
  std::string huge = "[Notes]\n";
  while (huge.size() < 10u * 1024 * 1024) huge += std::string(1500, 'x') + "\n";
  huge += "Directory=/d\nNotesProgram=/b\n";
  Notes("huge.ini", huge);
  Notes("binary.ini", RandomBytes(1 << 20));
  ASSERT_EQ(0, ::mkdir((tree_ / "folder.ini").c_str(), 0755));
  for (const char* name : {"huge.ini", "binary.ini", "folder.ini"}) {
    g_lstKVXNIns.clear();
    WriteRegistry(std::string("[KVXInstances]\nKVXInstanceList=X\n" X_HEAD
                              "DomSvrIKVXCount=1\nDomSvrIKVXSecs=P\nP=@/") +
                  name + "\n");
    const int result = ParseKVXInsINI(nullptr, nullptr);
    EXPECT_TRUE(result == 0 || result == 1026) << name << " " << result;
  }
  char out[16];
  EXPECT_EQ(0, GetDominoDataFolderFromNotesINI((tree_ / "binary.ini").c_str(), out, sizeof out));
}

// --- notes.ini lookups and the list helpers ---------------------------------

TEST_F(Registry, NotesIniLookupsCutToTheGivenSize) {
  Notes("n.ini", NotesIni("/local/notesdata", "/opt/lotus"));
  char out[8];
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(1, GetDominoDataFolderFromNotesINI((tree_ / "n.ini").c_str(), out, 5));
  EXPECT_STREQ("/loc", out);
  EXPECT_EQ('#', out[5]);
  EXPECT_EQ(1, GetDominoBinFolderFromNotesINI((tree_ / "n.ini").c_str(), out, sizeof out));
  EXPECT_STREQ("/opt/lo", out);
}

struct SplitCase {
  const char* name;
  const char* text;
  const char* delimiters;
  std::vector<std::string> pieces;
};

const SplitCase kSplits[] = {
    {"Plain", "a,b,c", ",", {"a", "b", "c"}},
    {"BlanksEmptiesAndBlankLead", " , a ,,b c, ", ",", {"a", "b c"}},
    {"TabsAreKept", "\ta\t,b", ",", {"\ta\t", "b"}},
    {"SeveralDelimiters", "a;b,c", ",;", {"a", "b", "c"}},
    {"NoDelimiterInText", "  abc ", ",", {"abc"}},
    {"EmptyText", "", ",", {}},
    {"EmptyDelimiters", "a,b", "", {}},
    {"OnlyDelimiters", ",,,", ",", {}},
};

class Split : public ::testing::TestWithParam<SplitCase> {};
TEST_P(Split, DropsEmptyAndBlankPieces) {
  const SplitCase& c = GetParam();
  EXPECT_EQ(c.pieces, _split(c.text, c.delimiters));
}
INSTANTIATE_TEST_SUITE_P(Cases, Split, ::testing::ValuesIn(kSplits),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
