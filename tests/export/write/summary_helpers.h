// What the tests of the summaries share: rendering a writer, the baseline,
// and reports of failing tests made to measure.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "export/export_helpers.h"
#include "export/model/compare.h"
#include "export/write/writers.h"

namespace summary_helpers {

using Writer = void (*)(OutBuffer&, const TestRun&);

inline std::string render(Writer write, const TestRun& r) {
  return out_capture([&](OutBuffer& out) { write(out, r); });
}

// Compares r with the baseline at path, named as the summaries name it.
inline void compare_with(TestRun& r, const std::string& path, const char* name) {
  std::string error;
  ASSERT_EQ(compare_with_baseline(r, xrd_file(path.c_str()), name, error), 0) << error;
}

inline std::string attr(const std::string& text) {
  std::string s;
  for (char c : text) {
    if (c == '&')
      s += "&amp;";
    else if (c == '<')
      s += "&lt;";
    else if (c == '>')
      s += "&gt;";
    else if (c == '"')
      s += "&quot;";
    else if (c == '\n')
      s += "&#10;";
    else
      s += c;
  }
  return s;
}

// Driver D with `count` failing test cases, each with `checks` failed checks
// whose expressions are `length` bytes long.
inline std::string failing(size_t count, size_t checks, size_t length,
                           const std::string& name = "t") {
  std::string cases, expression(length, 'x');
  for (size_t i = 0; i < count; ++i) {
    std::string rows;
    for (size_t k = 0; k < checks; ++k)
      rows += "<ROW><CELL STYLE=\"Array Failed\"><LINK TARGET=\"D.java line " + std::to_string(k) +
              "\"><TEXT>" + expression + "</TEXT></LINK></CELL></ROW>";
    std::string n = count == 1 ? name : name + std::to_string(i);
    cases += "<DAZU:NODE name=\"" + attr(n) + "\" type=\"Test Case\" state=\"ko\"><TABLE>" + rows +
             "</TABLE></DAZU:NODE>";
  }
  return xrd_document("<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\">" + cases +
                      "</DAZU:NODE>");
}

}  // namespace summary_helpers
using namespace summary_helpers;
