// Runs one file operation from the command line, for timing whole processes:
//   fileop_tool xcopy SRC DST | copy SRC DST | xunlink PATH | list PATH | size PATH
// The exit status is 0 on success, 1 otherwise; the operation's own result
// is printed to standard error when it is not 0.
#include <cstdio>
#include <cstring>
#include <string>

#include "QoFileOpUtil.h"

namespace {

int Report(int result) {
  if (result != 0) std::fprintf(stderr, "result %d\n", result);
  return result == 0 ? 0 : 1;
}

// The listing goes out in large writes, as a lister of the shell prints it
// through its own large buffer.
int List(const char* path) {
  constexpr std::size_t kFlushAt = 64 * 1024;
  QoKVXDirList list(path);
  std::string out;
  out.reserve(kFlushAt + 4096);
  bool ok = true;
  while (list.hasNext()) {
    out += list.getNext();
    out += '\n';
    if (out.size() >= kFlushAt) {
      ok = ok && std::fwrite(out.data(), 1, out.size(), stdout) == out.size();
      out.clear();
    }
  }
  ok = ok && std::fwrite(out.data(), 1, out.size(), stdout) == out.size();
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "xcopy") == 0)
    return Report(QoKVXFileOpUtil::xcopy(argv[2], argv[3], true));
  if (argc == 4 && std::strcmp(argv[1], "copy") == 0)
    return Report(QoKVXFileOpUtil::copy(argv[2], argv[3], true));
  if (argc == 3 && std::strcmp(argv[1], "xunlink") == 0)
    return Report(QoKVXFileOpUtil::xunlink(argv[2]));
  if (argc == 3 && std::strcmp(argv[1], "list") == 0) return List(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "size") == 0) {
    const auto size = QoKVXFileOpUtil::getDirSize(argv[2]);
    if (size == QoKVXFileOpUtil::kSizeError) return Report(-1);
    std::printf("%llu\n", static_cast<unsigned long long>(size));
    return 0;
  }
  std::fprintf(stderr,
               "usage: %s xcopy SRC DST | copy SRC DST | xunlink PATH | list PATH | size PATH\n",
               argv[0]);
  return 2;
}
