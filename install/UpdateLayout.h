// Where an update puts what it writes, for one instance and one package
// build: the backup of the libraries it replaces, the new program folder, the
// staged hotfix files, the aside copies of files a running task may hold, the
// task programs, the engine version folders, and the mode and group every
// placed file gets. The installer forms its paths here and kvxinfo verify
// looks for them here, so the two cannot drift apart. Nothing here touches the
// disk.
//
// The paths are the installer's texts to the byte, separators doubled where
// the installer doubles them: they go into its log lines.
#ifndef KVX_INSTALL_UPDATELAYOUT_H
#define KVX_INSTALL_UPDATELAYOUT_H

#include <sys/types.h>

#include <string>

#include "EngineVersion.h"

namespace kvxlayout {

// Every file the update places gets this mode and group.
constexpr mode_t kInstalledMode = 0775;
constexpr char kInstalledGroup[] = "kvxgroup";

constexpr char kProgramSub[] = "program";
constexpr char kHotfixSub[] = "hotfix";
// A program build's folder name: V5.8.0.<build>.
constexpr char kProgramPrefix[] = "V5.8.0.";
// The package's payload, from the folder the installer runs in.
constexpr char kPackageFolder[] = "./";
constexpr char kPackageFiles[] = "./FileGroup1";
// Taken from the newest program build into each partition's Domino program
// folder: the loader becomes every task program.
constexpr char kLoaderName[] = "loader";
constexpr char kExtName[] = "libkvxext.so";
constexpr char kReadMeName[] = "readme_kvxn5_linux.txt";

// <product>/hotfix/B<build>/FileGroup1: the libraries the update replaces,
// saved for a rollback.
std::string BackupDir(const std::string& product, int build);
// <product>/program/V5.8.0.<build>/, with its trailing '/'.
std::string NewProgramDir(const std::string& product, int build);
// <product>/hotfix/, where the installer itself is staged.
std::string HotfixRoot(const std::string& product);
// <product>/hotfix/B<build>/, where the package settings are staged.
std::string HotfixBuildDir(const std::string& product, int build);
// <product>/program/readme_kvxn5_linux.txt.
std::string ReadMePath(const std::string& product);

// The two files staged for a later rollback of the build.
enum class StagedFile { kInstaller, kSettings };
// folder + "/" + the file's relative name (UPDSilent, or
// /FileGroup1/kvxpatch.ini): joined after a '/' even when folder ends in one.
std::string StagedPath(const std::string& folder, StagedFile file);

// folder/name: a listed library, the extension manager, or a task program:
// the nine names of szaLoader (control/DominoControl.h) in each partition's
// Domino program folder.
std::string FileIn(const std::string& folder, const std::string& name);
// name + "_1": where a library or task program is moved while its successor
// is copied in.
std::string AsideName(const std::string& name);
// The name an aside name was made from; "" when name is none.
std::string OriginalOfAside(const std::string& name);
// libkvxext.so_<number>: the extension manager's aside name.
std::string ExtAsideName(int number);
bool IsExtAsideName(const std::string& name);

// engine/<name>, under the product path.
std::string EngineSubFolder(int type);
// <packageFolder>/engine/<name>: "." gives the installer's ./engine/<name>.
std::string EnginePackageFolder(const std::string& packageFolder, int type);
// <product>/engine/<name>/V<major>.<minor, 3 digits>.<build>/, with its '/'.
std::string EngineVersionFolder(const std::string& product, int type, const EngineVersion& v);

}  // namespace kvxlayout

#endif  // KVX_INSTALL_UPDATELAYOUT_H
