// The registry's list splitting and blank trimming. Input: the delimiter
// set on the first line, the text after it (NUL bytes included: both take
// std::string). Checked against a plain reference, and the shape of every
// piece: never empty, never edged with a space, never holding a delimiter.
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "inventory/KVXInsInfo.h"

namespace {

std::string ReferenceTrim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::vector<std::string> ReferenceSplit(const std::string& text, const std::string& delimiters) {
  std::vector<std::string> pieces;
  if (text.empty() || delimiters.empty()) return pieces;
  std::string piece;
  for (char c : text + delimiters[0]) {  // one delimiter more ends the last piece
    if (delimiters.find(c) == std::string::npos) {
      piece += c;
      continue;
    }
    piece = ReferenceTrim(piece);
    if (!piece.empty()) pieces.push_back(piece);
    piece.clear();
  }
  return pieces;
}

void CheckTrim(const std::string& text) {
  const std::string trimmed = _trim(text);
  FUZZ_CHECK(trimmed == ReferenceTrim(text));
  FUZZ_CHECK(_trim(trimmed) == trimmed);
  FUZZ_CHECK(trimmed.empty() || (trimmed.front() != ' ' && trimmed.back() != ' '));
}

}  // namespace

KVX_FUZZ_TARGET(SplitTrim) {
  kvxfuzz::InputCutter cutter(data, size);
  const std::string delimiters = cutter.Line();
  const std::string text = cutter.Rest();

  const std::vector<std::string> pieces = _split(text, delimiters);
  FUZZ_CHECK(pieces == ReferenceSplit(text, delimiters));
  std::size_t at = 0;
  for (const std::string& piece : pieces) {
    FUZZ_CHECK(!piece.empty());
    FUZZ_CHECK(piece.front() != ' ' && piece.back() != ' ');
    FUZZ_CHECK(piece.find_first_of(delimiters) == std::string::npos);
    at = text.find(piece, at);  // pieces come in text order
    FUZZ_CHECK(at != std::string::npos);
    at += piece.size();
  }
  FUZZ_CHECK(_split(text, ",") == ReferenceSplit(text, ","));
  CheckTrim(text);
  CheckTrim(delimiters);
  return 0;
}
