// Helpers shared by the inventory tests: a fresh registry per case, and
// searches over the debug log lines a case produced.
#ifndef KVX_TESTS_INVENTORY_INVENTORYTESTUTIL_H
#define KVX_TESTS_INVENTORY_INVENTORYTESTUTIL_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "inventory/KVXInsInfo.h"
#include "support/TestSupport.h"

namespace invtest {

constexpr char kRegistryPath[] = "/etc/kvxsysV3.ini";

// Replaces every "@" in text by root: registry fixtures name their notes.ini
// files relative to a temporary tree.
inline std::string Rooted(std::string text, const std::string& root) {
  for (std::size_t at = text.find('@'); at != std::string::npos;
       at = text.find('@', at + root.size()))
    text.replace(at, 1, root);
  return text;
}

inline bool LogHas(const std::string& message) {
  const std::vector<std::string> lines = kvxtest::DebugLogMessages();
  return std::find(lines.begin(), lines.end(), message) != lines.end();
}

inline bool LogHasPrefix(const std::string& prefix) {
  for (const std::string& line : kvxtest::DebugLogMessages())
    if (line.compare(0, prefix.size(), prefix) == 0) return true;
  return false;
}

// Every case starts with no registry in memory and an empty debug log.
class InventoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kvxtest::InSandbox()) GTEST_SKIP() << "needs the sandbox: it writes /etc and /var/log";
    g_lstKVXNIns.clear();
    g_iCurIns = 0;
    g_szKVXPatch[0] = '\0';
    std::remove(kRegistryPath);
    kvxtest::ClearDebugLog();
  }
  void TearDown() override {
    g_lstKVXNIns.clear();
    g_iCurIns = 0;
  }
};

}  // namespace invtest

#endif  // KVX_TESTS_INVENTORY_INVENTORYTESTUTIL_H
