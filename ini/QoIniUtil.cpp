// The INI library's loaded-content core (line rules, lookups, dump layout),
// the result code texts and the read-only QoIniReader.
#include "QoIniUtil.h"

#include <sys/stat.h>

#include <cstring>
#include <iterator>

#include "Handles.h"
#include "Porting.h"

namespace {

constexpr char kEndMark[] = "[END]";
constexpr int kLineBufferSize = 1024;  // one read brings at most 1023 bytes

// Only A-Z fold: these files hold ASCII names, and the result must not
// depend on the locale the installer happens to run under.
char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool NameMatches(const char* stored, const char* arg, qoini::NameMatch how) {
  for (; *arg; ++stored, ++arg) {
    if (FoldAscii(*stored) != FoldAscii(*arg)) return false;  // also when stored ends first
  }
  return how == qoini::NameMatch::kPrefix || *stored == '\0';
}

bool IsEndMark(const char* line) { return NameMatches(line, kEndMark, qoini::NameMatch::kWhole); }

}  // namespace

const char* getIDDErrDesc(int code) {
  switch (code) {
    case IDD_ERR_ZERO:
      return "IDD_ERR_ZERO";
    case IDD_ERR_INVALID_VALUE:
      return "IDD_ERR_INVALID_VALUE";
    case IDD_ERR_VALUE_NAME_OVERSIZE:
      return "IDD_ERR_VALUE_NAME_OVERSIZE";
    case IDD_ERR_VALUE_OVERSIZE:
      return "IDD_ERR_VALUE_OVERSIZE";
    case IDD_ERR_VALUE_NOTFOUND:
      return "IDD_ERR_VALUE_NOTFOUND";
    case IDD_ERR_SECTION_NOTFOUND:
      return "IDD_ERR_SECTION_NOTFOUND";
    case IDD_ERR_INIFILE_OPENFAILED:
      return "IDD_ERR_INIFILE_OPENFAILED";
    default:  // IDD_ERR_INVALID_PARAM has never had a text of its own
      return "IDD_ERR_Unknown";
  }
}

namespace qoini {

int IniContent::LoadFile(const char* path) {
  if (!path) return IDD_ERR_INVALID_PARAM;
  FilePtr in(std::fopen(path, "r"));
  if (!in) return IDD_ERR_INIFILE_OPENFAILED;
  // A folder opens for reading here but yields no line: treat it as what it
  // is, a file that cannot be read, rather than wipe the content.
  struct stat st;
  if (::fstat(::fileno(in.get()), &st) == 0 && S_ISDIR(st.st_mode))
    return IDD_ERR_INIFILE_OPENFAILED;
  Load(in.get());
  return IDD_ERR_ZERO;
}

void IniContent::Load(std::FILE* in) {
  Clear();
  std::unique_ptr<IDD_Section> pending;
  char line[kLineBufferSize];
  // fgets stops at a newline or after sizeof line - 1 bytes, so an overlong
  // line arrives in pieces; a read error ends the file like end of file.
  while (std::fgets(line, sizeof line, in)) {
    RemoveRN(line);
    if (IsEndMark(line)) break;
    HandleLine(line, pending);
  }
  CloseSection(pending);
}

void IniContent::HandleLine(char* line, std::unique_ptr<IDD_Section>& pending) {
  if (line[0] == '\0') return;
  if (line[0] == '[') {
    CloseSection(pending);
    pending = std::make_unique<IDD_Section>();
    pCurSection = pending.get();
    pCurValues = &pending->lstValues;
    pCurValue = nullptr;
    RemoveEndMark(line + 1, ']');
    qo_snprintf(pending->szName, sizeof pending->szName, "%s", line + 1);
    return;
  }
  if (!pending) return;  // key lines before the first header belong nowhere
  char name[kIddNameSize];
  char value[kIddValueSize];
  if (SuckValue(line, name, value) != IDD_ERR_ZERO) return;
  auto record = std::make_unique<IDD_Value>();
  qo_snprintf(record->szName, sizeof record->szName, "%s", name);
  qo_snprintf(record->szValue, sizeof record->szValue, "%s", value);
  pCurValue = record.get();
  pCurValues->push_back(std::move(record));
  itValue = std::prev(pCurValues->end());
}

void IniContent::CloseSection(std::unique_ptr<IDD_Section>& pending) {
  if (!pending) return;
  lstSections.push_back(std::move(pending));
  itSection = std::prev(lstSections.end());
}

void IniContent::Clear() {
  lstSections.clear();
  itSection = lstSections.end();
  pCurSection = nullptr;
  pCurValues = nullptr;
  pCurValue = nullptr;
  itValue = IDD_ValueList::iterator();
}

IDD_Section* IniContent::FindSection(const char* name, NameMatch how) {
  for (itSection = lstSections.begin(); itSection != lstSections.end(); ++itSection) {
    pCurSection = itSection->get();
    pCurValues = &pCurSection->lstValues;
    if (NameMatches(pCurSection->szName, name, how)) return pCurSection;
  }
  return nullptr;
}

IDD_Value* IniContent::FindValue(IDD_Section* section, const char* key, int index, NameMatch how) {
  if (index < 0) return nullptr;
  int seen = 0;
  for (itValue = section->lstValues.begin(); itValue != section->lstValues.end(); ++itValue) {
    pCurValue = itValue->get();
    if (NameMatches(pCurValue->szName, key, how) && seen++ == index) return pCurValue;
  }
  return nullptr;
}

int IniContent::Count(const char* section, const char* key, NameMatch how) {
  if (!section || !key) return IDD_ERR_INVALID_PARAM;
  IDD_Section* found = FindSection(section, how);
  if (!found) return IDD_ERR_SECTION_NOTFOUND;
  int count = 0;
  for (itValue = found->lstValues.begin(); itValue != found->lstValues.end(); ++itValue) {
    pCurValue = itValue->get();
    if (NameMatches(pCurValue->szName, key, how)) ++count;
  }
  return count;
}

int IniContent::Dump(std::FILE* out) const {
  for (const auto& section : lstSections) {
    std::fprintf(out, "[%s]\n", section->szName);
    for (const auto& value : section->lstValues)
      std::fprintf(out, "%s=%s\n", value->szName, value->szValue);
    std::fprintf(out, "\n");
  }
  return std::fprintf(out, "%s\n", kEndMark);
}

int IniContent::RemoveRN(char* line) {
  std::size_t n = std::strlen(line);
  for (int removed = 0; removed < 2 && n > 0; ++removed) {
    if (line[n - 1] != '\r' && line[n - 1] != '\n') break;
    line[--n] = '\0';
  }
  return IDD_ERR_ZERO;
}

int IniContent::RemoveEndMark(char* text, char mark) {
  // Without the mark the text stays whole: a header missing its "]" still
  // names the section its key lines are meant for.
  char* last = std::strrchr(text, mark);
  if (last) std::memset(last, '\0', std::strlen(last));
  return IDD_ERR_ZERO;
}

int IniContent::SuckValue(const char* line, char* name, char* value) {
  const char* equals = std::strchr(line, '=');
  if (!equals) return IDD_ERR_INVALID_VALUE;
  const std::size_t nameLen = static_cast<std::size_t>(equals - line);
  if (nameLen > kIddNameSize - 1) return IDD_ERR_VALUE_NAME_OVERSIZE;
  const std::size_t valueLen = std::strlen(equals + 1);
  if (valueLen > kIddValueSize - 1) return IDD_ERR_VALUE_OVERSIZE;
  std::memcpy(name, line, nameLen);
  name[nameLen] = '\0';
  std::memcpy(value, equals + 1, valueLen + 1);
  return IDD_ERR_ZERO;
}

}  // namespace qoini

QoIniReader::~QoIniReader() { _clearSectionList(); }

int QoIniReader::open(const char* path) { return m_content.LoadFile(path); }

int QoIniReader::getValue(const char* section, const char* key, char* buf, int* len) {
  return getValueAt(section, key, buf, len, 0);
}

int QoIniReader::getValueAt(const char* section, const char* key, char* buf, int* len, int index) {
  // A length below 1 leaves no room even for the NUL; refuse it rather than
  // write in front of the caller's buffer.
  if (!section || !key || !buf || !len || *len < 1) return IDD_ERR_INVALID_PARAM;
  IDD_Section* found = m_content.FindSection(section, qoini::NameMatch::kWhole);
  if (!found) return IDD_ERR_SECTION_NOTFOUND;
  const IDD_Value* value = m_content.FindValue(found, key, index, qoini::NameMatch::kWhole);
  if (!value) return IDD_ERR_VALUE_NOTFOUND;
  qo_snprintf(buf, static_cast<unsigned long>(*len), "%s", value->szValue);
  *len = static_cast<int>(std::strlen(buf));
  return IDD_ERR_ZERO;
}

int QoIniReader::getValueCount(const char* section, const char* key) {
  return m_content.Count(section, key, qoini::NameMatch::kWhole);
}

int QoIniReader::close() { return _clearSectionList(); }

int QoIniReader::dumpStdout() { return m_content.Dump(stdout); }

int QoIniReader::__removeRN(char* line) { return qoini::IniContent::RemoveRN(line); }

int QoIniReader::__removeEndMark(char* text, char mark) {
  return qoini::IniContent::RemoveEndMark(text, mark);
}

int QoIniReader::_suckValue(char* line, char* name, char* value) {
  return qoini::IniContent::SuckValue(line, name, value);
}

int QoIniReader::_clearSectionList() {
  m_content.Clear();
  return IDD_ERR_ZERO;
}
