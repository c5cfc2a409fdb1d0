// Version numbers read from folder names: the inventory's reader against
// the reference reading of the same text, and the folder names the product
// itself writes read back as the numbers they were written from.
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "inventory/VersionFolder.h"

namespace {

struct Parsed {
  int v[4] = {-7, -7, -7, -7};  // anything the reader forgets to set shows
  bool operator==(const Parsed& o) const { return std::memcmp(v, o.v, sizeof v) == 0; }
};

Parsed Library(const std::string& path) {
  Parsed p;
  QoParseVersionStr(path.c_str(), &p.v[0], &p.v[1], &p.v[2], &p.v[3]);
  return p;
}

Parsed Reference(const std::string& path) {
  Parsed p;
  kvxfuzz::ReferenceVersion(path, p.v);
  return p;
}

Parsed Of(int a, int b, int c, int d) {
  Parsed p;
  p.v[0] = a;
  p.v[1] = b;
  p.v[2] = c;
  p.v[3] = d;
  return p;
}

std::string Format(const char* fmt, int a, int b = 0, int c = 0, int d = 0) {
  char name[128];
  std::snprintf(name, sizeof name, fmt, a, b, c, d);
  return name;
}

// Names as the product writes them, each read back whole.
void CheckWrittenNames(const std::uint8_t* data) {
  int n[4];
  std::memcpy(n, data, sizeof n);
  FUZZ_CHECK(Library(Format("/opt/kvx/program/V%d.%d.%d.%d", n[0], n[1], n[2], n[3])) ==
             Of(n[0], n[1], n[2], n[3]));
  FUZZ_CHECK(Library(Format("/opt/kvx/program/V5.8.0.%d/", n[3])) == Of(5, 8, 0, n[3]));
  FUZZ_CHECK(Library(Format("engine\\alder\\V%d.%03d.%d", n[0], n[1], n[3])) ==
             Of(n[0], n[1], 0, n[3]));
  FUZZ_CHECK(Library(Format("hotfix/B%d", n[0])) == Of(n[0], 0, 0, 0));
}

}  // namespace

KVX_FUZZ_TARGET(VersionStr) {
  const std::string path =
      kvxfuzz::AsCString(std::string(reinterpret_cast<const char*>(data), size));
  FUZZ_CHECK(Library(path) == Reference(path));
  FUZZ_CHECK(Library(path + "/") == Reference(path + "/"));
  if (size >= 4 * sizeof(int)) CheckWrittenNames(data);
  return 0;
}
