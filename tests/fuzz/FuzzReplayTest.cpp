// Replays every stored fuzz input through its target's checks. A broken
// check aborts the run and names the input, as it does under libFuzzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"

KVX_FUZZ_TARGET(IniReader);
KVX_FUZZ_TARGET(IniWriter);
KVX_FUZZ_TARGET(Fnmatch);
KVX_FUZZ_TARGET(VersionStr);
KVX_FUZZ_TARGET(SplitTrim);
KVX_FUZZ_TARGET(FileList);
KVX_FUZZ_TARGET(EngineVersion);
KVX_FUZZ_TARGET(RunLog);

namespace {

namespace fs = std::filesystem;

struct Target {
  const char* name;  // the folder name under fuzz/corpus and fuzz/regressions
  int (*run)(const std::uint8_t*, std::size_t);
};

const Target kTargets[] = {
    {"ini_reader", KvxFuzz_IniReader},
    {"ini_writer", KvxFuzz_IniWriter},
    {"fnmatch", KvxFuzz_Fnmatch},
    {"version_str", KvxFuzz_VersionStr},
    {"split_trim", KvxFuzz_SplitTrim},
    {"file_list", KvxFuzz_FileList},
    {"engine_version", KvxFuzz_EngineVersion},
    {"run_log", KvxFuzz_RunLog},
};

// The regular files of folder, sorted so a failure repeats in the same order.
std::vector<fs::path> StoredInputs(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
      files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

class FuzzReplay : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, EveryStoredInputPasses) {
  const Target& target = GetParam();
  std::size_t seeds = 0;
  for (const char* kind : {"corpus", "regressions"}) {
    for (const fs::path& file : StoredInputs(fs::path(KVX_FUZZ_DIR) / kind / target.name)) {
      const std::string bytes = kvxfuzz::ReadBytes(file.string());
      kvxfuzz::SetInputName(file.string());
      EXPECT_EQ(0, target.run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
      seeds += std::string(kind) == "corpus" ? 1 : 0;
    }
  }
  kvxfuzz::SetInputName("");
  EXPECT_GT(seeds, 0u) << "no seed inputs for " << target.name;
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(kTargets),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
