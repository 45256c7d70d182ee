// The Markdown summary, and what it shares with the JSON one: golden files,
// the caps of its lists, its budget, crafted names and appending.
#include <fcntl.h>
#include <gtest/gtest.h>

#include "export/export_helpers.h"
#include "export/model/compare.h"
#include "export/model/test_paths.h"
#include "export/write/summary_helpers.h"
#include "export/write/writers.h"

namespace {

TEST(Summary, MatchesGoldenFiles) {
  const std::string calc = std::string(TALLYREP_SOURCE_DIR) + "/examples/calc.xrd";
  const struct {
    std::string report, baseline;
    Writer write;
    const char* golden;
  } cases[] = {
      {calc, "", markdown_summary, "calc.summary.md"},
      {calc, "", json_summary, "calc.summary.json"},
      {fixture("summary_new.xrd"), fixture("summary_base.xrd"), markdown_summary,
       "summary_changes.summary.md"},
      {fixture("summary_new.xrd"), fixture("summary_base.xrd"), json_summary,
       "summary_changes.summary.json"},
  };
  for (const auto& c : cases) {
    TestRun r;
    std::string error;
    ASSERT_EQ(read_run(c.report, r, error), 0) << error;
    if (!c.baseline.empty()) compare_with(r, c.baseline, "summary_base.xrd");
    std::string got = render(c.write, r);
    if (std::getenv("TALLYREP_UPDATE_GOLDENS")) write_file(fixture(c.golden), got);
    EXPECT_EQ(got, read_file(fixture(c.golden))) << c.golden;
  }
}

// Merged reports hold their drivers one level down; both summaries name a
// driver by its path, which leaves the reports out and keeps the same driver
// of two reports apart as equal names are.
TEST(Summary, DriversOfMergedReports) {
  std::string body;
  for (const char* report : {"a.xrd", "b.xrd"})
    body += std::string("<DAZU:NODE name=\"") + report +
            "\" type=\"Report\" state=\"ko\"><DAZU:NODE name=\"D\" type=\"Test Driver\" "
            "state=\"ko\"><DAZU:NODE name=\"C\" type=\"Test Case\" state=\"ko\"/>"
            "</DAZU:NODE></DAZU:NODE>";
  TestRun r;
  std::string error;
  ASSERT_EQ(parse_text(xrd_document(body), r, error), 0) << error;
  const struct {
    Writer write;
    const char* expected;
  } cases[] = {
      {markdown_summary, "\n- D (2)/C\n  - _no failed check of its own_\n"},
      {json_summary,
       "{\"name\": \"D (2)\", \"path\": \"D (2)\", \"status\": \"failed\", "
       "\"counts\": {\"tests\": 1,"},
      {json_summary,
       "\"path\": \"D (2)/C\", \"name\": \"C\", \"type\": \"Test Case\", "
       "\"driver\": \"D (2)\""},
  };
  for (const auto& c : cases) {
    std::string got = render(c.write, r);
    EXPECT_NE(got.find(c.expected), std::string::npos) << c.expected << "\n" << got;
  }
}

// Every list stops at a number of entries or at the byte budget, says how many
// it left out, and the whole, "and N more" lines too, stays within the budget.
TEST(Summary, MarkdownCapsItsLists) {
  const struct {
    const char* what;
    size_t count, checks, length;
    bool compared;
    const char* more;
    size_t limit;
  } cases[] = {
      {"row limit", kMarkdownRows + 5, 1, 10, false, "_and 5 more failed test cases_\n",
       kMarkdownLimit},
      {"row limit of a change list", kMarkdownRows + 3, 1, 10, true, "\n\n_and 3 more_\n\n",
       kMarkdownLimit},
      {"byte budget", 400, 20, 400, false, " more failed test cases_\n", size_t{512} << 10},
      {"a comment's budget", 400, 20, 400, false, " more failed test cases_\n", 65536},
      {"the least budget, after a baseline", 400, 20, 400, true, " more failed test cases_\n",
       kMarkdownLimitLeast},
  };
  for (const auto& c : cases) {
    TestRun r;
    std::string error;
    ASSERT_EQ(parse_text(failing(c.count, c.checks, c.length), r, error), 0) << error;
    const std::string empty = xrd_document("");
    if (c.compared) {
      ASSERT_EQ(compare_with_baseline(r, xrd_bytes(empty.data(), empty.size()), "", error), 0);
    }
    std::string md;
    OutBuffer out;
    out_open_string(out, &md);
    markdown_summary(out, r, c.limit);
    out_close(out);
    EXPECT_LE(md.size(), c.limit) << c.what;
    EXPECT_NE(md.find(c.more), std::string::npos) << c.what << "\n" << md.substr(md.size() - 300);
    // Shown items and the number left out add up to all failed test cases.
    size_t rows = 0;
    for (size_t at = md.find("\n- D/", md.find("### Failed test cases")); at != std::string::npos;
         at = md.find("\n- D/", at + 1))
      ++rows;
    size_t more = md.rfind("_and ");
    EXPECT_EQ(rows + std::stoul(md.substr(more + 5)), c.count) << c.what;
    if (c.checks > kMarkdownChecks && rows > 0) {
      EXPECT_NE(md.find("\n  - _and " + std::to_string(c.checks - kMarkdownChecks) + " more_\n"),
                std::string::npos)
          << c.what;
    }
  }
}

// A crafted test name stays inside its cell as text: no new cell, row, tag,
// entity, link, emphasis or block.
#define Z "\xE2\x80\x8B"
TEST(Summary, MarkdownEscapesCraftedNames) {
  const struct {
    const char* name;
    const char* cell;
  } cases[] = {
      {"a|b", "a\\|b"},
      {"line\nbreak\r\there", "line break  here"},
      {"<img src=x onerror=alert(1)>", "&lt;img src=x onerror=alert(1)&gt;"},
      {"&lt; stays", "&amp;lt; stays"},
      {"`code`", "\\`code\\`"},
      {"**b** _e_ [l](http://x)", "\\*\\*b\\*\\* \\_e\\_ \\[l\\](http" Z "://x)"},
      {"$x$ ~s~ back\\slash", "\\$x\\$ \\~" Z "s\\~ back\\\\slash"},
      {"# not a heading", "#" Z " not a heading"},
      // Mentions, references and autolinks, broken by a zero-width space.
      {"@user @org/team a@b.example", "@" Z "user @" Z "org/team a@" Z "b.example"},
      {"#12 o/r#3 GH-4 gh-5 !6 ~l %m &8 $9",
       "#" Z "12 o/r#" Z "3 GH-" Z "4 gh-" Z "5 !" Z "6 \\~" Z "l %" Z "m &amp;" Z "8 \\$" Z "9"},
      {"see www.x.org, WWW.y and ftp://z", "see www" Z ".x.org, WWW" Z ".y and ftp" Z "://z"},
      {"wait! 100% GH- GH-x a:/b !x $y", "wait! 100% GH- GH-x a:/b !x \\$y"},
      // Every line break, in UTF-8 or as the Latin-1 byte of NEL.
      {"a\xC2\x85"
       "b\xE2\x80\xA8"
       "c\xE2\x80\xA9"
       "d\x85"
       "e",
       "a b c d e"},
      {"- not an item", "- not an item"},
      {"12. not a number", "12. not a number"},
      {"    not code", "    not code"},
  };
  for (const auto& c : cases) {
    TestRun r;
    std::string error;
    ASSERT_EQ(parse_text(failing(1, 1, 1, c.name), r, error), 0) << error;
    std::string md = render(markdown_summary, r);
    EXPECT_NE(md.find(std::string("\n- D/") + c.cell + "\n  - x at D.java:0\n"), std::string::npos)
        << c.name << "\n"
        << md;
  }
}

#undef Z

// A NUL is not one of the marks that open a block (strchr finds it in any list).
TEST(Summary, MarkdownTitleStartingWithANul) {
  TestRun r;
  std::string error;
  const std::string head = std::string("\0- x", 4) + "\" TAG=\" x0";
  ASSERT_EQ(parse_text(xrd_document("", head), r, error), 0) << error;
  const std::string md = render(markdown_summary, r);
  EXPECT_EQ(md.rfind("## Test report \xEF\xBF\xBD- x\n\n", 0), 0u) << md;
}

TEST(Summary, MarkdownWritesAppendsAndReportsFailures) {
  TestRun r;
  std::string error;
  ASSERT_EQ(read_run(fixture("worked.xrd"), r, error), 0) << error;
  const std::string md = render(markdown_summary, r);
  const std::string file = scratch("summary.md");
  const struct {
    const char* what;
    std::string path;
    bool append, to_stdout;
    std::string expected;  // the file afterwards, or the start of the error
  } cases[] = {
      {"replace", file, false, false, md},
      {"append", file, true, false, "before\n" + md},
      {"standard output keeps what came before", "-", false, true, "before\n" + md},
      {"missing folder", scratch("none/summary.md"), false, false, "cannot create: "},
      {"missing folder, append", scratch("none/summary.md"), true, false, "cannot create: "},
  };
  for (const auto& c : cases) {
    write_file(file, "before\n");
    error.clear();
    int saved = -1;
    if (c.to_stdout) {
      std::fflush(stdout);
      saved = ::dup(1);
      int fd = ::open(file.c_str(), O_WRONLY | O_APPEND);
      ::dup2(fd, 1);
      ::close(fd);
    }
    int status = write_as("--markdown", r, c.path, error, false, c.append);
    if (saved >= 0) {
      ::dup2(saved, 1);
      ::close(saved);
    }
    if (c.expected.rfind("cannot", 0) == 0) {
      EXPECT_EQ(status, -1) << c.what;
      EXPECT_EQ(error.rfind(c.expected, 0), 0u) << c.what << ": " << error;
    } else {
      EXPECT_EQ(status, 0) << c.what << ": " << error;
      EXPECT_EQ(read_file(file), c.expected) << c.what;
    }
  }
}

// The failed test cases are what the summary is for: a long list of tests
// still failing since the baseline leaves them room, and every list that has
// entries shows at least one, whatever the budget.
TEST(Summary, MarkdownBudgetGivesTheFailedTestsRoomFirst) {
  const auto report = [](int still, int fixed_state_ok, int fresh) {
    std::string cases;
    auto add = [&](const std::string& name, const char* state) {
      cases += "<DAZU:NODE name=\"" + name + std::string(60, 'n') +
               "\" type=\"Test Case\" state=\"" + state + "\"></DAZU:NODE>";
    };
    for (int i = 0; i < still; ++i) add("still" + std::to_string(i), "ko");
    for (int i = 0; i < 50; ++i) add("fixed" + std::to_string(i), fixed_state_ok ? "ok" : "ko");
    for (int i = 0; i < fresh; ++i) add("fresh" + std::to_string(i), "ko");
    return xrd_document("<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\">" + cases +
                        "</DAZU:NODE>");
  };
  TestRun now, before;
  std::string error;
  ASSERT_EQ(parse_text(report(1000, 1, 20), now, error), 0) << error;
  ASSERT_EQ(parse_text(report(1000, 0, 0), before, error), 0) << error;
  compare_runs(now, before, "base.xrd");
  for (size_t limit : {kMarkdownLimitLeast, size_t{65536}}) {
    const std::string md = out_capture([&](OutBuffer& o) { markdown_summary(o, now, limit); });
    EXPECT_LE(md.size(), limit);
    for (const char* heading :
         {"**New failures**", "**Fixed**", "**Still failing**", "### Failed test cases"}) {
      const size_t at = md.find(heading);
      ASSERT_NE(at, std::string::npos) << heading;
      EXPECT_EQ(md.compare(md.find("\n\n", at) + 2, 2, "- "), 0) << heading << " at " << limit;
    }
    // The failed list has more room than all the change lists together.
    const size_t failed = md.find("### Failed test cases");
    const size_t changes = md.find("**New failures**");
    EXPECT_GT(md.size() - failed, failed - changes) << limit;
  }
}

}  // namespace
