// The instance registry: every KVX instance of /etc/kvxsysV3.ini with its
// Domino partitions, read once per run, and the iterator that applies a
// per-partition operation to the partitions of the current instance.
#ifndef KVX_INVENTORY_KVXINSINFO_H
#define KVX_INVENTORY_KVXINSINFO_H

#include <cstdint>
#include <string>
#include <vector>

// One Domino partition.
struct KVXNParInfo {
  std::string strDataDir;   // notes.ini Directory
  std::string strBinDir;    // notes.ini NotesProgram
  std::string strNotesIni;  // the notes.ini path as the registry writes it
};

// One installed instance.
struct KVXNInsInfo {
  std::string strInsName;  // also its section name in the registry
  std::string strProductPath;
  std::string strProductVersion;
  std::string strInstallType;
  std::string strReserved;  // nothing fills or reads it
  std::string strDomSvrSecs;
  std::int32_t iDomSvrCount = 0;
  std::vector<KVXNParInfo> vecParInfo;
};

// A per-partition operation: nonzero to go on with the next partition.
typedef int (*ParInfoCallback)(KVXNParInfo* par, void* context);

extern std::vector<KVXNInsInfo> g_lstKVXNIns;
extern std::int32_t g_iCurIns;
extern char g_szKVXPatch[1024];

// Result codes of ParseKVXInsINI besides 0.
constexpr int kRegistryOpenFailed = 1025;
constexpr int kRegistryMalformed = 1026;

// With the registry empty: builds g_lstKVXNIns (a callback is ignored).
// With it filled: calls callback for every partition of instance g_iCurIns,
// each on a fresh copy, and returns 0.
int ParseKVXInsINI(ParInfoCallback callback, void* context);

int GetDominoDataFolderFromNotesINI(const char* notesIni, char* out, int size);
int GetDominoBinFolderFromNotesINI(const char* notesIni, char* out, int size);

std::vector<std::string> _split(const std::string& text, const std::string& delimiters);
std::string _trim(const std::string& text);

#endif  // KVX_INVENTORY_KVXINSINFO_H
