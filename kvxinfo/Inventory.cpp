// The inventory view: what is installed, as the installer would find it. Every
// answer comes from the installer's functions (registry, version folders,
// lock files, database check); this unit only gathers them per instance.
#include "Inventory.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include "CapturedLog.h"
#include "DecimalNumber.h"
#include "DominoState.h"
#include "Gates.h"
#include "KVXInsInfo.h"
#include "PatchSetting.h"
#include "Porting.h"
#include "QoFileOpUtil.h"
#include "VersionFolder.h"

namespace kvxinfo {
namespace {

constexpr char kNothingInstalled[] = "No 64-bit KVX 5.8 installed.";

using Version = std::array<int, 4>;

Version VersionOf(const std::string& path) {
  Version v{};
  QoParseVersionStr(path.c_str(), &v[0], &v[1], &v[2], &v[3]);
  return v;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The V* folders of one engine, oldest first, as the installer compares them.
std::vector<std::string> VersionFolders(const std::string& engineDir) {
  std::vector<std::string> paths;
  QoKVXDirList list((engineDir + "/V*").c_str());
  while (list.hasNext()) {
    const std::string path = list.getNext();
    if (QoKVXFileOpUtil::isDir(path.c_str())) paths.push_back(path);
  }
  std::stable_sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
    return VersionOf(a) < VersionOf(b);
  });
  std::vector<std::string> names;
  for (const std::string& path : paths) names.push_back(BaseName(path));
  return names;
}

std::vector<EngineView> ReadEngines(const std::string& product) {
  std::vector<EngineView> engines;
  const std::string root = product + "/engine";
  QoKVXDirList list(root.c_str());
  while (list.hasNext()) {
    const std::string folder = list.getNext();
    if (!QoKVXFileOpUtil::isDir(folder.c_str())) continue;
    EngineView engine;
    engine.name = BaseName(folder);
    engine.versions = VersionFolders(folder);
    char newest[256] = "";
    if (GetLatestPathN(product.c_str(), ("engine/" + engine.name).c_str(), newest, sizeof newest))
      engine.newest = BaseName(newest);
    engine.latest = LinkTargetName(folder + "/latest");
    engines.push_back(engine);
  }
  std::sort(engines.begin(), engines.end(),
            [](const EngineView& a, const EngineView& b) { return a.name < b.name; });
  return engines;
}

void ReadOwner(PartitionView& view) {
  struct stat st {};
  if (::stat(view.notesIni.c_str(), &st) != 0) {
    view.owner = "?";
    return;
  }
  const passwd* pw = ::getpwuid(st.st_uid);
  view.ownerExists = pw != nullptr;
  view.owner = pw ? pw->pw_name : "uid " + std::to_string(st.st_uid);
}

PartitionView ReadPartition(const std::string& name, KVXNParInfo par) {
  PartitionView view;
  view.name = name;
  view.notesIni = par.strNotesIni;
  view.dataDir = par.strDataDir;
  view.binDir = par.strBinDir;
  ReadOwner(view);
  view.serverRuns = isDominoServerRunning(&par, nullptr) != 0;
  for (const char* task : szaLoader)
    if (IsKVXRun(par.strDataDir.c_str(), task)) view.runningTasks.push_back(task);

  KVXNInsInfo alone;  // the installer's check, asked for this partition only
  alone.vecParInfo.push_back(par);
  ClearCapturedLog();
  view.databasesPresent = CheckNsfExistInDBList(alone) != 0;
  if (!view.databasesPresent) view.databaseProblem = LastCapturedLine();
  return view;
}

InstanceView ReadInstance(const KVXNInsInfo& ins) {
  InstanceView view;
  view.name = ins.strInsName;
  view.productPath = ins.strProductPath;
  view.version = ins.strProductVersion;
  view.installType = ins.strInstallType;

  InstancePaths paths;
  FillInstancePaths(ins.strProductPath.c_str(), _PatchSetting(), paths);
  RemoveTrailingSeparator(paths.szCurProgramDir);
  if (const char* build = TextAfterLast(paths.szCurProgramDir, '.')) view.programBuild = build;
  view.programDir = paths.szCurProgramDir;
  view.programLatest = LinkTargetName(view.productPath + "/program/latest");
  RemoveTrailingSeparator(paths.szCurHotfixDir);
  view.hotfixDir = paths.szCurHotfixDir;
  if (const char* build = TextAfterLast(paths.szCurHotfixDir, 'B'))
    view.hotfixBuild = ReadDecimal32(build);
  view.engines = ReadEngines(view.productPath);

  const std::vector<std::string> names = _split(ins.strDomSvrSecs, ",");
  for (std::size_t i = 0; i < ins.vecParInfo.size(); ++i)
    view.partitions.push_back(ReadPartition(i < names.size() ? names[i] : "", ins.vecParInfo[i]));
  return view;
}

}  // namespace

std::string LinkTargetName(const std::string& path) {
  char target[4096];
  const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
  if (n < 0) return "";
  target[n] = '\0';
  std::string text(target);
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return BaseName(text);
}

int LoadRegistry(std::string& error) {
  ClearCapturedLog();
  if (ParseKVXInsINI(nullptr, nullptr) != 0) {
    error = LastCapturedLine();
    return kExitNoInstance;
  }
  if (g_lstKVXNIns.empty()) {
    error = kNothingInstalled;
    return kExitNoInstance;
  }
  return kExitOk;
}

Inventory ReadInventory() {
  Inventory inventory;
  inventory.status = LoadRegistry(inventory.error);
  if (inventory.status != kExitOk) return inventory;
  for (const KVXNInsInfo& ins : g_lstKVXNIns) inventory.instances.push_back(ReadInstance(ins));
  return inventory;
}

}  // namespace kvxinfo
