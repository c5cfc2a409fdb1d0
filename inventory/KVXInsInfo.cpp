// The instance registry: reads /etc/kvxsysV3.ini and every partition's
// notes.ini into g_lstKVXNIns once, and afterwards walks the partitions of
// the current instance for the per-partition operations (stop, load,
// restart, count tasks, update the loader and the extension manager).
#include "KVXInsInfo.h"

#include <strings.h>

#include <cstring>

#include "DebugLog.h"
#include "DecimalNumber.h"
#include "LogTexts.h"
#include "Porting.h"
#include "QoIniUtil.h"

std::vector<KVXNInsInfo> g_lstKVXNIns;
std::int32_t g_iCurIns = 0;
char g_szKVXPatch[1024] = {0};

namespace {

constexpr auto& kMsgBegin = logtext::kRegistryPass;
constexpr char kMsgEnd[] = "Info:ParseKVXInsINI END.";
constexpr char kMsgCallbackStop[] = "Error: The callback return FALSE, so break out.";
constexpr auto& kMsgEmpty = logtext::kRegistryFirstRead;
constexpr char kMsgNoRegistry[] = "Error: Cannot find the kvxsys.ini in '%s' !";
constexpr char kMsgNoList[] = "There is no 'KVXInstanceList' in '%s'";
constexpr char kMsgListEmpty[] =
    "Error: The format of kvxsysV2.ini is error. There is no Domino partition in "
    "'KVXInstanceList'";
constexpr char kMsgNoProductPath[] = "There is no 'ProductPath' in '%s'";
constexpr char kMsgProductPath[] = "'ProductPath' in '%s' is '%s'";
constexpr char kMsgNoVersion[] =
    "Error: The format of kvxsys.ini is error. There is no 'ProductVersion' in '%s'";
constexpr char kMsgVersion[] = "'ProductVersion' in '%s' is '%s'";
constexpr char kMsgNoInstallType[] =
    "Error: The format of kvxsys.ini is error. There is no 'InstallType' in '%s'";
constexpr char kMsgInstallType[] = "'InstallType' in '%s' is '%s'";
constexpr char kMsgNoCount[] =
    "Error: The format of kvxsys.ini is error. There is no 'DomSvrIKVXCount' in '%s'";
constexpr char kMsgNoSecs[] =
    "Error: The format of kvxsys.ini is error. There is no 'DomSvrIKVXSecs' in '%s'";
constexpr char kMsgNoPartition[] =
    "Error: The format of kvxsys.ini is error. There is no Domino partition in '%s'";
constexpr char kMsgNoNotesIni[] =
    "Error: The format of kvxsys.ini is error. There is no '%sNotesIniPath' in '%s'";
constexpr char kMsgNoNotesProgram[] =
    "Error: The format of notes.ini is error. There is no 'NotesProgram'";
constexpr char kMsgNoDirectory[] =
    "Error: The format of notes.ini is error. There is no 'Directory'";
constexpr char kMsgCannotOpen[] = "Cannot open the file. (%s)";

constexpr char kRegistryFolder[] = "/etc";
constexpr char kRegistryName[] = "kvxsysV3.ini";
constexpr char kListSection[] = "KVXInstances";
constexpr char kListKey[] = "KVXInstanceList";
constexpr char kNotesSection[] = "Notes";
constexpr char kSupportedVersion[] = "V5.8";  // only its first four characters decide
constexpr char kSupportedType[] = "64-bit";
constexpr int kValueSize = 1024;
constexpr int kNotesIniPathSize = 1023;
constexpr std::size_t kSectionNameMax = 63;

// Reads one value into buf (size bytes with its NUL). False when the key or
// its section is missing; buf is then left as it was.
bool ReadValue(QoIniReader& reader, const char* section, const char* key, char* buf, int size) {
  int len = size;
  if (reader.getValue(section, key, buf, &len) != 0) return false;
  buf[len < size ? len : size - 1] = '\0';
  return true;
}

// The notes.ini lookups differ only in the key they read.
int ReadNotesIniKey(const char* notesIni, const char* key, char* out, int size) {
  if (!out || size <= 0) return 0;
  QoIniReader reader;
  if (reader.open(notesIni) != 0) {
    LogDebugMessage(1, kMsgCannotOpen, notesIni ? notesIni : "");
    return 0;
  }
  const bool found = ReadValue(reader, kNotesSection, key, out, size);
  reader.close();
  return found ? 1 : 0;
}

void WalkPartitions(ParInfoCallback callback, void* context) {
  const std::int32_t current = g_iCurIns;  // read once: the pass works on this instance
  if (!callback || current < 0 || static_cast<std::size_t>(current) >= g_lstKVXNIns.size()) return;
  const KVXNInsInfo instance = g_lstKVXNIns[static_cast<std::size_t>(current)];
  for (const KVXNParInfo& partition : instance.vecParInfo) {
    KVXNParInfo copy = partition;  // what the callback changes stays with it
    if (callback(&copy, context) == 0) {
      LogDebugMessage(1, kMsgCallbackStop);
      return;
    }
  }
}

// Reads the partitions named in instance.strDomSvrSecs. 0 or kRegistryMalformed.
int ReadPartitions(QoIniReader& reader, const char* section, KVXNInsInfo& instance) {
  const std::vector<std::string> entries = _split(instance.strDomSvrSecs, ",");
  if (entries.empty()) {
    LogDebugMessage(1, kMsgNoPartition, section);
    return kRegistryMalformed;
  }
  for (const std::string& entry : entries) {
    KVXNParInfo partition;
    char value[kValueSize];
    if (!ReadValue(reader, section, entry.c_str(), value, kNotesIniPathSize)) {
      LogDebugMessage(1, kMsgNoNotesIni, entry.c_str(), section);
      return kRegistryMalformed;
    }
    partition.strNotesIni = value;
    char folder[kValueSize];
    if (!GetDominoBinFolderFromNotesINI(value, folder, kNotesIniPathSize)) {
      LogDebugMessage(1, kMsgNoNotesProgram);
      return kRegistryMalformed;
    }
    partition.strBinDir = folder;
    if (!GetDominoDataFolderFromNotesINI(value, folder, kNotesIniPathSize)) {
      LogDebugMessage(1, kMsgNoDirectory);
      return kRegistryMalformed;
    }
    partition.strDataDir = folder;
    instance.vecParInfo.push_back(partition);
  }
  return 0;
}

enum class InstanceResult { kAdded, kSkipped, kStop, kMalformed };

// Reads the section of one listed instance and appends it when it is a
// 64-bit V5.8 installation.
InstanceResult ReadInstance(QoIniReader& reader, const std::string& name) {
  KVXNInsInfo instance;
  instance.strInsName = name.substr(0, kSectionNameMax);
  const char* section = instance.strInsName.c_str();
  char value[kValueSize];

  if (!ReadValue(reader, section, "ProductPath", value, kValueSize)) {
    LogDebugMessage(1, kMsgNoProductPath, section);
    return InstanceResult::kStop;
  }
  const std::size_t pathLen = std::strlen(value);
  if (pathLen > 0 && (value[pathLen - 1] == '/' || value[pathLen - 1] == '\\'))
    value[pathLen - 1] = '\0';
  instance.strProductPath = value;
  LogDebugMessage(1, kMsgProductPath, section, value);

  if (!ReadValue(reader, section, "ProductVersion", value, kValueSize)) {
    LogDebugMessage(1, kMsgNoVersion, section);
    return InstanceResult::kMalformed;
  }
  LogDebugMessage(1, kMsgVersion, section, value);
  instance.strProductVersion = value;
  if (strncasecmp(value, kSupportedVersion, std::strlen(kSupportedVersion)) != 0)
    return InstanceResult::kSkipped;

  if (!ReadValue(reader, section, "InstallType", value, kValueSize)) {
    LogDebugMessage(1, kMsgNoInstallType, section);
    return InstanceResult::kMalformed;
  }
  LogDebugMessage(1, kMsgInstallType, section, value);
  instance.strInstallType = value;
  if (strcasecmp(value, kSupportedType) != 0) return InstanceResult::kSkipped;

  if (!ReadValue(reader, section, "DomSvrIKVXCount", value, kValueSize)) {
    LogDebugMessage(1, kMsgNoCount, section);
    return InstanceResult::kMalformed;
  }
  instance.iDomSvrCount = ReadDecimal32(value);

  if (!ReadValue(reader, section, "DomSvrIKVXSecs", value, kValueSize)) {
    LogDebugMessage(1, kMsgNoSecs, section);
    return InstanceResult::kMalformed;
  }
  instance.strDomSvrSecs = value;
  if (ReadPartitions(reader, section, instance) != 0) return InstanceResult::kMalformed;

  g_lstKVXNIns.push_back(instance);
  return InstanceResult::kAdded;
}

int BuildRegistry() {
  LogDebugMessage(1, kMsgEmpty);
  char path[1024];
  qo_snprintf(path, sizeof path, "%s%s%s", kRegistryFolder, "/", kRegistryName);
  QoIniReader reader;
  if (reader.open(path) != 0) {
    LogDebugMessage(1, kMsgNoRegistry, path);
    return kRegistryOpenFailed;
  }
  char list[kValueSize];
  if (!ReadValue(reader, kListSection, kListKey, list, kValueSize)) {
    LogDebugMessage(1, kMsgNoList, kListSection);
    return 0;  // nothing registered: the driver reports that nothing is installed
  }
  const std::vector<std::string> names = _split(list, ",");
  if (names.empty()) {
    LogDebugMessage(1, kMsgListEmpty);
    return kRegistryMalformed;
  }
  for (const std::string& name : names) {
    switch (ReadInstance(reader, name)) {
      case InstanceResult::kAdded:
      case InstanceResult::kSkipped:
        break;
      case InstanceResult::kStop:
        return 0;  // the instances read so far stay registered
      case InstanceResult::kMalformed:
        return kRegistryMalformed;
    }
  }
  LogDebugMessage(1, kMsgEnd);
  return 0;
}

}  // namespace

int ParseKVXInsINI(ParInfoCallback callback, void* context) {
  LogDebugMessage(1, kMsgBegin);
  if (g_lstKVXNIns.empty()) return BuildRegistry();  // a callback is not called while building
  WalkPartitions(callback, context);
  LogDebugMessage(1, kMsgEnd);
  return 0;
}

int GetDominoDataFolderFromNotesINI(const char* notesIni, char* out, int size) {
  return ReadNotesIniKey(notesIni, "Directory", out, size);
}

int GetDominoBinFolderFromNotesINI(const char* notesIni, char* out, int size) {
  return ReadNotesIniKey(notesIni, "NotesProgram", out, size);
}

std::vector<std::string> _split(const std::string& text, const std::string& delimiters) {
  std::vector<std::string> pieces;
  if (text.empty() || delimiters.empty()) return pieces;
  std::size_t start = 0;
  for (std::size_t at = text.find_first_of(delimiters, start); at != std::string::npos;
       at = text.find_first_of(delimiters, start)) {
    if (at > start) {
      std::string piece = _trim(text.substr(start, at - start));
      if (!piece.empty()) pieces.push_back(piece);
    }
    start = at + 1;
  }
  std::string rest = _trim(text.substr(start));
  if (!rest.empty()) pieces.push_back(rest);
  return pieces;
}

std::string _trim(const std::string& text) {
  const std::size_t last = text.find_last_not_of(' ');
  if (last == std::string::npos) return std::string();
  const std::size_t first = text.find_first_not_of(' ');
  return text.substr(first, last - first + 1);
}
