// The file operations library: path queries and splitting, a directory
// lister with a wildcard filter, recursive copy, move, delete and create with
// an optional per-step callback, and size and content queries.
//
// Paths are plain byte strings; "/" is the only separator. Operations report
// failures as integer result codes (or false), never by exceptions, and the
// library writes no log: callers log what they need.
#ifndef KVX_FILEOP_QOFILEOPUTIL_H
#define KVX_FILEOP_QOFILEOPUTIL_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QoKVXFileOpUtil {
 public:
  // One record per operation, rewritten for each step and handed to the
  // callback. The walk of xaccess refuses a record whose iSize is not 56.
  struct CallbackEntry {
    std::int32_t iSize;       // must hold sizeof(CallbackEntry), 56, for xaccess
    void* pUserData;          // the caller's own; never touched by the operations
    const char* szSource;     // the path the step works on; valid during the call only
    const char* szDest;       // the target file of a copy step, else null
    std::int64_t tmModified;  // xaccess only: last modification time
    std::int64_t iItemSize;   // xaccess only: bytes of a file, 0 for a directory
    std::int32_t iAction;     // one of the kAction* values
    std::int32_t iDone;       // 0 when the step is announced, 1 once carried out
  };
  // The callback's answer before a step: 0 goes on, kSkipStep skips the step
  // (which then counts as done), anything else stops the operation and
  // becomes its result.
  using Callback = int (*)(CallbackEntry*);

  static constexpr int kSkipStep = 2;

  enum Action : std::int32_t {
    kActionCopyNew = 0,
    kActionCopyOver = 1,
    kActionDeleteFile = 2,
    kActionCreateDir = 3,
    kActionRemoveDir = 4,
    kActionVisitDir = 5,
    kActionVisitFile = 6,
  };

  // Result codes of copy, xcopy, move, xmove, unlink, xunlink and createDir.
  enum Result : int {
    kOk = 0,
    kErrBadArgs = -1,
    kErrOpenSource = -2,
    kErrRead = -3,
    kErrShortWrite = -4,
    kErrDest = -5,
    kErrDestExists = -6,
  };

  // getDirSize's answer when the walk failed: all bits set.
  static constexpr std::uint64_t kSizeError = ~std::uint64_t{0};

  QoKVXFileOpUtil() = delete;

  // Queries; the path is taken as given (no backslash rewrite).
  static bool isDirName(const char* path);
  static bool isDir(const char* path);    // lstat: a link to a directory is no directory
  static bool exist(const char* path);    // opens for reading
  static bool isExist(const char* path);  // access(F_OK): any kind of entry
  static std::string getFileName(const char* path);
  static std::string getDirName(const char* path);

  static bool rename(const char* source, const char* dest);
  static int copy(const char* source, const char* dest, bool overwrite, Callback cb = nullptr,
                  CallbackEntry* entry = nullptr);
  static int xcopy(const char* source, const char* dest, bool overwrite, Callback cb = nullptr,
                   CallbackEntry* entry = nullptr);
  static int move(const char* source, const char* dest, bool overwrite, Callback cb = nullptr,
                  CallbackEntry* entry = nullptr);
  static int xmove(const char* source, const char* dest, bool overwrite, Callback cb = nullptr,
                   CallbackEntry* entry = nullptr);
  static int unlink(const char* path, Callback cb = nullptr, CallbackEntry* entry = nullptr);
  static int xunlink(const char* path, Callback cb = nullptr, CallbackEntry* entry = nullptr);
  static int createDir(const char* path, Callback cb = nullptr, CallbackEntry* entry = nullptr);

  static bool xaccess(const char* path, Callback cb, CallbackEntry* entry);
  static std::uint64_t getDirSize(const char* path);
  static bool isEmptyDir(const char* path);
  static bool filesizeEqualTo(const char* path, int size);
  // Same bytes and length; one QoKVXFileComparer for this pair alone.
  static bool comp(const char* path1, const char* path2);
};

// Byte comparison of files through two read buffers of 256 KiB that live as
// long as the comparer: a walk over many files makes one and pays for its
// buffers once. They are allocated at the first pair that needs its bytes
// read.
class QoKVXFileComparer {
 public:
  QoKVXFileComparer() = default;
  QoKVXFileComparer(const QoKVXFileComparer&) = delete;
  QoKVXFileComparer& operator=(const QoKVXFileComparer&) = delete;

  // True when both files open and hold the same bytes; false also when the
  // buffers cannot be had or a file changes length while it is read.
  bool same(const char* path1, const char* path2);

 private:
  std::unique_ptr<char[]> m_first;
  std::unique_ptr<char[]> m_second;
};

static_assert(sizeof(QoKVXFileOpUtil::CallbackEntry) == 56, "callers check the record size 56");

// Lists the entries of one directory that match a wildcard, read whole at
// construction: "D" or "D/" lists all of D, "D/*.dll" the matching entries,
// "D/name" that entry alone. getNext hands out "D/" + name, in the order the
// directory delivered the names.
class QoKVXDirList {
 public:
  explicit QoKVXDirList(const char* path);
  ~QoKVXDirList();

  bool hasNext() const;
  std::string getNext();  // "" once every entry has been handed out
  std::string getFilter() const;
  int getFolderCount() const;
  int getFileCount() const;

 private:
  void _init();
  void _addName(const char* name);
  // Directory part plus entry i, built into one string of the exact size.
  std::string _pathOf(std::size_t i) const;

  std::string m_strDir;
  std::string m_strFilter;
  // The names live back to back in blocks that never move, so a listing of
  // many thousand entries costs a few allocations and no copying as it grows;
  // m_lstEntries views them in directory order.
  std::vector<std::unique_ptr<char[]>> m_lstBlocks;
  std::size_t m_nBlockFree = 0;  // unused bytes at the end of the last block
  std::vector<std::string_view> m_lstEntries;
  std::size_t m_nNext;
};

// Hands the folder at path to kvxgroup (group read/write, no write for
// others) through the shell; the result is the status of the last command.
int ChangeOwner(char* path);

#endif  // KVX_FILEOP_QOFILEOPUTIL_H
