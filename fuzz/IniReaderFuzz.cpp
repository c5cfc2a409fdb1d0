// The INI reader on any file. Lookups of names from its first lines, into buffers of exactly the
// size given (the address sanitizer stops a write past them), cut at size - 1, find every index
// below the count and none past it, and leave buffer and length alone when they fail.
#include <algorithm>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "QoIniUtil.h"

KVX_FUZZ_TARGET(IniReader) {
  const std::string path = kvxfuzz::ScratchDir() + "/reader.ini";
  kvxfuzz::WriteBytes(path, std::string(reinterpret_cast<const char*>(data), size));
  QoIniReader reader;
  FUZZ_CHECK(reader.open(path.c_str()) == IDD_ERR_ZERO);
  std::vector<std::string> names = {""};
  for (std::string line : kvxfuzz::Cut(data, size, 4)) {  // each line as a header, as a key line
    line = line.substr(0, line.find_first_of("\r\n"));
    names.insert(names.end(),
                 {line.substr(!line.empty(), line.rfind(']') - 1), line.substr(0, line.find('='))});
  }
  int bound = 1;
  for (const std::string& section : names) {
    for (const std::string& key : names) {
      const int count = reader.getValueCount(section.c_str(), key.c_str());
      FUZZ_CHECK(count >= 0 || count == IDD_ERR_SECTION_NOTFOUND);
      bound = bound % 1100 + 37;
      for (int index : {-1, 0, count - 1, count}) {
        std::vector<char> buf(static_cast<std::size_t>(bound), '#');
        int len = bound;
        const int rc = reader.getValueAt(section.c_str(), key.c_str(), buf.data(), &len, index);
        const bool found = index >= 0 && index < count;
        FUZZ_CHECK(rc == (count < 0 ? IDD_ERR_SECTION_NOTFOUND
                          : found   ? 0
                                    : IDD_ERR_VALUE_NOTFOUND) &&
                   (rc ? len == bound && std::count(buf.begin(), buf.end(), '#') == bound
                       : len < bound && std::string(buf.data()).size() == std::size_t(len)));
      }
    }
  }
  return 0;
}
