// The paths every output names tests by (the names from the top down, joined
// by "/"), spelled as names or as anchors of the page, and the one cutter of
// texts too long for where they go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "export/model/test_run.h"

// A text longer than `limit` keeps `keep` bytes at each end around an
// ellipsis; both cuts fall on character starts.
struct TextCut {
  size_t limit;
  size_t keep;
};
// Paths and classnames: a deep nesting of tests gives output linear in the
// report's size.
constexpr TextCut kPathCut{1024, 510};
// What a cell of a Markdown table still shows.
constexpr TextCut kMarkdownCut{300, 150};
// No cut at all.
constexpr TextCut kNoCut{SIZE_MAX, 0};

// The cut as offsets: text[0, head) and text[tail, n) are kept (head == n
// when the text is short enough).
void text_cut(const char* text, size_t n, TextCut rule, size_t& head, size_t& tail);
// The cut text, with "…" between its ends.
std::string text_shorten(std::string_view text, TextCut rule);

// The last part of a path ('/' or '\' before it), as Java stack frames name files.
std::string_view path_base_name(std::string_view path);

// The URL-safe form of one name in a page anchor: letters, digits, '-' and
// '.' stay, every other byte becomes ~XX, so that '/' only ever joins names
// and two names never give one anchor.
std::string anchor_segment(std::string_view name);

// A test's identity, the one key by which the baseline, merged reports, the
// history and the gate tell two tests apart: its whole path of names (as
// PathCursor spells it with PATH_NAMES, the nodes of merged reports left
// out). A path longer than kPathCut.limit is stored as its kPathCut form,
// " #" and 32 hex digits of a digest of the whole path, so that two paths
// that differ anywhere are two tests while each identity stays short (a deep
// nesting would make whole paths quadratic). The digest has fixed constants:
// histories keep identities from run to run.
constexpr std::string_view kIdentityDigestMark = " #";

enum PathSpelling : uint8_t {
  PATH_NAMES,   // unique_name of each node
  PATH_ANCHORS  // anchor_segment of each unique_name
};

// The drivers (nodes) by the name they go by, each group in run order and the
// groups in the order of their first driver: shards that each ran some tests
// of one driver give it one name (run_reports.h), and the outputs that list
// drivers list it once, as an unsplit run gives it.
std::vector<std::vector<uint32_t>> driver_groups(const TestRun& run);
// The tests below the drivers of one group, by state: what both the JUnit
// suite and the JSON summary's driver count.
TestCounts group_counts(const TestRun& run, const std::vector<uint32_t>& group);

// Calls visit(i, classname) for each test below driver node `root`, in run
// order, with the name JUnit readers group it under and Java stack frames
// give its class: the driver's name and the names of the suites and classes
// above the test, joined by '.' and cut by kPathCut. A test directly under the
// driver reads like the nested ones.
void each_driver_test(const TestRun& run, uint32_t root,
                      const std::function<void(uint32_t, std::string_view)>& visit);

// The paths of nodes asked for in run order (i never decreasing), cut by
// the rule. Each name is added and dropped once, so a deep chain of tests costs
// its length, not the sum of its depths. The nodes that stand for merged
// reports are left out, so that a test has the path it has in one report,
// whatever the reports were named or the order they came in.
class PathCursor {
 public:
  PathCursor(const TestRun& run, PathSpelling spelling, TextCut cut)
      : run_(run), spelling_(spelling), cut_(cut) {}
  // The path of node i, valid until the next call; *cut (when given) tells
  // whether it was cut.
  std::string_view at(uint32_t i, bool* cut = nullptr);
  // The identity of node i (see test_identity), valid until the next call;
  // *legacy (when given) gets what histories written before it was whole
  // knew the node by: the path cut by kPathCut, which is the identity itself
  // for a path that short.
  std::string_view identity(uint32_t i, std::string_view* legacy = nullptr);
  // The names of the path spelled last, from the top down and uncut (the
  // nodes of merged reports give none), into `names`; valid until the next call.
  void names(std::vector<std::string_view>& names) const;

 private:
  struct Level {
    uint32_t node;
    size_t length;       // of the path down to it
    uint64_t digest[2];  // of the path down to it (test_identity)
  };
  const TestRun& run_;
  PathSpelling spelling_;
  TextCut cut_;
  uint32_t next_ = 0;
  std::string path_, shown_, scratch_, legacy_;
  std::vector<Level> levels_;
};
