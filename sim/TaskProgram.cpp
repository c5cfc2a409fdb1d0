// The stand-in's task program, installed under each task name in the Domino
// program folder; it takes its name from argv[0]. Only the daemon starts it:
// fd 3 is its channel to the daemon, DOMSIM_DIR and DOMSIM_DATA name the
// partition's stand-in folder and data folder.
//
// While it runs it maps every library listed in <domsim>/libs (so a library
// swapped under it stays mapped, as with a real task) and holds a write lock
// on <data>/kvxtemp/<name>{<pid>}. Told "quit" over the channel, it answers
// by the partition's behaviour file: "quitting" and ends, "later N" and ends
// N seconds on, or "ignored". When the channel closes (the server is gone)
// it ends at once.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Handles.h"
#include "SimCommon.h"

namespace {

constexpr int kChannel = 3;

// A library kept mapped for the task's life.
class Mapping {
 public:
  Mapping(void* at, std::size_t size) : at_(at), size_(size) {}
  Mapping(Mapping&& o) noexcept : at_(std::exchange(o.at_, nullptr)), size_(o.size_) {}
  Mapping& operator=(Mapping&&) = delete;
  ~Mapping() {
    if (at_) ::munmap(at_, size_);
  }

 private:
  void* at_;
  std::size_t size_;
};

struct Answer {
  std::string text;  // "quitting", "later N" or "ignored"
  int afterSeconds;  // -1: never, 0: at once
};

// The last line of the behaviour file naming this task decides; none: quit.
Answer QuitAnswer(const std::string& simDir, const std::string& name) {
  Answer answer{"quitting", 0};
  std::ifstream in(simDir + "/behaviour");
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string task, mode;
    int seconds = 0;
    if (!(words >> task >> mode) || domsim::Lower(task) != domsim::Lower(name)) continue;
    if (mode == "never") {
      answer = {"ignored", -1};
    } else if (mode == "after" && (words >> seconds) && seconds > 0) {
      answer = {"later " + std::to_string(seconds), seconds};
    } else {
      answer = {"quitting", 0};
    }
  }
  return answer;
}

bool AlreadyRunning(const std::string& kvxtemp, const std::string& name) {
  DirPtr dir(::opendir(kvxtemp.c_str()));
  if (!dir) return false;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string file = entry->d_name;
    if (file.size() > name.size() && file[name.size()] == '{' &&
        ::strncasecmp(file.c_str(), name.c_str(), name.size()) == 0 &&
        domsim::LockedByOther(kvxtemp + "/" + file))
      return true;
  }
  return false;
}

bool MapLibraries(const std::string& simDir, std::vector<Mapping>* maps, std::string* error) {
  std::ifstream in(simDir + "/libs");
  for (std::string raw; std::getline(in, raw);) {
    const std::string path = domsim::Trim(raw);
    if (path.empty()) continue;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
      *error = "cannot open library " + path + ": " + domsim::ErrnoText(errno);
      return false;
    }
    if (st.st_size == 0) continue;  // nothing to map; an empty file still opened
    void* at =
        ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (at == MAP_FAILED) {
      *error = "cannot map library " + path + ": " + domsim::ErrnoText(errno);
      return false;
    }
    maps->emplace_back(at, static_cast<std::size_t>(st.st_size));
  }
  return true;
}

void Say(const std::string& text) { domsim::WriteAll(kChannel, text + "\n"); }

}  // namespace

int main(int, char** argv) {
  const char* simDirEnv = std::getenv("DOMSIM_DIR");
  const char* dataEnv = std::getenv("DOMSIM_DATA");
  if (!simDirEnv || !dataEnv || ::fcntl(kChannel, F_GETFD) < 0) {
    std::fprintf(stderr, "this task program is started by the server's \"load\" command\n");
    return 2;
  }
  const std::string simDir = simDirEnv;
  const std::string kvxtemp = std::string(dataEnv) + "/kvxtemp";
  const char* slash = std::strrchr(argv[0], '/');
  const std::string name = slash ? slash + 1 : argv[0];

  if (AlreadyRunning(kvxtemp, name)) {
    Say("fail " + name + " is already running");
    return 0;
  }
  std::vector<Mapping> libraries;
  std::string error;
  if (!MapLibraries(simDir, &libraries, &error)) {
    Say("fail " + error);
    return 1;
  }
  ::mkdir(kvxtemp.c_str(), 0775);  // may exist; the open below tells
  const std::string lockPath = kvxtemp + "/" + name + "{" + std::to_string(::getpid()) + "}";
  UniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0664));
  if (lock.get() < 0 || !domsim::LockWhole(lock.get())) {
    Say("fail cannot lock " + lockPath + ": " + domsim::ErrnoText(errno));
    return 1;
  }
  Say("ready");

  using Clock = std::chrono::steady_clock;
  bool quitPending = false;
  Clock::time_point quitAt;
  domsim::LineReader reader;
  for (;;) {
    int waitMs = -1;
    if (quitPending) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(quitAt - Clock::now()).count();
      if (left <= 0) break;
      waitMs = static_cast<int>(left);
    }
    std::string message;
    const int got = reader.Next(kChannel, &message, waitMs);
    if (got == 0) break;  // the server is gone
    if (got < 0) continue;
    if (domsim::Lower(domsim::Trim(message)) != "quit") {
      Say("unknown");
      continue;
    }
    const Answer answer = QuitAnswer(simDir, name);
    Say(answer.text);
    if (answer.afterSeconds == 0) break;
    if (answer.afterSeconds > 0 && !quitPending) {
      quitPending = true;
      quitAt = Clock::now() + std::chrono::seconds(answer.afterSeconds);
    }
  }
  // Removed while still locked, so nobody sees the file unlocked first.
  ::unlink(lockPath.c_str());
  return 0;
}
