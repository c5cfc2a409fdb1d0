#include "UpdateLayout.h"

#include <cstdio>

namespace kvxlayout {
namespace {

constexpr char kAsideSuffix[] = "_1";
constexpr char kExtAsidePrefix[] = "libkvxext.so_";
constexpr char kStagedInstaller[] = "UPDSilent";
constexpr char kStagedSettings[] = "/FileGroup1/kvxpatch.ini";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string HotfixBuildFolder(const std::string& product, int build) {
  return product + "/" + kHotfixSub + "/B" + std::to_string(build);
}

}  // namespace

std::string BackupDir(const std::string& product, int build) {
  return HotfixBuildFolder(product, build) + "/FileGroup1";
}

std::string NewProgramDir(const std::string& product, int build) {
  return product + "/" + kProgramSub + "/" + kProgramPrefix + std::to_string(build) + "/";
}

std::string HotfixRoot(const std::string& product) { return product + "/" + kHotfixSub + "/"; }

std::string HotfixBuildDir(const std::string& product, int build) {
  return HotfixBuildFolder(product, build) + "/";
}

std::string ReadMePath(const std::string& product) {
  return product + "/" + kProgramSub + "/" + kReadMeName;
}

std::string StagedPath(const std::string& folder, StagedFile file) {
  return folder + "/" + (file == StagedFile::kInstaller ? kStagedInstaller : kStagedSettings);
}

std::string FileIn(const std::string& folder, const std::string& name) {
  return folder + "/" + name;
}

std::string AsideName(const std::string& name) { return name + kAsideSuffix; }

std::string OriginalOfAside(const std::string& name) {
  const std::size_t suffix = sizeof kAsideSuffix - 1;
  return EndsWith(name, kAsideSuffix) ? name.substr(0, name.size() - suffix) : "";
}

std::string ExtAsideName(int number) { return kExtAsidePrefix + std::to_string(number); }

bool IsExtAsideName(const std::string& name) { return name.rfind(kExtAsidePrefix, 0) == 0; }

std::string EngineSubFolder(int type) { return std::string("engine/") + kEngineNames[type]; }

std::string EnginePackageFolder(const std::string& packageFolder, int type) {
  return packageFolder + "/" + EngineSubFolder(type);
}

std::string EngineVersionFolder(const std::string& product, int type, const EngineVersion& v) {
  char version[64];
  std::snprintf(version, sizeof version, "/V%d.%03d.%d/", v.major, v.minor, v.build);
  return product + "/" + EngineSubFolder(type) + version;
}

}  // namespace kvxlayout
