// Versions of folder names: any text reads without a fault, a trailing separator changes nothing,
// and names written as the product writes them read back as their numbers (the first 16 bytes).
#include <cstdio>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "VersionFolder.h"

static std::string Read(const std::string& path) {
  int v[4] = {-7, -7, -7, -7};  // anything the reader forgets to set shows
  QoParseVersionStr(path.c_str(), &v[0], &v[1], &v[2], &v[3]);
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", v[0], v[1], v[2], v[3]);
  return text;
}

KVX_FUZZ_TARGET(VersionStr) {
  const std::string path = kvxfuzz::Cut(data, size, 1)[0];
  const char last = path.empty() ? 0 : path.back();
  if (path.size() < 1000 && last != '/' && last != '\\') FUZZ_CHECK(Read(path) == Read(path + "/"));
  int n[4];
  if (size < sizeof n) return 0;
  std::memcpy(n, data, sizeof n);
  char name[128];
  std::snprintf(name, sizeof name, "/opt/kvx/program/V%d.%d.%d.%d", n[0], n[1], n[2], n[3]);
  FUZZ_CHECK(Read(name) == std::string(name).substr(18));
  std::snprintf(name, sizeof name, "engine\\alder\\V%d.%03d.%d\\", n[0], n[1], n[3]);
  const std::string engine = Read(name);
  std::snprintf(name, sizeof name, "%d.%d.0.%d", n[0], n[1], n[3]);
  FUZZ_CHECK(engine == name);
  return 0;
}
