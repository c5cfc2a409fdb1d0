// The package's comma lists: the pieces, appended to the list, join back into the text; in the
// name tables the first 128 (20) land in slot order and every other slot holds an empty text.
#include <list>
#include <string>

#include "FuzzSupport.h"
#include "PatchSetting.h"

KVX_FUZZ_TARGET(FileList) {
  std::string text = kvxfuzz::Cut(data, size, 0)[0].c_str();
  _PatchSetting setting;
  setting.lstFiles = {"held-before"};
  FUZZ_CHECK(ParseFileList(setting.lstFiles, &text[0]) == 0);
  std::string joined;
  for (const std::string& piece : setting.lstFiles) joined += piece + ",";
  FUZZ_CHECK(joined == "held-before," + text + ",");
  setting.lstFiles.pop_front();
  setting.lstDatabases = setting.lstFiles;
  FUZZ_CHECK(ReadFileList(setting) == 1 && ReadDBList(setting) == 1);
  for (char* const* slots : {szDlls, szDBs}) {
    auto name = setting.lstFiles.begin();
    for (int i = 0; i < (slots == szDlls ? kMaxDlls : kMaxDBs); ++i)
      FUZZ_CHECK(slots[i] && slots[i] == (name != setting.lstFiles.end() ? *name++ : ""));
  }
  return 0;
}
