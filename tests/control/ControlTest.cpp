// Domino control: console commands, lock state, task controls (stand-in, fake sleep).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "DebugLog.h"
#include "DominoControl.h"
#include "DominoState.h"
#include "FakeSleep.h"
#include "SimHarness.h"

using namespace kvxtest;

// Locks path until fd closes: unlike a record lock, an open file description's
// lock shows in this process's own F_GETLK probe (held by pid -1).
static int Lock(const std::string& path, short type = F_WRLCK, off_t start = 0, off_t length = 0) {
  struct flock lock = {type, SEEK_SET, start, length, 0};
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
  EXPECT_EQ(0, ::fcntl(fd, F_OFD_SETLK, &lock)) << path;
  return fd;
}

// The child's lines, and its own child's before that execs, go to a file
// opened before either changes its user: nothing else needs to be writable.
int g_childLog = -1;
void ToChildLog(int, const char* message) {
  const std::string line = message + std::string("\n");
  [[maybe_unused]] const ssize_t written = ::write(g_childLog, line.data(), line.size());
}

// Sent by root to a server program that says who ran it and how: it runs as
// the owner. A missing notes.ini, the server user with no room for one more
// process, a user that cannot become the owner: it does not run, and the last
// line logged says why.
TEST(ConsoleCommand, RunsTheServerProgramOnlyAsTheOwnerAndRestoresTheFolder) {
  TempTree tree;
  SimPartition par(tree, "p1");
  const std::string uid = std::to_string(ServerUid()), bin = tree / "bin", log = tree / "log";
  WriteFile(bin + "/server", "#!/bin/sh\necho \"$(id -u) $*\"\n");
  RunCommand("chmod 755 " + bin + "/server");
  // What the child logs on its way to becoming the owner, after the submit line.
  const auto owner = [&](const std::string& last) {
    return Lines{"szNotesIniFiles: " + par.notesIni, "stat: over, uid is: " + uid, last};
  };
  enum By { kRoot, kStop, kNoNotesIni, kNoRoomForChild, kNotTheOwner };
  const std::tuple<By, const char*, Lines> kCases[] = {
      {kRoot, "load kvxreal", owner("setuid over: " + uid)},
      {kStop, "quit", owner("setuid over: " + uid)},
      {kNoNotesIni,
       "",
       {"szNotesIniFiles: " + tree / "none",
        "Cannot get the fstat for file '" + tree / "none" + "'."}},
      {kNoRoomForChild, "", {"Run domino command fork error. 11"}},  // EAGAIN
      {kNotTheOwner, "", owner("Cannot set the uid to " + uid)}};
  for (const auto& [by, sent, after] : kCases) {
    KVXNParInfo p{par.dataDir, bin, by == kNoNotesIni ? tree / "none" : par.notesIni};
    WriteFile(log, "");
    std::fflush(nullptr);
    ::testing::internal::CaptureStdout();
    const pid_t child = ::fork();
    if (child == 0) {
      g_childLog = ::open(log.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
      SetLogSink(ToChildLog);
      const rlimit none{0, 0};  // root ignores RLIMIT_NPROC: keep root as the saved uid only
      if ((by == kNoRoomForChild &&
           (::setresuid(ServerUid(), ServerUid(), 0) || ::setrlimit(RLIMIT_NPROC, &none))) ||
          (by == kNotTheOwner && ::setresuid(1234, 1234, 1234)) || ::chdir(tree.path().c_str()))
        ::_exit(2);
      if (by == kStop) StopAllDominoServer(&p, nullptr);
      if (by != kStop) RunDominoCommand(p.strNotesIni.c_str(), p.strBinDir.c_str(), "load kvxreal");
      // Returned only once the command ended: every line of it is logged.
      if (ReadLines(log).size() != after.size() + 1) ::_exit(4);
      ::_exit(std::filesystem::current_path() == tree.path() ? 0 : 3);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    const std::string said = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(0, status) << by
                         << ": 512 set-up failed, 768 working folder not restored, 1024 returned "
                            "before the command ended";
    const Lines logged = ReadLines(log);
    EXPECT_EQ(after, logged.empty() ? logged : Lines(logged.begin() + 1, logged.end())) << by;
    EXPECT_EQ(*sent ? uid + " =" + p.strNotesIni + " -c " + sent + "\n" : "", said) << by;
  }
}

// Only a locked kvxtemp entry named <task>{... (case ignored) is a running
// task, whatever the lock's kind and range. No procedure calls GetAllDbSize.
TEST(LockState, TasksAndServerFromLocksPathCutAt510AndCountsAdded) {
  TempTree tree;
  const std::string lock = tree / "~notes.lck", is = "The server's file lock '" + lock + "' is ";
  KVXNParInfo par{tree.path(), "", ""}, far{"/" + std::string(600, 'd'), "", ""};
  std::uint32_t counter = 5, bytes = 5;  // both added to: the caller resets them
  WriteFile(tree / "kvx/lib/a.nsf", std::string(10, 'a'));
  WriteFile(tree / "kvx/b.nsf", std::string(20, 'b'));
  ClearDebugLog();
  EXPECT_EQ(0, isDominoServerRunning(&par, nullptr));
  EXPECT_EQ(0, isDominoServerRunning(&far, nullptr));
  EXPECT_EQ(1, GetRunningKVXNum(&par, &counter)) << "no kvxtemp";
  std::vector<int> fds;  // kvxsupp{2} and kvxupd{ put "{" where kvxdtas's and kvxsch's would be
  WriteFile(tree / "kvxtemp/kvxdtas{1}", "");  // stale: unlocked
  for (const char* e : {"~notes.lck", "kvxtemp/KVXREAL{1}", "kvxtemp/kvxupd{", "kvxtemp/kvxdbs",
                        "kvxtemp/kvxdbsx{1}", "kvxtemp/kvxdb{1}", "kvxtemp/kvxsupp{2}"})
    fds.push_back(Lock(tree / e));
  fds.push_back(Lock(tree / "kvxtemp/kvxemf{9}", F_RDLCK, 5, 3));
  std::string runs;
  for (const char* task : {"kvxreal", "kvxupd", "kvxemf", "kvxdbs", "kvxdtas", "kvxsch"})
    runs += std::to_string(IsKVXRun(tree.path().c_str(), task));
  EXPECT_EQ("111000", runs) << "kvxreal kvxupd kvxemf kvxdbs kvxdtas kvxsch";
  EXPECT_EQ(1, isDominoServerRunning(&par, nullptr));
  EXPECT_EQ(1, GetRunningKVXNum(&par, &counter));
  for (int fd : fds) ::close(fd);
  EXPECT_EQ(7u, counter) << "kvxreal and kvxupd";
  EXPECT_EQ(1, GetAllDbSize(&par, &bytes));
  EXPECT_EQ(35u, bytes);
  EXPECT_EQ((Lines{is + "not locked!",
                   "The server's file lock '" + far.strDataDir.substr(0, 510) + "' is not locked!",
                   is + "locked!"}),
            DebugLogMessages());
}

// Each control from the same running tasks: all nine (each quits when told),
// kvxdtas alone and never quitting, none with the server down.
TEST(TaskControl, SendsWhatTheRunningTasksNeedAndOnlyTheRestartWaits) {
  TempTree tree;
  SimPartition par(tree, "p1");
  KVXNParInfo p = par.Par();
  std::string dots;
  const auto sent = [&](ParInfoCallback control, const Lines& running) {
    par.Start();
    par.SetRunning(running);
    par.ClearJournal();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(1, control(&p, nullptr));
    dots += ::testing::internal::GetCapturedStdout();  // one per end command repeated in vain
    return par.JournalCommands();
  };
  const Lines all(szaLoader, szaLoader + 9);
  FakeSleepCalls().clear();
  EXPECT_EQ((Lines{"te kvxreal quit", "te kvxdbs quit", "te kvxdtas quit", "te kvxemf quit",
                   "te kvxsch quit", "te kvxcm quit", "te kvxmon quit"}),
            sent(StopAllKVX, all));
  EXPECT_EQ(Lines{"load kvxmon"}, sent(LoadAllKVX, all));
  EXPECT_EQ((Lines{"te kvxemf quit", "load kvxemf", "te kvxsch quit", "load kvxsch",
                   "te kvxmon quit", "load kvxmon", "te kvxreal quit", "load kvxreal",
                   "restart task kvxcm", "te kvxdtas quit", "load kvxdtas"}),
            sent(RestartAllKVX, all));
  EXPECT_EQ((std::vector<int>{2, 2, 2, 5, 2}), FakeSleepCalls());
  par.Domsim("behave", "kvxdtas never");
  FakeSleepCalls().clear();
  EXPECT_EQ((Lines{"te kvxdtas quit", "te kvxmon quit"}), sent(StopAllKVX, {"kvxdtas"}));
  Lines loads = {"load kvxemf", "load kvxsch", "load kvxmon", "load kvxreal", "load kvxcm"};
  EXPECT_EQ(loads, sent(LoadAllKVX, {"kvxdtas"}));
  loads.insert(loads.end(), 122, "te kvxdtas quit");  // the end command repeated in vain
  loads.push_back("load kvxdtas");
  EXPECT_EQ(loads, sent(RestartAllKVX, {"kvxdtas"}));
  EXPECT_EQ(std::vector<int>(122, 2), FakeSleepCalls());
  EXPECT_EQ(120u, dots.size());
  par.Stop();
  ClearDebugLog();
  EXPECT_EQ(1, StopAllKVX(&p, nullptr));
  EXPECT_EQ(1, LoadAllKVX(&p, nullptr));
  EXPECT_EQ(1, RestartAllKVX(&p, nullptr));
  EXPECT_EQ(Lines{"Domino isnot running now."}, DebugLogMessages(true));
}
