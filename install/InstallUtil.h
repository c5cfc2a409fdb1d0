// The mode and group every file the installation places receives.
#ifndef KVX_INSTALL_INSTALLUTIL_H
#define KVX_INSTALL_INSTALLUTIL_H

namespace kvxinstall {

// Mode 0775 and group kvxgroup on one placed file. Neither change is
// checked: a file that keeps its old mode still works for its owner.
void GiveToKvxGroup(const char* path);

}  // namespace kvxinstall

#endif  // KVX_INSTALL_INSTALLUTIL_H
