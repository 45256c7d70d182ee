// JUnit in parts under a size: each part a whole document under the limit,
// every suite in one part, every test once, and nothing written when a suite
// alone is too large; parts of an earlier, larger run go.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <pugixml.hpp>
#include <set>

#include "export/export_helpers.h"

namespace {

// Drivers D0, D1... with 1 to 8 test cases each, every third one failing.
std::string drivers(int count, int tests_of_last = 0) {
  std::string body;
  for (int d = 0; d < count; ++d) {
    const int tests = d == count - 1 && tests_of_last ? tests_of_last : 1 + d % 8;
    body += "<DAZU:NODE name=\"D" + std::to_string(d) + "\" type=\"Test Driver\" state=\"ok\">";
    for (int t = 0; t < tests; ++t) {
      const bool failed = (d + t) % 3 == 0;
      body += "<DAZU:NODE name=\"t" + std::to_string(t) + "\" type=\"Test Case\" state=\"" +
              (failed ? "ko" : "ok") + "\">";
      if (failed)
        body +=
            "<TABLE><ROW><CELL STYLE=\"Array Failed\"><LINK TARGET=\"T.java line 7\">"
            "<TEXT>value == expected</TEXT></LINK></CELL></ROW></TABLE>";
      body += "</DAZU:NODE>";
    }
    body += "</DAZU:NODE>";
  }
  return xrd_document(body);
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

int write_parts(const TestRun& r, const std::string& path, uint64_t limit, std::string& error) {
  const OutputSettings settings{false, kMarkdownLimit, "", limit};
  return output_write(*output_kind("--junit"), r, path.c_str(), false, settings, error);
}

TEST(JunitParts, WholeDocumentsUnderTheLimitEverySuiteInOnePart) {
  TestRun r;
  std::string error;
  ASSERT_EQ(parse_text(drivers(60), r, error), 0) << error;
  const std::string path = scratch("parts.xml");
  const uint64_t limit = 4096;
  ASSERT_EQ(write_parts(r, path, limit, error), 0) << error;
  EXPECT_FALSE(exists(path));  // only the parts: a glob of them counts each test once
  std::vector<std::string> suites;
  long long tests = 0;
  size_t parts = 0;
  for (size_t k = 1; exists(junit_part_name(path.c_str(), k)); ++k, ++parts) {
    const std::string text = read_file(junit_part_name(path.c_str(), k));
    EXPECT_LT(text.size(), limit) << k;
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(text.c_str())) << k;
    long long in_part = 0;
    for (pugi::xml_node suite : doc.child("testsuites").children("testsuite")) {
      suites.push_back(suite.attribute("name").value());
      for (pugi::xml_node c : suite.children("testcase")) {
        (void)c;
        ++in_part;
      }
    }
    EXPECT_EQ(doc.child("testsuites").attribute("tests").as_llong(), in_part) << k;
    tests += in_part;
  }
  EXPECT_GT(parts, 3u);
  EXPECT_EQ(tests, static_cast<long long>(r.counted.tests));
  ASSERT_EQ(suites.size(), 60u);
  for (size_t d = 0; d < suites.size(); ++d) EXPECT_EQ(suites[d], "D" + std::to_string(d));

  // One part now: the earlier run's others would be read as this one's.
  ASSERT_EQ(write_parts(r, path, uint64_t{1} << 30, error), 0) << error;
  EXPECT_TRUE(exists(junit_part_name(path.c_str(), 1)));
  EXPECT_FALSE(exists(junit_part_name(path.c_str(), 2)));
}

TEST(JunitParts, ASuiteLargerThanAPartIsAnErrorWithNothingWritten) {
  TestRun r;
  std::string error;
  ASSERT_EQ(parse_text(drivers(3, 400), r, error), 0) << error;
  const std::string path = scratch("too-large.xml");
  EXPECT_EQ(write_parts(r, path, 4096, error), -1);
  EXPECT_NE(error.find("the test suite D2 takes "), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  EXPECT_FALSE(exists(junit_part_name(path.c_str(), 1)));
}

TEST(JunitParts, PartNames) {
  EXPECT_EQ(junit_part_name("report/junit.xml", 2), "report/junit-2.xml");
  EXPECT_EQ(junit_part_name("junit", 1), "junit-1");
  EXPECT_EQ(junit_part_name("a.b/junit", 3), "a.b/junit-3");
  EXPECT_EQ(junit_part_name("dir/.xml", 1), "dir/.xml-1");
}

}  // namespace
