// The source lines around failed checks, read from the checkout the tests'
// sources are in, for the page and the Markdown summary to show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "export/model/test_run.h"

// Fills run.snippets from the files below run.source_root (nothing when it is
// ""). Each file is read once, up to the last line asked of it, through
// source_file_open: a file that is missing or unreadable, or lacks the line,
// gives no snippet and no error; one it refuses gives none either, and the
// returned warning (else "") counts those by reason in one line.
std::string snippets_read(TestRun& run);
