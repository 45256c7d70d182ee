// The test run of the reports given: one is the run as it is; several (a run
// split across machines) are merged, each a node of its own named by its file.
//
// The layer export/read: the run's inputs into the model. Reports and the
// baseline stream through xrd_reader.h (never held whole, any bytes
// tolerated, a refusal one line); source_root.h and source_snippets.h read a
// checkout that is the code under test, through source_file.h alone. Each
// call owns only its own state; what it reads is copied into the run.
#pragma once

#include <string>
#include <vector>

#include "export/model/test_run.h"
#include "export/read/xrd_reader.h"

// Reads reports[k] under the name names[k] into run. 0, or -1 with the
// reason in error and `failed` the report that could not be read. While a
// report is read, *reading (when given) is its name, for a refusal of memory
// that may end the run after run_read has returned.
//
// Merged, the reports are read in the byte order of their names, so that the
// run does not depend on the order they were given in, and each becomes a
// top-level node of type "Report": failed when any of its tests failed, passed
// when one ran, else not executed. Every node keeps the path it has in its own
// report, so that shards that ran different tests of one driver name them as
// an unsplit run does; only a test whose path a report with an earlier name
// holds too goes by " (2)", " (3)"... (TestNode::twin) in the later one. The
// run's totals are the reports' summed; its other information rows are those
// every report has with the same value, in the first report's order; its
// banner and information title are the first report's. Linear in the
// reports' sizes.
int run_read(const std::vector<XrdSource>& reports, const std::vector<const char*>& names,
             TestRun& run, const char** reading, size_t& failed, std::string& error);

// Reads the baseline (its tree of tests only) and compares run with it
// (compare_runs); `name` is how the outputs name the baseline. 0, or -1 with
// the reason in error. Linear in the sizes of both.
int compare_with_baseline(TestRun& run, XrdSource baseline, const std::string& name,
                          std::string& error);
