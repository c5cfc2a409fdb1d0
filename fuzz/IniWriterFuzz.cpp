// The INI writer's set-and-rewrite on arbitrary files and arguments.
// Input: the section argument, the key argument, the new value and the
// occurrence index (a digit, or "-" for -1), one per line; the rest is the
// file. Checked: the result code, the file left alone on failure, the
// backup holding the old bytes, the rewritten file in the library's layout,
// and the reader finding the new value where the line rules let it survive.
#include <unistd.h>

#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "fuzz/IniModel.h"
#include "ini/QoIniUtil.h"
#include "ini/QoIniWriter.h"

namespace {

using kvxfuzz::IniModel;
using kvxfuzz::SameName;
using kvxfuzz::StartsWithName;

constexpr std::size_t kValueMax = 1024;  // what a value record holds
constexpr std::size_t kReadMax = 1023;   // what one line read brings

int IndexFrom(const std::string& line) {
  if (line.empty()) return 0;
  if (line[0] == '-') return -1;
  if (line[0] >= '0' && line[0] <= '9') return line[0] - '0';
  return 0;
}

struct Target {
  std::size_t section = 0;
  std::size_t value = 0;
  int result = IDD_ERR_ZERO;
};

// Where SetValueAt must write: prefix matches, in the first matching
// section only.
Target FindTarget(const IniModel& model, const std::string& section, const std::string& key,
                  int index) {
  Target t;
  for (t.section = 0; t.section < model.size(); ++t.section)
    if (StartsWithName(model[t.section].name, section)) break;
  if (t.section == model.size()) {
    t.result = IDD_ERR_SECTION_NOTFOUND;
    return t;
  }
  int seen = 0;
  const auto& values = model[t.section].values;
  for (t.value = 0; t.value < values.size(); ++t.value)
    if (StartsWithName(values[t.value].name, key) && seen++ == index) return t;
  t.result = IDD_ERR_VALUE_NOTFOUND;
  return t;
}

int PrefixCount(const IniModel& model, const std::string& section, const std::string& key) {
  for (const auto& s : model) {
    if (!StartsWithName(s.name, section)) continue;
    int count = 0;
    for (const auto& v : s.values) count += StartsWithName(v.name, key) ? 1 : 0;
    return count;
  }
  return IDD_ERR_SECTION_NOTFOUND;
}

// The rewritten line reads back as written unless a section named END comes
// first (its header is the end mark), the line is longer than one read, or
// the value ends in CR (taken for part of the line end).
bool SurvivesReread(const IniModel& model, const Target& t) {
  for (std::size_t i = 0; i <= t.section; ++i)
    if (SameName(model[i].name, "END")) return false;
  const kvxfuzz::ModelValue& v = model[t.section].values[t.value];
  const bool fits = v.name.size() + 1 + v.value.size() <= kReadMax;
  return fits && (v.value.empty() || v.value.back() != '\r');
}

// The occurrence number of the target among keys of exactly its name: what
// the reader, which compares whole names, must be asked for.
int WholeNameIndex(const IniModel& model, const Target& t) {
  const auto& values = model[t.section].values;
  int index = 0;
  for (std::size_t i = 0; i < t.value; ++i) index += SameName(values[i].name, values[t.value].name);
  return index;
}

void CheckReadBack(const std::string& path, const IniModel& expected, const Target& t) {
  QoIniReader reader;
  FUZZ_CHECK(reader.open(path.c_str()) == IDD_ERR_ZERO);
  const kvxfuzz::ModelSection& section = expected[t.section];
  const kvxfuzz::ModelValue& value = section.values[t.value];
  char buf[2048];
  int len = sizeof buf;
  FUZZ_CHECK(reader.getValueAt(section.name.c_str(), value.name.c_str(), buf, &len,
                               WholeNameIndex(expected, t)) == IDD_ERR_ZERO);
  FUZZ_CHECK(std::string(buf, static_cast<std::size_t>(len)) == value.value);
}

void CheckNeverOpened() {
  const std::string path = kvxfuzz::ScratchDir() + "/never.ini";
  QoIniWriter writer;
  FUZZ_CHECK(writer.dumpFile() == IDD_ERR_INVALID_PARAM);
  FUZZ_CHECK(writer.open(path.c_str()) == IDD_ERR_INIFILE_OPENFAILED);
  FUZZ_CHECK(writer.dumpFile() == IDD_ERR_INVALID_PARAM);
  FUZZ_CHECK(::access((path + ".bak").c_str(), F_OK) != 0);
}

}  // namespace

KVX_FUZZ_TARGET(IniWriter) {
  kvxfuzz::InputCutter cutter(data, size);
  const std::string section = kvxfuzz::AsCString(cutter.Line());
  const std::string key = kvxfuzz::AsCString(cutter.Line());
  std::string value = kvxfuzz::AsCString(cutter.Line());
  const int index = IndexFrom(cutter.Line());
  const std::string content = cutter.Rest();

  const std::string path = kvxfuzz::ScratchDir() + "/writer.ini";
  const std::string backup = path + ".bak";
  ::unlink(backup.c_str());
  kvxfuzz::WriteBytes(path, reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
  IniModel model = kvxfuzz::ParseIni(content);

  QoIniWriter writer;
  FUZZ_CHECK(writer.open(path.c_str()) == IDD_ERR_ZERO);
  FUZZ_CHECK(writer.getValueCount(section.c_str(), key.c_str()) ==
             PrefixCount(model, section, key));

  const int rc = writer.SetValueAt(section.c_str(), key.c_str(), &value[0], index);
  const Target t = FindTarget(model, section, key, index);
  FUZZ_CHECK(rc == t.result);
  bool backupFound = false;
  const std::string saved = kvxfuzz::ReadBytes(backup, &backupFound);
  if (rc != IDD_ERR_ZERO) {
    FUZZ_CHECK(kvxfuzz::ReadBytes(path) == content);  // not rewritten
    FUZZ_CHECK(!backupFound);
  } else {
    FUZZ_CHECK(backupFound && saved == content);
    model[t.section].values[t.value].value = value.substr(0, kValueMax);
    FUZZ_CHECK(kvxfuzz::ReadBytes(path) == kvxfuzz::DumpIni(model));
    if (SurvivesReread(model, t)) CheckReadBack(path, model, t);
  }
  // Sets never add or remove keys.
  FUZZ_CHECK(writer.getValueCount(section.c_str(), key.c_str()) ==
             PrefixCount(model, section, key));
  CheckNeverOpened();
  return 0;
}
