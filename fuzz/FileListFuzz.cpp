// The package's comma lists: every piece kept as written, empty ones too,
// appended after what the list already held. Joined again with commas, the
// pieces give back the text; laid into the name tables, the first 128 (20)
// land in slot order and the rest of the slots are empty.
#include <list>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "inventory/PatchSetting.h"

namespace {

constexpr char kEarlier[] = "held-before.so";

std::string Join(std::list<std::string>::const_iterator from,
                 std::list<std::string>::const_iterator to) {
  std::string text;
  for (auto it = from; it != to; ++it) text += (it == from ? "" : ",") + *it;
  return text;
}

// Slot i holds name i; slots past the names (or past the table) are empty.
void CheckSlots(char* const* slots, int count, const std::list<std::string>& list) {
  auto it = list.begin();
  for (int i = 0; i < count; ++i) {
    FUZZ_CHECK(slots[i] != nullptr);
    FUZZ_CHECK(std::string(slots[i]) == (it != list.end() ? *it++ : std::string()));
  }
}

}  // namespace

KVX_FUZZ_TARGET(FileList) {
  const std::string text =
      kvxfuzz::AsCString(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');

  std::list<std::string> names = {kEarlier};
  FUZZ_CHECK(ParseFileList(names, buffer.data()) == 0);
  FUZZ_CHECK(!names.empty() && names.front() == kEarlier);
  std::size_t commas = 0;
  for (char c : text) commas += c == ',' ? 1 : 0;
  FUZZ_CHECK(names.size() == 1 + commas + 1);
  FUZZ_CHECK(Join(std::next(names.begin()), names.end()) == text);
  for (auto it = std::next(names.begin()); it != names.end(); ++it)
    FUZZ_CHECK(it->find(',') == std::string::npos);

  _PatchSetting setting;
  setting.lstFiles.assign(std::next(names.begin()), names.end());
  setting.lstDatabases = setting.lstFiles;
  FUZZ_CHECK(ReadFileList(setting) == 1);
  FUZZ_CHECK(ReadDBList(setting) == 1);
  CheckSlots(szDlls, kMaxDlls, setting.lstFiles);
  CheckSlots(szDBs, kMaxDBs, setting.lstDatabases);
  return 0;
}
