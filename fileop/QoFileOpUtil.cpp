// Path queries and splitting of the file operations library, and the
// separator rules every other operation relies on.
#include "QoFileOpUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FileOpInternal.h"
#include "Porting.h"

namespace qo_fileop_internal {

bool IsTrailingByteOfDBC(const char* /*text*/, const char* /*pos*/) { return false; }

bool isPathSeparator(char c) { return c == '/'; }

bool IsSeparatorAt(const char* text, const char* pos) {
  return isPathSeparator(*pos) && !IsTrailingByteOfDBC(text, pos);
}

bool isWildcardName(const char* name) {
  return name != nullptr && std::strpbrk(name, "*?") != nullptr;
}

void normalizeSeptor(std::string& path) {
  for (char& c : path)
    if (c == '\\') c = '/';
}

void StripOneTrailingSeparator(std::string& path) {
  if (path.size() > 1 && IsSeparatorAt(path.c_str(), path.c_str() + path.size() - 1))
    path.pop_back();
}

}  // namespace qo_fileop_internal

using qo_fileop_internal::IsEmpty;
using qo_fileop_internal::IsSeparatorAt;

namespace {

// The last separator of a non-empty path, or null when it has none.
const char* LastSeparator(const char* path) {
  for (const char* p = path + std::strlen(path); p != path;) {
    --p;
    if (IsSeparatorAt(path, p)) return p;
  }
  return nullptr;
}

}  // namespace

bool QoKVXFileOpUtil::isDirName(const char* path) {
  if (IsEmpty(path)) return false;
  const std::size_t n = std::strlen(path);
  return IsSeparatorAt(path, path + n - 1);
}

bool QoKVXFileOpUtil::isDir(const char* path) {
  if (IsEmpty(path)) return false;
  struct stat st;
  // Most paths asked about have no trailing "/": they need no copy.
  if (!isDirName(path)) return ::lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
  std::string p(path);
  qo_fileop_internal::StripOneTrailingSeparator(p);
  return ::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool QoKVXFileOpUtil::exist(const char* path) {
  if (IsEmpty(path)) return false;
  // O_NONBLOCK: a named pipe must not hang the question whether it exists.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool QoKVXFileOpUtil::isExist(const char* path) {
  return !IsEmpty(path) && ::access(path, F_OK) == 0;
}

std::string QoKVXFileOpUtil::getFileName(const char* path) {
  if (IsEmpty(path)) return std::string();
  const char* sep = LastSeparator(path);
  return sep ? std::string(sep + 1) : std::string(path);
}

std::string QoKVXFileOpUtil::getDirName(const char* path) {
  if (IsEmpty(path)) return std::string();
  const char* sep = LastSeparator(path);
  // A name directly under the root has no directory part of its own.
  if (sep == nullptr || sep == path) return std::string();
  return std::string(path, sep + 1);
}
