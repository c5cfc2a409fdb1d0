// The package side: what an update run from a package folder would do to each
// instance, decided by the installer's own gates and checked for what the run
// will need (free space, the package's files, the server users).
#ifndef KVX_KVXINFO_PLAN_H
#define KVX_KVXINFO_PLAN_H

#include <string>

#include "Views.h"

namespace kvxinfo {

// packageFolder holds FileGroup1, as the folder UPDSilent runs from. Only reads.
Plan BuildPlan(const std::string& packageFolder);

}  // namespace kvxinfo

#endif  // KVX_KVXINFO_PLAN_H
