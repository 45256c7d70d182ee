// The CI outputs that place failed checks on source lines: GitHub workflow
// commands, the GitLab Code Quality report, and the source snippets.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "export/export_helpers.h"
#include "export/model/compare.h"
#include "export/read/source_snippets.h"
#include "export/write/writers.h"

namespace {

struct Check {
  std::string expression, target;
};

// Driver D with one failing test case per entry, named as given, each with
// its failed checks.
std::string report(const std::vector<std::pair<std::string, std::vector<Check>>>& tests) {
  std::string cases;
  for (const auto& [name, checks] : tests) {
    std::string rows;
    for (const Check& c : checks)
      rows += "<ROW><CELL STYLE=\"Array Failed\"><LINK TARGET=\"" + c.target + "\"><TEXT>" +
              c.expression + "</TEXT></LINK></CELL></ROW>";
    cases += "<DAZU:NODE name=\"" + name + "\" type=\"Test Case\" state=\"ko\"><TABLE>" + rows +
             "</TABLE></DAZU:NODE>";
  }
  return xrd_document("<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\">" + cases +
                      "</DAZU:NODE>");
}

template <class Write>
std::string render(Write write) {
  return out_capture(write);
}

TEST(GithubAnnotations, OneErrorPerFailedTestAtItsFirstFailedCheck) {
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::vector<Check>>> tests;
    std::string expected;
  } cases[] = {
      {"first of several checks",
       {{"t", {{"a == 1", "T.java line 35"}, {"b", "T.java line 40"}}}},
       "::error file=T.java,line=35,title=D/t::a == 1 at T.java:35 (and 1 more failed check)\n"},
      {"properties and data escaped",
       {{"a:b,c%", {{"x%y&#13;&#10;z:,", "F,1:2.java line 7"}}}},
       "::error file=F%2C1%3A2.java,line=7,title=D/a%3Ab%2Cc%25::x%25y%0D%0Az:, at F,1:2.java:7\n"},
      {"no line",
       {{"t", {{"e", "T.java line x"}}}},
       "::error file=T.java,title=D/t::e at T.java line x\n"},
      {"no check of its own",
       {{"t", {}}},
       "::error title=D/t::failed with no failed check of its own\n"},
  };
  for (const auto& c : cases) {
    TestRun r;
    std::string error;
    ASSERT_EQ(parse_text(report(c.tests), r, error), 0) << error;
    EXPECT_EQ(render([&](OutBuffer& o) { github_annotations(o, r, "see x.html"); }), c.expected)
        << c.what;
  }
}

// GitHub shows 10 errors a step: the new failures since the baseline come
// first, and one notice says how many more failed and where to read them.
TEST(GithubAnnotations, TenErrorsNewFailuresFirstThenANotice) {
  std::vector<std::pair<std::string, std::vector<Check>>> now, before;
  for (int i = 0; i < 14; ++i) {
    now.push_back({"t" + std::to_string(i), {{"x", "T.java line 1"}}});
    if (i < 12) before.push_back(now.back());
  }
  TestRun r;
  std::string error;
  ASSERT_EQ(parse_text(report(now), r, error), 0) << error;
  const std::string base = report(before);
  ASSERT_EQ(compare_with_baseline(r, xrd_bytes(base.data(), base.size()), "old.xrd", error), 0);
  const std::string got = render([&](OutBuffer& o) { github_annotations(o, r, "see x.html"); });
  size_t errors = 0;
  for (size_t at = got.find("::error "); at != std::string::npos; at = got.find("::error ", at + 1))
    ++errors;
  EXPECT_EQ(errors, kGithubErrors);
  EXPECT_EQ(got.rfind("::error file=T.java,line=1,title=D/t12::", 0), 0u) << got;
  EXPECT_NE(got.find("title=D/t13::"), std::string::npos);
  EXPECT_NE(got.find("\n::notice::4 more tests failed (GitHub shows 10 annotations a step): see "
                     "x.html\n"),
            std::string::npos)
      << got;
}

// Fields GitLab reads; a fingerprint follows the test and the expression,
// not the line, and two identical failed checks of one test still differ.
TEST(CodeQuality, IssuesWithStableUniqueFingerprints) {
  auto fingerprints = [](const std::string& xrd, std::string& json) {
    TestRun r;
    std::string error;
    EXPECT_EQ(parse_text(xrd, r, error), 0) << error;
    json = render([&](OutBuffer& o) { code_quality(o, r); });
    std::vector<std::string> found;
    for (size_t at = json.find("\"fingerprint\": \""); at != std::string::npos;
         at = json.find("\"fingerprint\": \"", at + 1))
      found.push_back(json.substr(at + 16, 32));
    return found;
  };
  std::string json, moved_json;
  const auto first = fingerprints(
      report({{"t", {{"a", "T.java line 3"}, {"a", "T.java line 3"}, {"b", "T.java line 4"}}},
              {"u", {{"a", "T.java line 3"}}}}),
      json);
  const auto moved = fingerprints(
      report({{"t", {{"a", "T.java line 9"}, {"a", "T.java line 9"}, {"b", "T.java line 4"}}},
              {"u", {{"a", "T.java line 3"}}}}),
      moved_json);
  ASSERT_EQ(first.size(), 4u) << json;
  EXPECT_EQ(std::set<std::string>(first.begin(), first.end()).size(), 4u) << json;
  EXPECT_EQ(first, moved);
  EXPECT_EQ(json.rfind("[\n  {\"description\": \"Failed check a in D/t\", \"check_name\": "
                       "\"tallyrep-failed-check\", \"fingerprint\": \"",
                       0),
            0u)
      << json;
  EXPECT_NE(json.find("\"severity\": \"major\", \"location\": {\"path\": \"T.java\", \"lines\": "
                      "{\"begin\": 3}}}"),
            std::string::npos)
      << json;
}

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
    ASSERT_EQ(parse_text(report({{"t", {{"e", c.target}}}}), r, error), 0) << error;
    const std::string line = c.line;
    const std::string annotations = render([&](OutBuffer& o) { github_annotations(o, r, ""); });
    const std::string quality = render([&](OutBuffer& o) { code_quality(o, r); });
    const std::string json = render([&](OutBuffer& o) { json_summary(o, r); });
    const std::string junit = render([&](OutBuffer& o) { junit_document(o, r, true); });
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
    ASSERT_EQ(parse_text(report({{"t", {{"a&lt;b", c.target}}}}), r, error), 0) << error;
    r.source_root = root;
    snippets_read(r);
    ASSERT_EQ(r.snippets.size(), c.lines.empty() ? 0u : 1u) << c.what;
    const std::string md = render([&](OutBuffer& o) { markdown_summary(o, r); });
    const std::string page = render([&](OutBuffer& o) { html_page(o, r); });
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
