// kvxinfo: what is installed, and what an update package would do to it,
// read through the installer's own functions and without changing anything.
//   kvxinfo [--json]                    the inventory
//   kvxinfo [--json] plan <package>     the plan for the package folder
#include <cstdio>
#include <cstring>
#include <string>

#include "kvxinfo/CapturedLog.h"
#include "kvxinfo/Inventory.h"
#include "kvxinfo/Output.h"
#include "kvxinfo/Plan.h"

namespace {

constexpr char kUsage[] =
    "usage: kvxinfo [--json]                      installed KVX instances\n"
    "       kvxinfo [--json] plan <package folder>  what UPDSilent would do with a package\n"
    "       kvxinfo --help\n"
    "Reads /etc/kvxsysV3.ini and the product trees; changes nothing and writes no log.\n"
    "Exit status: 0 ok; 1 the plan fails for an instance; 2 no instance would be updated;\n"
    "3 no KVX 5.8 64-bit instance can be read; 4 the package cannot be read; 64 usage.\n";

struct Arguments {
  bool json = false;
  bool help = false;
  bool plan = false;
  std::string package;
};

bool Parse(int argc, char** argv, Arguments& args) {
  int words = 0;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--json") == 0) {
      args.json = true;
    } else if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      args.help = true;
    } else if (words == 0 && std::strcmp(a, "plan") == 0) {
      args.plan = true;
      ++words;
    } else if (words == 1 && args.plan) {
      args.package = a;
      ++words;
    } else {
      return false;
    }
  }
  return !args.plan || !args.package.empty();
}

int Fail(const Arguments& args, const std::string& error, int status) {
  if (args.json)
    kvxinfo::PrintErrorJson(stdout, error, status);
  else
    std::fprintf(stderr, "kvxinfo: %s\n", error.c_str());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  kvxinfo::CaptureInstallerLog();
  Arguments args;
  if (!Parse(argc, argv, args)) {
    std::fputs(kUsage, stderr);
    return kvxinfo::kExitUsage;
  }
  if (args.help) {
    std::fputs(kUsage, stdout);
    return kvxinfo::kExitOk;
  }
  if (!args.plan) {
    const kvxinfo::Inventory inventory = kvxinfo::ReadInventory();
    if (inventory.status != kvxinfo::kExitOk) return Fail(args, inventory.error, inventory.status);
    (args.json ? kvxinfo::PrintInventoryJson : kvxinfo::PrintInventoryText)(stdout, inventory);
    return kvxinfo::kExitOk;
  }
  const kvxinfo::Plan plan = kvxinfo::BuildPlan(args.package);
  if (!plan.error.empty()) return Fail(args, plan.error, plan.status);
  (args.json ? kvxinfo::PrintPlanJson : kvxinfo::PrintPlanText)(stdout, plan);
  return plan.status;
}
