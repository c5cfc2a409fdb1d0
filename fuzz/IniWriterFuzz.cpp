// The INI writer on any file. Input: section, key, value, index (digit or "-"), then the file. A
// failed set changes nothing; a successful one backs the old bytes up, and what it writes reads
// back the same unless a section END ends it early, a line exceeds one read or a value ends in CR.
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "QoIniWriter.h"

KVX_FUZZ_TARGET(IniWriter) {
  std::vector<std::string> in = kvxfuzz::Cut(data, size, 4);
  const std::string path = kvxfuzz::ScratchDir() + "/writer.ini", copy = path + ".copy";
  ::unlink((path + ".bak").c_str());
  kvxfuzz::WriteBytes(path, in[4]);
  QoIniWriter writer;
  FUZZ_CHECK(writer.open(path.c_str()) == IDD_ERR_ZERO);
  const int index = in[3].empty() ? 0 : in[3][0] == '-' ? -1 : in[3][0] - '0';
  const int rc = writer.SetValueAt(in[0].c_str(), in[1].c_str(), &in[2][0], index);
  if (rc != IDD_ERR_ZERO) {
    FUZZ_CHECK((rc == IDD_ERR_SECTION_NOTFOUND || rc == IDD_ERR_VALUE_NOTFOUND) &&
               kvxfuzz::ReadBytes(path) == in[4] && ::access((path + ".bak").c_str(), F_OK) != 0);
    return 0;
  }
  FUZZ_CHECK(kvxfuzz::ReadBytes(path + ".bak") == in[4]);
  const std::string written = kvxfuzz::ReadBytes(path);
  kvxfuzz::WriteBytes(copy, written);
  QoIniWriter again;
  FUZZ_CHECK(again.open(copy.c_str()) == IDD_ERR_ZERO && again.dumpFile() == IDD_ERR_ZERO);
  const char* end = strcasestr(written.c_str(), "[END]\n");  // a section END, a long value line
  const bool lost = end + 6 != written.c_str() + written.size() || in[2].size() > 950 ||
                    written.find("\r\n") != std::string::npos;  // or a value's last CR are lost
  FUZZ_CHECK(lost || kvxfuzz::ReadBytes(copy) == written);
  return 0;
}
