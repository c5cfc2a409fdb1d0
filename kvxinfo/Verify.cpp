// The verify view. Without a package it audits every instance the way a
// package manager finds half-installed packages: links that dangle or lag,
// aside files a swap left, hotfix records a killed run cut short, partitions
// the next run could not reach. With a package it also checks, file by file,
// that the package is applied as a completed update leaves it.
#include "Verify.h"

#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>

#include "CapturedLog.h"
#include "DecimalNumber.h"
#include "DominoState.h"
#include "EngineVersion.h"
#include "Gates.h"
#include "Inventory.h"
#include "KVXInsInfo.h"
#include "Package.h"
#include "QoFileOpUtil.h"
#include "UpdateLayout.h"
#include "VersionFolder.h"

namespace kvxinfo {
namespace {

namespace fs = std::filesystem;

using kvxlayout::kProgramPrefix;
// Past this many findings of one check the rest are only counted.
constexpr std::size_t kMaxRowsPerCheck = 10;

// The tasks a serving partition runs: every one a rollback ends. Its load
// step starts only five of them again, so a partition short of kvxdbs or
// kvxdtas after a rollback is the rollback's doing, not a quiet server's.
bool IsServingTask(const std::string& task) {
  for (const char* serving :
       {"kvxreal", "kvxemf", "kvxmon", "kvxsch", "kvxcm", "kvxdbs", "kvxdtas"})
    if (task == serving) return true;
  return false;
}

std::string Grouped(std::uint64_t n) {
  std::string digits = std::to_string(n);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, ",");
  return digits;
}

std::string Resolved(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? resolved : "";
}

std::string Base(const std::string& path) { return fs::path(path).filename().string(); }

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::uint64_t SizeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// "name: 1,204,224 bytes, <other> has 1,310,720", or a plainer line when the
// sizes agree and only the bytes differ.
std::string Difference(const std::string& name, const std::string& actual,
                       const std::string& expected, const std::string& other) {
  const std::uint64_t have = SizeOf(actual);
  const std::uint64_t want = SizeOf(expected);
  if (have != want)
    return name + ": " + Grouped(have) + " bytes, " + other + " has " + Grouped(want);
  return name + ": differs from " + other + "'s copy";
}

// The rows of one instance; findings past kMaxRowsPerCheck per check are
// folded into one closing row.
class Rows {
 public:
  Rows(std::vector<CheckRow>& rows, std::string instance)
      : rows_(rows), instance_(std::move(instance)) {}
  void Ok(const std::string& check, const std::string& detail) {
    rows_.push_back({instance_, check, CheckResult::kOk, detail});
  }
  void Warn(const std::string& check, const std::string& detail) {
    rows_.push_back({instance_, check, CheckResult::kWarning, detail});
  }
  // One failed row per finding; true when there were findings.
  bool Fail(const std::string& check, const std::vector<std::string>& findings) {
    for (std::size_t i = 0; i < findings.size() && i < kMaxRowsPerCheck; ++i)
      rows_.push_back({instance_, check, CheckResult::kFailed, findings[i]});
    if (findings.size() > kMaxRowsPerCheck)
      rows_.push_back({instance_, check, CheckResult::kFailed,
                       "and " + std::to_string(findings.size() - kMaxRowsPerCheck) + " more"});
    return !findings.empty();
  }
  void Report(const std::string& check, const std::vector<std::string>& findings,
              const std::string& okDetail) {
    if (!Fail(check, findings)) Ok(check, okDetail);
  }

 private:
  std::vector<CheckRow>& rows_;
  std::string instance_;
};

std::string NewestFolder(const std::string& product, const std::string& sub) {
  char found[1024] = "";
  GetLatestPathN(product.c_str(), sub.c_str(), found, sizeof found);
  RemoveTrailingSeparator(found);
  return found;
}

// The newest program folder older than build: where a new-folder update
// copied its files from.
std::string PreviousProgramFolder(const std::string& product, int build) {
  std::string previous;
  int previousBuild = 0;
  std::error_code ec;
  for (const fs::directory_entry& e :
       fs::directory_iterator(product + "/" + kvxlayout::kProgramSub, ec)) {
    const std::string name = e.path().filename().string();
    if (name.rfind(kProgramPrefix, 0) != 0 || !e.is_directory(ec) || e.is_symlink(ec)) continue;
    const int n = ReadDecimal32(name.c_str() + sizeof kProgramPrefix - 1);
    if (n < build && n > previousBuild) {
      previousBuild = n;
      previous = e.path().string();
    }
  }
  return previous;
}

void CheckLatest(Rows& rows, const std::string& product, const std::string& sub,
                 const std::string& check) {
  const std::string link = product + "/" + sub + "/latest";
  const std::string newest = NewestFolder(product, sub);
  const std::string newestName = newest.empty() ? "none" : Base(newest);
  struct stat st {};
  if (::lstat(link.c_str(), &st) != 0) {
    rows.Fail(check, {link + " is missing; the newest folder is " + newestName});
    return;
  }
  const std::string target = Resolved(link);
  if (target.empty() || !QoKVXFileOpUtil::isDir(target.c_str())) {
    rows.Fail(check, {link + " names " + LinkTargetName(link) + ", which does not exist"});
    return;
  }
  if (newest.empty() || target != Resolved(newest)) {
    rows.Fail(check, {"latest names " + Base(target) + ", but the newest folder is " + newestName});
    return;
  }
  rows.Ok(check, "latest -> " + Base(target));
}

void CheckEngineLinks(Rows& rows, const std::string& product) {
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(product + "/engine", ec)) {
    if (!e.is_directory(ec) || e.is_symlink(ec)) continue;
    const std::string name = e.path().filename().string();
    CheckLatest(rows, product, "engine/" + name, "engine " + name + " latest");
  }
}

// The library swap leaves name_1 beside name until the restart is over; the
// loader and extension manager updates move the old task programs aside for
// good. What must not be left is an aside copy in the program folder, or an
// aside copy whose original is gone: the run stopped between rename and copy.
void CheckAsideFiles(Rows& rows, const std::string& programDir, const KVXNInsInfo& ins) {
  std::vector<std::string> findings;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(programDir, ec)) {
    const std::string name = e.path().filename().string();
    const std::string original = kvxlayout::OriginalOfAside(name);
    if (original.empty()) continue;
    findings.push_back(IsFile(kvxlayout::FileIn(programDir, original))
                           ? name + " is left beside " + original + " in " + programDir +
                                 ": an in-place swap did not finish"
                           : original + " is missing from " + programDir + "; " + name +
                                 " holds its previous contents");
  }
  for (const KVXNParInfo& par : ins.vecParInfo) {
    for (const char* task : szaLoader) {
      const std::string program = kvxlayout::FileIn(par.strBinDir, task);
      if (!IsFile(program) && IsFile(kvxlayout::AsideName(program)))
        findings.push_back(program + " is missing; " + kvxlayout::AsideName(task) +
                           " holds the old program: a loader update did not finish");
    }
    const std::string ext = kvxlayout::FileIn(par.strBinDir, kvxlayout::kExtName);
    bool asideExt = false;
    for (const fs::directory_entry& e : fs::directory_iterator(par.strBinDir, ec))
      asideExt = asideExt || kvxlayout::IsExtAsideName(e.path().filename().string());
    if (asideExt && !IsFile(ext))
      findings.push_back(ext +
                         " is missing; an aside copy holds the old one: an extension "
                         "manager update did not finish");
  }
  rows.Report("aside files", findings, "none left behind");
}

void CheckHotfixRecords(Rows& rows, const std::string& product) {
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(product + "/hotfix", ec)) {
    const std::string name = e.path().filename().string();
    if (name.empty() || name[0] != 'B' || !e.is_directory(ec)) continue;
    const std::string check = "hotfix " + name;
    const std::string saved = e.path().string() + "/FileGroup1";
    if (!IsFile(saved + "/kvxpatch.ini")) {
      rows.Fail(check, {saved + "/kvxpatch.ini is missing: the update that made " + name +
                        " was cut short, and \"UPDSilent /u\" cannot take it out"});
      continue;
    }
    InstallInfo info;
    info.strPackagePath = saved;
    _PatchSetting setting;
    ReadConfiguration(info, setting);
    // The libraries were saved from the build before this one; in place that
    // folder now holds the new ones, so only emptiness can be judged.
    const std::string source =
        setting.iCreateNewFolder ? PreviousProgramFolder(product, setting.iBuildNumber) : "";
    std::vector<std::string> findings;
    const std::vector<std::string> files = ListedFiles(setting);
    for (const std::string& file : files) {
      const std::string copy = saved + "/" + file;
      const std::string original = source + "/" + file;
      if (!IsFile(copy))
        findings.push_back(file + ": not saved in " + saved);
      else if (SizeOf(copy) == 0 && (source.empty() || SizeOf(original) != 0))
        findings.push_back(file + ": the saved copy in " + saved + " is empty");
      else if (!source.empty() && IsFile(original) && SizeOf(copy) != SizeOf(original))
        findings.push_back(Difference(file, copy, original, Base(source)));
    }
    rows.Report(check, findings,
                "kvxpatch.ini and " + std::to_string(files.size()) + " saved file(s)");
  }
}

void CheckPartitions(Rows& rows, const KVXNInsInfo& ins) {
  const std::vector<std::string> names = _split(ins.strDomSvrSecs, ",");
  for (std::size_t i = 0; i < ins.vecParInfo.size(); ++i) {
    KVXNParInfo par = ins.vecParInfo[i];
    const std::string label = "partition " + (i < names.size() ? names[i] : par.strNotesIni);
    KVXNInsInfo alone;  // the installer's database check, for this partition only
    alone.vecParInfo.push_back(par);
    ClearCapturedLog();
    if (CheckNsfExistInDBList(alone) == 0)
      rows.Fail(label + " databases", {LastCapturedLine()});
    else
      rows.Ok(label + " databases", "present");

    struct stat st {};
    if (::stat(par.strNotesIni.c_str(), &st) != 0)
      rows.Fail(label + " notes.ini owner", {par.strNotesIni + " cannot be read"});
    else if (const passwd* pw = ::getpwuid(st.st_uid))
      rows.Ok(label + " notes.ini owner", pw->pw_name);
    else
      rows.Fail(label + " notes.ini owner",
                {"uid " + std::to_string(st.st_uid) + " owns " + par.strNotesIni +
                 " but has no account: console commands would not reach the server"});

    std::string running;
    std::string missing;
    for (const char* task : szaLoader) {
      const bool runs = IsKVXRun(par.strDataDir.c_str(), task) != 0;
      if (runs) running += (running.empty() ? "" : " ") + std::string(task);
      if (!runs && IsServingTask(task)) missing += (missing.empty() ? "" : " ") + std::string(task);
    }
    if (!isDominoServerRunning(&par, nullptr))
      rows.Warn(label + " tasks", "the Domino server is not running");
    else if (running.empty())
      rows.Warn(label + " tasks", "no KVX task runs");
    else if (!missing.empty())
      rows.Warn(label + " tasks", missing + " not running (running: " + running + ")");
    else
      rows.Ok(label + " tasks", running);
  }
}

void CheckInstance(Rows& rows, const KVXNInsInfo& ins) {
  const std::string product = ins.strProductPath;
  const std::string programDir = NewestFolder(product, kvxlayout::kProgramSub);
  CheckLatest(rows, product, kvxlayout::kProgramSub, "program latest");
  CheckEngineLinks(rows, product);
  CheckAsideFiles(rows, programDir, ins);
  CheckHotfixRecords(rows, product);
  CheckPartitions(rows, ins);
  for (const std::string& line : InstanceShellHazards(ins, programDir))
    rows.Warn("shell-safe names", line);
}

// A product path's text with each run of '/' made one: the layout's paths
// keep the installer's doubled separators, a person reads them without.
std::string Tidy(const std::string& path) {
  std::string text;
  for (const char c : path)
    if (c != '/' || text.empty() || text.back() != '/') text += c;
  return text;
}

// A folder of the layout without its trailing '/', as verify names it.
std::string Folder(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// What the checks of one applied package share about one instance.
struct AppliedPackage {
  AppliedPackage(const KVXNInsInfo& instance, const Package& applied)
      : ins(instance),
        package(applied),
        setting(applied.setting),
        product(instance.strProductPath),
        newFolder(setting.iCreateNewFolder != 0),
        files(ListedFiles(setting)),
        previous(PreviousProgramFolder(product, setting.iBuildNumber)),
        newest(NewestFolder(product, kvxlayout::kProgramSub)),
        target(newFolder ? Folder(kvxlayout::NewProgramDir(product, setting.iBuildNumber))
                         : newest),
        backupDir(kvxlayout::BackupDir(product, setting.iBuildNumber)) {}

  const KVXNInsInfo& ins;
  const Package& package;
  const _PatchSetting& setting;
  const std::string product;
  const bool newFolder;
  const std::vector<std::string> files;  // the package's listed files
  const std::string previous;            // the program folder a new-folder update copied
  const std::string newest;              // the newest program folder now
  const std::string target;              // where the listed files went
  const std::string backupDir;           // where the replaced ones were saved
};

// Not applied: then the update's own gates must keep it out.
void CheckNotApplied(Rows& rows, KVXNInsInfo& ins, const _PatchSetting& setting) {
  InstancePaths paths;
  FillInstancePaths(ins.strProductPath.c_str(), setting, paths);
  ClearCapturedLog();
  const GateVerdict verdict = CheckUpdateGates(ins, setting, paths);
  if (verdict.Passed())
    rows.Fail("package", {"build " + std::to_string(setting.iBuildNumber) +
                          " is not applied, and the update's gates would let it in"});
  else if (verdict.outcome == InstanceOutcome::kSkipped)
    rows.Ok("package", std::string("does not apply: ") + verdict.line);
  else
    rows.Warn("package", std::string("does not apply, the update would fail: ") + verdict.line);
}

// Each listed file in the target folder as in the package, with the
// installed mode and group.
void CheckProgramFiles(Rows& rows, const AppliedPackage& a) {
  std::vector<std::string> findings;
  const group* kvx = ::getgrnam(kvxlayout::kInstalledGroup);
  const std::string group = kvxlayout::kInstalledGroup;
  const std::string mode = Format("%04o", kvxlayout::kInstalledMode);
  if (!kvx) findings.push_back("the group " + group + " does not exist");
  QoKVXFileComparer comparer;
  for (const std::string& file : a.files) {
    const std::string installed = kvxlayout::FileIn(a.target, file);
    const std::string shipped = kvxlayout::FileIn(a.package.info.strPackagePath, file);
    struct stat st {};
    if (::stat(installed.c_str(), &st) != 0) {
      findings.push_back(file + ": missing from " + a.target);
      continue;
    }
    if (!comparer.same(installed.c_str(), shipped.c_str()))
      findings.push_back(Difference(file, installed, shipped, "the package"));
    if ((st.st_mode & 07777) != kvxlayout::kInstalledMode)
      findings.push_back(file + ": mode " + Format("%04o", st.st_mode & 07777) + ", not " + mode);
    if (kvx && st.st_gid != kvx->gr_gid) findings.push_back(file + ": group is not " + group);
  }
  rows.Report("program files", findings,
              std::to_string(a.files.size()) + " file(s) in " + Base(a.target) +
                  " as in the package, mode " + mode + ", group " + group);
}

// A new program folder is what program/latest names.
void CheckNewFolderLatest(Rows& rows, const AppliedPackage& a) {
  const std::string link = a.product + "/" + kvxlayout::kProgramSub + "/latest";
  if (Resolved(link) != Resolved(a.target))
    rows.Fail("program latest", {"latest does not name " + Base(a.target)});
}

// A new program folder holds every other file of the build it was copied from.
void CheckPreviousBuild(Rows& rows, const AppliedPackage& a) {
  if (a.previous.empty()) {
    rows.Warn("previous build", "no older program folder is left to compare with");
    return;
  }
  rows.Report("previous build",
              CompareTree(a.previous, a.target, Base(a.previous), {a.files.begin(), a.files.end()}),
              "every other file of " + Base(a.previous) + " is in " + Base(a.target));
}

// Each listed file saved in the backup folder, as the build before had it.
void CheckBackup(Rows& rows, const AppliedPackage& a) {
  std::vector<std::string> findings;
  for (const std::string& file : a.files) {
    const std::string copy = kvxlayout::FileIn(a.backupDir, file);
    const std::string original = kvxlayout::FileIn(a.previous, file);
    if (!IsFile(copy))
      findings.push_back(file + ": not saved in " + a.backupDir);
    else if (a.newFolder && !a.previous.empty() && IsFile(original) &&
             !QoKVXFileOpUtil::comp(copy.c_str(), original.c_str()))
      findings.push_back(Difference(file, copy, original, Base(a.previous)));
  }
  rows.Report("backup", findings,
              std::to_string(a.files.size()) + " file(s) saved in " + a.backupDir);
}

// The installer and the package settings staged for a later rollback.
void CheckStagedFiles(Rows& rows, const AppliedPackage& a) {
  using kvxlayout::StagedFile;
  const int build = a.setting.iBuildNumber;
  const std::pair<StagedFile, std::string> kStaged[] = {
      {StagedFile::kInstaller, kvxlayout::HotfixRoot(a.product)},
      {StagedFile::kSettings, kvxlayout::HotfixBuildDir(a.product, build)}};
  std::vector<std::string> findings;
  for (const auto& [file, folder] : kStaged) {
    const std::string shipped = kvxlayout::StagedPath(a.package.folder, file);
    const std::string copy = kvxlayout::StagedPath(folder, file);
    if (!IsFile(copy) || !QoKVXFileOpUtil::comp(shipped.c_str(), copy.c_str()))
      findings.push_back(Tidy(copy) + " is not the package's " + Base(shipped));
  }
  rows.Report("staged files", findings, "UPDSilent and kvxpatch.ini as in the package");
}

// Every task program of every partition a copy of the newest build's loader.
void CheckLoader(Rows& rows, const AppliedPackage& a) {
  const std::string loader = kvxlayout::FileIn(a.newest, kvxlayout::kLoaderName);
  std::vector<std::string> findings;
  for (const KVXNParInfo& par : a.ins.vecParInfo)
    for (const char* task : szaLoader) {
      const std::string program = kvxlayout::FileIn(par.strBinDir, task);
      if (!QoKVXFileOpUtil::comp(program.c_str(), loader.c_str()))
        findings.push_back(program + " is not the loader of " + Base(a.newest));
    }
  rows.Report("loader", findings, "every partition runs the loader of " + Base(a.newest));
}

// Every partition's extension manager the newest build's.
void CheckExtensionManager(Rows& rows, const AppliedPackage& a) {
  const std::string shipped = kvxlayout::FileIn(a.newest, kvxlayout::kExtName);
  std::vector<std::string> findings;
  for (const KVXNParInfo& par : a.ins.vecParInfo) {
    const std::string ext = kvxlayout::FileIn(par.strBinDir, kvxlayout::kExtName);
    if (!QoKVXFileOpUtil::comp(ext.c_str(), shipped.c_str()))
      findings.push_back(ext + " is not the one of " + Base(a.newest));
  }
  rows.Report("extension manager", findings,
              "every partition has libkvxext.so of " + Base(a.newest));
}

// An engine the package carries: its version folder as in the package and
// named by latest, unless a newer one is installed.
void CheckEngine(Rows& rows, const std::string& product, int type,
                 const std::string& packageFolder) {
  const EnginePlan engine = PlanEngine(product, type, packageFolder);
  if (engine.offered.empty()) return;  // the package carries no such engine
  const std::string check = "engine " + engine.name;
  if (engine.installed.empty()) {
    rows.Ok(check, "not installed here; an update never adds an engine");
    return;
  }
  const EngineVersion& v = engine.offeredVersion;
  const std::string folder = Folder(kvxlayout::EngineVersionFolder(product, type, v));
  if (!QoKVXFileOpUtil::isDir(folder.c_str())) {
    if (IsNewerEngine(engine.installedVersion, v))
      rows.Ok(check, "a newer version than the package's is installed: " + engine.installed);
    else
      rows.Fail(check, {Base(folder) + " from the package is not installed; the newest is " +
                        engine.installed});
    return;
  }
  const std::string sub = kvxlayout::EngineSubFolder(type);
  std::vector<std::string> findings =
      CompareTree(kvxlayout::EnginePackageFolder(packageFolder, type), folder, "the package");
  const std::string latest = Resolved(product + "/" + sub + "/latest");
  if (latest != Resolved(folder) && !IsNewerEngine(engine.installedVersion, v))
    findings.push_back("latest does not name " + Base(folder));
  rows.Report(check, findings, Base(folder) + " as in the package, named by latest");
}

// False when the update left no hotfix folder: the package was not applied.
bool CheckPackageApplied(Rows& rows, KVXNInsInfo& ins, const Package& package) {
  const std::string hotfixDir =
      Folder(kvxlayout::HotfixBuildDir(ins.strProductPath, package.setting.iBuildNumber));
  if (!QoKVXFileOpUtil::isDir(hotfixDir.c_str())) {
    CheckNotApplied(rows, ins, package.setting);
    return false;
  }
  const AppliedPackage applied(ins, package);
  CheckProgramFiles(rows, applied);
  if (applied.newFolder) {
    CheckNewFolderLatest(rows, applied);
    CheckPreviousBuild(rows, applied);
  }
  CheckBackup(rows, applied);
  CheckStagedFiles(rows, applied);
  if (package.setting.iUpdateLoader) CheckLoader(rows, applied);
  if (package.setting.bUpdateExt) CheckExtensionManager(rows, applied);
  for (int type = 0; type < kEngineTypeCount; ++type)
    CheckEngine(rows, applied.product, type, package.folder);
  return true;
}

}  // namespace

std::vector<std::string> CompareTree(const std::string& expected, const std::string& actual,
                                     const std::string& expectedName,
                                     const std::set<std::string>& skipped) {
  // One pair of read buffers for the whole walk: fresh ones per file would
  // go back to the kernel on free and be faulted in again for the next.
  QoKVXFileComparer comparer;
  std::vector<std::string> findings;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(expected, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    // The walk's paths all begin with expected and a separator.
    const std::string relative = it->path().string().substr(expected.size() + 1);
    if (skipped.count(relative)) continue;
    const std::string theirs = actual + "/" + relative;
    if (!IsFile(theirs))
      findings.push_back(relative + ": missing, " + expectedName + " has it");
    else if (!comparer.same(theirs.c_str(), it->path().c_str()))
      findings.push_back(Difference(relative, theirs, it->path().string(), expectedName));
  }
  if (ec) findings.push_back(expected + ": cannot be read (" + ec.message() + ")");
  return findings;
}

int VerificationStatus(const Verification& verification) {
  for (const CheckRow& row : verification.rows)
    if (row.result == CheckResult::kFailed) return kExitPlanFails;
  return kExitOk;
}

Verification VerifyHost(const std::string& packageFolder) {
  Verification verification;
  Package package;
  if (!packageFolder.empty()) {
    verification.status = LoadPackage(packageFolder, package, verification.error);
    if (verification.status == kExitOk && !package.settingsProblem.empty()) {
      verification.status = kExitPackageUnreadable;
      verification.error = package.settingsProblem;
    }
    if (verification.status != kExitOk) return verification;
    verification.packageFolder = package.folder;
    verification.packageBuild = package.setting.iBuildNumber;
  }
  verification.status = LoadRegistry(verification.error);
  if (verification.status != kExitOk) return verification;
  for (KVXNInsInfo& ins : g_lstKVXNIns) {
    const std::size_t firstRow = verification.rows.size();
    Rows rows(verification.rows, ins.strInsName);
    CheckInstance(rows, ins);
    if (packageFolder.empty()) continue;
    const bool folderMade = CheckPackageApplied(rows, ins, package);
    verification.applied[ins.strInsName] =
        folderMade &&
        std::none_of(verification.rows.begin() + firstRow, verification.rows.end(),
                     [](const CheckRow& row) { return row.result == CheckResult::kFailed; });
  }
  verification.status = VerificationStatus(verification);
  return verification;
}

}  // namespace kvxinfo
