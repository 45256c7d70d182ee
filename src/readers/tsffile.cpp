// Reader of trace static files (TSF). Placeholder until the reader lands.
#include "readers/tsffile.h"

#include <cstdio>

int tsf_read(const char* path, int32_t* driver_counter) {
  (void)driver_counter;
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return -1;
  std::fclose(f);
  return 0;
}
