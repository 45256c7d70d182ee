// Short summaries of a report: Markdown for CI job pages, JSON for scripts;
// both optionally with the changes since a baseline.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/out_buffer.h"
#include "export/compare.h"
#include "export/test_paths.h"
#include "export/xrd_read.h"
#include "export/xrd_vocabulary.h"

// The Markdown summary is read on job pages that refuse more than 1 MiB, and
// that render long tables slowly: every list stops at a number of entries or
// at a byte budget, whichever comes first, so that the whole stays under
// 512 KiB. Each text is cut to a length a table cell still shows.
constexpr std::size_t kMarkdownBudget = std::size_t{500} << 10;
constexpr std::size_t kMarkdownRows = 500;
constexpr std::size_t kMarkdownChecks = 5;
constexpr std::size_t kMarkdownText = 300;

// The JSON summary's layout version: raised when a key changes meaning or goes.
constexpr int kSummarySchema = 1;

// changes is nullptr when no baseline was given.
void markdown_summary(OutBuffer& out, const XrdReport& report, const Comparison* changes);
void json_summary(OutBuffer& out, const XrdReport& report, const Comparison* changes);

// Write to path ("-" is standard output), the Markdown one added at the end of
// an existing file when append is set; 0, or -1 with the reason in error.
int markdown_write(const XrdReport& report, const Comparison* changes, const char* path,
                   bool append, std::string& error);
int json_write(const XrdReport& report, const Comparison* changes, const char* path,
               std::string& error);

// Shared by both summaries.
//
// Opens path as the two writers above do, runs write, closes.
int summary_write(const char* path, bool append, const XrdReport& report, const Comparison* changes,
                  void (*write)(OutBuffer&, const XrdReport&, const Comparison*),
                  std::string& error);
//
// A driver is a top-level section, or one directly below a section that stands
// for a merged report. Each section's driver, -1 for the merged reports' own.
inline std::vector<int32_t> summary_drivers(const XrdReport& r) {
  std::vector<int32_t> driver(r.sections.size(), -1);
  for (uint32_t i = 0; i < r.sections.size(); ++i) {
    const XrdSection& s = r.sections[i];
    if (s.parent < 0) {
      if (std::strcmp(s.type, kXrdReportType) != 0) driver[i] = static_cast<int32_t>(i);
    } else if (driver[static_cast<size_t>(s.parent)] < 0) {
      driver[i] = static_cast<int32_t>(i);  // below a merged report's section
    } else {
      driver[i] = driver[static_cast<size_t>(s.parent)];
    }
  }
  return driver;
}
