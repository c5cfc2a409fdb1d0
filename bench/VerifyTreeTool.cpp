// kvxinfo verify's byte comparison of two trees, alone, so that compare.sh
// can time it against diff -rq:  verify_tree_tool EXPECTED ACTUAL
#include <cstdio>

#include "Verify.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: verify_tree_tool EXPECTED ACTUAL\n", stderr);
    return 2;
  }
  const auto findings = kvxinfo::CompareTree(argv[1], argv[2], argv[1]);
  for (const std::string& line : findings) std::printf("%s\n", line.c_str());
  return findings.empty() ? 0 : 1;
}
