// The directory lister's wildcard matcher against a reference that follows
// the matching rules literally, by recursion (memoised, so that patterns
// full of "*" stay cheap). Input: the pattern on the first line, the name
// after it.
#include <string>
#include <vector>

#include "fileop/FileOpInternal.h"
#include "fuzz/FuzzSupport.h"

namespace {

class ReferenceMatcher {
 public:
  ReferenceMatcher(const std::string& pattern, const std::string& name)
      : p_(pattern), n_(name), memo_((p_.size() + 1) * (n_.size() + 1), kUnknown) {}
  bool Matches() { return Match(0, 0); }

 private:
  enum : signed char { kUnknown = -1, kNo = 0, kYes = 1 };

  bool Match(std::size_t pi, std::size_t ni) {
    signed char& known = memo_[pi * (n_.size() + 1) + ni];
    if (known == kUnknown) known = Decide(pi, ni) ? kYes : kNo;
    return known == kYes;
  }

  bool Decide(std::size_t pi, std::size_t ni) {
    const bool nameDone = ni == n_.size();
    if (pi == p_.size()) return nameDone;  // an exhausted pattern wants an exhausted name
    switch (p_[pi]) {
      case '*':  // covers nothing, or one more byte of the name
        return Match(pi + 1, ni) || (!nameDone && Match(pi, ni + 1));
      case '?':
        return !nameDone && Match(pi + 1, ni + 1);
      default:
        return !nameDone && p_[pi] == n_[ni] && Match(pi + 1, ni + 1);
    }
  }

  const std::string p_;
  const std::string n_;
  std::vector<signed char> memo_;
};

bool Reference(const std::string& pattern, const std::string& name) {
  return ReferenceMatcher(pattern, name).Matches();
}

bool Library(const std::string& pattern, const std::string& name) {
  return qo_fileop_internal::_fnmatch(pattern.c_str(), name.c_str());
}

// Every "*" doubled: a run of stars matches like one.
std::string DoubleStars(const std::string& pattern) {
  std::string doubled;
  for (char c : pattern) doubled += c == '*' ? std::string("**") : std::string(1, c);
  return doubled;
}

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

}  // namespace

KVX_FUZZ_TARGET(Fnmatch) {
  kvxfuzz::InputCutter cutter(data, size);
  const std::string pattern = kvxfuzz::AsCString(cutter.Line());
  const std::string name = kvxfuzz::AsCString(cutter.Rest());

  const bool expected = Reference(pattern, name);
  FUZZ_CHECK(Library(pattern, name) == expected);
  FUZZ_CHECK(Library(DoubleStars(pattern), name) == expected);
  FUZZ_CHECK(Library("*", name));
  if (!HasWildcard(name)) FUZZ_CHECK(Library(name, name));  // a plain name matches itself
  // The name used as a pattern against the pattern text: the other way round.
  FUZZ_CHECK(Library(name, pattern) == Reference(name, pattern));
  return 0;
}
