// Reader of the trace dynamic file (TDF). Placeholder until the reader lands.
#include "readers/jtdffile.h"

#include <cstdio>

int tdf_read(const char* path) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return -1;
  std::fclose(f);
  return 0;
}
