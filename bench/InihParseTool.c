/* The same job as ini_parse_tool, done with inih (benchmark only):
 *   inih_parse_tool FILE SECTION KEY [REPEAT]
 * inih streams the file to a handler; a reader that answers lookups keeps the
 * four values it is asked for, as a caller of inih would. */
#include <ini.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>

struct Wanted {
  const char* section;
  const char* key;
  char value[1025];
  int found;
};

static int Handler(void* user, const char* section, const char* name, const char* value) {
  struct Wanted* w = (struct Wanted*)user;
  for (int i = 0; i < 4; ++i) {
    if (!w[i].found && strcasecmp(section, w[i].section) == 0 && strcasecmp(name, w[i].key) == 0) {
      snprintf(w[i].value, sizeof w[i].value, "%s", value);
      w[i].found = 1;
    }
  }
  return 1;
}

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: %s FILE SECTION KEY [REPEAT]\n", argv[0]);
    return 2;
  }
  const int repeat = argc > 4 ? atoi(argv[4]) : 1;
  struct Wanted w[4];
  struct timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  for (int i = 0; i < repeat; ++i) {
    memset(w, 0, sizeof w);
    w[0].section = "Section0000", w[0].key = "key00";
    w[1].section = "Section0000", w[1].key = "key39";
    w[2].section = argv[2], w[2].key = "key00";
    w[3].section = argv[2], w[3].key = argv[3];
    if (ini_parse(argv[1], Handler, w) != 0) return 1;
  }
  clock_gettime(CLOCK_MONOTONIC, &t1);
  for (int i = 0; i < 4; ++i)
    if (!w[i].found) return 1;
  printf("%s\n", w[3].value);
  if (repeat > 1)
    printf("in-process: %.3f ms per open\n",
           ((t1.tv_sec - t0.tv_sec) * 1e3 + (t1.tv_nsec - t0.tv_nsec) / 1e6) / repeat);
  return 0;
}
