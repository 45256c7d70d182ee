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

// The longest classname written: deeper nestings keep both ends around an
// ellipsis, so output stays linear in the report's size.
constexpr size_t JUNIT_CLASSNAME_MAX = 1024;
std::string junit_shorten(const std::string& classname);
// The same cut as offsets: text[0, head) and text[tail, n) are kept.
void junit_cut(const char* text, size_t n, size_t& head, size_t& tail);
