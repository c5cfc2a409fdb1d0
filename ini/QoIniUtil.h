// Sectioned key=value files: the records a loaded file is kept in, the
// result codes of the INI library, the loaded-content core that the reader
// and the writer share (one parser, one set of line rules, one dump layout),
// and the read-only QoIniReader.
//
// Line rules, as a file is loaded:
//   - at most 1023 bytes arrive per read; a longer physical line arrives in
//     pieces, each handled on its own;
//   - a trailing LF and/or CR is removed (two bytes at most);
//   - "[END]" alone on a line, any case, ends the file;
//   - "[name]..." opens a section named by the text up to the last "]";
//   - "key=value" inside a section adds a value, split at the first "=";
//   - everything else is dropped without a report.
// Nothing is trimmed and there is no comment syntax: the files this product
// reads are written by machines, and a blank is data.
#ifndef KVX_INI_QOINIUTIL_H
#define KVX_INI_QOINIUTIL_H

#include <cstdio>
#include <list>
#include <memory>

constexpr int IDD_ERR_ZERO = 0;
constexpr int IDD_ERR_INVALID_VALUE = -100;        // a key line holds no "="
constexpr int IDD_ERR_VALUE_NAME_OVERSIZE = -101;  // key name longer than 63 bytes
constexpr int IDD_ERR_VALUE_OVERSIZE = -102;       // value longer than 1024 bytes
constexpr int IDD_ERR_VALUE_NOTFOUND = -103;
constexpr int IDD_ERR_SECTION_NOTFOUND = -104;
constexpr int IDD_ERR_INIFILE_OPENFAILED = -105;
constexpr int IDD_ERR_INVALID_PARAM = -106;  // a required pointer is null

// A static text for a result code; the caller must not free it.
const char* getIDDErrDesc(int code);

constexpr int kIddNameSize = 64;     // 63 bytes and the NUL
constexpr int kIddValueSize = 1025;  // 1024 bytes and the NUL

// One accepted key line.
struct IDD_Value {
  char szName[kIddNameSize];
  char szValue[kIddValueSize];
};
using IDD_ValueList = std::list<std::unique_ptr<IDD_Value>>;

// One section header and the key lines under it, in file order.
struct IDD_Section {
  char szName[kIddNameSize];
  IDD_ValueList lstValues;
};
using IDD_SectionList = std::list<std::unique_ptr<IDD_Section>>;

namespace qoini {

// How a lookup compares a stored name with the caller's argument. Both
// ignore the case of the ASCII letters only, never the locale's.
enum class NameMatch {
  kWhole,   // the whole name equals the argument
  kPrefix,  // the name begins with the argument; "" matches anything
};

// The content of one loaded file with the cursors that loading and lookups
// move. Both QoIniReader and QoIniWriter keep their content in one of these,
// so the line rules and the written layout exist exactly once.
class IniContent {
 public:
  IniContent() = default;
  IniContent(const IniContent&) = delete;
  IniContent& operator=(const IniContent&) = delete;

  // Opens path and replaces the content with the file's. 0,
  // IDD_ERR_INVALID_PARAM or IDD_ERR_INIFILE_OPENFAILED; a failure leaves
  // the previous content as it was.
  int LoadFile(const char* path);
  // Replaces the content with what the stream holds, up to end of file, a
  // read error or the end mark.
  void Load(std::FILE* in);
  // Releases every record; afterwards there is no current section or value.
  void Clear();

  // The first section (file order) whose name matches, or null.
  IDD_Section* FindSection(const char* name, NameMatch how);
  // Match number index (from 0) of key in section, or null.
  IDD_Value* FindValue(IDD_Section* section, const char* key, int index, NameMatch how);
  // The number of matching keys in the first matching section, or
  // IDD_ERR_INVALID_PARAM / IDD_ERR_SECTION_NOTFOUND.
  int Count(const char* section, const char* key, NameMatch how);

  // Writes the content in the library's own layout, "[END]" last; returns
  // what writing that last line returned.
  int Dump(std::FILE* out) const;

  // The single steps of loading, reachable on their own for the classes'
  // private steps of the same meaning.
  static int RemoveRN(char* line);
  static int RemoveEndMark(char* text, char mark);
  static int SuckValue(const char* line, char* name, char* value);

 private:
  void HandleLine(char* line, std::unique_ptr<IDD_Section>& pending);
  void CloseSection(std::unique_ptr<IDD_Section>& pending);

  IDD_SectionList lstSections;
  // Cursors. While loading, pCurSection is the section being filled (it
  // joins lstSections only when complete) and pCurValue the value made last.
  IDD_SectionList::iterator itSection;
  IDD_Section* pCurSection = nullptr;
  IDD_ValueList* pCurValues = nullptr;
  IDD_Value* pCurValue = nullptr;
  IDD_ValueList::iterator itValue;
};

}  // namespace qoini

// Loads a whole file once and answers lookups by section and key name; both
// names are compared whole, ignoring the case of ASCII letters. A reader is
// for one thread: even lookups move its cursors.
class QoIniReader {
 public:
  QoIniReader() = default;
  ~QoIniReader();
  QoIniReader(const QoIniReader&) = delete;
  QoIniReader& operator=(const QoIniReader&) = delete;

  // 0, IDD_ERR_INVALID_PARAM or IDD_ERR_INIFILE_OPENFAILED; on failure the
  // previous content stays.
  int open(const char* path);
  // *len: the buffer's size on entry (at least 1), the copied text's length
  // on success. A value that does not fit is cut to *len - 1 bytes.
  int getValue(const char* section, const char* key, char* buf, int* len);
  int getValueAt(const char* section, const char* key, char* buf, int* len, int index);
  // The number of values of key in section (0 or more), or a negative code.
  int getValueCount(const char* section, const char* key);
  int close();
  int dumpStdout();

 private:
  int __removeRN(char* line);
  int __removeEndMark(char* text, char mark);
  int _suckValue(char* line, char* name, char* value);
  int _clearSectionList();

  qoini::IniContent m_content;
};

#endif  // KVX_INI_QOINIUTIL_H
