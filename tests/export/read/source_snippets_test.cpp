// The source lines around failed checks, read from below the source root, as
// the page and the Markdown summary show them.
#include "export/read/source_snippets.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "export/export_helpers.h"
#include "export/write/writers.h"

namespace {

// The lines around a failed check, read from below the source root.
TEST(SourceSnippets, PresentMissingCutAndEscaped) {
  const std::string root = scratch("src");
  ::mkdir(root.c_str(), 0777);
  std::string source;
  // Line 6 holds a carriage return, shown as a blank: no text draws a line.
  for (int i = 1; i <= 9; ++i) source += (i == 6 ? "line\r" : "line ") + std::to_string(i) + "\n";
  source += std::string(300, 'w') + "\r\n<b>&amp;\n";  // lines 10 and 11, no line end after 11
  write_file(root + "/T.java", source.substr(0, source.size() - 1));
  write_file(scratch("outside.java"), source);
  const struct {
    const char* what;
    std::string target;
    uint64_t first;
    std::vector<std::string> lines;
  } cases[] = {
      {"two lines around", "T.java line 5", 3, {"line 3", "line 4", "line 5", "line 6", "line 7"}},
      {"at the top", "T.java line 1", 1, {"line 1", "line 2", "line 3"}},
      {"at the end, a long line cut",
       "T.java line 11",
       9,
       {"line 9", std::string(200, 'w') + "\xE2\x80\xA6", "<b>&amp;"}},
      {"missing line", "T.java line 12", 0, {}},
      {"missing file", "None.java line 1", 0, {}},
      {"out of the root", "../outside.java line 1", 0, {}},
  };
  for (const auto& c : cases) {
    TestRun r;
    std::string error;
    ASSERT_EQ(parse_text(failing_report({{"t", {{"a&lt;b", c.target}}}}), r, error), 0) << error;
    r.source_root = root;
    snippets_read(r);
    ASSERT_EQ(r.snippets.size(), c.lines.empty() ? 0u : 1u) << c.what;
    const std::string md = out_capture([&](OutBuffer& o) { markdown_summary(o, r); });
    const std::string page = out_capture([&](OutBuffer& o) { html_page(o, r); });
    if (c.lines.empty()) {
      EXPECT_EQ(md.find("```"), std::string::npos) << c.what;
      EXPECT_EQ(page.find("<figure"), std::string::npos) << c.what;
      continue;
    }
    EXPECT_EQ(r.snippets[0].first, c.first) << c.what;
    EXPECT_EQ(r.snippets[0].lines, c.lines) << c.what;
    if (c.first == 9) {
      EXPECT_NE(md.find("\n    > 11 | <b>&amp;\n    ```\n"), std::string::npos) << md;
      EXPECT_NE(page.find("<mark>&gt; 11 | &lt;b&gt;&amp;amp;</mark>"), std::string::npos);
    }
  }
}

}  // namespace
