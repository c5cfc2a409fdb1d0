// Times the INI reader on one file:
//   ini_parse_tool FILE SECTION KEY [REPEAT]
// Opens FILE REPEAT times (default 1), each time looking up SECTION/KEY and
// three more keys of the first and last sections, and prints the value found
// and, with REPEAT > 1, the mean time of one open and its lookups.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "QoIniUtil.h"

namespace {

bool Lookup(QoIniReader& reader, const char* section, const char* key, char* value, int size) {
  int len = size;
  return reader.getValue(section, key, value, &len) == IDD_ERR_ZERO;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s FILE SECTION KEY [REPEAT]\n", argv[0]);
    return 2;
  }
  const int repeat = argc > 4 ? std::atoi(argv[4]) : 1;
  char value[kIddValueSize] = "";
  bool ok = true;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < repeat; ++i) {
    QoIniReader reader;
    if (reader.open(argv[1]) != IDD_ERR_ZERO) return 1;
    char other[kIddValueSize];
    ok = Lookup(reader, "Section0000", "key00", other, sizeof other) &&
         Lookup(reader, "Section0000", "key39", other, sizeof other) &&
         Lookup(reader, argv[2], "key00", other, sizeof other) &&
         Lookup(reader, argv[2], argv[3], value, sizeof value);
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  if (!ok) return 1;
  std::printf("%s\n", value);
  if (repeat > 1) std::printf("in-process: %.3f ms per open\n", took.count() * 1e3 / repeat);
  return 0;
}
