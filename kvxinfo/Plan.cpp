// The plan view. The decision for each instance is the installer's own:
// CheckUpdateGates runs on the same per-instance paths UPDSilent forms, and
// its verdict names the gate and the line the installer would log. What the
// gates let through is then checked for what the run will need and the
// installer never looks at: a run that finds a disk full or a package file
// missing carries on regardless, and in the in-place style that leaves a
// library missing from the program folder.
#include "Plan.h"

#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "CapturedLog.h"
#include "DecimalNumber.h"
#include "DominoState.h"
#include "EngineVersion.h"
#include "Gates.h"
#include "Inventory.h"
#include "KVXInsInfo.h"
#include "Package.h"
#include "PatchSetting.h"
#include "Porting.h"
#include "QoFileOpUtil.h"
#include "ScopedWorkDir.h"
#include "UpdateLayout.h"
#include "VersionFolder.h"

namespace kvxinfo {
namespace {

constexpr char kMissingPackageFile[] = "file missing in package: %s";
constexpr char kPackageFileNotAFile[] = "not a file in package: %s";
constexpr char kNoSpace[] = "not enough free space in %s for %s: needs %llu bytes, %llu free";
constexpr char kInPlaceLoss[] =
    "the in-place swap moves the old libraries aside before copying: a copy that fails leaves "
    "the library missing, and the aside copy is deleted after the restart";
constexpr char kNoOwner[] =
    "notes.ini owner of %s (uid %u) has no account: its console commands "
    "would not reach the server";
constexpr char kNoExtension[] =
    "extension manager: %s/libkvxext.so does not exist, the partitions keep theirs";

using kvxlayout::kExtName;
using kvxlayout::kLoaderName;

std::uint64_t FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// The names in szDlls, as the library swap walks them.
std::vector<std::string> ListedLibraries() {
  std::vector<std::string> names;
  for (const char* name : szDlls)
    if (name && *name) names.emplace_back(name);
  return names;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& n : names)
    if (n == name) return true;
  return false;
}

// Sums what the run writes per file system; a file system is known by the
// nearest existing folder above each target.
class SpaceLedger {
 public:
  void Add(const std::string& target, std::uint64_t bytes, const std::string& use) {
    if (bytes == 0) return;
    std::string folder = target;
    struct stat st {};
    while (::stat(folder.c_str(), &st) != 0 && folder.size() > 1) {
      const std::size_t slash = folder.find_last_of('/', folder.size() - 2);
      folder = slash == 0 || slash == std::string::npos ? "/" : folder.substr(0, slash);
    }
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0) return;
    const std::uint64_t block = fs.f_frsize ? fs.f_frsize : 4096;
    bytes = (bytes + block - 1) / block * block;
    for (Entry& e : entries_) {
      if (e.device != st.st_dev) continue;
      e.check.needed += bytes;
      if (e.check.uses.find(use) == std::string::npos) e.check.uses += ", " + use;
      return;
    }
    // Space kept for root is left out: a disk living on its reserve is no
    // place to start an update.
    entries_.push_back({st.st_dev, {folder, bytes, fs.f_bavail * block, use}});
  }
  std::vector<SpaceCheck> Checks() const {
    std::vector<SpaceCheck> checks;
    for (const Entry& e : entries_) checks.push_back(e.check);
    return checks;
  }

 private:
  struct Entry {
    dev_t device;
    SpaceCheck check;
  };
  std::vector<Entry> entries_;
};

// kvxinfo's own checks of what the run will need, after the gates.
enum class Need { kShellNames, kPackageFiles, kFreeSpace, kNotesIniOwner };

const char* NeedName(Need need) {
  switch (need) {
    case Need::kShellNames:
      return "shell-safe names";
    case Need::kPackageFiles:
      return "package files";
    case Need::kFreeSpace:
      return "free space";
    case Need::kNotesIniOwner:
      return "notes.ini owner";
  }
  return "";
}

struct Problem {
  Need need;
  std::string text;
};

class InstancePlanner {
 public:
  InstancePlanner(const std::string& packageFolder, InstallInfo& info, _PatchSetting& setting)
      : packageFolder_(packageFolder), info_(info), setting_(setting) {}

  InstancePlan Plan(KVXNInsInfo& ins) {
    InstancePlan plan;
    plan.name = ins.strInsName;
    plan.productPath = ins.strProductPath;
    InstancePaths paths;
    FillInstancePaths(ins.strProductPath.c_str(), setting_, paths);
    ClearCapturedLog();
    const GateVerdict verdict = CheckUpdateGates(ins, setting_, paths);
    const std::vector<std::string> lines = CapturedLog();
    if (const char* build = TextAfterLast(paths.szCurProgramDir, '.')) plan.programBuild = build;
    RemoveTrailingSeparator(paths.szCurHotfixDir);
    if (const char* build = TextAfterLast(paths.szCurHotfixDir, 'B'))
      plan.hotfixBuild = ReadDecimal32(build);

    plan.installerOutcome = verdict.outcome;
    if (!verdict.Passed()) {
      plan.decision =
          verdict.outcome == InstanceOutcome::kFailed ? Decision::kFails : Decision::kSkipped;
      plan.reason = verdict.line;
      plan.gate = GateName(verdict.gate);
      // The database gate names the missing file in the line before.
      if (verdict.gate == Gate::kDatabases && lines.size() >= 2)
        plan.details.push_back(lines[lines.size() - 2]);
      return plan;
    }
    plan.decision = Decision::kApplies;
    Describe(ins, paths, plan);
    CheckNeeds(ins, paths, plan);
    return plan;
  }

 private:
  void Describe(const KVXNInsInfo& ins, const InstancePaths& paths, InstancePlan& plan) {
    plan.newFolder = setting_.iCreateNewFolder != 0;
    plan.targetDir = plan.newFolder ? paths.szNewProgramDir : paths.szCurProgramDir;
    plan.backupDir = paths.szBackupDir;
    plan.files = plan.newFolder ? ListedFiles(setting_) : ListedLibraries();
    plan.loader = setting_.iUpdateLoader != 0;
    plan.extensionManager = setting_.bUpdateExt != 0;
    const std::vector<std::string> names = _split(ins.strDomSvrSecs, ",");
    for (std::size_t i = 0; i < ins.vecParInfo.size(); ++i) {
      KVXNParInfo par = ins.vecParInfo[i];
      plan.partitions.push_back(par.strBinDir);
      if (isDominoServerRunning(&par, nullptr))
        plan.restarted.push_back(i < names.size() ? names[i] : par.strNotesIni);
    }
    for (int type = 0; type < kEngineTypeCount; ++type)
      plan.engines.push_back(PlanEngine(plan.productPath, type, packageFolder_));
    if (plan.extensionManager && !QoKVXFileOpUtil::isExist(NewProgramFile(paths, kExtName).c_str()))
      plan.details.push_back(Format(kNoExtension, plan.targetDir.c_str()));
  }

  // Where a program file of the build after the update comes from: the
  // package when it carries the file, the current program folder otherwise.
  std::string NewProgramFile(const InstancePaths& paths, const std::string& name) const {
    const std::vector<std::string> fromPackage =
        setting_.iCreateNewFolder ? ListedFiles(setting_) : ListedLibraries();
    if (Contains(fromPackage, name)) return kvxlayout::FileIn(info_.strPackagePath, name);
    return kvxlayout::FileIn(paths.szCurProgramDir, name);
  }

  void CheckNeeds(const KVXNInsInfo& ins, const InstancePaths& paths, InstancePlan& plan) {
    std::vector<Problem> problems;
    std::vector<std::string> hazards = InstanceShellHazards(ins, paths.szCurProgramDir);
    for (const std::string& line : PackageShellHazards(setting_)) hazards.push_back(line);
    for (const std::string& line : hazards) problems.push_back({Need::kShellNames, line});
    for (const std::string& name : plan.files) {
      const std::string source = info_.strPackagePath + "/" + name;
      // A folder opens for reading too, but the copy of it fails.
      struct stat st {};
      if (!QoKVXFileOpUtil::exist(source.c_str()))
        problems.push_back({Need::kPackageFiles, Format(kMissingPackageFile, source.c_str())});
      else if (::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        problems.push_back({Need::kPackageFiles, Format(kPackageFileNotAFile, source.c_str())});
    }
    for (const SpaceCheck& c : Space(ins, paths, plan).Checks()) {
      plan.space.push_back(c);
      if (c.needed <= c.available) continue;
      problems.push_back({Need::kFreeSpace, Format(kNoSpace, c.folder.c_str(), c.uses.c_str(),
                                                   static_cast<unsigned long long>(c.needed),
                                                   static_cast<unsigned long long>(c.available))});
    }
    for (const KVXNParInfo& par : ins.vecParInfo) {
      struct stat st {};
      if (::stat(par.strNotesIni.c_str(), &st) == 0 && ::getpwuid(st.st_uid) == nullptr)
        problems.push_back({Need::kNotesIniOwner, Format(kNoOwner, par.strNotesIni.c_str(),
                                                         static_cast<unsigned>(st.st_uid))});
    }
    if (problems.empty()) return;
    plan.decision = Decision::kFails;
    const Need first = problems.front().need;
    plan.gate = NeedName(first);
    plan.reason = problems.front().text;
    for (std::size_t i = 1; i < problems.size(); ++i) plan.details.push_back(problems[i].text);
    if (!plan.newFolder && (first == Need::kFreeSpace || first == Need::kPackageFiles))
      plan.details.push_back(kInPlaceLoss);
  }

  SpaceLedger Space(const KVXNInsInfo& ins, const InstancePaths& paths, const InstancePlan& plan) {
    SpaceLedger ledger;
    const std::string current = paths.szCurProgramDir;
    for (const std::string& name : ListedLibraries())
      ledger.Add(paths.szBackupDir, FileSize(kvxlayout::FileIn(current, name)), "backup");
    if (plan.newFolder) {
      const std::uint64_t whole = QoKVXFileOpUtil::getDirSize(current.c_str());
      if (whole != QoKVXFileOpUtil::kSizeError)
        ledger.Add(paths.szNewProgramDir, whole, "new program folder");
    }
    for (const std::string& name : plan.files)
      ledger.Add(plan.targetDir, FileSize(info_.strPackagePath + "/" + name),
                 plan.newFolder ? "new program folder" : "libraries copied in");
    for (const KVXNParInfo& par : ins.vecParInfo) {
      // Each replaced file stays aside beside its successor.
      if (plan.loader)
        ledger.Add(par.strBinDir,
                   std::size(szaLoader) * FileSize(NewProgramFile(paths, kLoaderName)),
                   "task programs");
      if (plan.extensionManager)
        ledger.Add(par.strBinDir, FileSize(NewProgramFile(paths, kExtName)), "extension manager");
    }
    // Describe planned the engines by type, in type order.
    for (int type = 0; type < static_cast<int>(plan.engines.size()); ++type) {
      const EnginePlan& engine = plan.engines[static_cast<std::size_t>(type)];
      if (engine.action != EngineAction::kUpdate) continue;
      const std::uint64_t size =
          QoKVXFileOpUtil::getDirSize(kvxlayout::EnginePackageFolder(packageFolder_, type).c_str());
      if (size != QoKVXFileOpUtil::kSizeError)
        ledger.Add(plan.productPath + "/" + kvxlayout::EngineSubFolder(type), size,
                   "engine " + engine.name);
    }
    ledger.Add(
        plan.productPath + "/hotfix",
        FileSize(kvxlayout::StagedPath(packageFolder_, kvxlayout::StagedFile::kInstaller)) +
            FileSize(kvxlayout::StagedPath(packageFolder_, kvxlayout::StagedFile::kSettings)),
        "hotfix record");
    return ledger;
  }

  const std::string& packageFolder_;
  InstallInfo& info_;
  _PatchSetting& setting_;
};

// What UPDSilent returns to the shell for these outcomes.
int InstallerExit(const std::vector<InstancePlan>& plans) {
  std::vector<InstanceOutcome> outcomes;
  for (const InstancePlan& p : plans) outcomes.push_back(p.installerOutcome);
  return RunResult(outcomes) & 0xff;
}

int PlanStatus(const Plan& plan) {
  bool applies = false;
  for (const InstancePlan& p : plan.instances) {
    if (p.decision == Decision::kFails) return kExitPlanFails;
    if (p.decision == Decision::kApplies) applies = true;
  }
  if (!plan.settingsProblem.empty()) return kExitPackageUnreadable;
  return applies ? kExitOk : kExitPlanNothing;
}

}  // namespace

Plan BuildPlan(const std::string& packageFolder) {
  Plan plan;
  Package package;
  plan.status = LoadPackage(packageFolder, package, plan.error);
  if (plan.status != kExitOk) return plan;
  plan.packageFolder = package.folder;
  plan.status = LoadRegistry(plan.error);
  if (plan.status != kExitOk) return plan;
  // The installer goes on with an unreadable package (build 0, so every
  // instance is skipped); the plan shows that and names the reason.
  plan.settingsProblem = package.settingsProblem;
  plan.packageBuild = package.setting.iBuildNumber;

  InstancePlanner planner(plan.packageFolder, package.info, package.setting);
  for (KVXNInsInfo& ins : g_lstKVXNIns) plan.instances.push_back(planner.Plan(ins));
  plan.installerExit = InstallerExit(plan.instances);
  plan.status = PlanStatus(plan);
  return plan;
}

}  // namespace kvxinfo
