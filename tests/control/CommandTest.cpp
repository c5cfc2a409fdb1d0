// Console commands reach the partition's server from its notes.ini owner,
// byte for byte, and the working folder always comes back.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "control/DominoControl.h"
#include "control/SimHarness.h"

namespace fs = std::filesystem;

namespace {

class DominoCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs root in the sandbox";
    kvxtest::EnsureAccounts();
    part_ = std::make_unique<kvxtest::SimPartition>(tree_, "p1");
    part_->Start();
    part_->ClearJournal();
    kvxtest::ClearDebugLog();
    // The child logs after it has become the server user.
    kvxtest::WriteFile(kvxtest::DebugLogPath(), "");
    fs::permissions(kvxtest::DebugLogPath(), fs::perms(0666));
    startDir_ = fs::current_path();
    fs::create_directories(tree_ / "elsewhere");
    fs::current_path(tree_ / "elsewhere");
  }
  void TearDown() override {
    if (!startDir_.empty()) fs::current_path(startDir_);
  }

  kvxtest::TempTree tree_;
  std::unique_ptr<kvxtest::SimPartition> part_;
  fs::path startDir_;
};

// The double space shows the command reaches the server as one argument.
TEST_F(DominoCommand, ArrivesFromTheOwnerAsOneArgument) {
  RunDominoCommand(part_->notesIni.c_str(), part_->binDir.c_str(), "load kvxreal");
  RunDominoCommand(part_->notesIni.c_str(), part_->binDir.c_str(), "show  tasks");

  const std::vector<kvxtest::JournalEntry> journal = part_->Journal();
  ASSERT_EQ(2u, journal.size());
  EXPECT_EQ("load kvxreal", journal[0].command);
  EXPECT_EQ("show  tasks", journal[1].command);
  for (const auto& e : journal) EXPECT_EQ(kvxtest::ServerUid(), e.uid);
  EXPECT_EQ(std::vector<std::string>{"kvxreal"}, part_->RunningTasks());
  EXPECT_EQ(tree_ / "elsewhere", fs::current_path().string());

  const std::string uid = std::to_string(kvxtest::ServerUid());
  const std::string line = "LD_LIBRARY_PATH=" + part_->binDir + " " + part_->binDir +
                           "/server =" + part_->notesIni + " -c \"load kvxreal\"";
  const std::vector<std::string> expected = {
      "Submit command '" + line + "' to restart the KVX",
      "szNotesIniFiles: " + part_->notesIni,
      "stat: over, uid is: " + uid,
      "setuid over: " + uid,
  };
  const std::vector<std::string> log = kvxtest::DebugLogMessages();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(expected, std::vector<std::string>(log.begin(), log.begin() + 4));
}

TEST_F(DominoCommand, MissingNotesIniSendsNothing) {
  const std::string missing = tree_ / "nowhere/notes.ini";
  RunDominoCommand(missing.c_str(), part_->binDir.c_str(), "load kvxreal");

  EXPECT_TRUE(part_->Journal().empty());
  const std::vector<std::string> log = kvxtest::DebugLogMessages();
  ASSERT_EQ(3u, log.size());
  EXPECT_EQ("szNotesIniFiles: " + missing, log[1]);
  EXPECT_EQ("Cannot get the fstat for file '" + missing + "'.", log[2]);
  EXPECT_EQ(tree_ / "elsewhere", fs::current_path().string());
}

TEST_F(DominoCommand, ForkFailureIsLoggedAndTheFolderRestored) {
  // Root is exempt from RLIMIT_NPROC, so a child becomes the server user
  // (keeping root as saved uid) with a process limit of 0.
  const uid_t uid = kvxtest::ServerUid();
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const rlimit none{0, 0};
    if (::setresuid(uid, uid, 0) != 0 || ::setrlimit(RLIMIT_NPROC, &none) != 0) ::_exit(2);
    RunDominoCommand(part_->notesIni.c_str(), part_->binDir.c_str(), "load kvxreal");
    ::_exit(fs::current_path() == fs::path(tree_ / "elsewhere") ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status)) << "2: setup failed, 3: folder not restored";

  EXPECT_TRUE(part_->Journal().empty());
  const std::vector<std::string> log = kvxtest::DebugLogMessages();
  ASSERT_EQ(2u, log.size());
  EXPECT_EQ("Run domino command fork error. 11", log[1]);  // EAGAIN
}

TEST_F(DominoCommand, ServerNotRunningLeavesTheToolGoingOn) {
  part_->Stop();
  RunDominoCommand(part_->notesIni.c_str(), part_->binDir.c_str(), "load kvxreal");
  EXPECT_TRUE(part_->Journal().empty());
  EXPECT_EQ(tree_ / "elsewhere", fs::current_path().string());
}

TEST_F(DominoCommand, StopAllDominoServerSendsQuit) {
  KVXNParInfo par = part_->Par();
  EXPECT_EQ(1, StopAllDominoServer(&par, nullptr));
  EXPECT_EQ(std::vector<std::string>{"quit"}, part_->JournalCommands());
  const std::string line = "LD_LIBRARY_PATH=" + part_->binDir + " " + part_->binDir +
                           "/server =" + part_->notesIni + " -c \"quit\"";
  EXPECT_EQ("Submit command '" + line + "' to stop the sever", kvxtest::DebugLogMessages().at(0));
  EXPECT_EQ(0, isDominoServerRunning(&par, nullptr)) << "the stand-in ends on quit";
}

// Runs body in a child and returns its exit status.
template <typename Body>
int InChild(Body body) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST(KvxGroup, ChangeKVXGroupTakesTheGroup) {
  if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs root in the sandbox";
  kvxtest::EnsureAccounts();
  const gid_t gid = kvxtest::KvxGroupGid();
  EXPECT_EQ(0, InChild([gid] { return ChangeKVXGroup() == 0 && ::getgid() == gid ? 0 : 1; }));
}

TEST(KvxGroup, MissingGroupIsReported) {
  if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs root in the sandbox";
  kvxtest::EnsureAccounts();
  kvxtest::TempTree tree;
  const std::string groups = tree / "group";
  kvxtest::RunCommand("grep -v '^kvxgroup:' /etc/group > " + groups);
  kvxtest::ClearDebugLog();
  // A group database without kvxgroup, seen by the child alone.
  const int status = InChild([&groups] {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
        ::mount(groups.c_str(), "/etc/group", nullptr, MS_BIND, nullptr) != 0)
      return 2;
    return ChangeKVXGroup();
  });
  EXPECT_EQ(1, status);
  EXPECT_EQ(std::vector<std::string>{"Cannot get the gid for kvxgroup"},
            kvxtest::DebugLogMessages());
}

}  // namespace
