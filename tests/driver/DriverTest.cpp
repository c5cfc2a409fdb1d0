// The installer as a black box (argument shapes, registry failures, exit
// status) and the debug log line every unit writes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "DebugLog.h"
#include "HostKit.h"

using namespace kvxtest;
using ::testing::Contains;

namespace {

const std::string kBuilt = BuildDir() + "/driver/UPDSilent";

// A shape picks a mode (its banner first) or none (the registry read first);
// the line, @ the product path, proves what ran. No server runs: nothing waits.
struct ShapeCase {
  const char *name, *args, *banner, *line;
  int status;
};
// Written out, not taken from the installer's own texts: a reworded banner fails.
const char kNoMode[] = "Cannot open the file. (/kvxpatch.ini)",
           kRegistryPass[] = "Info:ParseKVXInsINI Begin.",
           kUpdateBanner[] = "=============================Update KVX=======================",
           kRollbackBanner[] = "=============================Rollback KVX=======================",
           kEngineRollbackBanner[] =
               "=============================Rollback KVX ENGINE================";
// clang-format off
const ShapeCase kShapes[] = {
    {"NoWordIsUpdate", "", kUpdateBanner, "Cannot open the file. (./FileGroup1/kvxpatch.ini)", 212},
    {"SlashUAlone", "/u", kRegistryPass, kNoMode, 212},
    {"SlashUFolder", "/u /pkg/", kRollbackBanner, "Cannot open the file. (/pkg//FileGroup1/kvxpatch.ini)", 212},
    {"SlashUTwoWords", "/u /pkg more", kRegistryPass, kNoMode, 212},
    {"UpperSlashU", "/U /pkg", kRegistryPass, kNoMode, 212},
    {"SlashUx", "/ux /pkg", kRegistryPass, kNoMode, 212},
    {"SlashUeOneWord", "/ue alder", kRegistryPass, kNoMode, 212},
    {"SlashUeMissing", "/ue alder V9.750.1003", kEngineRollbackBanner, "argv[2] is alder, argv[3] is V9.750.1003", 212},
    {"SlashUeThreeWords", "/ue alder V9.750.1001 birch", kRegistryPass, kNoMode, 212},
    {"SlashUeRemoves", "/ue ALDER v9.750.1001", kEngineRollbackBanner, "===================Rollback (@/engine/alder/V9.750.1001) successfully===================", 0},
    {"EvenOtherWord", "/x alder V9.750.1001", kRegistryPass, kNoMode, 212},
};
// clang-format on
class Driver : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(Driver, ShapeSelectsModeAndStatus) {
  const ShapeCase& c = GetParam();
  InstanceSpec want;
  want.engines = {"alder/V9.750.1001", "alder/V9.750.1002"};
  Host host({want});
  EXPECT_EQ(c.status, RunUPDSilent("/", c.args, kBuilt).exitStatus);
  const Lines log = DebugLogMessages();
  EXPECT_EQ(c.banner, log.at(0));
  EXPECT_THAT(log, Contains("There is 1 KVX installed in current system!"));
  std::string line = c.line;
  if (line.find('@') != std::string::npos) line.replace(line.find('@'), 1, host.Product());
  EXPECT_THAT(log, Contains(line));
}

KVX_TABLE(Shapes, Driver, kShapes);

// A missing registry: the real-run table in tests/kvxinfo and packaging-check.
TEST(DriverRegistry, EmptyFailsBeforeAnyPackage) {
  WriteFile("/etc/kvxsysV3.ini", "[KVXInstances]\nOther=1\n");
  EXPECT_EQ(212, RunUPDSilent("/", "", kBuilt).exitStatus);
  EXPECT_EQ("No 64-bit KVX 5.8 installed.", DebugLogMessages().back());
  std::remove("/etc/kvxsysV3.ini");
}

// "[<date time>][pid=..][tid=..][module=<level, hex>] [file:checkdomino_silent]
// [line: 337]:<message cut at 2047>", each line appended to the day's file.
TEST(DebugLog, FixedPrefixHexLevelCutAt2047AndAppended) {
  ClearDebugLog();
  LogDebugMessage(1, "hello %s %d", "world", 7);
  LogDebugMessage(255, "%s", std::string(5000, 'x').c_str());
  const Lines lines = DebugLogLines();  // the day's file, or two over midnight
  ASSERT_EQ(2u, lines.size()) << "each line appended";
  const std::string prefix = R"(^\[[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\]\[pid=)" +
                             std::to_string(::getpid()) + R"(\]\[tid=-?[0-9]+\]\[module=)";
  const std::string fixed = R"(\] \[file:checkdomino_silent\] \[line: 337\]:)";
  EXPECT_THAT(lines[0], ::testing::ContainsRegex(prefix + "1" + fixed + "hello world 7$"));
  EXPECT_THAT(lines[1], ::testing::ContainsRegex(prefix + "ff" + fixed + "x{2047}$"));
}

}  // namespace
