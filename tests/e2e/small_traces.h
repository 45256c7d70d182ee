// The banner every run prints and one small pair of traces, shared by the
// end-to-end tests of the report file and of faulty inputs.
#pragma once

#include <cstdio>
#include <string>
#include <utility>

namespace e2e {

inline const char kBanner[] =
    "Kestrel(R) Proofline Java Test Report Generator 2002.05.21.468.004\n"
    "Copyright (C) 2002-2026 Kestrel Software. All rights reserved.\n";
// One driver (words 1 and 2) with a test case and a check that the TDF passes.
inline const char kTsf[] =
    "SO \"Demo.java\"\nIN \"File\" 1 \"Demo\"\nID 1 2\nIN \"TestCase\" a \"Case1\"\n"
    "LK 42\nTX 12 \"x == 1\"\nED \n";
inline const char kTdf[] = "SF 5 1 2\nNI a 1\nST 96\nNO c \"ok\"\n";

// A TSF and TDF pair with one test case of `checks` checks, every
// `fail_every`-th failed (0: none). 200,000 checks make a report of 30 MB,
// for runs that are stopped half-way through it.
inline std::pair<std::string, std::string> many_checks(int checks = 200000, int fail_every = 0) {
  std::string tsf = "SO \"Big.java\"\nIN \"File\" 1 \"Big\"\nID 1 2\nIN \"TestCase\" 2 \"c\"\n";
  std::string tdf = "SF 5 1 2\nNI 2 1\n";
  char line[64];
  for (int i = 0; i < checks; ++i) {
    std::snprintf(line, sizeof line, "TX %d \"check number %d\"\n", i + 3, i);
    tsf += line;
    const bool failed = fail_every && i % fail_every == 0;
    std::snprintf(line, sizeof line, "GL %s %x\n", failed ? "97" : "96", i + 3);
    tdf += line;
  }
  return {tsf + "ED \n", tdf};
}

}  // namespace e2e
