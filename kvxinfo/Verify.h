// The verify view: whether a host is in the state a completed run leaves,
// which the installer's exit status does not tell (it is 0 whenever one
// instance got through the gates, whatever failed after them).
#ifndef KVX_KVXINFO_VERIFY_H
#define KVX_KVXINFO_VERIFY_H

#include <set>
#include <string>
#include <vector>

#include "Views.h"

namespace kvxinfo {

// Every instance's health; with a package folder ("" for none), also that
// the package is fully applied wherever it applies. Only reads.
Verification VerifyHost(const std::string& packageFolder);

// Every file under expected must be under actual with the same bytes: one
// line per file that is missing or differs ("expectedName" names expected
// in the lines). Relative paths in skipped are left out.
std::vector<std::string> CompareTree(const std::string& expected, const std::string& actual,
                                     const std::string& expectedName,
                                     const std::set<std::string>& skipped = {});

// kExitPlanFails when a row failed, else kExitOk.
int VerificationStatus(const Verification& verification);

}  // namespace kvxinfo

#endif  // KVX_KVXINFO_VERIFY_H
