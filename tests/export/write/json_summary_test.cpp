// The JSON summary: linear however deep the tests nest, and JSON that a
// strict parser accepts for every fixture, compared or not.
#include <gtest/gtest.h>

#include "export/model/test_paths.h"
#include "export/write/summary_helpers.h"

namespace {

// Tests nested 20,000 deep, each named by its whole path, made a JSON
// summary of 1.2 GB from a 1.3 MB report; paths are cut as classnames are.
TEST(Summary, DeeplyNestedTestsKeepTheJsonLinear) {
  const int deep = 20000;
  std::string body = "<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\">";
  for (int i = 0; i < deep; ++i) body += "<DAZU:NODE name=\"t\" type=\"Test Case\" state=\"ko\">";
  for (int i = 0; i <= deep; ++i) body += "</DAZU:NODE>";
  TestRun r;
  std::string error;
  ASSERT_EQ(parse_text(xrd_document(body), r, error), 0) << error;
  const std::string json = render(json_summary, r);
  EXPECT_LT(json.size(), size_t{deep} * 2 * kPathCut.limit);
  EXPECT_NE(json.find("{\"path\": \"D/t\", \"name\": \"t\""), std::string::npos);
  // The cursor spells each path as the names from the top down give it, cut
  // by the one cutter.
  PathCursor path(r, PATH_NAMES, kPathCut);
  std::string scratch;
  for (uint32_t i = 0; i < r.nodes.size(); i += 997) {
    std::string spelled;
    for (int32_t at = static_cast<int32_t>(i); at >= 0; at = r.nodes[at].parent)
      spelled = std::string(unique_name(r, static_cast<uint32_t>(at), scratch)) +
                (spelled.empty() ? "" : "/") + spelled;
    ASSERT_EQ(path.at(i), text_shorten(spelled, kPathCut)) << i;
  }
}

// Every fixture, a crafted name and a comparison give JSON that a strict
// parser reads (no NaN or Infinity), with the version as the first key.
TEST(Summary, JsonParses) {
  if (run("command -v python3").status != 0) GTEST_SKIP() << "python3 is missing";
  std::vector<std::string> reports = {std::string(TALLYREP_SOURCE_DIR) + "/examples/calc.xrd"};
  for (const char* name : {"calc_like.xrd", "encodings.xrd", "old_head.xrd", "old_quotes.xrd",
                           "worked.xrd", "summary_base.xrd", "summary_new.xrd"})
    reports.push_back(fixture(name));
  write_file(scratch("crafted.xrd"), failing(2, 2, 3, "\"q\\\x01\t<\xC3\xA9\xE2\x80\xA8>"));
  reports.push_back(scratch("crafted.xrd"));
  std::string error, files;
  for (size_t k = 0; k < reports.size(); ++k) {
    for (bool compared : {false, true}) {
      TestRun r;
      ASSERT_EQ(read_run(reports[k], r, error), 0) << reports[k] << ": " << error;
      if (compared) compare_with(r, fixture("summary_base.xrd"), "summary_base.xrd");
      std::string out = scratch(std::to_string(k) + (compared ? "-compared" : "") + ".json");
      ASSERT_EQ(write_as("--json", r, out, error), 0) << error;
      files += " " + out;
    }
  }
  // One interpreter for all files: starting one is the slow part.
  ProgramResult parsed =
      run("python3 -c 'import json,sys\n"
          "def bad(c): raise ValueError(\"constant \" + c)\n"
          "for f in sys.argv[1:]:\n"
          "  d = json.load(open(f, encoding=\"utf-8\"), parse_constant=bad,"
          " object_pairs_hook=lambda p: p)\n"
          "  assert d[0][0] == \"schema_version\", f'" +
          files);
  EXPECT_EQ(parsed.status, 0) << parsed.err;
}

}  // namespace
