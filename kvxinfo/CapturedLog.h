// kvxinfo's own debug log: the installer's libraries report every step
// through LogDebugMessage, and kvxinfo links this definition in place of the
// one that appends to /var/log, so asking them questions leaves no trace on
// the host. The lines are kept in memory; the last one a check logged is the
// installer's own wording of its answer.
#ifndef KVX_KVXINFO_CAPTUREDLOG_H
#define KVX_KVXINFO_CAPTUREDLOG_H

#include <string>
#include <vector>

namespace kvxinfo {

// The messages logged since the last ClearCapturedLog, without any prefix.
const std::vector<std::string>& CapturedLog();
void ClearCapturedLog();
// The last captured message, or "" when none was logged.
std::string LastCapturedLine();

}  // namespace kvxinfo

#endif  // KVX_KVXINFO_CAPTUREDLOG_H
