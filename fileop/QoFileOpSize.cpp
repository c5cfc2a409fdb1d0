// Questions about content and size: a walk that reports every entry of a
// tree to a callback, the total size of a tree, emptiness of a folder, the
// size of a file and whether two files hold the same bytes. Nothing here
// changes the file tree.
//
// Sizes and totals are 64-bit, so files and trees of 2 GiB and more are
// measured exactly instead of wrapping.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "FileOpInternal.h"
#include "Handles.h"
#include "QoFileOpUtil.h"

using qo_fileop_internal::IsEmpty;
using qo_fileop_internal::normalizeSeptor;
using Op = QoKVXFileOpUtil;

namespace {

constexpr std::size_t kCompareChunk = 256 * 1024;

UniqueFd OpenForReading(const std::string& path) {
  return UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
}

void FillEntry(Op::CallbackEntry* e, const char* path, const struct stat& st, bool walkAsDir) {
  e->szSource = path;
  e->szDest = nullptr;
  e->tmModified = static_cast<std::int64_t>(st.st_mtime);
  e->iItemSize = walkAsDir ? 0 : static_cast<std::int64_t>(st.st_size);
  e->iAction = walkAsDir ? Op::kActionVisitDir : Op::kActionVisitFile;
}

// Reads until n bytes arrived or the file ended; -1 on a read error.
ssize_t ReadFull(int fd, char* buf, std::size_t n) {
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::read(fd, buf + got, n - got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  return static_cast<ssize_t>(got);
}

// The length of an open file by moving to its end, then back to the start.
off_t LengthAndRewind(int fd) {
  const off_t len = ::lseek(fd, 0, SEEK_END);
  if (len < 0 || ::lseek(fd, 0, SEEK_SET) != 0) return -1;
  return len;
}

// Adds each file's size to the 64-bit total that pUserData points at.
int CB_GetDirSize(Op::CallbackEntry* e) {
  if (e->pUserData != nullptr) *static_cast<std::uint64_t*>(e->pUserData) += e->iItemSize;
  return 0;
}

}  // namespace

bool QoKVXFileOpUtil::xaccess(const char* path, Callback cb, CallbackEntry* entry) {
  if (IsEmpty(path) || entry == nullptr || entry->iSize != sizeof(CallbackEntry)) return false;
  std::string p(path);
  normalizeSeptor(p);
  struct stat st;
  if (!isDir(p.c_str())) {
    if (::stat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    FillEntry(entry, p.c_str(), st, false);
    if (cb != nullptr) cb(entry);
    return true;
  }
  if (!isDirName(p.c_str())) p += '/';
  QoKVXDirList list(p.c_str());
  while (list.hasNext()) {
    const std::string item = list.getNext();
    if (::stat(item.c_str(), &st) != 0) return false;  // a dangling link, a vanished entry
    // A link to a folder is reported as an entry of its own and never entered:
    // the walk stays inside the tree and cannot run in circles.
    const bool walkAsDir = S_ISDIR(st.st_mode) && isDir(item.c_str());
    FillEntry(entry, item.c_str(), st, walkAsDir);
    if (S_ISDIR(st.st_mode) && !walkAsDir) entry->iItemSize = 0;
    if (cb != nullptr) cb(entry);
    // The callback keeps the walk out of a folder by changing the action.
    if (entry->iAction == kActionVisitDir && !xaccess(item.c_str(), cb, entry)) return false;
  }
  return true;
}

std::uint64_t QoKVXFileOpUtil::getDirSize(const char* path) {
  if (IsEmpty(path)) return kSizeError;
  std::uint64_t total = 0;
  CallbackEntry entry;
  std::memset(&entry, 0, sizeof entry);
  entry.iSize = sizeof entry;
  entry.pUserData = &total;
  return xaccess(path, CB_GetDirSize, &entry) ? total : kSizeError;
}

bool QoKVXFileOpUtil::isEmptyDir(const char* path) {
  if (!isDir(path)) return false;
  return !QoKVXDirList(path).hasNext();
}

bool QoKVXFileOpUtil::filesizeEqualTo(const char* path, int size) {
  if (IsEmpty(path)) return false;
  std::string p(path);
  normalizeSeptor(p);
  UniqueFd fd(OpenForReading(p));
  if (fd.get() < 0) return false;
  const off_t len = ::lseek(fd.get(), 0, SEEK_END);
  // Compared at full width: a file of 4 GiB + 100 bytes is not 100 bytes long.
  return len >= 0 && len == static_cast<off_t>(size);
}

bool QoKVXFileOpUtil::comp(const char* path1, const char* path2) {
  return QoKVXFileComparer().same(path1, path2);
}

bool QoKVXFileComparer::same(const char* path1, const char* path2) {
  if (IsEmpty(path1) || IsEmpty(path2)) return false;
  std::string p1(path1);
  std::string p2(path2);
  normalizeSeptor(p1);
  normalizeSeptor(p2);
  UniqueFd f1(OpenForReading(p1));
  UniqueFd f2(OpenForReading(p2));
  if (f1.get() < 0 || f2.get() < 0) return false;
  const off_t len = LengthAndRewind(f1.get());
  if (len < 0 || len != LengthAndRewind(f2.get())) return false;
  if (len == 0) return true;

  if (!m_first) m_first.reset(new (std::nothrow) char[kCompareChunk]);
  if (!m_second) m_second.reset(new (std::nothrow) char[kCompareChunk]);
  if (!m_first || !m_second) return false;
  off_t total = 0;
  while (total < len) {
    const ssize_t n1 = ReadFull(f1.get(), m_first.get(), kCompareChunk);
    const ssize_t n2 = ReadFull(f2.get(), m_second.get(), kCompareChunk);
    if (n1 < 0 || n1 != n2 ||
        std::memcmp(m_first.get(), m_second.get(), static_cast<std::size_t>(n1)) != 0)
      return false;
    // Both ended before the length they had at the start: they shrank while
    // being compared, which is not the same content.
    if (n1 == 0) return false;
    total += n1;
  }
  return total == len;
}
