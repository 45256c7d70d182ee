// The banner every run prints and one small pair of traces, shared by the
// end-to-end tests of the report file and of faulty inputs.
#pragma once

namespace e2e {

inline const char kBanner[] =
    "Kestrel(R) Proofline Java Test Report Generator 2002.05.21.468.004\n"
    "Copyright (C) 2002-2026 Kestrel Software. All rights reserved.\n";
// One driver (words 1 and 2) with a test case and a check that the TDF passes.
inline const char kTsf[] =
    "SO \"Demo.java\"\nIN \"File\" 1 \"Demo\"\nID 1 2\nIN \"TestCase\" a \"Case1\"\n"
    "LK 42\nTX 12 \"x == 1\"\nED \n";
inline const char kTdf[] = "SF 5 1 2\nNI a 1\nST 96\nNO c \"ok\"\n";

}  // namespace e2e
