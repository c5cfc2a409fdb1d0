// Printing the views: aligned text for people, JSON for scripts.
#ifndef KVX_KVXINFO_OUTPUT_H
#define KVX_KVXINFO_OUTPUT_H

#include <cstdio>
#include <string>

#include "RunLog.h"
#include "Views.h"

namespace kvxinfo {

void PrintInventoryText(std::FILE* out, const Inventory& inventory);
void PrintInventoryJson(std::FILE* out, const Inventory& inventory);
void PrintPlanText(std::FILE* out, const Plan& plan);
void PrintPlanJson(std::FILE* out, const Plan& plan);
void PrintVerificationText(std::FILE* out, const Verification& verification);
void PrintVerificationJson(std::FILE* out, const Verification& verification);
// The runs of a debug log at path, and the status LogStatus gave them.
void PrintRunsText(std::FILE* out, const std::string& path, const std::vector<Run>& runs,
                   int status);
void PrintRunsJson(std::FILE* out, const std::string& path, const std::vector<Run>& runs,
                   int status);
// {"error": ..., "status": ...}: what a script gets when there is no view.
void PrintErrorJson(std::FILE* out, const std::string& error, int status);

}  // namespace kvxinfo

#endif  // KVX_KVXINFO_OUTPUT_H
