// What the three programs of the Domino stand-in share: the partition's
// notes.ini keys, the stand-in's own files in the data folder, and small
// descriptor and line helpers.
//
// A partition's stand-in state lives in <data>/domsim/:
//   console.sock  the daemon's console socket
//   pid           the daemon's process id
//   journal       one line per console command: time, sender uid, text
//   console.log   what the daemon and its tasks print
//   tasks         the running tasks, "pid name" per line
//   behaviour     how tasks answer "quit": "<task> quit|never|after <seconds>"
//   libs          the libraries every task maps while it runs, one path a line
#ifndef KVX_SIM_SIMCOMMON_H
#define KVX_SIM_SIMCOMMON_H

#include <sys/types.h>
#include <unistd.h>

#include <string>

namespace domsim {

struct Partition {
  std::string notesIni;
  std::string dataDir;  // [Notes] Directory
  std::string binDir;   // [Notes] NotesProgram
};

// Reads Directory and NotesProgram from the [Notes] section (names compared
// without regard to case). Returns false with a message in error when the
// file cannot be read or Directory is missing.
bool ReadPartition(const std::string& notesIni, Partition* out, std::string* error);

std::string SimDir(const std::string& dataDir);  // <data>/domsim
std::string SocketPath(const std::string& dataDir);

std::string Lower(std::string text);
std::string Trim(const std::string& text);
std::string ErrnoText(int err);

// Takes a write lock over the whole file; false when another process holds one.
bool LockWhole(int fd);
// True when another process holds any record lock on path.
bool LockedByOther(const std::string& path);

// Writes all of text; false on error.
bool WriteAll(int fd, const std::string& text);

// Line reader over a descriptor that keeps what follows the first line.
class LineReader {
 public:
  // 1: a line in *line; 0: end of input; -1: error or timeout (timeoutMs < 0
  // waits for ever).
  int Next(int fd, std::string* line, int timeoutMs);

 private:
  std::string pending_;
};

}  // namespace domsim

#endif  // KVX_SIM_SIMCOMMON_H
