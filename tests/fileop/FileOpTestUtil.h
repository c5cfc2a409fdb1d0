// Shared by the file operation tests: a temporary tree per test, a recorder
// for the step callback, and listings read with std::filesystem.
#ifndef KVX_TESTS_FILEOP_FILEOPTESTUTIL_H
#define KVX_TESTS_FILEOP_FILEOPTESTUTIL_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fileop/QoFileOpUtil.h"
#include "support/TestSupport.h"

namespace fileoptest {

namespace fs = std::filesystem;
using Op = QoKVXFileOpUtil;

class FileOpTest : public ::testing::Test {
 protected:
  std::string P(const std::string& rel) const { return tree_ / rel; }
  void Write(const std::string& rel, const std::string& content = "x") {
    kvxtest::WriteFile(P(rel), content);
  }
  std::string Read(const std::string& rel) const { return kvxtest::ReadFile(P(rel)); }
  // Names below rel, relative to it, with "/" after folders; links not followed.
  std::set<std::string> Tree(const std::string& rel) const {
    std::set<std::string> names;
    const fs::path root = P(rel);
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
      std::string n = fs::relative(it->path(), root).string();
      if (it->is_directory() && !it->is_symlink()) n += '/';
      names.insert(n);
    }
    return names;
  }
  kvxtest::TempTree tree_;
};

// One step as the callback saw it.
struct Step {
  std::string source;
  std::string dest;  // "" when null
  int action;
  int done;
  bool operator==(const Step& o) const {
    return source == o.source && dest == o.dest && action == o.action && done == o.done;
  }
};

// Records every call; answers with `answer` for announcements whose source
// ends with `match` (every one when match is empty), 0 otherwise.
struct Recorder {
  std::vector<Step> steps;
  std::string match;
  int answer = 0;
  int answerAfter = 0;
};

inline int RecordStep(Op::CallbackEntry* e) {
  auto* r = static_cast<Recorder*>(e->pUserData);
  const std::string src = e->szSource ? e->szSource : "";
  r->steps.push_back({src, e->szDest ? e->szDest : "", e->iAction, e->iDone});
  const bool hit = r->match.empty() ||
                   (src.size() >= r->match.size() &&
                    src.compare(src.size() - r->match.size(), std::string::npos, r->match) == 0);
  if (!hit) return 0;
  return e->iDone ? r->answerAfter : r->answer;
}

inline Op::CallbackEntry EntryFor(Recorder* r) {
  Op::CallbackEntry e{};
  e.iSize = sizeof e;
  e.pUserData = r;
  return e;
}

inline std::ostream& operator<<(std::ostream& os, const Step& s) {
  return os << "{" << s.source << " -> " << s.dest << " a=" << s.action << " d=" << s.done << "}";
}

}  // namespace fileoptest

#endif  // KVX_TESTS_FILEOP_FILEOPTESTUTIL_H
