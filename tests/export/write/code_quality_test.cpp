// GitLab Code Quality: one issue per failed check, with fingerprints that
// stay when lines move and differ between checks.
#include <gtest/gtest.h>

#include <set>

#include "export/export_helpers.h"
#include "export/write/writers.h"

namespace {

TEST(CodeQuality, IssuesWithStableUniqueFingerprints) {
  auto fingerprints = [](const std::string& xrd, std::string& json) {
    TestRun r;
    std::string error;
    EXPECT_EQ(parse_text(xrd, r, error), 0) << error;
    json = out_capture([&](OutBuffer& o) { code_quality(o, r); });
    std::vector<std::string> found;
    for (size_t at = json.find("\"fingerprint\": \""); at != std::string::npos;
         at = json.find("\"fingerprint\": \"", at + 1))
      found.push_back(json.substr(at + 16, 32));
    return found;
  };
  std::string json, moved_json;
  const auto first = fingerprints(
      failing_report(
          {{"t", {{"a", "T.java line 3"}, {"a", "T.java line 3"}, {"b", "T.java line 4"}}},
           {"u", {{"a", "T.java line 3"}}}}),
      json);
  const auto moved = fingerprints(
      failing_report(
          {{"t", {{"a", "T.java line 9"}, {"a", "T.java line 9"}, {"b", "T.java line 4"}}},
           {"u", {{"a", "T.java line 3"}}}}),
      moved_json);
  ASSERT_EQ(first.size(), 4u) << json;
  EXPECT_EQ(std::set<std::string>(first.begin(), first.end()).size(), 4u) << json;
  EXPECT_EQ(first, moved);
  EXPECT_EQ(json.rfind("[\n  {\"description\": \"Failed check a in D/t\", \"check_name\": "
                       "\"tallyrep-failed-check\", \"fingerprint\": \"",
                       0),
            0u)
      << json;
  EXPECT_NE(json.find("\"severity\": \"major\", \"location\": {\"path\": \"T.java\", \"lines\": "
                      "{\"begin\": 3}}}"),
            std::string::npos)
      << json;
}

}  // namespace
