// Tests of the report header: the environment variable, line pieces and cuts,
// key order, values, trimming and the project file path.
#include "report/header.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "report/report_fixture.h"

namespace {

using namespace std::string_literals;

const char* kVariable = "KSPX_WORKSHOP_HEADER_FILE";

class HeaderFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_temp_dir();
    path_ = dir_ + "/header.ini";
  }
  void TearDown() override {
    if (file_) std::fclose(file_);
    header_release();
    ::unsetenv(kVariable);
    std::filesystem::remove_all(dir_);
  }
  // Reads the values from a stream of `content`, left open in file_.
  bool load(const std::string& content) {
    if (file_) std::fclose(file_);
    file_ = std::tmpfile();
    std::fwrite(content.data(), 1, content.size(), file_);
    std::rewind(file_);
    header_scan(file_);
    return true;
  }
  static std::string value(const char* text) { return text ? text : "<none>"; }
  std::string dir_;
  std::string path_;
  std::FILE* file_ = nullptr;
};

TEST_F(HeaderFile, NoVariableEmptyVariableMissingFileOrDirectoryLoadsNothing) {
  ::unsetenv(kVariable);
  EXPECT_FALSE(header_load());
  EXPECT_EQ(get_project_name(), nullptr);
  EXPECT_EQ(get_project_file(), nullptr);
  EXPECT_EQ(get_test_node_name(), nullptr);
  EXPECT_EQ(get_workspace_name(), nullptr);
  EXPECT_EQ(get_configuration(), nullptr);
  ::setenv(kVariable, "", 1);
  EXPECT_FALSE(header_load());
  ::setenv(kVariable, "/nonexistent/dir/header.ini", 1);
  EXPECT_FALSE(header_load());
  ::setenv(kVariable, "/tmp", 1);
  EXPECT_FALSE(header_load());
}

TEST_F(HeaderFile, AllFiveKeysAndTheProjectFile) {
  ASSERT_TRUE(
      load("$PROJECT_NAME=Demo\n$PROJECT_PATH=/home/u/demo/\n$NAME='Node 1'\n"
           "$CONFIGURATION=Debug ;the usual\n$WORKSPACE_NAME=ws\n"));
  EXPECT_EQ(value(get_project_name()), "Demo");
  EXPECT_EQ(value(get_project_file()), "/home/u/demo/Demo.kvp");
  EXPECT_EQ(value(get_test_node_name()), "Node 1");
  EXPECT_EQ(value(get_configuration()), "Debug");
  EXPECT_EQ(value(get_workspace_name()), "ws");
  header_release();
  EXPECT_EQ(get_project_name(), nullptr);
  EXPECT_EQ(get_workspace_name(), nullptr);
}

TEST_F(HeaderFile, ProjectFileNeedsTheNameFirstAndCollapsesSeparators) {
  ASSERT_TRUE(load("$PROJECT_NAME=Demo\n$PROJECT_PATH=/home/u//demo\n"));
  EXPECT_EQ(value(get_project_file()), "/home/u/demo/Demo.kvp");
  ASSERT_TRUE(load("$PROJECT_NAME=Demo\n$PROJECT_PATH=C:\\work\\\n"));
  EXPECT_EQ(value(get_project_file()), "C:\\work\\Demo.kvp");
  ASSERT_TRUE(load("$PROJECT_PATH=/home/u/demo/\n$PROJECT_NAME=Demo\n"));
  EXPECT_EQ(get_project_file(), nullptr);
  EXPECT_EQ(value(get_project_name()), "Demo");
}

TEST_F(HeaderFile, FirstLineWithAKeyDecidesAndALineServesOneKey) {
  ASSERT_TRUE(load("$NAME no equals sign\n$NAME=second\n"));
  EXPECT_EQ(get_test_node_name(), nullptr);
  ASSERT_TRUE(load("$PROJECT_NAME=p $WORKSPACE_NAME=w\n"));
  EXPECT_EQ(value(get_project_name()), "p $WORKSPACE_NAME=w");
  EXPECT_EQ(get_workspace_name(), nullptr);
  ASSERT_TRUE(load("x=1 $NAME\n"));
  EXPECT_EQ(value(get_test_node_name()), "1 $NAME");
  // "$WORKSPACE_NAME" does not hold "$NAME".
  ASSERT_TRUE(load("$WORKSPACE_NAME=w\n"));
  EXPECT_EQ(value(get_workspace_name()), "w");
  EXPECT_EQ(get_test_node_name(), nullptr);
}

TEST_F(HeaderFile, TrimmingQuotesCommentsTabsAndLineEnds) {
  ASSERT_TRUE(load("$NAME = 'Node 1'\n"));
  EXPECT_EQ(value(get_test_node_name()), "'Node 1");
  ASSERT_TRUE(load("$NAME=Node1 ;comment\n"));
  EXPECT_EQ(value(get_test_node_name()), "Node1");
  ASSERT_TRUE(load("$NAME=abc\t;comment\n"));
  EXPECT_EQ(value(get_test_node_name()), "abc");
  ASSERT_TRUE(load("$NAME=\tabc\n"));
  EXPECT_EQ(get_test_node_name(), nullptr);
  ASSERT_TRUE(load("$NAME=crlf\r\n"));
  EXPECT_EQ(value(get_test_node_name()), "crlf");
  ASSERT_TRUE(load("$NAME=   \n"));
  EXPECT_EQ(value(get_test_node_name()), "");
  ASSERT_TRUE(load("$NAME=\n"));
  EXPECT_EQ(get_test_node_name(), nullptr);
  ASSERT_TRUE(load("$NAME=last line without feed"));
  EXPECT_EQ(value(get_test_node_name()), "last line without feed");
}

TEST_F(HeaderFile, NulEndsALine) {
  ASSERT_TRUE(load("$NAME=ab\0cd\n$CONFIGURATION=c\n"s));
  EXPECT_EQ(value(get_test_node_name()), "ab");
  EXPECT_EQ(value(get_configuration()), "c");
  ASSERT_TRUE(load("\0$NAME=hidden\n$NAME=seen\n"s));
  EXPECT_EQ(value(get_test_node_name()), "seen");
}

TEST_F(HeaderFile, LongLinesAreReadInPiecesOf2046) {
  // The key stands in the second piece, which is a line of its own.
  std::string line = std::string(2046, 'a') + "$NAME=piece";
  ASSERT_TRUE(load(line + "\n"));
  EXPECT_EQ(value(get_test_node_name()), "piece");
  // A value running past the piece is cut there.
  line = "$NAME=" + std::string(2100, 'v');
  ASSERT_TRUE(load(line + "\n"));
  EXPECT_EQ(value(get_test_node_name()), std::string(2040, 'v'));
}

TEST_F(HeaderFile, ReadingStopsOnceAllKeysAreKnown) {
  ASSERT_TRUE(
      load("$PROJECT_NAME=a\n$PROJECT_PATH=b\n$NAME=c\n$CONFIGURATION=d\n"
           "$WORKSPACE_NAME=e\nrest\n"));
  EXPECT_STREQ(header_read_line(file_), "rest");
  EXPECT_EQ(header_read_line(file_), nullptr);
}

TEST(HeaderValue, Rules) {
  EXPECT_FALSE(header_value(nullptr, "$NAME"));
  EXPECT_FALSE(header_value("$NAME=x", nullptr));
  EXPECT_FALSE(header_value("$NAMEx", "$NAME"));
  EXPECT_FALSE(header_value("$NAME=", "$NAME"));
  EXPECT_EQ(*header_value("a=b $NAME", "$NAME"), "b $NAME");
  EXPECT_EQ(*header_value("$NAME=a\nb", "$NAME"), "a");
  EXPECT_EQ(*header_value("$NAME=a\tb", "$NAME"), "a");
}

TEST(ValueTrim, QuotesCommentsAndSpaces) {
  EXPECT_EQ(value_trim("'x'"), "x");
  EXPECT_EQ(value_trim("'"), "");
  EXPECT_EQ(value_trim("''"), "");
  EXPECT_EQ(value_trim(" 'x' "), "'x'");
  EXPECT_EQ(value_trim("'x ;c'"), "x");
  EXPECT_EQ(value_trim("  a b  "), "a b");
  EXPECT_EQ(value_trim("    "), "");
}

TEST(ProjectFilePath, Rules) {
  EXPECT_FALSE(project_file_path(std::nullopt, std::string("/p")));
  EXPECT_FALSE(project_file_path(std::string("n"), std::nullopt));
  EXPECT_EQ(*project_file_path(std::string("n"), std::string("")), "/n.kvp");
  EXPECT_EQ(*project_file_path(std::string("n"), std::string("a\\/\\b")), "a\\b/n.kvp");
  std::string text = "//a\\\\b/\\c";
  collapse_separators(text);
  EXPECT_EQ(text, "/a\\b/c");
}

}  // namespace
