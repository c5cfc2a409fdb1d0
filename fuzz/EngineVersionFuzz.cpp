// An engine's version.txt: the first byte adds "/." steps to the folder path, the rest is the
// file. The result is 0 or -1 with zeros, -1 for a folder path of more than 243 characters.
#include <sys/stat.h>

#include <algorithm>
#include <string>

#include "FuzzSupport.h"
#include "VersionFolder.h"

KVX_FUZZ_TARGET(EngineVersion) {
  std::string folder = kvxfuzz::ScratchDir() + "/engine";
  ::mkdir(folder.c_str(), 0755);
  kvxfuzz::WriteBytes(folder + "/version.txt",
                      size ? std::string(reinterpret_cast<const char*>(data) + 1, size - 1) : "");
  for (unsigned steps = size ? data[0] : 0; steps > 0; --steps) folder += "/.";
  // Any number may be in the file: calls from two start values end alike when all are written.
  int v[4] = {-7, -7, -7, -7}, w[4] = {5, 5, 5, 5};
  const int rc = ReadEngineVersion(&folder[0], &v[0], &v[1], &v[2], &v[3]);
  FUZZ_CHECK(ReadEngineVersion(&folder[0], &w[0], &w[1], &w[2], &w[3]) == rc &&
             std::equal(v, v + 4, w));
  FUZZ_CHECK(rc == 0 || (rc == -1 && v[0] == 0 && v[1] == 0 && v[2] == 0 && v[3] == 0));
  FUZZ_CHECK(folder.size() <= 243 || rc == -1);
  return 0;
}
