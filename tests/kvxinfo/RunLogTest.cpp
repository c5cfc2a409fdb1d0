// The debug log read back into runs: real installer runs, one per mode and ending, and
// excerpts of what a real run cannot write: runs of one pid, at once, cut or continued lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

#include "DebugLog.h"
#include "HostKit.h"
#include "LogTexts.h"
#include "Porting.h"
#include "RunLog.h"

using namespace kvxtest;

namespace {

// Each run's mode, exit, instances (product, outcome) and error lines; of an
// excerpt (lines given) also its pid and span, each line named by its second.
std::string Summary(const std::vector<kvxinfo::Run>& runs, const std::vector<std::string>& lines) {
  const bool excerpt = !lines.empty();
  const auto at = [&](const std::string& line) {
    return std::to_string(std::find(lines.begin(), lines.end(), line) - lines.begin());
  };
  std::string text;
  for (const kvxinfo::Run& r : runs) {
    text += (text.empty() ? "" : "; ") + (excerpt ? std::to_string(r.pid) + " " : "") + r.mode +
            (excerpt ? " " + r.start.substr(17) + "-" + r.end.substr(17) : "") +
            (r.finished ? " exit " : " unfinished ") + std::to_string(r.exitStatus) + ":";
    for (const kvxinfo::RunInstance& i : r.instances)
      text += " " + i.product + " " + OutcomeText(i) + (excerpt ? "@" + at(i.line) : "");
    for (const std::string& error : r.errors) text += " !" + (excerpt ? at(error) : error);
  }
  return text;
}

struct RealCase {
  const char* name;
  int instances, build;  // kvx1 and kvx2 at build 1200; the package's, with engine alder 9.750.1002
  const char *config, *setup, *args;  // its kvxpatch.ini; a command in the host tree; UPDSilent's
  int exit, status;                   // the installer's, as a shell sees it; `kvxinfo log`'s
  const char* runs;                   // the Summary, the host tree's path left out
};
class RealRun : public ::testing::TestWithParam<RealCase> {};

// Servers are down: only the in-place style sleeps. The run (the setup's
// logs removed) is read from the day logs present by kvxinfo, by its pid
// (misread, it finds no run), and in-process.
TEST_P(RealRun, ReadBackAsItEnded) {
  const RealCase& c = GetParam();
  std::vector<InstanceSpec> instances(c.instances);
  if (c.instances > 1) instances[1].name = "kvx2";
  Host host(instances);
  host.Package({c.build, {"libkvxcore.so"}, c.config, {{"alder", "9.750.1002"}}});
  const CommandResult ran = RunCommand(  // the shell's pid is the installer's, by exec
      "cd " + host.tree.path() + " && " + c.setup + " && rm -f /var/log/updsilent_* && cd package" +
      " && echo $$ && exec env KVX_INSTALLER=$$ PATH=" + host.tree / "shim:$PATH ./UPDSilent " +
      c.args);
  EXPECT_EQ(c.exit, ran.exitStatus);
  const std::string pid = ran.output.substr(0, ran.output.find('\n'));
  const std::string days = " $(printf ' --file=%s' /var/log/updsilent_*.dbg)";  // sorted
  EXPECT_EQ(c.status,
            RunCommand(BuildDir() + "/kvxinfo/kvxinfo log --pid=" + pid + days).exitStatus);
  std::istringstream log(RunCommand("cat /var/log/updsilent_*.dbg").output);
  const std::vector<kvxinfo::Run> runs = kvxinfo::ReadRuns(log);
  std::string got = Summary(runs, {});
  for (std::size_t at; (at = got.find(host.tree.path())) != got.npos;)
    got.erase(at, host.tree.path().size());
  EXPECT_EQ(c.runs, got);
}
// clang-format off
INSTANTIATE_TEST_SUITE_P(Modes, RealRun, ::testing::Values(
    // A file in the way of the new engine folder: its copy fails, unnoticed by the exit status.
    RealCase{"UpdateNewFolderOfTwo", 2, 1300, "", "touch kvx1/product/engine/alder/V9.750.1002", "", 0, 1, "update exit 0: /kvx1/product completed /kvx2/product completed !Copy folder ./engine/alder/* to /kvx1/product/engine/alder/V9.750.1002/, errno: -5"},
    RealCase{"UpdateInPlace", 1, 1300, "CreateNewFolder=0", "true", "", 0, 0, "update exit 0: /kvx1/product completed"},
    RealCase{"GateQuits", 1, 1200, "", "true", "", 212, 1, "update exit 212: /kvx1/product skipped"},
    RealCase{"GateFailsBesideACompleted", 2, 1300, "", "rm kvx2/Par1/data/kvx/kvconf.nsf", "", 212, 1, "update exit 212: /kvx1/product completed /kvx2/product failed"},
    RealCase{"HotfixRollbackAfterUpdate", 1, 1300, "", "(cd package && ./UPDSilent)", "/u ../kvx1/product/hotfix/B1300", 0, 0, "hotfix rollback exit 0: /kvx1/product completed"},
    RealCase{"EnginePairRemovedOneKept", 1, 1300, "", "mkdir kvx1/product/engine/alder/V9.750.1002", "/ue alder V9.750.1002 birch V1.200.1009", 0, 1, "engine rollback exit 0: /kvx1/product completed !Error: Only one version of this engine exist, can not rollback"},
    // A chgrp found first in PATH kills the run at its first ownership change.
    RealCase{"KilledPartWay", 1, 1300, "", "mkdir shim && printf '#!/bin/sh\\nkill -9 $KVX_INSTALLER' >shim/chgrp && chmod 755 shim/chgrp", "", 128 + 9, 1, "update unfinished -1: /kvx1/product unfinished"},
    RealCase{"NoRegistry", 1, 1300, "", "rm /etc/kvxsysV3.ini", "", 212, 1, "update exit 212: !Error: Cannot find the kvxsys.ini in '/etc/kvxsysV3.ini' !"}),
    [](const auto& i) { return std::string(i.param.name); });
// clang-format on

// Excerpts in short: lines split at '|'; "pid text" is a line of that pid
// whose second is its index; others are raw lines. Texts: U R E banners, B
// first registry pass, N count, SU/DU SR/DR SE/DE start/success.
// clang-format off
const std::pair<std::string, std::string> kShort[] = {
    {"U", logtext::kUpdateBanner}, {"R", logtext::kRollbackBanner}, {"E", logtext::kEngineRollbackBanner},
    {"B", std::string(logtext::kRegistryPass) + "|" + logtext::kRegistryFirstRead}, {"N ", logtext::kInstanceCount},
    {"SU ", logtext::kUpdateStart}, {"DU ", logtext::kUpdateDone}, {"SR ", logtext::kRollbackStart},
    {"DR ", logtext::kRollbackDone}, {"SE ", logtext::kEngineStart}, {"DE ", logtext::kEngineRemoved}};
// clang-format on

std::string Expand(const std::string& text) {
  for (const auto& [code, full] : kShort)
    if (text == code || (code.back() == ' ' && text.rfind(code, 0) == 0))
      return std::string(full).replace(std::min(full.find('%'), full.size()), 2,
                                       text.substr(code.size()));
  return text;
}

// The log; messages receives each line's message at the index of its second.
std::string WriteLog(const std::string& rows, std::vector<std::string>& messages) {
  std::istringstream in(rows);
  std::string log;
  for (std::string row; std::getline(in, row, '|');) {
    const std::size_t space = row.find(' ');
    std::istringstream texts(Expand(row.substr(space + 1)));
    for (std::string message; std::isdigit(row[0]) && std::getline(texts, message, '|');) {
      char stamp[32], prefix[kLinePrefixSize];  // the installer's own prefix, cut as it cuts it
      std::snprintf(stamp, sizeof stamp, "2026/12/06 22:00:%02zu", messages.size());
      qo_snprintf(prefix, sizeof prefix, kLinePrefixFormat, stamp, std::stoi(row.substr(0, space)),
                  -1234567890, 1, "checkdomino_silent", 337);
      log += prefix + message + "\n";
      messages.push_back(message);
    }
    if (!std::isdigit(row[0])) log += row + "\n";
  }
  return log;
}

// clang-format off
// status: LogStatus of the last run; statusAll: of every run.
struct LogCase { const char *name, *log, *runs; int status, statusAll; };
const LogCase kCases[] = {
    {"InterleavedPids", "88 U|4194304 U|88 B|4194304 B|88 N 1|4194304 N 1|88 SU /a|4194304 SU /a|88 The current hotfix version is newer than that in this package. So quit. (Old,/a/hotfix/B13:New,/a/program/V5.8.0.13/)|4194304 The build number of current hotfix is (12)|88 stat: over, uid is: 1001|4194304 DU /a", "88 update 00-10 exit 212: /a skipped@10; 4194304 update 01-13 exit 0: /a completed@13", 0, 1},
    {"KilledRunThenBannerOfSamePid", "7 R|7 B|7 N 1|7 SR /a|7 R|7 B|7 N 1|7 SR /a|7 Remove the old back up folder! (/a/hotfix/B13), error code [0]|7 DR /a", "7 hotfix rollback 00-04 unfinished -1: /a unfinished@4; 7 hotfix rollback 05-11 exit 0: /a completed@11", 0, 1},
    {"RollbackStopGivesUp", "7 R|7 B|7 N 1|7 SR /a|7 There 2 hotfixes installed.|7 Has try 10 times to stop KVX, but still failed, so give up.|7 Info:ParseKVXInsINI Begin.|7 Info:ParseKVXInsINI END.", "7 hotfix rollback 00-08 exit 212: /a failed@6", 1, 1},
    {"ErrorOfEveryKind", "7 U|7 B|7 N 1|7 SU /a|7 Error: Cannot change name from (a) to (b).|7 Copy folder /a/* to /b/, errno: -4|7 rename from (k) to (k_1), error code is 13.|7 Info: copy the file(l) to (k). Error code is -2.|7 Run domino command fork error. 11|7 Remove the old back up folder! (/h), error code [-5]|7 unlink /e, return -2.|7 unlink /e, return 3.|7 Copy file x to /a/x, errno: 0|7 DU /a", "7 update 00-14 exit 0: /a completed@14 !5 !6 !7 !8 !9 !10 !11", 1, 1},
    {"EngineLastInstanceDecides", "7 E|7 B|7 N 2|7 argv[2] is ALDER, argv[3] is v1|7 argv[4] is birch, argv[5] is V2|7 SE /a/engine/alder/V1|7 DE /a/engine/alder/V1|7 SE /a/engine/birch/V2|7 Error: Only one version of this engine exist, can not rollback|7 Info:ParseKVXInsINI Begin.|7 argv[2] is alder, argv[3] is V1|7 argv[4] is birch, argv[5] is V2|7 SE /b/engine/alder/V1|7 Has try 10 times to stop KVX, but still failed, so give up.|7 SE /b/engine/birch/V2|7 Error: The engine folder doesn't exist. (/b/engine/birch/V2)", "7 engine rollback 00-16 exit 212: /a completed@7 /b skipped@16 !9 !16", 1, 1},
    {"NoModeAfterRunOfSamePid", "7 U|7 B|7 N 1|7 SU /a|7 DU /a|7 B|7 N 1|7 Cannot open the file. (/FileGroup1/kvxpatch.ini)", "7 update 00-05 exit 0: /a completed@5; 7 none 06-09 exit 212:", 1, 1},
    {"NegativeCountTreatsNone", "7 U|7 B|7 N -1|7 SU /a|8 R|8 B|8 No 64-bit KVX 5.8 installed.", "7 update 00-04 exit 212:; 8 hotfix rollback 05-08 exit 212:", 1, 1},
    {"LineWithoutPrefixContinues", "stray|7 U|7 B|7 N 1|7 SU /a\nb|7 DU /a\nb", "7 update 00-05 exit 0: /a\nb completed@5", 0, 0},
    {"NoRun", "stray|5 szNotesIniFiles: /d/notes.ini|5 stat: over, uid is: 1001", "", 2, 2},
};
// clang-format on

class RunLog : public ::testing::TestWithParam<LogCase> {};

TEST_P(RunLog, ReadsRunsOutcomesExitAndErrors) {
  std::vector<std::string> messages;
  std::istringstream log(WriteLog(GetParam().log, messages));
  const std::vector<kvxinfo::Run> runs = kvxinfo::ReadRuns(log);
  EXPECT_EQ(GetParam().runs, Summary(runs, messages));
  EXPECT_EQ(GetParam().status, kvxinfo::LogStatus(runs, 1));
  EXPECT_EQ(GetParam().statusAll, kvxinfo::LogStatus(runs, 9));
}
KVX_TABLE(Excerpts, RunLog, kCases);

}  // namespace
