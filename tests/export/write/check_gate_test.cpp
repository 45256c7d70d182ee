// The gate of --check and --check=new: its exit statuses and the lines that
// say why it fails, as the program gives them.
#include <gtest/gtest.h>

#include "export/export_helpers.h"

namespace {

const std::string kBin = TALLYREP_EXPORT_BIN;

// --check gates a CI job on the reports, with one line saying why it fails;
// failures to read or write still win, and the outputs are written before a
// failed test ends the run.
TEST(CheckGate, ExitStatusAndLines) {
  std::string out = scratch("checked.xml");
  const char* const failed_a = "tallyrep-export: check: 1 test failed (the first: DriverA/S/two)\n";
  const struct {
    const char* args;  // in the fixtures' folder, OUT for a scratch output
    int status;
    const char* err;  // null: the one line of a file that could not be read or written
  } cases[] = {
      {"merge_b.xrd --check", 0, ""},
      {"merge_a.xrd --check", 3, failed_a},
      {"merge_empty.xrd --check", 4,
       "tallyrep-export: check: no test ran (none passed or failed)\n"},
      {"merge_b.xrd merge_empty.xrd --check", 0, ""},
      {"merge_empty.xrd merge_a.xrd --check", 3, failed_a},
      {"merge_a.xrd --junit OUT", 0, ""},  // no gate without --check
      {"merge_a.xrd --check --junit /no/such/dir/x.xml", 1, nullptr},
      {"merge_empty.xrd --check --baseline missing.xrd", 1, nullptr},
      {"merge_a.xrd --check --baseline merge_b.xrd --json OUT", 3, failed_a},
      // --check=new: only what did not fail in the previous run.
      {"merge_a.xrd --check=new --baseline merge_a.xrd", 0, ""},
      {"merge_a.xrd --check=new --baseline merge_b.xrd", 3,
       "tallyrep-export: check: 1 test failed that did not fail before:\n  DriverA/S/two\n"},
      {"summary_new.xrd --check=new --baseline summary_base.xrd", 3,
       "tallyrep-export: check: 2 tests failed that did not fail before, besides 1 that did or "
       "is flaky:\n  D/S/a\n  D/S/brand\n"},
      {"merge_empty.xrd --check=new --baseline merge_a.xrd", 4,
       "tallyrep-export: check: no test ran (none passed or failed)\n"},
  };
  for (const auto& c : cases) {
    std::remove(out.c_str());
    std::string args = c.args;
    size_t at = args.find("OUT");
    if (at != std::string::npos) args.replace(at, 3, out);
    ProgramResult r = run("cd " + fixture("") + " && " + kBin + " " + args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    if (c.err)
      EXPECT_EQ(r.err, c.err) << c.args;
    else
      EXPECT_EQ(r.err.rfind("tallyrep-export: error: ", 0), 0u) << c.args << "\n" << r.err;
    if (at == std::string::npos) continue;
    EXPECT_NE(read_file(out), "") << c.args;
  }
  // With a history, the previous run is the history's newest: a failure is
  // new the first time only.
  const std::string history = scratch("checked.history");
  std::remove(history.c_str());
  for (int status : {3, 0}) {
    ProgramResult r =
        run(kBin + " " + fixture("merge_a.xrd") + " --history " + history + " --check=new");
    EXPECT_EQ(r.status, status) << r.err;
  }
  // Totals rows that say less than the tests (a report edited by hand) do not
  // pass a failed test.
  std::string edited = read_file(fixture("merge_b.xrd"));
  edited.replace(edited.find("state=\"ok\" sum=\"1\""), 10, "state=\"ko\"");
  write_file(scratch("edited.xrd"), edited);
  ProgramResult r = run(kBin + " " + scratch("edited.xrd") + " --check");
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "tallyrep-export: check: 1 test failed (the first: DriverB/S/three)\n");
}

}  // namespace
