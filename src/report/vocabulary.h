// The words of the results report that its readers act on: cell styles, state
// and status words, the totals' labels and the check table's heads. The report
// writer spells them from here, and the exporters read them back from here.
#pragma once

// A cell's style; the number indexes kStyleNames.
enum ReportStyle : int { STYLE_HEADING = 0, STYLE_PLAIN = 1, STYLE_FAILED = 2, STYLE_PASSED = 3 };
constexpr const char* const kStyleNames[4] = {"Array Title", "Array", "Array Failed",
                                              "Array Passed"};

// The browse-tree state of a node that failed or passed ("NE" otherwise).
constexpr const char* kStateKo = "ko";
constexpr const char* kStateOk = "ok";
// Status words of check tables, and the labels of the report's totals.
constexpr const char* kWordFailed = "Failed";
constexpr const char* kWordPassed = "Passed";
constexpr const char* kWordTotal = "Total";
// The label of the information row that says when the report was written.
constexpr const char* kWordGenerationTime = "Generation Time";
// The heads of a check table.
constexpr const char* const kCheckHeads[5] = {"Expression", "Status", "Executed", "Failed",
                                              "Passed"};
