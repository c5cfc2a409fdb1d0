// Updates that cannot write the product, or whose package lacks a listed
// file: the originals must stay in the program folder or in the backup, and
// a rollback must bring back the program folder as it was.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <filesystem>
#include <string>

#include "faults/FaultHost.h"

namespace faults {
namespace {

class ReadOnlyProductTest : public ::testing::TestWithParam<int> {};

// A read-only bind mount stops root too, where a file mode would not.
TEST_P(ReadOnlyProductTest, NothingChanges) {
  if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs root inside the sandbox";
  FaultHost host;
  PackageSpec want;
  want.createNewFolder = GetParam();
  const std::string package = host.MakePackage(want);
  const std::string product = host.Product();
  ASSERT_EQ(0, ::mount(product.c_str(), product.c_str(), nullptr, MS_BIND, nullptr));
  ASSERT_EQ(0,
            ::mount(nullptr, product.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr));

  const RunResult update = host.Run(package);
  ::umount2(product.c_str(), MNT_DETACH);

  // Every write fails and is only logged; the update still reports success.
  EXPECT_EQ(0, update.status);
  EXPECT_TRUE(update.LoggedPrefix("Error: Cannot copy the file(libkvxcore.so). "));
  EXPECT_TRUE(update.Logged("=============================Update (" + product +
                            ") successfully======================="));
  EXPECT_EQ(std::vector<std::string>{}, host.ChangedOriginals());
  EXPECT_EQ(host.ProgramDir(kOldBuild), host.LatestTarget());
  EXPECT_FALSE(std::filesystem::exists(product + "/hotfix/B1300"));
}

INSTANTIATE_TEST_SUITE_P(Faults, ReadOnlyProductTest, ::testing::Values(0, 1),
                         [](const auto& info) {
                           return std::string(info.param ? "NewFolder" : "InPlace");
                         });

struct BadFileCase {
  const char* name;
  int createNewFolder;
  bool asFolder;  // the listed name is a folder, which no copy can read
};

class BadPackageFileTest : public ::testing::TestWithParam<BadFileCase> {};

TEST_P(BadPackageFileTest, RollbackRestoresTheProgramFolder) {
  if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs root inside the sandbox";
  const BadFileCase& c = GetParam();
  FaultHost host;
  PackageSpec want;
  want.createNewFolder = c.createNewFolder;
  want.leaveOut = {kLibraries[1]};
  const std::string package = host.MakePackage(want);
  if (c.asFolder)
    std::filesystem::create_directories(package + "/FileGroup1/" + kLibraries[1] + "/sub");

  const RunResult update = host.Run(package);
  EXPECT_EQ(0, update.status);
  EXPECT_TRUE(update.Logged("=============================Update (" + host.Product() +
                            ") successfully======================="));
  EXPECT_EQ(std::vector<std::string>{}, host.LostOriginals());
  if (!c.createNewFolder) {
    EXPECT_TRUE(update.LoggedPrefix("Error: Cannot copy the file(libkvxscan.so). "));
    // The name stays empty until the rollback: its original is in the backup.
    EXPECT_FALSE(std::filesystem::is_regular_file(host.ProgramDir(kOldBuild) + "/libkvxscan.so"));
  } else {
    // The new folder keeps the old build's file under that name.
    EXPECT_EQ(kvxtest::ReadFile(host.ProgramDir(kOldBuild) + "/libkvxscan.so"),
              kvxtest::ReadFile(host.ProgramDir(kNewBuild) + "/libkvxscan.so"));
  }

  const std::string hotfix = host.Product() + "/hotfix/B1300";
  const RunResult rollback = host.Run(package, "/u " + hotfix);
  EXPECT_EQ(0, rollback.status);
  EXPECT_EQ(std::vector<std::string>{}, host.ChangedOriginals());
  EXPECT_EQ(host.ProgramDir(kOldBuild), host.LatestTarget());
  EXPECT_FALSE(std::filesystem::exists(hotfix));
}

INSTANTIATE_TEST_SUITE_P(Faults, BadPackageFileTest,
                         ::testing::Values(BadFileCase{"InPlaceMissing", 0, false},
                                           BadFileCase{"InPlaceUnreadable", 0, true},
                                           BadFileCase{"NewFolderMissing", 1, false},
                                           BadFileCase{"NewFolderUnreadable", 1, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace faults
