// Tests of the TDF reader: record layouts, run binding, instances, the node
// stack, recording on lines and on copies, stub marking, and the road of one
// check from both trace files through the roll-up.
#include "readers/jtdffile.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "model/node_types.h"
#include "model/tree.h"
#include "readers/tsffile.h"

namespace {

template <size_t N>
std::string bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

std::vector<TraceNode*> children_of(const TraceNode* node) {
  std::vector<TraceNode*> out;
  for (TraceNode* c = node->first_child; c != nullptr; c = c->next) out.push_back(c);
  return out;
}

// Driver 0 has the words 1 and 2, driver 1 the words 3 and 4. In driver 0 the
// check at 0xc sits under the test case at 0xa, the check at 0xd under the
// test case at 0xb, and the helper check at 0x14 under the class at 0x10.
const char kTwoDrivers[] =
    "IN \"File\" 1 \"Demo\"\n"
    "ID 1 2\n"
    "IN \"TestCase\" a \"Case1\"\n"
    "TX 12 \"x == 1\"\n"
    "SI 1\n"
    "IN \"TestCase\" b \"Case2\"\n"
    "TX 13 \"y == 2\"\n"
    "SI 1\n"
    "IN \"Class\" 10 \"Helper\"\n"
    "TX 20 \"helper()\"\n"
    "ED \n"
    "IN \"File\" 1 \"Other\"\n"
    "ID 3 4\n"
    "IN \"TestCase\" a \"OtherCase\"\n"
    "TX 12 \"z\"\n"
    "ED \n";

class TdfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_init();
    int32_t counter = 0;
    ASSERT_EQ(tsf_read_buffer(kTwoDrivers, sizeof kTwoDrivers - 1, "demo.tsf", &counter), 0);
    ASSERT_EQ(counter, 2);
  }
  void TearDown() override { tree_free(); }

  // Applies the records of `text` to the reader kept by the test.
  void feed(const std::string& text) {
    TraceStream stream;
    stream_open_buffer(stream, text.data(), text.size());
    while (!stream.eof) tdf_read_record(reader, stream);
  }

  static NodeStats stats(int32_t file, int32_t line) {
    TraceNode* node = node_find(file, line);
    return node != nullptr && node->stats != nullptr ? *node->stats : NodeStats{};
  }

  TdfReader reader;
};

TEST_F(TdfTest, RunsBindToDriversByTheirWords) {
  feed("SF 5 1 2\n");
  EXPECT_EQ(reader.current_driver, 0);
  feed("SF 7 3 4\n");
  EXPECT_EQ(reader.current_driver, 1);
  feed("CS 5\n");
  EXPECT_EQ(reader.current_driver, 0);
  feed("CS 6\n");
  EXPECT_EQ(reader.current_driver, -1);
  feed("SF 8 1 2\n");
  EXPECT_EQ(driver_by_run(5), 0);
  EXPECT_EQ(driver_by_run(8), 0);
  feed("SF 9 9 9\n");
  EXPECT_EQ(reader.current_driver, -1);
}

TEST_F(TdfTest, UnboundRunRecordsNothing) {
  feed("SF 5 9 9\nNI a 1\nST 96\nNO c \"ok\"\nGL 97 c\n");
  EXPECT_EQ(reader.current_node, nullptr);
  EXPECT_EQ(stats(0, 12).passed, 0);
  EXPECT_EQ(stats(0, 12).failed, 0);
  EXPECT_EQ(node_find(0, 12)->status, STATUS_NOT_EXECUTED);
}

TEST_F(TdfTest, NoteOnAChildOfTheCurrentNode) {
  feed("SF 5 1 2\nNI a 1\nST 96\nNO c \"ok\"\n");
  EXPECT_EQ(reader.current_node, node_find(0, 10));
  EXPECT_EQ(stats(0, 12).passed, 1);
  EXPECT_EQ(node_find(0, 12)->status, STATUS_EXECUTED);
  EXPECT_EQ(children_of(node_find(0, 10)).size(), 1u);
}

TEST_F(TdfTest, NoteOnACheckDeclaredElsewhereCountsOnOneCopy) {
  feed("SF 5 1 2\nNI b 1\nST 96\nNO c \"ok\"\nNO c \"again\"\nGL 97 c\n");
  std::vector<TraceNode*> under_b = children_of(node_find(0, 11));
  ASSERT_EQ(under_b.size(), 2u);
  TraceNode* copy = under_b[1];
  EXPECT_EQ(copy->line, 12);
  EXPECT_STREQ(copy->text, "x == 1");
  EXPECT_EQ(copy->stats->passed, 2);
  EXPECT_EQ(copy->stats->failed, 1);
  // The model is left untouched.
  EXPECT_EQ(stats(0, 12).passed, 0);
  EXPECT_EQ(node_find(0, 12)->status, STATUS_NOT_EXECUTED);
  EXPECT_EQ(node_find(0, 12), children_of(node_find(0, 10))[0]);
}

TEST_F(TdfTest, GlobalStatusGivesStatusThenLine) {
  feed("SF 5 1 2\nNI a 1\nGL 97 c\n");
  EXPECT_EQ(stats(0, 12).failed, 1);
  EXPECT_EQ(reader.current_status, 0x97);
  EXPECT_EQ(reader.current_outcome, OUTCOME_FAILED);
  feed("NO c \"later\"\n");  // the status stays for later notes
  EXPECT_EQ(stats(0, 12).failed, 2);
}

TEST_F(TdfTest, StatusTable) {
  const int expected[][2] = {{0x64, OUTCOME_ENTERED},
                             {0x65, OUTCOME_PASSED},
                             {0x96, OUTCOME_PASSED},
                             {0x9A, OUTCOME_PASSED},
                             {0x97, OUTCOME_FAILED},
                             {0x9B, OUTCOME_FAILED},
                             {0x9D, OUTCOME_FAILED},
                             {0xA2, OUTCOME_FAILED},
                             {0xA4, OUTCOME_FAILED},
                             {0xA5, OUTCOME_EXECUTED},
                             {0, 0},
                             {1, 0},
                             {0x100, 0},
                             {0x98, 0},
                             {-1, 0}};
  for (const auto& e : expected) EXPECT_EQ(status_to_outcome(e[0]), e[1]) << e[0];
}

TEST_F(TdfTest, StatusWithoutOutcomeStillReachesTheCheck) {
  feed("SF 5 1 2\nNI a 1\nST 1\nNO c \"x\"\n");
  NodeStats s = stats(0, 12);
  EXPECT_EQ(node_find(0, 12)->status, STATUS_EXECUTED);
  EXPECT_EQ(s.executed + s.passed + s.failed + s.entered, 0);
}

TEST_F(TdfTest, MethodNotesMarkStubsForEntryStatuses) {
  struct Case {
    const char* status;
    bool stub;
    int NodeStats::*counter;
  };
  const Case cases[] = {{"64", true, &NodeStats::entered},
                        {"65", true, &NodeStats::passed},
                        {"9d", true, &NodeStats::failed},
                        {"96", false, &NodeStats::passed}};
  for (const Case& c : cases) {
    tree_free();
    tree_init();
    int32_t counter = 0;
    ASSERT_EQ(tsf_read_buffer(kTwoDrivers, sizeof kTwoDrivers - 1, "demo.tsf", &counter), 0);
    reader = TdfReader{};
    feed(std::string("SF 5 1 2\nNI a 1\nME 14 0\nST ") + c.status + "\nNO \"x\"\n");
    EXPECT_EQ(stats(0, 20).*c.counter, 1) << c.status;
    EXPECT_EQ(node_find(0, 16)->type, c.stub ? TYPE_STUB : TYPE_TEST_CLASS) << c.status;
    // The note went to the method, not to the current node.
    EXPECT_EQ(node_find(0, 10)->status, STATUS_PASSED) << c.status;
    EXPECT_EQ(node_find(0, 16)->status, STATUS_EXECUTED) << c.status;
  }
}

TEST_F(TdfTest, CopiesFollowTheModelsTypeChange) {
  // The class at 0x10 is copied under the test case at 0xb; once it becomes a
  // Stub, the earlier copy (still a Test Class) no longer equals it.
  feed("SF 5 1 2\nNI b 1\nST 96\nNO 10 \"a\"\nNO 10 \"b\"\n");
  ASSERT_EQ(children_of(node_find(0, 11)).size(), 2u);
  feed("ME 14 0\nST 64\nNO \"enter\"\nMR \nST 96\nNO 10 \"c\"\nNO 10 \"d\"\n");
  EXPECT_EQ(node_find(0, 16)->type, TYPE_STUB);
  std::vector<TraceNode*> under_b = children_of(node_find(0, 11));
  ASSERT_EQ(under_b.size(), 3u);
  EXPECT_EQ(under_b[1]->type, TYPE_TEST_CLASS);
  EXPECT_EQ(under_b[2]->type, TYPE_STUB);
  EXPECT_EQ(under_b[2]->line, 16);
}

TEST_F(TdfTest, MethodReturnRestoresTheCurrentNode) {
  feed("SF 5 1 2\nNI a 1\nME 14 0\nNI b 2\nCI 2\n");
  EXPECT_EQ(reader.current_node, node_find(0, 11));
  EXPECT_EQ(reader.method_node, node_find(0, 20));
  feed("MR \n");
  EXPECT_EQ(reader.current_node, node_find(0, 10));
  EXPECT_EQ(reader.method_node, nullptr);
  feed("ST 97\nNO \"verdict\"\n");  // now on the current node, a test case
  EXPECT_EQ(node_find(0, 10)->status, STATUS_FAILED);
  EXPECT_EQ(node_find(0, 1)->status, STATUS_EXECUTED);
}

TEST_F(TdfTest, MethodReturnOnAnEmptyStackLeavesNothingCurrent) {
  feed("SF 5 1 2\nNI a 1\nME 14 0\nMR \nMR \n");
  EXPECT_EQ(reader.current_node, nullptr);
  EXPECT_EQ(reader.method_node, nullptr);
  feed("ST 97\nNO \"x\"\nNO c \"y\"\n");
  EXPECT_EQ(node_find(0, 10)->status, STATUS_PASSED);  // as created
  EXPECT_EQ(stats(0, 12).failed, 0);
}

TEST_F(TdfTest, NodeStackHasNoFixedDepth) {
  std::string text = "SF 5 1 2\nNI a 1\n";
  for (int i = 0; i < 100000; ++i) text += "ME 14 0\nNI b 2\n";
  for (int i = 0; i < 100000; ++i) text += "MR \n";
  feed(text);
  EXPECT_EQ(reader.current_node, node_find(0, 10));
  EXPECT_TRUE(reader.node_stack.empty());
}

TEST_F(TdfTest, ChangeInstanceUsesTheDriverOfItsAnnouncement) {
  feed("SF 5 1 2\nNI a 1\nSF 6 3 4\nNI a 2\nCI 1\n");
  EXPECT_EQ(reader.current_driver, 1);
  EXPECT_EQ(reader.current_node, node_find(0, 10));
  feed("CI 2\n");
  EXPECT_EQ(reader.current_node, node_find(1, 10));
  feed("CI 3\n");  // never announced
  EXPECT_EQ(reader.current_node, nullptr);
}

TEST_F(TdfTest, InstanceListIsNewestFirstWithoutDuplicates) {
  instance_add(reader, 10, 1, 0);
  instance_add(reader, 11, 1, 0);
  instance_add(reader, 10, 1, 0);  // already in the list: 11 stays the newest
  EXPECT_EQ(instance_line(reader, 1), 11);
  instance_add(reader, 10, 1, 1);  // another driver: a new entry
  EXPECT_EQ(instance_line(reader, 1), 10);
  EXPECT_EQ(instance_driver(reader, 1), 1);
  EXPECT_EQ(instance_line(reader, 2), -1);
  EXPECT_EQ(instance_driver(reader, 2), -1);
}

TEST_F(TdfTest, InstanceListMatchesAPlainListOnRandomAnnouncements) {
  struct Entry {
    int32_t line, instance, driver;
  };
  std::vector<Entry> plain;  // newest last
  std::mt19937 random(7);
  for (int step = 0; step < 3000; ++step) {
    int32_t line = static_cast<int32_t>(random() % 5);
    int32_t instance = static_cast<int32_t>(random() % 40);
    int32_t driver = static_cast<int32_t>(random() % 3) - 1;
    bool known = false;
    for (const Entry& e : plain) {
      known = known || (e.line == line && e.instance == instance && e.driver == driver);
    }
    if (!known) plain.push_back({line, instance, driver});
    instance_add(reader, line, instance, driver);
    int32_t probe = static_cast<int32_t>(random() % 45);
    int32_t want_line = -1;
    int32_t want_driver = -1;
    for (auto e = plain.rbegin(); e != plain.rend(); ++e) {
      if (e->instance == probe) {
        want_line = e->line;
        want_driver = e->driver;
        break;
      }
    }
    ASSERT_EQ(instance_line(reader, probe), want_line) << step;
    ASSERT_EQ(instance_driver(reader, probe), want_driver) << step;
  }
}

// Tens of thousands of instances: the tables grow many times and the entries
// fill several chunks, while old instances keep being re-announced.
TEST_F(TdfTest, InstanceListKeepsNewestEntriesAcrossGrowth) {
  struct Newest {
    int32_t line, driver;
  };
  std::map<int32_t, Newest> newest;
  std::set<std::tuple<int32_t, int32_t, int32_t>> seen;
  std::mt19937 random(11);
  for (int step = 0; step < 120000; ++step) {
    // Ids spread over the whole range, with negative ones and 0 among them.
    int32_t instance = static_cast<int32_t>(random() % 40000 * 107361u);
    int32_t line = static_cast<int32_t>(random() % 3);
    int32_t driver = static_cast<int32_t>(random() % 2);
    if (seen.insert({line, instance, driver}).second) newest[instance] = {line, driver};
    instance_add(reader, line, instance, driver);
    if (step % 7 == 0) {
      int32_t probe = static_cast<int32_t>(random() % 41000 * 107361u);
      auto it = newest.find(probe);
      ASSERT_EQ(instance_line(reader, probe), it == newest.end() ? -1 : it->second.line) << step;
      ASSERT_EQ(instance_driver(reader, probe), it == newest.end() ? -1 : it->second.driver)
          << step;
    }
  }
  for (const auto& [instance, want] : newest) {
    ASSERT_EQ(instance_line(reader, instance), want.line);
    ASSERT_EQ(instance_driver(reader, instance), want.driver);
  }
}

TEST_F(TdfTest, ParseRecordLayouts) {
  const std::string text = bytes(
      "SF 1f ffffffff 100000000\n"
      "CS a\n"
      "NI 14 3\n"
      "ST 9d\n"
      "CI 3\n"
      "GL 97 c\n"
      "ME 14 0\n"
      "MR anything\n"
      "XX 1 2\n"
      "NO c \"text\"\n"
      "NO \"current\"\n"
      "NO 0 \"x\"\n"
      "NO \n"
      "NO zz \"x\"\n"
      "NO 0x1a \"x\"\n"
      "NO -1 \"x\"\n"
      "NO 100000000 \"x\"\n"
      "NO \tb\n"
      "NO \0\"x\"\n"
      "NO 1\0002 \"x\"\n"
      "NO d");
  TraceStream stream;
  stream_open_buffer(stream, text.data(), text.size());
  TdfRecord sf = tdf_parse_record(stream);
  EXPECT_EQ(sf.kind, TDF_SF);
  EXPECT_EQ(sf.run, 0x1fu);
  EXPECT_EQ(sf.sig1, 0xFFFFFFFFu);
  EXPECT_EQ(sf.sig2, 0xFFFFFFFFu);
  TdfRecord cs = tdf_parse_record(stream);
  EXPECT_EQ(cs.kind, TDF_CS);
  EXPECT_EQ(cs.run, 10u);
  TdfRecord ni = tdf_parse_record(stream);
  EXPECT_EQ(ni.kind, TDF_NI);
  EXPECT_EQ(ni.line, 20);
  EXPECT_EQ(ni.instance, 3);
  TdfRecord st = tdf_parse_record(stream);
  EXPECT_EQ(st.kind, TDF_ST);
  EXPECT_EQ(st.status, 0x9d);
  TdfRecord ci = tdf_parse_record(stream);
  EXPECT_EQ(ci.kind, TDF_CI);
  EXPECT_EQ(ci.instance, 3);
  TdfRecord gl = tdf_parse_record(stream);
  EXPECT_EQ(gl.kind, TDF_GL);
  EXPECT_EQ(gl.status, 0x97);
  EXPECT_EQ(gl.line, 12);
  TdfRecord me = tdf_parse_record(stream);
  EXPECT_EQ(me.kind, TDF_ME);
  EXPECT_EQ(me.line, 20);
  EXPECT_EQ(tdf_parse_record(stream).kind, TDF_MR);
  EXPECT_EQ(tdf_parse_record(stream).kind, TDF_IGNORED);
  TdfRecord on_line = tdf_parse_record(stream);
  EXPECT_EQ(on_line.kind, TDF_NO_LINE);
  EXPECT_EQ(on_line.line, 12);
  EXPECT_EQ(tdf_parse_record(stream).kind, TDF_NO_CURRENT);
  for (const char* ignored : {"0", "empty", "zz", "0x1a", "-1"}) {
    EXPECT_EQ(tdf_parse_record(stream).kind, TDF_IGNORED) << ignored;
  }
  TdfRecord too_big = tdf_parse_record(stream);  // line -1, which names no node
  EXPECT_EQ(too_big.kind, TDF_NO_LINE);
  EXPECT_EQ(too_big.line, -1);
  TdfRecord tab = tdf_parse_record(stream);
  EXPECT_EQ(tab.kind, TDF_NO_LINE);
  EXPECT_EQ(tab.line, 11);
  EXPECT_EQ(tdf_parse_record(stream).kind, TDF_IGNORED);  // cut to the empty text
  TdfRecord cut = tdf_parse_record(stream);
  EXPECT_EQ(cut.kind, TDF_NO_LINE);
  EXPECT_EQ(cut.line, 1);
  TdfRecord last = tdf_parse_record(stream);  // no line feed at the end
  EXPECT_EQ(last.kind, TDF_NO_LINE);
  EXPECT_EQ(last.line, 13);
  EXPECT_TRUE(stream.eof);
}

TEST_F(TdfTest, MethodEntryWithOneNumberSwallowsTheNextRecord) {
  const std::string text = "ME 14\nCS 5\nNO c \"x\"\n";
  TraceStream stream;
  stream_open_buffer(stream, text.data(), text.size());
  TdfRecord me = tdf_parse_record(stream);
  EXPECT_EQ(me.kind, TDF_ME);
  EXPECT_EQ(me.line, 0x14c);  // "14" and "CS" joined across the line feed
  TdfRecord next = tdf_parse_record(stream);
  EXPECT_EQ(next.kind, TDF_NO_LINE);
  EXPECT_EQ(next.line, 12);
}

TEST_F(TdfTest, EmptyTraceChangesNothing) {
  EXPECT_EQ(tdf_read_buffer("", 0), 0);
  EXPECT_EQ(driver_by_run(5), -1);
  EXPECT_EQ(node_find(0, 12)->status, STATUS_NOT_EXECUTED);
  EXPECT_EQ(tdf_read_buffer(nullptr, 0), 0);
}

TEST(TdfFullerTest, EachNodeCountedWhereItIsDeclared) {
  tree_init();
  const std::string tsf =
      "SO \"Calc.java\"\n"
      "IN \"File\" 1 \"CalcTest\"\n"
      "ID 3e8 7\n"
      "IN \"TestCase\" 5 \"testAdd\"\n"
      "LK 20\n"
      "TX 7 \"add(1,2) == 3\"\n"
      "SI 1\n"
      "IN \"TestCase\" 9 \"testSub\"\n"
      "TX 11 \"verifyLogMessage(x)\"\n"
      "ED \n";
  const std::string tdf = "SF 1 3e8 7\nNI 5 1\nST 96\nNO 7 \"ok\"\nNI 9 2\nST a5\nNO b \"x\"\n";
  int32_t counter = 0;
  ASSERT_EQ(tsf_read_buffer(tsf.data(), tsf.size(), "calc.tsf", &counter), 0);
  ASSERT_EQ(tdf_read_buffer(tdf.data(), tdf.size()), 0);
  EXPECT_EQ(node_find(0, 7)->stats->passed, 1);
  EXPECT_EQ(node_find(0, 11)->status, STATUS_EXECUTED);
  EXPECT_EQ(children_of(node_find(0, 5)).size(), 1u);
  EXPECT_EQ(children_of(node_find(0, 9)).size(), 1u);
  tree_free();
}

// The reader looks most lines up in its driver's array of lines; lines the
// index keeps elsewhere and lines of the driver it has just switched to must
// be found as well. Line 0x5000 is far past the others when it is declared, so
// the index keeps it apart; the lines declared after it grow the array past
// it, which leaves its slot there empty.
TEST(TdfLinesTest, EveryIndexedLineIsFoundAfterEverySwitch) {
  tree_init();
  std::string tsf =
      "IN \"File\" 1 \"First\"\n"
      "ID 1 2\n"
      "IN \"TestCase\" a \"Case\"\n"
      "TX 18 \"near\"\n"
      "TX 20480 \"far\"\n"
      "TX 2147483632 \"farthest\"\n";
  for (int line = 19; line < 2800; ++line) tsf += "TX " + std::to_string(line) + " \"more\"\n";
  tsf +=
      "TX 21000 \"last\"\n"
      "ED \n"
      "IN \"File\" 1 \"Second\"\n"
      "ID 3 4\n"
      "IN \"TestCase\" a \"Case\"\n"
      "TX 18 \"other\"\n"
      "ED \n";
  const std::string tdf =  // the TSF names lines in decimal, the TDF in hexadecimal
      "SF 5 1 2\nSF 6 3 4\nCS 5\nNI a 1\nST 96\nNO 12 \"\"\nNO 5000 \"\"\nNO 7ffffff0 \"\"\n"
      "CS 6\nNI a 2\nNO 12 \"\"\nGL 97 12\nCS 5\nCI 1\nGL 97 5000\n";
  int32_t counter = 0;
  ASSERT_EQ(tsf_read_buffer(tsf.data(), tsf.size(), "lines.tsf", &counter), 0);
  ASSERT_EQ(tdf_read_buffer(tdf.data(), tdf.size()), 0);
  const struct {
    int32_t file, line, passed, failed;
  } cases[] = {{0, 0x12, 1, 0}, {0, 0x5000, 1, 1}, {0, 0x7ffffff0, 1, 0}, {1, 0x12, 1, 1}};
  for (const auto& c : cases) {
    const TraceNode* node = node_find(c.file, c.line);
    ASSERT_NE(node, nullptr) << c.line;
    EXPECT_EQ(node->stats->passed, c.passed) << c.file << "/" << c.line;
    EXPECT_EQ(node->stats->failed, c.failed) << c.file << "/" << c.line;
  }
  tree_free();
}

TEST(RoadOfOneCheckTest, FromBothTracesThroughTheRollUp) {
  tree_init();
  const std::string tsf =
      "IN \"File\" 1 \"Demo\"\n"
      "IN \"TestCase\" a \"Case1\"\n"
      "LK 42\n"
      "TX 12 \"x == 1\"\n"
      "ID 1 2\n"
      "ED \n";
  const std::string tdf = "SF 5 1 2\nNI a 1\nST 96\nNO c \"ok\"\n";
  int32_t counter = 0;
  ASSERT_EQ(tsf_read_buffer(tsf.data(), tsf.size(), "demo.tsf", &counter), 0);
  EXPECT_EQ(counter, 1);
  TraceNode* root = node_find(0, 1);
  TraceNode* test_case = node_find(0, 10);
  TraceNode* check = node_find(0, 12);
  ASSERT_TRUE(root && test_case && check);
  EXPECT_EQ(check->value, 42);
  EXPECT_EQ(check->parent, test_case);

  ASSERT_EQ(tdf_read_buffer(tdf.data(), tdf.size()), 0);
  EXPECT_EQ(driver_by_run(5), 0);
  EXPECT_EQ(check->stats->passed, 1);
  EXPECT_EQ(check->status, STATUS_EXECUTED);

  tree_rollup();
  EXPECT_EQ(check->status, STATUS_PASSED);
  EXPECT_EQ(check->stats->executed, 1);
  EXPECT_EQ(check->stats->passed, 1);
  EXPECT_EQ(check->stats->failed, 0);
  EXPECT_EQ(test_case->status, STATUS_PASSED);
  EXPECT_EQ(root->status, STATUS_PASSED);
  tree_free();
}

}  // namespace
