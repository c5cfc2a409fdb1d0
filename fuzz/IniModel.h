// A second, deliberately plain reading of the INI line rules, for the fuzz
// targets to hold the INI library against: whole strings, no fixed records,
// no cursors. Where the two disagree on an input, one of them is wrong.
#ifndef KVX_FUZZ_INIMODEL_H
#define KVX_FUZZ_INIMODEL_H

#include <string>
#include <vector>

namespace kvxfuzz {

struct ModelValue {
  std::string name;
  std::string value;
};

struct ModelSection {
  std::string name;
  std::vector<ModelValue> values;
};

using IniModel = std::vector<ModelSection>;

// The content a file of these bytes loads into.
IniModel ParseIni(const std::string& bytes);
// The text the library writes for that content, "[END]" last.
std::string DumpIni(const IniModel& model);

// Name comparisons of the library: only A-Z and a-z fold.
bool SameName(const std::string& stored, const std::string& arg);
bool StartsWithName(const std::string& stored, const std::string& arg);

}  // namespace kvxfuzz

#endif  // KVX_FUZZ_INIMODEL_H
