// `cmake --install` of each component into a scratch DESTDIR lays out exactly
// the expected files, and the installed man pages render without a warning
// and document what an administrator looks them up for.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "packaging/PackagingTestSupport.h"
#include "support/TestSupport.h"

namespace kvxtest {
namespace {

// Relative path -> whether it must be an executable file.
using Layout = std::map<std::string, bool>;

std::string Usr(const std::string& dir, const std::string& name) {
  return "usr/" + dir + "/" + name;
}

Layout DefaultLayout() {
  Layout layout{{Usr(KVX_SBINDIR, "UPDSilent"), true},
                {Usr(KVX_MANDIR, "man8/UPDSilent.8"), false}};
#ifdef KVX_HAVE_KVXINFO
  layout[Usr(KVX_BINDIR, "kvxinfo")] = true;
  layout[Usr(KVX_MANDIR, "man1/kvxinfo.1")] = false;
#endif
  return layout;
}

Layout SimkitLayout() {
  const std::string kit = std::string(KVX_LIBEXECDIR) + "/kvx-domsim";
  const std::string data = std::string(KVX_DATADIR) + "/kvx-domsim";
  Layout layout{{Usr(KVX_BINDIR, "kvx-domsim-demo"), true},
                {Usr(kit, "domsim"), true},
                {Usr(kit, "domsimd"), true},
                {Usr(kit, "domsim-server"), true},
                {Usr(kit, "domsim-task"), true},
                {Usr(kit, "sandbox-run"), true},
                {Usr(data, "demo-host"), true},
                {Usr(data, "package/UPDSilent"), true}};
  // The sample package goes in whole, whatever it holds today.
  for (const std::string& file : FilesUnder(SourceDir() + "/examples/package")) {
    layout[Usr(data, "package/" + file)] = false;
  }
  return layout;
}

Layout SkeletonLayout() {
  Layout layout{{"UPDSilent", true}, {"README", false}, {"FileGroup1/kvxpatch.ini", false}};
#ifdef KVX_HAVE_KVXINFO
  layout["kvxinfo"] = true;
#endif
  return layout;
}

bool HaveTool(const char* tool) {
  return RunCommand(std::string("command -v ") + tool + " >/dev/null").exitStatus == 0;
}

struct InstallCase {
  const char* name;
  const char* component;  // "" for a plain install
  const char* prefix;
  Layout (*expected)();
};

// Installs into a fresh DESTDIR; the tree lives as long as the result.
std::unique_ptr<TempTree> Install(const InstallCase& c, CommandResult* result) {
  auto root = std::make_unique<TempTree>();
  std::string command = "DESTDIR=" + ShellQuote(root->path()) + " cmake --install " +
                        ShellQuote(BuildDir()) + " --prefix " + c.prefix;
  if (*c.component) command += std::string(" --component ") + c.component;
  *result = RunCommand(command + " 2>&1");
  return root;
}

class InstallLayoutTest : public ::testing::TestWithParam<InstallCase> {};

TEST_P(InstallLayoutTest, InstallsExactlyTheExpectedFiles) {
  CommandResult result{};
  const auto root = Install(GetParam(), &result);
  ASSERT_EQ(result.exitStatus, 0) << result.output;

  const Layout expected = GetParam().expected();
  std::set<std::string> wanted;
  for (const auto& entry : expected) wanted.insert(entry.first);
  EXPECT_EQ(FilesUnder(root->path()), wanted);
  for (const auto& [path, executable] : expected) {
    EXPECT_EQ(IsExecutableFile(*root / path), executable) << path;
  }
}

// The plain install is what a production host gets: no package skeleton at
// the top of the prefix and no test kit.
INSTANTIATE_TEST_SUITE_P(Components, InstallLayoutTest,
                         ::testing::Values(InstallCase{"default", "", "/usr", DefaultLayout},
                                           InstallCase{"simkit", "simkit", "/usr", SimkitLayout},
                                           InstallCase{"package", "package", "/", SkeletonLayout}),
                         [](const ::testing::TestParamInfo<InstallCase>& info) {
                           return std::string(info.param.name);
                         });

struct ManPage {
  const char* file;    // under the man folder
  const char* header;  // what .TH must begin with
};

class ManPageTest : public ::testing::TestWithParam<ManPage> {
 protected:
  static void SetUpTestSuite() {
    CommandResult result{};
    root_ = Install(InstallCase{"default", "", "/usr", DefaultLayout}, &result).release();
    ASSERT_EQ(result.exitStatus, 0) << result.output;
  }
  static void TearDownTestSuite() {
    delete root_;
    root_ = nullptr;
  }
  std::string Page() const { return *root_ / Usr(KVX_MANDIR, GetParam().file); }
  static TempTree* root_;
};
TempTree* ManPageTest::root_ = nullptr;

TEST_P(ManPageTest, HeaderNamesThePageAndSection) {
  for (const std::string& line : ReadLines(Page())) {
    if (line.rfind(".TH ", 0) == 0) {
      EXPECT_EQ(line.rfind(GetParam().header, 0), 0u) << line;
      return;
    }
  }
  ADD_FAILURE() << "no .TH line in " << Page();
}

TEST_P(ManPageTest, GroffRendersItWithoutWarnings) {
  if (!HaveTool("groff")) GTEST_SKIP() << "groff is not installed";
  const CommandResult result =
      RunCommand("groff -man -Tutf8 -ww -z " + ShellQuote(Page()) + " 2>&1");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.output, "");
}

TEST_P(ManPageTest, ManShowsItWithoutWarnings) {
  if (!HaveTool("man")) GTEST_SKIP() << "man is not installed";
  const CommandResult result =
      RunCommand("MANWIDTH=80 man -l " + ShellQuote(Page()) + " 2>&1 >/dev/null");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.output, "");
}

INSTANTIATE_TEST_SUITE_P(Installed, ManPageTest,
                         ::testing::Values(ManPage{"man8/UPDSilent.8", ".TH UPDSILENT 8 "}
#ifdef KVX_HAVE_KVXINFO
                                           ,
                                           ManPage{"man1/kvxinfo.1", ".TH KVXINFO 1 "}
#endif
                                           ));

// What an administrator opens UPDSilent(8) for, as the rendered page must
// show it: the modes, both exit statuses, every file read or written, and
// every kvxpatch.ini key.
TEST(UPDSilentManPage, DocumentsModesStatusesFilesAndSettings) {
  if (!HaveTool("groff")) GTEST_SKIP() << "groff is not installed";
  // Wide lines and no hyphenation, so no term is split.
  const std::string text =
      RunCommand("groff -man -Tascii -P-cbou -rLL=250n -rHY=0 " +
                 ShellQuote(SourceDir() + "/packaging/UPDSilent.8") + " 2>/dev/null")
          .output;
  const std::vector<std::string> terms = {"SYNOPSIS",
                                          "EXIT STATUS",
                                          "FILES",
                                          "PACKAGE LAYOUT",
                                          "./UPDSilent /u hotfix-folder",
                                          "./UPDSilent /ue engine version",
                                          "0      Update",
                                          "212    (-300)",
                                          "/etc/kvxsysV3.ini",
                                          "notes.ini",
                                          "/var/log/updsilent_YYYYMMDD.dbg",
                                          "[file:checkdomino_silent] [line: 337]:",
                                          "./FileGroup1/kvxpatch.ini",
                                          "product/program/V5.8.0.build",
                                          "product/program/latest",
                                          "product/hotfix/Bbuild",
                                          "product/hotfix/UPDSilent",
                                          "product/engine/engine/latest",
                                          "kvxgroup",
                                          "Files",
                                          "BuildNumber",
                                          "Databases",
                                          "CreateNewFolder",
                                          "DepentBuild",
                                          "ServicePack",
                                          "PreviousBuild",
                                          "UpdateLoader",
                                          "UpdateExt",
                                          "readme_kvxn5_linux.txt",
                                          "version.txt"};
  for (const std::string& term : terms) {
    EXPECT_NE(text.find(term), std::string::npos) << "UPDSilent(8) lacks: " << term;
  }
}

}  // namespace
}  // namespace kvxtest
