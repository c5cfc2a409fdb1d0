// Operations that complete the set but that no procedure calls today.
#include <ftw.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdint>
#include <cstring>

#include "DebugLog.h"
#include "DominoControl.h"
#include "Porting.h"

namespace {

constexpr char kMsgNoSize[] = "Error: Cannot get the size of folder '%s'";
constexpr std::size_t kFolderSize = 1024;
constexpr int kOpenFds = 16;

// nftw gives its callback no context; one walk at a time in a single thread.
std::uint64_t g_treeBytes = 0;

int AddFileSize(const char* /*path*/, const struct stat* st, int type, struct FTW* /*ftw*/) {
  if (type == FTW_NS || type == FTW_DNR) return 1;  // a part cannot be measured
  if (type == FTW_F) g_treeBytes += static_cast<std::uint64_t>(st->st_size);
  return 0;
}

}  // namespace

int GetAllDbSize(KVXNParInfo* par, void* context) {
  char folder[kFolderSize];
  qo_snprintf(folder, sizeof folder, "%s/kvx", par->strDataDir.c_str());
  struct stat st {};
  g_treeBytes = 0;
  if (::stat(folder, &st) != 0 || !S_ISDIR(st.st_mode) ||
      ::nftw(folder, AddFileSize, kOpenFds, FTW_PHYS) != 0) {
    LogDebugMessage(1, kMsgNoSize, folder);
    return 0;
  }
  *static_cast<std::uint32_t*>(context) += static_cast<std::uint32_t>(g_treeBytes);
  return 1;
}

void ToUp(char* text) {
  for (; *text; ++text) *text = static_cast<char>(std::toupper(static_cast<unsigned char>(*text)));
}

void GetSystemWindowsDirectory(char* buffer, int size) {
  if (size <= 0) return;
  std::strncpy(buffer, "/etc", static_cast<std::size_t>(size));
}
