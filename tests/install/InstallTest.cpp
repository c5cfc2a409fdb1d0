// Placing files on a host-kit tree: what the round trips in tests/e2e do not
// show, the results, the log and the failure paths, besides modes and groups.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "DominoControl.h"
#include "DominoState.h"
#include "HostKit.h"
#include "Install.h"

namespace fs = std::filesystem;
using namespace kvxtest;
using ::testing::Contains;

namespace {

// The failures logged, in order: the lines a reader of the log goes by.
Lines LoggedErrors() {
  Lines errors;
  for (const std::string& m : DebugLogMessages())
    if (m.rfind("Error:", 0) == 0) errors.push_back(m);
  return errors;
}

// The host's kvx1 with program builds 999 and 1000 (the newer sorts first as
// text); the test runs in the tree, which must stay the working folder.
class Install : public ::testing::Test {
 protected:
  void SetUp() override {
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
  std::unique_ptr<Host> host_;
  Lines names_;
};

// An empty slot is skipped; a missing name is logged and the rest goes on.
TEST_F(Install, LibrarySwapResultsLogAndOverwrittenModes) {
  Names(szDlls, kMaxDlls, {"libkvxcore.so", "", "res/messages.txt", "missing.so"});
  std::string prog = host_->Program(1000), pkg = host_->Package(PackageSpec()) + "/FileGroup1";
  WriteFile(pkg + "/res/messages.txt", "new messages");
  fs::permissions(prog + "/libkvxcore.so", fs::perms(0600));
  EXPECT_EQ(1, CopyAllDlls(pkg.c_str(), prog.data()));
  EXPECT_EQ("new messages", ReadFile(prog + "/res/messages.txt"));
  EXPECT_EQ("775 kvxgroup", ModeGroup(prog + "/libkvxcore.so"));
  EXPECT_EQ(-1, RenameAllDlls(prog.data())) << "the last rename's result";
  EXPECT_EQ(FileText("libkvxcore.so", "package", 1300), ReadFile(prog + "/libkvxcore.so_1"));
  EXPECT_EQ(1, RemoveAllRenamedDlls(prog.data()));
  EXPECT_EQ(std::string::npos, Snapshot(prog).find("_1"));
  char missing[] = "/nonexistent";
  EXPECT_EQ(0, RenameAllDlls(missing));
  EXPECT_EQ(0, RemoveAllRenamedDlls(missing));
  EXPECT_EQ((Lines{"Error: Cannot copy the file(missing.so). Error code is -2.",
                   "Error: Cannot change name from (missing.so) to (missing.so_1).",
                   "Error: Cannot change to folder (/nonexistent).",
                   "Error: Cannot change to folder (/nonexistent)."}),
            LoggedErrors());
  Names(szDlls, kMaxDlls, {"missing.so", "libkvxscan.so"});
  EXPECT_EQ(0, RenameAllDlls(prog.data())) << "the last rename's result";
  Names(szDlls, kMaxDlls, {});
  EXPECT_EQ(1, RenameAllDlls(prog.data())) << "nothing listed";
}

TEST_F(Install, HotfixStagingOverwritesTheInstallerOrLogsWhatIsMissing) {
  const std::string pkg = host_->Package(PackageSpec()), hotfix = host_->Product() + "/hotfix/";
  fs::current_path(pkg);
  WriteFile(hotfix + "UPDSilent", "an older, longer installer");
  EXPECT_EQ(1, CopyQOPatch("./", hotfix.c_str()));
  EXPECT_EQ(1, CopyHotFixFiles("./", (hotfix + "B1300/").c_str()));
  EXPECT_EQ(ReadFile(pkg + "/UPDSilent"), ReadFile(hotfix + "UPDSilent"));
  EXPECT_EQ("775 kvxgroup", ModeGroup(hotfix + "UPDSilent"));
  fs::current_path(host_->tree.path());  // no installer, no settings here
  EXPECT_EQ(1, CopyQOPatch("./", hotfix.c_str()));
  EXPECT_EQ(1, CopyHotFixFiles("./", hotfix.c_str()));
  EXPECT_EQ((Lines{"Error: Cannot copy the file(UPDSilent). Error code is -2.",
                   "Error: Cannot copy the file(KvxPatchIni). Error code is -2."}),
            LoggedErrors());
}

// The nine task programs and the extension manager in the partition's program
// folder; without a source each old file is moved back, without a program
// build or extension manager nothing moves.
TEST_F(Install, ProgramFolderGetsLoaderAndExtensionManagerOrKeepsTheOldOnes) {
  KVXNParInfo par = host_->Partition().Par();
  const std::string bin = par.strBinDir, prog = host_->Program(1000);
  fs::remove(bin + "/kvxupd");  // filled in, with no aside
  EXPECT_EQ(1, UpdateLoader(&par, nullptr));
  EXPECT_EQ(1, updateKVXExt(&par, nullptr));
  for (const std::string task : szaLoader) {
    EXPECT_EQ(ReadFile(prog + "/loader"), ReadFile(bin + "/" + task)) << task;
    EXPECT_EQ("775 kvxgroup", ModeGroup(bin + "/" + task)) << task;
  }
  EXPECT_THAT(DebugLogMessages(), Contains("rename from (" + bin + "/kvxupd) to (" + bin +
                                           "/kvxupd_1), error code is 2."));
  EXPECT_EQ("775 kvxgroup", ModeGroup(bin + "/libkvxext.so"));
  RunCommand("rm " + bin + "/*_*");  // the asides
  const std::string before = Snapshot(bin);
  fs::remove(prog + "/loader");
  fs::remove(prog + "/libkvxext.so");
  fs::create_directory(prog + "/libkvxext.so");  // cannot be copied as a file
  ClearDebugLog();
  EXPECT_EQ(1, UpdateLoader(&par, nullptr));
  EXPECT_EQ(1, updateKVXExt(&par, nullptr));
  EXPECT_EQ(before, Snapshot(bin)) << "each old file moved back";
  Lines log = DebugLogMessages();
  EXPECT_THAT(
      log, Contains("Info: Move the file (" + bin + "/kvxreal_1) back to (" + bin + "/kvxreal)."));
  EXPECT_THAT(
      log, Contains(::testing::StartsWith("Error: Fail to copy the file (" + prog +
                                          "/libkvxext.so) to (" + bin + "/libkvxext.so). error ")));
  EXPECT_THAT(log.back(), ::testing::MatchesRegex("Info: Move the file \\(libkvxext\\.so_[0-9]+\\) "
                                                  "back to \\(libkvxext\\.so\\)\\."));
  fs::remove(prog + "/libkvxext.so");
  ClearDebugLog();
  EXPECT_EQ(1, updateKVXExt(&par, nullptr));
  std::snprintf(g_szKVXPatch, sizeof g_szKVXPatch, "%s", "/nonexistent");
  EXPECT_EQ(1, UpdateLoader(&par, nullptr));
  EXPECT_EQ(1, updateKVXExt(&par, nullptr));
  EXPECT_EQ(before, Snapshot(bin));
  EXPECT_EQ((Lines{"Error: The extension mananger doesn't exist. (" + prog + "/libkvxext.so)",
                   "Error: Cannot find the program folder in (/nonexistent).",
                   "Error: Cannot find the program folder in (/nonexistent)."}),
            LoggedErrors());
}

// UpdateDatabase: nothing calls it today.
TEST_F(Install, ReadMeAndDatabasesFromThePackage) {
  InstallInfo info;
  info.strPackagePath = host_->Package(PackageSpec()) + "/FileGroup1";
  EXPECT_EQ(0, CopyReadMe(info));
  Names(szDBs, kMaxDBs, {"kvconf.nsf", "", "missing.nsf"});
  WriteFile(host_->tree / "FileGroup1/kvconf.nsf", "conf");
  KVXNParInfo par = host_->Partition().Par();
  EXPECT_EQ(1, UpdateDatabase(&par, nullptr));
  EXPECT_EQ("conf", ReadFile(par.strDataDir + "/kvx/kvconf.nsf"));
  EXPECT_EQ("775 kvxgroup", ModeGroup(par.strDataDir + "/kvx/kvconf.nsf"));
  EXPECT_EQ(FileText("read-me", "package", 1300),
            ReadFile(host_->Product() + "/program/readme_kvxn5_linux.txt"));
  EXPECT_EQ(Lines{"Error: Cannot copy the file(missing.nsf). Error code is -2."}, LoggedErrors());
}

// UpdateKVXSys (nothing calls it today): the current instance's ProductVersion,
// the old file kept as .bak; no current instance, registry or key: no change.
TEST(RegistryRewrite, RecordsTheBuildAsTheCurrentInstancesProductVersion) {
  const std::string one = "[KVX1]\nProductVersion=V1\nInstallType=1\n", fail = "Error: Fail to ";
  g_lstKVXNIns.assign(2, KVXNInsInfo());
  g_lstKVXNIns[0].strInsName = "KVX1", g_lstKVXNIns[1].strInsName = "KVX2";
  // clang-format off
  for (auto [current, before, log] : std::vector<std::tuple<int, std::string, std::string>>{
           {0, one, ""}, {2, one, ""}, {-1, one, ""}, {0, "", fail + "open the file (/etc/kvxsysV3.ini)"},
           {0, "[KVX1]\nProductPath=/opt\n", fail + "update the file (/etc/kvxsysV3.ini)"}}) {
    // clang-format on
    RunCommand("rm -f /etc/kvxsysV3.ini*");
    if (!before.empty()) WriteFile("/etc/kvxsysV3.ini", before);
    g_iCurIns = current;
    ClearDebugLog();
    UpdateKVXSys(1234);
    const bool set = current == 0 && log.empty();
    EXPECT_EQ(set ? "[KVX1]\nProductVersion=V5.8.0.1234\nInstallType=1\n\n[END]\n" : before,
              ReadFile("/etc/kvxsysV3.ini"))
        << current << " " << before;
    EXPECT_EQ(set ? before : "", ReadFile("/etc/kvxsysV3.ini.bak"));
    EXPECT_EQ(log.empty() ? Lines{} : Lines{log}, DebugLogMessages());
  }
  RunCommand("rm -f /etc/kvxsysV3.ini*");
}

}  // namespace
