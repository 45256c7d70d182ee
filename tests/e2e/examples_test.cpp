// End-to-end runs of the real binary: one check from trace to report, and the
// example traces against their committed report.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "support/run_program.h"

namespace {

const char kBanner[] =
    "Kestrel(R) Proofline Java Test Report Generator 2002.05.21.468.004\n"
    "Copyright (C) 2002-2026 Kestrel Software. All rights reserved.\n";

// The generation time is the one part of a report that changes from run to run.
std::string mask_time(const std::string& report) {
  static const std::regex kTime(
      R"(<CELL_TEXT STYLE="Array">(Sun|Mon|Tue|Wed|Thu|Fri|Sat) [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d +\d+</CELL_TEXT>)");
  return std::regex_replace(report, kTime, "<CELL_TEXT STYLE=\"Array\">TIME</CELL_TEXT>");
}

bool xml_well_formed(const std::string& path) {
  const std::string cmd = "xmllint --noout '" + path + "' 2>/dev/null";
  return std::system(cmd.c_str()) == 0;
}

std::string info_row(const char* label, const std::string& value, const char* style = "Array") {
  return std::string("<ROW>\n<CELL_TEXT STYLE=\"") + style + "\">" + label +
         "</CELL_TEXT>\n<CELL_TEXT STYLE=\"" + style + "\">" + value + "</CELL_TEXT>\n</ROW>\n";
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = make_temp_dir(); }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

TEST_F(EndToEnd, OneCheckFromTraceToReport) {
  write_file(dir_ + "/road.tsf",
             "IN \"File\" 1 \"Demo\"\nIN \"TestCase\" a \"Case1\"\nLK 42\n"
             "TX 12 \"x == 1\"\nID 1 2\nED \n");
  write_file(dir_ + "/road.tdf", "SF 5 1 2\nNI a 1\nST 96\nNO c \"ok\"\n");
  ProgramResult r =
      run_program({TALLYREP_BIN, "-tsf", "road.tsf", "-tdf", "road.tdf", "-xrd", "road.xrd"}, dir_,
                  {"KSPX_WORKSHOP_HEADER_FILE"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(kBanner, r.err);
  EXPECT_EQ("", r.out);
  std::string expected =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<DAZU>\n<APIDOC>\n"
      "<DOCUMENT TITLE=\"road.xrd\" TAG=\" x0\">\n<SECTION TAG=\"filex1\">\n"
      "<TITLE LEVEL=\"0\" TAG=\"2\" STYLE=\"Title1\">\n<TEXT>Report Information</TEXT>\n"
      "</TITLE>\n<TABLE BORDER=\"1\">\n"
      "<ROW STYLE=\"Array Title\"><CELL_TEXT COLSPAN=\"1\" ROWSPAN=\"0\">Kestrel(R) Proofline "
      "Java Test Report Generator</CELL_TEXT></ROW><ROW STYLE=\"Array Title\"><CELL_TEXT "
      "COLSPAN=\"1\" ROWSPAN=\"0\">Copyright (C) 2002-2026 Kestrel Software. All rights "
      "reserved.</CELL_TEXT></ROW>";
  expected += info_row("Project", " ") + info_row("Project File", " ") +
              info_row("Project Configuration", " ") + info_row("Workspace", " ") +
              info_row("Test Node", " ") + info_row("Report File", "road.xrd") +
              info_row("Generation Time", "TIME") + info_row("Passed", "1", "Array Passed") +
              info_row("Failed", "0") + info_row("Total", "1");
  expected +=
      "</TABLE>\n</SECTION>\n"
      "<DAZU:NODE name=\"Demo\" type=\"Test Driver\" state=\"ok\" icone=\"testscript.xpm\">"
      "<SECTION TAG=\"rootx3\">\n"
      "<TITLE LEVEL=\"0\" TAG=\"4\" STYLE=\"Title1 Passed\">\n<TEXT>Test Driver Demo</TEXT>\n"
      "</TITLE>\n"
      "<DAZU:NODE name=\"Case1\" type=\"Test Case\" state=\"ok\" sum=\"1\" icone=\"method.xpm\">"
      "<TITLE LEVEL=\"1\" TAG=\"5\" STYLE=\"Title2 Passed\">\n<TEXT>Test Case Case1</TEXT>\n"
      "</TITLE>\n<TABLE BORDER=\"1\" WIDTH=\"40,15,15,15,15\">\n<ROW>\n"
      "<CELL_TEXT STYLE=\"Array Title\">Expression</CELL_TEXT>\n"
      "<CELL_TEXT STYLE=\"Array Title\">Status</CELL_TEXT>\n"
      "<CELL_TEXT STYLE=\"Array Title\">Executed</CELL_TEXT>\n"
      "<CELL_TEXT STYLE=\"Array Title\">Failed</CELL_TEXT>\n"
      "<CELL_TEXT STYLE=\"Array Title\">Passed</CELL_TEXT>\n</ROW>\n<ROW>\n"
      "<CELL STYLE=\"Array Passed\"><LINK TARGET=\"road.tsf line 42\">\n<TEXT>x == 1</TEXT>\n"
      "</LINK>\n</CELL>\n"
      "<CELL_TEXT STYLE=\"Array Passed\">Passed</CELL_TEXT>\n"
      "<CELL_TEXT STYLE=\"Array Passed\">1</CELL_TEXT>\n"
      "<CELL_TEXT STYLE=\"Array Passed\">0</CELL_TEXT>\n"
      "<CELL_TEXT STYLE=\"Array Passed\">1</CELL_TEXT>\n</ROW>\n</TABLE>\n</DAZU:NODE>\n"
      "</SECTION>\n</DAZU:NODE>\n</DOCUMENT>\n</APIDOC>\n</DAZU>\n";
  EXPECT_EQ(expected, mask_time(read_file(dir_ + "/road.xrd")));
  EXPECT_TRUE(xml_well_formed(dir_ + "/road.xrd"));
}

TEST_F(EndToEnd, ExamplesGiveTheCommittedReport) {
  const std::string examples = std::string(TALLYREP_SOURCE_DIR) + "/examples";
  ProgramResult r =
      run_program({TALLYREP_BIN, "-tsf", "examples/calc_test.tsf", "examples/calc_memory.tsf",
                   "-tdf", "examples/calc.tdf", "-xrd", dir_ + "/calc.xrd"},
                  TALLYREP_SOURCE_DIR, {"KSPX_WORKSHOP_HEADER_FILE"});
  ASSERT_EQ(0, r.status) << r.err;
  std::string produced = read_file(dir_ + "/calc.xrd");
  // The committed report names the path used by `make demo`.
  const std::string committed = read_file(examples + "/calc.xrd");
  const std::string demo_path = "build-release/demo/calc.xrd";
  std::string normalised = produced;
  for (size_t at; (at = normalised.find(dir_ + "/calc.xrd")) != std::string::npos;) {
    normalised.replace(at, dir_.size() + 9, demo_path);
  }
  EXPECT_EQ(mask_time(committed), mask_time(normalised));
  EXPECT_TRUE(xml_well_formed(dir_ + "/calc.xrd"));
}

TEST_F(EndToEnd, HeaderFileFillsTheProjectRows) {
  write_file(dir_ + "/h.txt",
             "$PROJECT_NAME=Calc\n$PROJECT_PATH=/home/u//calc/\n$NAME='Node 1';comment\n"
             "$CONFIGURATION=Release\n$WORKSPACE_NAME=ws\n");
  write_file(dir_ + "/e.tdf", "");
  ProgramResult r = run_program({TALLYREP_BIN, "-tsf", "-tdf", "e.tdf", "-xrd", "a&b\".xrd"}, dir_,
                                {"KSPX_WORKSHOP_HEADER_FILE=" + dir_ + "/h.txt"});
  ASSERT_EQ(0, r.status) << r.err;
  const std::string report = read_file(dir_ + "/a&b\".xrd");
  EXPECT_NE(std::string::npos, report.find(info_row("Project File", "/home/u/calc/Calc.kvp")));
  EXPECT_NE(std::string::npos, report.find(info_row("Test Node", "Node 1")));
  EXPECT_NE(std::string::npos, report.find(info_row("Report File", "a&#38;b\".xrd")));
  EXPECT_NE(std::string::npos, report.find("TAG=\"Node 1x0\""));
  EXPECT_TRUE(xml_well_formed(dir_ + "/a&b\".xrd"));
}

}  // namespace
