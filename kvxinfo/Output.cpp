// Text and JSON forms of the views. Text rows put the value at one column
// whatever the indent, so a screen of instances reads as a table; JSON keeps
// every value a script may test under a fixed key.
#include "Output.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <vector>

namespace kvxinfo {
namespace {

constexpr int kValueColumn = 20;

std::string Join(const std::vector<std::string>& items, const char* separator) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

std::string Bytes(std::uint64_t bytes) {
  const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1024 && unit < 4) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit ? "%.1f %s" : "%.0f %s", value, units[unit]);
  return text;
}

void Row(std::FILE* out, int indent, const std::string& label, const std::string& value) {
  const int width = kValueColumn - indent - 1;
  std::fprintf(out, "%*s%-*s %s\n", indent, "", width, label.c_str(), value.c_str());
}

using Json = nlohmann::ordered_json;

// "" is printed as null: a script tests for a missing value, not for "".
Json Nullable(const std::string& text) { return text.empty() ? Json() : Json(text); }

// Paths are bytes, not always UTF-8: such bytes are replaced, not refused.
void Print(std::FILE* out, const Json& json) {
  const std::string text = json.dump(2, ' ', false, Json::error_handler_t::replace);
  std::fprintf(out, "%s\n", text.c_str());
}

const char* ResultName(CheckResult r) {
  switch (r) {
    case CheckResult::kOk:
      return "ok";
    case CheckResult::kWarning:
      return "warning";
    case CheckResult::kFailed:
      return "failed";
  }
  return "";
}

std::string EngineSummary(const EngineView& e) {
  std::string text = e.versions.empty() ? "no version folder" : Join(e.versions, ", ");
  text += e.latest.empty() ? "; no latest link" : "; latest -> " + e.latest;
  if (e.newest != e.latest)
    text += "; the installer takes " + (e.newest.empty() ? "none" : e.newest);
  return text;
}

const char* DecisionName(Decision d) {
  switch (d) {
    case Decision::kApplies:
      return "applies";
    case Decision::kSkipped:
      return "skipped";
    case Decision::kFails:
      return "fails";
  }
  return "";
}

const char* ActionName(EngineAction a) {
  switch (a) {
    case EngineAction::kUpdate:
      return "update";
    case EngineAction::kCurrent:
      return "current";
    case EngineAction::kNotInstalled:
      return "not installed";
    case EngineAction::kNotInPackage:
      return "not in package";
  }
  return "";
}

std::string EngineStep(const EnginePlan& e) {
  switch (e.action) {
    case EngineAction::kUpdate:
      return e.installed + " -> " + e.offered;
    case EngineAction::kCurrent:
      return e.installed + ", package has " + e.offered + ": kept";
    case EngineAction::kNotInstalled:
      return e.offered.empty() ? "not installed" : "not installed: " + e.offered + " is not added";
    case EngineAction::kNotInPackage:
      break;
  }
  return e.installed + ", not in package";
}

}  // namespace

void PrintInventoryText(std::FILE* out, const Inventory& inventory) {
  bool first = true;
  for (const InstanceView& ins : inventory.instances) {
    if (!first) std::fputc('\n', out);
    first = false;
    Row(out, 0, "instance", ins.name);
    Row(out, 2, "product path", ins.productPath);
    Row(out, 2, "version", ins.version);
    Row(out, 2, "install type", ins.installType);
    std::string program =
        ins.programBuild.empty() ? "none" : ins.programBuild + " (" + ins.programDir + ")";
    program += ins.programLatest.empty() ? "; no latest link" : "; latest -> " + ins.programLatest;
    Row(out, 2, "program build", program);
    Row(out, 2, "hotfix build",
        ins.hotfixBuild ? std::to_string(ins.hotfixBuild) + " (" + ins.hotfixDir + ")" : "none");
    if (ins.engines.empty()) Row(out, 2, "engines", "none");
    for (const EngineView& e : ins.engines) Row(out, 2, "engine " + e.name, EngineSummary(e));
    for (const PartitionView& par : ins.partitions) {
      Row(out, 2, "partition " + par.name, par.notesIni);
      Row(out, 4, "owner", par.ownerExists ? par.owner : par.owner + " (no account)");
      Row(out, 4, "data folder", par.dataDir);
      Row(out, 4, "program folder", par.binDir);
      Row(out, 4, "server", par.serverRuns ? "running" : "not running");
      Row(out, 4, "KVX tasks", par.runningTasks.empty() ? "none" : Join(par.runningTasks, " "));
      Row(out, 4, "databases", par.databasesPresent ? "present" : par.databaseProblem);
    }
  }
}

void PrintInventoryJson(std::FILE* out, const Inventory& inventory) {
  Json instances = Json::array();
  for (const InstanceView& ins : inventory.instances) {
    Json engines = Json::array();
    for (const EngineView& e : ins.engines)
      engines.push_back({{"name", e.name},
                         {"versions", e.versions},
                         {"newest", Nullable(e.newest)},
                         {"latest", Nullable(e.latest)}});
    Json partitions = Json::array();
    for (const PartitionView& par : ins.partitions)
      partitions.push_back({{"name", par.name},
                            {"notes_ini", par.notesIni},
                            {"owner", par.owner},
                            {"owner_exists", par.ownerExists},
                            {"data_folder", par.dataDir},
                            {"program_folder", par.binDir},
                            {"server_running", par.serverRuns},
                            {"tasks_running", par.runningTasks},
                            {"databases_present", par.databasesPresent},
                            {"database_problem", Nullable(par.databaseProblem)}});
    instances.push_back({{"name", ins.name},
                         {"product_path", ins.productPath},
                         {"version", ins.version},
                         {"install_type", ins.installType},
                         {"program_folder", Nullable(ins.programDir)},
                         {"program_build", Nullable(ins.programBuild)},
                         {"program_latest", Nullable(ins.programLatest)},
                         {"hotfix_folder", Nullable(ins.hotfixDir)},
                         {"hotfix_build", ins.hotfixBuild},
                         {"engines", engines},
                         {"partitions", partitions}});
  }
  Print(out, {{"instances", instances}});
}

void PrintPlanText(std::FILE* out, const Plan& plan) {
  Row(out, 0, "package", plan.packageFolder + " (build " + std::to_string(plan.packageBuild) + ")");
  if (!plan.settingsProblem.empty()) Row(out, 0, "package problem", plan.settingsProblem);
  Row(out, 0, "UPDSilent exit", std::to_string(plan.installerExit));
  for (const InstancePlan& p : plan.instances) {
    std::fputc('\n', out);
    std::string decision = DecisionName(p.decision);
    if (!p.gate.empty()) decision += " (" + p.gate + ")";
    if (p.decision == Decision::kFails && p.installerOutcome == InstanceOutcome::kCompleted)
      decision += "; UPDSilent would report it completed";
    Row(out, 0, "instance " + p.name, decision);
    if (!p.reason.empty()) Row(out, 2, "reason", p.reason);
    for (const std::string& d : p.details) Row(out, 2, "", d);
    Row(out, 2, "program build", p.programBuild.empty() ? "none" : p.programBuild);
    Row(out, 2, "hotfix build", p.hotfixBuild ? std::to_string(p.hotfixBuild) : "none");
    if (p.installerOutcome != InstanceOutcome::kCompleted) continue;
    Row(out, 2, "style", (p.newFolder ? "new program folder " : "in place in ") + p.targetDir);
    Row(out, 2, "files", Join(p.files, " "));
    Row(out, 2, "backup to", p.backupDir);
    const std::string where = "in " + std::to_string(p.partitions.size()) + " partition(s)";
    Row(out, 2, "loader", p.loader ? "9 task programs replaced " + where : "not updated");
    Row(out, 2, "extension manager", p.extensionManager ? "replaced " + where : "not updated");
    for (const EnginePlan& e : p.engines) Row(out, 2, "engine " + e.name, EngineStep(e));
    Row(out, 2, "tasks restarted",
        p.restarted.empty() ? "none (no server runs)" : Join(p.restarted, " "));
    for (const SpaceCheck& c : p.space)
      Row(out, 2, "free space",
          "file system of " + c.folder + ": needs " + Bytes(c.needed) + ", " + Bytes(c.available) +
              " free (" + c.uses + ")");
  }
}

void PrintPlanJson(std::FILE* out, const Plan& plan) {
  Json instances = Json::array();
  for (const InstancePlan& p : plan.instances) {
    Json instance = {{"name", p.name},
                     {"product_path", p.productPath},
                     {"decision", DecisionName(p.decision)},
                     {"installer_outcome", OutcomeName(p.installerOutcome)},
                     {"gate", Nullable(p.gate)},
                     {"reason", Nullable(p.reason)},
                     {"details", p.details},
                     {"program_build", Nullable(p.programBuild)},
                     {"hotfix_build", p.hotfixBuild}};
    if (p.installerOutcome == InstanceOutcome::kCompleted) {
      Json engines = Json::array();
      for (const EnginePlan& e : p.engines)
        engines.push_back({{"name", e.name},
                           {"installed", Nullable(e.installed)},
                           {"offered", Nullable(e.offered)},
                           {"action", ActionName(e.action)}});
      Json space = Json::array();
      for (const SpaceCheck& c : p.space)
        space.push_back({{"folder", c.folder},
                         {"needed", c.needed},
                         {"available", c.available},
                         {"uses", c.uses}});
      instance["style"] = p.newFolder ? "new program folder" : "in place";
      instance["target_folder"] = p.targetDir;
      instance["backup_folder"] = p.backupDir;
      instance["files"] = p.files;
      instance["loader"] = p.loader;
      instance["extension_manager"] = p.extensionManager;
      instance["program_folders"] = p.partitions;
      instance["tasks_restarted_in"] = p.restarted;
      instance["engines"] = engines;
      instance["space"] = space;
    }
    instances.push_back(instance);
  }
  Print(out, {{"package", plan.packageFolder},
              {"package_build", plan.packageBuild},
              {"package_problem", Nullable(plan.settingsProblem)},
              {"installer_exit", plan.installerExit},
              {"status", plan.status},
              {"instances", instances}});
}

void PrintVerificationText(std::FILE* out, const Verification& verification) {
  if (!verification.packageFolder.empty())
    Row(out, 0, "package",
        verification.packageFolder + " (build " + std::to_string(verification.packageBuild) + ")");
  std::string instance;
  for (const CheckRow& row : verification.rows) {
    if (row.instance != instance) {
      instance = row.instance;
      Row(out, 0, "instance", instance);
    }
    std::fprintf(out, "  %-7s %-32s %s\n", ResultName(row.result), row.check.c_str(),
                 row.detail.c_str());
  }
}

void PrintVerificationJson(std::FILE* out, const Verification& verification) {
  Json checks = Json::array();
  int failed = 0;
  int warnings = 0;
  for (const CheckRow& row : verification.rows) {
    failed += row.result == CheckResult::kFailed;
    warnings += row.result == CheckResult::kWarning;
    checks.push_back({{"instance", row.instance},
                      {"check", row.check},
                      {"result", ResultName(row.result)},
                      {"detail", row.detail}});
  }
  const bool package = !verification.packageFolder.empty();
  Print(out, {{"package", Nullable(verification.packageFolder)},
              {"package_build", package ? Json(verification.packageBuild) : Json()},
              {"status", verification.status},
              {"failed", failed},
              {"warnings", warnings},
              {"checks", checks}});
}

void PrintRunsText(std::FILE* out, const std::string& path, const std::vector<Run>& runs,
                   int /*status*/) {
  Row(out, 0, "log", path + (runs.empty() ? ": no run" : ""));
  for (const Run& run : runs) {
    std::fputc('\n', out);
    Row(out, 0, "run " + std::to_string(run.pid), run.mode + ", " + run.start + " to " + run.end);
    Row(out, 2, "exit",
        run.finished ? std::to_string(run.exitStatus) : "none: the run did not finish (killed?)");
    for (const RunInstance& ins : run.instances) {
      const bool completed = ins.outcome == InstanceOutcome::kCompleted;
      Row(out, 2, OutcomeText(ins), completed ? ins.product : ins.product + ": " + ins.line);
    }
    for (const std::string& error : run.errors) Row(out, 2, "error", error);
  }
}

void PrintRunsJson(std::FILE* out, const std::string& path, const std::vector<Run>& runs,
                   int status) {
  Json list = Json::array();
  for (const Run& run : runs) {
    Json instances = Json::array();
    for (const RunInstance& ins : run.instances)
      instances.push_back(
          {{"product", Nullable(ins.product)}, {"outcome", OutcomeText(ins)}, {"line", ins.line}});
    list.push_back({{"pid", run.pid},
                    {"start", run.start},
                    {"end", run.end},
                    {"mode", run.mode},
                    {"finished", run.finished},
                    {"exit", run.finished ? Json(run.exitStatus) : Json()},
                    {"instances", instances},
                    {"errors", run.errors}});
  }
  Print(out, {{"file", path}, {"status", status}, {"runs", list}});
}

void PrintErrorJson(std::FILE* out, const std::string& error, int status) {
  Print(out, {{"error", error}, {"status", status}});
}

}  // namespace kvxinfo
