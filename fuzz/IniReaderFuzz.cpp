// The INI reader on arbitrary file content: every lookup the loaded reader
// answers must agree with the reference reading of the same bytes, copies
// must stay inside the caller's bound, and failures must leave the caller's
// buffer alone.
#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "fuzz/IniModel.h"
#include "ini/QoIniUtil.h"

namespace {

using kvxfuzz::IniModel;
using kvxfuzz::SameName;

constexpr int kBufferSizes[] = {1, 2, 3, 4, 8, 63, 64, 1024, 1025, 2048};
constexpr char kGuard = '#';

const kvxfuzz::ModelSection* FirstSection(const IniModel& model, const std::string& name) {
  for (const auto& section : model)
    if (SameName(section.name, name)) return &section;
  return nullptr;
}

std::vector<const std::string*> Matches(const kvxfuzz::ModelSection& section,
                                        const std::string& key) {
  std::vector<const std::string*> values;
  for (const auto& value : section.values)
    if (SameName(value.name, key)) values.push_back(&value.value);
  return values;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// Stored names, and near misses of them: other letter case, one byte more,
// one byte less.
void AddWithNeighbours(std::set<std::string>& names, const std::string& name) {
  names.insert(name);
  names.insert(Upper(name));
  names.insert(name + "x");
  if (!name.empty()) names.insert(name.substr(0, name.size() - 1));
}

// First, middle and last of count items.
std::set<std::size_t> Spread(std::size_t count) {
  if (count == 0) return {};
  return {0, count / 2, count - 1};
}

// One lookup with one buffer size, checked against the reference.
void CheckLookup(QoIniReader& reader, const IniModel& model, const std::string& section,
                 const std::string& key, int index, int size) {
  // Exactly the size the reader is told, on the heap: a write past it is an
  // out-of-bounds access the address sanitizer stops at.
  std::vector<char> buffer(static_cast<std::size_t>(size), kGuard);
  int len = size;
  const int rc = reader.getValueAt(section.c_str(), key.c_str(), buffer.data(), &len, index);

  const kvxfuzz::ModelSection* expectSection = FirstSection(model, section);
  if (!expectSection) {
    FUZZ_CHECK(rc == IDD_ERR_SECTION_NOTFOUND);
  } else {
    const auto values = Matches(*expectSection, key);
    if (index < 0 || static_cast<std::size_t>(index) >= values.size()) {
      FUZZ_CHECK(rc == IDD_ERR_VALUE_NOTFOUND);
    } else {
      FUZZ_CHECK(rc == IDD_ERR_ZERO);
      const std::string& value = *values[static_cast<std::size_t>(index)];
      const std::size_t fits = std::min(value.size(), static_cast<std::size_t>(size) - 1);
      FUZZ_CHECK(len == static_cast<int>(fits));
      FUZZ_CHECK(std::memcmp(buffer.data(), value.data(), fits) == 0);
      FUZZ_CHECK(buffer[fits] == '\0');
      FUZZ_CHECK(buffer[static_cast<std::size_t>(size) - 1] == '\0');
    }
  }
  if (rc != IDD_ERR_ZERO) {
    FUZZ_CHECK(len == size);
    FUZZ_CHECK(std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == kGuard; }));
  }
}

void CheckCount(QoIniReader& reader, const IniModel& model, const std::string& section,
                const std::string& key) {
  const int rc = reader.getValueCount(section.c_str(), key.c_str());
  const kvxfuzz::ModelSection* expectSection = FirstSection(model, section);
  if (!expectSection) {
    FUZZ_CHECK(rc == IDD_ERR_SECTION_NOTFOUND);
  } else {
    FUZZ_CHECK(rc == static_cast<int>(Matches(*expectSection, key).size()));
  }
}

void CheckNullArguments(QoIniReader& reader) {
  char buf[8];
  int len = sizeof buf;
  FUZZ_CHECK(reader.getValue(nullptr, "k", buf, &len) == IDD_ERR_INVALID_PARAM);
  FUZZ_CHECK(reader.getValue("s", nullptr, buf, &len) == IDD_ERR_INVALID_PARAM);
  FUZZ_CHECK(reader.getValue("s", "k", nullptr, &len) == IDD_ERR_INVALID_PARAM);
  FUZZ_CHECK(reader.getValue("s", "k", buf, nullptr) == IDD_ERR_INVALID_PARAM);
  FUZZ_CHECK(reader.getValueCount(nullptr, "k") == IDD_ERR_INVALID_PARAM);
  FUZZ_CHECK(reader.getValueCount("s", nullptr) == IDD_ERR_INVALID_PARAM);
}

}  // namespace

KVX_FUZZ_TARGET(IniReader) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string path = kvxfuzz::ScratchDir() + "/reader.ini";
  kvxfuzz::WriteBytes(path, data, size);
  const IniModel model = kvxfuzz::ParseIni(bytes);

  QoIniReader reader;
  FUZZ_CHECK(reader.open(path.c_str()) == IDD_ERR_ZERO);

  // Lookups: a few stored sections (first, middle, last) each with a few of
  // their own keys, every name also as its near misses, plus the input's raw
  // first line. Not every pair: an input of thousands of lines stays cheap.
  std::vector<std::pair<std::set<std::string>, std::set<std::string>>> groups;
  kvxfuzz::InputCutter cutter(data, size);
  groups.push_back({{}, {""}});
  AddWithNeighbours(groups.back().first, kvxfuzz::AsCString(cutter.Line()));
  for (std::size_t i : Spread(model.size())) {
    groups.push_back({{}, {""}});
    AddWithNeighbours(groups.back().first, model[i].name);
    for (std::size_t j : Spread(model[i].values.size()))
      AddWithNeighbours(groups.back().second, model[i].values[j].name);
  }

  std::size_t turn = 0;
  for (const auto& group : groups) {
    for (const std::string& section : group.first) {
      for (const std::string& key : group.second) {
        CheckCount(reader, model, section, key);
        const int size = kBufferSizes[turn++ % (sizeof kBufferSizes / sizeof kBufferSizes[0])];
        const int count = std::max(0, reader.getValueCount(section.c_str(), key.c_str()));
        // The edges of the occurrence range, not every index.
        const std::set<int> indexes = {-1, 0, count - 1, count};
        for (int index : indexes) CheckLookup(reader, model, section, key, index, size);
      }
    }
  }
  CheckNullArguments(reader);

  // A file that cannot be opened changes nothing; a second open replaces the
  // content rather than adding to it.
  const std::string& someSection = *groups.back().first.begin();
  const std::string& someKey = *groups.back().second.rbegin();
  FUZZ_CHECK(reader.open((path + ".missing").c_str()) == IDD_ERR_INIFILE_OPENFAILED);
  CheckCount(reader, model, someSection, someKey);
  FUZZ_CHECK(reader.open(path.c_str()) == IDD_ERR_ZERO);
  CheckCount(reader, model, someSection, someKey);
  reader.close();
  FUZZ_CHECK(reader.getValueCount(someSection.c_str(), someKey.c_str()) ==
             IDD_ERR_SECTION_NOTFOUND);
  return 0;
}
