// Whole-tree snapshots for before/after comparisons: every entry under a
// root with its kind, content hash, link target, mode, owner and group.
#ifndef KVX_TESTS_E2E_TREESNAPSHOT_H
#define KVX_TESTS_E2E_TREESNAPSHOT_H

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace e2e {

struct TreeEntry {
  char kind = '?';         // 'f' file, 'd' folder, 'l' symbolic link, '?' other
  std::uint64_t hash = 0;  // of a file's bytes
  std::uint64_t size = 0;
  std::string linkTarget;  // a link's text, as written
  unsigned mode = 0;       // permission bits (not compared for links)
  uid_t uid = 0;
  gid_t gid = 0;
};

// Keyed by the path relative to the root ("program/latest").
using TreeSnapshot = std::map<std::string, TreeEntry>;

// Links are recorded, never followed. A missing root gives an empty snapshot.
TreeSnapshot TakeSnapshot(const std::string& root);

// One line per difference, in path order:
//   "+ path" / "- path"                 only after / only before
//   "kind path: f -> l"
//   "content path"
//   "link path: old -> new"
//   "mode path: 0644 -> 0775"
//   "owner path: root -> kvxsrv1"
//   "group path: root -> kvxgroup"
std::vector<std::string> DiffSnapshots(const TreeSnapshot& before, const TreeSnapshot& after);

// The entries of a snapshot under a relative folder, keyed relative to it.
TreeSnapshot SubTree(const TreeSnapshot& snapshot, const std::string& folder);

}  // namespace e2e

#endif  // KVX_TESTS_E2E_TREESNAPSHOT_H
