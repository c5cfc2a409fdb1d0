// Placing files on a host-kit tree: the rename-aside library swap, hotfix
// staging, the Domino program folder updates and the registry rewrite, judged
// by what lands on disk (content, mode 0775, group kvxgroup) and the log.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "control/DominoControl.h"
#include "install/Install.h"
#include "support/HostKit.h"

namespace fs = std::filesystem;
using namespace kvxtest;
using Lines = std::vector<std::string>;
using ::testing::Contains;
using ::testing::MatchesRegex;

namespace {

// The host's kvx1 with program builds 999 and 1000 (the newer sorts first as
// text), the current instance; the test runs in the tree, which must stay the
// working folder; names are set in a table (szDlls, szDBs) for one test.
class Install : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!InSandbox()) GTEST_SKIP() << "needs root in the sandbox";
    InstanceSpec want;
    want.builds = {999, 1000};
    host_ = std::make_unique<Host>(std::vector<InstanceSpec>{want});
    std::snprintf(g_szKVXPatch, sizeof g_szKVXPatch, "%s", host_->Product().c_str());
    fs::current_path(host_->tree.path());
    ClearDebugLog();
  }
  void TearDown() override {
    for (char*& slot : szDlls) slot = nullptr;
    for (char*& slot : szDBs) slot = nullptr;
    EXPECT_TRUE(!host_ || host_->tree.path() == fs::current_path().string()) << "folder moved";
  }
  void Names(char** table, int slots, const Lines& names) {
    names_ = names;
    std::fill(table, table + slots, nullptr);
    for (size_t i = 0; i < names_.size(); ++i) table[i] = names_[i].data();
  }
  std::string Path(const std::string& relative) { return host_->tree / relative; }

  std::unique_ptr<Host> host_;
  Lines names_;
};

TEST_F(Install, LibrarySwapKeepsTheOldFilesForTheirHoldersAndLogs) {
  Names(szDlls, kMaxDlls, {"libkvxcore.so", "", "libkvxscan.so", "res/messages.txt"});
  std::string prog = host_->Program(1000), pkg = host_->Package(PackageSpec()) + "/FileGroup1";
  WriteFile(pkg + "/res/messages.txt", "new messages");
  WriteFile(prog + "/libkvxcore.so_1", "stale aside file");
  std::vector<int> held;  // as a running task holds its libraries
  for (const char* name : {"libkvxcore.so", "libkvxscan.so", "res/messages.txt"})
    held.push_back(::open((prog + "/" + name).c_str(), O_RDONLY));
  EXPECT_EQ(0, RenameAllDlls(prog.data()));
  EXPECT_EQ(FileText("libkvxcore.so", "kvx1", 1000), ReadFile(prog + "/libkvxcore.so_1"));
  EXPECT_FALSE(fs::exists(prog + "/libkvxscan.so"));
  EXPECT_EQ(1, CopyAllDlls(pkg.c_str(), prog.data()));
  EXPECT_EQ(FileText("libkvxscan.so", "package", 1300), ReadFile(prog + "/libkvxscan.so"));
  EXPECT_EQ("new messages", ReadFile(prog + "/res/messages.txt"));
  EXPECT_EQ("775 kvxgroup", ModeGroup(prog + "/libkvxcore.so"));
  EXPECT_TRUE(fs::exists(prog + "/libkvxscan.so_1")) << "asides go only at the removal";
  EXPECT_EQ(1, RemoveAllRenamedDlls(prog.data()));
  EXPECT_EQ("", Snapshot(prog).find("_1") == std::string::npos ? "" : Snapshot(prog));
  std::string old(64, '\0');  // what the holder still reads
  old.resize(std::max<ssize_t>(0, ::pread(held[1], old.data(), old.size(), 0)));
  EXPECT_EQ(FileText("libkvxscan.so", "kvx1", 1000), old);
  for (int fd : held) ::close(fd);
  EXPECT_EQ(
      (Lines{"Info: Rename the DLLs in (" + prog + ")",
             "Info: Copy the file from (" + pkg + ") to (" + prog + ")",
             "size of szDlls is: 1024, size of *szDlls is 8",
             "Copy file " + pkg + "/libkvxcore.so to " + prog + "/libkvxcore.so, errno: 0",
             "Copy file " + pkg + "/libkvxscan.so to " + prog + "/libkvxscan.so, errno: 0",
             "Copy file " + pkg + "/res/messages.txt to " + prog + "/res/messages.txt, errno: 0",
             "Info: CopyAllDlls END", "Info: Remove the DLLs in (" + prog + ")"}),
      DebugLogMessages());
}

TEST_F(Install, BackupCopyMakesFoldersFixesModesAndLogsAMissingName) {
  Names(szDlls, kMaxDlls, {"libkvxcore.so", "res/messages.txt", "missing.so"});
  std::string prog = host_->Program(1000), backup = host_->Product() + "/hotfix/B1300/FileGroup1";
  WriteFile(backup + "/res/messages.txt", "older backup");
  fs::permissions(backup + "/res/messages.txt", fs::perms(0600));
  EXPECT_EQ(1, CopyAllDlls(prog.c_str(), backup.data()));
  EXPECT_EQ(FileText("res/messages.txt", "kvx1", 1000), ReadFile(backup + "/res/messages.txt"));
  EXPECT_EQ("775 kvxgroup", ModeGroup(backup + "/res/messages.txt"));
  EXPECT_FALSE(fs::exists(backup + "/missing.so"));
  EXPECT_THAT(DebugLogMessages(),
              Contains("Error: Cannot copy the file(missing.so). Error code is -2."));
  // The result is that of the last rename; a folder that cannot be entered changes nothing.
  EXPECT_EQ(-1, RenameAllDlls(prog.data()));
  Names(szDlls, kMaxDlls, {"missing.so", "libkvxscan.so"});
  EXPECT_EQ(0, RenameAllDlls(prog.data()));
  EXPECT_EQ(FileText("libkvxcore.so", "kvx1", 1000), ReadFile(prog + "/libkvxcore.so_1"));
  EXPECT_THAT(DebugLogMessages(),
              Contains("Error: Cannot change name from (missing.so) to (missing.so_1)."));
  char missing[] = "/nonexistent";
  ClearDebugLog();
  EXPECT_EQ(0, RenameAllDlls(missing) + RemoveAllRenamedDlls(missing));
  EXPECT_EQ((Lines{"Info: Rename the DLLs in (/nonexistent)",
                   "Error: Cannot change to folder (/nonexistent).",
                   "Info: Remove the DLLs in (/nonexistent)",
                   "Error: Cannot change to folder (/nonexistent)."}),
            DebugLogMessages());
  Names(szDlls, kMaxDlls, {});
  EXPECT_EQ(1, RenameAllDlls(prog.data())) << "nothing listed";
}

TEST_F(Install, HotfixStagingPlacesInstallerAndSettingsOrLogsWhatIsMissing) {
  const std::string pkg = host_->Package(PackageSpec()), hotfix = host_->Product() + "/hotfix/";
  fs::current_path(pkg);
  WriteFile(hotfix + "UPDSilent", "an older, longer installer");
  EXPECT_EQ(1, CopyQOPatch("./", hotfix.c_str()));
  EXPECT_EQ(1, CopyHotFixFiles("./", (hotfix + "B1300/").c_str()));
  EXPECT_EQ(ReadFile(pkg + "/UPDSilent"), ReadFile(hotfix + "UPDSilent"));
  EXPECT_EQ(ReadFile(pkg + "/FileGroup1/kvxpatch.ini"),
            ReadFile(hotfix + "B1300/FileGroup1/kvxpatch.ini"));
  EXPECT_EQ("775 kvxgroup 775 kvxgroup", ModeGroup(hotfix + "UPDSilent") + " " +
                                             ModeGroup(hotfix + "B1300/FileGroup1/kvxpatch.ini"));
  fs::current_path(host_->tree.path());  // no installer, no settings here
  EXPECT_EQ(1, CopyQOPatch("./", hotfix.c_str()) & CopyHotFixFiles("./", hotfix.c_str()));
  EXPECT_EQ((Lines{"Info: Copy the file from (./) to (" + hotfix + ")",
                   "Info: Copy the file from (./) to (" + hotfix + "B1300/)",
                   "Info: Copy the file from (./) to (" + hotfix + ")",
                   "Error: Cannot copy the file(UPDSilent). Error code is -2.",
                   "Info: Copy the file from (./) to (" + hotfix + ")",
                   "Error: Cannot copy the file(KvxPatchIni). Error code is -2."}),
            DebugLogMessages());
}

TEST_F(Install, LoaderReplacesTheNineTaskProgramsOrPutsTheOldOnesBack) {
  KVXNParInfo par = host_->Partition().Par();
  const std::string bin = par.strBinDir, loader = host_->Program(1000) + "/loader";
  fs::remove(bin + "/kvxupd");  // filled in, with no aside
  WriteFile(bin + "/kvxreal_1", "aside of the run before");
  EXPECT_EQ(1, UpdateLoader(&par, nullptr));
  Lines expected = {"Info: Update loader from (" + host_->Program(1000) + ") to (" + bin + ")."};
  for (const char* task : szaLoader) {
    EXPECT_EQ(FileText("loader", "kvx1", 1000), ReadFile(bin + "/" + task)) << task;
    EXPECT_EQ("775 kvxgroup", ModeGroup(bin + "/" + task));
    EXPECT_EQ(std::string(task) != "kvxupd", fs::exists(bin + "/" + task + "_1")) << task;
    if (std::string(task) == "kvxupd")
      expected.push_back("rename from (" + bin + "/kvxupd) to (" + bin +
                         "/kvxupd_1), error code is 2.");
    expected.push_back("Info: copy the file(" + loader + ") to (" + bin + "/" + task +
                       "). Error code is 0.");
  }
  EXPECT_EQ(expected, DebugLogMessages());
  fs::remove(loader);
  RunCommand("rm " + bin + "/*_1");
  const std::string before = Snapshot(bin);
  EXPECT_EQ(1, UpdateLoader(&par, nullptr));
  EXPECT_EQ(before, Snapshot(bin)) << "each old program moved back";
  EXPECT_THAT(DebugLogMessages(), Contains("Info: Move the file (" + bin + "/kvxreal_1) back to (" +
                                           bin + "/kvxreal)."));
  std::snprintf(g_szKVXPatch, sizeof g_szKVXPatch, "%s", "/nonexistent");
  ClearDebugLog();
  EXPECT_EQ(1, UpdateLoader(&par, nullptr) & updateKVXExt(&par, nullptr));
  EXPECT_EQ(before, Snapshot(bin));
  EXPECT_EQ((Lines{"Error: Cannot find the program folder in (/nonexistent).",
                   "Info: Begin updating extension manager.",
                   "Error: Cannot find the program folder in (/nonexistent)."}),
            DebugLogMessages());
}

TEST_F(Install, ExtensionManagerReplacedUnderANumberedAsideOrPutBack) {
  KVXNParInfo par = host_->Partition().Par();
  const std::string bin = par.strBinDir, ext = host_->Program(1000) + "/libkvxext.so";
  WriteFile(bin + "/libkvxext.so", "old ext");
  EXPECT_EQ(1, updateKVXExt(&par, nullptr));
  EXPECT_EQ(FileText("libkvxext.so", "kvx1", 1000), ReadFile(bin + "/libkvxext.so"));
  EXPECT_EQ("775 kvxgroup", ModeGroup(bin + "/libkvxext.so"));
  EXPECT_THAT(RunCommand("cd " + bin + " && grep -l 'old ext' libkvxext.so_*").output,
              MatchesRegex("libkvxext\\.so_[0-9]+\n"));
  EXPECT_EQ(
      (Lines{"Info: Begin updating extension manager.", "Info: Have updated extension manager."}),
      DebugLogMessages());
  RunCommand("rm " + bin + "/libkvxext.so_*");
  const std::string before = Snapshot(bin);
  fs::remove(ext);
  fs::create_directory(ext);  // cannot be copied as a file
  ClearDebugLog();
  EXPECT_EQ(1, updateKVXExt(&par, nullptr));
  EXPECT_EQ(before, Snapshot(bin));
  const Lines log = DebugLogMessages();
  ASSERT_EQ(3u, log.size());
  EXPECT_EQ(0u, log[1].rfind("Error: Fail to copy the file (" + ext + ") to (" + bin +
                                 "/libkvxext.so). error ",
                             0));
  EXPECT_THAT(
      log[2],
      MatchesRegex(
          "Info: Move the file \\(libkvxext\\.so_[0-9]+\\) back to \\(libkvxext\\.so\\)\\."));
  fs::remove(ext);
  ClearDebugLog();
  EXPECT_EQ(1, updateKVXExt(&par, nullptr));
  EXPECT_EQ(before, Snapshot(bin));
  EXPECT_EQ("Error: The extension mananger doesn't exist. (" + ext + ")",
            DebugLogMessages().back());
}

TEST_F(Install, ReadMeAndDatabasesFromThePackage) {
  InstallInfo info;
  info.strPackagePath = host_->Package(PackageSpec()) + "/FileGroup1";
  const std::string readme = host_->Product() + "/program/readme_kvxn5_linux.txt";
  EXPECT_EQ(0, CopyReadMe(info));
  EXPECT_EQ(FileText("read-me", "package", 1300), ReadFile(readme));
  Names(szDBs, kMaxDBs, {"kvconf.nsf", "", "missing.nsf"});
  WriteFile(Path("FileGroup1/kvconf.nsf"), "conf");
  KVXNParInfo par = host_->Partition().Par();
  EXPECT_EQ(1, UpdateDatabase(&par, nullptr));
  EXPECT_EQ("conf", ReadFile(par.strDataDir + "/kvx/kvconf.nsf"));
  EXPECT_EQ("775 kvxgroup", ModeGroup(par.strDataDir + "/kvx/kvconf.nsf"));
  EXPECT_EQ((Lines{"Copy file from (" + info.strPackagePath + "/readme_kvxn5_linux.txt) to (" +
                       readme + ")",
                   "Info: Update database from (./FileGroup1) to (" + par.strDataDir + "/kvx).",
                   "Error: Cannot copy the file(missing.nsf). Error code is -2."}),
            DebugLogMessages());
}

// The writer changes the first section and key that begin with the names
// given, keeps the old file as .bak and ends with [END]; failures only log.
struct RewriteCase {
  const char *name, *before;
  int current;
  const char *after, *log;
};
const char kTwo[] =
    "[KVX10]\nProductVersionOld=V5.8.0.900\nProductVersion=V1\n[KVX1]\nProductVersion=V1\n";
const RewriteCase kRewrites[] = {
    {"Sets",
     "[KVXInstances]\nKVXInstanceList=KVX1\nno equals "
     "sign\n[KVX1]\nProductVersion=V1\nInstallType=1\n",
     0,
     "[KVXInstances]\nKVXInstanceList=KVX1\n\n[KVX1]\nProductVersion=V5.8.0.1234\nInstallType="
     "1\n\n[END]\n",
     ""},
    {"FirstPrefixMatch", kTwo, 1,
     "[KVX10]\nProductVersionOld=V5.8.0.1234\nProductVersion=V1\n\n[KVX1]\nProductVersion=V1\n\n["
     "END]\n",
     ""},
    {"NoVersionKey", "[KVX1]\nProductPath=/opt\n", 0, "",
     "Error: Fail to update the file (/etc/kvxsysV3.ini)"},
    {"NoRegistry", "", 0, "", "Error: Fail to open the file (/etc/kvxsysV3.ini)"},
    {"NoCurrentInstance", kTwo, 2, "", ""},
    {"NegativeInstance", kTwo, -1, "", ""},
};
class RegistryRewrite : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(RegistryRewrite, RecordsTheBuildAsProductVersion) {
  if (!InSandbox()) GTEST_SKIP() << "writes /etc: only inside the sandbox";
  const RewriteCase& c = GetParam();
  std::remove("/etc/kvxsysV3.ini.bak");
  std::remove("/etc/kvxsysV3.ini");
  if (*c.before) WriteFile("/etc/kvxsysV3.ini", c.before);
  g_lstKVXNIns.assign(2, KVXNInsInfo());
  g_lstKVXNIns[0].strInsName = "KVX10", g_lstKVXNIns[1].strInsName = "KVX1";
  g_iCurIns = std::string(c.name) == "Sets" ? 1 : c.current;
  ClearDebugLog();
  UpdateKVXSys(1234);
  EXPECT_EQ(*c.after ? c.after : c.before, ReadFile("/etc/kvxsysV3.ini"));
  EXPECT_EQ(*c.after ? c.before : "", ReadFile("/etc/kvxsysV3.ini.bak"));
  EXPECT_EQ(*c.log ? Lines{c.log} : Lines{}, DebugLogMessages());
  std::remove("/etc/kvxsysV3.ini");
}

INSTANTIATE_TEST_SUITE_P(Registries, RegistryRewrite, ::testing::ValuesIn(kRewrites),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
