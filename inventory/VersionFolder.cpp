// Versioned folders of the product tree: reading a version out of a folder
// name, finding the newest program, engine or hotfix folder by listing (never
// by following program/latest), and reading an engine package's version.txt.
#include "VersionFolder.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "DebugLog.h"
#include "DecimalNumber.h"
#include "Handles.h"
#include "Porting.h"
#include "QoFileOpUtil.h"

namespace {

constexpr char kMsgNullOutput[] = "input pointer is NULL.";
constexpr char kMsgPathTooLong[] = "file length is %d, more than max.";
constexpr char kMsgCannotOpen[] = "Can not open file %s.";
constexpr char kMsgEmptyFile[] = "File %s content is empty.";
constexpr char kMsgContent[] = "File %s content is %s.";
constexpr char kMsgNoVersion[] = "File %s content is %s, no version.";

constexpr std::size_t kWorkSize = 1024;  // version parsing and the listing pattern
constexpr std::size_t kVersionPathSize = 256;
constexpr std::size_t kLineSize = 2048;
constexpr char kVersionFile[] = "/version.txt";
constexpr std::size_t kNoVersionMax = 8;  // the label before the version takes 9 characters

struct Version {
  std::int32_t part[4] = {0, 0, 0, 0};
};

bool IsNewer(const Version& candidate, const Version& best) {
  for (int i = 0; i < 4; ++i)
    if (candidate.part[i] != best.part[i]) return candidate.part[i] > best.part[i];
  return false;
}

// Builds "base[/]sub/<wildcard>". False when it does not fit: a cut pattern
// would list some other folder.
bool BuildPattern(char* pattern, const char* base, const char* sub, const char* wildcard) {
  const std::size_t n = std::strlen(base);
  const bool hasSeparator = n > 0 && (base[n - 1] == '/' || base[n - 1] == '\\');
  const int len =
      std::snprintf(pattern, kWorkSize, "%s%s%s/%s", base, hasSeparator ? "" : "/", sub, wildcard);
  return len >= 0 && static_cast<std::size_t>(len) < kWorkSize;
}

// Walks the folders matching base/sub/<wildcard> and keeps the one whose
// version, as read by versionOf, is strictly newer than every one before it.
// Returns the best version; out receives that folder's path when one beat the
// starting value (0, 0, 0, 0).
template <typename VersionOf>
bool FindNewest(const char* base, const char* sub, const char* wildcard, char* out,
                std::size_t outSize, VersionOf versionOf, Version* best) {
  if (!base || !sub || !out || outSize == 0) return false;
  char pattern[kWorkSize];
  if (!BuildPattern(pattern, base, sub, wildcard)) return false;
  QoKVXDirList listing(pattern);
  while (listing.hasNext()) {
    const std::string entry = listing.getNext();
    if (!QoKVXFileOpUtil::isDir(entry.c_str())) continue;  // links such as latest never count
    const Version version = versionOf(entry.c_str());
    if (!IsNewer(version, *best)) continue;  // on a tie the folder listed first stays
    *best = version;
    qo_snprintf(out, outSize, "%s", entry.c_str());
  }
  return true;
}

const char* LastComponent(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash ? slash + 1 : path;
}

// Removes up to two line-end characters (CR LF, LF, CR).
void CutLineEnd(char* line) {
  for (int i = 0; i < 2; ++i) {
    const std::size_t n = std::strlen(line);
    if (n == 0 || (line[n - 1] != '\r' && line[n - 1] != '\n')) return;
    line[n - 1] = '\0';
  }
}

}  // namespace

void QoParseVersionStr(const char* path, int* v1, int* v2, int* v3, int* v4) {
  char work[kWorkSize];
  qo_snprintf(work, sizeof work, "%s", path ? path : "");
  std::size_t n = std::strlen(work);
  if (n > 0 && (work[n - 1] == '/' || work[n - 1] == '\\')) work[--n] = '\0';

  const char* separator = std::strrchr(work, '/');
  if (!separator) separator = std::strrchr(work, '\\');
  const char* name = separator ? separator + 1 : work;
  const char* cursor = *name ? name + 1 : name;  // the V or B is not part of the version

  // "%d.%d.%d.%d": each number may bring blanks and a sign; a "." must follow
  // a number directly for the next one to be read.
  std::int32_t numbers[4] = {0, 0, 0, 0};
  int count = 0;
  while (count < 4) {
    const char* end = nullptr;
    numbers[count] = ReadDecimal32(cursor, &end);
    if (end == cursor) break;
    ++count;
    if (*end != '.') break;
    cursor = end + 1;
  }
  *v1 = numbers[0];
  *v2 = numbers[1];
  // With three numbers the last one is the build: it goes to the fourth output.
  *v3 = count == 4 ? numbers[2] : 0;
  *v4 = count == 4 ? numbers[3] : (count == 3 ? numbers[2] : 0);
}

char* GetLatestPathN(const char* base, const char* sub, char* out, std::size_t outSize) {
  Version best;
  const auto versionOf = [](const char* entry) {
    Version v;
    QoParseVersionStr(entry, &v.part[0], &v.part[1], &v.part[2], &v.part[3]);
    return v;
  };
  if (!FindNewest(base, sub, "V*", out, outSize, versionOf, &best)) return nullptr;
  // Only the first component decides whether anything was found.
  return best.part[0] != 0 ? out : nullptr;
}

char* GetLatestHFPathN(const char* base, const char* sub, char* out, std::size_t outSize) {
  Version best;
  const auto versionOf = [](const char* entry) {
    Version v;
    const char* name = LastComponent(entry);
    v.part[0] = ReadDecimal32(*name ? name + 1 : name);
    return v;
  };
  if (!FindNewest(base, sub, "B*", out, outSize, versionOf, &best)) return nullptr;
  return best.part[0] != 0 ? out : nullptr;
}

int ReadEngineVersion(char* folder, int* major, int* minor, int* build, int* extra) {
  if (!folder || !major || !minor || !build || !extra) {
    LogDebugMessage(0, kMsgNullOutput);
    return -1;
  }
  *major = *minor = *build = *extra = 0;

  const std::size_t folderLen = std::strlen(folder);
  if (folderLen + sizeof kVersionFile > kVersionPathSize) {
    LogDebugMessage(0, kMsgPathTooLong, static_cast<int>(folderLen + 11));
    return -1;
  }
  char path[kVersionPathSize];
  qo_snprintf(path, sizeof path, "%s%s", folder, kVersionFile);

  FilePtr file(std::fopen(path, "r"));
  if (!file) {
    LogDebugMessage(0, kMsgCannotOpen, path);
    return -1;
  }
  char line[kLineSize];
  if (!std::fgets(line, sizeof line, file.get())) {
    LogDebugMessage(0, kMsgEmptyFile, path);
    return -1;
  }
  CutLineEnd(line);
  LogDebugMessage(1, kMsgContent, path, line);
  if (std::strlen(line) <= kNoVersionMax) {
    LogDebugMessage(0, kMsgNoVersion, path, line);
    return -1;
  }
  int v3 = 0;
  QoParseVersionStr(line + kNoVersionMax, major, minor, &v3, build);
  *extra = v3;
  return 0;
}
