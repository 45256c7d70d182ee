// Writing one output file whole or not at all.
#include "export/model/output_file.h"

#include <cstring>

int write_output(const char* path, bool append, const std::function<void(OutBuffer&)>& write,
                 std::string& error) {
  OutBuffer out;
  if (!out_open_file(out, path, append)) {
    error = std::string("cannot create: ") + std::strerror(out.error);
    return -1;
  }
  write(out);
  if (!out_close(out)) {
    error = std::string("cannot write: ") + std::strerror(out.error);
    return -1;
  }
  return 0;
}
