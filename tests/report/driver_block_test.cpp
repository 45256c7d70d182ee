// Tests of the test-driver blocks: the worked block byte for byte, skipping,
// the four row rules, levels, TAG numbering and very deep or wide trees.
#include "report/driver_block.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "model/node_types.h"
#include "report/report_fixture.h"

using report_test::capture;
using report_test::set_check;
using report_test::set_status;
using report_test::split_lines;

namespace {

class DriverBlock : public ::testing::Test {
 protected:
  void SetUp() override { tree_init(); }
  void TearDown() override { tree_free(); }

  // The block of the newest driver, its TAG numbers from `first_tag` on.
  static std::string block(int first_tag = 0) {
    std::string text = capture([&](OutBuffer& out) {
      ReportWriter w{out, first_tag, ""};
      report_driver(w, driver_root_at(0));
    });
    EXPECT_TRUE(report_test::xml_text_well_formed("<r>" + text + "</r>"));
    return text;
  }
  // A driver "R" (number 0, root line 1) of Unit.java with a test case at
  // line 2 whose children the test adds.
  static void driver_with_case(int case_type = TYPE_TEST_CASE) {
    driver_open(0, 1, "R");
    driver_set_names(0, nullptr, "Unit.java");
    node_add_child(0, case_type, 2, "T", 1, 0);
  }
  static bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
  static int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
      ++n;
    return n;
  }
};

TEST_F(DriverBlock, WorkedExampleByteForByte) {
  report_test::build_calc_driver(0);
  std::string expected = read_file(TALLYREP_SOURCE_DIR "/tests/report/golden/driver_block.xrd");
  ASSERT_EQ(split_lines(expected).size(), 57u);
  EXPECT_EQ(block(3), expected);
}

TEST_F(DriverBlock, StatusWordsAndStyles) {
  EXPECT_STREQ(status_short_word(STATUS_EXECUTED), "NE");
  EXPECT_STREQ(status_short_word(STATUS_FAILED), "ko");
  EXPECT_STREQ(status_short_word(STATUS_PASSED), "ok");
  EXPECT_STREQ(status_short_word(9), "NE");
  EXPECT_STREQ(status_long_word(STATUS_EXECUTED), "Not Executed");
  EXPECT_STREQ(status_long_word(STATUS_FAILED), "Failed");
  EXPECT_STREQ(status_long_word(STATUS_PASSED), "Passed");
  EXPECT_STREQ(status_long_word(0), "Not Executed");
  EXPECT_EQ(status_style(STATUS_EXECUTED), 1);
  EXPECT_EQ(status_style(STATUS_FAILED), 2);
  EXPECT_EQ(status_style(STATUS_PASSED), 3);
  EXPECT_EQ(status_style(4), 1);
}

TEST_F(DriverBlock, SkippedSectionsHideTheirWholeSubtree) {
  driver_open(0, 1, "R");
  node_add_child(0, TYPE_TEST_SUITE, 2, "NotRun", 1, 0);
  node_add_child(0, TYPE_TEST_CASE, 3, "Hidden", 2, 0);
  node_add_child(0, TYPE_TEST_SUITE, 4, "NoResult", 1, 0);
  node_add_child(0, TYPE_TEST_CASE, 5, "AlsoHidden", 4, 0);
  node_add_child(0, TYPE_TEST_CLASS, 6, "Shown", 1, 0);
  set_status(0, 2, STATUS_NOT_EXECUTED);
  set_status(0, 3, STATUS_PASSED);
  set_status(0, 4, STATUS_NO_RESULT);
  set_status(0, 5, STATUS_FAILED);
  set_status(0, 6, STATUS_EXECUTED);
  std::string text = block();
  EXPECT_FALSE(contains(text, "Hidden"));
  EXPECT_FALSE(contains(text, "NotRun"));
  EXPECT_FALSE(contains(text, "NoResult"));
  EXPECT_TRUE(contains(text,
                       "<DAZU:NODE name=\"Shown\" type=\"Test Class\" state=\"NE\" "
                       "icone=\"class.xpm\"><TITLE LEVEL=\"1\" TAG=\"2\" STYLE=\"Title2\">"));
  EXPECT_EQ(count(text, "<DAZU:NODE"), 2);
  EXPECT_EQ(count(text, "</DAZU:NODE>"), 2);
}

TEST_F(DriverBlock, UnwrittenChildrenAndTablesWithoutRows) {
  driver_open(0, 1, "R");
  node_add_child(0, TYPE_CHECK_EXPRESSION, 2, "under root", 1, 5);
  node_add_child(0, TYPE_TEST_SUITE, 3, "S", 1, 0);
  node_add_child(0, TYPE_COMMENT, 4, "a comment", 3, 0);
  node_add_child(0, TYPE_CHECK_EXPRESSION, 5, "never reached", 3, 6);
  node_add_child(0, TYPE_CHECK_EXPRESSION, 6, "no result", 3, 7);
  node_add_child(0, TYPE_TEST_CASE, 7, "C", 3, 0);
  set_check(0, 2, STATUS_PASSED, 1, 1, 0);
  set_check(0, 6, STATUS_NO_RESULT, 0, 0, 0);
  std::string text = block();
  EXPECT_FALSE(contains(text, "under root"));
  EXPECT_FALSE(contains(text, "a comment"));
  EXPECT_FALSE(contains(text, "never reached"));
  EXPECT_FALSE(contains(text, "no result"));
  EXPECT_FALSE(contains(text, "<TABLE"));
  EXPECT_TRUE(contains(text, "<TEXT>Test Suite S</TEXT>"));
  EXPECT_TRUE(contains(text, "<TEXT>Test Case C</TEXT>"));
}

TEST_F(DriverBlock, SumAndIconFollowTheSectionType) {
  driver_open(0, 1, "R");
  node_add_child(0, TYPE_PROC, 2, "P", 1, 0);
  node_add_child(0, TYPE_STUB, 3, "B", 1, 0);
  node_add_child(0, TYPE_TEST_CLASS, 4, "K", 1, 0);
  node_add_child(0, TYPE_TEST_DRIVER, 5, "N", 1, 0);
  std::string text = block();
  EXPECT_TRUE(
      contains(text, "name=\"P\" type=\"Proc\" state=\"ok\" sum=\"1\" icone=\"method.xpm\">"));
  EXPECT_TRUE(
      contains(text, "name=\"B\" type=\"Stub\" state=\"ok\" sum=\"1\" icone=\"class.xpm\">"));
  EXPECT_TRUE(contains(text, "name=\"K\" type=\"Test Class\" state=\"ok\" icone=\"class.xpm\">"));
  EXPECT_TRUE(contains(text, "name=\"N\" type=\"Test Driver\" state=\"ok\" icone=\"class.xpm\">"));
}

TEST_F(DriverBlock, StubRowsUseTheMethodColumns) {
  driver_with_case(TYPE_STUB);
  node_add_child(0, TYPE_CHECK_EXPRESSION, 3, "enter", 2, 21);
  node_add_child(0, TYPE_CHECK_EXPRESSION, 4, "bad", 2, 22);
  set_check(0, 3, STATUS_PASSED, 3, 2, 0, 4);
  set_check(0, 4, STATUS_PASSED, 1, 0, 1, 1);
  std::string text = block();
  EXPECT_TRUE(contains(text,
                       "<ROW>\n"
                       "<CELL_TEXT STYLE=\"Array Title\">Expression</CELL_TEXT>\n"
                       "<CELL_TEXT STYLE=\"Array Title\">Status</CELL_TEXT>\n"
                       "<CELL_TEXT STYLE=\"Array Title\">entermethod()</CELL_TEXT>\n"
                       "<CELL_TEXT STYLE=\"Array Title\">fail()</CELL_TEXT>\n"
                       "<CELL_TEXT STYLE=\"Array Title\">exitmethod()</CELL_TEXT>\n"
                       "</ROW>\n"));
  EXPECT_TRUE(contains(text,
                       "<ROW>\n"
                       "<CELL STYLE=\"Array\"><LINK TARGET=\"Unit.java line 21\">\n"
                       "<TEXT>enter</TEXT>\n</LINK>\n</CELL>\n"
                       "<CELL_TEXT STYLE=\"Array\">Executed</CELL_TEXT>\n"
                       "<CELL_TEXT STYLE=\"Array\">4</CELL_TEXT>\n"
                       "<CELL_TEXT STYLE=\"Array\">0</CELL_TEXT>\n"
                       "<CELL_TEXT STYLE=\"Array\">2</CELL_TEXT>\n"
                       "</ROW>\n"));
  EXPECT_TRUE(contains(text,
                       "<ROW>\n"
                       "<CELL STYLE=\"Array Failed\"><LINK TARGET=\"Unit.java line 22\">\n"
                       "<TEXT>bad</TEXT>\n</LINK>\n</CELL>\n"
                       "<CELL_TEXT STYLE=\"Array Failed\">Failed</CELL_TEXT>\n"
                       "<CELL_TEXT STYLE=\"Array Failed\">1</CELL_TEXT>\n"
                       "<CELL_TEXT STYLE=\"Array Failed\">1</CELL_TEXT>\n"
                       "<CELL_TEXT STYLE=\"Array Failed\">0</CELL_TEXT>\n"
                       "</ROW>\n"));
}

TEST_F(DriverBlock, PlainRowsForChecksWithoutVerdictCounts) {
  driver_with_case();
  node_add_child(0, TYPE_CHECK_EXPRESSION, 3, "zero", 2, 31);
  node_add_child(0, TYPE_CHECK_EXPRESSION, 4, "ran", 2, 32);
  set_check(0, 3, STATUS_EXECUTED, 0, 0, 0);
  set_check(0, 4, STATUS_EXECUTED, 2, 0, 0);
  std::string text = block();
  const std::string blank = "<CELL_TEXT STYLE=\"Array\"> </CELL_TEXT>\n";
  EXPECT_TRUE(contains(text,
                       "<ROW>\n<CELL STYLE=\"Array\"><LINK TARGET=\"Unit.java line 31\">\n"
                       "<TEXT>zero</TEXT>\n</LINK>\n</CELL>\n" +
                           blank + blank + blank + blank + "</ROW>\n"));
  EXPECT_TRUE(contains(text,
                       "<TEXT>ran</TEXT>\n</LINK>\n</CELL>\n"
                       "<CELL_TEXT STYLE=\"Array\">Not Executed</CELL_TEXT>\n"
                       "<CELL_TEXT STYLE=\"Array\">2</CELL_TEXT>\n" +
                           blank + blank + "</ROW>\n"));
}

TEST_F(DriverBlock, VerdictRowsTakeTheCheckStatusStyle) {
  driver_with_case();
  node_add_child(0, TYPE_CHECK_METHOD, 3, "m", 2, 41);
  set_check(0, 3, STATUS_EXECUTED, 1, 1, 0);
  std::string text = block();
  EXPECT_TRUE(contains(text,
                       "<CELL STYLE=\"Array\"><LINK TARGET=\"Unit.java line 41\">\n"
                       "<TEXT>m</TEXT>\n</LINK>\n</CELL>\n"
                       "<CELL_TEXT STYLE=\"Array\">Not Executed</CELL_TEXT>\n"
                       "<CELL_TEXT STYLE=\"Array\">1</CELL_TEXT>\n"
                       "<CELL_TEXT STYLE=\"Array\">0</CELL_TEXT>\n"
                       "<CELL_TEXT STYLE=\"Array\">1</CELL_TEXT>\n</ROW>\n"));
}

TEST_F(DriverBlock, PrintsSplitTheTable) {
  driver_with_case();
  node_add_child(0, TYPE_PRINT, 3, "first", 2, 1);
  node_add_child(0, TYPE_PRINT, 4, "second", 2, 2);
  node_add_child(0, TYPE_CHECK_EXPRESSION, 5, "c", 2, 3);
  node_add_child(0, TYPE_PRINT, 6, "last", 2, 4);
  set_check(0, 3, STATUS_PASSED, 1, 0, 0);
  set_check(0, 4, STATUS_PASSED, 1, 0, 0);
  set_check(0, 5, STATUS_PASSED, 1, 1, 0);
  set_check(0, 6, STATUS_PASSED, 3, 0, 0);
  std::vector<std::string> lines = split_lines(block());
  // Lines 0-3 are the driver's title, 4-6 the test case's.
  const std::string table5 = "<TABLE BORDER=\"1\" WIDTH=\"40,15,15,15,15\">";
  const std::string table2 = "<TABLE BORDER=\"1\" WIDTH=\"55,45\">";
  ASSERT_EQ(lines.size(), 71u);
  EXPECT_EQ(lines[7], table5);
  EXPECT_EQ(lines[8], "<ROW>");
  EXPECT_EQ(lines[14], "</ROW>");
  EXPECT_EQ(lines[15], "</TABLE>");  // the first table holds only its header row
  EXPECT_EQ(lines[16], table2);
  EXPECT_EQ(lines[20], "<TEXT>first</TEXT>");
  EXPECT_EQ(lines[24], "<TEXT>(x1)</TEXT>");
  EXPECT_EQ(lines[27], "</TABLE>");
  EXPECT_EQ(lines[28], table5);  // empty continuation between two prints
  EXPECT_EQ(lines[29], "</TABLE>");
  EXPECT_EQ(lines[30], table2);
  EXPECT_EQ(lines[42], table5);
  EXPECT_EQ(lines[43], "<ROW>");
  EXPECT_EQ(lines[45], "<TEXT>c</TEXT>");
  EXPECT_EQ(lines[53], "</TABLE>");
  EXPECT_EQ(lines[54], table2);
  EXPECT_EQ(lines[62], "<TEXT>(x3)</TEXT>");
  EXPECT_EQ(lines[65], "</TABLE>");
  EXPECT_EQ(lines[66], table5);  // empty continuation after the last print
  EXPECT_EQ(lines[67], "</TABLE>");
  EXPECT_EQ(lines[68], "</DAZU:NODE>");
}

TEST_F(DriverBlock, MissingDriverGivesAnEmptyLinkTarget) {
  driver_with_case();
  node_add_child(0, TYPE_CHECK_EXPRESSION, 3, "c", 2, 9);
  set_check(0, 3, STATUS_PASSED, 1, 1, 0);
  report_test::node_at(0, 3)->file = 77;
  EXPECT_TRUE(contains(block(), "<LINK TARGET=\" line 9\">"));
}

TEST_F(DriverBlock, LevelsAndStyleNumbersFollowTheDepth) {
  driver_open(0, 1, "R");
  for (int line = 2; line <= 8; ++line) node_add_child(0, TYPE_TEST_SUITE, line, "S", line - 1, 0);
  std::string text = block();
  EXPECT_TRUE(contains(text, "<TITLE LEVEL=\"0\" TAG=\"1\" STYLE=\"Title1 Passed\">"));
  EXPECT_TRUE(contains(text, "<TITLE LEVEL=\"4\" TAG=\"5\" STYLE=\"Title5 Passed\">"));
  EXPECT_TRUE(contains(text, "<TITLE LEVEL=\"6\" TAG=\"7\" STYLE=\"Title5 Passed\">"));
  EXPECT_TRUE(contains(text, "<TITLE LEVEL=\"7\" TAG=\"8\" STYLE=\"Title5 Passed\">"));
  EXPECT_EQ(count(text, "</DAZU:NODE>"), 8);
}

TEST_F(DriverBlock, TagNumbersContinueAcrossDrivers) {
  report_test::build_calc_driver(0);
  report_test::build_calc_driver(1);
  std::string text = capture([](OutBuffer& out) {
    ReportWriter w{out, 0, ""};
    report_driver(w, driver_root_at(0));
    report_driver(w, driver_root_at(1));
  });
  EXPECT_TRUE(contains(text, "<SECTION TAG=\"rootx0\">"));
  EXPECT_TRUE(contains(text, "TAG=\"3\" STYLE=\"Title3 Failed\">"));
  EXPECT_TRUE(contains(text, "<SECTION TAG=\"rootx4\">"));
  EXPECT_TRUE(report_test::xml_text_well_formed("<r>" + text + "</r>"));
}

TEST_F(DriverBlock, MillionLevelChainIsWritten) {
  driver_open(0, 1, "R");
  const int depth = 1000000;
  for (int line = 2; line <= depth + 1; ++line) {
    node_add_child(0, TYPE_TEST_SUITE, line, "S", line - 1, 0);
  }
  node_add_child(0, TYPE_CHECK_EXPRESSION, depth + 2, "deep", depth + 1, 3);
  set_check(0, depth + 2, STATUS_PASSED, 1, 1, 0);
  std::string dir = make_temp_dir();
  std::string path = dir + "/deep.xrd";
  OutBuffer out;
  ASSERT_TRUE(out_open_file(out, path.c_str()));
  ReportWriter w{out, 0, ""};
  report_driver(w, driver_root_at(0));
  ASSERT_TRUE(out_close(out));
  std::string text = read_file(path);
  std::filesystem::remove_all(dir);
  EXPECT_EQ(count(text, "</DAZU:NODE>"), depth + 1);
  EXPECT_TRUE(contains(text, "<TITLE LEVEL=\"1000000\" TAG=\"1000001\" STYLE=\"Title5 Passed\">"));
  std::size_t check = text.find("<TEXT>deep</TEXT>");
  ASSERT_NE(check, std::string::npos);
  EXPECT_EQ(text.find("</DAZU:NODE>"), text.find("</TABLE>", check) + 9);
}

TEST_F(DriverBlock, MillionSiblingsAreWritten) {
  driver_with_case();
  const int width = 1000000;
  for (int i = 0; i < width; ++i) {
    node_add_child(0, i % 2 ? TYPE_CHECK_EXPRESSION : TYPE_TEST_CASE, 3 + i, "s", 2, i);
  }
  OutBuffer out;
  ASSERT_TRUE(out_open_file(out, "/dev/null"));
  ReportWriter w{out, 0, ""};
  report_driver(w, driver_root_at(0));
  EXPECT_TRUE(out_close(out));
  EXPECT_EQ(w.tag_counter, 3 + width / 2);
}

}  // namespace
