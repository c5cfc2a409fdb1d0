// Shared pieces of the fuzz targets: failure report, scratch folder, input
// cutting and the reference version reader.
#include "fuzz/FuzzSupport.h"

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "driver/DebugLog.h"
#include "ini/Handles.h"

namespace kvxfuzz {

namespace {

// The code under test logs its steps; across millions of inputs each line
// would open and append to the day's log file. Formatting still happens, so
// a format that does not fit its arguments is caught all the same.
[[maybe_unused]] const bool kLogDiscarded = (SetLogSink(DiscardLogLine), true);

std::string& InputName() {
  static std::string name;
  return name;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  std::remove(path);
  return 0;  // go on: whatever is left, the rest still goes
}

class Scratch {
 public:
  Scratch() {
    char pattern[] = "/tmp/kvx-fuzz.XXXXXX";
    if (!::mkdtemp(pattern)) Fail("mkdtemp of the scratch folder", __FILE__, __LINE__);
    path_ = pattern;
  }
  ~Scratch() { ::nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "fuzz check failed: %s (%s:%d)%s%s\n", what, file, line,
               InputName().empty() ? "" : " on input ", InputName().c_str());
  std::fflush(stderr);
  std::abort();
}

void SetInputName(const std::string& name) { InputName() = name; }

const std::string& ScratchDir() {
  static Scratch scratch;
  return scratch.path();
}

void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
  FilePtr out(std::fopen(path.c_str(), "wb"));
  if (!out) Fail("scratch file cannot be written", __FILE__, __LINE__);
  if (size > 0 && std::fwrite(data, 1, size, out.get()) != size)
    Fail("scratch file write", __FILE__, __LINE__);
}

std::string ReadBytes(const std::string& path, bool* found) {
  FilePtr in(std::fopen(path.c_str(), "rb"));
  if (found) *found = static_cast<bool>(in);
  std::string text;
  if (!in) return text;
  char block[4096];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, in.get())) > 0;)
    text.append(block, n);
  return text;
}

std::string InputCutter::Line() {
  std::size_t end = at_;
  while (end < size_ && data_[end] != '\n') ++end;
  std::string line(data_ + at_, end - at_);
  at_ = end < size_ ? end + 1 : end;
  return line;
}

std::string InputCutter::Rest() {
  std::string rest(data_ + at_, size_ - at_);
  at_ = size_;
  return rest;
}

unsigned InputCutter::Byte() {
  if (at_ >= size_) return 0;
  return static_cast<unsigned char>(data_[at_++]);
}

bool IsAsciiBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

namespace {

// One "%d": blanks, a sign, at least one digit. Returns false when no digit.
bool ReadNumber(const std::string& s, std::size_t* at, int* value) {
  std::size_t i = *at;
  while (i < s.size() && IsAsciiBlank(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
  long long magnitude = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    if (magnitude <= 4294967296LL) magnitude = magnitude * 10 + (s[i] - '0');
  }
  long long v = negative ? -magnitude : magnitude;
  if (v > 2147483647LL) v = 2147483647LL;
  if (v < -2147483648LL) v = -2147483648LL;
  *value = static_cast<int>(v);
  *at = i;
  return true;
}

}  // namespace

void ReferenceVersion(const std::string& path, int out[4]) {
  std::string work = AsCString(path).substr(0, 1023);
  if (!work.empty() && (work.back() == '/' || work.back() == '\\')) work.pop_back();
  std::size_t cut = work.rfind('/');
  if (cut == std::string::npos) cut = work.rfind('\\');
  std::string name = cut == std::string::npos ? work : work.substr(cut + 1);
  if (!name.empty()) name.erase(0, 1);
  int numbers[4] = {0, 0, 0, 0};
  int count = 0;
  for (std::size_t at = 0; count < 4 && ReadNumber(name, &at, &numbers[count]);) {
    ++count;
    if (at >= name.size() || name[at] != '.') break;
    ++at;
  }
  out[0] = numbers[0];
  out[1] = numbers[1];
  out[2] = count == 4 ? numbers[2] : 0;
  out[3] = count == 4 ? numbers[3] : (count == 3 ? numbers[2] : 0);
}

}  // namespace kvxfuzz
