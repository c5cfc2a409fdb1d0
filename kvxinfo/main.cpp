// kvxinfo: what is installed, what an update package would do to it, whether
// a run left the host as a completed run must, and what the runs of a day
// logged; read through the installer's own functions, changing nothing.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CapturedLog.h"
#include "DebugLog.h"
#include "Inventory.h"
#include "Metrics.h"
#include "Output.h"
#include "Plan.h"
#include "RunLog.h"
#include "Verify.h"

namespace {

constexpr char kDescription[] =
    "Reads /etc/kvxsysV3.ini, the product trees and the installer's debug log; changes nothing "
    "and writes no log.";
constexpr char kExitStatuses[] =
    "Exit status: 0 ok; 1 the plan fails for an instance, verify found a failure, or a run in "
    "the log failed; 2 no instance would be updated, or the log holds no run; 3 no KVX 5.8 "
    "64-bit instance can be read; 4 the package cannot be read; 64 usage.";

int Fail(bool json, const std::string& error, int status) {
  if (json)
    kvxinfo::PrintErrorJson(stdout, error, status);
  else
    std::fprintf(stderr, "kvxinfo: %s\n", error.c_str());
  return status;
}

int ShowInventory(bool json) {
  const kvxinfo::Inventory inventory = kvxinfo::ReadInventory();
  if (inventory.status != kvxinfo::kExitOk) return Fail(json, inventory.error, inventory.status);
  (json ? kvxinfo::PrintInventoryJson : kvxinfo::PrintInventoryText)(stdout, inventory);
  return kvxinfo::kExitOk;
}

int ShowPlan(bool json, const std::string& package) {
  const kvxinfo::Plan plan = kvxinfo::BuildPlan(package);
  if (!plan.error.empty()) return Fail(json, plan.error, plan.status);
  (json ? kvxinfo::PrintPlanJson : kvxinfo::PrintPlanText)(stdout, plan);
  return plan.status;
}

int ShowVerification(bool json, const std::string& package) {
  const kvxinfo::Verification verification = kvxinfo::VerifyHost(package);
  if (!verification.error.empty()) return Fail(json, verification.error, verification.status);
  (json ? kvxinfo::PrintVerificationJson : kvxinfo::PrintVerificationText)(stdout, verification);
  return verification.status;
}

// The installer's log of the given day, today's when day is "".
std::string DayLog(std::string day) {
  if (day.empty()) {
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    char today[16];
    std::strftime(today, sizeof today, "%Y%m%d", &local);
    day = today;
  }
  return DayLogPath(day);
}

// The files are read as one log, in the order given: a run that crossed
// midnight began in one day's file and goes on in the next.
int ShowRuns(bool json, const std::vector<std::string>& paths, int pid, int last) {
  std::stringstream log;
  std::string shown;
  for (const std::string& path : paths) {
    std::ifstream file(path);
    if (!file) return Fail(json, "cannot read " + path, kvxinfo::kLogNoRun);
    log << file.rdbuf();
    shown += (shown.empty() ? "" : " ") + path;
  }
  std::vector<kvxinfo::Run> runs = kvxinfo::ReadRuns(log);
  if (pid > 0)
    runs.erase(std::remove_if(runs.begin(), runs.end(),
                              [pid](const kvxinfo::Run& run) { return run.pid != pid; }),
               runs.end());
  const int status = kvxinfo::LogStatus(runs, last);
  (json ? kvxinfo::PrintRunsJson : kvxinfo::PrintRunsText)(stdout, shown, runs, status);
  return status;
}

// Prints even when the host cannot be read (kvxinfo_scrape_success says so):
// monitoring must see a broken host, not a missing file.
int ShowMetrics(bool json, const std::string& package) {
  if (json) return Fail(false, "metrics has no JSON form", kvxinfo::kExitUsage);
  const kvxinfo::Scrape scrape = kvxinfo::ReadScrape(package, kvxinfo::NewestDayLogs());
  if (!kvxinfo::PrintMetrics(stdout, scrape))
    return Fail(false, "cannot write the metrics", kvxinfo::kExitPlanFails);
  return kvxinfo::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  kvxinfo::CaptureInstallerLog();
  CLI::App app(kDescription, "kvxinfo");
  app.footer(kExitStatuses);
  app.fallthrough();  // --json also after the subcommand
  app.require_subcommand(0, 1);
  bool json = false;
  app.add_flag("--json", json, "print JSON instead of text");

  std::string planPackage;
  CLI::App* plan = app.add_subcommand("plan", "what UPDSilent would do with a package");
  plan->add_option("package", planPackage, "the folder that holds FileGroup1")->required();

  std::string verifyPackage;
  CLI::App* verify = app.add_subcommand(
      "verify", "whether every instance is healthy and, with a package, fully updated");
  verify->add_option("package", verifyPackage, "the folder that holds FileGroup1");

  std::string logDay;
  std::vector<std::string> logFiles;
  int logPid = 0;
  int logLast = 1;
  CLI::App* log = app.add_subcommand("log", "the runs of a day in the installer's debug log");
  CLI::Option* dayOption = log->add_option("--date", logDay, "the day, YYYYMMDD (default: today)");
  dayOption->check(CLI::Validator(
      [](std::string& day) {
        const bool ok = day.size() == 8 && day.find_first_not_of("0123456789") == std::string::npos;
        return ok ? std::string() : "the day is YYYYMMDD";
      },
      "YYYYMMDD"));
  log->add_option("--file", logFiles,
                  "a debug log to read instead of the day's; several are read as one, in order")
      ->excludes(dayOption);
  log->add_option("--pid", logPid, "only the run of this installer process")
      ->check(CLI::PositiveNumber);
  log->add_option("--last", logLast, "judge the N last runs (default 1)")
      ->check(CLI::PositiveNumber);

  std::string metricsPackage;
  CLI::App* metrics = app.add_subcommand(
      "metrics", "the host's state for Prometheus's textfile collector, on standard output");
  metrics->add_option("--package", metricsPackage,
                      "also whether the package in this folder is fully applied");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);  // prints the help, or the error and the usage
    return status == 0 ? kvxinfo::kExitOk : kvxinfo::kExitUsage;
  }
  if (*plan) return ShowPlan(json, planPackage);
  if (*verify) return ShowVerification(json, verifyPackage);
  if (*metrics) return ShowMetrics(json, metricsPackage);
  if (*log)
    return ShowRuns(json, logFiles.empty() ? std::vector<std::string>{DayLog(logDay)} : logFiles,
                    logPid, logLast);
  return ShowInventory(json);
}
