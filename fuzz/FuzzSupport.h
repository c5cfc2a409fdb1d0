// The fuzz targets' entry point, check, scratch folder, files and input cutting. With
// KVX_FUZZ_REPLAY the targets are plain functions the suite runs over stored inputs (tests/fuzz).
#ifndef KVX_FUZZ_FUZZSUPPORT_H
#define KVX_FUZZ_FUZZSUPPORT_H

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DebugLog.h"

#ifdef KVX_FUZZ_REPLAY
#define KVX_FUZZ_TARGET(name) int KvxFuzz_##name(const std::uint8_t* data, std::size_t size)
#else
#define KVX_FUZZ_TARGET(name) \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
#endif

// Stops the process on a broken property; libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(cond)                                                                         \
  ((cond) ? void(0)                                                                              \
          : (std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__), \
             std::abort()))

namespace kvxfuzz {

// The code under test logs its steps; across millions of inputs each line
// would open and append to the day's log file. Formatting still happens, so
// a format that does not fit its arguments is caught all the same.
inline const bool kLogDiscarded = (SetLogSink(DiscardLogLine), true);

// A folder made once per process under /tmp and removed when the process ends normally.
inline const std::string& ScratchDir() {
  static const struct Scratch {
    std::string path = ::mkdtemp(&std::string("/tmp/kvx-fuzz.XXXXXX")[0]);
    ~Scratch() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  } scratch;
  return scratch.path;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  FUZZ_CHECK(
      std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size())));
}

inline std::string ReadBytes(const std::string& path) {  // "" when it cannot be read
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// The first n lines of an input (arguments, each cut at a NUL as a char* would be) and, last,
// the rest (a file's content).
inline std::vector<std::string> Cut(const std::uint8_t* data, std::size_t size, int n) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> pieces;
  std::size_t at = 0;
  for (std::size_t end; n-- > 0; at = std::min(end + 1, input.size())) {
    end = std::min(input.find('\n', at), input.size());
    pieces.push_back(input.substr(at, end - at).c_str());
  }
  pieces.push_back(input.substr(at));
  return pieces;
}

}  // namespace kvxfuzz

#endif  // KVX_FUZZ_FUZZSUPPORT_H
