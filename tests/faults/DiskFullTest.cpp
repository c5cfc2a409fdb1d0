// The product's file system fills up in the middle of an update. The
// product tree sits on a small tmpfs sized so that the disk runs out at the
// step each case names; afterwards the administrator makes room and rolls
// the hotfix back.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <string>

#include "faults/FaultHost.h"

namespace faults {
namespace {

constexpr size_t kLibrary = 256 * 1024;

struct DiskFullCase {
  const char* name;
  int createNewFolder;
  // Free room after the tree, in libraries: the backup of the three
  // libraries needs 3, a new program folder or the swap 3 more.
  double freeLibraries;
  const char* failedCopy;                    // a log line start the fault must leave
  std::vector<std::string> lostAfterUpdate;  // what the fault cannot help losing
};

class DiskFullTest : public ::testing::TestWithParam<DiskFullCase> {
 protected:
  void SetUp() override {
    if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs root inside the sandbox";
    // Tree: three libraries and two small files of a page each.
    const size_t bytes = static_cast<size_t>((3 + GetParam().freeLibraries) * kLibrary) + 2 * 4096;
    const std::string options = "size=" + std::to_string(bytes);
    ASSERT_EQ(0, ::mount("tmpfs", mount_.path().c_str(), "tmpfs", 0, options.c_str()));
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount2(mount_.path().c_str(), MNT_DETACH);
  }
  void MakeRoom() {
    ASSERT_EQ(0, ::mount("tmpfs", mount_.path().c_str(), "tmpfs", MS_REMOUNT, "size=64m"));
  }
  std::string ProductPath() const { return mount_.path() + "/kvx1"; }

 private:
  kvxtest::TempTree mount_;
  bool mounted_ = false;
};

TEST_P(DiskFullTest, OriginalsSurviveAndRollbackRestoresThem) {
  const DiskFullCase& c = GetParam();
  FaultHost host(ProductPath(), kLibrary);
  PackageSpec want;
  want.createNewFolder = c.createNewFolder;
  const std::string package = host.MakePackage(want);

  const RunResult update = host.Run(package);
  // Copy failures are only logged: the run still ends as a completed update.
  EXPECT_EQ(0, update.status);
  EXPECT_TRUE(update.LoggedPrefix(c.failedCopy)) << c.failedCopy;
  EXPECT_TRUE(update.Logged("=============================Update (" + host.Product() +
                            ") successfully======================="));
  EXPECT_EQ(c.lostAfterUpdate, host.LostOriginals());

  MakeRoom();
  const RunResult rollback = host.Run(package, "/u " + package);
  EXPECT_EQ(0, rollback.status);
  EXPECT_EQ(host.ProgramDir(kOldBuild), host.LatestTarget());
  if (c.lostAfterUpdate.empty()) {
    EXPECT_EQ(std::vector<std::string>{}, host.ChangedOriginals());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DiskFullTest,
    ::testing::Values(
        // The backup fits; the new folder is cut short. The old folder is
        // only read, latest is re-pointed at the partial new one.
        DiskFullCase{"NewFolderCopy", 1, 3.5, "Copy folder ", {}},
        // The backup fits; the new libraries do not. The originals moved
        // aside are deleted after the restart, but their backup is whole.
        DiskFullCase{"InPlaceSwap", 0, 3.5, "Error: Cannot copy the file(libkvxcore.so). ", {}},
        // The disk fills while the backup is taken. The swap still moves
        // every original aside and deletes it: the libraries without a whole
        // backup are gone (see docs/known-limits.md).
        DiskFullCase{"InPlaceBackup",
                     0,
                     1.5,
                     "Error: Cannot copy the file(libkvxscan.so). ",
                     {"libkvxext.so", "libkvxscan.so"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace faults
