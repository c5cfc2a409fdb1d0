// Server and task state as read from record locks held by other processes.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "control/DominoControl.h"
#include "control/SimHarness.h"

namespace fs = std::filesystem;
using kvxtest::LockHolder;

namespace {

enum class Lock { kNone, kWholeWrite, kPartRead };

struct TaskLockCase {
  const char* name;
  const char* entry;  // file in kvxtemp
  Lock lock;
  const char* task;
  int expected;
};

const TaskLockCase kTaskLocks[] = {
    {"ExactName", "kvxreal{1}", Lock::kWholeWrite, "kvxreal", 1},
    {"UpperCaseEntry", "KVXREAL{1}", Lock::kWholeWrite, "kvxreal", 1},
    {"MixedCaseEntry", "KvxDbs{x.lck", Lock::kWholeWrite, "kvxdbs", 1},
    {"NothingAfterBrace", "kvxdbs{", Lock::kWholeWrite, "kvxdbs", 1},
    {"ReadLockOnPart", "kvxemf{9}", Lock::kPartRead, "kvxemf", 1},
    {"LongerName", "kvxrealx{1}", Lock::kWholeWrite, "kvxreal", 0},
    {"NoBrace", "kvxreal", Lock::kWholeWrite, "kvxreal", 0},
    {"BraceNotNext", "kvxreal_{1}", Lock::kWholeWrite, "kvxreal", 0},
    {"DtasIsNotDbs", "kvxdtas{1}", Lock::kWholeWrite, "kvxdbs", 0},
    {"DbsIsNotDtas", "kvxdbs{1}", Lock::kWholeWrite, "kvxdtas", 0},
    {"ShorterName", "kvxrea{1}", Lock::kWholeWrite, "kvxreal", 0},
    {"Unlocked", "kvxreal{1}", Lock::kNone, "kvxreal", 0},
};

class TaskLockFile : public ::testing::TestWithParam<TaskLockCase> {};

TEST_P(TaskLockFile, CountsOnlyLockedEntriesNamedTaskBrace) {
  const TaskLockCase& c = GetParam();
  kvxtest::TempTree tree;
  const std::string data = tree / "data";
  // Neighbours that must not count: an unlocked match and a locked other task.
  kvxtest::WriteFile(data + "/kvxtemp/" + c.task + "{stale}.old", "");
  LockHolder other(data + "/kvxtemp/kvxsupp{2}", F_WRLCK);
  const std::string path = data + "/kvxtemp/" + c.entry;
  kvxtest::WriteFile(path, "0123456789abcdef");
  std::unique_ptr<LockHolder> holder;
  if (c.lock == Lock::kWholeWrite) holder = std::make_unique<LockHolder>(path, F_WRLCK);
  if (c.lock == Lock::kPartRead) holder = std::make_unique<LockHolder>(path, F_RDLCK, 5, 3);

  EXPECT_EQ(c.expected, IsKVXRun(data.c_str(), c.task));
  EXPECT_EQ(c.lock == Lock::kNone ? 0 : 1, isFileLocked(path.c_str()));
}

INSTANTIATE_TEST_SUITE_P(Names, TaskLockFile, ::testing::ValuesIn(kTaskLocks),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(TaskLockFile, NoKvxtempFolderMeansNothingRuns) {
  kvxtest::TempTree tree;
  EXPECT_EQ(0, IsKVXRun(tree.path().c_str(), "kvxreal"));
  EXPECT_EQ(0, isFileLocked((tree / "missing").c_str()));
}

struct ServerLockCase {
  const char* name;
  bool create;
  bool lock;
  int expected;
  const char* word;
};

const ServerLockCase kServerLocks[] = {
    {"Missing", false, false, 0, "not locked"},
    {"Unlocked", true, false, 0, "not locked"},
    {"Locked", true, true, 1, "locked"},
};

class ServerLockFile : public ::testing::TestWithParam<ServerLockCase> {};

TEST_P(ServerLockFile, ReportsAndLogsTheLockState) {
  const ServerLockCase& c = GetParam();
  kvxtest::TempTree tree;
  const std::string lock = tree / "~notes.lck";
  if (c.create) kvxtest::WriteFile(lock, "");
  std::unique_ptr<LockHolder> holder;
  if (c.lock) holder = std::make_unique<LockHolder>(lock, F_WRLCK);
  kvxtest::ClearDebugLog();
  KVXNParInfo par{tree.path(), tree / "bin", tree / "notes.ini"};

  EXPECT_EQ(c.expected, isDominoServerRunning(&par, nullptr));
  EXPECT_EQ(std::vector<std::string>{"The server's file lock '" + lock + "' is " + c.word + "!"},
            kvxtest::DebugLogMessages());
}

INSTANTIATE_TEST_SUITE_P(States, ServerLockFile, ::testing::ValuesIn(kServerLocks),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(ServerLockFile, PathIsCutAt510Characters) {
  kvxtest::ClearDebugLog();
  KVXNParInfo par{"/" + std::string(600, 'd'), "", ""};
  EXPECT_EQ(0, isDominoServerRunning(&par, nullptr));
  const std::string expected =
      "The server's file lock '" + par.strDataDir.substr(0, 510) + "' is not locked!";
  EXPECT_EQ(std::vector<std::string>{expected}, kvxtest::DebugLogMessages());
}

// Two partitions of the stand-in; only kvxreal, kvxdbs and kvxupd count.
TEST(RunningTaskCount, AddsOverPartitionsWithoutReset) {
  if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs root in the sandbox";
  kvxtest::EnsureAccounts();
  kvxtest::TempTree tree;
  kvxtest::SimPartition one(tree, "p1");
  kvxtest::SimPartition two(tree, "p2");
  one.Start();
  two.Start();
  one.SetRunning({"kvxreal", "kvxdbs", "kvxupd", "kvxemf", "kvxdtas", "kvxmon"});
  two.SetRunning({"kvxreal"});
  KVXNParInfo p1 = one.Par();
  KVXNParInfo p2 = two.Par();

  std::uint32_t counter = 0;
  EXPECT_EQ(1, GetRunningKVXNum(&p1, &counter));
  EXPECT_EQ(1, GetRunningKVXNum(&p2, &counter));
  EXPECT_EQ(4u, counter);
  GetRunningKVXNum(&p2, &counter);
  EXPECT_EQ(5u, counter) << "it only adds; the caller resets";

  two.Stop();
  counter = 0;
  GetRunningKVXNum(&p2, &counter);
  EXPECT_EQ(0u, counter) << "a stopped server's tasks no longer count";
}

}  // namespace
