// The HTML page: totals, the failed tests written out for pages without
// script, anchors, self-containment, the embedded data that the script reads,
// and texts that could break out of the page.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string_view>

#include "export/export_helpers.h"
#include "export/model/compare.h"
#include "export/model/test_paths.h"
#include "export/page_data_json.h"
#include "export/write/html_static.h"
#include "export/write/writers.h"

namespace {

std::string html_of(const std::string& xrd, TestRun& r) {
  std::string error, out = scratch("page.html");
  EXPECT_EQ(read_run(xrd, r, error), 0) << error;
  EXPECT_EQ(write_as("--html", r, out, error), 0) << error;
  return read_file(out);
}

// The page's data in the JSON layout the page once held it in.
std::string data_block(const std::string& page) {
  return page_data_json(page);
}

// Every byte sequence must be valid UTF-8 for the browser to show it as written.
bool valid_utf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

TEST(Html, TotalsComeFromTheInformationRowsOrFromTheTests) {
  TestRun r;
  std::string page = html_of(fixture("calc_like.xrd"), r);
  Totals t = run_totals(r);
  EXPECT_EQ(t.passed, 6u);
  EXPECT_EQ(t.failed, 1u);
  EXPECT_EQ(t.total, 7u);
  EXPECT_NE(page.find("<dd id=\"count-passed\">6</dd>"), std::string::npos);
  EXPECT_NE(page.find("<dd id=\"count-failed\">1</dd>"), std::string::npos);
  EXPECT_NE(page.find("<dd id=\"count-total\">7</dd>"), std::string::npos);
  EXPECT_NE(page.find("aria-label=\"6 passed, 1 failed\""), std::string::npos);

  // Without the rows the Test Case, Proc and Stub entries are counted.
  std::string body =
      "<DAZU:NODE name=\"T\" type=\"Test Driver\" state=\"ko\"><DAZU:NODE name=\"a\" type=\"Test "
      "Case\" state=\"ok\"/>"
      "<DAZU:NODE name=\"b\" type=\"Proc\" state=\"ko\"/><DAZU:NODE name=\"c\" type=\"Stub\" "
      "state=\"NE\"/>"
      "<DAZU:NODE name=\"d\" type=\"Test Suite\" state=\"ok\"/></DAZU:NODE>";
  TestRun bare;
  std::string error;
  ASSERT_EQ(parse_text(xrd_document(body), bare, error), 0) << error;
  Totals b = run_totals(bare);
  EXPECT_EQ(b.passed, 1u);
  EXPECT_EQ(b.failed, 1u);
  EXPECT_EQ(b.total, 2u);
}

TEST(Html, PageIsSelfContained) {
  TestRun r;
  std::string page = html_of(fixture("calc_like.xrd"), r);
  EXPECT_EQ(page.find("http://"), std::string::npos);
  EXPECT_EQ(page.find("https://"), std::string::npos);
  EXPECT_EQ(page.find(" src="), std::string::npos);
  EXPECT_EQ(page.find("<link"), std::string::npos);
  EXPECT_NE(page.find("default-src 'none'"), std::string::npos);
  EXPECT_NE(page.find("prefers-color-scheme:dark"), std::string::npos);
  EXPECT_NE(page.find("@media print"), std::string::npos);
}

TEST(Html, DataHoldsSectionsRowsAndInternedFiles) {
  TestRun r;
  std::string data = data_block(html_of(fixture("worked.xrd"), r));
  EXPECT_EQ(
      data,
      "{\"s\":[-1,0,1,2,\"D\",\"Test Driver D\",\"\",0,0,\"rootx3\"\n"
      ",0,1,1,2,\"S\",\"Test Suite S\",\"\",0,0,\"5\"\n"
      ",1,2,1,2,\"C\",\"Test Case C\",\"\",0,4,\"6\"\n"
      "],\n\"r\":[0,0,-1,\"\",5,\"Expression\",\"Status\",\"Executed\",\"Failed\",\"Passed\"\n"
      ",1,3,0,\"12\",5,\"x == 1\",\"Passed\",\"1\",\"0\",\"1\"\n"
      ",1,2,0,\"13\",5,\"y > 0\",\"Failed\",\"2\",\"1\",\"1\"\n"
      ",2,1,0,\"14\",2,\"trace\",\"(x2)\"\n"
      "],\n\"types\":[\"Test Driver\",\"Test Suite\",\"Test Case\"],\n\"files\":[\"Calc.java\"]}");
}

TEST(Html, ExampleDataMatchesItsGoldenFile) {
  TestRun r;
  std::string page = html_of(std::string(TALLYREP_SOURCE_DIR) + "/examples/calc.xrd", r);
  EXPECT_EQ(data_block(page), read_file(fixture("calc.data.json")));
  EXPECT_NE(page.find("<dd id=\"count-passed\">5</dd>"), std::string::npos);
  EXPECT_NE(page.find("<dd id=\"count-failed\">1</dd>"), std::string::npos);
  EXPECT_NE(page.find("<tr class=\"plain\"><th scope=\"row\">Report "
                      "File</th><td>build-release/demo/calc.xrd</td></tr>"),
            std::string::npos);
}

TEST(Html, HostileTextsStayText) {
  std::string body =
      "<DAZU:NODE name=\"&lt;/script&gt;&lt;b&gt;\xff\" type=\"Test Driver\" state=\"ok\">"
      "<SECTION TAG=\"rootx3\"><TITLE "
      "TAG=\"4\"><TEXT>&lt;/SCRIPT&gt;&#1;</TEXT></TITLE></SECTION></DAZU:NODE>";
  write_file(scratch("hostile.xrd"), xrd_document(body, "a\"<b>&amp;\xe9.xrd\" TAG=\"&lt;!--x0"));
  TestRun r;
  std::string page = html_of(scratch("hostile.xrd"), r);
  EXPECT_TRUE(valid_utf8(page));
  std::string data = data_block(page);
  EXPECT_EQ(data.find('<'), std::string::npos);
  // The page's data is base64, which holds no '<' to end its script early.
  const size_t from = page.find("class=\"xrd-data\">");
  EXPECT_EQ(page.find('<', from), page.find("</script>", from));
  EXPECT_NE(data.find("\"\\u003c/script>\\u003cb>\xc3\xbf\""), std::string::npos);
  EXPECT_NE(data.find("\\u003c/SCRIPT>\xEF\xBF\xBD"), std::string::npos);
  EXPECT_NE(page.find("<title>Test report: a&quot;&lt;b&gt;&amp;\xc3\xa9.xrd</title>"),
            std::string::npos);
  EXPECT_NE(page.find("test node &lt;!--"), std::string::npos);
}

// One failed test case with `checks` failed check rows.
std::string failed_case(const std::string& name, int checks, const std::string& file = "T.java") {
  std::string s = "<DAZU:NODE name=\"" + name +
                  "\" type=\"Test Case\" state=\"ko\"><TITLE TAG=\"9\"><TEXT>Test Case " + name +
                  "</TEXT></TITLE><TABLE>";
  for (int k = 0; k < checks; ++k)
    s += "<ROW><CELL STYLE=\"Array Failed\"><LINK TARGET=\"" + file + " line " +
         std::to_string(k + 1) + "\"><TEXT>x == " + std::to_string(k) +
         "</TEXT></LINK></CELL><CELL_TEXT STYLE=\"Array Failed\">Failed</CELL_TEXT></ROW>";
  return s + "</TABLE></DAZU:NODE>";
}

size_t occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(Html, FailedTestsAreWrittenOutWithChecksAndLocations) {
  TestRun r;
  std::string page = html_of(std::string(TALLYREP_SOURCE_DIR) + "/examples/calc.xrd", r);
  const std::string id = "CalcTest/ArithmeticSuite/CalcArithmetic/testDivide";
  EXPECT_NE(
      page.find("<h3 class=\"group\">CalcTest &#8212; <code class=\"loc\">CalcTest.java</code>"
                "</h3>\n<ul class=\"failed-list\">\n<li><a href=\"#" +
                id +
                "\">ArithmeticSuite/<wbr>CalcArithmetic/<wbr>testDivide</a> &#8212; "
                "<code class=\"loc\">line 35</code></li>"),
      std::string::npos);
  // Failures come before the information table, which leaves out blank rows.
  EXPECT_LT(page.find("class=\"failures\""), page.find("class=\"info\""));
  EXPECT_EQ(page.find("<th scope=\"row\">Project</th>"), std::string::npos);
  // The controls of the script's view stay hidden where no script runs.
  EXPECT_NE(page.find("id=\"toolbar\" role=\"region\" aria-label=\"View\" hidden>"),
            std::string::npos);
}

// Two Hebrew names in a row would swap places inside the path without
// direction islands around them.
TEST(Html, RightToLeftNamesKeepThePathInOrder) {
  const std::string suite = "\xD7\x97\xD7\xA9\xD7\x91\xD7\x95\xD7\x9F (2)", test = "\xD7\x91";
  std::string body = "<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\"><DAZU:NODE name=\"" +
                     suite + "\" type=\"Test Suite\" state=\"ko\">" + failed_case(test, 1) +
                     "</DAZU:NODE></DAZU:NODE>";
  write_file(scratch("rtl.xrd"), xrd_document(body));
  TestRun r;
  std::string page = html_of(scratch("rtl.xrd"), r);
  EXPECT_NE(page.find("\"><bdi>" + suite + "</bdi>/<wbr><bdi>" + test + "</bdi></a>"),
            std::string::npos);
  EXPECT_NE(page.find("<h3 class=\"group\">D &#8212; <code class=\"loc\">T.java</code>"),
            std::string::npos);  // ASCII stays bare
}

// A driver's failed tests are listed under its name; its file is named once
// in the heading only when every listed failed check is in it.
TEST(Html, FailedTestsGroupedByDriverNameTheirFileOnce) {
  const struct {
    const char *second_file, *heading, *line;
  } cases[] = {
      {"T.java", "<h3 class=\"group\">D &#8212; <code class=\"loc\">T.java</code></h3>",
       "b</a> &#8212; <code class=\"loc\">line 1, 2</code></li>"},
      {"U.java", "<h3 class=\"group\">D</h3>",
       "b</a> &#8212; <code class=\"loc\">U.java:1, 2</code></li>"},
  };
  for (const auto& c : cases) {
    write_file(scratch("group.xrd"),
               xrd_document("<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\">" +
                            failed_case("a", 1) + failed_case("b", 2, c.second_file) +
                            "</DAZU:NODE><DAZU:NODE name=\"E\" type=\"Test Driver\" state=\"ko\">" +
                            failed_case("c", 1) + "</DAZU:NODE>"));
    TestRun r;
    const std::string page = html_of(scratch("group.xrd"), r);
    EXPECT_NE(page.find(c.heading), std::string::npos) << c.second_file;
    EXPECT_NE(page.find(c.line), std::string::npos) << c.second_file;
    EXPECT_NE(page.find("<h3 class=\"group\">E &#8212; "), std::string::npos);
  }
}

// A path too long to spell out (here 1,200 bytes of suites) is shown cut and
// links by the test's TAG, which the script finds as older pages' links.
TEST(Html, FailedTestTooDeepToSpellLinksByItsTag) {
  std::string open, close;
  for (int i = 0; i < 600; ++i) {
    open += "<DAZU:NODE name=\"s\" type=\"Test Suite\" state=\"ko\">";
    close += "</DAZU:NODE>";
  }
  write_file(scratch("deep.xrd"),
             xrd_document("<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\">" + open +
                          failed_case("t", 1) + close + "</DAZU:NODE>"));
  TestRun r;
  std::string page = html_of(scratch("deep.xrd"), r);
  EXPECT_NE(page.find("<li><a href=\"#9\">s/<wbr>s/<wbr>"), std::string::npos);
  EXPECT_NE(page.find("\xE2\x80\xA6"), std::string::npos);
  EXPECT_NE(page.find("s/<wbr>s/<wbr>t</a>"), std::string::npos);
}

// Every failed test is listed, one line each, while the list keeps to its
// budget; the note on top says how many are listed and how many are not.
TEST(Html, FailedListHoldsEveryTestWithinItsBudget) {
  const struct {
    size_t tests, name_length;
    bool all;
  } cases[] = {{3000, 8, true}, {10000, 1000, false}};
  for (const auto& c : cases) {
    std::string body = "<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\">";
    for (size_t i = 0; i < c.tests; ++i)
      body += failed_case("t" + std::to_string(i) + std::string(c.name_length, 'n'),
                          i == 0 ? kListedFailedChecks + 2 : 1);
    write_file(scratch("many.xrd"), xrd_document(body + "</DAZU:NODE>"));
    TestRun r;
    std::string page = html_of(scratch("many.xrd"), r);
    // The list's first part, then the rest at the end of the page.
    const size_t from = page.find("<h3 class=\"group\">"),
                 to = page.find("<noscript id=\"failed-more-note\">"),
                 rest = page.find("<section class=\"failures\" id=\"failed-more\"");
    ASSERT_NE(rest, std::string::npos);
    EXPECT_LT(to - from, kFailedListInline + 8192);
    // The rest names each test by its number in the page's data, not its anchor.
    EXPECT_EQ(page.find("<li><a href=\"#", rest), std::string::npos);
    const size_t listed =
        occurrences(page, "<li><a href=\"#") + occurrences(page, "<li><a data-n=\"");
    const size_t end = page.find("</section>\n", rest);
    EXPECT_LE(to - from + end - rest, kFailedListBudget + 256) << c.tests;
    // The rest in parts the browser's parser takes one at a time, each under
    // the group's heading again.
    size_t parts = 0;
    for (size_t at = page.find("<noscript>", rest); at < end;
         at = page.find("<noscript>", at + 1)) {
      const size_t close = page.find("</noscript>", at);
      EXPECT_LT(close - at, kFailedMorePart + 8192);
      EXPECT_EQ(page.compare(close - 6, 6, "</ul>\n"), 0);
      EXPECT_NE(page.substr(at, 300).find("<h3 class=\"group\">D &#8212;"), std::string::npos);
      ++parts;
    }
    EXPECT_GT(parts, 2u) << c.tests;
    EXPECT_EQ(occurrences(page, "<h3 class=\"group\">D &#8212;"), 1 + parts) << "heading again";
    EXPECT_NE(page.find("<h3 class=\"group\">D &#8212; <code class=\"loc\">T.java</code></h3>"),
              std::string::npos);
    EXPECT_NE(page.find("<code class=\"loc\">line 1, 2, 3, 4, 5</code> and 2 more</li>"),
              std::string::npos);
    const std::string note =
        c.all ? "the failed tests: all " + std::to_string(c.tests) + " are listed."
              : "the failed tests: " + std::to_string(listed) + " of " + std::to_string(c.tests) +
                    " are listed, " + std::to_string(c.tests - listed) + " are not.";
    EXPECT_EQ(listed == c.tests, c.all) << listed;
    EXPECT_LT(page.find(note), page.find("<div class=\"overview\">")) << note;
    EXPECT_EQ(page.substr(0, page.find("id=\"toolbar\"")).find("Failed only"), std::string::npos)
        << "the part without script points to no view of the script's";
  }
}

TEST(Html, AnchorsAreUrlSafeAndUniqueAmongSiblings) {
  EXPECT_EQ(anchor_segment("test_add-1.x"), "test~5Fadd-1.x");
  EXPECT_EQ(anchor_segment("a/b (2)"), "a~2Fb~20~282~29");
  std::string body = "<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\">" +
                     failed_case("same", 1) + failed_case("same", 1) + "</DAZU:NODE>";
  TestRun r;
  std::string error;
  ASSERT_EQ(parse_text(xrd_document(body), r, error), 0) << error;
  std::string page;
  OutBuffer out;
  out_open_string(out, &page);
  html_page(out, r);
  ASSERT_TRUE(out_close(out));
  EXPECT_NE(page.find("<li><a href=\"#D/same\">"), std::string::npos);
  EXPECT_NE(page.find("<li><a href=\"#D/same~20~282~29\">"), std::string::npos);
}

TEST(Html, TitleNamesTheProjectWhenTheHeaderGivesOne) {
  std::string xrd = read_file(fixture("worked.xrd"));
  const std::string blank =
      "<CELL_TEXT STYLE=\"Array\">Project</CELL_TEXT>\n<CELL_TEXT "
      "STYLE=\"Array\"> </CELL_TEXT>";
  size_t at = xrd.find(blank);
  ASSERT_NE(at, std::string::npos);
  xrd.replace(at, blank.size(),
              "<CELL_TEXT STYLE=\"Array\">Project</CELL_TEXT><CELL_TEXT STYLE=\"Array\"> Pocket "
              "Calc </CELL_TEXT>");
  write_file(scratch("project.xrd"), xrd);
  TestRun r;
  std::string page = html_of(scratch("project.xrd"), r);
  EXPECT_NE(page.find("<title>Test report: Pocket Calc</title>"), std::string::npos);
  TestRun plain;
  EXPECT_NE(html_of(fixture("worked.xrd"), plain).find("<title>Test report: out.xrd</title>"),
            std::string::npos);
}

TEST(Html, ChangesSinceTheBaselineComeFirstWithNewFailuresOnTop) {
  TestRun now;
  std::string error, out = scratch("changes.html");
  ASSERT_EQ(read_run(fixture("summary_new.xrd"), now, error), 0) << error;
  ASSERT_EQ(compare_with_baseline(now, xrd_file(fixture("summary_base.xrd").c_str()),
                                  "summary_base.xrd", error),
            0)
      << error;
  ASSERT_EQ(write_as("--html", now, out, error), 0) << error;
  std::string page = read_file(out);
  size_t from = page.find("<section class=\"changes\"");
  ASSERT_NE(from, std::string::npos);
  std::string part = page.substr(from, page.find("</section>", from) - from);
  EXPECT_LT(from, page.find("class=\"failures\""));
  const char* order[] = {
      "<h2 id=\"changes-head\">Changes since summary_base.xrd</h2>",
      "<h3>New failures: 2</h3>",
      "<li><a href=\"#D/S/a\">D/<wbr>S/<wbr>a</a></li>",
      "<li><a href=\"#D/S/brand\">D/<wbr>S/<wbr>brand</a></li>",
      "<h3>Still failing: 1</h3>",
      "<a href=\"#D/S/b\">",
      "<h3>Fixed: 1</h3>",
      "<a href=\"#D/S/c\">",
      "<h3>New tests: 1</h3>",
      "<a href=\"#D/S/fresh\">",
      "<h3>Removed: 1</h3>",
      "<li>D/<wbr>S/<wbr>gone</li>",
      "<h3>Stopped running: 1</h3>",
      "<a href=\"#D/S/d\">",
  };
  size_t at = 0;
  for (const char* want : order) {
    size_t found = part.find(want, at);
    EXPECT_NE(found, std::string::npos) << want;
    if (found != std::string::npos) at = found;
  }
}

// 2^pairs texts of 16 * pairs bytes that the standard library's string hash
// (64-bit, fixed seed) maps to one value. Its step over eight bytes is
// invertible in them, so after any two words a second pair can be solved
// that leaves the same state; a choice of pair at each step gives each text.
std::vector<std::string> texts_of_one_std_hash(int pairs) {
  const uint64_t mul = (uint64_t{0xc6a4a793} << 32) + 0x5bd1e995;
  uint64_t inverse = mul;
  for (int i = 0; i < 6; ++i) inverse *= 2 - mul * inverse;
  auto mix = [](uint64_t v) { return v ^ (v >> 47); };
  auto take = [&](uint64_t word) { return mix(word * mul) * mul; };
  auto word_taken = [&](uint64_t taken) { return mix(taken * inverse) * inverse; };
  auto fits = [](uint64_t w) {  // '0' to 'z' but '<': plain attribute text
    for (int i = 0; i < 64; i += 8) {
      const char c = static_cast<char>(w >> i);
      if (c < '0' || c > 'z' || c == '<') return false;
    }
    return true;
  };
  auto word = [](uint64_t n) {  // n in base 32 as eight digits from 'A'
    uint64_t w = 0;
    for (int i = 0; i < 64; i += 8, n /= 32) w |= ('A' + n % 32) << i;
    return w;
  };
  std::vector<std::string> texts(1);
  uint64_t state = 0xc70f6907 ^ (uint64_t(16 * pairs) * mul);
  for (int p = 0; p < pairs; ++p) {
    uint64_t a[2] = {word(p), word(p + 1)};
    const uint64_t next = (((state ^ take(a[0])) * mul) ^ take(a[1])) * mul;
    uint64_t b[2];
    for (uint64_t n = 1 << 20;; ++n) {
      b[0] = word(n);
      b[1] = word_taken((next * inverse) ^ ((state ^ take(b[0])) * mul));
      if (fits(b[1])) break;
    }
    state = next;
    std::vector<std::string> longer;
    for (const std::string& t : texts)
      for (const uint64_t* pair : {a, b})
        longer.push_back(t + std::string(reinterpret_cast<const char*>(pair), 16));
    texts.swap(longer);
  }
  return texts;
}

// Types and source files go into tables keyed by their text: with the
// standard hash, 32,768 type names crafted as above took the page 25 times as
// long as as many plain ones (65,536 took 20 s). Timed against plain names,
// so that a slow machine or a sanitizer slows both alike.
TEST(Html, TextsCraftedToCollideStayCheap) {
  const std::vector<std::string> crafted = texts_of_one_std_hash(15);
  std::hash<std::string_view> std_hash;
  if (std_hash(crafted.front()) != std_hash(crafted.back())) GTEST_SKIP() << "another string hash";
  auto seconds_for = [](const std::vector<std::string>& types) {
    std::string body = "<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ok\">";
    for (size_t i = 0; i < types.size(); ++i)
      body +=
          "<DAZU:NODE name=\"c" + std::to_string(i) + "\" type=\"" + types[i] + "\" state=\"ok\"/>";
    write_file(scratch("types.xrd"), xrd_document(body + "</DAZU:NODE>"));
    const auto start = std::chrono::steady_clock::now();
    TestRun r;
    html_of(scratch("types.xrd"), r);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  std::vector<std::string> plain;
  for (size_t i = 0; i < crafted.size(); ++i)
    plain.push_back(std::to_string(i) +
                    std::string(crafted[i].size() - std::to_string(i).size(), 'x'));
  const double plain_seconds = seconds_for(plain);
  EXPECT_LT(seconds_for(crafted), 4 * plain_seconds + 0.5) << "type names share a bucket";
}

TEST(Html, UnwritableOutputIsAnError) {
  TestRun r;
  std::string error;
  ASSERT_EQ(read_run(fixture("worked.xrd"), r, error), 0);
  EXPECT_EQ(write_as("--html", r, "/dev/full", error), -1);
  EXPECT_EQ(error, "cannot write: No space left on device");
}

}  // namespace

// A check the report styles plainly but whose status cell says Failed is
// failed in JUnit and the Markdown, so the page's data marks it failed too:
// its "Failed only" view shows what JUnit names.
TEST(Html, ACheckIsFailedOnThePageExactlyWhenJUnitNamesIt) {
  const std::string row =
      "<ROW><CELL STYLE=\"Array\"><TEXT>x == 1</TEXT></CELL><CELL_TEXT "
      "STYLE=\"Array\">Failed</CELL_TEXT></ROW>";
  const std::string path = scratch("status_failed.xrd");
  write_file(path,
             xrd_document("<DAZU:NODE name=\"T\" type=\"Test Driver\" state=\"ko\"><DAZU:NODE "
                          "name=\"a\" type=\"Test Case\" state=\"ko\"><TABLE>" +
                          row + "</TABLE></DAZU:NODE></DAZU:NODE>"));
  TestRun r;
  const std::string data = data_block(html_of(path, r));
  const std::string junit = out_capture([&](OutBuffer& o) { junit_document(o, r); });
  EXPECT_NE(junit.find("<failure"), std::string::npos) << junit;
  EXPECT_NE(data.find("\"r\":[1,2,-1,"), std::string::npos) << data;  // kind check, style failed
}
