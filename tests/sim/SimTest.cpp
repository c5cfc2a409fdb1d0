// The Domino stand-in itself, driven through domsim and its server program.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "control/SimHarness.h"

namespace fs = std::filesystem;
using kvxtest::RunCommand;

namespace {

class DominoStandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs root in the sandbox";
    kvxtest::EnsureAccounts();
    part_ = std::make_unique<kvxtest::SimPartition>(tree_, "p1");
  }

  std::vector<std::string> TaskLockFiles() const {
    std::vector<std::string> names;
    if (fs::exists(part_->dataDir + "/kvxtemp"))
      for (const auto& e : fs::directory_iterator(part_->dataDir + "/kvxtemp"))
        names.push_back(e.path().filename().string());
    return names;
  }

  kvxtest::TempTree tree_;
  std::unique_ptr<kvxtest::SimPartition> part_;
};

TEST_F(DominoStandIn, StartLoadEndJournalStop) {
  EXPECT_TRUE(fs::exists(part_->binDir + "/server"));
  EXPECT_TRUE(fs::exists(part_->binDir + "/kvxdtas"));
  part_->Start();
  EXPECT_TRUE(part_->ServerRuns());
  EXPECT_NE(0, RunCommand(kvxtest::Domsim() + " start " + part_->notesIni).exitStatus)
      << "one server per data folder";

  EXPECT_NE(std::string::npos, part_->Send("load kvxreal").find("Task kvxreal loaded"));
  const std::vector<std::string> files = TaskLockFiles();
  ASSERT_EQ(1u, files.size());
  EXPECT_EQ(0u, files[0].rfind("kvxreal{", 0)) << files[0];
  EXPECT_EQ(std::vector<std::string>{"kvxreal"}, part_->RunningTasks());

  part_->Send("te kvxreal quit");  // answers once the task has ended
  EXPECT_TRUE(part_->RunningTasks().empty());
  EXPECT_TRUE(TaskLockFiles().empty());

  const std::vector<kvxtest::JournalEntry> journal = part_->Journal();
  ASSERT_EQ(2u, journal.size());
  EXPECT_EQ("load kvxreal", journal[0].command);
  EXPECT_EQ("te kvxreal quit", journal[1].command);
  EXPECT_EQ(kvxtest::ServerUid(), journal[1].uid);

  part_->Send("load kvxemf");
  part_->Stop();
  EXPECT_FALSE(part_->ServerRuns());
  EXPECT_TRUE(TaskLockFiles().empty()) << "its tasks end with the server";
  EXPECT_EQ(3u, part_->Journal().size()) << "stopping is not a console command";
}

TEST_F(DominoStandIn, ServerProgramFailsWithoutServer) {
  const std::string call = "LD_LIBRARY_PATH=" + part_->binDir + " " + part_->binDir +
                           "/server =" + part_->notesIni + " -c \"load kvxreal\"";
  kvxtest::CommandResult r = RunCommand(call);
  EXPECT_EQ(1, r.exitStatus);
  EXPECT_NE(std::string::npos, r.output.find("no server is running")) << r.output;

  part_->Start();
  r = RunCommand(part_->binDir + "/server =" + part_->notesIni + " -c \"load kvxreal\"");
  EXPECT_EQ(1, r.exitStatus) << "the program folder must be the library path";
  EXPECT_TRUE(part_->Journal().empty());
}

TEST_F(DominoStandIn, TaskBehaviourOnQuit) {
  part_->Start();
  part_->Domsim("behave", "kvxemf never");
  part_->Domsim("behave", "kvxsch after 1");
  part_->SetRunning({"kvxemf", "kvxsch", "kvxmon"});
  part_->Send("te kvxemf quit");
  part_->Send("te kvxsch quit");
  part_->Send("te kvxmon quit");
  EXPECT_EQ((std::vector<std::string>{"kvxemf", "kvxsch"}), part_->RunningTasks());
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(std::vector<std::string>{"kvxemf"}, part_->RunningTasks());

  EXPECT_NE(std::string::npos, part_->Send("load kvxemf").find("already running"));
  EXPECT_EQ(std::vector<std::string>{"kvxemf"}, part_->RunningTasks());
}

TEST_F(DominoStandIn, RestartTaskLoadsItAgain) {
  part_->Start();
  part_->SetRunning({"kvxcm"});
  const std::string before = kvxtest::ReadFile(part_->dataDir + "/domsim/tasks");
  part_->Send("restart task kvxcm");
  const std::string after = kvxtest::ReadFile(part_->dataDir + "/domsim/tasks");
  EXPECT_EQ(std::vector<std::string>{"kvxcm"}, part_->RunningTasks());
  EXPECT_NE(before, after) << "a new process";
}

// A task maps the listed libraries; a library renamed aside and replaced
// stays mapped in the running task, and a new task maps the new one.
TEST_F(DominoStandIn, TasksKeepTheirLibrariesMapped) {
  const std::string lib = tree_ / "product/program/latest/libkvxscan.so";
  kvxtest::WriteFile(lib, "old library");
  fs::permissions(tree_ / "product", fs::perms(0755));
  part_->Domsim("libs", lib);
  part_->Start();
  part_->Send("load kvxreal");
  const std::string list = kvxtest::ReadFile(part_->dataDir + "/domsim/tasks");
  const std::string taskPid = list.substr(0, list.find(' '));

  fs::rename(lib, lib + "_1");
  kvxtest::WriteFile(lib, "new library!");
  const std::string maps = kvxtest::ReadFile("/proc/" + taskPid + "/maps");
  EXPECT_NE(std::string::npos, maps.find(lib + "_1")) << maps;

  fs::remove(lib);
  const std::string answer =
      RunCommand("setpriv --reuid=" + std::to_string(kvxtest::ServerUid()) +
                 " env LD_LIBRARY_PATH=" + part_->binDir + " " + part_->binDir +
                 "/server =" + part_->notesIni + " -c 'load kvxemf'")
          .output;
  EXPECT_NE(std::string::npos, answer.find("cannot open library")) << answer;
}

}  // namespace
