// The installed side: the instance registry and everything kvxinfo reports
// about each instance, read through the installer's own functions.
#ifndef KVX_KVXINFO_INVENTORY_H
#define KVX_KVXINFO_INVENTORY_H

#include <string>

#include "Views.h"

namespace kvxinfo {

// Reads /etc/kvxsysV3.ini as the installer does. kExitOk, or kExitNoInstance
// with the installer's reason in error.
int LoadRegistry(std::string& error);

// LoadRegistry, then every instance with its folders, builds, engines and
// partitions. Only reads.
Inventory ReadInventory();

// The name of the folder a symbolic link names, "" when path is no link.
std::string LinkTargetName(const std::string& path);

}  // namespace kvxinfo

#endif  // KVX_KVXINFO_INVENTORY_H
