// Registry rewrite: records a program build as the current instance's
// ProductVersion in /etc/kvxsysV3.ini. The writer keeps a .bak copy of the
// previous file beside it.
#include "DebugLog.h"
#include "Install.h"
#include "KVXInsInfo.h"
#include "Porting.h"
#include "QoIniWriter.h"

namespace {

constexpr char kMsgOpenFailed[] = "Error: Fail to open the file (%s)";
constexpr char kMsgUpdateFailed[] = "Error: Fail to update the file (%s)";

constexpr unsigned long kPathSize = 1024;
constexpr char kRegistryFolder[] = "/etc";
constexpr char kRegistryName[] = "kvxsysV3.ini";
constexpr char kVersionKey[] = "ProductVersion";

}  // namespace

void UpdateKVXSys(int build) {
  char path[kPathSize] = "";
  qo_snprintf(path, sizeof path, "%s/%s", kRegistryFolder, kRegistryName);
  if (g_iCurIns < 0 || static_cast<std::size_t>(g_iCurIns) >= g_lstKVXNIns.size()) return;
  const KVXNInsInfo instance = g_lstKVXNIns[static_cast<std::size_t>(g_iCurIns)];

  char version[kPathSize];
  qo_snprintf(version, sizeof version, "V5.8.0.%d", build);

  QoIniWriter writer;  // keeps a pointer to path: path outlives it
  if (writer.open(path) != 0) {
    LogDebugMessage(1, kMsgOpenFailed, path);
    return;
  }
  if (writer.SetValue(instance.strInsName.c_str(), kVersionKey, version) != 0)
    LogDebugMessage(1, kMsgUpdateFailed, path);
}
