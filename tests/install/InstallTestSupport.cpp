#include "install/InstallTestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace installtest {

FileFacts Facts(const std::string& path) {
  FileFacts facts;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return facts;
  facts.exists = true;
  facts.inode = st.st_ino;
  facts.perms = st.st_mode & 07777;
  facts.gid = st.st_gid;
  return facts;
}

gid_t KvxGroupId() {
  if (!::getgrnam("kvxgroup")) kvxtest::RunCommand("groupadd kvxgroup");
  const struct group* group = ::getgrnam("kvxgroup");
  if (!group) throw std::runtime_error("cannot create kvxgroup");
  return group->gr_gid;
}

std::vector<std::string> NamesEndingWith(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (const struct dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::string CurrentFolder() {
  char buf[PATH_MAX];
  return ::getcwd(buf, sizeof buf) ? buf : "";
}

NameTable::NameTable(char** table, int slots, const std::vector<std::string>& names)
    : table_(table), slots_(slots), saved_(table, table + slots) {
  texts_.reserve(static_cast<std::size_t>(slots));
  for (int i = 0; i < slots; ++i) {
    const std::string text = i < static_cast<int>(names.size()) ? names[i] : "";
    texts_.emplace_back(text.begin(), text.end());
    texts_.back().push_back('\0');
    table_[i] = texts_.back().data();
  }
}

NameTable::~NameTable() {
  for (int i = 0; i < slots_; ++i) table_[i] = saved_[static_cast<std::size_t>(i)];
}

InFolder::InFolder(const std::string& folder) : previous_(CurrentFolder()) {
  if (::chdir(folder.c_str()) != 0) throw std::runtime_error("cannot enter " + folder);
}

InFolder::~InFolder() {
  if (::chdir(previous_.c_str()) != 0) std::perror("chdir back");
}

namespace {

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0 && errno != EINTR) return;
    if (n > 0) done += static_cast<std::size_t>(n);
  }
}

std::string ReadAll(int fd) {
  std::string text;
  char chunk[4096];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    text.append(chunk, static_cast<std::size_t>(n));
  }
  return text;
}

// The child's side: one line "<inode> <content>" per held file.
[[noreturn]] void HoldAndReport(const std::vector<std::string>& paths, int ask, int answer) {
  std::vector<int> fds;
  for (const std::string& path : paths) fds.push_back(::open(path.c_str(), O_RDONLY));
  WriteAll(answer, "r");
  char byte;
  while (::read(ask, &byte, 1) < 0 && errno == EINTR) {
  }
  std::ostringstream report;
  for (const int fd : fds) {
    struct stat st {};
    ::fstat(fd, &st);
    ::lseek(fd, 0, SEEK_SET);
    report << st.st_ino << ' ' << ReadAll(fd) << '\n';
  }
  WriteAll(answer, report.str());
  ::_exit(0);
}

}  // namespace

OpenFileHolder::OpenFileHolder(const std::vector<std::string>& paths) {
  int ask[2];
  int answer[2];
  if (::pipe(ask) != 0 || ::pipe(answer) != 0) throw std::runtime_error("pipe failed");
  std::fflush(nullptr);
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::close(ask[1]);
    ::close(answer[0]);
    HoldAndReport(paths, ask[0], answer[1]);
  }
  ::close(ask[0]);
  ::close(answer[1]);
  ask_ = ask[1];
  answer_ = answer[0];
  char ready = 0;
  while (::read(answer_, &ready, 1) < 0 && errno == EINTR) {
  }
  if (ready != 'r') throw std::runtime_error("holder did not start");
}

OpenFileHolder::~OpenFileHolder() {
  if (ask_ >= 0) ::close(ask_);
  if (answer_ >= 0) ::close(answer_);
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
}

std::vector<OpenFileHolder::Held> OpenFileHolder::Report() {
  WriteAll(ask_, "?");
  std::istringstream lines(ReadAll(answer_));
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  std::vector<Held> held;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    Held one{};
    fields >> one.inode;
    fields.get();
    std::getline(fields, one.content);
    held.push_back(one);
  }
  return held;
}

void InstallTest::SetUp() {
  if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs root inside tests/support/sandbox-run";
  KvxGroupId();
  kvxtest::ClearDebugLog();
  startFolder_ = CurrentFolder();
  ASSERT_EQ(0, ::chdir(tree_.path().c_str()));
}

void InstallTest::TearDown() {
  if (!startFolder_.empty() && ::chdir(startFolder_.c_str()) != 0) std::perror("chdir back");
}

}  // namespace installtest
