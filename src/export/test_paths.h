// What every output of the exporter says about one test in the same words:
// failed checks, source locations as File.java:35, and a name for each section
// that stays the same from run to run and is unique among its siblings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/xrd_read.h"

// A check row that failed: styled failed, or with "Failed" in its status cell.
bool xrd_is_failed_row(const XrdReport& report, const XrdRow& row);

// A LINK TARGET ("CalcTest.java line 35") as annotating tools read it
// ("CalcTest.java:35"); a target without a line number is kept as it is.
std::string xrd_location(const char* target);

// The name each section goes by in paths: its own name, with " (2)", " (3)"...
// after it when an earlier sibling has the same name, so that two sections
// never share a path. An empty name stands as the section's type.
std::vector<std::string> xrd_unique_names(const XrdReport& report);

// The path of names of section i, from its top-level entry down, joined by
// "/" (names as xrd_unique_names gives them).
std::string xrd_path(const XrdReport& report, const std::vector<std::string>& names, uint32_t i);
