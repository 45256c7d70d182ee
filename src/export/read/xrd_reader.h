// The one reader of XRD reports: streams a report's XML (the bytes pass once,
// block by block, through the repairs and the parser) into a test run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "export/model/test_run.h"

// Where a report's bytes come from: a file, or bytes in memory.
struct XrdSource {
  const char* path = nullptr;   // the file, when bytes is null
  const char* bytes = nullptr;  // bytes in memory, kept by the caller
  size_t size = 0;
};
inline XrdSource xrd_file(const char* path) {
  XrdSource s;
  s.path = path;
  return s;
}
inline XrdSource xrd_bytes(const char* bytes, size_t size) {
  XrdSource s;
  s.bytes = bytes ? bytes : "";
  s.size = size;
  return s;
}

// What a report says of itself, outside its tests.
struct ReportFacts {
  std::string title;      // DOCUMENT TITLE
  std::string test_node;  // from the DOCUMENT TAG; "" when none
  std::string info_anchor, info_title;
  std::vector<std::string> banner;
  std::vector<InfoRow> info;
  TestCounts counted;  // its tests by state
};

// How much of the report a run needs: everything, or the tree of tests with
// their names and states only (what a baseline is compared by).
enum XrdDetail : uint8_t { XRD_WHOLE, XRD_TREE };

// Reads a report into run: its nodes go at the end, below node `parent` (-1:
// at the top), with their check tables unless XRD_TREE; facts gets the rest.
// 0, or -1 with a one-line reason in error (the file's name is not part of
// it); after a failure the run holds what it held before.
int xrd_read(XrdSource source, TestRun& run, int32_t parent, XrdDetail detail, ReportFacts& facts,
             std::string& error);

// The Passed, Failed and Total rows of facts, when all three hold numbers.
bool xrd_stated_totals(const ReportFacts& facts, Totals& totals);
