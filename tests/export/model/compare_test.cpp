// Comparing a run with a baseline: every kind of change, tests met twice,
// merged reports, and trees too deep for paths to be spelled out per node.
#include "export/model/compare.h"

#include <gtest/gtest.h>

#include <map>

#include "export/export_helpers.h"
#include "export/model/test_paths.h"

namespace {

TestRun& read_fixture(const char* name, TestRun& r) {
  std::string error;
  EXPECT_EQ(read_run(fixture(name), r, error), 0) << name << ": " << error;
  return r;
}

// The change of each test, by its path of names.
std::map<std::string, TestChange> changes_by_path(const TestRun& r) {
  std::map<std::string, TestChange> by_path;
  PathCursor path(r, PATH_NAMES, kNoCut);
  for (uint32_t i = 0; i < r.nodes.size(); ++i)
    if (is_test(r, r.nodes[i])) by_path[std::string(path.at(i))] = r.nodes[i].change;
  return by_path;
}

TEST(Compare, EachTestGetsItsKindOfChange) {
  TestRun now, before;
  compare_runs(read_fixture("changes_new.xrd", now), read_fixture("changes_base.xrd", before),
               "changes_base.xrd");
  const Changes& c = now.changes;
  std::map<std::string, TestChange> got = changes_by_path(now);
  const struct {
    const char* test;
    TestChange change;
  } cases[] = {
      {"stays", CHANGE_NONE},                 // passed, passes
      {"idle", CHANGE_NONE},                  // not executed, passes
      {"breaks", CHANGE_NEW_FAILURE},         // passed, fails
      {"added_failing", CHANGE_NEW_FAILURE},  // new, fails
      {"fixed", CHANGE_FIXED},                // failed, passes
      {"Mock.call", CHANGE_FIXED},            // a stub is a test too
      {"still", CHANGE_STILL_FAILING},
      {"added", CHANGE_NEW_TEST},
      {"stops", CHANGE_STOPPED},  // passed, not executed
      {"twice", CHANGE_NONE},     // siblings of one name match in their order
      {"twice (2)", CHANGE_NEW_FAILURE},
  };
  for (const auto& k : cases) {
    auto it = got.find(std::string("ChangeTest/S/") + k.test);
    ASSERT_NE(it, got.end()) << k.test;
    EXPECT_EQ(it->second, k.change) << k.test;
  }
  ASSERT_EQ(c.removed.size(), 1u);
  EXPECT_EQ(c.removed[0].path, "ChangeTest/S/gone");
  EXPECT_EQ(c.removed[0].state, STATE_PASSED);
  const uint64_t counts[CHANGE_KINDS] = {3, 3, 2, 1, 1, 1, 1};
  for (int k = 0; k < CHANGE_KINDS; ++k) EXPECT_EQ(c.counts[k], counts[k]) << kChangeKeys[k];
}

// A merged report's own sections are left out of the paths; a driver that ran
// on two machines matches the baseline once, its second run is new.
TEST(Compare, MergedReportMatchesBelowItsReportSections) {
  const std::string path = fixture("changes_new.xrd");
  TestRun merged, before;
  size_t failed = 0;
  std::string error;
  ASSERT_EQ(run_read({xrd_file(path.c_str()), xrd_file(path.c_str())}, {"m1.xrd", "m2.xrd"}, merged,
                     nullptr, failed, error),
            0)
      << error;
  compare_runs(merged, read_fixture("changes_base.xrd", before), "changes_base.xrd");
  const Changes& c = merged.changes;
  EXPECT_EQ(c.counts[CHANGE_FIXED], 2u);
  EXPECT_EQ(c.counts[CHANGE_STILL_FAILING], 1u);
  EXPECT_EQ(c.counts[CHANGE_NEW_FAILURE], 3u + 4u);  // the second copy's failures are all new
  EXPECT_EQ(c.counts[CHANGE_NEW_TEST], 1u + 7u);
  EXPECT_TRUE(c.removed.size() == 1 && c.removed[0].path == "ChangeTest/S/gone");
}

// A chain of suites 100,000 deep: spelling each section's path would take
// gigabytes; matching by the parent's path and one name takes the tree's size,
// and the path of a removed test is cut as a long classname is.
TEST(Compare, DeepTreesCompareInLinearSpace) {
  const int deep = 100000;
  std::string open, close;
  for (int i = 0; i < deep; ++i) open += "<DAZU:NODE name=\"n\" type=\"Test Suite\" state=\"ok\">";
  for (int i = 0; i < deep; ++i) close += "</DAZU:NODE>";
  auto leaf = [](const char* name, const char* state) {
    return std::string("<DAZU:NODE name=\"") + name + "\" type=\"Test Case\" state=\"" + state +
           "\"/>";
  };
  TestRun now;
  std::string error;
  ASSERT_EQ(parse_text(xrd_document(open + leaf("t", "ok") + close), now, error), 0) << error;
  const std::string before = xrd_document(open + leaf("t", "ko") + leaf("u", "ok") + close);
  ASSERT_EQ(compare_with_baseline(now, xrd_bytes(before.data(), before.size()), "b.xrd", error), 0)
      << error;
  const Changes& c = now.changes;
  EXPECT_EQ(now.nodes[deep].change, CHANGE_FIXED);
  ASSERT_EQ(c.removed.size(), 1u);
  // "n/" 100,000 times, then "u": both ends kept around an ellipsis.
  const std::string& path = c.removed[0].path;
  EXPECT_LE(path.size(), kPathCut.limit);
  EXPECT_EQ(path.rfind("n/n/", 0), 0u);
  EXPECT_EQ(path.substr(path.size() - 4), "/n/u");
}

}  // namespace
