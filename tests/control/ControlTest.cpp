// Domino control against real processes: console commands as the notes.ini
// owner, lock state seen from a child that holds the locks, and the task
// controls against the stand-in, with waits recorded by the fake sleep.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "control/DominoControl.h"
#include "control/FakeSleep.h"
#include "support/HostKit.h"

namespace fs = std::filesystem;
using namespace kvxtest;
using Lines = std::vector<std::string>;

namespace {

int InChild(const std::function<int()>& body) {  // body's result, as the child's exit status
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

// A child holding a record lock on each path until the object dies: F_GETLK
// never reports the asking process's own locks.
class Holder {
 public:
  Holder(const Lines& paths, short type, off_t start = 0, off_t length = 0) {
    char ok = 'n';
    EXPECT_EQ(0, ::pipe(pipes_) | ::pipe(pipes_ + 2));
    if ((pid_ = ::fork()) == 0) {
      struct flock lock {};
      lock.l_type = type, lock.l_start = start, lock.l_len = length, ok = 'y';
      for (const std::string& p : paths)
        ok = ::fcntl(::open(p.c_str(), O_RDWR), F_SETLK, &lock) ? 'n' : ok;
      ::_exit(::write(pipes_[1], &ok, 1) && !::close(pipes_[3]) && ::read(pipes_[2], &ok, 1));
    }
    EXPECT_TRUE(::read(pipes_[0], &ok, 1) == 1 && ok == 'y') << "could not lock " << paths[0];
  }
  ~Holder() { ::close(pipes_[3]), ::waitpid(pid_, nullptr, 0); }  // the child's read returns

 private:
  pid_t pid_;
  int pipes_[4];
};

// Sent by root ('r'), by root to a missing notes.ini ('m'), by the server user
// with no room for one more process ('f'), or by a user that cannot become the
// owner ('o'); as far as the child gets, it logs each step.
struct CommandCase {
  const char *name, *command;
  char by;
};
const CommandCase kCommands[] = {{"SentAsOwner", "load kvxreal", 'r'},
                                 {"StopServer", "quit", 'r'},
                                 {"MissingNotesIni", "load kvxreal", 'm'},
                                 {"ForkFails", "load kvxreal", 'f'},
                                 {"SetuidFails", "load kvxreal", 'o'}};
class ConsoleCommand : public ::testing::TestWithParam<CommandCase> {};

TEST_P(ConsoleCommand, ReachesTheServerOnlyFromTheOwnerAndRestoresTheFolder) {
  if (!InSandbox()) GTEST_SKIP() << "needs root in the sandbox";
  const CommandCase& c = GetParam();
  TempTree tree;
  SimPartition par(tree, "p1");
  par.Start();
  ClearDebugLog();
  WriteFile(DebugLogPath(), "");  // the child logs as whoever it has become
  fs::permissions(DebugLogPath(), fs::perms(0666));
  const bool stop = std::string(c.command) == "quit";
  const std::string uid = std::to_string(ServerUid());
  KVXNParInfo p{par.dataDir, par.binDir, c.by == 'm' ? tree / "none" : par.notesIni};
  EXPECT_EQ(
      0, InChild([&] {
        const rlimit none{0, 0};  // root ignores RLIMIT_NPROC: keep root as the saved uid only
        if (c.by == 'f' &&
            (::setresuid(ServerUid(), ServerUid(), 0) || ::setrlimit(RLIMIT_NPROC, &none)))
          return 2;
        if ((c.by == 'o' && ::setresuid(1234, 1234, 1234)) || ::chdir(tree.path().c_str()))
          return 2;
        if (stop) StopAllDominoServer(&p, nullptr);
        if (!stop) RunDominoCommand(p.strNotesIni.c_str(), p.strBinDir.c_str(), c.command);
        return fs::current_path() == tree.path() ? 0 : 3;
      }))
      << "2: set-up failed, 3: working folder not restored";
  Lines expected = {"Submit command 'LD_LIBRARY_PATH=" + par.binDir + " " + par.binDir +
                    "/server =" + p.strNotesIni + " -c \"" + c.command + "\"' to " +
                    (stop ? "stop the sever" : "restart the KVX")};
  if (c.by == 'f') expected.push_back("Run domino command fork error. 11");  // EAGAIN
  if (c.by != 'f') expected.push_back("szNotesIniFiles: " + p.strNotesIni);
  if (c.by == 'm') expected.push_back("Cannot get the fstat for file '" + p.strNotesIni + "'.");
  if (c.by == 'r' || c.by == 'o') expected.push_back("stat: over, uid is: " + uid);
  if (c.by == 'r') expected.push_back("setuid over: " + uid);
  if (c.by == 'o') expected.push_back("Cannot set the uid to " + uid);
  EXPECT_EQ(expected, DebugLogMessages());
  EXPECT_EQ(c.by == 'r' ? Lines{c.command} : Lines{}, par.JournalCommands());
}

INSTANTIATE_TEST_SUITE_P(Senders, ConsoleCommand, ::testing::ValuesIn(kCommands),
                         [](const auto& i) { return std::string(i.param.name); });

// Only a locked kvxtemp entry named <task>{... (case ignored) is a running
// task; 'w' locks the whole file, 'r' three bytes for reading, '-' nothing.
struct TaskLockCase {
  const char* entry;
  char lock;
  const char* task;
  int runs;
};
// clang-format off
const TaskLockCase kTaskLocks[] = {
    {"kvxreal{1}", 'w', "kvxreal", 1}, {"KVXREAL{1}", 'w', "kvxreal", 1}, {"kvxdbs{", 'w', "kvxdbs", 1},
    {"KvxDbs{x.lck", 'w', "kvxdbs", 1}, {"kvxemf{9}", 'r', "kvxemf", 1}, {"kvxreal", 'w', "kvxreal", 0},
    {"kvxrealx{1}", 'w', "kvxreal", 0}, {"kvxrea{1}", 'w', "kvxreal", 0}, {"kvxdbs{1}", 'w', "kvxdtas", 0},
    {"kvxreal_{1}", 'w', "kvxreal", 0}, {"kvxdtas{1}", 'w', "kvxdbs", 0}, {"kvxreal{1}", '-', "kvxreal", 0}};
// clang-format on
class TaskLock : public ::testing::TestWithParam<TaskLockCase> {};

TEST_P(TaskLock, OnlyLockedEntriesNamedTaskBraceCount) {
  const TaskLockCase& c = GetParam();
  TempTree tree;
  const std::string path = tree / "kvxtemp/" + c.entry, other = tree / "kvxtemp/kvxsupp{2}";
  WriteFile(tree / "kvxtemp/" + c.task + "{stale}", "");  // unlocked: never counts
  WriteFile(path, "0123456789");
  WriteFile(other, "");
  Holder others({other}, F_WRLCK);
  const bool part = c.lock == 'r';
  std::unique_ptr<Holder> holder;
  if (c.lock != '-') holder.reset(new Holder({path}, part ? F_RDLCK : F_WRLCK, 5 * part, 3 * part));
  EXPECT_EQ(c.runs, IsKVXRun(tree.path().c_str(), c.task));
  EXPECT_EQ(c.lock == '-' ? 0 : 1, isFileLocked(path.c_str()));
}

INSTANTIATE_TEST_SUITE_P(Entries, TaskLock, ::testing::ValuesIn(kTaskLocks));

TEST(LockState, ServerLockLoggedWithPathCutAt510AndRunningTasksAdded) {
  TempTree tree;
  const std::string lock = tree / "~notes.lck", is = "The server's file lock '" + lock + "' is ";
  KVXNParInfo par{tree.path(), "", ""}, far{"/" + std::string(600, 'd'), "", ""};
  std::uint32_t counter = 5;  // added to: the caller resets it
  ClearDebugLog();
  EXPECT_EQ(0, isDominoServerRunning(&par, nullptr)) << "no lock file";
  EXPECT_EQ(1, GetRunningKVXNum(&par, &counter)) << "no kvxtemp";
  Lines locked = {lock};
  for (const char* e : {"kvxreal{1}", "kvxdbs{2}", "kvxupd{3}", "kvxemf{4}", "kvxdtas{5}"})
    WriteFile(locked.emplace_back(tree / "kvxtemp/" + e), "");
  WriteFile(lock, "");
  EXPECT_EQ(0, isDominoServerRunning(&par, nullptr)) << "not locked";
  {
    Holder holder(locked, F_WRLCK);
    EXPECT_EQ(1, isDominoServerRunning(&par, nullptr));
    GetRunningKVXNum(&par, &counter);
  }
  EXPECT_EQ(8u, counter) << "kvxreal, kvxdbs and kvxupd";
  EXPECT_EQ(0, isDominoServerRunning(&far, nullptr));
  EXPECT_EQ(
      (Lines{is + "not locked!", is + "not locked!", is + "locked!",
             "The server's file lock '" + far.strDataDir.substr(0, 510) + "' is not locked!"}),
      DebugLogMessages());
}

// In short: -x is "te kvxx quit", +x "load kvxx", *x "restart task kvxx", w*n
// is w n times; raw, the words as they stand.
Lines Words(const std::string& text, bool raw = false) {
  Lines out;
  std::istringstream in(text);
  for (std::string w; in >> w;) {
    const std::string h = w.substr(0, w.find('*', 1)), name = "kvx" + h.substr(1);
    const std::string command = h[0] == '-'   ? "te " + name + " quit"
                                : h[0] == '+' ? "load " + name
                                              : "restart task " + name;
    out.insert(out.end(), h == w ? 1 : std::stoul(w.substr(h.size() + 1)), raw ? h : command);
  }
  return out;
}

// The tasks running ("!x": never quits; "down": no server), then what the
// stop, load and restart send, and the restart's waits.
struct StateCase {
  const char *name, *running, *stop, *load, *restart, *sleeps;
};
const char kAll[] = "+emf +sch +mon +real +cm";
// clang-format off
const StateCase kStates[] = {
    {"NothingRuns", "", "-mon", kAll, kAll, ""}, {"UntouchedOnly", "upd supp", "-mon", kAll, kAll, ""},
    {"AllRun", "real emf mon sch cm upd supp dbs dtas", "-real -dbs -dtas -emf -sch -cm -mon", "+mon",
     "-emf +emf -sch +sch -mon +mon -real +real *cm -dtas +dtas", "2 2 2 5 2"},
    {"RealAndDtas", "real dtas", "-real -dtas -mon", "+emf +sch +mon +cm",
     "+emf +sch +mon -real +real +cm -dtas +dtas", "5 2"},
    {"MonCmDbs", "mon cm dbs", "-dbs -cm -mon", "+emf +sch +mon +real", "+emf +sch -mon +mon +real *cm", "2"},
    {"RealStays", "!real", "-real -mon", "+emf +sch +mon +cm", "+emf +sch +mon -real*122 +real +cm", "5*122"},
    {"DtasStays", "!dtas", "-dtas -mon", kAll, "+emf +sch +mon +real +cm -dtas*122 +dtas", "2*122"},
    {"ServerDown", "down", "", "", "", ""}};
// clang-format on
class TaskControl : public ::testing::TestWithParam<StateCase> {};

TEST_P(TaskControl, SendsTheTableCommandsAndOnlyRestartWaits) {
  if (!InSandbox()) GTEST_SKIP() << "needs root in the sandbox";
  const StateCase& c = GetParam();
  TempTree tree;
  SimPartition par(tree, "p1");
  Lines tasks;
  for (const std::string& t : Words(c.running, true)) {
    if (t[0] == '!') par.Domsim("behave", "kvx" + t.substr(1) + " never");
    if (t != "down") tasks.push_back("kvx" + t.substr(t[0] == '!'));
  }
  WriteFile(par.dataDir + "/kvxtemp/kvxcm{0}", "");  // stale: not a running task
  RunCommand("chown -R " + std::string(kServerUser) + " " + par.dataDir);
  std::string dots;
  for (auto [control, sent] : {std::pair<ParInfoCallback, const char*>{StopAllKVX, c.stop},
                               {LoadAllKVX, c.load},
                               {RestartAllKVX, c.restart}}) {
    par.Start();
    par.SetRunning(tasks);
    if (std::string(c.running) == "down") par.Stop();
    par.ClearJournal();
    ClearDebugLog();
    FakeSleepCalls().clear();
    KVXNParInfo p = par.Par();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(1, control(&p, nullptr));
    dots = ::testing::internal::GetCapturedStdout();  // one per end command repeated in vain
    EXPECT_EQ(Words(sent), par.JournalCommands()) << sent;
    EXPECT_TRUE(control == RestartAllKVX || FakeSleepCalls().empty()) << "only restart waits";
  }
  std::vector<int> sleeps;
  for (const std::string& s : Words(c.sleeps, true)) sleeps.push_back(std::stoi(s));
  EXPECT_EQ(sleeps, FakeSleepCalls());
  EXPECT_EQ(c.running[0] == '!' ? 120u : 0u, dots.size());
  EXPECT_EQ(*c.stop ? Lines{} : Lines{"Domino isnot running now."}, DebugLogMessages(true));
}

INSTANTIATE_TEST_SUITE_P(States, TaskControl, ::testing::ValuesIn(kStates),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(ShellHelpers, LatestLinkGroupOwnershipAndDatabaseSize) {
  if (!InSandbox()) GTEST_SKIP() << "needs root in the sandbox";
  EnsureAccounts();
  EXPECT_EQ(0,
            InChild([] { return ChangeKVXGroup() == 0 && ::getgid() == KvxGroupGid() ? 0 : 1; }));
  TempTree tree;
  std::string product = tree.path(), v1 = tree / "program/V5.8.0.1", v2 = tree / "program/kvx";
  fs::create_directories(v1);
  WriteFile(v2 + "/lib/a.nsf", std::string(10, 'a'));
  WriteFile(v2 + "/b.nsf", std::string(20, 'b'));
  CreateLink(product.data(), v1.data());  // no link yet
  CreateLink(product.data(), v2.data());  // replaces it, and no link lands inside the old build
  EXPECT_EQ(v2, fs::read_symlink(tree / "program/latest").string());
  EXPECT_TRUE(fs::is_empty(v1));
  _ChangeOwner(v2.data());
  EXPECT_EQ("775 kvxgroup 775 kvxgroup 755 root",
            ModeGroup(v2) + " " + ModeGroup(v2 + "/lib/a.nsf") + " " + ModeGroup(v1));
  KVXNParInfo data{tree / "program", "", ""}, none{tree / "none", "", ""};
  std::uint32_t total = 5;
  ClearDebugLog();
  EXPECT_EQ(1, GetAllDbSize(&data, &total));
  EXPECT_EQ(0, GetAllDbSize(&none, &total));
  EXPECT_EQ(35u, total);
  EXPECT_EQ(Lines{"Error: Cannot get the size of folder '" + tree / "none/kvx'"},
            DebugLogMessages());
}

}  // namespace
