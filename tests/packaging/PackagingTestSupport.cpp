#include "packaging/PackagingTestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace kvxtest {

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::set<std::string> FilesUnder(const std::string& root) {
  namespace fs = std::filesystem;
  std::set<std::string> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    if (!it->is_directory() || it->is_symlink()) {
      files.insert(fs::relative(it->path(), root).string());
    }
  }
  return files;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR) &&
         (st.st_mode & S_IXOTH);
}

}  // namespace kvxtest
