// Writer of the XML results report (XRD): the document frame, the information
// section and one block per reported test driver.
#pragma once

#include <ctime>
#include <string>

#include "model/tree.h"
#include "report/driver_block.h"

// Writes the report for the current model to `xrd_path`. 0 when written and
// closed; -1 when the file cannot be created or any write fails.
int report_write(const char* xrd_path);
// The same, showing `generation_time` instead of the clock's time.
int report_write_at(const char* xrd_path, const std::string& generation_time);

// The whole document for the current model into the writer, the header file
// read for its information section. `xrd_path` is the name the report shows.
void report_write_document(ReportWriter& w, const char* xrd_path);

// Sets both totals to 0 and adds the tests of every reported driver.
void count_all_verdicts(int* passed, int* failed);
// Adds the passed and failed tests (Test Case, Proc, Stub) of a node, its
// descendants and its later siblings with their descendants.
void count_verdicts(const TraceNode* node, int* passed, int* failed);

// The 24-character date text, e.g. "Sun Dec 06 17:57:11 2026".
std::string generation_time_text(const std::tm& when);
// generation_time_text of the clock's time now, in local time.
std::string generation_time_now();
