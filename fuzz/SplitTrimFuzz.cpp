// The registry's list splitting, delimiters on the first line, text after it: every piece is
// non-empty, without blank ends or delimiters, in text order; trimming twice changes nothing.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "KVXInsInfo.h"

KVX_FUZZ_TARGET(SplitTrim) {
  const std::vector<std::string> in = kvxfuzz::Cut(data, size, 1);
  const std::string &delimiters = in[0], &text = in[1];
  std::size_t at = 0;
  for (const std::string& piece : _split(text, delimiters)) {
    FUZZ_CHECK(!piece.empty() && piece.front() != ' ' && piece.back() != ' ');
    FUZZ_CHECK(piece.find_first_of(delimiters) == std::string::npos);
    FUZZ_CHECK((at = text.find(piece, at)) != std::string::npos && (at += piece.size()));
  }
  for (const std::string& s : in) {
    const std::string trimmed = _trim(s);
    FUZZ_CHECK(_trim(trimmed) == trimmed && s.find(trimmed) != std::string::npos &&
               (trimmed.empty() || (trimmed.front() != ' ' && trimmed.back() != ' ')));
  }
  return 0;
}
