// The three task controls against the stand-in: for each state of the tasks,
// exactly the commands of the control table, in order, and the waits between.
#include <gtest/gtest.h>

#include <filesystem>

#include "control/DominoControl.h"
#include "control/FakeSleep.h"
#include "control/SimHarness.h"

namespace {

using Commands = std::vector<std::string>;

struct StateCase {
  const char* name;
  bool serverUp;
  std::vector<std::string> running;
  std::vector<std::string> stale;  // unlocked lock files left in kvxtemp
  Commands stop;
  Commands load;
  Commands restart;
  std::vector<int> restartSleeps;
};

const Commands kAllLoads = {"load kvxemf", "load kvxsch", "load kvxmon", "load kvxreal",
                            "load kvxcm"};

const StateCase kStates[] = {
    {"NothingRuns", true, {}, {}, {"te kvxmon quit"}, kAllLoads, kAllLoads, {}},
    {"OnlyStaleLockFiles",
     true,
     {},
     {"kvxreal{1}", "kvxdtas{2}", "KVXCM{3}"},
     {"te kvxmon quit"},
     kAllLoads,
     kAllLoads,
     {}},
    {"AllRun",
     true,
     {"kvxreal", "kvxemf", "kvxmon", "kvxsch", "kvxcm", "kvxupd", "kvxsupp", "kvxdbs", "kvxdtas"},
     {},
     {"te kvxreal quit", "te kvxdbs quit", "te kvxdtas quit", "te kvxemf quit", "te kvxsch quit",
      "te kvxcm quit", "te kvxmon quit"},
     {"load kvxmon"},
     {"te kvxemf quit", "load kvxemf", "te kvxsch quit", "load kvxsch", "te kvxmon quit",
      "load kvxmon", "te kvxreal quit", "load kvxreal", "restart task kvxcm", "te kvxdtas quit",
      "load kvxdtas"},
     {2, 2, 2, 5, 2}},
    {"RealAndDtas",
     true,
     {"kvxreal", "kvxdtas"},
     {},
     {"te kvxreal quit", "te kvxdtas quit", "te kvxmon quit"},
     {"load kvxemf", "load kvxsch", "load kvxmon", "load kvxcm"},
     {"load kvxemf", "load kvxsch", "load kvxmon", "te kvxreal quit", "load kvxreal", "load kvxcm",
      "te kvxdtas quit", "load kvxdtas"},
     {5, 2}},
    {"MonCmDbs",
     true,
     {"kvxmon", "kvxcm", "kvxdbs"},
     {},
     {"te kvxdbs quit", "te kvxcm quit", "te kvxmon quit"},
     {"load kvxemf", "load kvxsch", "load kvxmon", "load kvxreal"},
     {"load kvxemf", "load kvxsch", "te kvxmon quit", "load kvxmon", "load kvxreal",
      "restart task kvxcm"},
     {2}},
    {"UntouchedTasksOnly",
     true,
     {"kvxupd", "kvxsupp"},
     {},
     {"te kvxmon quit"},
     kAllLoads,
     kAllLoads,
     {}},
    {"ServerDown", false, {}, {}, {}, {}, {}, {}},
};

class TaskControl : public ::testing::TestWithParam<StateCase> {
 protected:
  void SetUp() override {
    if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs root in the sandbox";
    kvxtest::EnsureAccounts();
    part_ = std::make_unique<kvxtest::SimPartition>(tree_, "p1");
    part_->Start();
  }

  // Brings the partition to the case's state and runs one control on it.
  Commands Run(ParInfoCallback control) {
    const StateCase& c = GetParam();
    part_->Start();  // a no-op when it runs; "quit" may have ended it
    part_->SetRunning(c.running);
    for (const std::string& name : c.stale)
      kvxtest::WriteFile(part_->dataDir + "/kvxtemp/" + name, "");
    if (!c.serverUp) part_->Stop();
    part_->ClearJournal();
    kvxtest::ClearDebugLog();
    FakeSleepCalls().clear();
    KVXNParInfo par = part_->Par();
    EXPECT_EQ(1, control(&par, nullptr));
    for (const auto& e : part_->Journal()) EXPECT_EQ(kvxtest::ServerUid(), e.uid) << e.command;
    return part_->JournalCommands();
  }

  kvxtest::TempTree tree_;
  std::unique_ptr<kvxtest::SimPartition> part_;
};

TEST_P(TaskControl, StopSendsTheTableCommands) {
  EXPECT_EQ(GetParam().stop, Run(StopAllKVX));
  EXPECT_TRUE(FakeSleepCalls().empty()) << "stopping does not wait";
}

TEST_P(TaskControl, LoadSendsTheTableCommands) { EXPECT_EQ(GetParam().load, Run(LoadAllKVX)); }

TEST_P(TaskControl, RestartSendsTheTableCommands) {
  EXPECT_EQ(GetParam().restart, Run(RestartAllKVX));
  EXPECT_EQ(GetParam().restartSleeps, FakeSleepCalls());
  const std::vector<std::string> log = kvxtest::DebugLogMessages();
  const bool saysDown = std::find(log.begin(), log.end(), "Domino isnot running now.") != log.end();
  EXPECT_EQ(!GetParam().serverUp, saysDown);
}

INSTANTIATE_TEST_SUITE_P(States, TaskControl, ::testing::ValuesIn(kStates),
                         [](const auto& i) { return std::string(i.param.name); });

// A task that ignores "quit" gets 122 end commands and 120 dots, then is
// loaded anyway.
struct StubbornCase {
  const char* task;
  int seconds;
  Commands before;  // what the restart sends before the end commands
  Commands after;
};

const StubbornCase kStubborn[] = {
    {"kvxreal", 5, {"load kvxemf", "load kvxsch", "load kvxmon"}, {"load kvxreal", "load kvxcm"}},
    {"kvxdtas",
     2,
     {"load kvxemf", "load kvxsch", "load kvxmon", "load kvxreal", "load kvxcm"},
     {"load kvxdtas"}},
};

class StubbornTask : public ::testing::TestWithParam<StubbornCase> {};

TEST_P(StubbornTask, RestartGivesUpAfter122EndCommands) {
  if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs root in the sandbox";
  const StubbornCase& c = GetParam();
  kvxtest::EnsureAccounts();
  kvxtest::TempTree tree;
  kvxtest::SimPartition part(tree, "p1");
  part.Start();
  part.Domsim("behave", std::string(c.task) + " never");
  part.SetRunning({c.task});
  part.ClearJournal();
  FakeSleepCalls().clear();
  KVXNParInfo par = part.Par();

  ::testing::internal::CaptureStdout();
  RestartAllKVX(&par, nullptr);
  const std::string out = ::testing::internal::GetCapturedStdout();

  Commands expected = c.before;
  expected.insert(expected.end(), 122, "te " + std::string(c.task) + " quit");
  expected.insert(expected.end(), c.after.begin(), c.after.end());
  EXPECT_EQ(expected, part.JournalCommands());
  EXPECT_EQ(std::string(120, '.'), out);
  EXPECT_EQ(std::vector<int>(122, c.seconds), FakeSleepCalls());
}

INSTANTIATE_TEST_SUITE_P(Tasks, StubbornTask, ::testing::ValuesIn(kStubborn),
                         [](const auto& i) { return std::string(i.param.task); });

}  // namespace
