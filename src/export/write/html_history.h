// The history of runs on the page: the trend of the kept runs in the plain
// part, each test's strip of its last outcomes, and what the script needs of both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/out_buffer.h"
#include "export/model/test_run.h"

// A strip shows a test's outcomes in this many of the newest runs at most.
constexpr size_t kStripRuns = 10;

// The trend of passed, failed and not-run tests over the kept runs: an
// inline SVG drawn by presentation attributes (it reads with the style sheet
// blocked), one bar per run with its label as a tooltip, its first and last
// labels and a legend as text below.
void html_trend(OutBuffer& out, const TestRun& run);

// Node i's strip, a test of the run: one mark per run (passed, failed, not
// run, or absent from the run), oldest first, named for screen readers
// ("last 3 runs, oldest first: passed 2 times, failed"), then the history's
// words for the test when it has some.
void html_strip(OutBuffer& out, const TestRun& run, uint32_t i);
// The strip's name for test `test` over its newest `last` runs.
std::string strip_name(const History& h, uint32_t test, size_t last);

// The history as the page's data holds it: the runs a strip shows, per node
// its strip (0 for no test, else 1 + its outcomes, oldest in the low bits,
// two bits a run) and its words (0 for none, else 1 + the index into
// `words`, each text once).
struct PageHistory {
  uint32_t runs = 0;
  std::vector<uint32_t> strips, words_of;
  std::vector<std::string> words;
};
PageHistory page_history(const TestRun& run);
