// An engine package's version.txt. Input: the first byte lengthens the
// folder path (by "/." steps, which name the same folder) across the limit
// of the version file path; the rest is the file. Checked: the result, the
// four numbers against the reference reading of the first line from its
// ninth character, and zeros on every failure.
#include <sys/stat.h>

#include <string>

#include "fuzz/FuzzSupport.h"
#include "inventory/VersionFolder.h"

namespace {

constexpr std::size_t kFolderMax = 243;  // 256 bytes hold the folder, "/version.txt" and NUL
constexpr std::size_t kLineMax = 2047;   // what one read of the first line brings
constexpr std::size_t kLabel = 8;        // characters before the version's own text

// The first line as one read of at most 2047 bytes hands it over, without
// up to two line-end characters; false when the file is empty.
bool FirstLine(const std::string& content, std::string* line) {
  if (content.empty()) return false;
  std::size_t end = 0;
  while (end < content.size() && end < kLineMax)
    if (content[end++] == '\n') break;
  *line = kvxfuzz::AsCString(content.substr(0, end));
  for (int i = 0; i < 2 && !line->empty() && (line->back() == '\r' || line->back() == '\n'); ++i)
    line->pop_back();
  return true;
}

const std::string& EngineDir() {
  static const std::string dir = [] {
    std::string d = kvxfuzz::ScratchDir() + "/engine";
    ::mkdir(d.c_str(), 0755);
    return d;
  }();
  return dir;
}

}  // namespace

KVX_FUZZ_TARGET(EngineVersion) {
  kvxfuzz::InputCutter cutter(data, size);
  std::string folder = EngineDir();
  for (unsigned steps = cutter.Byte(); steps > 0; --steps) folder += "/.";
  const std::string content = cutter.Rest();
  kvxfuzz::WriteBytes(EngineDir() + "/version.txt",
                      reinterpret_cast<const std::uint8_t*>(content.data()), content.size());

  int out[4] = {-7, -7, -7, -7};
  const int rc = ReadEngineVersion(&folder[0], &out[0], &out[1], &out[2], &out[3]);

  std::string line;
  const bool readable = folder.size() <= kFolderMax && FirstLine(content, &line);
  if (!readable || line.size() <= kLabel) {
    FUZZ_CHECK(rc == -1);
    FUZZ_CHECK(out[0] == 0 && out[1] == 0 && out[2] == 0 && out[3] == 0);
    return 0;
  }
  FUZZ_CHECK(rc == 0);
  int v[4];
  kvxfuzz::ReferenceVersion(line.substr(kLabel), v);
  // major, minor, build, extra: the build is the last number, extra the
  // third of four.
  FUZZ_CHECK(out[0] == v[0] && out[1] == v[1] && out[2] == v[3] && out[3] == v[2]);
  // A missing output is refused before anything is touched.
  FUZZ_CHECK(ReadEngineVersion(&folder[0], &out[0], &out[1], nullptr, &out[3]) == -1);
  FUZZ_CHECK(out[0] == v[0] && out[3] == v[2]);
  return 0;
}
