// Domino control: console commands, lock state, task controls (stand-in, fake sleep).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

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

// Sent by root ('r'), root to a missing notes.ini ('m'), the server user with no
// room for one more process ('f'), a user that cannot become the owner ('o'),
// the server's stop ('q'), to a server program that says who ran it and how.
TEST(ConsoleCommand, RunsTheServerProgramOnlyAsTheOwnerAndRestoresTheFolder) {
  if (!InSandbox()) GTEST_SKIP() << "needs root in the sandbox";
  TempTree tree;
  SimPartition par(tree, "p1");
  const std::string uid = std::to_string(ServerUid()), bin = tree / "bin";
  WriteFile(bin + "/server", "#!/bin/sh\necho \"$(id -u) $*\"\n");
  RunCommand("chmod 755 " + bin + "/server");
  ClearDebugLog();
  for (const char by : std::string("rmfoq")) {
    const std::string command = by == 'q' ? "quit" : "load kvxreal";
    KVXNParInfo p{par.dataDir, bin, by == 'm' ? tree / "none" : par.notesIni};
    RunCommand("install -m 666 /dev/null " + DebugLogPath());  // the child logs as whoever it is
    std::fflush(nullptr);
    ::testing::internal::CaptureStdout();
    const pid_t child = ::fork();
    if (child == 0) {
      const rlimit none{0, 0};  // root ignores RLIMIT_NPROC: keep root as the saved uid only
      if ((by == 'f' &&
           (::setresuid(ServerUid(), ServerUid(), 0) || ::setrlimit(RLIMIT_NPROC, &none))) ||
          (by == 'o' && ::setresuid(1234, 1234, 1234)) || ::chdir(tree.path().c_str()))
        ::_exit(2);
      if (by == 'q') StopAllDominoServer(&p, nullptr);
      if (by != 'q') RunDominoCommand(p.strNotesIni.c_str(), p.strBinDir.c_str(), command.c_str());
      ::_exit(std::filesystem::current_path() == tree.path() ? 0 : 3);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    const std::string said = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(0, status) << by << ": 512 set-up failed, 768 working folder not restored";
    Lines log = {"Submit command 'LD_LIBRARY_PATH=" + bin + " " + bin +
                     "/server =" + p.strNotesIni + " -c \"" + command + "\"' to " +
                     (by == 'q' ? "stop the sever" : "restart the KVX"),
                 "szNotesIniFiles: " + p.strNotesIni, "stat: over, uid is: " + uid,
                 (by == 'o' ? "Cannot set the uid to " : "setuid over: ") + uid};
    if (by == 'm') log = {log[0], log[1], "Cannot get the fstat for file '" + p.strNotesIni + "'."};
    if (by == 'f') log = {log[0], "Run domino command fork error. 11"};  // EAGAIN
    EXPECT_EQ(log, DebugLogMessages()) << by;
    const std::string sent = uid + " =" + p.strNotesIni + " -c " + command + "\n";
    EXPECT_EQ(by == 'r' || by == 'q' ? sent : "", said) << by;
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
  EXPECT_FALSE(isDominoServerRunning(&par, nullptr) || isDominoServerRunning(&far, nullptr));
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
  EXPECT_EQ(2, isDominoServerRunning(&par, nullptr) + GetRunningKVXNum(&par, &counter));
  for (int fd : fds) ::close(fd);
  EXPECT_EQ(7u, counter) << "kvxreal and kvxupd";
  EXPECT_EQ(1, GetAllDbSize(&par, &bytes));
  EXPECT_EQ(35u, bytes);
  EXPECT_EQ((Lines{is + "not locked!",
                   "The server's file lock '" + far.strDataDir.substr(0, 510) + "' is not locked!",
                   is + "locked!"}),
            DebugLogMessages());
}

// -x is "te kvxx quit", +x "load kvxx", *x "restart task kvxx"; w*n is w n times.
static Lines Words(const std::string& text) {
  Lines out;
  std::istringstream in(text);
  for (std::string w; in >> w;) {
    const size_t star = w.find('*', 1);
    const std::string name = "kvx" + w.substr(1, star - 1);
    out.insert(
        out.end(), star == std::string::npos ? 1 : std::stoul(w.substr(star + 1)),
        w[0] == '-' ? "te " + name + " quit" : (w[0] == '+' ? "load " : "restart task ") + name);
  }
  return out;
}

// Each control from the same running tasks: all nine (each quits when told),
// kvxdtas alone and never quitting, none with the server down.
TEST(TaskControl, SendsWhatTheRunningTasksNeedAndOnlyTheRestartWaits) {
  if (!InSandbox()) GTEST_SKIP() << "needs root in the sandbox";
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
  EXPECT_EQ(Words("-real -dbs -dtas -emf -sch -cm -mon"), sent(StopAllKVX, all));
  EXPECT_EQ(Words("+mon"), sent(LoadAllKVX, all));
  EXPECT_EQ(Words("-emf +emf -sch +sch -mon +mon -real +real *cm -dtas +dtas"),
            sent(RestartAllKVX, all));
  EXPECT_EQ((std::vector<int>{2, 2, 2, 5, 2}), FakeSleepCalls());
  par.Domsim("behave", "kvxdtas never");
  FakeSleepCalls().clear();
  EXPECT_EQ(Words("-dtas -mon"), sent(StopAllKVX, {"kvxdtas"}));
  EXPECT_EQ(Words("+emf +sch +mon +real +cm"), sent(LoadAllKVX, {"kvxdtas"}));
  EXPECT_EQ(Words("+emf +sch +mon +real +cm -dtas*122 +dtas"), sent(RestartAllKVX, {"kvxdtas"}));
  EXPECT_EQ(std::vector<int>(122, 2), FakeSleepCalls());
  EXPECT_EQ(120u, dots.size());
  par.Stop();
  ClearDebugLog();
  EXPECT_EQ(3, StopAllKVX(&p, nullptr) + LoadAllKVX(&p, nullptr) + RestartAllKVX(&p, nullptr));
  EXPECT_EQ(Lines{"Domino isnot running now."}, DebugLogMessages(true));
}
