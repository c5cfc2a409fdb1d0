// The inventory: registry, partition walk, package settings, newest folders, engine versions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "KVXInsInfo.h"
#include "PatchSetting.h"
#include "TestSupport.h"
#include "VersionFolder.h"

namespace {

using kvxtest::WriteFile;

// No registry, an empty log, notes.ini files ok p1 p3 noprogram nodata; "@" is the tree.
template <typename Row>
class Inventory : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    g_lstKVXNIns.clear();
    g_iCurIns = 0;
    std::remove("/etc/kvxsysV3.ini");
    kvxtest::ClearDebugLog();
    for (const std::string n : {"ok", "p1", "p3", "noprogram", "nodata"})
      WriteFile(tree_ / n, "[Notes]\n" + (n == "nodata" ? "" : "Directory=/" + n + "\n") +
                               (n == "noprogram" ? "" : "NotesProgram=/b\n"));
  }
  std::string At(std::string text, const std::string& at = "") const {  // "@" is at or the tree
    for (std::size_t i; (i = text.find('@')) != std::string::npos;)
      text.replace(i, 1, at.empty() ? tree_.path() : at);
    return text;
  }
  // The last n messages of the debug log (all by default), joined by "|".
  static std::string Log(std::size_t n = std::string::npos) {
    const std::vector<std::string> all = kvxtest::DebugLogMessages();
    std::string out;
    for (std::size_t i = all.size() - std::min(n, all.size()); i < all.size(); ++i)
      out += (out.empty() ? "" : "|") + all[i];
    return out;
  }
  kvxtest::TempTree tree_;
};
#define TABLE(T, rows)                                            \
  INSTANTIATE_TEST_SUITE_P(Inventory, T, testing::ValuesIn(rows), \
                           [](auto& i) { return std::get<0>(i.param); })

#define GOOD "[Good]\nProductPath=/g\nProductVersion=V5.8\nInstallType=64-bit\n" X_PART2 "ok\n"
#define LIST "[KVXInstances]\nKVXInstanceList=Good,X\n"
#define X_HEAD "[X]\nProductPath=/x\nProductVersion=V5.8\nInstallType=64-bit\n"
#define X_PART2 "DomSvrIKVXCount=1\nDomSvrIKVXSecs=P\nP=@/"
#define X_PART LIST X_HEAD X_PART2
#define FORMAT "Error: The format of kvxsys.ini is error. There is no "
#define NOTES "Error: The format of notes.ini is error. There is no "
#define END "Info:ParseKVXInsINI END."
#define BEGIN "Info:ParseKVXInsINI Begin.|"
#define STOP "Error: The callback return FALSE, so break out."

// The registry and Good (no file when null): result, last lines logged, instances kept.
using RegistryCase = std::tuple<const char*, const char*, int, const char*, std::size_t>;
// clang-format off
const RegistryCase kRegistries[] = {
    {"NoFile", nullptr, 1025, "g_lstKVXNIns size is 0|Error: Cannot find the kvxsys.ini in '/etc/kvxsysV3.ini' !", 0},
    {"NoList", "[KVXInstances]\n", 0, "There is no 'KVXInstanceList' in 'KVXInstances'", 0},
    {"ListOfBlanks", "[KVXInstances]\nKVXInstanceList= , ,,\n", 1026, "Error: The format of kvxsysV2.ini is error. There is no Domino partition in 'KVXInstanceList'", 0},
    {"OtherVersionsAndTypesLeftOut", "[KVXInstances]\nKVXInstanceList=Old,Narrow,Short,Good\n[Old]\nProductPath=/o\nProductVersion=V5.7\n[Narrow]\nProductPath=/n\nProductVersion=v5.8\nInstallType=32-bit\n[Short]\nProductPath=/s\nProductVersion=V5.\n", 0, END, 1},
    {"NoProductVersion", LIST "[X]\nProductPath=/x\n", 1026, "'ProductPath' in 'X' is '/x'|" FORMAT "'ProductVersion' in 'X'", 1},
    {"NoInstallType", LIST "[X]\nProductPath=/x\nProductVersion=V5.8\n", 1026, "'ProductVersion' in 'X' is 'V5.8'|" FORMAT "'InstallType' in 'X'", 1},
    {"NoCount", LIST X_HEAD "DomSvrIKVXSecs=P\n", 1026, "'InstallType' in 'X' is '64-bit'|" FORMAT "'DomSvrIKVXCount' in 'X'", 1},
    {"NoSecs", LIST X_HEAD "DomSvrIKVXCount=1\n", 1026, FORMAT "'DomSvrIKVXSecs' in 'X'", 1},
    {"SecsOfBlanks", LIST X_HEAD "DomSvrIKVXCount=1\nDomSvrIKVXSecs= , \n", 1026, FORMAT "Domino partition in 'X'", 1},
    {"NoPartitionKey", LIST X_HEAD "DomSvrIKVXCount=1\nDomSvrIKVXSecs=P1\n", 1026, FORMAT "'P1NotesIniPath' in 'X'", 1},
    {"NotesIniMissing", X_PART "gone\n", 1026, "Cannot open the file. (@/gone)|" NOTES "'NotesProgram'", 1},
    {"NoNotesProgram", X_PART "noprogram\n", 1026, NOTES "'NotesProgram'", 1},
    {"NoDirectory", X_PART "nodata\n", 1026, NOTES "'Directory'", 1},
    {"NoProductPathStops", "[KVXInstances]\nKVXInstanceList=Good,X,Good\n[X]\n", 0, "There is no 'ProductPath' in 'X'", 1},
};
// clang-format on

using Registry = Inventory<RegistryCase>;
TEST_P(Registry, ResultLastLinesAndInstances) {
  const auto& [name, registry, result, last, registered] = GetParam();
  if (registry) WriteFile("/etc/kvxsysV3.ini", At(std::string(registry) + GOOD));
  EXPECT_EQ(result, ParseKVXInsINI(nullptr, nullptr));
  EXPECT_EQ(At(last), Log(std::count(last, last + std::strlen(last), '|') + 1));
  EXPECT_EQ(registered, g_lstKVXNIns.size());
}
TABLE(Registry, kRegistries);

// Notes each visited data folder, changes its copy, ends the pass after `second` visits.
int Visit(KVXNParInfo* par, void* context) {
  auto* v = static_cast<std::pair<std::string, int>*>(context);
  v->first += par->strDataDir;
  par->strDataDir = "changed";
  return --v->second != 0;
}

using Plain = Inventory<int>;
TEST_F(Plain, RegistryInListOrderAndItsWalk) {
  WriteFile(tree_ / "a2", "[notes]\r\nDIRECTORY=/a2\r\nnotesprogram=/b2\r\n");
  WriteFile("/etc/kvxsysV3.ini",
            At("[KVXInstances]\nKVXInstanceList= ,B , ,, A\n[A]\nProductPath=/a/\n"
               "ProductVersion=V5.8.0.1\nInstallType=64-bit\nDomSvrIKVXCount=2\n"
               "DomSvrIKVXSecs=P1, P 2\nP1=@/p1\nP 2=@/a2\n[b]\nproductpath=/b//\n"
               "productversion=v5.80\ninstalltype=64-Bit\ndomsvrikvxcount=x\ndomsvrikvxsecs=P\n"
               "P=@/p3\n"));
  std::pair<std::string, int> v;
  ASSERT_EQ(0, ParseKVXInsINI(Visit, &v));  // building calls no callback
  const std::tuple<int, int, const char*, const char*> kWalks[] = {
      {0, 9, "/p3", ""}, {1, 9, "/p1/a2", ""}, {2, 9, "", ""}, {1, 1, "/p1", STOP "|"}};
  for (const auto& [index, stop, seen, stopped] : kWalks) {
    g_iCurIns = index;
    v = {"", stop};
    kvxtest::ClearDebugLog();
    EXPECT_EQ(0, ParseKVXInsINI(Visit, &v) + ParseKVXInsINI(nullptr, nullptr));
    EXPECT_EQ(seen + std::string("|" BEGIN) + stopped + END "|" BEGIN END, v.first + "|" + Log());
  }
  std::ostringstream got;  // unchanged by the walks
  for (const KVXNInsInfo& i : g_lstKVXNIns) {
    got << i.strInsName << " " << i.strProductPath << " " << i.iDomSvrCount << ":";
    for (const KVXNParInfo& p : i.vecParInfo) got << " " << p.strDataDir << " " << p.strBinDir;
  }
  EXPECT_EQ("B /b/ 0: /p3 /bA /a 2: /p1 /b /a2 /b2", got.str());
  EXPECT_EQ(0, CheckNsfExistInDBList(g_lstKVXNIns[1]));  // no product databases in /p1
  EXPECT_EQ("Database \"/p1/kvx/kvconf.nsf\" has not been generated before.", Log(1));
}

// kvxpatch.ini (none when null): result, "files|databases|build create depent pack previous
// loader ext", log.
#define FILES "Read files from kvxpatch.ini is "
#define NO_VALUE "Cannot get the value in configuration file. (Config:"
#define NO_DB "|" NO_VALUE "Databases)"
#define NO_EXT "|Needn't update extesion manager."
using SettingsCase = std::tuple<const char*, const char*, int, const char*, const char*>;
// clang-format off
const SettingsCase kSettings[] = {
    {"EveryKeyAnyCase", "[config]\nFiles=a,b\nbuildnumber=1234\nDATABASES=c,d\nCreateNewFolder=x\nDepentBuild=1200\nServicePack=1100\npreviousbuild=4294967297\nUpdateLoader=-2147483649\nUpdateExt=2\n", 0, "a,b,|c,d,|1234 0 1200 1100 2147483647 -2147483648 1", FILES "a,b"},
    {"Defaults", "[Config]\nFiles=a\nBuildNumber=  +56ab\n", 0, "a,||56 1 0 0 0 0 0", FILES "a" NO_DB NO_EXT},
    {"NoFile", nullptr, 1, "||0 0 0 0 0 0 0", "Cannot open the file. (@/FileGroup1/kvxpatch.ini)"},
    {"NoFiles", "[Config]\nBuildNumber=5\n", 1, "||0 0 0 0 0 0 0", NO_VALUE "Files)"},
    {"NoBuild", "[Config]\nFiles=a\nDatabases=x\nCreateNewFolder=5\nUpdateExt=1\n", 1, "a,||0 0 0 0 0 0 0", FILES "a|" NO_VALUE "BuildNumber)"},
};
// clang-format on

using Settings = Inventory<SettingsCase>;
TEST_P(Settings, ReadAndLogged) {
  const auto& [name, ini, result, settings, log] = GetParam();
  if (ini) WriteFile(tree_ / "FileGroup1/kvxpatch.ini", ini);
  InstallInfo info{tree_ / "FileGroup1"};
  _PatchSetting s;
  EXPECT_EQ(result, ReadConfiguration(info, s));
  std::ostringstream got;
  for (const auto* list : {&s.lstFiles, &s.lstDatabases}) {
    for (const std::string& n : *list) got << n << ",";
    got << "|";
  }
  got << s.iBuildNumber << " " << s.iCreateNewFolder << " " << s.iDepentBuild << " "
      << s.iServicePack << " " << s.iPreviousBuild << " " << s.iUpdateLoader << " " << s.bUpdateExt;
  EXPECT_EQ(settings, got.str());
  EXPECT_EQ(At(log), Log());
  ReadFileList(s);  // and freed again
  FreeFileList();
  EXPECT_STREQ("", szDlls[0]);
  EXPECT_EQ(1, CheckEnvironment(s)) << "no program folder of the build: the update may go on";
}
TABLE(Settings, kSettings);

// The newest program (hotfix) folder below p/, where a file and a link named like folders
// never count: want "" nothing with the output untouched, "-name" nothing but name written.
using Newest = Inventory<std::tuple<const char*, bool, const char*, const char*>>;
TEST_P(Newest, ByListing) {
  const auto& [name, hotfix, folders, want] = GetParam();
  std::istringstream in(folders);
  for (std::string f; in >> f;) std::filesystem::create_directories(tree_ / ("p/" + f));
  WriteFile(tree_ / (hotfix ? "p/B9998" : "p/V9.9.9.8"), "");
  std::filesystem::create_directory_symlink(tree_.path(),
                                            tree_ / (hotfix ? "p/B9999" : "p/V9.9.9.9"));
  const std::string untouched(1024, '#');
  std::string out = untouched;
  const char* got = hotfix
                        ? GetLatestHFPathN((tree_.path() + "/").c_str(), "p", &out[0], out.size())
                        : GetLatestPathN(tree_.path().c_str(), "p", &out[0], out.size());
  EXPECT_EQ(*want ? tree_ / ("p/" + std::string(want + (*want == '-'))) : untouched, out.c_str());
  EXPECT_EQ(*want == '-' || !*want ? nullptr : out.c_str(), got);
}
const std::tuple<const char*, bool, const char*, const char*> kFolders[] = {
    {"BuildsAsNumbers", 0, "V5.8.0.999 V5.8.0.1234 V5.8.0.1200", "V5.8.0.1234"},
    {"FirstComponentFirst", 0, "V9.750.1001 V10.000.1000 V9.999.9999", "V10.000.1000"},
    {"HeldAtInt32Max", 0, "V5.8.0.4294967297 V5.8.0.1234", "V5.8.0.4294967297"},
    {"NoVersion", 0, "Vxyz V-5.8", ""},
    {"FirstOfZeroIsNothing", 0, "V0.5.1 V0.7.2", "-V0.7.2"},
    {"Hotfix", 1, "B1001 Bxyz B1002 B0999", "B1002"},
    {"HotfixOfZeroOrLess", 1, "B0 B-5 b1234 V1234", ""},
};
TABLE(Newest, kFolders);

// version.txt in the folder "@" (<tree>/e or length characters): result, version, log.
#define F "File @/version.txt content is "
using EngineCase = std::tuple<const char*, const char*, int, const char*, const char*, std::size_t>;
const EngineCase kEngines[] = {
    {"ThreeNumbers", "version:V9.750.1001\n", 0, "9 750 1001 0", F "version:V9.750.1001.", 0},
    {"FourNumbers", "version:V9.750.7.1001\nx\n", 0, "9 750 1001 7", F "version:V9.750.7.1001.", 0},
    {"EightCharacters", "12345678\r\n", -1, "0 0 0 0", F "12345678.|" F "12345678, no version.", 0},
    {"EmptyFirstLine", "\r\n1.2.3\n", -1, "0 0 0 0", F ".|" F ", no version.", 0},
    {"EmptyFile", "", -1, "0 0 0 0", "File @/version.txt content is empty.", 0},
    {"NoFile", nullptr, -1, "0 0 0 0", "Can not open file @/version.txt.", 0},
    {"FolderOf243", "12345678V1", 0, "1 0 0 0", F "12345678V1.", 243},
    {"FolderOf244", "12345678V1", -1, "0 0 0 0", "file length is 255, more than max.", 244},
};

using Engine = Inventory<EngineCase>;
TEST_P(Engine, VersionFile) {
  const auto& [name, content, result, version, log, length] = GetParam();
  const std::string folder =
      length ? tree_ / std::string(length - tree_.path().size() - 1, 'e') : tree_ / "e";
  if (content) WriteFile(folder + "/version.txt", content);
  int v[4] = {-9, -9, -9, -9};
  EXPECT_EQ(result,
            ReadEngineVersion(const_cast<char*>(folder.c_str()), &v[0], &v[1], &v[2], &v[3]));
  EXPECT_EQ(version, std::to_string(v[0]) + " " + std::to_string(v[1]) + " " +
                         std::to_string(v[2]) + " " + std::to_string(v[3]));
  EXPECT_EQ(At(log, folder), Log());
}
TABLE(Engine, kEngines);

TEST_F(Plain, EngineVersionRefusesANullOutput) {
  int v = 0;
  EXPECT_EQ(-1, ReadEngineVersion(const_cast<char*>((tree_ / "e").c_str()), &v, &v, &v, nullptr));
  EXPECT_EQ("input pointer is NULL.", Log());
}

}  // namespace
