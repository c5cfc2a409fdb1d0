// Engine update and engine rollback on a product tree of the host kit; the
// rollback stops and loads the tasks of a stand-in partition.
#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "EngineUpdate.h"
#include "HostKit.h"
#include "Procedures.h"

namespace fs = std::filesystem;
using namespace kvxtest;
using ::testing::Contains;

namespace {

// The instance the procedures work on, as the driver sets it up.
void Use(Host& host) {
  EnsureAccounts();
  g_lstKVXNIns.assign(1, KVXNInsInfo());
  g_lstKVXNIns[0].strProductPath = host.Product();
  if (host.instances[0].partitions) g_lstKVXNIns[0].vecParInfo = {host.Partition().Par()};
  g_iCurIns = 0;
  std::snprintf(g_szKVXPatch, sizeof g_szKVXPatch, "%s", host.Product().c_str());
  ClearDebugLog();
}

struct VersionCase {
  const char *name, *installed, *offered, *shown, *installs;  // "" installs nothing
};
// clang-format off
const VersionCase kVersions[] = {
    {"Equal", "V9.750.1001", "9.750.1001", "9.750.1001, new version:9.750.1001", ""},
    {"NewerMinorOlderBuild", "V9.750.1001", "9.751.1000", "9.750.1001, new version:9.751.1000", "V9.751.1000"},
    {"NewerBuild", "V9.750.1001", "9.750.1002", "9.750.1001, new version:9.750.1002", "V9.750.1002"},
    {"OlderMajorHigherRest", "V10.000.1000", "9.999.9999", "10.0.1000, new version:9.999.9999", ""},
    {"NewerMajorMinorPadded", "V9.999.9999", "10.0.1", "9.999.9999, new version:10.0.1", "V10.000.1"},
    {"ThirdOfFourIgnored", "V9.750.1001", "9.750.9999.1000", "9.750.1001, new version:9.750.1000", ""},
    {"DanglingLatest", "V9.750.1001", "9.750.1002", "9.750.1001, new version:9.750.1002", "V9.750.1002"}};
// clang-format on
class EngineUpdate : public ::testing::TestWithParam<VersionCase> {};

// Alder alone; in the last row every type in turn, each on its own (birch,
// offered too, is not installed), and alder's latest, whose target is gone,
// counts as absent and stays.
TEST_P(EngineUpdate, InstallsOnlyANewerVersionBesideTheOldAndRelinks) {
  const VersionCase& c = GetParam();
  InstanceSpec want;
  want.partitions = 0, want.engines = {std::string("alder/") + c.installed};
  Host host({want});
  PackageSpec offer;
  offer.engines = {{"alder", c.offered}, {"birch", "2.0.1"}};
  const std::string pkg = host.Package(offer), dir = host.Product() + "/engine/alder/";
  const std::string fresh = dir + (*c.installs ? c.installs : c.installed);
  WriteFile(pkg + "/engine/alder/pattern/p1.dat", "pattern");
  const bool dangling = std::string(c.name) == "DanglingLatest";
  if (dangling)
    fs::remove(dir + "latest"), fs::create_directory_symlink(dir + "V9.0.1", dir + "latest");
  Use(host);
  InstallInfo info;
  _PatchSetting setting;
  fs::current_path(pkg);
  EXPECT_EQ(0, dangling ? CheckAndUpdateEngine(&info, &setting)
                        : CheckAndUpdateEngineByType(kEngineAlder, &info, &setting));
  fs::current_path("/");
  // What is installed shows on disk; the log shows both versions as judged.
  const Lines log = DebugLogMessages();
  EXPECT_THAT(log, Contains("CheckAndUpdate: current version:" + std::string(c.shown) + "."));
  if (dangling) {  // every type in turn, the last one too, and none beyond
    EXPECT_EQ("CheckAndUpdate: can not find engine/dogwood from dir ", log.back());
  }
  EXPECT_EQ(dangling ? dir + "V9.0.1" : fresh, fs::read_symlink(dir + "latest").string());
  EXPECT_EQ(*c.installs ? "775 kvxgroup" : "", ModeGroup(fresh + "/pattern/p1.dat"));
  EXPECT_FALSE(fs::exists(host.Product() + "/engine/birch"));
}

KVX_TABLE(Versions, EngineUpdate, kVersions);

TEST(EngineUpdateArguments, UnknownTypesAndMissingArgumentsAreRefused) {
  InstallInfo info;
  _PatchSetting setting;
  ClearDebugLog();
  EXPECT_EQ(-1, CheckAndUpdateEngineByType(4, &info, &setting));
  EXPECT_EQ(-1, CheckAndUpdateEngineByType(-1, &info, &setting));
  EXPECT_EQ(-1, CheckAndUpdateEngineByType(0, nullptr, &setting));
  EXPECT_EQ((Lines{"Unknow engine type:4", "Unknow engine type:-1",
                   "CheckAndUpdate Input installInfo or patchInfo is NULL"}),
            DebugLogMessages());
}

// "/ue" pairs: in use (its case converted in place), the only version, a
// missing one, an older one, and a fifth beyond the four taken. The tasks stop
// before each removal and load once after all; then a word without its partner
// is left out: none removed, none loaded.
TEST(EngineRollback, RemovesNamedVersionsWithTheTasksStopped) {
  InstanceSpec want;
  want.engines = {"alder/V9.750.1001", "alder/V9.750.1002", "birch/V1.200.1009", "cedar/V2.000.1",
                  "cedar/V2.000.2"};
  Host host({want});
  host.StartTasks({"kvxreal", "kvxemf"});
  SimPartition& par = host.Partition();
  Use(host);
  Lines words = {"UPDSilent", "/ue",      "ALDER", "v9.750.1002", "birch", "V1.200.1009",
                 "cedar",     "V2.000.9", "cedar", "V2.000.1",    "alder", "V9.750.1001"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  EXPECT_EQ(2, RollbackEngine(static_cast<int>(argv.size()), argv.data()));
  EXPECT_EQ("alder", std::string(argv[2])) << "converted in place";
  const std::string e = host.Product() + "/engine/";
  const auto banner = [&e](const std::string& v, bool done) {  // before and after a removal
    return done ? "===================Rollback (" + e + v + ") successfully==================="
                : "======================Start rollback (" + e + v + ")===================";
  };
  const std::string missing = "Error: The engine folder doesn't exist. (" + e;
  EXPECT_EQ(
      (Lines{"argv[2] is ALDER, argv[3] is v9.750.1002", "argv[4] is birch, argv[5] is V1.200.1009",
             "argv[6] is cedar, argv[7] is V2.000.9", "argv[8] is cedar, argv[9] is V2.000.1",
             banner("alder/V9.750.1002", false), e + "alder folder num is 2", "All KVX quit.",
             "unlink " + e + "alder/V9.750.1002, return 0.",
             "Executed shell command ln -sfn " + e + "alder/V9.750.1001 " + e + "alder/latest",
             banner("alder/V9.750.1002", true), banner("birch/V1.200.1009", false),
             "Error: Only one version of this engine exist, can not rollback",
             banner("cedar/V2.000.9", false), missing + "cedar/V2.000.9)",
             banner("cedar/V2.000.1", false), e + "cedar folder num is 2", "All KVX quit.",
             "unlink " + e + "cedar/V2.000.1, return 0.", banner("cedar/V2.000.1", true)}),
      DebugLogMessages(true));
  EXPECT_EQ(e + "alder/V9.750.1001", fs::read_symlink(e + "alder/latest").string());
  EXPECT_EQ((Lines{"te kvxreal quit", "te kvxemf quit", "te kvxmon quit", "te kvxmon quit",
                   "load kvxemf", "load kvxsch", "load kvxmon", "load kvxreal", "load kvxcm"}),
            par.JournalCommands());
  EXPECT_EQ(::getgrnam("kvxgroup")->gr_gid, ::getgid()) << "tasks stopped as kvxgroup";
  par.ClearJournal();
  ClearDebugLog();
  EXPECT_EQ(0, RollbackEngine(5, argv.data()));
  EXPECT_EQ(0, RollbackEngine(3, argv.data()));
  EXPECT_EQ(0, RollbackEngine(4, nullptr));
  EXPECT_EQ((Lines{"argv[2] is alder, argv[3] is V9.750.1002", banner("alder/V9.750.1002", false),
                   missing + "alder/V9.750.1002)", "Input argc is 3", "Input argc is 4"}),
            DebugLogMessages(true));
  EXPECT_EQ(Lines{}, par.JournalCommands());
}

}  // namespace
