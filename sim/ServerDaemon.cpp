// domsimd: the stand-in for one partition's Domino server.
//
//   domsimd <notes.ini> [--user NAME] [--foreground]
//
// Started as root it becomes the owner of notes.ini (or NAME); started as
// that user it stays so. It holds a write lock on <data>/~notes.lck for its
// whole life and takes console commands on <data>/domsim/console.sock:
//   load <task>            start <bin>/<task> as a task (answers once the
//                          task holds its lock or has failed)
//   te|tell <task> <text>  pass text to every running instance of the task;
//                          for "quit" answers once tasks that quit at once
//                          have ended
//   restart task <task>    tell the task to quit and load it again when its
//                          last instance has ended
//   show tasks             list the running tasks
//   quit|exit              end the tasks and the server
// Every command is journaled with the sender's uid. SIGTERM ends the server
// like "quit" without a journal line.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <list>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Handles.h"
#include "SimCommon.h"

namespace {

constexpr int kTaskStartMs = 5000;
constexpr int kTaskAnswerMs = 2000;
constexpr int kTaskEndMs = 2000;
constexpr int kShutdownMs = 5000;
constexpr int kClientReadMs = 5000;

struct Task {
  pid_t pid;
  std::string name;
  UniqueFd channel;
  domsim::LineReader reader;
};

void Note(const std::string& text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

std::string Now() {
  const std::time_t now = std::time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// Waits for pid to end for at most ms milliseconds; true when it was reaped.
bool Reap(pid_t pid, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    int status = 0;
    const pid_t got = ::waitpid(pid, &status, WNOHANG);
    if (got == pid || (got < 0 && errno == ECHILD)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

class Server {
 public:
  explicit Server(domsim::Partition partition)
      : part_(std::move(partition)), simDir_(domsim::SimDir(part_.dataDir)) {}

  // Takes the lock and opens the console; a message in *error on failure.
  bool Open(std::string* error);
  void Run();

 private:
  std::string Handle(const std::string& command, bool* stop);
  std::string Load(const std::string& name);
  std::string Tell(const std::string& name, const std::string& text);
  std::string Restart(const std::string& name);
  std::string ShowTasks() const;
  void Accept();
  void TaskEnded(std::list<Task>::iterator task);
  void Journal(uid_t uid, const std::string& command);
  void WriteTaskList() const;
  void Shutdown();
  bool Running(const std::string& name) const;

  domsim::Partition part_;
  std::string simDir_;
  UniqueFd lock_;
  UniqueFd listen_;
  UniqueFd signals_;
  std::list<Task> tasks_;
  std::set<std::string> restartPending_;  // lower-case task names
};

bool Server::Open(std::string* error) {
  const std::string lockPath = part_.dataDir + "/~notes.lck";
  lock_ = UniqueFd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0660));
  if (lock_.get() < 0) {
    *error = "cannot open " + lockPath + ": " + domsim::ErrnoText(errno);
    return false;
  }
  if (!domsim::LockWhole(lock_.get())) {
    *error = "a server already runs on " + part_.dataDir;
    return false;
  }
  // Holding the lock, any socket left behind is stale.
  const std::string socketPath = domsim::SocketPath(part_.dataDir);
  struct sockaddr_un address {};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) {
    *error = "console socket path too long: " + socketPath;
    return false;
  }
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  ::unlink(socketPath.c_str());
  listen_ = UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (listen_.get() < 0 ||
      ::bind(listen_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listen_.get(), 16) != 0) {
    *error = "cannot open the console " + socketPath + ": " + domsim::ErrnoText(errno);
    return false;
  }
  ::chmod(socketPath.c_str(), 0770);

  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigprocmask(SIG_BLOCK, &set, nullptr);
  signals_ = UniqueFd(::signalfd(-1, &set, SFD_CLOEXEC));
  ::signal(SIGPIPE, SIG_IGN);

  std::ofstream(simDir_ + "/pid") << ::getpid() << "\n";
  WriteTaskList();
  Note(Now() + " server started for " + part_.notesIni + " (pid " + std::to_string(::getpid()) +
       ")");
  return true;
}

void Server::Run() {
  for (;;) {
    std::vector<pollfd> fds{{listen_.get(), POLLIN, 0}, {signals_.get(), POLLIN, 0}};
    std::vector<std::list<Task>::iterator> owners;
    for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
      fds.push_back({it->channel.get(), POLLIN, 0});
      owners.push_back(it);
    }
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents) {
      signalfd_siginfo info;
      if (::read(signals_.get(), &info, sizeof info) > 0) break;
    }
    bool stop = false;
    for (std::size_t i = 2; i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      std::string line;
      // A task speaks only when asked; anything else on its channel is its end.
      int got;
      while ((got = owners[i - 2]->reader.Next(fds[i].fd, &line, 0)) == 1)
        Note(owners[i - 2]->name + ": " + line);
      if (got == 0) TaskEnded(owners[i - 2]);
    }
    if (fds[0].revents) {
      sockaddr_un peer{};
      socklen_t size = sizeof peer;
      UniqueFd client(
          ::accept4(listen_.get(), reinterpret_cast<sockaddr*>(&peer), &size, SOCK_CLOEXEC));
      if (client.get() >= 0) {
        ucred cred{};
        socklen_t credSize = sizeof cred;
        ::getsockopt(client.get(), SOL_SOCKET, SO_PEERCRED, &cred, &credSize);
        domsim::LineReader reader;
        std::string command;
        if (reader.Next(client.get(), &command, kClientReadMs) == 1) {
          if (!command.empty() && command.back() == '\r') command.pop_back();
          Journal(cred.uid, command);
          domsim::WriteAll(client.get(), Handle(command, &stop) + "\n");
        }
      }
    }
    if (stop) break;
  }
  Shutdown();
}

void Server::Journal(uid_t uid, const std::string& command) {
  std::ofstream out(simDir_ + "/journal", std::ios::app);
  out << Now() << '\t' << uid << '\t' << command << '\n';
  Note(Now() + " console (uid " + std::to_string(uid) + "): " + command);
}

std::string Server::Handle(const std::string& command, bool* stop) {
  std::istringstream in(command);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  if (words.empty()) return "";
  const std::string verb = domsim::Lower(words[0]);
  if (verb == "load" && words.size() == 2) return Load(words[1]);
  if ((verb == "te" || verb == "tell") && words.size() >= 3) {
    const std::size_t at = command.find(words[1], command.find(words[0]) + words[0].size());
    return Tell(words[1], domsim::Trim(command.substr(at + words[1].size())));
  }
  if (verb == "restart" && words.size() == 3 && domsim::Lower(words[1]) == "task")
    return Restart(words[2]);
  if (verb == "show" && words.size() == 2 && domsim::Lower(words[1]) == "tasks") return ShowTasks();
  if ((verb == "quit" || verb == "exit") && words.size() == 1) {
    *stop = true;
    return "Server shutting down";
  }
  return "Unknown command: " + command;
}

bool Server::Running(const std::string& name) const {
  for (const Task& t : tasks_)
    if (domsim::Lower(t.name) == domsim::Lower(name)) return true;
  return false;
}

std::string Server::Load(const std::string& name) {
  const std::string program = part_.binDir + "/" + name;
  if (name.find('/') != std::string::npos || ::access(program.c_str(), X_OK) != 0)
    return "Error: cannot load " + name + ": no program " + program;
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
    return "Error: cannot load " + name + ": " + domsim::ErrnoText(errno);
  UniqueFd ours(pair[0]);
  UniqueFd theirs(pair[1]);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return "Error: cannot load " + name + ": " + domsim::ErrnoText(errno);
  if (pid == 0) {
    ::dup2(theirs.get(), 3);  // dup2 clears close-on-exec on the copy
    ::setenv("DOMSIM_DIR", simDir_.c_str(), 1);
    ::setenv("DOMSIM_DATA", part_.dataDir.c_str(), 1);
    ::setenv("LD_LIBRARY_PATH", part_.binDir.c_str(), 1);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    if (::chdir(part_.dataDir.c_str()) != 0) ::_exit(127);
    ::execl(program.c_str(), name.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  theirs.reset();
  tasks_.push_back(Task{pid, name, std::move(ours), {}});
  auto task = std::prev(tasks_.end());
  std::string answer;
  const int got = task->reader.Next(task->channel.get(), &answer, kTaskStartMs);
  if (got == 1 && answer == "ready") {
    Note(Now() + " task " + name + " started (pid " + std::to_string(pid) + ")");
    WriteTaskList();
    return "Task " + name + " loaded (pid " + std::to_string(pid) + ")";
  }
  if (got != 1) answer = "no answer";
  if (answer.rfind("fail ", 0) == 0) answer.erase(0, 5);
  ::kill(pid, SIGKILL);  // harmless when it already ended
  Reap(pid, kTaskEndMs);
  tasks_.erase(task);
  Note(Now() + " task " + name + " did not start: " + answer);
  return "Error: " + name + " did not start: " + answer;
}

std::string Server::Tell(const std::string& name, const std::string& text) {
  int told = 0;
  // Only the instances running now: a restart's reload joins the list meanwhile.
  std::size_t left = tasks_.size();
  for (auto it = tasks_.begin(); it != tasks_.end() && left-- > 0;) {
    auto task = it++;
    if (domsim::Lower(task->name) != domsim::Lower(name)) continue;
    ++told;
    domsim::WriteAll(task->channel.get(), text + "\n");
    std::string answer;
    if (task->reader.Next(task->channel.get(), &answer, kTaskAnswerMs) != 1) continue;
    Note(task->name + ": " + answer);
    if (answer != "quitting") continue;
    // Tasks that quit at once are gone before the command returns.
    std::string rest;
    int got;
    while ((got = task->reader.Next(task->channel.get(), &rest, kTaskEndMs)) == 1) {
    }
    if (got == 0) TaskEnded(task);
  }
  if (told == 0) return "Task " + name + " is not running";
  return "Told " + std::to_string(told) + " instance(s) of " + name + ": " + text;
}

std::string Server::Restart(const std::string& name) {
  if (!Running(name)) return "Task " + name + " is not running";
  restartPending_.insert(domsim::Lower(name));
  const std::string told = Tell(name, "quit");
  return "Restarting task " + name + " (" + told + ")";
}

std::string Server::ShowTasks() const {
  std::string list;
  for (const Task& t : tasks_)
    list += (list.empty() ? "" : "\n") + std::to_string(t.pid) + " " + t.name;
  return list.empty() ? "No tasks are running" : list;
}

void Server::TaskEnded(std::list<Task>::iterator task) {
  const std::string name = task->name;
  int status = 0;
  std::string how = "ended";
  if (::waitpid(task->pid, &status, 0) == task->pid)
    how = WIFEXITED(status) ? "ended with status " + std::to_string(WEXITSTATUS(status))
                            : "killed by signal " + std::to_string(WTERMSIG(status));
  Note(Now() + " task " + name + " (pid " + std::to_string(task->pid) + ") " + how);
  tasks_.erase(task);
  WriteTaskList();
  if (restartPending_.erase(domsim::Lower(name)) && !Running(name)) Note(Load(name));
}

void Server::WriteTaskList() const {
  const std::string path = simDir_ + "/tasks";
  {
    std::ofstream out(path + ".new", std::ios::trunc);
    for (const Task& t : tasks_) out << t.pid << ' ' << t.name << '\n';
  }
  std::rename((path + ".new").c_str(), path.c_str());
}

void Server::Shutdown() {
  Note(Now() + " server shutting down");
  // Closing a channel tells its task the server is gone; it ends at once.
  for (Task& t : tasks_) t.channel.reset();
  for (Task& t : tasks_) {
    if (!Reap(t.pid, kShutdownMs)) {
      ::kill(t.pid, SIGKILL);
      Reap(t.pid, kShutdownMs);
    }
  }
  tasks_.clear();
  WriteTaskList();
  ::unlink(domsim::SocketPath(part_.dataDir).c_str());
  ::unlink((simDir_ + "/pid").c_str());
  Note(Now() + " server ended");
}

struct Identity {
  uid_t uid;
  gid_t gid;
  std::string name;
};

bool FindIdentity(const std::string& notesIni, const std::string& user, Identity* out,
                  std::string* error) {
  const passwd* pw = nullptr;
  if (!user.empty()) {
    pw = ::getpwnam(user.c_str());
    if (!pw) {
      *error = "no user " + user;
      return false;
    }
  } else {
    struct stat st {};
    if (::stat(notesIni.c_str(), &st) != 0) {
      *error = "cannot stat " + notesIni + ": " + domsim::ErrnoText(errno);
      return false;
    }
    pw = ::getpwuid(st.st_uid);
    if (!pw) {
      *out = {st.st_uid, st.st_gid, std::to_string(st.st_uid)};
      return true;
    }
  }
  *out = {pw->pw_uid, pw->pw_gid, pw->pw_name};
  return true;
}

bool BecomeUser(const Identity& who, std::string* error) {
  if (::geteuid() == who.uid) return true;
  if (::geteuid() != 0) {
    *error = "must be started as root or as user " + who.name;
    return false;
  }
  if (::initgroups(who.name.c_str(), who.gid) != 0) ::setgroups(0, nullptr);
  if (::setgid(who.gid) != 0 || ::setuid(who.uid) != 0) {
    *error = "cannot become user " + who.name + ": " + domsim::ErrnoText(errno);
    return false;
  }
  return true;
}

int Usage() {
  std::fprintf(stderr, "usage: domsimd <notes.ini> [--user NAME] [--foreground]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string notesIni, user;
  bool foreground = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--user" && i + 1 < argc) {
      user = argv[++i];
    } else if (arg == "--foreground") {
      foreground = true;
    } else if (notesIni.empty() && arg[0] != '-') {
      notesIni = arg;
    } else {
      return Usage();
    }
  }
  if (notesIni.empty()) return Usage();

  domsim::Partition partition;
  Identity who{};
  std::string error;
  if (!domsim::ReadPartition(notesIni, &partition, &error) ||
      !FindIdentity(notesIni, user, &who, &error) || !BecomeUser(who, &error)) {
    std::fprintf(stderr, "domsimd: %s\n", error.c_str());
    return 1;
  }
  const std::string simDir = domsim::SimDir(partition.dataDir);
  if (::mkdir(simDir.c_str(), 0770) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "domsimd: cannot create %s: %s\n", simDir.c_str(), std::strerror(errno));
    return 1;
  }

  // The caller returns once the server holds its lock and listens, or with
  // the reason it could not.
  int ready[2] = {-1, -1};
  if (!foreground) {
    if (::pipe2(ready, O_CLOEXEC) != 0) return 1;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return 1;
    if (pid > 0) {
      ::close(ready[1]);
      domsim::LineReader reader;
      std::string line;
      const int got = reader.Next(ready[0], &line, 10000);
      if (got == 1 && line == "ready") return 0;
      std::fprintf(stderr, "domsimd: %s\n", got == 1 ? line.c_str() : "server did not start");
      return 1;
    }
    ::close(ready[0]);
    ::setsid();
    // The copies on 0, 1 and 2 go on to the tasks, so their output joins the log.
    UniqueFd nul(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    UniqueFd log(
        ::open((simDir + "/console.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0660));
    ::dup2(nul.get(), 0);
    ::dup2(log.get(), 1);
    ::dup2(log.get(), 2);
  }
  Server server(partition);
  const bool opened = server.Open(&error);
  if (!foreground) {
    domsim::WriteAll(ready[1], (opened ? std::string("ready") : error) + "\n");
    ::close(ready[1]);
  }
  if (!opened) {
    std::fprintf(stderr, "domsimd: %s\n", error.c_str());
    return 1;
  }
  server.Run();
  return 0;
}
