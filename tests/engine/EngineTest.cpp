// Engine update and engine rollback on a product tree of the host kit; the
// rollback stops and loads the tasks of a stand-in partition, its ten-second
// polls go to the fake sleep.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "control/FakeSleep.h"
#include "driver/Procedures.h"
#include "install/EngineUpdate.h"
#include "support/HostKit.h"

namespace fs = std::filesystem;
using namespace kvxtest;
using Lines = std::vector<std::string>;

namespace {

// The instance the procedures work on, as the driver sets it up.
void Use(Host& host, bool partition) {
  g_lstKVXNIns.assign(1, KVXNInsInfo());
  g_lstKVXNIns[0].strProductPath = host.Product();
  if (partition) g_lstKVXNIns[0].vecParInfo = {host.Partition().Par()};
  g_iCurIns = 0;
  EnsureAccounts();
  std::snprintf(g_szKVXPatch, sizeof g_szKVXPatch, "%s", host.Product().c_str());
  ClearDebugLog();
  FakeSleepCalls().clear();
}

// Run in the package folder, as the update does; kAll runs every type.
constexpr int kAll = 100;
int Update(const std::string& package, int type, bool info = true, bool setting = true) {
  InstallInfo i;
  _PatchSetting s;
  const fs::path back = fs::current_path();
  fs::current_path(package);
  const int r = type == kAll
                    ? CheckAndUpdateEngine(&i, &s)
                    : CheckAndUpdateEngineByType(type, info ? &i : nullptr, setting ? &s : nullptr);
  fs::current_path(back);
  return r;
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
    {"NewerMajor", "V9.999.9999", "10.0.1", "9.999.9999, new version:10.0.1", "V10.000.1"},
    {"MinorPadded", "V9.004.1001", "9.5.1001", "9.4.1001, new version:9.5.1001", "V9.005.1001"},
    {"ThirdOfFourIgnored", "V9.750.1001", "9.750.9999.1000", "9.750.1001, new version:9.750.1000", ""},
    {"OlderBuild", "V9.750.1001", "9.750.1000", "9.750.1001, new version:9.750.1000", ""}};
// clang-format on
class EngineUpdate : public ::testing::TestWithParam<VersionCase> {};

TEST_P(EngineUpdate, InstallsOnlyANewerVersionBesideTheOldAndRelinks) {
  const VersionCase& c = GetParam();
  InstanceSpec want;
  want.partitions = 0, want.engines = {std::string("alder/") + c.installed};
  Host host({want});
  PackageSpec offer;
  offer.engines = {{"alder", c.offered}};
  const std::string pkg = host.Package(offer), dir = host.Product() + "/engine/alder/";
  WriteFile(pkg + "/engine/alder/pattern/p1.dat", "pattern");
  Use(host, false);
  const std::string before = Snapshot(dir + c.installed);
  EXPECT_EQ(0, Update(pkg, kEngineAlder));
  Lines expected = {
      "CheckAndUpdate engine/alder, latest path:" + dir + c.installed,
      "File ./engine/alder/version.txt content is Version: " + std::string(c.offered) + ".",
      "CheckAndUpdate: current version:" + std::string(c.shown) + "."};
  const std::string fresh = dir + (*c.installs ? c.installs : c.installed);
  if (!*c.installs) expected.push_back("CheckAndUpdate: no need to update.");
  if (*c.installs)
    expected.insert(expected.end(),
                    {"Copy folder ./engine/alder/* to " + fresh + "/, errno: 0",
                     "Executed shell command rm " + dir + "latest",
                     "Executed shell command ln -s " + fresh + " " + dir + "latest"});
  EXPECT_EQ(expected, DebugLogMessages());
  EXPECT_EQ(fresh, fs::read_symlink(dir + "latest").string());
  EXPECT_EQ(before, Snapshot(dir + c.installed)) << "the old version stays for a rollback";
  EXPECT_EQ(*c.installs ? "pattern" : "", ReadFile(fresh + "/pattern/p1.dat"));
  EXPECT_EQ(*c.installs ? "775 kvxgroup" : "", ModeGroup(fresh + "/pattern/p1.dat"));
}

INSTANTIATE_TEST_SUITE_P(Versions, EngineUpdate, ::testing::ValuesIn(kVersions),
                         [](const auto& i) { return std::string(i.param.name); });

// Each type stands alone: birch is not installed, cedar's package has no
// version.txt, dogwood is newer; a dangling latest is left, so is the link.
TEST(EngineUpdateAll, EveryTypeWhateverTheOthersGiveAndDanglingLatestStays) {
  InstanceSpec want;
  want.partitions = 0, want.engines = {"alder/V9.750.1001", "cedar/V1.000.1", "dogwood/V3.010.5"};
  Host host({want});
  PackageSpec offer;
  offer.engines = {{"alder", "9.750.1002"}, {"birch", "2.0.1"}, {"dogwood", "3.10.6"}};
  const std::string pkg = host.Package(offer), e = host.Product() + "/engine/";
  fs::create_directories(pkg + "/engine/cedar");
  fs::remove(e + "alder/latest");
  fs::create_directory_symlink(e + "alder/V9.000.1", e + "alder/latest");
  Use(host, false);
  EXPECT_EQ(0, Update(pkg, kAll));
  const Lines expected = {
      "CheckAndUpdate engine/alder, latest path:" + e + "alder/V9.750.1001",
      "File ./engine/alder/version.txt content is Version: 9.750.1002.",
      "CheckAndUpdate: current version:9.750.1001, new version:9.750.1002.",
      "Copy folder ./engine/alder/* to " + e + "alder/V9.750.1002/, errno: 0",
      e + "alder/latest not exist",
      "Executed shell command ln -s " + e + "alder/V9.750.1002 " + e + "alder/latest",
      "CheckAndUpdate engine/birch, latest path:",
      "CheckAndUpdate: can not find engine/birch from dir ",
      "CheckAndUpdate engine/cedar, latest path:" + e + "cedar/V1.000.1",
      "Can not open file ./engine/cedar/version.txt.",
      "CheckAndUpdate engine/dogwood, latest path:" + e + "dogwood/V3.010.5",
      "File ./engine/dogwood/version.txt content is Version: 3.10.6.",
      "CheckAndUpdate: current version:3.10.5, new version:3.10.6.",
      "Copy folder ./engine/dogwood/* to " + e + "dogwood/V3.010.6/, errno: 0",
      "Executed shell command rm " + e + "dogwood/latest",
      "Executed shell command ln -s " + e + "dogwood/V3.010.6 " + e + "dogwood/latest"};
  EXPECT_EQ(expected, DebugLogMessages());
  EXPECT_FALSE(fs::exists(e + "birch")) << "an update never installs a new engine";
  EXPECT_EQ(e + "alder/V9.000.1", fs::read_symlink(e + "alder/latest").string());
  ClearDebugLog();
  for (int type : {4, -1}) EXPECT_EQ(-1, Update(pkg, type));
  EXPECT_EQ(-1, Update(pkg, 9, false, true));
  EXPECT_EQ(-1, Update(pkg, 0, true, false));
  EXPECT_EQ((Lines{"Unknow engine type:4", "Unknow engine type:-1",
                   "CheckAndUpdate Input installInfo or patchInfo is NULL",
                   "CheckAndUpdate Input installInfo or patchInfo is NULL"}),
            DebugLogMessages());
}

// Words after "/ue", engine folders (the last of a name is latest), a task that
// never quits; then the log (@ the product's engine folder, "Start x" and
// "Done x" the banners, "a|b*n" a and b n times), latest, commands and count.
struct RollbackCase {
  const char* name;
  Lines words, engines;
  const char* never;
  Lines log;
  const char* latest;
  Lines commands;
  int removed;
};
const Lines kTwoAlders = {"alder/V9.750.1001", "alder/V9.750.1002", "birch/V1.200.1009"};
const Lines kStop = {"te kvxreal quit|te kvxemf quit|te kvxmon quit"};
// clang-format off
const RollbackCase kRollbacks[] = {
    {"InUse", {"ALDER", "v9.750.1002"}, kTwoAlders, "",
     {"argv[2] is ALDER, argv[3] is v9.750.1002", "Start @/alder/V9.750.1002", "@/alder folder num is 2",
      "All KVX quit.", "unlink @/alder/V9.750.1002, return 0.",
      "Executed shell command ln -sfn @/alder/V9.750.1001 @/alder/latest", "Done @/alder/V9.750.1002"},
     "alder/V9.750.1001", kStop, 1},
    {"Older", {"alder", "V9.750.1001"}, kTwoAlders, "",
     {"argv[2] is alder, argv[3] is V9.750.1001", "Start @/alder/V9.750.1001", "@/alder folder num is 2",
      "All KVX quit.", "unlink @/alder/V9.750.1001, return 0.", "Done @/alder/V9.750.1001"},
     "alder/V9.750.1002", kStop, 1},
    {"MissingVersion", {"alder", "V9.750.1003"}, kTwoAlders, "",
     {"argv[2] is alder, argv[3] is V9.750.1003", "Start @/alder/V9.750.1003",
      "Error: The engine folder doesn't exist. (@/alder/V9.750.1003)"}, "alder/V9.750.1002", {}, 0},
    {"OnlyVersion", {"birch", "V1.200.1009"}, kTwoAlders, "",
     {"argv[2] is birch, argv[3] is V1.200.1009", "Start @/birch/V1.200.1009",
      "Error: Only one version of this engine exist, can not rollback"}, "birch/V1.200.1009", {}, 0},
    {"FourPairsAtMost", {"cedar", "V2.000.1", "dogwood", "V3.000.1", "alder", "V1", "cedar", "V2.000.3",
     "CEDAR", "v2.000.2"}, {"cedar/V2.000.1", "cedar/V2.000.2", "dogwood/V3.000.1", "dogwood/V3.000.2",
     "cedar/V2.000.3"}, "", {}, "cedar/V2.000.2", {"te kvxreal quit|te kvxemf quit|te kvxmon quit*1",
     "te kvxmon quit*2"}, 3},
    {"NeverQuits", {"alder", "V9.750.1001"}, kTwoAlders, "kvxreal",
     {"argv[2] is alder, argv[3] is V9.750.1001", "Start @/alder/V9.750.1001", "@/alder folder num is 2",
      "Waiting for terminating all KVX. 1 KVX is running*10",
      "Has try 10 times to stop KVX, but still failed, so give up."},
     "alder/V9.750.1002", {"te kvxreal quit|te kvxemf quit|te kvxmon quit", "te kvxreal quit|te kvxmon quit*10",
     "load kvxemf|load kvxsch|load kvxmon|load kvxcm"}, 0}};
// clang-format on
class EngineRollback : public ::testing::TestWithParam<RollbackCase> {};

Lines Expand(const Lines& lines, const std::string& e) {
  Lines out;
  for (std::string line : lines) {
    for (size_t at; (at = line.find('@')) != std::string::npos;) line.replace(at, 1, e);
    if (line.rfind("Start ", 0) == 0)
      line = "======================Start rollback (" + line.substr(6) + ")===================";
    if (line.rfind("Done ", 0) == 0)
      line = "===================Rollback (" + line.substr(5) + ") successfully===================";
    const size_t star = line.find('*');
    for (int n = star == std::string::npos ? 1 : std::stoi(line.substr(star + 1)); n > 0; --n) {
      std::istringstream group(line.substr(0, star));
      for (std::string one; std::getline(group, one, '|');) out.push_back(one);
    }
  }
  return out;
}

TEST_P(EngineRollback, RemovesNamedVersionsWithTheTasksStopped) {
  if (!InSandbox()) GTEST_SKIP() << "needs root in the sandbox";
  const RollbackCase& c = GetParam();
  InstanceSpec want;
  want.engines = c.engines;
  Host host({want});
  SimPartition& par = host.Partition();
  if (*c.never) par.Domsim("behave", std::string(c.never) + " never");
  par.Start();
  par.SetRunning({"kvxreal", "kvxemf"});
  par.ClearJournal();
  Use(host, true);
  std::vector<std::string> words = {"UPDSilent", "/ue"};
  words.insert(words.end(), c.words.begin(), c.words.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  EXPECT_EQ(c.removed, RollbackEngine(static_cast<int>(argv.size()), argv.data()));
  const std::string e = host.Product() + "/engine";
  if (!c.log.empty()) {
    EXPECT_EQ(Expand(c.log, e), DebugLogMessages(true));
  }
  const std::string latest = c.latest, engine = latest.substr(0, latest.find('/'));
  EXPECT_EQ(e + "/" + latest, fs::read_symlink(e + "/" + engine + "/latest").string());
  Lines commands = c.commands;
  if (c.removed) commands.push_back("load kvxemf|load kvxsch|load kvxmon|load kvxreal|load kvxcm");
  EXPECT_EQ(Expand(commands, e), par.JournalCommands()) << "stopped for each pair, loaded once";
  EXPECT_EQ(std::vector<int>(*c.never ? 10 : 0, 10), FakeSleepCalls());
  EXPECT_TRUE(c.words[0] != "ALDER" || std::string(argv[2]) == "alder") << "converted in place";
  EXPECT_TRUE(c.commands.empty() || ::getgid() == KvxGroupGid()) << "tasks stopped as kvxgroup";
}

INSTANTIATE_TEST_SUITE_P(Pairs, EngineRollback, ::testing::ValuesIn(kRollbacks),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(EngineRollbackWords, TooFewDoNothing) {
  ClearDebugLog();
  EXPECT_EQ(0, RollbackEngine(3, nullptr) + RollbackEngine(4, nullptr));
  EXPECT_EQ((Lines{"Input argc is 3", "Input argc is 4"}), DebugLogMessages());
}

}  // namespace
