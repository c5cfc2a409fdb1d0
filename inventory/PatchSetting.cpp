// The package side of a run: reads FileGroup1/kvxpatch.ini into
// _PatchSetting, lays its file and database lists out in the name tables
// szDlls and szDBs, and checks that the product's own databases exist in
// every partition of an instance.
#include "PatchSetting.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DebugLog.h"
#include "DecimalNumber.h"
#include "Porting.h"
#include "QoFileOpUtil.h"
#include "QoIniUtil.h"

namespace {

constexpr char kMsgCannotOpen[] = "Cannot open the file. (%s)";
constexpr char kMsgNoFiles[] = "Cannot get the value in configuration file. (Config:Files)";
constexpr char kMsgFiles[] = "Read files from kvxpatch.ini is %s";
constexpr char kMsgNoBuild[] = "Cannot get the value in configuration file. (Config:BuildNumber)";
constexpr char kMsgNoDatabases[] = "Cannot get the value in configuration file. (Config:Databases)";
constexpr char kMsgNoUpdateExt[] = "Needn't update extesion manager.";
constexpr char kMsgFileCount[] = "file number is %d from kvxpatch.ini";
constexpr char kMsgDbMissing[] = "Database \"%s\" has not been generated before.";
constexpr char kMsgDbPresent[] = "Database \"%s\" has been generated before.";
constexpr char kMsgFolderExists[] = "Folder [%s] already exist, skip upgrade!";

constexpr char kSection[] = "Config";
constexpr char kSettingsName[] = "/kvxpatch.ini";
constexpr int kValueSize = 4096;
constexpr std::size_t kDbPathSize = 256;

// Every slot that holds no name points here; named slots own a malloc'ed
// copy. Slots start empty, so a reader that runs before the tables are
// filled sees empty texts, never null.
char kEmptySlot[] = "";

template <std::size_t N>
bool FillEmpty(char* (&slots)[N]) {
  for (char*& slot : slots) slot = kEmptySlot;
  return true;
}

template <std::size_t N>
void ReleaseSlots(char* (&slots)[N]) {
  for (char*& slot : slots) {
    if (slot && slot != kEmptySlot) std::free(slot);
    slot = kEmptySlot;
  }
}

// Copies the names into the slots, in order, as far as there are slots;
// the slots after the last name are left empty. Returns how many were stored.
template <std::size_t N>
int FillSlots(char* (&slots)[N], const std::list<std::string>& names) {
  ReleaseSlots(slots);
  std::size_t stored = 0;
  for (auto name = names.begin(); name != names.end() && stored < N; ++name, ++stored) {
    char* copy = strdup(name->c_str());
    slots[stored] = copy ? copy : kEmptySlot;
  }
  return static_cast<int>(stored);
}

// Reads a value into buf (kValueSize bytes). False when it is missing.
bool ReadValue(QoIniReader& reader, const char* key, char* buf) {
  int len = kValueSize;
  if (reader.getValue(kSection, key, buf, &len) != 0) return false;
  buf[len < kValueSize ? len : kValueSize - 1] = '\0';
  return true;
}

// A number that falls back to its default when the key is missing.
std::int32_t ReadNumber(QoIniReader& reader, const char* key, std::int32_t fallback) {
  char value[kValueSize];
  return ReadValue(reader, key, value) ? ReadDecimal32(value) : fallback;
}

// Steps after the file is open; the caller owns and closes the reader.
int ReadSettings(QoIniReader& reader, _PatchSetting& setting) {
  char value[kValueSize];
  if (!ReadValue(reader, "Files", value)) {
    LogDebugMessage(1, kMsgNoFiles);
    return 1;
  }
  LogDebugMessage(1, kMsgFiles, value);
  ParseFileList(setting.lstFiles, value);

  if (!ReadValue(reader, "BuildNumber", value)) {
    LogDebugMessage(1, kMsgNoBuild);
    return 1;
  }
  setting.iBuildNumber = ReadDecimal32(value);

  if (ReadValue(reader, "Databases", value))
    ParseFileList(setting.lstDatabases, value);
  else
    LogDebugMessage(1, kMsgNoDatabases);

  setting.iCreateNewFolder = ReadNumber(reader, "CreateNewFolder", 1);
  setting.iDepentBuild = ReadNumber(reader, "DepentBuild", 0);
  setting.iServicePack = ReadNumber(reader, "ServicePack", 0);
  setting.iPreviousBuild = ReadNumber(reader, "PreviousBuild", 0);
  setting.iUpdateLoader = ReadNumber(reader, "UpdateLoader", 0);

  setting.bUpdateExt = 0;
  if (ReadValue(reader, "UpdateExt", value))
    setting.bUpdateExt = ReadDecimal32(value) != 0 ? 1 : 0;
  else
    LogDebugMessage(1, kMsgNoUpdateExt);
  return 0;
}

}  // namespace

char* szDlls[kMaxDlls];
char* szDBs[kMaxDBs];
const char* const kvx55GmNtfList[kGmNtfCount] = {"kvconf", "kvxapproved", "kvxdtas", "kvency",
                                                 "kvquar", "kvtime",      "kvvlog"};

namespace {
[[maybe_unused]] const bool kTablesReady = FillEmpty(szDlls) && FillEmpty(szDBs);
}  // namespace

int ReadConfiguration(InstallInfo& info, _PatchSetting& setting) {
  char path[1024];
  qo_snprintf(path, sizeof path, "%s%s", info.strPackagePath.c_str(), kSettingsName);
  setting.iBuildNumber = 0;
  QoIniReader reader;
  if (reader.open(path) != 0) {
    LogDebugMessage(1, kMsgCannotOpen, path);
    return 1;
  }
  const int result = ReadSettings(reader, setting);
  reader.close();
  return result;
}

int ParseFileList(std::list<std::string>& list, char* text) {
  if (!text) return 0;
  const char* start = text;
  for (const char* comma = std::strchr(start, ','); comma; comma = std::strchr(start, ',')) {
    list.emplace_back(start, static_cast<std::size_t>(comma - start));
    start = comma + 1;
  }
  list.emplace_back(start);  // the last piece is always taken, even when empty
  return 0;
}

int ReadFileList(_PatchSetting& setting) {
  LogDebugMessage(1, kMsgFileCount, FillSlots(szDlls, setting.lstFiles));
  return 1;
}

int ReadDBList(_PatchSetting& setting) {
  FillSlots(szDBs, setting.lstDatabases);
  return 1;
}

int FreeFileList() {
  ReleaseSlots(szDlls);
  return 1;
}

int CheckNsfExistInDBList(KVXNInsInfo& instance) {
  for (const KVXNParInfo& partition : instance.vecParInfo) {
    for (const char* name : kvx55GmNtfList) {
      const std::string path = partition.strDataDir + "/kvx/" + name + ".nsf";
      // A path that does not fit the database path buffer would be checked
      // cut, that is some other file: it counts as missing.
      if (path.size() >= kDbPathSize || !QoKVXFileOpUtil::isExist(path.c_str())) {
        LogDebugMessage(1, kMsgDbMissing, path.c_str());
        return 0;
      }
      LogDebugMessage(1, kMsgDbPresent, path.c_str());
    }
  }
  return 1;
}

int CheckEnvironment(_PatchSetting& setting) {
  char path[1024];
  qo_snprintf(path, sizeof path, "%s/program/V5.8.0.%d", g_szKVXPatch,
              static_cast<int>(setting.iBuildNumber));
  if (!QoKVXFileOpUtil::exist(path)) return 1;
  std::printf(kMsgFolderExists, path);
  std::fflush(stdout);
  LogDebugMessage(1, kMsgFolderExists, path);
  return 0;
}
