// What the plan and verify both read: the update package as the installer
// reads it, each engine's installed and offered versions compared by the
// installer's rule, and the texts the installer would hand unquoted to the
// shell.
#ifndef KVX_KVXINFO_PACKAGE_H
#define KVX_KVXINFO_PACKAGE_H

#include <string>
#include <vector>

#include "PatchSetting.h"
#include "Views.h"

namespace kvxinfo {

struct Package {
  std::string folder;  // the resolved folder that holds FileGroup1
  InstallInfo info;    // strPackagePath: folder + "/FileGroup1"
  _PatchSetting setting;
  std::string settingsProblem;  // the installer's line when kvxpatch.ini cannot be read
};

// Resolves folder and reads its kvxpatch.ini and name lists the way the
// installer does. kExitPackageUnreadable with error set when the folder does
// not exist; an unreadable kvxpatch.ini only sets settingsProblem (the
// installer goes on with build 0).
int LoadPackage(const std::string& folder, Package& package, std::string& error);

// The non-empty names of the package's file list.
std::vector<std::string> ListedFiles(const _PatchSetting& setting);

// The engine update's reading and comparison for one engine type, without
// the update; unlike the update, the package's version is read even where
// the engine is not installed, to show what would not be added.
EnginePlan PlanEngine(const std::string& productPath, int type, const std::string& packageFolder);

// The first character of text that /bin/sh would split a word on or act on,
// named for a person ("a blank", "';'"); "" when there is none.
std::string ShellHazard(const std::string& text);

// One line for each path of the instance (product path, program folder,
// the partitions' Domino program folders) that ShellHazard objects to.
std::vector<std::string> InstanceShellHazards(const KVXNInsInfo& instance,
                                              const std::string& programDir);
// The same for the package's listed file and database names.
std::vector<std::string> PackageShellHazards(const _PatchSetting& setting);

// printf into a string, cut at 4095 characters.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kvxinfo

#endif  // KVX_KVXINFO_PACKAGE_H
