// GitHub workflow commands: an error at the first failed check of each failed
// test, new failures first, then a notice for the rest.
#include <gtest/gtest.h>

#include "export/export_helpers.h"
#include "export/model/compare.h"
#include "export/write/writers.h"

namespace {

TEST(GithubAnnotations, OneErrorPerFailedTestAtItsFirstFailedCheck) {
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::vector<FailedCheck>>> tests;
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
    ASSERT_EQ(parse_text(failing_report(c.tests), r, error), 0) << error;
    EXPECT_EQ(out_capture([&](OutBuffer& o) { github_annotations(o, r, "see x.html"); }),
              c.expected)
        << c.what;
  }
}

// GitHub shows 10 errors a step: the new failures since the baseline come
// first, and one notice says how many more failed and where to read them.
TEST(GithubAnnotations, TenErrorsNewFailuresFirstThenANotice) {
  std::vector<std::pair<std::string, std::vector<FailedCheck>>> now, before;
  for (int i = 0; i < 14; ++i) {
    now.push_back({"t" + std::to_string(i), {{"x", "T.java line 1"}}});
    if (i < 12) before.push_back(now.back());
  }
  TestRun r;
  std::string error;
  ASSERT_EQ(parse_text(failing_report(now), r, error), 0) << error;
  const std::string base = failing_report(before);
  ASSERT_EQ(compare_with_baseline(r, xrd_bytes(base.data(), base.size()), "old.xrd", error), 0);
  const std::string got =
      out_capture([&](OutBuffer& o) { github_annotations(o, r, "see x.html"); });
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

}  // namespace
