// Text and JSON forms of the inventory and the plan. Text rows put the
// value at one column whatever the indent, so a screen of instances reads as
// a table; JSON keeps every value a script may test under a fixed key.
#include "kvxinfo/Output.h"

#include <cstdint>
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

// A small streaming writer: two-space indent, keys in the order written.
class Json {
 public:
  explicit Json(std::FILE* out) : out_(out) {}
  ~Json() { std::fputc('\n', out_); }
  void Open(const char* key, char bracket) {
    Key(key);
    std::fputc(bracket, out_);
    first_.push_back(true);
  }
  void Close(char bracket) {
    const bool empty = first_.back();
    first_.pop_back();
    if (!empty) Newline();
    std::fputc(bracket, out_);
  }
  void String(const char* key, const std::string& value) {
    Key(key);
    Quote(value);
  }
  void NullableString(const char* key, const std::string& value) {
    if (value.empty()) {
      Key(key);
      std::fputs("null", out_);
    } else {
      String(key, value);
    }
  }
  void Number(const char* key, long long value) {
    Key(key);
    std::fprintf(out_, "%lld", value);
  }
  void Bool(const char* key, bool value) {
    Key(key);
    std::fputs(value ? "true" : "false", out_);
  }
  void Strings(const char* key, const std::vector<std::string>& values) {
    Open(key, '[');
    for (const std::string& v : values) String(nullptr, v);
    Close(']');
  }

 private:
  void Newline() {
    std::fputc('\n', out_);
    for (std::size_t i = 0; i < first_.size(); ++i) std::fputs("  ", out_);
  }
  // A key inside an object, nothing inside an array or at the top.
  void Key(const char* key) {
    if (!first_.empty()) {
      if (!first_.back()) std::fputc(',', out_);
      first_.back() = false;
      Newline();
    }
    if (key) {
      Quote(key);
      std::fputs(": ", out_);
    }
  }
  void Quote(const std::string& text) {
    std::fputc('"', out_);
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\')
        std::fprintf(out_, "\\%c", c);
      else if (byte < 0x20)
        std::fprintf(out_, "\\u%04x", byte);
      else
        std::fputc(c, out_);
    }
    std::fputc('"', out_);
  }

  std::FILE* out_;
  std::vector<bool> first_;
};

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

std::string EngineStep(const EnginePlan& e) {
  if (e.action == "update") return e.installed + " -> " + e.offered;
  if (e.action == "current") return e.installed + ", package has " + e.offered + ": kept";
  if (e.action == "not installed")
    return e.offered.empty() ? "not installed" : "not installed: " + e.offered + " is not added";
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
  Json json(out);
  json.Open(nullptr, '{');
  json.Open("instances", '[');
  for (const InstanceView& ins : inventory.instances) {
    json.Open(nullptr, '{');
    json.String("name", ins.name);
    json.String("product_path", ins.productPath);
    json.String("version", ins.version);
    json.String("install_type", ins.installType);
    json.NullableString("program_folder", ins.programDir);
    json.NullableString("program_build", ins.programBuild);
    json.NullableString("program_latest", ins.programLatest);
    json.NullableString("hotfix_folder", ins.hotfixDir);
    json.Number("hotfix_build", ins.hotfixBuild);
    json.Open("engines", '[');
    for (const EngineView& e : ins.engines) {
      json.Open(nullptr, '{');
      json.String("name", e.name);
      json.Strings("versions", e.versions);
      json.NullableString("newest", e.newest);
      json.NullableString("latest", e.latest);
      json.Close('}');
    }
    json.Close(']');
    json.Open("partitions", '[');
    for (const PartitionView& par : ins.partitions) {
      json.Open(nullptr, '{');
      json.String("name", par.name);
      json.String("notes_ini", par.notesIni);
      json.String("owner", par.owner);
      json.Bool("owner_exists", par.ownerExists);
      json.String("data_folder", par.dataDir);
      json.String("program_folder", par.binDir);
      json.Bool("server_running", par.serverRuns);
      json.Strings("tasks_running", par.runningTasks);
      json.Bool("databases_present", par.databasesPresent);
      json.NullableString("database_problem", par.databaseProblem);
      json.Close('}');
    }
    json.Close(']');
    json.Close('}');
  }
  json.Close(']');
  json.Close('}');
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
  Json json(out);
  json.Open(nullptr, '{');
  json.String("package", plan.packageFolder);
  json.Number("package_build", plan.packageBuild);
  json.NullableString("package_problem", plan.settingsProblem);
  json.Number("installer_exit", plan.installerExit);
  json.Number("status", plan.status);
  json.Open("instances", '[');
  for (const InstancePlan& p : plan.instances) {
    json.Open(nullptr, '{');
    json.String("name", p.name);
    json.String("product_path", p.productPath);
    json.String("decision", DecisionName(p.decision));
    json.String("installer_outcome", OutcomeName(p.installerOutcome));
    json.NullableString("gate", p.gate);
    json.NullableString("reason", p.reason);
    json.Strings("details", p.details);
    json.NullableString("program_build", p.programBuild);
    json.Number("hotfix_build", p.hotfixBuild);
    if (p.installerOutcome == InstanceOutcome::kCompleted) {
      json.String("style", p.newFolder ? "new program folder" : "in place");
      json.String("target_folder", p.targetDir);
      json.String("backup_folder", p.backupDir);
      json.Strings("files", p.files);
      json.Bool("loader", p.loader);
      json.Bool("extension_manager", p.extensionManager);
      json.Strings("program_folders", p.partitions);
      json.Strings("tasks_restarted_in", p.restarted);
      json.Open("engines", '[');
      for (const EnginePlan& e : p.engines) {
        json.Open(nullptr, '{');
        json.String("name", e.name);
        json.NullableString("installed", e.installed);
        json.NullableString("offered", e.offered);
        json.String("action", e.action);
        json.Close('}');
      }
      json.Close(']');
      json.Open("space", '[');
      for (const SpaceCheck& c : p.space) {
        json.Open(nullptr, '{');
        json.String("folder", c.folder);
        json.Number("needed", static_cast<long long>(c.needed));
        json.Number("available", static_cast<long long>(c.available));
        json.String("uses", c.uses);
        json.Close('}');
      }
      json.Close(']');
    }
    json.Close('}');
  }
  json.Close(']');
  json.Close('}');
}

void PrintErrorJson(std::FILE* out, const std::string& error, int status) {
  Json json(out);
  json.Open(nullptr, '{');
  json.String("error", error);
  json.Number("status", status);
  json.Close('}');
}

}  // namespace kvxinfo
