// The directory lister and its wildcard matcher. A lister reads the whole
// listing when it is made and holds names only; no directory handle outlives
// the constructor.
#include <dirent.h>

#include <cstring>

#include "FileOpInternal.h"
#include "Handles.h"
#include "QoFileOpUtil.h"

namespace {

// Names are kept in blocks of this size (see QoKVXDirList::_addName).
constexpr std::size_t kNameBlock = 64 * 1024;

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

namespace qo_fileop_internal {

// Iterative form of the recursive definition: on a mismatch the last "*" seen
// covers one more byte and matching resumes after it. With only "*" and "?"
// this gives the same answers as full backtracking, in linear steps per "*",
// so many stars in a pattern cannot make a listing slow.
bool _fnmatch(const char* pattern, const char* name) {
  const char* star = nullptr;      // position after the last "*" seen
  const char* starName = nullptr;  // name byte that "*" currently stops before
  while (*name != '\0') {
    if (*pattern == '*') {
      star = ++pattern;
      starName = name;
    } else if (*pattern != '\0' && (*pattern == '?' || *pattern == *name)) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star;
      name = ++starName;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

}  // namespace qo_fileop_internal

QoKVXDirList::QoKVXDirList(const char* path) : m_nNext(0) {
  std::string text(path ? path : "");
  // Both tests look at the argument as given, before backslashes are rewritten.
  if (!QoKVXFileOpUtil::isDirName(text.c_str()) && QoKVXFileOpUtil::isDir(text.c_str()))
    text += '/';
  qo_fileop_internal::normalizeSeptor(text);
  m_strDir = QoKVXFileOpUtil::getDirName(text.c_str());
  m_strFilter = QoKVXFileOpUtil::getFileName(text.c_str());
  if (m_strFilter.empty()) m_strFilter = "*";
  _init();
}

QoKVXDirList::~QoKVXDirList() = default;

void QoKVXDirList::_init() {
  DirPtr dir(::opendir(m_strDir.empty() ? "./" : m_strDir.c_str()));
  if (!dir) return;  // an unreadable or missing folder lists nothing
  const bool matchAll = m_strFilter == "*";
  while (const dirent* e = ::readdir(dir.get())) {
    if (IsDotOrDotDot(e->d_name)) continue;
    if (matchAll || qo_fileop_internal::_fnmatch(m_strFilter.c_str(), e->d_name))
      _addName(e->d_name);
  }
}

void QoKVXDirList::_addName(const char* name) {
  const std::size_t len = std::strlen(name);  // at most 255: a dirent name
  if (len > m_nBlockFree) {
    m_lstBlocks.emplace_back(new char[kNameBlock]);
    m_nBlockFree = kNameBlock;
  }
  char* at = m_lstBlocks.back().get() + (kNameBlock - m_nBlockFree);
  std::memcpy(at, name, len);
  m_nBlockFree -= len;
  m_lstEntries.emplace_back(at, len);
}

std::string QoKVXDirList::_pathOf(std::size_t i) const {
  const std::string_view name = m_lstEntries[i];
  std::string path;
  path.reserve(m_strDir.size() + name.size());
  path.append(m_strDir).append(name);
  return path;
}

bool QoKVXDirList::hasNext() const { return m_nNext < m_lstEntries.size(); }

std::string QoKVXDirList::getNext() {
  if (!hasNext()) return std::string();
  return _pathOf(m_nNext++);
}

std::string QoKVXDirList::getFilter() const { return m_strFilter; }

int QoKVXDirList::getFolderCount() const {
  int n = 0;
  for (std::size_t i = 0; i < m_lstEntries.size(); ++i)
    if (QoKVXFileOpUtil::isDir(_pathOf(i).c_str())) ++n;
  return n;
}

int QoKVXDirList::getFileCount() const {
  return static_cast<int>(m_lstEntries.size()) - getFolderCount();
}
