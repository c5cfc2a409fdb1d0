// Owners for the handles this code base opens: a stdio stream, a directory
// stream and a file descriptor, each closed on every way out of a scope.
#ifndef KVX_INI_HANDLES_H
#define KVX_INI_HANDLES_H

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <utility>

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  UniqueFd(UniqueFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) {
      reset();
      fd_ = std::exchange(o.fd_, -1);
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);  // no retry on EINTR: the number may be reused
    fd_ = -1;
  }

 private:
  int fd_;
};

#endif  // KVX_INI_HANDLES_H
