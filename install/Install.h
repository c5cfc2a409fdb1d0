// Component installation: the operations that place the package's files in
// an instance's product tree and in each partition's Domino program folder,
// and the rewrite of the instance registry.
//
// Files that running tasks may hold open are never overwritten: they are
// renamed aside first and the new file is copied in under the old name.
#ifndef KVX_INSTALL_INSTALL_H
#define KVX_INSTALL_INSTALL_H

#include "KVXInsInfo.h"
#include "PatchSetting.h"

// --- Program library swap, over the names listed in szDlls ---

// Copies every listed file from source to target, creating missing target
// folders; each copy gets mode 0775 and the group kvxgroup. Always 1.
int CopyAllDlls(const char* source, char* target);
// Moves every listed file in folder to its aside name (name + "_1"),
// replacing an older aside file. 1 when no name is listed, otherwise the
// result of the last rename (0 or -1); 0 when folder cannot be entered.
int RenameAllDlls(char* folder);
// Deletes the aside file of every listed name in folder. 1, or 0 when
// folder cannot be entered.
int RemoveAllRenamedDlls(char* folder);

// --- Domino program folder updates (per-partition callbacks), read-me ---

// Replaces the nine task programs in par->strBinDir with copies of the
// newest program build's loader, moving each old one aside first. Always 1.
int UpdateLoader(KVXNParInfo* par, void* context);
// Replaces libkvxext.so in par->strBinDir with the newest program build's,
// moving the old one aside under a numbered name. Always 1.
int updateKVXExt(KVXNParInfo* par, void* context);
// Copies the package's read-me into the product path's program folder.
// Always 0.
int CopyReadMe(InstallInfo& info);
// Copies the databases listed in szDBs from ./FileGroup1 into the
// partition's kvx data folder. Always 1.
int UpdateDatabase(KVXNParInfo* par, void* context);

// --- Hotfix file staging ---

// source/UPDSilent to target/UPDSilent. Always 1.
int CopyQOPatch(const char* source, const char* target);
// source/FileGroup1/kvxpatch.ini to target/FileGroup1/kvxpatch.ini. Always 1.
int CopyHotFixFiles(const char* source, const char* target);

// --- Instance registry rewrite ---

// Sets ProductVersion of the current instance in /etc/kvxsysV3.ini to
// "V5.8.0.<build>". Failures are only logged.
void UpdateKVXSys(int build);

#endif  // KVX_INSTALL_INSTALL_H
