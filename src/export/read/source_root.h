// Naming source files by their paths in a checkout: the reports name a file
// as the harness saw it (often a bare CalcTest.java), annotations want the
// path below the repository's root (src/test/java/CalcTest.java).
#pragma once

#include <string>
#include <string_view>

#include "export/model/test_run.h"

// Fills run.source_root and run.file_paths from one walk of the folder root:
// a name that is a path of a file below root stays; else the one file below
// root of the name's base name gives its path; a name with no such file, or
// with several, stays as the report gives it, and `warning` (else empty) is
// the one line that says which. Symbolic links to files count as files; links
// to folders, and names that start with '.', are not entered. Linear in the files below
// root. 0, or -1 with the reason in error when root is no folder that can be read.
int source_root_map(TestRun& run, const char* root, std::string& warning, std::string& error);
