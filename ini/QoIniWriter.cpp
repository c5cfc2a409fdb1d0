// QoIniWriter: one value changed in memory, then the file rewritten whole.
#include "QoIniWriter.h"

#include <cstdio>

#include "Handles.h"
#include "Porting.h"
#include "QoFileOpUtil.h"

namespace {

constexpr unsigned long kBackupNameSize = 1024;

}  // namespace

QoIniWriter::~QoIniWriter() { _clearSectionList(); }

int QoIniWriter::open(const char* path) {
  const int rc = m_content.LoadFile(path);
  if (rc == IDD_ERR_ZERO) m_pszPath = path;
  return rc;
}

int QoIniWriter::SetValue(const char* section, const char* key, char* value) {
  return SetValueAt(section, key, value, 0);
}

int QoIniWriter::SetValueAt(const char* section, const char* key, char* value, int index) {
  if (!section || !key || !value) return IDD_ERR_INVALID_PARAM;
  IDD_Section* found = m_content.FindSection(section, qoini::NameMatch::kPrefix);
  if (!found) return IDD_ERR_SECTION_NOTFOUND;
  IDD_Value* target = m_content.FindValue(found, key, index, qoini::NameMatch::kPrefix);
  if (!target) return IDD_ERR_VALUE_NOTFOUND;
  // A longer value is cut to what the record holds, 1024 bytes.
  qo_snprintf(target->szValue, sizeof target->szValue, "%s", value);
  // The new value stays in memory even when the rewrite fails; the next
  // successful set writes it out too.
  return dumpFile();
}

int QoIniWriter::getValueCount(const char* section, const char* key) {
  return m_content.Count(section, key, qoini::NameMatch::kPrefix);
}

int QoIniWriter::dumpFile() {
  if (!m_pszPath) return IDD_ERR_INVALID_PARAM;
  char backup[kBackupNameSize];
  qo_snprintf(backup, sizeof backup, "%s.bak", m_pszPath);
  // A failed backup does not hold up the rewrite: the caller asked for the
  // new value, and the backup is only a courtesy to the administrator.
  QoKVXFileOpUtil::copy(m_pszPath, backup, true, nullptr, nullptr);
  // State: backup made (or not); the file itself still holds its old text.
  FilePtr out(std::fopen(m_pszPath, "w"));
  if (!out) return IDD_ERR_INIFILE_OPENFAILED;
  // State from here on: the file is truncated until the dump completes; the
  // previous text lives only in the backup.
  m_content.Dump(out.get());
  return IDD_ERR_ZERO;
}

int QoIniWriter::dumpStdout() { return m_content.Dump(stdout); }

int QoIniWriter::close() { return _clearSectionList(); }

int QoIniWriter::__removeRN(char* line) { return qoini::IniContent::RemoveRN(line); }

int QoIniWriter::__removeEndMark(char* text, char mark) {
  return qoini::IniContent::RemoveEndMark(text, mark);
}

int QoIniWriter::_suckValue(char* line, char* name, char* value) {
  return qoini::IniContent::SuckValue(line, name, value);
}

int QoIniWriter::_clearSectionList() {
  m_content.Clear();
  return IDD_ERR_ZERO;
}
