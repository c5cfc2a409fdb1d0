// Helpers for the installation tests: the sandbox's kvxgroup, what a placed
// file looks like on disk, the name tables set for one test, the working
// folder a test runs in, and a process that holds files open.
#ifndef KVX_TESTS_INSTALL_INSTALLTESTSUPPORT_H
#define KVX_TESTS_INSTALL_INSTALLTESTSUPPORT_H

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace installtest {

// What stat says about one path; exists is false when lstat fails.
struct FileFacts {
  bool exists = false;
  ino_t inode = 0;
  mode_t perms = 0;  // permission bits only
  gid_t gid = 0;
};
FileFacts Facts(const std::string& path);

// The sandbox's kvxgroup (created on first use).
gid_t KvxGroupId();

// Names in folder (without "." and "..") that end with suffix, sorted.
std::vector<std::string> NamesEndingWith(const std::string& folder, const std::string& suffix);

// The working folder of the process, as getcwd gives it.
std::string CurrentFolder();

// Sets the slots of a name table (szDlls or szDBs) for one test: the given
// names in the first slots ("" for an empty one), the rest empty. The
// table's previous slot pointers come back at the end of the scope.
class NameTable {
 public:
  NameTable(char** table, int slots, const std::vector<std::string>& names);
  ~NameTable();
  NameTable(const NameTable&) = delete;
  NameTable& operator=(const NameTable&) = delete;

 private:
  char** table_;
  int slots_;
  std::vector<char*> saved_;
  std::vector<std::vector<char>> texts_;
};

// Enters a folder for one scope and returns to the previous one after.
class InFolder {
 public:
  explicit InFolder(const std::string& folder);
  ~InFolder();
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  std::string previous_;
};

// A child process that opens the given files read-only and keeps them open
// (as a running task keeps its libraries) until Report() asks it what it
// holds: for each file, in order, the inode and the whole content it reads
// through its open handle.
class OpenFileHolder {
 public:
  struct Held {
    ino_t inode;
    std::string content;
  };
  explicit OpenFileHolder(const std::vector<std::string>& paths);
  ~OpenFileHolder();
  OpenFileHolder(const OpenFileHolder&) = delete;
  OpenFileHolder& operator=(const OpenFileHolder&) = delete;

  std::vector<Held> Report();

 private:
  pid_t pid_ = -1;
  int ask_ = -1;     // parent writes here to ask for the report
  int answer_ = -1;  // parent reads the report here
};

// Base of every installation test: runs only in the sandbox (root, private
// /etc and /var/log), with kvxgroup present, an empty debug log and a
// temporary tree as the working folder.
class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string Path(const std::string& relative) const { return tree_ / relative; }

  kvxtest::TempTree tree_;
  std::string startFolder_;
};

}  // namespace installtest

#endif  // KVX_TESTS_INSTALL_INSTALLTESTSUPPORT_H
