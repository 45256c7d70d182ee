// The report as JUnit XML for CI servers: one testsuite per test driver, one
// testcase per Test Case, Proc and Stub section.
#pragma once

#include <string>

#include "export/escape.h"
#include "export/xrd_read.h"

// Writes the JUnit file to path; 0, or -1 with the reason in error.
int junit_write(const XrdReport& report, const char* path, std::string& error);
// Writes the JUnit XML to an open output.
void junit_document(OutBuffer& out, const XrdReport& report);
