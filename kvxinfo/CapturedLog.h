// kvxinfo's debug log: the installer's libraries report every step through
// LogDebugMessage, and kvxinfo routes those lines into memory instead of the
// day's file, so asking them questions leaves no trace on the host. A check's
// last line is often the installer's own wording of its answer.
#ifndef KVX_KVXINFO_CAPTUREDLOG_H
#define KVX_KVXINFO_CAPTUREDLOG_H

#include <string>
#include <vector>

namespace kvxinfo {

// Installs the capturing sink; called once at start-up.
void CaptureInstallerLog();

// The messages logged since the last ClearCapturedLog, without any prefix.
const std::vector<std::string>& CapturedLog();
void ClearCapturedLog();
// The last captured message, or "" when none was logged.
std::string LastCapturedLine();

}  // namespace kvxinfo

#endif  // KVX_KVXINFO_CAPTUREDLOG_H
