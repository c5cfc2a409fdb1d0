// The real installer under faults, a task that never quits, and two
// installers at once. What must hold: nothing lost beyond what the fault cannot
// help, `kvxinfo verify` names what the exit status hides, "/u" restores.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include "HostKit.h"

namespace fs = std::filesystem;
using namespace kvxtest;
using ::testing::HasSubstr;

namespace {

constexpr size_t kLibrary = 256 * 1024;
const Lines kLibraries = {"libkvxcore.so", "libkvxscan.so", "libkvxext.so"};

// One installer run in the background, from cwd; its process id.
pid_t Start(const std::string& cwd, const std::string& env = "") {
  const std::string command = "cd " + cwd + " && " + env + " exec ./UPDSilent >/dev/null 2>&1";
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr) ? 127 : 0);
  return pid;
}
int Wait(pid_t pid) {  // 128 + signal when killed
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
const std::string kKvxinfo = BuildDir() + "/kvxinfo/kvxinfo ";

std::string Bytes(const std::string& name, int build) {  // a library, kLibrary bytes
  std::string bytes = name + " " + std::to_string(build) + "\n";
  bytes.resize(kLibrary, static_cast<char>('a' + bytes.size() % 7 + build % 11));
  return bytes;
}

// One instance (in place or in a new folder) whose three libraries are
// kLibrary bytes each, and the package of 1300 that replaces them.
struct FaultHost {
  Host host;
  std::string package;
  FaultHost(const std::string& product, bool newFolder)
      : host({InstanceSpec{"kvx1", {1200}, -1, {}, {}, 1, product}}) {
    package = host.Package({1300, kLibraries, newFolder ? "" : "CreateNewFolder=0", {}});
    for (const std::string& name : kLibraries) {
      WriteFile(host.Program(1200) + "/" + name, Bytes(name, 1200));
      WriteFile(package + "/FileGroup1/" + name, Bytes(name, 1300));
    }
  }
  // Originals the program folder no longer holds and aside copies left there;
  // orBackup: the originals found neither there nor in the backup.
  Lines Gone(bool orBackup) const {
    Lines gone;
    for (const std::string& name : kLibraries) {
      const std::string at = host.Program(1200) + "/" + name, bytes = Bytes(name, 1200);
      if (!orBackup && fs::exists(at + "_1")) gone.push_back(name + "_1");
      if (ReadFile(at) != bytes &&
          (!orBackup || ReadFile(host.Product() + "/hotfix/B1300/FileGroup1/" + name) != bytes))
        gone.push_back(name);
    }
    return gone;
  }
};

// The shim stands for chgrp (found first in PATH) or a partition's `server`
// and parks the run at the call whose words hold KVX_KILL_AT: the installer
// waits for it there, so the kill lands at that step whatever the load.
constexpr char kShim[] = R"(#!/bin/sh
if [ -n "$KVX_KILL_AT" ]; then case "$0 $*" in *"$KVX_KILL_AT"*)
  echo $$ > "$KVX_KILL_MARK"; exec sleep 600;; esac; fi
[ -x "$0.real" ] && exec "$0.real" "$@"
PATH=${PATH#*:} exec chgrp "$@"
)";

// Runs the installer to the call named at and kills it there; its status.
int KillAt(FaultHost& f, const std::string& at) {
  const std::string shim = f.host.tree / "shim", mark = f.host.tree / "mark/pid";
  const std::string server = f.host.Partition().binDir + "/server";
  WriteFile(shim + "/chgrp", kShim);
  RunCommand("mkdir -m 777 " + f.host.tree / "mark" + " && chmod 755 " + shim + "/chgrp && mv " +
             server + " " + server + ".real && cp " + shim + "/chgrp " + server);
  ClearDebugLog();
  const pid_t run = Start(
      f.package, "KVX_KILL_AT='" + at + "' KVX_KILL_MARK=" + mark + " PATH=" + shim + ":$PATH");
  int status = 0, parked = 0;  // the shim's process id once the run is parked
  for (int waited = 0; !parked && waited < 120000; waited += 20) {
    if (::waitpid(run, &status, WNOHANG) == run) return -1;  // it never got there
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (ReadFile(mark).find('\n') != std::string::npos) parked = std::stoi(ReadFile(mark));
  }
  ::kill(run, SIGKILL);
  status = Wait(run);
  if (parked) ::kill(parked, SIGKILL);
  fs::rename(server + ".real", server);
  return parked ? status : -1;
}

enum Fault { kNone, kDiskFull, kReadOnly, kMissing, kFolder, kKill, kOwnerGone };
struct FaultCase {
  const char* name;
  bool newFolder;
  Fault fault;
  double room;         // disk full: free room left after the tree, in libraries
  const char* at;      // kill: the call the run is killed in; else a line the fault logs
  Lines lost;          // originals the fault cannot help losing
  const char* plan;    // what `kvxinfo plan` says beforehand
  const char* verify;  // a failure `kvxinfo verify <package>` names after the run ("" none)
};
class Faults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Faults, OriginalsSurviveAndRollbackRestoresThem) {
  const FaultCase& c = GetParam();
  TempTree disk;
  const char* tmpfs = disk.path().c_str();
  if (c.fault == kDiskFull) {
    ASSERT_EQ(0, ::mount("tmpfs", tmpfs, "tmpfs", 0, "size=64m"));
  }
  const std::shared_ptr<void> unmount(nullptr, [&](void*) { ::umount2(tmpfs, MNT_DETACH); });
  FaultHost f(c.fault == kDiskFull ? disk / "kvx1" : "", c.newFolder);
  const std::string product = f.host.Product(), lib = f.package + "/FileGroup1/libkvxscan.so";
  if (c.fault == kMissing || c.fault == kFolder) fs::remove(lib);
  if (c.fault == kFolder) fs::create_directories(lib + "/sub");
  SimPartition& par = f.host.Partition();
  if (c.fault == kOwnerGone)  // the server runs as a uid that no longer has an account
    RunCommand("useradd -M -N -u 54321 kvxgone; chown -R 54321 " + par.notesIni + " " +
               par.dataDir);
  if (c.fault == kOwnerGone || std::string(c.at).rfind("load ", 0) == 0)
    f.host.StartTasks({"kvxreal", "kvxemf", "kvxmon", "kvxsch", "kvxcm"});
  RunCommand("userdel -f kvxgone");
  struct statvfs st {};
  ::statvfs(tmpfs, &st);
  const std::string size =
      std::to_string((st.f_blocks - st.f_bfree) * st.f_frsize + size_t(c.room * kLibrary));
  if (c.fault == kDiskFull) ::mount("tmpfs", tmpfs, "tmpfs", MS_REMOUNT, ("size=" + size).c_str());
  EXPECT_THAT(RunCommand(kKvxinfo + "plan " + f.package).output, HasSubstr(c.plan));
  if (c.fault == kReadOnly) {  // a read-only bind mount stops root too, where a mode would not
    ASSERT_EQ(0, ::mount(product.c_str(), product.c_str(), nullptr, MS_BIND, nullptr));
    ::mount(nullptr, product.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr);
  }

  // Failures after the gates are only logged: the run still ends as completed.
  if (c.fault == kKill) {
    EXPECT_EQ(128 + SIGKILL, KillAt(f, c.at));
  } else {
    EXPECT_EQ(0, RunUPDSilent(f.package).exitStatus);
    EXPECT_THAT(DebugLogMessages(), ::testing::Contains(HasSubstr(c.at)));
  }
  if (c.fault == kReadOnly) ::umount2(product.c_str(), MNT_DETACH);
  EXPECT_EQ(c.lost, f.Gone(true)) << "after the update";
  const CommandResult verify = RunCommand(kKvxinfo + "verify " + f.package);
  EXPECT_EQ(*c.verify ? 1 : 0, verify.exitStatus) << verify.output;
  EXPECT_THAT(verify.output, HasSubstr(c.verify));
  if (c.fault == kOwnerGone) {  // sent as the numeric owner all the same
    EXPECT_THAT(DebugLogMessages(), ::testing::Contains("stat: over, uid is: 54321"));
    EXPECT_FALSE(par.JournalCommands().empty());
  }
  if (c.fault == kKill) {  // read back unfinished; the backup names the hotfix: skipped
    EXPECT_THAT(RunCommand(kKvxinfo + "log").output, HasSubstr("the run did not finish"));
    EXPECT_EQ(kRunFailed, RunUPDSilent(f.package).exitStatus);
    EXPECT_THAT(DebugLogMessages(true).back(), HasSubstr("The current hotfix version is newer"));
    EXPECT_EQ(c.lost, f.Gone(true)) << "after the second run";
  }
  // A kill or a full disk leaves the hotfix's kvxpatch.ini missing or cut short.
  if (c.fault == kDiskFull) ::mount("tmpfs", tmpfs, "tmpfs", MS_REMOUNT, "size=64m");
  const std::string from =
      c.fault == kKill || c.fault == kDiskFull ? f.package : product + "/hotfix/B1300";
  if (c.fault != kReadOnly) {
    EXPECT_EQ(0, RunUPDSilent(f.package, "/u " + from).exitStatus);
  }
  EXPECT_EQ(c.lost, f.Gone(false)) << "after the rollback";
  EXPECT_EQ(f.host.Program(1200), fs::read_symlink(product + "/program/latest"));
  EXPECT_FALSE(fs::exists(product + "/hotfix/B1300"));
}

const char kCore[] = "Error: Cannot copy the file(libkvxcore.so). ";
const char kScan[] = "Error: Cannot copy the file(libkvxscan.so). ";
const char kApplies[] = "instance kvx1       applies", kNoSpace[] = "fails (free space)";
const char kNoFile[] = "fails (package files)", kNoRecord[] = "kvxpatch.ini is missing";
const char kEmpty[] = "libkvxext.so: 0 bytes, the package", kOld[] = "libkvxscan.so: 262,144 bytes";
const char kUnapplied[] = "build 1300 is not applied";
// clang-format off
const FaultCase kFaults[] = {
    // The backup fits, the new folder does not: the old one is only read,
    // latest names the partial new one until "/u".
    {"DiskFullNewFolder", true, kDiskFull, 3.5, "", {}, kNoSpace, kEmpty},
    // The backup fits, the new libraries do not: the originals moved aside
    // are deleted after the restart, but their backup is whole.
    {"DiskFullSwap", false, kDiskFull, 3.5, kCore, {}, kNoSpace, kEmpty},
    // The disk fills while the backup is taken; the swap still deletes
    // every original moved aside: those without a whole backup are gone.
    {"DiskFullBackup", false, kDiskFull, 1.5, kScan, {"libkvxscan.so", "libkvxext.so"}, kNoSpace, kEmpty},
    {"ReadOnlyInPlace", false, kReadOnly, 0, kCore, {}, kApplies, kUnapplied},
    {"ReadOnlyNewFolder", true, kReadOnly, 0, "Copy folder ", {}, kApplies, kUnapplied},
    {"MissingFileInPlace", false, kMissing, 0, kScan, {}, kNoFile, "libkvxscan.so: missing from"},
    {"MissingFileNewFolder", true, kMissing, 0, "", {}, kNoFile, kOld},
    // A folder opens for reading, so the plan takes it for the file.
    {"UnreadableFileInPlace", false, kFolder, 0, kScan, {}, "", "libkvxscan.so: missing from"},
    {"UnreadableFileNewFolder", true, kFolder, 0, "", {}, "", kOld},
    // Killed with the backup whole: among the copies of the new libraries,
    // while the tasks restart, and before the hotfix is recorded.
    {"KilledDuringSwap", false, kKill, 0, "V5.8.0.1200/libkvxcore.so", {}, kApplies, "libkvxscan.so_1 holds"},
    {"KilledDuringRestart", false, kKill, 0, "load kvxemf", {}, kApplies, "libkvxscan.so_1 is left"},
    {"KilledBeforeRecord", false, kKill, 0, "/UPDSilent", {}, kApplies, kNoRecord},
    {"ServerDown", false, kNone, 0, "Domino isnot running now.", {}, kApplies, ""},
    {"NotesIniOwnerDeleted", false, kOwnerGone, 0, "", {}, "fails (notes.ini owner)", "has no account"},
};
// clang-format on
KVX_TABLE(Faults, Faults, kFaults);

// "/u" of a new folder stops the tasks and polls ten times ten real seconds
// (the suite's one real give-up); kvxreal, the task it counts, ignores its
// end command: it gives up, loads the tasks again and keeps the hotfix.
TEST(Slow, TaskThatNeverQuitsKeepsTheHotfix) {
  FaultHost f("", true);
  ASSERT_EQ(0, RunUPDSilent(f.package).exitStatus);  // server down: nothing waits
  SimPartition& par = f.host.Partition();
  f.host.StartTasks({"kvxreal", "kvxemf"});
  par.Domsim("behave", "kvxreal never");
  const std::string before = Snapshot(f.host.Product());

  EXPECT_EQ(kRunFailed,
            RunUPDSilent(f.package, "/u " + f.host.Product() + "/hotfix/B1300").exitStatus);
  const Lines log = DebugLogMessages(true);
  EXPECT_EQ(
      10, std::count(log.begin(), log.end(), "Waiting for terminating all KVX. 1 KVX is running"));
  EXPECT_EQ("Has try 10 times to stop KVX, but still failed, so give up.", log.back());
  Lines expected = {"te kvxreal quit", "te kvxemf quit", "te kvxmon quit"};
  for (int pass = 0; pass < 10; ++pass)
    expected.insert(expected.end(), {"te kvxreal quit", "te kvxmon quit"});
  expected.insert(expected.end(), {"load kvxemf", "load kvxsch", "load kvxmon", "load kvxcm"});
  EXPECT_EQ(expected, par.JournalCommands());
  EXPECT_EQ(before, Snapshot(f.host.Product()));  // the hotfix, its folder and latest as they were
}

// Two installers at once: both complete, or the later one is skipped. Either
// way each log line is whole, one run completes, a new folder loses nothing
// and "/u" brings back every original the race left.
class SlowRace : public ::testing::TestWithParam<bool> {};
TEST_P(SlowRace, EveryOutcomeKeepsTheLogAndTheOriginals) {
  FaultHost f("", GetParam());
  ClearDebugLog();
  const pid_t runs[] = {Start(f.package), Start(f.package)};
  const std::map<pid_t, int> status = {{runs[0], Wait(runs[0])}, {runs[1], Wait(runs[1])}};
  std::map<pid_t, Lines> messages;
  for (const std::string& line : DebugLogLines()) {  // by pid, over every day file
    int pid = 0, at = 0;
    std::sscanf(line.c_str(),
                "[%*4d/%*2d/%*2d %*2d:%*2d:%*2d][pid=%d][tid=%*d][module=%*x] "
                "[file:checkdomino_silent] [line: 337]:%n",
                &pid, &at);
    EXPECT_NE(0, at) << "broken line: " << line;
    messages[pid].push_back(line.substr(at));
  }
  int completed = 0;
  for (const pid_t run : runs) {
    const std::string last = messages[run].empty() ? "" : messages[run].back();
    const bool done = last == "=============================Update (" + f.host.Product() +
                                  ") successfully=======================";
    completed += done;
    EXPECT_EQ(done ? 0 : kRunFailed, status.at(run));
    EXPECT_THAT(
        last, ::testing::AnyOf(HasSubstr("successfully"),
                               HasSubstr(" version is newer than that in this package. So quit.")));
  }
  EXPECT_GE(completed, 1);
  const Lines lost = f.Gone(true);
  EXPECT_TRUE(!GetParam() || lost.empty());  // a new folder only reads the old one
  EXPECT_EQ(0, RunUPDSilent(f.package, "/u " + f.package).exitStatus);
  EXPECT_EQ(lost, f.Gone(false));
  EXPECT_EQ(f.host.Program(1200), fs::read_symlink(f.host.Product() + "/program/latest"));
}
INSTANTIATE_TEST_SUITE_P(Styles, SlowRace, ::testing::Bool(), [](const auto& i) {
  return std::string(i.param ? "NewFolder" : "InPlace");
});

}  // namespace
