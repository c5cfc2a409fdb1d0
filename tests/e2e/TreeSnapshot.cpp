#include "e2e/TreeSnapshot.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace e2e {

namespace {

// FNV-1a: enough to tell contents apart in a test tree.
std::uint64_t HashFile(const std::string& path, std::uint64_t* size) {
  std::uint64_t hash = 1469598103934665603ull;
  std::ifstream in(path, std::ios::binary);
  char chunk[8192];
  *size = 0;
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
      hash = (hash ^ static_cast<unsigned char>(chunk[i])) * 1099511628211ull;
    }
    *size += static_cast<std::uint64_t>(in.gcount());
  }
  return hash;
}

TreeEntry ReadEntry(const std::string& path) {
  TreeEntry entry;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return entry;
  entry.mode = st.st_mode & 07777;
  entry.uid = st.st_uid;
  entry.gid = st.st_gid;
  if (S_ISREG(st.st_mode)) {
    entry.kind = 'f';
    entry.hash = HashFile(path, &entry.size);
  } else if (S_ISDIR(st.st_mode)) {
    entry.kind = 'd';
  } else if (S_ISLNK(st.st_mode)) {
    entry.kind = 'l';
    entry.mode = 0;
    std::error_code error;
    entry.linkTarget = fs::read_symlink(path, error).string();
  }
  return entry;
}

std::string UserName(uid_t uid) {
  const passwd* pw = ::getpwuid(uid);
  return pw ? pw->pw_name : std::to_string(uid);
}

std::string GroupName(gid_t gid) {
  const group* gr = ::getgrgid(gid);
  return gr ? gr->gr_name : std::to_string(gid);
}

std::string Octal(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode);
  return text;
}

void CompareEntries(const std::string& path, const TreeEntry& a, const TreeEntry& b,
                    std::vector<std::string>* lines) {
  if (a.kind != b.kind) {
    lines->push_back("kind " + path + ": " + a.kind + " -> " + b.kind);
    return;
  }
  if (a.kind == 'f' && (a.hash != b.hash || a.size != b.size)) lines->push_back("content " + path);
  if (a.kind == 'l' && a.linkTarget != b.linkTarget)
    lines->push_back("link " + path + ": " + a.linkTarget + " -> " + b.linkTarget);
  if (a.mode != b.mode)
    lines->push_back("mode " + path + ": " + Octal(a.mode) + " -> " + Octal(b.mode));
  if (a.uid != b.uid)
    lines->push_back("owner " + path + ": " + UserName(a.uid) + " -> " + UserName(b.uid));
  if (a.gid != b.gid)
    lines->push_back("group " + path + ": " + GroupName(a.gid) + " -> " + GroupName(b.gid));
}

}  // namespace

TreeSnapshot TakeSnapshot(const std::string& root) {
  TreeSnapshot snapshot;
  std::error_code error;
  if (!fs::is_directory(root, error)) return snapshot;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const std::string path = it->path().string();
    snapshot[path.substr(root.size() + 1)] = ReadEntry(path);
  }
  return snapshot;
}

std::vector<std::string> DiffSnapshots(const TreeSnapshot& before, const TreeSnapshot& after) {
  std::set<std::string> paths;
  for (const auto& [path, entry] : before) paths.insert(path);
  for (const auto& [path, entry] : after) paths.insert(path);
  std::vector<std::string> lines;
  for (const std::string& path : paths) {
    const auto a = before.find(path);
    const auto b = after.find(path);
    if (b == after.end()) {
      lines.push_back("- " + path);
    } else if (a == before.end()) {
      lines.push_back("+ " + path);
    } else {
      CompareEntries(path, a->second, b->second, &lines);
    }
  }
  return lines;
}

TreeSnapshot SubTree(const TreeSnapshot& snapshot, const std::string& folder) {
  TreeSnapshot sub;
  const std::string prefix = folder + "/";
  for (const auto& [path, entry] : snapshot) {
    if (path.compare(0, prefix.size(), prefix) == 0) sub[path.substr(prefix.size())] = entry;
  }
  return sub;
}

}  // namespace e2e
