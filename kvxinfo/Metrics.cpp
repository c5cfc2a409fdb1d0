// The exposition format: every family once, with its HELP and TYPE lines
// and then all of its samples, as the textfile collector demands. All are
// gauges: each value is a reading of the host as it is now, none a count
// that only grows.
#include "Metrics.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "DebugLog.h"
#include "Inventory.h"
#include "Verify.h"

namespace kvxinfo {
namespace {

using Labels = std::vector<std::pair<const char*, std::string>>;

std::string Escaped(const std::string& value) {
  std::string text;
  for (const char c : value) {
    if (c == '\\' || c == '"') text += '\\';
    text += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return text;
}

class Exposition {
 public:
  void Family(const char* name, const char* help) {
    name_ = name;
    text_ += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
  }
  void Sample(const Labels& labels, const std::string& value) {
    text_ += name_;
    for (std::size_t i = 0; i < labels.size(); ++i)
      text_ +=
          (i ? "," : "{") + std::string(labels[i].first) + "=\"" + Escaped(labels[i].second) + "\"";
    text_ += (labels.empty() ? " " : "} ") + value + "\n";
  }
  void Sample(const Labels& labels, long long value) { Sample(labels, std::to_string(value)); }
  const std::string& text() const { return text_; }

 private:
  std::string name_;
  std::string text_;
};

// The log's local "YYYY/MM/DD HH:MM:SS" as seconds since the epoch.
long long EpochOf(const std::string& stamp) {
  struct tm local {};
  if (std::sscanf(stamp.c_str(), "%d/%d/%d %d:%d:%d", &local.tm_year, &local.tm_mon, &local.tm_mday,
                  &local.tm_hour, &local.tm_min, &local.tm_sec) != 6)
    return 0;
  local.tm_year -= 1900;
  local.tm_mon -= 1;
  local.tm_isdst = -1;
  return static_cast<long long>(std::mktime(&local));
}

bool IsNumber(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

void PrintBuilds(Exposition& out, const Inventory& inventory) {
  out.Family("kvx_program_build", "Build of the instance's newest program folder.");
  for (const InstanceView& i : inventory.instances)
    if (IsNumber(i.programBuild))
      out.Sample({{"kvx_instance", i.name}}, std::stoll(i.programBuild));
  out.Family("kvx_hotfix_build", "Build of the instance's newest hotfix folder, 0 when none.");
  for (const InstanceView& i : inventory.instances)
    out.Sample({{"kvx_instance", i.name}}, i.hotfixBuild);
  out.Family("kvx_engine_info",
             "An engine's newest installed version, and the folder its latest link names (\"\" "
             "without a link).");
  for (const InstanceView& i : inventory.instances)
    for (const EngineView& e : i.engines)
      out.Sample({{"kvx_instance", i.name},
                  {"engine", e.name},
                  {"installed", e.newest},
                  {"latest", e.latest}},
                 1);
}

void PrintPartitions(Exposition& out, const Inventory& inventory) {
  out.Family("kvx_server_up", "1 when the partition's Domino server runs.");
  for (const InstanceView& i : inventory.instances)
    for (const PartitionView& p : i.partitions)
      out.Sample({{"kvx_instance", i.name}, {"partition", p.name}}, p.serverRuns ? 1 : 0);
  out.Family("kvx_tasks_running", "KVX tasks running in the partition's server.");
  for (const InstanceView& i : inventory.instances)
    for (const PartitionView& p : i.partitions)
      out.Sample({{"kvx_instance", i.name}, {"partition", p.name}},
                 static_cast<long long>(p.runningTasks.size()));
}

// One sample per instance and check, 0 where the check passed, so that an
// alert can tell a passing check from one that was not made.
void PrintVerifyRows(Exposition& out, const Verification& verification, CheckResult result) {
  std::vector<std::pair<std::string, std::string>> keys;  // in the order verify made them
  std::vector<long long> counts;
  for (const CheckRow& row : verification.rows) {
    const std::pair<std::string, std::string> key(row.instance, row.check);
    std::size_t at = 0;
    while (at < keys.size() && keys[at] != key) ++at;
    if (at == keys.size()) {
      keys.push_back(key);
      counts.push_back(0);
    }
    counts[at] += row.result == result ? 1 : 0;
  }
  for (std::size_t i = 0; i < keys.size(); ++i)
    out.Sample({{"kvx_instance", keys[i].first}, {"check", keys[i].second}}, counts[i]);
}

void PrintVerification(Exposition& out, const Verification& verification) {
  out.Family("kvx_verify_failures", "Failed rows of kvxinfo verify, by check.");
  PrintVerifyRows(out, verification, CheckResult::kFailed);
  out.Family("kvx_verify_warnings", "Warning rows of kvxinfo verify, by check.");
  PrintVerifyRows(out, verification, CheckResult::kWarning);
  if (verification.packageFolder.empty()) return;
  out.Family("kvx_package_applied",
             "1 when the named package is fully applied to the instance, 0 when not.");
  for (const auto& [instance, applied] : verification.applied)
    out.Sample(
        {{"kvx_instance", instance}, {"package_build", std::to_string(verification.packageBuild)}},
        applied ? 1 : 0);
}

// The host's last installer run; nothing when the logs hold none.
void PrintLastRun(Exposition& out, const std::vector<Run>& runs) {
  if (runs.empty()) return;
  const Run& last = runs.back();
  out.Family("kvx_last_run_info", "The last installer run's mode and process id.");
  out.Sample({{"mode", last.mode}, {"pid", std::to_string(last.pid)}}, 1);
  out.Family("kvx_last_run_start_timestamp_seconds", "When the last installer run began.");
  out.Sample({}, EpochOf(last.start));
  out.Family("kvx_last_run_end_timestamp_seconds", "When the last installer run last logged.");
  out.Sample({}, EpochOf(last.end));
  out.Family("kvx_last_run_finished",
             "1 when the last installer run finished, 0 while it runs or after it was killed.");
  out.Sample({}, last.finished ? 1 : 0);
  if (!last.finished) return;
  out.Family("kvx_last_run_exit_status", "The exit status of the last installer run.");
  out.Sample({}, last.exitStatus);
}

}  // namespace

std::vector<std::string> NewestDayLogs() {
  namespace fs = std::filesystem;
  const std::string prefix = std::string(kLogName) + "_";
  std::vector<std::string> paths;
  std::error_code ec;
  for (fs::directory_iterator it(kLogFolder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() == prefix.size() + 12 && name.compare(0, prefix.size(), prefix) == 0 &&
        IsNumber(name.substr(prefix.size(), 8)) && name.compare(prefix.size() + 8, 4, ".dbg") == 0)
      paths.push_back(it->path().string());
  }
  std::sort(paths.begin(), paths.end());  // the day is the name's only variable part
  if (paths.size() > 2) paths.erase(paths.begin(), paths.end() - 2);
  return paths;
}

Scrape ReadScrape(const std::string& packageFolder, const std::vector<std::string>& logPaths) {
  const auto start = std::chrono::steady_clock::now();
  Scrape scrape;
  scrape.inventory = ReadInventory();
  scrape.verification = VerifyHost(packageFolder);
  std::stringstream log;
  for (const std::string& path : logPaths) log << std::ifstream(path).rdbuf();
  scrape.runs = ReadRuns(log);
  scrape.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return scrape;
}

bool PrintMetrics(std::FILE* out, const Scrape& scrape) {
  const bool read = scrape.inventory.status == kExitOk && scrape.verification.error.empty();
  Exposition text;
  text.Family("kvxinfo_scrape_success",
              "1 when kvxinfo read the instance registry and, when named, the package.");
  text.Sample({}, read ? 1 : 0);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.6f", scrape.seconds);
  text.Family("kvxinfo_scrape_duration_seconds", "How long kvxinfo took to read the host.");
  text.Sample({}, seconds);
  if (read) {
    PrintBuilds(text, scrape.inventory);
    PrintPartitions(text, scrape.inventory);
    PrintVerification(text, scrape.verification);
  }
  PrintLastRun(text, scrape.runs);
  std::fputs(text.text().c_str(), out);
  return std::fflush(out) == 0 && !std::ferror(out);
}

}  // namespace kvxinfo
