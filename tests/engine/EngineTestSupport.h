// What the engine tests share: the debug log read with its levels, a working
// folder that comes back, and a current instance set up in memory.
#ifndef KVX_TESTS_ENGINE_ENGINETESTSUPPORT_H
#define KVX_TESTS_ENGINE_ENGINETESTSUPPORT_H

#include <string>
#include <vector>

#include "inventory/KVXInsInfo.h"

namespace enginetest {

// Each line of today's debug log as "<level>|<message>".
std::vector<std::string> LoggedLines();
// The same without the lines that the registry iteration and the task
// control write, so a test can compare the procedure's own lines exactly.
std::vector<std::string> OwnLines();
// How many lines hold text.
int CountLines(const std::vector<std::string>& lines, const std::string& text);

// Makes the registry hold one instance with the given product path and
// partitions, and makes it the current one.
void UseInstance(const std::string& productPath, const std::vector<KVXNParInfo>& partitions = {});

void MakeFolder(const std::string& path);
void MakeLink(const std::string& target, const std::string& link);
std::string LinkTarget(const std::string& link);  // "" when not a link

class ScopedChdir {
 public:
  explicit ScopedChdir(const std::string& path);
  ~ScopedChdir();
  ScopedChdir(const ScopedChdir&) = delete;
  ScopedChdir& operator=(const ScopedChdir&) = delete;

 private:
  std::string saved_;
};

}  // namespace enginetest

#endif  // KVX_TESTS_ENGINE_ENGINETESTSUPPORT_H
