// Several reports of one test run split across machines, merged into one
// report that every writer takes as it takes a single one.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "export/xrd_read.h"

// Merges parts (read from the files names[i], as given on the command line)
// into out, which then owns them. Each part becomes a top-level section of
// type kXrdReportType named by its file, ko when any of its tests failed, ok
// when one ran, else not executed; its sections nest below it. The Passed,
// Failed and Total rows are the parts' sums; the other information rows are
// those every part has with the same value, in the first part's order. Banner
// and information title come from the first part. Linear in the parts' sizes.
void xrd_merge(std::vector<std::unique_ptr<XrdReport>> parts, const std::vector<std::string>& names,
               XrdReport& out);
