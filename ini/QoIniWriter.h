// QoIniWriter: changes the value of a key that already exists in an INI file
// and writes the whole file back in the library's own layout, keeping the
// previous file beside it as "<file>.bak". It loads exactly as QoIniReader
// does; unlike the reader it finds sections and keys by prefix.
#ifndef KVX_INI_QOINIWRITER_H
#define KVX_INI_QOINIWRITER_H

#include "QoIniUtil.h"

class QoIniWriter {
 public:
  QoIniWriter() = default;
  ~QoIniWriter();
  QoIniWriter(const QoIniWriter&) = delete;
  QoIniWriter& operator=(const QoIniWriter&) = delete;

  // Loads path and remembers the pointer itself (not a copy): the caller
  // keeps the text alive while the writer is used. A failure changes nothing.
  int open(const char* path);
  // Replace the value of the first (SetValueAt: match number index) key that
  // begins with key in the first section that begins with section, then
  // rewrite the file; the result is dumpFile's.
  int SetValue(const char* section, const char* key, char* value);
  int SetValueAt(const char* section, const char* key, char* value, int index);
  int getValueCount(const char* section, const char* key);
  // Backs the file up to "<path>.bak", then rewrites it in place.
  int dumpFile();
  int dumpStdout();
  // Releases the content; the remembered path stays.
  int close();

 private:
  int __removeRN(char* line);
  int __removeEndMark(char* text, char mark);
  int _suckValue(char* line, char* name, char* value);
  int _clearSectionList();

  const char* m_pszPath = nullptr;
  qoini::IniContent m_content;
};

#endif  // KVX_INI_QOINIWRITER_H
