// Debug-log excerpts read back into runs. Logs in short: lines split at '|';
// "pid text" is a line of that pid whose second is its index, the prefix cut
// at 99 characters as the installer cuts it; others are raw lines. Texts: U R
// E banners, B first registry pass, N count, SU/DU SR/DR SE/DE start/success.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

#include "RunLog.h"

namespace {

const std::pair<std::string, std::string> kShort[] = {
    {"U", "=============================Update KVX======================="},
    {"R", "=============================Rollback KVX======================="},
    {"E", "=============================Rollback KVX ENGINE================"},
    {"B", "Info:ParseKVXInsINI Begin.|g_lstKVXNIns size is 0"},
    {"N ", "There is %s KVX installed in current system!"},
    {"SU ", "=============================Start update (%s)======================="},
    {"DU ", "=============================Update (%s) successfully======================="},
    {"SR ", "=============================Start rollback (%s)======================="},
    {"DR ", "=============================Rollback (%s) successfully======================="},
    {"SE ", "======================Start rollback (%s)==================="},
    {"DE ", "===================Rollback (%s) successfully==================="}};

std::string Expand(const std::string& text) {
  for (const auto& [code, full] : kShort)
    if (text == code || (code.back() == ' ' && text.rfind(code, 0) == 0))
      return std::string(full).replace(std::min(full.find("%s"), full.size()), 2,
                                       text.substr(code.size()));
  return text;
}

// The log; messages receives each line's message at the index of its second.
std::string WriteLog(const std::string& rows, std::vector<std::string>& messages) {
  std::istringstream in(rows);
  std::string log, row, message;
  while (std::getline(in, row, '|')) {
    const std::size_t space = row.find(' ');
    std::istringstream texts(Expand(row.substr(space + 1)));
    while (std::isdigit(row[0]) && std::getline(texts, message, '|')) {
      const std::size_t second = messages.size();
      messages.push_back(message);
      const std::string prefix =
          "[2026/12/06 22:00:" + std::string(second < 10, '0') + std::to_string(second) +
          "][pid=" + row.substr(0, space) +
          "][tid=-1234567890][module=1] [file:checkdomino_silent] [line: 337]:";
      log += prefix.substr(0, 99) + message + "\n";  // the installer's 100-byte buffer
    }
    if (!std::isdigit(row[0])) log += row + "\n";
  }
  return log;
}

// pid mode first-last second, exit: each instance's product, outcome and the
// second of its deciding line, then the second of each error line.
std::string Summary(const std::vector<kvxinfo::Run>& runs, const std::vector<std::string>& lines) {
  const auto at = [&](const std::string& line) {
    return std::to_string(std::find(lines.begin(), lines.end(), line) - lines.begin());
  };
  std::string text;
  for (const kvxinfo::Run& r : runs) {
    text += (text.empty() ? "" : "; ") + std::to_string(r.pid) + " " + r.mode + " " +
            r.start.substr(17) + "-" + r.end.substr(17) + (r.finished ? " exit " : " unfinished ") +
            std::to_string(r.exitStatus) + ":";
    for (const kvxinfo::RunInstance& i : r.instances)
      text += " " + i.product + " " + OutcomeText(i) + "@" + at(i.line);
    for (const std::string& error : r.errors) text += " !" + at(error);
  }
  return text;
}

// clang-format off
// status: LogStatus of the last run; statusAll: of every run.
struct LogCase { const char *name, *log, *runs; int status, statusAll; };
const LogCase kCases[] = {
    {"CleanUpdateOfTwo", "7 U|7 B|7 N 2|7 SU /a|7 Copy file x to /a/x, errno: 0|7 DU /a|7 SU /b|7 Info: copy the file(l) to (k). Error code is 0.|7 unlink /b/e, return 3.|7 DU /b", "7 update 00-10 exit 0: /a completed@6 /b completed@10", 0, 0},
    {"GateSkipsAndFails", "7 U|7 B|7 N 3|7 SU /a|7 DU /a|7 SU /b|7 The current program version is newer than that in this package. So quit. (Old,/b/program/V5.8.0.13:New,/b/program/V5.8.0.13/)|7 SU /c|7 The depent build isn't installed in the current server. (Current Build,12:Depent Build,11)", "7 update 00-09 exit 212: /a completed@5 /b skipped@7 /c failed@9", 1, 1},
    {"InterleavedPids", "88 U|4194304 U|88 B|4194304 B|88 N 1|4194304 N 1|88 SU /a|4194304 SU /a|88 The current hotfix version is newer than that in this package. So quit. (Old,/a/hotfix/B13:New,/a/program/V5.8.0.13/)|4194304 The build number of current hotfix is (12)|88 stat: over, uid is: 1001|4194304 DU /a", "88 update 00-10 exit 212: /a skipped@10; 4194304 update 01-13 exit 0: /a completed@13", 0, 1},
    {"KilledRunThenBannerOfSamePid", "7 R|7 B|7 N 1|7 SR /a|7 R|7 B|7 N 1|7 SR /a|7 Remove the old back up folder! (/a/hotfix/B13), error code [0]|7 DR /a", "7 hotfix rollback 00-04 unfinished -1: /a unfinished@4; 7 hotfix rollback 05-11 exit 0: /a completed@11", 0, 1},
    {"RollbackStopGivesUp", "7 R|7 B|7 N 1|7 SR /a|7 There 2 hotfixes installed.|7 Has try 10 times to stop KVX, but still failed, so give up.|7 Info:ParseKVXInsINI Begin.|7 Info:ParseKVXInsINI END.", "7 hotfix rollback 00-08 exit 212: /a failed@6", 1, 1},
    {"ErrorOfEveryKind", "7 U|7 B|7 N 1|7 SU /a|7 Error: Cannot change name from (a) to (b).|7 Copy folder /a/* to /b/, errno: -4|7 rename from (k) to (k_1), error code is 13.|7 Info: copy the file(l) to (k). Error code is -2.|7 Run domino command fork error. 11|7 Remove the old back up folder! (/h), error code [-5]|7 unlink /e, return -2.|7 DU /a", "7 update 00-12 exit 0: /a completed@12 !5 !6 !7 !8 !9 !10 !11", 1, 1},
    {"EngineLastInstanceDecides", "7 E|7 B|7 N 2|7 argv[2] is ALDER, argv[3] is v1|7 argv[4] is birch, argv[5] is V2|7 SE /a/engine/alder/V1|7 DE /a/engine/alder/V1|7 SE /a/engine/birch/V2|7 Error: Only one version of this engine exist, can not rollback|7 Info:ParseKVXInsINI Begin.|7 argv[2] is alder, argv[3] is V1|7 argv[4] is birch, argv[5] is V2|7 SE /b/engine/alder/V1|7 Has try 10 times to stop KVX, but still failed, so give up.|7 SE /b/engine/birch/V2|7 Error: The engine folder doesn't exist. (/b/engine/birch/V2)", "7 engine rollback 00-16 exit 212: /a completed@7 /b skipped@16 !9 !16", 1, 1},
    {"NoModeAfterRunOfSamePid", "7 U|7 B|7 N 1|7 SU /a|7 DU /a|7 B|7 N 1|7 Cannot open the file. (/FileGroup1/kvxpatch.ini)", "7 update 00-05 exit 0: /a completed@5; 7 none 06-09 exit 212:", 1, 1},
    {"EarlyRegistryEnds", "7 U|7 B|7 Error: Cannot find the kvxsys.ini in '/etc/kvxsysV3.ini' !|7 Parsing kvxsys.ini error.|8 R|8 B|8 No 64-bit KVX 5.8 installed.", "7 update 00-04 exit 212: !3; 8 hotfix rollback 05-08 exit 212:", 1, 1},
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

INSTANTIATE_TEST_SUITE_P(Excerpts, RunLog, ::testing::ValuesIn(kCases),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
