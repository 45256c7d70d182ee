// JUnit XML of reports: the worked driver block byte for byte, the example's
// counts against its elements, what CI readers need of each element, failures
// of stubs, long class names.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "export/export_helpers.h"
#include "export/model/test_paths.h"
#include "export/write/writers.h"

namespace {

std::string junit_of(const std::string& xrd, bool locations = false) {
  TestRun r;
  std::string error, out = scratch("junit.xml");
  EXPECT_EQ(read_run(xrd, r, error), 0) << error;
  EXPECT_EQ(write_as("--junit", r, out, error, locations), 0) << error;
  return read_file(out);
}

std::string node(const char* name, const char* type, const char* state,
                 const std::string& inside = "") {
  return std::string("<DAZU:NODE name=\"") + name + "\" type=\"" + type + "\" state=\"" + state +
         "\">" + inside + "</DAZU:NODE>";
}

// A check row of the default table, linked to target.
std::string check(const char* text, const char* target, bool failed) {
  const char* style = failed ? "Array Failed" : "Array Passed";
  std::string cell = std::string("<CELL_TEXT STYLE=\"") + style + "\">";
  return std::string("<ROW><CELL STYLE=\"") + style + "\"><LINK TARGET=\"" + target + "\"><TEXT>" +
         text + "</TEXT></LINK></CELL>" + cell + (failed ? "Failed" : "Passed") + "</CELL_TEXT>" +
         cell + "2</CELL_TEXT>" + cell + (failed ? "1" : "0") + "</CELL_TEXT>" + cell +
         (failed ? "1" : "2") + "</CELL_TEXT></ROW>";
}

TEST(Junit, WorkedDocument) {
  EXPECT_EQ(junit_of(fixture("worked.xrd")),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<testsuites name=\"out.xrd\" tests=\"1\" failures=\"1\" errors=\"0\" time=\"0\">\n"
            "  <testsuite name=\"D\" tests=\"1\" failures=\"1\" errors=\"0\" skipped=\"0\" "
            "time=\"0\" file=\"Calc.java\">\n"
            "    <testcase classname=\"D.S\" name=\"C\" time=\"0\">\n"
            "      <failure type=\"check\" message=\"y &gt; 0 at Calc.java:13\">y &gt; 0: "
            "Executed 2, Failed 1, Passed 1\n\tat D.S.C(Calc.java:13)\n"
            "first failed check at Calc.java:13\n</failure>\n"
            "    </testcase>\n"
            "  </testsuite>\n"
            "</testsuites>\n");
}

// What CI readers take from each element, asked of one report by XPath, in
// the default form and with --junit-locations.
TEST(Junit, ElementsCarryWhatCiReadersNeed) {
  std::string body =
      node("D", "Test Driver", "ko",
           "<SECTION TAG=\"rootx3\">" +
               node("Top", "Test Case", "ok",
                    "<TABLE>" + check("a", "src/D.java line 3", false) + "</TABLE>") +
               node("S", "Test Suite", "ko",
                    node("K", "Test Class", "ko",
                         node("C", "Test Case", "ko",
                              "<TABLE>" + check("b", "Other.java line 1", false) +
                                  check("x &gt; 0", "src/K.java line 35", true) + "</TABLE>")) +
                        node("Twin", "Test Case", "ok") + node("Twin", "Test Case", "ok") +
                        node("Idle", "Test Case", "") +
                        node("K", "Test Class", "ok", node("C", "Test Case", "ok"))) +
               node("Multi", "Test Case", "ko",
                    "<TABLE>" + check("p", "M.java line 5", false) +
                        check("q\nat X.y(Evil.java:1)", "M.java line 7", true) +
                        check("r", "N.java line 9", true) + check("s", "M.java line abc", true) +
                        "</TABLE>") +
               "</SECTION>") +
      node("Bare", "Test Driver", "ok", node("Lone", "Test Case", "ok"));
  write_file(scratch("ci.xrd"), xrd_document(body));
  const struct {
    bool locations;
    const char* what;
    const char* xpath;
    const char* expected;
  } cases[] = {
      {false, "no skipped on testsuites", "count(/testsuites/@skipped)", "0"},
      {false, "time 0 on testsuites", "string(/testsuites/@time)", "0"},
      {false, "time 0 on every testsuite", "count(//testsuite[not(@time='0')])", "0"},
      {false, "time 0 on every testcase", "count(//testcase[not(@time='0')])", "0"},
      {false, "testsuite file is its first link's", "string(//testsuite[@name='D']/@file)",
       "src/D.java"},
      {false, "no testsuite file without a link", "count(//testsuite[@name='Bare']/@file)", "0"},
      {false, "no testcase file or line", "count(//testcase/@file | //testcase/@line)", "0"},
      {false, "direct case classname is the driver", "string(//testcase[@name='Top']/@classname)",
       "D"},
      {false, "nested classname starts with the driver",
       "string(//testcase[@name='C' and failure]/@classname)", "D.S.K"},
      {false, "a failure in another file than the suite's follows in a suite of its file",
       "string(//testcase[@name='C' and failure]/../@file)", "src/K.java"},
      {false, "one suite per file failures are in, all of the driver's name",
       "count(//testsuite[@name='D'])", "3"},
      {false, "equal sibling cases get a suffix", "string(//testcase[@name='Twin (2)']/@classname)",
       "D.S"},
      {false, "equal sibling classes get a suffix", "count(//testcase[@classname='D.S.K (2)'])",
       "1"},
      {false, "message names the failed check and its place", "string(//failure/@message)",
       "x > 0 at src/K.java:35"},
      {false, "each failed check once, a frame under it, the first's place at the end",
       "string(//failure)",
       "x > 0: Executed 2, Failed 1, Passed 1\n\tat D.S.K.C(K.java:35)\n"
       "first failed check at src/K.java:35\n"},
      {false, "message of several failed checks names the first",
       "string(//testcase[@name='Multi']/failure/@message)",
       "q\nat X.y(Evil.java:1) at M.java:7 and 2 more"},
      {false, "a line break in a check makes no frame; a line that is no number stays beside it",
       "string(//testcase[@name='Multi']/failure)",
       "q at X.y(Evil.java:1): Executed 2, Failed 1, Passed 1\n\tat D.Multi(M.java:7)\n"
       "r: Executed 2, Failed 1, Passed 1\n\tat D.Multi(N.java:9)\n"
       "s (M.java line abc): Executed 2, Failed 1, Passed 1\n"
       "first failed check at M.java:7\n"},
      {true, "testsuite file is its first link's", "string(//testsuite[@name='D']/@file)",
       "src/D.java"},
      {true, "testcase file is its failed check's",
       "string(//testcase[@name='C' and failure]/@file)", "src/K.java"},
      {true, "testcase line is its failed check's",
       "string(//testcase[@name='C' and failure]/@line)", "35"},
      {true, "a passed testcase is at its first check", "string(//testcase[@name='Top']/@line)",
       "3"},
      {true, "several failed checks: the first", "string(//testcase[@name='Multi']/@line)", "7"},
      {true, "no testcase file without a link", "count(//testcase[@name='Twin']/@file)", "0"},
  };
  for (bool locations : {false, true}) {
    const std::string xml = junit_of(scratch("ci.xrd"), locations);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.c_str())) << xml;
    for (const auto& c : cases) {
      if (c.locations != locations) continue;
      EXPECT_EQ(pugi::xpath_query(c.xpath).evaluate_string(doc), c.expected) << c.what << "\n"
                                                                             << xml;
    }
  }
}

TEST(Junit, ExamplesMatchTheirGoldenFiles) {
  EXPECT_EQ(junit_of(std::string(TALLYREP_SOURCE_DIR) + "/examples/calc.xrd"),
            read_file(fixture("calc.junit.xml")));
  EXPECT_EQ(junit_of(fixture("calc_like.xrd")), read_file(fixture("calc_like.junit.xml")));
  // Texts in UTF-8, in Latin-1, and one that mixes both (read as Latin-1).
  EXPECT_EQ(junit_of(fixture("encodings.xrd")), read_file(fixture("encodings.junit.xml")));
}

// The counts of every testsuite and of testsuites agree with the elements.
TEST(Junit, CountsAgreeWithTheElements) {
  for (const char* name : {"../../../examples/calc.xrd", "calc_like.xrd", "worked.xrd",
                           "old_head.xrd", "old_quotes.xrd"}) {
    std::string xml = junit_of(fixture(name));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.c_str())) << name;
    pugi::xml_node all = doc.child("testsuites");
    long tests = 0, failures = 0;
    for (pugi::xml_node suite : all.children("testsuite")) {
      long t = 0, f = 0, s = 0;
      for (pugi::xml_node c : suite.children("testcase")) {
        ++t;
        f += c.child("failure") ? 1 : 0;
        s += c.child("skipped") ? 1 : 0;
      }
      EXPECT_EQ(suite.attribute("tests").as_int(), t) << name;
      EXPECT_EQ(suite.attribute("failures").as_int(), f) << name;
      EXPECT_EQ(suite.attribute("skipped").as_int(), s) << name;
      tests += t, failures += f;
    }
    EXPECT_EQ(all.attribute("tests").as_int(), tests) << name;
    EXPECT_EQ(all.attribute("failures").as_int(), failures) << name;
  }
}

TEST(Junit, StubFailuresNameTheStubColumns) {
  std::string body =
      "<DAZU:NODE name=\"T\" type=\"Test Driver\" state=\"ko\"><SECTION TAG=\"rootx3\">"
      "<DAZU:NODE name=\"K\" type=\"Test Class\" state=\"ko\">"
      "<DAZU:NODE name=\"Mock.call\" type=\"Stub\" state=\"ko\"><TABLE><ROW>"
      "<CELL_TEXT STYLE=\"Array Title\">Expression</CELL_TEXT><CELL_TEXT STYLE=\"Array "
      "Title\">Status</CELL_TEXT>"
      "<CELL_TEXT STYLE=\"Array Title\">entermethod()</CELL_TEXT><CELL_TEXT STYLE=\"Array "
      "Title\">fail()</CELL_TEXT>"
      "<CELL_TEXT STYLE=\"Array Title\">exitmethod()</CELL_TEXT></ROW><ROW>"
      "<CELL STYLE=\"Array Failed\"><LINK TARGET=\"M.java line 4\"><TEXT>arg &gt; "
      "0</TEXT></LINK></CELL>"
      "<CELL_TEXT STYLE=\"Array Failed\">Failed</CELL_TEXT><CELL_TEXT STYLE=\"Array "
      "Failed\">3</CELL_TEXT>"
      "<CELL_TEXT STYLE=\"Array Failed\">2</CELL_TEXT><CELL_TEXT STYLE=\"Array "
      "Failed\">1</CELL_TEXT></ROW>"
      "</TABLE></DAZU:NODE>"
      "<DAZU:NODE name=\"Nested\" type=\"Test Case\" state=\"ko\"/>"
      "</DAZU:NODE></SECTION></DAZU:NODE>";
  write_file(scratch("stub.xrd"), xrd_document(body));
  std::string xml = junit_of(scratch("stub.xrd"));
  EXPECT_NE(xml.find("<testcase classname=\"T.K\" name=\"Mock.call\" time=\"0\">\n"
                     "      <failure type=\"check\" message=\"arg &gt; 0 at M.java:4\">arg &gt; 0: "
                     "entermethod() 3, fail() 2, exitmethod() 1\n\tat T.K.Mock.call(M.java:4)\n"
                     "first failed check at M.java:4\n</failure>"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("name=\"Nested\" time=\"0\">\n      <failure type=\"check\" message=\"failed "
                     "with no failed check "
                     "of its own\"></failure>"),
            std::string::npos)
      << xml;
}

TEST(Junit, LongClassNamesKeepBothEnds) {
  std::string shortname(kPathCut.limit, 'a');
  EXPECT_EQ(text_shorten(shortname, kPathCut), shortname);
  std::string longname = "outer." + std::string(3000, 'm') + "\xc3\xa9.inner";
  std::string cut = text_shorten(longname, kPathCut);
  EXPECT_LE(cut.size(), kPathCut.limit);
  EXPECT_EQ(cut.rfind("outer.", 0), 0u);
  EXPECT_EQ(cut.substr(cut.size() - 8), "\xc3\xa9.inner");
  EXPECT_NE(cut.find("\xE2\x80\xA6"), std::string::npos);
}

// A nesting deeper than the classname limit keeps the driver in front.
TEST(Junit, CutClassNamesKeepTheDriver) {
  std::string inner = node("leaf", "Test Case", "ok");
  for (int i = 0; i < 200; ++i) inner = node("level", "Test Suite", "ok", inner);
  write_file(scratch("deep.xrd"), xrd_document(node("Drv", "Test Driver", "ok", inner)));
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(junit_of(scratch("deep.xrd")).c_str()));
  std::string cls = pugi::xpath_query("string(//testcase/@classname)").evaluate_string(doc);
  EXPECT_LE(cls.size(), kPathCut.limit);
  EXPECT_EQ(cls.rfind("Drv.level.", 0), 0u) << cls;
  EXPECT_EQ(cls.substr(cls.size() - 12), ".level.level") << cls;
}

}  // namespace
