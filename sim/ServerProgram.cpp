// The stand-in's `server` program, placed in each partition's Domino program
// folder. Started as
//   LD_LIBRARY_PATH=<bin> <bin>/server =<notes.ini> -c "<console command>"
// it hands the command to the running daemon of that partition, prints the
// daemon's answer and ends. It insists on LD_LIBRARY_PATH naming its own
// folder, as a server that loads its libraries from there would. The answer
// goes to the server's console log; it is echoed on standard output only with
// DOMSIM_ECHO=1 (as domsim send sets), so the caller's output stays its own.
// An answer starting with "Error:" goes to standard error in any case.
#include <limits.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "Handles.h"
#include "SimCommon.h"

namespace {

constexpr int kUsage = 2;
constexpr int kFailed = 1;

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string OwnFolder() {
  const std::string self = Canonical("/proc/self/exe");
  const std::size_t slash = self.rfind('/');
  return slash == std::string::npos ? std::string() : self.substr(0, slash);
}

bool LibraryPathNamesFolder(const std::string& folder) {
  const char* value = std::getenv("LD_LIBRARY_PATH");
  if (!value) return false;
  const std::string list = value;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    const std::string entry = list.substr(start, end - start);
    if (!entry.empty() && Canonical(entry) == folder) return true;
    start = end + 1;
  }
  return false;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "server: %s\n", message.c_str());
  return kFailed;
}

}  // namespace

int main(int argc, char** argv) {
  std::string notesIni;
  std::string command;
  bool haveCommand = false;
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] == '=') {
      notesIni = argv[i] + 1;
    } else if (std::strcmp(argv[i], "-c") == 0 && i + 1 < argc) {
      command = argv[++i];
      haveCommand = true;
    }
  }
  if (notesIni.empty() || !haveCommand) {
    std::fprintf(stderr, "usage: server =<notes.ini> -c \"<console command>\"\n");
    return kUsage;
  }
  const std::string folder = OwnFolder();
  if (!LibraryPathNamesFolder(folder))
    return Fail("LD_LIBRARY_PATH does not name the program folder " + folder);

  domsim::Partition partition;
  std::string error;
  if (!domsim::ReadPartition(notesIni, &partition, &error)) return Fail(error);

  const std::string socketPath = domsim::SocketPath(partition.dataDir);
  struct sockaddr_un address {};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path)
    return Fail("console socket path too long: " + socketPath);
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);

  UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (sock.get() < 0) return Fail("socket: " + domsim::ErrnoText(errno));
  if (::connect(sock.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    const int err = errno;
    return Fail("no server is running for " + notesIni + " (data folder " + partition.dataDir +
                "): " + domsim::ErrnoText(err));
  }
  if (!domsim::WriteAll(sock.get(), command + "\n")) return Fail("cannot send the command");
  ::shutdown(sock.get(), SHUT_WR);

  // The daemon answers once it has acted on the command, then closes.
  domsim::LineReader reader;
  std::string line;
  const char* echoEnv = std::getenv("DOMSIM_ECHO");
  const bool echo = echoEnv && std::strcmp(echoEnv, "1") == 0;
  int got;
  while ((got = reader.Next(sock.get(), &line, 60000)) == 1) {
    if (line.rfind("Error:", 0) == 0)
      std::fprintf(stderr, "%s\n", line.c_str());
    else if (echo)
      std::printf("%s\n", line.c_str());
  }
  if (got < 0) return Fail("no answer from the server");
  return 0;
}
