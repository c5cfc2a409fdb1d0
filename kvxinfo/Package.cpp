#include "Package.h"

#include <limits.h>
#include <stdlib.h>

#include <cctype>
#include <cstdarg>
#include <cstring>

#include "CapturedLog.h"
#include "EngineVersion.h"
#include "Porting.h"
#include "QoFileOpUtil.h"

namespace kvxinfo {
namespace {

constexpr char kNoPackageFolder[] = "Cannot open the package folder. (%s)";

constexpr char kHazard[] =
    "%s \"%s\" holds %s: the installer passes it unquoted to root shell commands";

void AddHazard(std::vector<std::string>& lines, const char* what, const std::string& text) {
  const std::string hazard = ShellHazard(text);
  if (!hazard.empty()) lines.push_back(Format(kHazard, what, text.c_str(), hazard.c_str()));
}

std::string VersionText(const EngineVersion& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.build);
}

}  // namespace

std::string Format(const char* fmt, ...) {
  char text[4096];
  va_list ap;
  va_start(ap, fmt);
  qo_vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  return text;
}

int LoadPackage(const std::string& folder, Package& package, std::string& error) {
  char resolved[PATH_MAX];
  if (!::realpath(folder.c_str(), resolved) || !QoKVXFileOpUtil::isDir(resolved)) {
    error = Format(kNoPackageFolder, folder.c_str());
    return kExitPackageUnreadable;
  }
  package.folder = resolved;
  package.info.strPackagePath = package.folder + "/FileGroup1";
  ClearCapturedLog();
  if (ReadConfiguration(package.info, package.setting) != 0)
    package.settingsProblem = LastCapturedLine();
  ReadFileList(package.setting);
  ReadDBList(package.setting);
  return kExitOk;
}

std::vector<std::string> ListedFiles(const _PatchSetting& setting) {
  std::vector<std::string> names;
  for (const std::string& name : setting.lstFiles)
    if (!name.empty()) names.push_back(name);
  return names;
}

EnginePlan PlanEngine(const std::string& productPath, int type, const std::string& packageFolder) {
  EnginePlan plan;
  plan.name = kEngineNames[type];
  const InstalledEngine installed = ReadInstalledEngine(productPath.c_str(), type);
  if (installed.found) {
    plan.installedVersion = installed.version;
    plan.installed = VersionText(plan.installedVersion);
  }
  if (ReadOfferedEngine(packageFolder.c_str(), type, plan.offeredVersion))
    plan.offered = VersionText(plan.offeredVersion);
  if (!installed.found)
    plan.action = EngineAction::kNotInstalled;
  else if (plan.offered.empty())
    plan.action = EngineAction::kNotInPackage;
  else if (IsNewerEngine(plan.offeredVersion, plan.installedVersion))
    plan.action = EngineAction::kUpdate;
  else
    plan.action = EngineAction::kCurrent;
  return plan;
}

std::string ShellHazard(const std::string& text) {
  for (const char c : text) {
    if (c == ' ' || c == '\t') return "a blank";
    if (c == '\n') return "a line break";
    // DEL too: it is as invisible in a terminal or a log as the C0 codes.
    if (std::iscntrl(static_cast<unsigned char>(c))) return "a control character";
    if (std::strchr("|&;<>()$`\\\"'*?[]#~!{}", c)) return std::string("'") + c + "'";
  }
  return "";
}

std::vector<std::string> InstanceShellHazards(const KVXNInsInfo& instance,
                                              const std::string& programDir) {
  std::vector<std::string> lines;
  AddHazard(lines, "product path", instance.strProductPath);
  AddHazard(lines, "program folder", programDir);
  for (const KVXNParInfo& par : instance.vecParInfo)
    AddHazard(lines, "Domino program folder", par.strBinDir);
  return lines;
}

std::vector<std::string> PackageShellHazards(const _PatchSetting& setting) {
  std::vector<std::string> lines;
  for (const std::string& name : setting.lstFiles) AddHazard(lines, "listed file", name);
  for (const std::string& name : setting.lstDatabases) AddHazard(lines, "listed database", name);
  return lines;
}

}  // namespace kvxinfo
