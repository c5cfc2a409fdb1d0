// kvxinfo on kit hosts: the plan against the UPDSilent run that follows, the
// views' texts (golden/) and that they change nothing, the exit statuses, verify
// on hosts broken after a real update, the plan's refusal of shell-split names.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <vector>

#include "HostKit.h"

namespace fs = std::filesystem;
using namespace kvxtest;
using Json = nlohmann::json;

namespace {

CommandResult Kvxinfo(const std::string& a) {
  return RunCommand(BuildDir() + "/kvxinfo/kvxinfo " + a);
}
const auto kName = [](const auto& i) { return std::string(i.param.name); };

struct AgreeCase {  // the package and a damage to the host tree; what the plan predicts
  const char* name;
  int build;
  const char *config, *damage, *decision, *gate, *reason;  // gate "" none; part of reason/details
  int exit;
};
class PlanAgreement : public ::testing::TestWithParam<AgreeCase> {};

// The run that follows the plan ends as it said, the gate's reason logged
// last. A listed file the package lacks, or that is a folder, fails the plan
// though the run ends with 0; in place, that failed copy loses the library.
TEST_P(PlanAgreement, InstallerDoesWhatThePlanSaid) {
  const AgreeCase& c = GetParam();
  Host host;
  const std::string pkg = host.Package({c.build, {"libkvxcore.so"}, c.config, {}});
  ASSERT_EQ(0, RunCommand("cd " + host.tree.path() + " && " + c.damage).exitStatus);
  const Json plan = Json::parse(Kvxinfo("--json plan " + pkg).output);
  const Json& ins = plan["instances"][0];
  EXPECT_EQ(c.decision, ins["decision"]);
  EXPECT_EQ(c.gate, ins["gate"].is_null() ? "" : ins["gate"].get<std::string>());
  std::string said = ins["reason"].is_null() ? "" : ins["reason"].get<std::string>();
  for (const Json& line : ins["details"]) said += "\n" + line.get<std::string>();
  EXPECT_THAT(said, ::testing::HasSubstr(c.reason));
  EXPECT_EQ(c.exit, plan["installer_exit"]);
  EXPECT_EQ(c.exit, RunUPDSilent(pkg).exitStatus);
  EXPECT_EQ(c.exit ? ins["reason"].get<std::string>()
                   : "=============================Update (" + host.Product() +
                         ") successfully=======================",
            DebugLogMessages(true).back());
}
// clang-format off
INSTANTIATE_TEST_SUITE_P(Gates, PlanAgreement, ::testing::Values(
    AgreeCase{"Applies", 1300, "", "true", "applies", "", "", 0},
    AgreeCase{"ProgramNotOlder", 1200, "", "true", "skipped", "program build", "The current program version is newer", 212},
    AgreeCase{"DepentBuildDiffers", 1300, "DepentBuild=1199", "true", "fails", "DepentBuild", "(Current Build,1200:Depent Build,1199)", 212},
    AgreeCase{"DatabaseMissing", 1300, "", "rm kvx1/Par1/data/kvx/kvtime.nsf", "fails", "databases", "Some database", 212},
    AgreeCase{"PackageFileMissing", 1300, "", "rm package/FileGroup1/libkvxcore.so", "fails", "package files", "file missing in package: /", 0},
    AgreeCase{"InPlaceCopyLosesLibrary", 1300, "CreateNewFolder=0", "rm package/FileGroup1/libkvxcore.so", "fails", "package files", "a copy that fails leaves the library missing", 0},
    AgreeCase{"PackageFileAFolder", 1300, "", "cd package/FileGroup1 && rm libkvxcore.so && mkdir libkvxcore.so", "fails", "package files", "not a file in package: /", 0}), kName);
// clang-format on

// Replaces the amount between each `before` and the next `after` by "<n>"
// where it is a number and its unit ("7.1 MiB", "312 B").
void MaskAmounts(std::string& text, const std::string& before, const std::string& after) {
  for (std::size_t at = 0; (at = text.find(before, at)) != std::string::npos;) {
    at += before.size();
    const std::size_t digits = text.find_first_not_of("0123456789.", at);
    if (digits == at || digits == std::string::npos) continue;
    std::size_t end = digits;
    if (after == " free") end = text.find(after, digits);  // the unit is masked too
    if (end == std::string::npos || end - digits > 4) continue;
    text.replace(at, end - at, "<n>");
  }
}

// The view's text as golden/<name> holds it, the tree's path and the amounts
// masked (the package's installer is larger in a sanitizer build).
// KVX_UPDATE_GOLDEN=1 rewrites it.
void ExpectGolden(const std::string& name, const Host& host, const std::string& args) {
  std::string text = Kvxinfo(args).output;
  for (std::size_t at; (at = text.find(host.tree.path())) != std::string::npos;)
    text.replace(at, host.tree.path().size(), "<tree>");
  MaskAmounts(text, "needs ", " ");
  MaskAmounts(text, ", ", " free");
  const std::string golden = SourceDir() + "/tests/kvxinfo/golden/" + name;
  if (std::getenv("KVX_UPDATE_GOLDEN")) WriteFile(golden, text);
  EXPECT_EQ(ReadFile(golden), text) << "kvxinfo " << args;
}

// Every view of one kit host (a server short of five tasks, an engine whose
// newest folder is not latest) before and after an update; none changes the
// tree, the registry or the journal, or logs. One engine and one hotfix at
// most: verify walks them in directory order, which file systems differ in.
TEST(Views, GoldenTextsAndNothingChanges) {
  InstanceSpec want;
  want.engines = {"alder/V10.000.1000", "alder/V9.750.1001"};
  Host host({want});
  SimPartition& par = host.Partition();
  host.StartTasks({"kvxreal", "kvxcm"});
  const std::string pkg = host.Package({1300,
                                        {"libkvxcore.so", "libkvxscan.so", "libkvxext.so"},
                                        "CreateNewFolder=1\nUpdateLoader=1\nUpdateExt=1",
                                        {{"alder", "10.000.1001"}}});
  const std::string before = Snapshot(host.tree.path(), true) + ReadFile("/etc/kvxsysV3.ini");
  ClearDebugLog();
  ExpectGolden("inventory.txt", host, "");
  ExpectGolden("inventory.json", host, "--json");
  ExpectGolden("plan.txt", host, "plan " + pkg);
  ExpectGolden("verify.txt", host, "verify");
  ExpectGolden("verify-package-not-applied.txt", host, "verify " + pkg);
  for (const std::string& args : {"--json plan " + pkg, "--json verify " + pkg}) Kvxinfo(args);
  EXPECT_EQ(before, Snapshot(host.tree.path(), true) + ReadFile("/etc/kvxsysV3.ini"));
  EXPECT_TRUE(par.JournalCommands().empty());
  EXPECT_TRUE(DebugLogMessages().empty());  // no log of any day
  par.Stop();
  ASSERT_EQ(0, RunUPDSilent(pkg).exitStatus);
  ExpectGolden("verify-package.txt", host, "verify " + pkg);
}

// The exit statuses kvxinfo(1) documents.
TEST(Statuses, AsDocumented) {
  Host host;
  const std::string nothing = host.Package({1100, {}, "", {}}), empty = host.tree / "empty";
  fs::create_directories(empty);
  const std::pair<std::string, int> kStatuses[] = {{"--help", 0},          {"list", 64},
                                                   {"plan", 64},           {"plan /nonexistent", 4},
                                                   {"plan " + empty, 4},   {"verify " + empty, 4},
                                                   {"plan " + nothing, 2}, {"metrics --json", 64}};
  for (const auto& [args, status] : kStatuses) EXPECT_EQ(status, Kvxinfo(args).exitStatus) << args;
  std::remove("/etc/kvxsysV3.ini");
  for (const char* args : {"--json", "verify"}) EXPECT_EQ(3, Kvxinfo(args).exitStatus) << args;
  EXPECT_THAT(Kvxinfo("metrics").output, ::testing::HasSubstr("kvxinfo_scrape_success 0\n"));
}

struct BrokenCase {
  const char* name;
  const char* damage;  // a command in the product folder after a real update; $B: Par1's bin
  const char* named;   // the detail of a failed row; "" when the host verifies
  const char* check;   // the check whose kvx_verify_failures it raises
};
class Verify : public ::testing::TestWithParam<BrokenCase> {};

// A new-folder update of 1300 with loader, extension manager and engine
// alder, then one fault a run could leave: verify fails and names it.
TEST_P(Verify, NamesTheFault) {
  const BrokenCase& c = GetParam();
  Host host;
  const std::string pkg =
      host.Package({1300,
                    {"libkvxcore.so", "libkvxscan.so", "libkvxext.so", "loader"},
                    "UpdateLoader=1\nUpdateExt=1",
                    {{"alder", "9.750.1002"}}});
  ASSERT_EQ(0, RunUPDSilent(pkg).exitStatus);
  const std::string in = "cd " + host.Product() + " && B=" + host.Partition().binDir + " && ";
  ASSERT_EQ(0, RunCommand(in + c.damage).exitStatus);
  const CommandResult r = Kvxinfo("verify " + pkg);
  EXPECT_EQ(*c.named ? 1 : 0, r.exitStatus) << r.output;
  EXPECT_THAT(r.output, ::testing::HasSubstr(c.named));
  // The same fault in the metrics, in a form Prometheus's own linter takes.
  const std::string prom = host.tree / "kvxinfo.prom";
  ASSERT_EQ(0, RunCommand(BuildDir() + "/kvxinfo/kvxinfo metrics --package " + pkg + " >" + prom +
                          " && promtool check metrics <" + prom)
                   .exitStatus);
  const std::string metrics = ReadFile(prom);
  const auto has = [&](const std::string& s) { return metrics.find(s) != metrics.npos; };
  const std::string failures =
      "kvx_verify_failures{kvx_instance=\"kvx1\",check=\"" + std::string(c.check);
  EXPECT_TRUE(has(failures)) << metrics;
  EXPECT_EQ(!*c.named, has(failures + "\"} 0\n"));
  EXPECT_EQ(!*c.named, has("kvx_package_applied{kvx_instance=\"kvx1\",package_build=\"1300\"} 1"));
  const std::string man = ReadFile(SourceDir() + "/kvxinfo/kvxinfo.1");  // documents each one
  for (std::size_t at = 0; (at = metrics.find("# TYPE ", at)) != metrics.npos; at += 7) {
    const std::string name = metrics.substr(at + 7, metrics.find(' ', at + 7) - at - 7);
    EXPECT_NE(man.npos, man.find(" " + name)) << name;
  }
}
// clang-format off
INSTANTIATE_TEST_SUITE_P(Hosts, Verify, ::testing::Values(
    BrokenCase{"Clean", "true", "", "program files"},
    BrokenCase{"DanglingLatest", "rm -r program/V5.8.0.1300", "program/latest names", "program latest"},
    BrokenCase{"AsideFileLeft", "cp program/V5.8.0.1300/libkvxscan.so program/V5.8.0.1300/libkvxscan.so_1", "libkvxscan.so_1 is left beside libkvxscan.so", "aside files"},
    BrokenCase{"HotfixWithoutSettings", "rm hotfix/B1300/FileGroup1/kvxpatch.ini", "kvxpatch.ini is missing", "hotfix B1300"},
    BrokenCase{"LibraryCutShort", "truncate -s 5 program/V5.8.0.1300/libkvxscan.so", "libkvxscan.so: 5 bytes, the package has 41", "program files"},
    BrokenCase{"BackupCutShort", "truncate -s 5 hotfix/B1300/FileGroup1/libkvxcore.so", "libkvxcore.so: 5 bytes, V5.8.0.1200 has 38", "backup"},
    BrokenCase{"LoaderNotUpdated", "cp program/V5.8.0.1200/loader $B/kvxemf", "/kvxemf is not the loader of V5.8.0.1300", "loader"},
    BrokenCase{"ModeLost", "chmod 644 program/V5.8.0.1300/libkvxcore.so", "libkvxcore.so: mode 0644, not 0775", "program files"},
    BrokenCase{"PreviousFileMissing", "rm program/V5.8.0.1300/kvx.cfg", "kvx.cfg: missing, V5.8.0.1200 has it", "previous build"},
    BrokenCase{"StagedInstallerDiffers", "echo x >> hotfix/UPDSilent", "/product/hotfix/UPDSilent is not the package's UPDSilent", "staged files"},
    BrokenCase{"ExtensionManagerOld", "cp program/V5.8.0.1200/libkvxext.so $B/libkvxext.so", "/libkvxext.so is not the one of V5.8.0.1300", "extension manager"},
    BrokenCase{"LoaderUpdateCut", "mv $B/kvxcm $B/kvxcm_1", "/kvxcm is missing; kvxcm_1 holds the old program", "loader"},
    BrokenCase{"EngineNotSwitched", "ln -sfn $PWD/engine/alder/V9.750.1001 engine/alder/latest", "latest does not name V9.750.1002", "engine alder"}), kName);
// clang-format on

// The plan fails an instance whose path, or a package whose listed name,
// holds what the installer's unquoted root shell commands would split.
struct HazardCase {
  const char* name;
  const char* what;  // product path, listed file or listed database
  const char* text;  // the product folder's name, or the listed name
  const char* holds;
};
// clang-format off
const HazardCase kHazards[] = {
    {"Blank", "product path", "kvx 1", "a blank"}, {"Tab", "product path", "kvx\t1", "a blank"},
    {"Semicolon", "listed file", "lib;rm.so", "';'"}, {"Command", "listed file", "lib$(id).so", "'$'"},
    {"Backquote", "listed file", "lib`id`.so", "'`'"}, {"Quote", "listed file", "lib'x.so", "'''"},
    {"DoubleQuote", "listed file", "lib\"x.so", "'\"'"}, {"Pipe", "listed file", "lib|x.so", "'|'"},
    {"Glob", "listed file", "lib*.so", "'*'"}, {"Ampersand", "listed database", "kvx&x", "'&'"},
    {"Delete", "listed file", "lib\x7f.so", "a control character"}};
// clang-format on
TEST(Hazards, PlanFailsNamingTheText) {
  for (const HazardCase& c : kHazards) {
    SCOPED_TRACE(c.name);
    const std::string what = c.what;
    InstanceSpec instance;
    TempTree odd;
    if (what == "product path") instance.product = odd / c.text;
    Host host({instance});
    PackageSpec want;
    if (what == "listed file") want.files.push_back(c.text);
    if (what == "listed database") want.config += "Databases=" + std::string(c.text) + "\n";
    const Json plan = Json::parse(Kvxinfo("--json plan " + host.Package(want)).output);
    const std::string text = what == "product path" ? host.Product() : c.text;
    EXPECT_EQ(what + " \"" + text + "\" holds " + c.holds +
                  ": the installer passes it unquoted to root shell commands",
              plan["instances"][0]["reason"]);
  }
}

}  // namespace

// A run that crosses midnight writes its first lines into one day's log and
// the rest into the next: only both files, read as one, hold it whole; the
// other process's line in the second is no run of the pid asked for.
TEST(Log, RunSplitAcrossTwoDaysIsWholeOnlyInBoth) {
  Host host;
  ASSERT_EQ(0, RunUPDSilent(host.Package({1300, {"libkvxcore.so"}, "", {}})).exitStatus);
  std::string log;  // of two days if this run crossed a real midnight
  for (const std::string& line : DebugLogLines()) log += line + "\n";
  const std::size_t middle = log.find('\n', log.size() / 2) + 1;
  const std::string day1 = host.tree / "day1", day2 = host.tree / "day2";
  WriteFile(day1, log.substr(0, middle));
  WriteFile(day2, "[2026/12/08 00:00:00][pid=1][tid=1][module=0] [file:x] [line: 1]:other\n" +
                      log.substr(middle));
  const std::pair<std::string, int> kReads[] = {
      {"--file=" + day1 + " --file=" + day2, 0},  // whole: finished with 0
      {"--file=" + day1, 1},                      // cut at midnight: unfinished
      {"--file=" + day2, 2},                      // no banner: no run of its own
      {"--file=" + day1 + " --file=" + day2 + " --pid=1", 2}};
  for (const auto& [files, status] : kReads)
    EXPECT_EQ(status, Kvxinfo("log --last 9 " + files).exitStatus) << files;
}
