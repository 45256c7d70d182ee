// Tests of the whole results report: the worked document byte for byte, the
// information section, the document head, driver order, totals, failed writes
// and well-formedness under hostile names and texts.
#include "report/jresfile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "model/node_types.h"
#include "report/driver_block.h"
#include "report/report_fixture.h"

using report_test::set_check;
using report_test::set_status;

namespace {

const char* kVariable = "KSPX_WORKSHOP_HEADER_FILE";
const char kSunday[] = "Sun Dec 06 17:57:11 2026";

class Document : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv(kVariable);
    tree_init();
    dir_ = make_temp_dir();
  }
  void TearDown() override {
    tree_free();
    ::unsetenv(kVariable);
    std::filesystem::remove_all(dir_);
  }
  // Writes the report to `name` in the test's directory and returns its text.
  std::string write(const std::string& name = "out.xrd") {
    path_ = dir_ + "/" + name;
    EXPECT_EQ(report_write_at(path_.c_str(), kSunday), 0);
    EXPECT_TRUE(report_test::xml_well_formed(path_));
    return read_file(path_);
  }
  // The document as written for the given report name, without touching files.
  std::string document(const char* name) {
    std::string text = report_test::capture([&](OutBuffer& out) {
      ReportWriter w{out, 0, kSunday};
      report_write_document(w, name);
      tags_used_ = w.tag_counter;
    });
    EXPECT_TRUE(report_test::xml_text_well_formed(text));
    return text;
  }
  void use_header(const std::string& content) {
    std::string header = dir_ + "/header.ini";
    write_file(header, content);
    ::setenv(kVariable, header.c_str(), 1);
  }
  static bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
  std::string dir_;
  std::string path_;
  int tags_used_ = 0;
};

std::string row(const std::string& label, const std::string& value,
                const std::string& style = "Array") {
  return "<ROW>\n<CELL_TEXT STYLE=\"" + style + "\">" + label +
         "</CELL_TEXT>\n<CELL_TEXT STYLE=\"" + style + "\">" + value + "</CELL_TEXT>\n</ROW>\n";
}

TEST_F(Document, WorkedDocumentByteForByte) {
  report_test::build_calc_driver(0);
  std::string expected = read_file(TALLYREP_SOURCE_DIR "/tests/report/golden/worked_document.xrd");
  ASSERT_EQ(report_test::split_lines(expected).size(), 111u);
  EXPECT_EQ(document("out.xrd"), expected);
  // Written under the same relative name, the file is the golden document.
  char* cwd = ::getcwd(nullptr, 0);
  ASSERT_EQ(::chdir(dir_.c_str()), 0);
  int result = report_write_at("out.xrd", kSunday);
  ASSERT_EQ(::chdir(cwd), 0);
  std::free(cwd);
  path_ = dir_ + "/out.xrd";
  EXPECT_EQ(result, 0);
  EXPECT_EQ(read_file(path_), expected);
  EXPECT_TRUE(report_test::xml_well_formed(path_));
}

TEST_F(Document, NoReportedDriverLeavesOnlyTheInformationSection) {
  driver_open(0, 1, "quiet");
  set_status(0, 1, STATUS_NO_RESULT);
  driver_open(1, 1, "never");
  set_status(1, 1, STATUS_NOT_EXECUTED);
  std::string text = document("r.xrd");
  EXPECT_TRUE(contains(text, row("Passed", "0", "Array Passed") + row("Failed", "0") +
                                 row("Total", "0") +
                                 "</TABLE>\n</SECTION>\n</DOCUMENT>\n"
                                 "</APIDOC>\n</DAZU>\n"));
  EXPECT_FALSE(contains(text, "DAZU:NODE"));
  EXPECT_EQ(tags_used_, 3);
}

TEST_F(Document, TotalsCountTestsEvenBelowSkippedSections) {
  driver_open(0, 1, "R");
  node_add_child(0, TYPE_TEST_SUITE, 2, "skipped", 1, 0);
  node_add_child(0, TYPE_TEST_CASE, 3, "counted", 2, 0);
  node_add_child(0, TYPE_PROC, 4, "proc", 1, 0);
  node_add_child(0, TYPE_STUB, 5, "stub", 4, 0);
  node_add_child(0, TYPE_TEST_CASE, 6, "executed only", 1, 0);
  node_add_child(0, TYPE_TEST_CLASS, 7, "not a test", 1, 0);
  set_status(0, 2, STATUS_NOT_EXECUTED);
  set_status(0, 3, STATUS_PASSED);
  set_status(0, 4, STATUS_PASSED);
  set_status(0, 5, STATUS_FAILED);
  set_status(0, 6, STATUS_EXECUTED);
  set_status(0, 7, STATUS_FAILED);
  int passed = -1;
  int failed = -1;
  count_all_verdicts(&passed, &failed);
  EXPECT_EQ(passed, 2);
  EXPECT_EQ(failed, 1);
  // From a node: itself, its descendants and its later siblings.
  passed = failed = 0;
  count_verdicts(report_test::node_at(0, 4), &passed, &failed);
  EXPECT_EQ(passed, 1);
  EXPECT_EQ(failed, 1);
  std::string text = document("r.xrd");
  EXPECT_TRUE(
      contains(text, row("Passed", "2") + row("Failed", "1", "Array Failed") + row("Total", "3")));
  EXPECT_FALSE(contains(text, "counted"));
}

TEST_F(Document, DriversNewestFirstAndSkippedOnesTakeNoTag) {
  driver_open(0, 1, "first");
  driver_open(1, 1, "skipped");
  set_status(1, 1, STATUS_NO_RESULT);
  driver_open(2, 1, "third");
  std::string text = document("r.xrd");
  std::size_t third = text.find(
      "<DAZU:NODE name=\"third\" type=\"Test Driver\" state=\"ok\" "
      "icone=\"testscript.xpm\"><SECTION TAG=\"rootx3\">");
  std::size_t first = text.find(
      "<DAZU:NODE name=\"first\" type=\"Test Driver\" state=\"ok\" "
      "icone=\"testscript.xpm\"><SECTION TAG=\"rootx5\">");
  ASSERT_NE(third, std::string::npos);
  ASSERT_NE(first, std::string::npos);
  EXPECT_LT(third, first);
  EXPECT_FALSE(contains(text, "skipped"));
  EXPECT_TRUE(contains(text, row("Passed", "0", "Array Passed")));
}

TEST_F(Document, HeaderValuesFillTheInformationRows) {
  use_header(
      "$PROJECT_NAME=Demo\n$PROJECT_PATH=/p/\n$NAME=node&1\n$CONFIGURATION=Rel\n"
      "$WORKSPACE_NAME=ws\n");
  std::string text = document("r.xrd");
  EXPECT_TRUE(contains(text, "<DOCUMENT TITLE=\"r.xrd\" TAG=\"node&#38;1x0\">\n"));
  EXPECT_TRUE(contains(text,
                       "<ROW>\n<CELL_TEXT STYLE=\"Array\">Project</CELL_TEXT>\n"
                       "<CELL_TEXT STYLE=\"Array\">Demo</CELL_TEXT>\n</ROW>\n" +
                           row("Project File", "/p/Demo.kvp") +
                           row("Project Configuration", "Rel") + row("Workspace", "ws") +
                           row("Test Node", "node&#38;1") + row("Report File", "r.xrd")));
}

TEST_F(Document, LoadedHeaderWithoutValues) {
  use_header("nothing here\n");
  std::string text = document("r.xrd");
  EXPECT_TRUE(contains(text, "<DOCUMENT TITLE=\"r.xrd\" TAG=\" x0\">\n"));
  EXPECT_TRUE(contains(text,
                       "<CELL_TEXT STYLE=\"Array\">Project</CELL_TEXT>\n"
                       "<CELL_TEXT STYLE=\"Array\"></CELL_TEXT>\n</ROW>\n" +
                           row("Project File", "") + row("Project Configuration", "") +
                           row("Workspace", "") + row("Test Node", "")));
  use_header("$NAME=   \n");
  text = document("r.xrd");
  EXPECT_TRUE(contains(text, "<DOCUMENT TITLE=\"r.xrd\" TAG=\"x0\">\n"));
  EXPECT_TRUE(contains(text, row("Test Node", "")));
}

TEST_F(Document, HostileReportNameAndTextsStayWellFormed) {
  driver_open(0, 1, "drv \"q\" <&> \xe9");
  driver_set_names(0, nullptr, "Src \"&\" <x>.java");
  node_add_child(0, TYPE_TEST_CASE, 2, "case \"a\" & <b> \xc3\xa9\x01", 1, 0);
  node_add_child(0, TYPE_CHECK_EXPRESSION, 3, "x < 1 && y > \"2\" \x1f\xff", 2, 7);
  node_add_child(0, TYPE_PRINT, 4, "print & \x7f\x80", 2, 8);
  node_add_child(0, TYPE_STUB, 5, "stub'\"", 1, 0);
  node_add_child(0, TYPE_CHECK_EXPRESSION, 6, "s<", 5, 9);
  set_check(0, 3, STATUS_FAILED, 2, 1, 1);
  set_check(0, 4, STATUS_PASSED, 1, 0, 0);
  set_check(0, 6, STATUS_PASSED, 1, 1, 0, 1);
  use_header("$NAME=n\"&<>\xe9\x02\n$PROJECT_NAME=p&\"\n$PROJECT_PATH=/x<y/\n");
  std::string text = write("a&b \"c\".xrd");
  EXPECT_TRUE(contains(
      text, "TITLE=\"" + dir_ +
                "/a&#38;b &#34;c&#34;.xrd\" TAG=\"n&#34;&#38;&#60;&#62;&#233;&#65533;x0\">"));
  EXPECT_TRUE(
      contains(text, "<CELL_TEXT STYLE=\"Array\">" + dir_ + "/a&#38;b \"c\".xrd</CELL_TEXT>"));
  EXPECT_TRUE(contains(text, "<LINK TARGET=\"Src &#34;&#38;&#34; &#60;x&#62;.java line 7\">"));
  EXPECT_TRUE(report_test::xml_well_formed(path_));
}

TEST_F(Document, UnwritableReportsFail) {
  EXPECT_EQ(report_write((dir_ + "/missing/out.xrd").c_str()), -1);
  EXPECT_EQ(report_write(dir_.c_str()), -1);
  report_test::build_calc_driver(0);
  EXPECT_EQ(report_write("/dev/full"), -1);
}

TEST(GenerationTime, StandardDateTextWithZeroPaddedDay) {
  std::tm when{};
  when.tm_wday = 0;
  when.tm_mon = 11;
  when.tm_mday = 6;
  when.tm_hour = 7;
  when.tm_min = 5;
  when.tm_sec = 9;
  when.tm_year = 126;
  EXPECT_EQ(generation_time_text(when), "Sun Dec 06 07:05:09 2026");
  when.tm_wday = 6;
  when.tm_mon = 0;
  when.tm_mday = 31;
  when.tm_hour = 23;
  when.tm_year = -1000;
  EXPECT_EQ(generation_time_text(when), "Sat Jan 31 23:05:09  900");
}

TEST(GenerationTime, TheClockIsUsedWithoutAnOverride) {
  tree_init();
  std::string text = report_test::capture([](OutBuffer& out) {
    ReportWriter w{out, 0, generation_time_now()};
    report_write_document(w, "r");
  });
  tree_free();
  std::size_t at = text.find("Generation Time</CELL_TEXT>\n<CELL_TEXT STYLE=\"Array\">");
  ASSERT_NE(at, std::string::npos);
  std::string value = text.substr(at + 53, 25);
  EXPECT_EQ(value.size(), 25u);
  EXPECT_EQ(value[24], '<');
  EXPECT_EQ(value[10], ' ');
  EXPECT_EQ(value[13], ':');
}

}  // namespace
