// Writing one output of the exporter: through the buffered writer, to a
// temporary that replaces the file only once it is whole.
#pragma once

#include <functional>
#include <string>

#include "base/out_buffer.h"

// Writes the file at `path` with `write` (at its end with `append`); 0, or -1
// with the reason in `error` (an old file is then left as it was).
int write_output(const char* path, bool append, const std::function<void(OutBuffer&)>& write,
                 std::string& error);
