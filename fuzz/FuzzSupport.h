// What every fuzz target shares: the entry point's name, a check that stops
// the run with a readable reason, a private scratch folder for the targets
// that must go through a file, a way to cut one input into several
// arguments, and the one number reader the version checks agree on.
//
// The same sources build two ways: as libFuzzer targets (clang, fuzz/) and,
// with KVX_FUZZ_REPLAY defined, as plain functions that the ordinary test
// suite runs over the stored inputs (tests/fuzz/).
#ifndef KVX_FUZZ_FUZZSUPPORT_H
#define KVX_FUZZ_FUZZSUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>

#ifdef KVX_FUZZ_REPLAY
#define KVX_FUZZ_TARGET(name) int KvxFuzz_##name(const std::uint8_t* data, std::size_t size)
#else
#define KVX_FUZZ_TARGET(name) \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
#endif

// Stops the process on a broken property. libFuzzer sees the abort as a
// crash and keeps the input; the replay test reports the stored input's name.
#define FUZZ_CHECK(cond) ((cond) ? static_cast<void>(0) : kvxfuzz::Fail(#cond, __FILE__, __LINE__))

namespace kvxfuzz {

[[noreturn]] void Fail(const char* what, const char* file, int line);

// Named in the failure message; the replay test sets it per stored input.
void SetInputName(const std::string& name);

// A folder made once per process under /tmp and removed with its content
// when the process ends normally.
const std::string& ScratchDir();

// Replaces path's content with the bytes given.
void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size);
// The whole file, or "" when it cannot be read; *found tells which.
std::string ReadBytes(const std::string& path, bool* found = nullptr);

// Hands out an input piece by piece: lines first (the arguments), then the
// rest (usually a file's content). Without a newline a line takes all.
class InputCutter {
 public:
  InputCutter(const std::uint8_t* data, std::size_t size)
      : data_(reinterpret_cast<const char*>(data)), size_(size) {}
  std::string Line();
  std::string Rest();
  // One byte as a small number, 0 when the input is used up.
  unsigned Byte();

 private:
  const char* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// A C string stops at the first NUL: what a char* argument really carries.
inline std::string AsCString(const std::string& s) { return std::string(s.c_str()); }

bool IsAsciiBlank(char c);  // what a "%d" scan skips in the C locale

// The four numbers of a version folder name, read by the rules written out
// independently of the inventory's reader: the last component of path
// (first 1023 bytes, one trailing separator dropped) without its first
// character, then "%d.%d.%d.%d" with values held at the 32-bit limits.
void ReferenceVersion(const std::string& path, int out[4]);

}  // namespace kvxfuzz

#endif  // KVX_FUZZ_FUZZSUPPORT_H
