// Changes to the file tree: copying single files, wildcard sets and trees,
// moving, renaming, deleting and creating folders, each step announced to an
// optional callback that may watch, skip or stop it.
//
// Nothing is undone on failure: what was copied or deleted before the failing
// step stays, and a partly written destination file stays in place.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "FileOpInternal.h"
#include "Handles.h"
#include "QoFileOpUtil.h"

using qo_fileop_internal::IsEmpty;
using qo_fileop_internal::isWildcardName;
using qo_fileop_internal::normalizeSeptor;
using qo_fileop_internal::StripOneTrailingSeparator;
using Op = QoKVXFileOpUtil;

namespace {

// Each file copy moves at most this much per step, in the kernel or through
// one buffer of this size, so memory stays bounded whatever the file size.
constexpr std::size_t kCopyChunk = 256 * 1024;

// The callback protocol, before a step: 0 goes on, kSkipStep skips the step as
// done; any other value stops and is returned. kGoOn means "do the step".
constexpr int kGoOn = 0;
constexpr int kSkipped = 1;  // internal only: never returned to a caller

int AnnounceStep(Op::Callback cb, Op::CallbackEntry* e) {
  if (cb == nullptr || e == nullptr) return kGoOn;
  const int r = cb(e);
  if (r == Op::kSkipStep) return kSkipped;
  return r == 0 ? kGoOn : r;
}

// After a step that succeeded: 0 and kSkipStep keep the result at 0.
int ReportStepDone(Op::Callback cb, Op::CallbackEntry* e) {
  if (e != nullptr) e->iDone = 1;
  if (cb == nullptr || e == nullptr) return Op::kOk;
  const int r = cb(e);
  return (r == 0 || r == Op::kSkipStep) ? Op::kOk : r;
}

void SetStep(Op::CallbackEntry* e, const char* source, const char* dest, int action) {
  if (e == nullptr) return;
  e->szSource = source;
  e->szDest = dest;
  e->iAction = action;
  e->iDone = 0;
}

// Applies the leading rules shared by copy and xcopy: backslashes become "/",
// and a path naming an existing folder gets its trailing "/".
std::string PrepareCopyPath(const char* path) {
  std::string p(path);
  normalizeSeptor(p);
  if (!Op::isDirName(p.c_str()) && Op::isDir(p.c_str())) p += '/';
  return p;
}

// Writes all of buf; false when the file took fewer bytes.
bool WriteAll(int fd, const char* buf, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, buf, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    buf += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

int CopyThroughBuffer(int in, int out) {
  std::unique_ptr<char[]> buf(new (std::nothrow) char[kCopyChunk]);
  if (!buf) return Op::kErrRead;  // no memory: the step fails, nothing is read
  for (;;) {
    const ssize_t r = ::read(in, buf.get(), kCopyChunk);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return Op::kErrRead;
    if (r == 0) return Op::kOk;
    if (!WriteAll(out, buf.get(), static_cast<std::size_t>(r))) return Op::kErrShortWrite;
  }
}

bool KernelRefusedCopy(int err) {
  return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}

// Copies in the kernel, chunk by chunk; where the kernel refuses this pair of
// files before anything moved, the buffer loop takes over.
int CopyInKernel(int in, int out) {
  bool first = true;
  for (;;) {
    const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kCopyChunk, 0);
    if (n < 0) {
      const int err = errno;
      if (err == EINTR) continue;
      if (first && KernelRefusedCopy(err)) return CopyThroughBuffer(in, out);
      return (err == ENOSPC || err == EDQUOT || err == EFBIG) ? Op::kErrShortWrite : Op::kErrRead;
    }
    // Some files (those of /proc, say) report nothing to the kernel copy
    // although they have content; reading them settles it.
    if (n == 0) return first ? CopyThroughBuffer(in, out) : Op::kOk;
    first = false;
  }
}

// Copies the open source into the open, empty destination.
int CopyContent(int in, const struct stat& inSt, int out) {
  return S_ISREG(inSt.st_mode) ? CopyInKernel(in, out) : CopyThroughBuffer(in, out);
}

// The common step when nobody watches: a destination that does not exist yet.
// Creating it exclusively answers "is it there?" and opens it in one call,
// where the general way needs a folder test, a probe and a second open. The
// source is opened first so that a missing source never leaves an empty
// destination behind. Whatever this way does not settle (an entry already at
// the destination, even a dangling link; a source or destination that does
// not open) is left untouched to the general way, which reports it by the
// usual rules; kNotTaken says so.
constexpr int kNotTaken = 1;

int CopyToNewFile(const char* source, const char* dest, Op::CallbackEntry* e) {
  UniqueFd in(::open(source, O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (in.get() < 0) return kNotTaken;
  struct stat inSt;
  if (::fstat(in.get(), &inSt) != 0) return kNotTaken;
  UniqueFd out(::open(dest, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
  if (out.get() < 0) return kNotTaken;
  SetStep(e, source, dest, Op::kActionCopyNew);
  const int r = CopyContent(in.get(), inSt, out.get());
  if (r != Op::kOk) return r;
  return ReportStepDone(nullptr, e);
}

// Copies one file. Returns a result code; a new destination gets the default
// mode of a new file, an existing one keeps its mode, owner and group.
int _copy(const char* source, const char* dest, bool overwrite, Op::Callback cb,
          Op::CallbackEntry* e) {
  if (IsEmpty(source) || IsEmpty(dest)) return Op::kErrBadArgs;
  if (cb == nullptr || e == nullptr) {
    const int r = CopyToNewFile(source, dest, e);
    if (r != kNotTaken) return r;
  }
  SetStep(e, source, dest, Op::kActionCopyNew);
  if (Op::isDir(dest)) return Op::kErrDest;
  if (Op::exist(dest)) {
    if (!overwrite) return Op::kErrDestExists;
    if (e != nullptr) e->iAction = Op::kActionCopyOver;
  }
  const int before = AnnounceStep(cb, e);
  if (before == kSkipped) return Op::kOk;
  if (before != kGoOn) return before;

  UniqueFd in(::open(source, O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (in.get() < 0) return Op::kErrOpenSource;
  struct stat inSt;
  if (::fstat(in.get(), &inSt) != 0) return Op::kErrRead;
  // Opened without truncation first: when source and destination are one file
  // (another path, a link, a hard link) truncating would destroy it.
  UniqueFd out(::open(dest, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666));
  if (out.get() < 0) return Op::kErrDest;
  struct stat outSt;
  if (::fstat(out.get(), &outSt) != 0) return Op::kErrDest;
  if (inSt.st_dev == outSt.st_dev && inSt.st_ino == outSt.st_ino) return Op::kErrBadArgs;
  if (S_ISREG(outSt.st_mode) && outSt.st_size != 0 && ::ftruncate(out.get(), 0) != 0)
    return Op::kErrDest;

  const int r = CopyContent(in.get(), inSt, out.get());
  if (r != Op::kOk) return r;
  return ReportStepDone(cb, e);
}

int __unlink(const char* path, Op::Callback cb, Op::CallbackEntry* e) {
  if (IsEmpty(path)) return Op::kErrBadArgs;
  const bool dir = Op::isDir(path);
  SetStep(e, path, nullptr, dir ? Op::kActionRemoveDir : Op::kActionDeleteFile);
  const int before = AnnounceStep(cb, e);
  if (before == kSkipped) return Op::kOk;
  if (before != kGoOn) return before;
  // A link is removed itself, never what it points to.
  const int rc = dir ? ::rmdir(path) : ::unlink(path);
  const int err = errno;
  if (e != nullptr) e->iDone = 1;
  if (rc == 0) return ReportStepDone(cb, e);
  // Gone already, or a folder that still holds something: not an error here.
  if (err == ENOENT || err == ENOTDIR || err == ENOTEMPTY || err == EEXIST) return Op::kOk;
  return Op::kErrBadArgs;
}

// The folder in which a path without directory part lives: the root for a
// name directly under it, the current folder for a relative name.
std::string ParentOf(const std::string& path) {
  std::string parent = Op::getDirName(path.c_str());
  if (parent.empty()) parent = (path[0] == '/') ? "/" : "./";
  return parent;
}

int CreateDirImpl(const std::string& path, Op::Callback cb, Op::CallbackEntry* e) {
  const std::string parent = ParentOf(path);
  SetStep(e, path.c_str(), nullptr, Op::kActionCreateDir);
  const int before = AnnounceStep(cb, e);
  if (before == kSkipped) return Op::kOk;
  if (before != kGoOn) return before;
  if (path == "/") return Op::kOk;

  if (Op::isExist(parent.c_str())) {
    if (!Op::isDir(parent.c_str())) return Op::kErrDest;
  } else if (Op::getDirName(path.c_str()).empty()) {
    return Op::kErrDest;  // the root or the current folder is gone: nothing to make
  } else {
    std::string up = parent;
    StripOneTrailingSeparator(up);
    // The parents are made first, top down; the parent's own result is judged
    // by what exists afterwards.
    (void)CreateDirImpl(up, cb, e);
    if (!Op::isExist(parent.c_str())) return Op::kErrDest;
  }
  // Its result is not needed: what exists afterwards decides, so a folder made
  // meanwhile by someone else counts as made.
  (void)::mkdir(path.c_str(), 0775);
  if (!Op::isExist(path.c_str()) || !Op::isDir(path.c_str())) return Op::kErrDest;
  SetStep(e, path.c_str(), nullptr, Op::kActionCreateDir);
  return ReportStepDone(cb, e);
}

// Creates the destination's folder (when it has one) and copies one file.
int CopyToFileDest(const std::string& source, const std::string& dest, bool overwrite,
                   Op::Callback cb, Op::CallbackEntry* e) {
  const std::string dir = Op::getDirName(dest.c_str());
  if (!dir.empty()) {
    const int r = Op::createDir(dir.c_str(), cb, e);
    if (r != Op::kOk) return r;
  }
  return _copy(source.c_str(), dest.c_str(), overwrite, cb, e);
}

// Where the folder dest lies against the folder source. Inside (or equal):
// copying a tree into itself would never end, and onto itself would empty
// its files. Unknown when either path cannot be resolved.
enum class Placement { kInside, kOutside, kUnknown };

Placement PlaceDest(const std::string& source, const std::string& dest) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path src = fs::canonical(source, ec);
  if (ec) return Placement::kUnknown;
  const fs::path dst = fs::weakly_canonical(dest, ec);
  if (ec) return Placement::kUnknown;
  auto s = src.begin();
  auto d = dst.begin();
  for (; s != src.end(); ++s, ++d) {
    if (d == dst.end()) return Placement::kOutside;
    if (s->empty()) continue;  // trailing "/" element
    if (*s != *d) return Placement::kOutside;
  }
  return Placement::kInside;
}

// True when the folder path (ending with "/") is a symbolic link, or cannot
// be examined for another reason than its absence.
bool MayBeLink(const std::string& dir) {
  const std::string entry = dir.substr(0, dir.size() - 1);
  struct stat st;
  if (::lstat(entry.c_str(), &st) != 0) return errno != ENOENT;
  return S_ISLNK(st.st_mode);
}

// xcopy once its source is known to be a folder or a file set and its
// destination a folder ending with "/". parentOutside: the caller is copying
// the parent of source into the parent of dest and found that one outside.
int XCopyIntoDir(const std::string& source, std::string dest, bool overwrite, Op::Callback cb,
                 Op::CallbackEntry* e, bool parentOutside);

int XCopyDirectory(const std::string& source, std::string dest, bool overwrite, Op::Callback cb,
                   Op::CallbackEntry* e, bool parentOutside) {
  if (!Op::isDirName(dest.c_str())) return Op::kErrBadArgs;
  // The folder's own name with its "/": copying /a/b/ into /x/ targets /x/b/.
  const std::size_t last = source.size() - 1;
  const std::size_t prev = last == 0 ? std::string::npos : source.rfind('/', last - 1);
  dest += source.substr(prev == std::string::npos ? 0 : prev + 1);
  // Below a pair already found apart, a sub-folder (never a link: links are
  // copied as files) copied to the same name below the destination stays
  // apart, unless that name is a link that leads elsewhere. Resolving both
  // paths again for every folder of a large tree would cost more than the
  // copy of its small files, so only that case is checked.
  bool outside = parentOutside && !MayBeLink(dest);
  if (!outside) {
    const Placement where = PlaceDest(source, dest);
    if (where == Placement::kInside) return Op::kErrBadArgs;
    outside = where == Placement::kOutside;
  }
  const int r = Op::createDir(dest.c_str(), cb, e);
  if (r != Op::kOk) return r;
  return XCopyIntoDir(source, std::move(dest), overwrite, cb, e, outside);
}

int XCopyIntoDir(const std::string& source, std::string dest, bool overwrite, Op::Callback cb,
                 Op::CallbackEntry* e, bool parentOutside) {
  if (!Op::isDir(dest.c_str())) {
    const int r = Op::createDir(dest.c_str(), cb, e);
    if (r != Op::kOk) return r;
  }
  QoKVXDirList list(source.c_str());
  while (list.hasNext()) {
    const std::string item = list.getNext();
    int r;
    if (Op::isDir(item.c_str())) {
      r = XCopyDirectory(item + '/', dest, overwrite, cb, e, parentOutside);
    } else {
      const std::string target = dest + Op::getFileName(item.c_str());
      r = _copy(item.c_str(), target.c_str(), overwrite, cb, e);
    }
    if (r != Op::kOk) return r;
  }
  return Op::kOk;
}

}  // namespace

bool QoKVXFileOpUtil::rename(const char* source, const char* dest) {
  if (IsEmpty(source) || IsEmpty(dest)) return false;
  std::string from(source);
  std::string to(dest);
  normalizeSeptor(from);
  normalizeSeptor(to);
  StripOneTrailingSeparator(from);
  StripOneTrailingSeparator(to);
  return std::rename(from.c_str(), to.c_str()) == 0;
}

int QoKVXFileOpUtil::copy(const char* source, const char* dest, bool overwrite, Callback cb,
                          CallbackEntry* entry) {
  if (IsEmpty(source) || IsEmpty(dest)) return kErrBadArgs;
  const std::string src = PrepareCopyPath(source);
  const std::string dst = PrepareCopyPath(dest);
  if (!isDirName(dst.c_str())) {
    if (isWildcardName(src.c_str()) || isDirName(src.c_str())) return kErrBadArgs;
    return CopyToFileDest(src, dst, overwrite, cb, entry);
  }
  if (!isDir(dst.c_str())) {
    const int r = createDir(dst.c_str(), cb, entry);
    if (r != kOk) return r;
  }
  QoKVXDirList list(src.c_str());
  while (list.hasNext()) {
    const std::string item = list.getNext();
    if (isDir(item.c_str())) continue;  // not recursive: sub-folders are passed over
    const std::string target = dst + getFileName(item.c_str());
    const int r = _copy(item.c_str(), target.c_str(), overwrite, cb, entry);
    if (r != kOk) return r;
  }
  return kOk;
}

int QoKVXFileOpUtil::xcopy(const char* source, const char* dest, bool overwrite, Callback cb,
                           CallbackEntry* entry) {
  if (IsEmpty(source) || IsEmpty(dest)) return kErrBadArgs;
  const std::string src = PrepareCopyPath(source);
  const std::string dst = PrepareCopyPath(dest);
  if (isDirName(src.c_str())) return XCopyDirectory(src, dst, overwrite, cb, entry, false);
  if (!isDirName(dst.c_str())) {
    if (isWildcardName(src.c_str())) return kErrBadArgs;
    return CopyToFileDest(src, dst, overwrite, cb, entry);
  }
  return XCopyIntoDir(src, dst, overwrite, cb, entry, false);
}

int QoKVXFileOpUtil::move(const char* source, const char* dest, bool overwrite, Callback cb,
                          CallbackEntry* entry) {
  const int r = copy(source, dest, overwrite, cb, entry);
  return r != kOk ? r : unlink(source, cb, entry);
}

int QoKVXFileOpUtil::xmove(const char* source, const char* dest, bool overwrite, Callback cb,
                           CallbackEntry* entry) {
  const int r = xcopy(source, dest, overwrite, cb, entry);
  return r != kOk ? r : xunlink(source, cb, entry);
}

int QoKVXFileOpUtil::unlink(const char* path, Callback cb, CallbackEntry* entry) {
  if (IsEmpty(path)) return kErrBadArgs;
  std::string p(path);
  normalizeSeptor(p);
  StripOneTrailingSeparator(p);
  if (isDir(p.c_str()) || !isWildcardName(p.c_str())) return __unlink(p.c_str(), cb, entry);
  QoKVXDirList list(p.c_str());
  while (list.hasNext()) {
    const int r = __unlink(list.getNext().c_str(), cb, entry);
    if (r != kOk) return r;
  }
  return kOk;
}

int QoKVXFileOpUtil::xunlink(const char* path, Callback cb, CallbackEntry* entry) {
  if (IsEmpty(path)) return kErrBadArgs;
  std::string p(path);
  normalizeSeptor(p);
  // Refused outright: no caller means to empty the whole file system.
  if (p.find_first_not_of('/') == std::string::npos) return kErrBadArgs;
  QoKVXDirList list(p.c_str());
  while (list.hasNext()) {
    const std::string item = list.getNext();
    // A link to a folder is deleted itself; its target is never entered.
    const int r =
        isDir(item.c_str()) ? xunlink(item.c_str(), cb, entry) : __unlink(item.c_str(), cb, entry);
    if (r != kOk) return r;
  }
  StripOneTrailingSeparator(p);
  return isDir(p.c_str()) ? __unlink(p.c_str(), cb, entry) : kOk;
}

int QoKVXFileOpUtil::createDir(const char* path, Callback cb, CallbackEntry* entry) {
  if (IsEmpty(path)) return kErrBadArgs;
  std::string p(path);
  StripOneTrailingSeparator(p);
  return CreateDirImpl(p, cb, entry);
}
