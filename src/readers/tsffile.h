// Reader of trace static files (TSF): declares test drivers and their nodes in the model.
#pragma once

#include <cstdint>

// Reads the TSF file at `path` into the model, numbering its test drivers from
// *driver_counter on and advancing it. 0 when read to its end, -1 when the file
// cannot be opened (a directory cannot).
int tsf_read(const char* path, int32_t* driver_counter);
