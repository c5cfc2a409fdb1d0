// Replays the stored inputs of every fuzz target through its checks: the seeds in
// fuzz/corpus/<target> and the inputs that once broke something in fuzz/regressions/<target>.
// A broken check aborts the run; the input named last on standard error broke it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzSupport.h"

// clang-format off
#define KVX_TARGETS(X)             \
  X(IniReader, ini_reader)         \
  X(IniWriter, ini_writer)         \
  X(Fnmatch, fnmatch)              \
  X(VersionStr, version_str)       \
  X(SplitTrim, split_trim)         \
  X(FileList, file_list)           \
  X(EngineVersion, engine_version) \
  X(RunLog, run_log)
// clang-format on
#define KVX_DECLARE(name, folder) KVX_FUZZ_TARGET(name);
#define KVX_ROW(name, folder) {#folder, KvxFuzz_##name},
KVX_TARGETS(KVX_DECLARE)

namespace {

using Target = std::pair<const char*, int (*)(const std::uint8_t*, std::size_t)>;
const Target kTargets[] = {KVX_TARGETS(KVX_ROW)};

class FuzzReplay : public ::testing::TestWithParam<Target> {};
TEST_P(FuzzReplay, EveryStoredInputPasses) {
  std::vector<std::filesystem::path> inputs;
  for (const char* kind : {"corpus", "regressions"}) {
    std::error_code ec;  // no regressions folder: nothing broke yet
    for (const auto& e : std::filesystem::directory_iterator(
             std::filesystem::path(KVX_FUZZ_DIR) / kind / GetParam().first, ec))
      inputs.push_back(e.path());
  }
  EXPECT_FALSE(inputs.empty());
  for (const auto& input : inputs) {
    std::fprintf(stderr, "input %s\n", input.c_str());
    const std::string bytes = kvxfuzz::ReadBytes(input);
    EXPECT_EQ(0, GetParam().second(reinterpret_cast<const std::uint8_t*>(&bytes[0]), bytes.size()));
  }
}
INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(kTargets),
                         [](const auto& i) { return std::string(i.param.first); });

}  // namespace
