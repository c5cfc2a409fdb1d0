// What the update package is and what its FileGroup1/kvxpatch.ini says.
#ifndef KVX_INVENTORY_PATCHSETTING_H
#define KVX_INVENTORY_PATCHSETTING_H

#include <cstdint>
#include <list>
#include <string>

#include "KVXInsInfo.h"

struct InstallInfo {
  std::string strPackagePath;  // the package folder, e.g. "./FileGroup1"
};

struct _PatchSetting {
  std::list<std::string> lstFiles;
  std::list<std::string> lstDatabases;
  std::int32_t iBuildNumber = 0;
  std::int32_t iDepentBuild = 0;
  std::int32_t iServicePack = 0;
  std::int32_t iPreviousBuild = 0;
  std::int32_t iCreateNewFolder = 0;
  std::int32_t bUpdateExt = 0;
  std::int32_t iUpdateLoader = 0;
};

constexpr int kMaxDlls = 128;
constexpr int kMaxDBs = 20;
constexpr int kGmNtfCount = 7;

// Name tables, filled once per run. Empty slots hold empty texts.
extern char* szDlls[kMaxDlls];
extern char* szDBs[kMaxDBs];
extern const char* const kvx55GmNtfList[kGmNtfCount];

int ReadConfiguration(InstallInfo& info, _PatchSetting& setting);
int ParseFileList(std::list<std::string>& list, char* text);
int ReadFileList(_PatchSetting& setting);
int ReadDBList(_PatchSetting& setting);
int FreeFileList();
int CheckNsfExistInDBList(KVXNInsInfo& instance);
int CheckEnvironment(_PatchSetting& setting);

#endif  // KVX_INVENTORY_PATCHSETTING_H
