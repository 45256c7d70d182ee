// JUnit XML of reports: the worked driver block byte for byte, the example's
// counts against its elements, failures of stubs, long class names.
#include <gtest/gtest.h>

#include "export/junit_export.h"
#include "export_helpers.h"

namespace {

std::string junit_of(const std::string& xrd) {
  XrdReport r;
  std::string error, out = scratch("junit.xml");
  EXPECT_EQ(xrd_read(xrd.c_str(), r, error), 0) << error;
  EXPECT_EQ(junit_write(r, out.c_str(), error), 0) << error;
  return read_all(out);
}

TEST(Junit, WorkedDocument) {
  EXPECT_EQ(
      junit_of(fixture("worked.xrd")),
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<testsuites name=\"out.xrd\" tests=\"1\" failures=\"1\" errors=\"0\" skipped=\"0\">\n"
      "  <testsuite name=\"D\" tests=\"1\" failures=\"1\" errors=\"0\" skipped=\"0\">\n"
      "    <testcase classname=\"S\" name=\"C\">\n"
      "      <failure type=\"check\" message=\"1 failed check\">y &gt; 0 (Calc.java line 13): "
      "Executed 2, Failed 1, Passed 1&#10;</failure>\n"
      "    </testcase>\n"
      "  </testsuite>\n"
      "</testsuites>\n");
}

TEST(Junit, ExamplesMatchTheirGoldenFiles) {
  EXPECT_EQ(junit_of(std::string(TALLYREP_SOURCE_DIR) + "/examples/calc.xrd"),
            read_all(fixture("calc.junit.xml")));
  EXPECT_EQ(junit_of(fixture("calc_like.xrd")), read_all(fixture("calc_like.junit.xml")));
}

// The counts of every testsuite and of testsuites agree with the elements.
TEST(Junit, CountsAgreeWithTheElements) {
  for (const char* name : {"../../../examples/calc.xrd", "calc_like.xrd", "worked.xrd",
                           "old_head.xrd", "old_quotes.xrd"}) {
    std::string xml = junit_of(fixture(name));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.c_str())) << name;
    pugi::xml_node all = doc.child("testsuites");
    long tests = 0, failures = 0, skipped = 0;
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
      tests += t, failures += f, skipped += s;
    }
    EXPECT_EQ(all.attribute("tests").as_int(), tests) << name;
    EXPECT_EQ(all.attribute("failures").as_int(), failures) << name;
    EXPECT_EQ(all.attribute("skipped").as_int(), skipped) << name;
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
  write_all(scratch("stub.xrd"), xrd_document(body));
  std::string xml = junit_of(scratch("stub.xrd"));
  EXPECT_NE(
      xml.find("<testcase classname=\"K\" name=\"Mock.call\">\n      <failure type=\"check\" "
               "message=\"1 failed check\">arg &gt; 0 (M.java line 4): entermethod() 3, fail() 2, "
               "exitmethod() 1&#10;</failure>"),
      std::string::npos)
      << xml;
  EXPECT_NE(
      xml.find(
          "name=\"Nested\">\n      <failure type=\"check\" message=\"failed with no failed check "
          "of its own\"></failure>"),
      std::string::npos)
      << xml;
}

TEST(Junit, LongClassNamesKeepBothEnds) {
  std::string shortname(JUNIT_CLASSNAME_MAX, 'a');
  EXPECT_EQ(junit_shorten(shortname), shortname);
  std::string longname = "outer." + std::string(3000, 'm') + "\xc3\xa9.inner";
  std::string cut = junit_shorten(longname);
  EXPECT_LE(cut.size(), JUNIT_CLASSNAME_MAX);
  EXPECT_EQ(cut.rfind("outer.", 0), 0u);
  EXPECT_EQ(cut.substr(cut.size() - 8), "\xc3\xa9.inner");
  EXPECT_NE(cut.find("\xE2\x80\xA6"), std::string::npos);
}

}  // namespace
