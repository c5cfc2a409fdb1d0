// The installer's gates on kit-built hosts: which package an instance takes,
// which it turns away, with which gate and which logged line, asked in-process
// through the calls the procedures make; and a real run of three instances.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "DebugLog.h"
#include "Gates.h"
#include "HostKit.h"
#include "LogTexts.h"

namespace fs = std::filesystem;
using namespace kvxtest;

namespace {

std::vector<std::string> g_logged;
void Capture(int, const char* message) { g_logged.push_back(message); }

// The line of each gate, in the order of the enum, and its arguments: {P} the
// product path, {A} the row's text, {B} the package's build.
struct GateLine {
  const char *format, *first = "", *second = "";
};
// clang-format off
const GateLine kLines[] = {
    {""}, {logtext::kNoProgramBuild, "{A}"},
    {logtext::kProgramNotOlder, "{P}/program/V5.8.0.{A}", "{P}/program/V5.8.0.{B}/"},
    {logtext::kHotfixNotOlder, "{P}/hotfix/B{A}", "{P}/program/V5.8.0.{B}/"},
    {logtext::kDepentBuildMissing, "1200", "{A}"}, {logtext::kServicePackMissing, "1200", "{A}"},
    {logtext::kPreviousBuildMismatch, "1250", "{A}"}, {logtext::kDatabaseMissing}, {logtext::kNoHotfix},
    {logtext::kRollbackHotfixNewer, "{A}"}, {logtext::kRollbackHotfixOlder, "{A}"},
    {logtext::kHotfixNotInstalled, "{P}/program/V5.8.0.{A}/"}, {logtext::kRollbackProgramNewer, "{A}"},
    {logtext::kOnlyOneProgramFolder, "{P}/program/"}};
// clang-format on

enum Setup { kUpdate, kNoDb, kRollback };  // kNoDb: kvtime.nsf gone from a partition
struct GateCase {
  const char* name;
  std::vector<int> builds, hotfixes;
  int build;           // the package's
  const char* config;  // its kvxpatch.ini after BuildNumber
  InstanceOutcome outcome;
  Gate gate;
  const char* text;  // {A} of the gate's line
  Setup setup = kUpdate;
};
class Gates : public ::testing::TestWithParam<GateCase> {};

// The gates run on a kit host (its servers down: two partitions' data folders
// are all they read) with the package read as the driver reads it.
TEST_P(Gates, VerdictAndLoggedLine) {
  const GateCase& c = GetParam();
  InstanceSpec want;
  want.builds = c.builds;
  want.hotfixes = c.hotfixes;
  want.partitions = 2;
  Host host({want});
  const std::string product = host.Product();
  KVXNInsInfo instance;
  instance.vecParInfo = {host.Partition(0, 0).Par(), host.Partition(0, 1).Par()};
  if (c.setup == kNoDb) fs::remove(host.Partition(0, 1).dataDir + "/kvx/kvtime.nsf");
  InstallInfo info{host.Package({c.build, {"libkvxcore.so"}, c.config, {}}) + "/FileGroup1"};
  _PatchSetting setting;
  ReadConfiguration(info, setting);
  InstancePaths paths;
  FillInstancePaths(product.c_str(), setting, paths);
  g_logged.clear();
  SetLogSink(Capture);
  const GateVerdict verdict = c.setup == kRollback
                                  ? CheckRollbackGates(product.c_str(), setting, paths)
                                  : CheckUpdateGates(instance, setting, paths);
  SetLogSink(nullptr);

  const GateLine& g = kLines[static_cast<int>(c.gate)];
  std::string line = g.format;
  for (const char* arg : {g.first, g.second})
    if (const size_t at = line.find('%'); at != std::string::npos) line.replace(at, 2, arg);
  for (const auto& [mark, value] : {std::pair<std::string, std::string>{"{A}", c.text},
                                    {"{P}", product},
                                    {"{B}", std::to_string(c.build)}})
    for (size_t at; (at = line.find(mark)) != std::string::npos;) line.replace(at, 3, value);
  EXPECT_EQ(c.outcome, verdict.outcome);
  EXPECT_EQ(c.gate, verdict.gate);
  EXPECT_EQ(line, verdict.line);
  if (!line.empty()) {
    EXPECT_EQ(line, g_logged.empty() ? "" : g_logged.back()) << "logged last";
  }
}

using G = Gate;
const auto kS = InstanceOutcome::kSkipped, kF = InstanceOutcome::kFailed,
           kC = InstanceOutcome::kCompleted;
// clang-format off
const GateCase kGates[] = {
    {"EqualBuild", {1200}, {}, 1200, "", kS, G::kProgramBuild, "1200"},
    {"OlderBuild", {1200}, {}, 1199, "", kS, G::kProgramBuild, "1200"},
    {"NewestBuildDecides", {999, 1234, 1200}, {}, 1230, "", kS, G::kProgramBuild, "1234"},
    {"EqualHotfix", {1200}, {1300}, 1300, "", kS, G::kHotfixBuild, "1300"},
    {"NewestHotfixDecides", {1200}, {1250, 1400}, 1300, "", kS, G::kHotfixBuild, "1400"},
    {"DepentMatches", {1200}, {}, 1300, "DepentBuild=1200", kC, G::kNone, ""},
    {"DepentOneBelow", {1200}, {}, 1300, "DepentBuild=1199", kF, G::kDepentBuild, "1199"},
    {"DepentOneAbove", {1200}, {}, 1300, "DepentBuild=1201", kF, G::kDepentBuild, "1201"},
    {"MissingDatabase", {1200}, {}, 1300, "", kF, G::kDatabases, "", kNoDb},
    {"ServicePackEqual", {1200}, {}, 1300, "ServicePack=1200", kC, G::kNone, ""},
    {"ServicePackOneAbove", {1200}, {}, 1300, "ServicePack=1201", kF, G::kServicePack, "1201"},
    {"PreviousIsHotfix", {1200}, {1250}, 1300, "PreviousBuild=1250", kC, G::kNone, ""},
    {"PreviousBelow", {1200}, {1250}, 1300, "PreviousBuild=1249", kF, G::kPreviousBuild, "1249"},
    {"PreviousNoHotfix", {1200}, {}, 1300, "PreviousBuild=5", kC, G::kNone, ""},
    {"DepentFirst", {1200}, {}, 1300, "DepentBuild=1199", kF, G::kDepentBuild, "1199", kNoDb},
    {"NoProgramFolder", {}, {}, 1300, "", kF, G::kProgramFolder, ""},
    // "/u", from the state an update of 1300 leaves
    {"NoHotfix", {1200, 1300}, {}, 1300, "", kF, G::kNoHotfix, "", kRollback},
    {"PackageBelowHotfix", {1200, 1300}, {1300}, 1299, "", kF, G::kHotfixNewer, "1300", kRollback},
    {"PackageAboveHotfix", {1200, 1300}, {1300}, 1301, "", kF, G::kHotfixOlder, "1300", kRollback},
    {"NoHotfixFolder", {1200}, {1300}, 1300, "", kF, G::kNotInstalled, "1300", kRollback},
    {"NewerProgram", {1200, 1300, 1400}, {1300}, 1300, "", kF, G::kProgramNewer, "1400", kRollback},
    {"OnlyOneBuild", {1300}, {1300}, 1300, "", kF, G::kOnlyOneBuild, "", kRollback},
    {"ScratchNotCounted", {0, 1300}, {1300}, 1300, "", kF, G::kOnlyOneBuild, "", kRollback},
    {"NewFolderPasses", {1200, 1300}, {1300}, 1300, "", kC, G::kNone, "", kRollback},
    {"InPlaceAsksNoFolder", {1200}, {1300}, 1300, "CreateNewFolder=0", kC, G::kNone, "", kRollback},
};
// clang-format on
KVX_TABLE(Gates, Gates, kGates);

// A real run, servers down so nothing waits. Each instance on its own: a
// failure does not stop the next, the one that completes does not save the
// run, and those turned away are left exactly as they were.
TEST(Runs, FailedCompletedSkipped) {
  InstanceSpec failed, completed, skipped;
  completed.name = "kvx2";
  skipped.name = "kvx3";
  skipped.builds = {1300};
  Host host({failed, completed, skipped});
  fs::remove(host.Partition(0).dataDir + "/kvx/kvconf.nsf");
  const std::string untouched[] = {Snapshot(host.Product(0)), Snapshot(host.Product(2))};
  EXPECT_EQ(kvxtest::kRunFailed, RunUPDSilent(host.Package({})).exitStatus);
  const std::vector<std::string> log = DebugLogMessages(true);
  EXPECT_THAT(log, ::testing::Contains("=============================Start update (" +
                                       host.Product(2) + ")======================="));
  EXPECT_EQ(host.Program(1300, 1) + "/", fs::read_symlink(host.Product(1) + "/program/latest"));
  EXPECT_TRUE(fs::exists(host.Product(1) + "/hotfix/B1300/FileGroup1/kvxpatch.ini"));
  EXPECT_EQ(untouched[0], Snapshot(host.Product(0)));
  EXPECT_EQ(untouched[1], Snapshot(host.Product(2)));
}

}  // namespace
