// The lister's wildcards, pattern on the first line, name after it: "**" matches like "*", "*"
// and one "?" per byte match, one "?" more does not, a name without wildcards matches itself.
#include <string>
#include <vector>

#include "FileOpInternal.h"
#include "FuzzSupport.h"

KVX_FUZZ_TARGET(Fnmatch) {
  using qo_fileop_internal::_fnmatch;
  const std::vector<std::string> in = kvxfuzz::Cut(data, size, 1);
  const std::string name = in[1].c_str(), questions(name.size(), '?');
  std::string doubled;
  for (char c : in[0]) doubled += c == '*' ? std::string("**") : std::string(1, c);
  FUZZ_CHECK(_fnmatch(doubled.c_str(), name.c_str()) == _fnmatch(in[0].c_str(), name.c_str()));
  FUZZ_CHECK(_fnmatch("*", name.c_str()) && _fnmatch(questions.c_str(), name.c_str()));
  FUZZ_CHECK(!_fnmatch((questions + "?").c_str(), name.c_str()));
  if (name.find_first_of("*?") == std::string::npos)
    FUZZ_CHECK(_fnmatch(name.c_str(), name.c_str()));
  return 0;
}
