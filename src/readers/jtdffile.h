// Reader of the trace dynamic file (TDF): binds runs to drivers and records outcomes.
#pragma once

// Reads the TDF file at `path` and merges it into the model. 0 when read to
// its end, -1 when the file cannot be opened (a directory cannot).
int tdf_read(const char* path);
