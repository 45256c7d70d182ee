// Where a failed check stands: every output that places it gives the same
// file and line.
#include "export/model/failed_checks.h"

#include <gtest/gtest.h>

#include <regex>

#include "export/export_helpers.h"
#include "export/write/writers.h"

namespace {

// Every output that places a failed check gives it the same file and line,
// however odd its link: a line that is no number, 0, or too long for 64 bits
// is no line. Code Quality wants a line and says 1 then.
TEST(CheckPlaces, EveryOutputGivesAFailedCheckTheSameFileAndLine) {
  const struct {
    const char* target;
    const char* line;  // "" when none
  } cases[] = {
      {"T.java line 35", "35"},
      {"T.java line x", ""},
      {"T.java line 0", ""},
      {"T.java line 123456789012345678901", ""},
  };
  auto find = [](const std::string& text, const std::string& pattern) {
    std::smatch m;
    return std::regex_search(text, m, std::regex(pattern)) ? m[1].str() : std::string("-");
  };
  for (const auto& c : cases) {
    TestRun r;
    std::string error;
    ASSERT_EQ(parse_text(failing_report({{"t", {{"e", c.target}}}}), r, error), 0) << error;
    const std::string line = c.line;
    const std::string annotations =
        out_capture([&](OutBuffer& o) { github_annotations(o, r, ""); });
    const std::string quality = out_capture([&](OutBuffer& o) { code_quality(o, r); });
    const std::string json = out_capture([&](OutBuffer& o) { json_summary(o, r); });
    const std::string junit = out_capture([&](OutBuffer& o) { junit_document(o, r, true); });
    EXPECT_EQ(find(annotations, "file=([^,]*),"), "T.java") << c.target;
    EXPECT_EQ(find(annotations, ",line=([0-9]+)"), line.empty() ? "-" : line) << c.target;
    EXPECT_EQ(find(quality, "\"path\": \"([^\"]*)\""), "T.java") << c.target;
    EXPECT_EQ(find(quality, "\"begin\": ([0-9]+)"), line.empty() ? "1" : line) << c.target;
    EXPECT_EQ(find(json, "\"file\": \"([^\"]*)\""), "T.java") << c.target;
    EXPECT_EQ(find(json, "\"file\": \"[^\"]*\", \"line\": ([0-9a-z]+)"),
              line.empty() ? "null" : line)
        << c.target;
    EXPECT_EQ(find(junit, "<testcase [^>]*file=\"([^\"]*)\""), "T.java") << c.target;
    EXPECT_EQ(find(junit, "<testcase [^>]*line=\"([^\"]*)\""), line.empty() ? "-" : line)
        << c.target;
  }
}

}  // namespace
