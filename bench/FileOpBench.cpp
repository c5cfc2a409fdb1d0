// Micro-benchmarks: the wildcard matcher, listing a folder, copying a small
// file and comparing two files.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "FileOpInternal.h"
#include "QoFileOpUtil.h"

namespace {

namespace fs = std::filesystem;

// A scratch folder under /tmp, removed at the end of the benchmark.
class Scratch {
 public:
  Scratch() {
    char pattern[] = "/tmp/fileop-bench.XXXXXX";
    if (::mkdtemp(pattern) != nullptr) path_ = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void WriteBytes(const std::string& path, std::size_t n) {
  std::ofstream out(path, std::ios::binary);
  const std::string block(4096, 'k');
  for (std::size_t done = 0; done < n; done += block.size())
    out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), n - done)));
}

void BM_FnMatch(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(qo_fileop_internal::_fnmatch("*kvx*.so.?", "libkvxscan64.so.5"));
    benchmark::DoNotOptimize(qo_fileop_internal::_fnmatch("*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaa"));
  }
}
BENCHMARK(BM_FnMatch);

void BM_DirList(benchmark::State& state) {
  Scratch dir;
  for (int i = 0; i < state.range(0); ++i) WriteBytes(dir.path() + "/f" + std::to_string(i), 0);
  const std::string pattern = dir.path() + "/*7*";
  for (auto _ : state) {
    QoKVXDirList list(pattern.c_str());
    while (list.hasNext()) benchmark::DoNotOptimize(list.getNext());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DirList)->Arg(1000)->Arg(10000);

void BM_CopyFile(benchmark::State& state) {
  Scratch dir;
  const std::string src = dir.path() + "/src";
  const std::string dst = dir.path() + "/dst";
  WriteBytes(src, static_cast<std::size_t>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(QoKVXFileOpUtil::copy(src.c_str(), dst.c_str(), true));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CopyFile)->Arg(4 << 10)->Arg(8 << 20);

void BM_Comp(benchmark::State& state) {
  Scratch dir;
  const std::string a = dir.path() + "/a";
  const std::string b = dir.path() + "/b";
  WriteBytes(a, 8 << 20);
  WriteBytes(b, 8 << 20);
  for (auto _ : state) benchmark::DoNotOptimize(QoKVXFileOpUtil::comp(a.c_str(), b.c_str()));
  state.SetBytesProcessed(state.iterations() * (8 << 20));
}
BENCHMARK(BM_Comp);

}  // namespace
