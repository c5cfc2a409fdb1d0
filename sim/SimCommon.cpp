// Shared helpers of the Domino stand-in: notes.ini keys, its file layout,
// record locks and line I/O.
#include "SimCommon.h"

#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>

#include "Handles.h"

namespace domsim {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string ErrnoText(int err) { return std::strerror(err); }

bool ReadPartition(const std::string& notesIni, Partition* out, std::string* error) {
  std::ifstream in(notesIni);
  if (!in) {
    *error = "cannot read " + notesIni + ": " + ErrnoText(errno);
    return false;
  }
  out->notesIni = notesIni;
  bool inNotes = false;
  for (std::string raw; std::getline(in, raw);) {
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      inNotes = Lower(line) == "[notes]";
      continue;
    }
    const std::size_t eq = line.find('=');
    if (!inNotes || eq == std::string::npos) continue;
    const std::string key = Lower(Trim(line.substr(0, eq)));
    const std::string value = Trim(line.substr(eq + 1));
    if (key == "directory") out->dataDir = value;
    if (key == "notesprogram") out->binDir = value;
  }
  if (out->dataDir.empty()) {
    *error = notesIni + " names no Directory in its [Notes] section";
    return false;
  }
  return true;
}

std::string SimDir(const std::string& dataDir) { return dataDir + "/domsim"; }
std::string SocketPath(const std::string& dataDir) { return SimDir(dataDir) + "/console.sock"; }

bool LockWhole(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return ::fcntl(fd, F_SETLK, &lock) == 0;
}

bool LockedByOther(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (::fcntl(fd.get(), F_GETLK, &lock) != 0) return false;
  return lock.l_type != F_UNLCK;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

int LineReader::Next(int fd, std::string* line, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const std::size_t nl = pending_.find('\n');
    if (nl != std::string::npos) {
      *line = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      return 1;
    }
    int wait = -1;
    if (timeoutMs >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = left > 0 ? static_cast<int>(left) : 0;  // 0: take only what is there
    }
    struct pollfd p {
      fd, POLLIN, 0
    };
    const int ready = ::poll(&p, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return -1;
    char chunk[512];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) {
      if (pending_.empty()) return 0;
      *line = std::exchange(pending_, std::string());  // a last line without its end
      return 1;
    }
    pending_.append(chunk, static_cast<std::size_t>(n));
  }
}

}  // namespace domsim
