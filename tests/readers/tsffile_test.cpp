// Tests of the TSF reader: record layouts, node types, nesting, sources, link
// values and driver numbering, driven from byte buffers.
#include "readers/tsffile.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "model/node_types.h"
#include "model/tree.h"
#include "support/model_access.h"

namespace {

std::vector<TraceNode*> children_of(const TraceNode* node) {
  std::vector<TraceNode*> out;
  for (TraceNode* c = node->first_child; c != nullptr; c = c->next) out.push_back(c);
  return out;
}

// A literal's bytes, NULs included.
template <size_t N>
std::string bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

const DriverEntry* newest_driver(int32_t number) {
  for (const DriverEntry* d = driver_list_head(); d != nullptr; d = d->next) {
    if (d->number == number) return d;
  }
  return nullptr;
}

class TsfTest : public ::testing::Test {
 protected:
  void SetUp() override { tree_init(); }
  void TearDown() override { tree_free(); }

  int read(const std::string& text, const char* path = "given.tsf") {
    return tsf_read_buffer(text.data(), text.size(), path, &counter);
  }

  int32_t counter = 0;
};

TEST_F(TsfTest, SmallDriverWithSuiteAndCheck) {
  ASSERT_EQ(read("IN \"File\" 1 \"Demo\"\n"
                 "IN \"TestSuite\" a \"Suite1\"\n"
                 "TX 12 \"x == 1\"\n"
                 "ED \n"),
            0);
  EXPECT_EQ(counter, 1);
  TraceNode* root = node_find(0, 1);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->type, TYPE_TEST_DRIVER);
  EXPECT_STREQ(root->text, "Demo");
  TraceNode* suite = node_find(0, 10);
  ASSERT_NE(suite, nullptr);
  EXPECT_EQ(suite->type, TYPE_TEST_SUITE);
  EXPECT_EQ(suite->parent, root);
  TraceNode* check = node_find(0, 12);
  ASSERT_NE(check, nullptr);
  EXPECT_EQ(check->type, TYPE_CHECK_EXPRESSION);
  EXPECT_STREQ(check->text, "x == 1");
  EXPECT_EQ(check->parent, suite);
}

TEST_F(TsfTest, FullerDriverWithSourceSignaturesAndReturnToRoot) {
  ASSERT_EQ(read("SO \"Calc.java\"\n"
                 "IN \"File\" 1 \"CalcTest\"\n"
                 "ID 3e8 7\n"
                 "IN \"TestCase\" 5 \"testAdd\"\n"
                 "LK 20\n"
                 "TX 7 \"add(1,2) == 3\"\n"
                 "SI 1\n"
                 "IN \"TestCase\" 9 \"testSub\"\n"
                 "TX 11 \"verifyLogMessage(x)\"\n"
                 "ED \n"),
            0);
  const DriverEntry* driver = newest_driver(0);
  ASSERT_NE(driver, nullptr);
  EXPECT_TRUE(driver->has_source);
  EXPECT_EQ(driver->source, "Calc.java");
  EXPECT_EQ(driver->sig1, 0x3e8u);
  EXPECT_EQ(driver->sig2, 7u);
  TraceNode* root = driver->root;
  ASSERT_NE(root, nullptr);
  EXPECT_STREQ(root->text, "CalcTest");
  std::vector<TraceNode*> cases = children_of(root);
  ASSERT_EQ(cases.size(), 2u);
  EXPECT_EQ(cases[0]->line, 5);
  EXPECT_STREQ(cases[0]->text, "testAdd");
  EXPECT_EQ(cases[1]->line, 9);
  ASSERT_EQ(children_of(cases[0]).size(), 1u);
  TraceNode* check = cases[0]->first_child;
  EXPECT_EQ(check->line, 7);
  EXPECT_EQ(check->value, 20);
  EXPECT_EQ(check->type, TYPE_CHECK_EXPRESSION);
  ASSERT_EQ(children_of(cases[1]).size(), 1u);
  TraceNode* print = cases[1]->first_child;
  EXPECT_EQ(print->line, 11);
  EXPECT_EQ(print->type, TYPE_PRINT);
  EXPECT_EQ(print->value, 20);
  EXPECT_EQ(counter, 1);
}

TEST_F(TsfTest, NodeTypesFromKindsAndTexts) {
  ASSERT_EQ(read("IN \"File\" 1 \"D\"\n"
                 "IN \"TestSuite\" 2 \"s\"\n"
                 "IN \"Class\" 3 \"c\"\n"
                 "IN \"TestStub\" 4 \"st\"\n"
                 "IN \"TestCase\" 5 \"tc\"\n"
                 "TX 16 \"verifyLogMessage(a)\"\n"
                 "TX 17 \"entermethod\"\n"
                 "TX 18 \"exitmethod\"\n"
                 "TX 19 \"timerStart()\"\n"
                 "TX 20 \"t = createTimer()\"\n"
                 "TX 21 \"createTimer(); timerStart()\"\n"
                 "TX 22 \"VerifyLogMessage\"\n"
                 "MS 23 \"verifyLogMessage(b)\"\n"
                 "EX 24 \"x\"\n"
                 "TX 25 \"after\"\n"),
            0);
  EXPECT_EQ(node_find(0, 2)->type, TYPE_TEST_SUITE);
  EXPECT_EQ(node_find(0, 3)->type, TYPE_TEST_CLASS);
  EXPECT_EQ(node_find(0, 4)->type, TYPE_STUB);
  EXPECT_EQ(node_find(0, 5)->type, TYPE_TEST_CASE);
  // Each container becomes the parent of what follows it.
  EXPECT_EQ(node_find(0, 5)->parent, node_find(0, 4));
  EXPECT_EQ(node_find(0, 4)->parent, node_find(0, 3));
  EXPECT_EQ(node_find(0, 3)->parent, node_find(0, 2));
  const int expected[][2] = {{16, TYPE_PRINT},
                             {17, TYPE_PRINT},
                             {18, TYPE_PRINT},
                             {19, TYPE_PRINT},
                             {20, TYPE_COMMENT},
                             {21, TYPE_PRINT},
                             {22, TYPE_CHECK_EXPRESSION},
                             {23, TYPE_CHECK_EXPRESSION},
                             {25, TYPE_CHECK_EXPRESSION}};
  for (const auto& e : expected) {
    TraceNode* node = node_find(0, e[0]);
    ASSERT_NE(node, nullptr) << e[0];
    EXPECT_EQ(node->type, e[1]) << e[0];
    EXPECT_EQ(node->parent, node_find(0, 5)) << e[0];
  }
  EXPECT_EQ(node_find(0, 24), nullptr);
}

TEST(TsfTextTypeTest, WordsAnywhereAndCutShort) {
  const std::pair<const char*, int> cases[] = {
      {"", TYPE_CHECK_EXPRESSION},
      {"exitmethod", TYPE_PRINT},  // the shortest word, the whole text
      {"exitmetho", TYPE_CHECK_EXPRESSION},
      {"x.timerStar", TYPE_CHECK_EXPRESSION},
      {"a; verifyLogMessage", TYPE_PRINT},  // at the very end
      {"verifyLogMessag", TYPE_CHECK_EXPRESSION},
      {"ententermethod(x)", TYPE_PRINT},  // starts overlap
      {"createTimercreateTimer", TYPE_COMMENT},
      {"createTime", TYPE_CHECK_EXPRESSION},
      {"createTimer(); exitmethod", TYPE_PRINT},
      {"exitMethod() + timerstart", TYPE_CHECK_EXPRESSION},
  };
  for (const auto& [text, type] : cases) EXPECT_EQ(tsf_text_type(text), type) << text;
  // Long texts are searched sixteen places at a time: each word, whole or
  // cut by its last byte, at every place of a long text.
  const std::pair<std::string, int> words[] = {{"verifyLogMessage", TYPE_PRINT},
                                               {"entermethod", TYPE_PRINT},
                                               {"exitmethod", TYPE_PRINT},
                                               {"timerStart", TYPE_PRINT},
                                               {"createTimer", TYPE_COMMENT}};
  for (const auto& [word, type] : words) {
    for (std::size_t before = 0; before <= 40; ++before) {
      for (std::size_t after : {std::size_t{0}, std::size_t{3}, std::size_t{17}}) {
        const std::string pad(before, 'e'), tail(after, 't');
        EXPECT_EQ(tsf_text_type(pad + word + tail), type) << word << " after " << before;
        const std::string cut = word.substr(0, word.size() - 1);
        EXPECT_EQ(tsf_text_type(pad + cut), TYPE_CHECK_EXPRESSION) << cut << " after " << before;
      }
    }
  }
  EXPECT_EQ(
      tsf_text_type(std::string(30, 'x') + "createTimer" + std::string(30, 'y') + "exitmethod"),
      TYPE_PRINT);
}

TEST_F(TsfTest, SourceComesFromSoOrThePath) {
  ASSERT_EQ(read("IN \"File\" 1 \"A\"\n"
                 "SO \"Next.java\"\n"
                 "ED \n"
                 "IN \"File\" 1 \"B\"\n"
                 "ED \n"
                 "IN \"File\" 1 \"C\"\n"
                 "ED \n",
                 "dir/x.tsf"),
            0);
  EXPECT_EQ(newest_driver(0)->source, "dir/x.tsf");
  EXPECT_EQ(newest_driver(1)->source, "Next.java");  // kept for the next driver
  EXPECT_EQ(newest_driver(2)->source, "dir/x.tsf");  // consumed by the one before

  ASSERT_EQ(read("SO \"a\"\nSO \"b\"\nIN \"File\" 1 \"D\"\nED \n", nullptr), 0);
  EXPECT_EQ(newest_driver(3)->source, "b");  // the later one replaces the earlier
  ASSERT_EQ(read("IN \"File\" 1 \"E\"\nED \n", nullptr), 0);
  EXPECT_FALSE(newest_driver(4)->has_source);
}

TEST_F(TsfTest, LinkValueRunsOnAcrossDrivers) {
  ASSERT_EQ(read("IN \"File\" 1 \"A\"\n"
                 "TX 2 \"before\"\n"
                 "LK 42\n"
                 "TX 3 \"after\"\n"
                 "ED \n"
                 "IN \"File\" 1 \"B\"\n"
                 "MS 2 \"next driver\"\n"
                 "LK  -7\n"
                 "TX 3 \"negative\"\n"
                 "ED \n"),
            0);
  EXPECT_EQ(node_find(0, 2)->value, 0);
  EXPECT_EQ(node_find(0, 3)->value, 42);
  EXPECT_EQ(node_find(1, 2)->value, 42);
  EXPECT_EQ(node_find(1, 3)->value, -7);
}

TEST_F(TsfTest, DriverNumbersRunOnFromTheCounter) {
  counter = 3;
  const std::string two = "IN \"File\" 1 \"A\"\nED \nIN \"File\" 1 \"B\"\nED \n";
  ASSERT_EQ(read(two), 0);
  EXPECT_EQ(counter, 5);
  EXPECT_STREQ(node_find(3, 1)->text, "A");
  EXPECT_STREQ(node_find(4, 1)->text, "B");
  // The same lines in another driver are other nodes.
  ASSERT_EQ(read(two), 0);
  EXPECT_EQ(counter, 7);
  EXPECT_STREQ(node_find(5, 1)->text, "A");
  EXPECT_NE(node_find(5, 1), node_find(3, 1));
}

TEST_F(TsfTest, RecordLayoutsAtTheEdges) {
  // The last record needs no line feed; a line starting with a space has an
  // empty code; codes are case-sensitive.
  ASSERT_EQ(read("IN \"File\" 1 \"A\"\n"
                 " TX 2 \"spaced\"\n"
                 "tx 3 \"lower\"\n"
                 "TX 4 \"a\\\"b\""),
            0);
  EXPECT_EQ(node_find(0, 2), nullptr);
  EXPECT_EQ(node_find(0, 3), nullptr);
  ASSERT_NE(node_find(0, 4), nullptr);
  // End of file: nothing is dropped, so the closing quote stays.
  EXPECT_STREQ(node_find(0, 4)->text, "a\"b\"");

  counter = 1;
  ASSERT_EQ(read("IN \"File\" 1 \"B\"\nTX 7 \"a\\\"b\"\n"), 0);
  EXPECT_EQ(node_find(1, 7)->text, std::string("a\"b"));
}

TEST_F(TsfTest, UnknownKindsAndParents) {
  ASSERT_EQ(read("IN \"File\" 1 \"A\"\n"
                 "IN \"TestCase\" 5 \"tc\"\n"
                 "IN \"Method\" 6 \"m\"\n"
                 "TX 7 \"under tc\"\n"
                 "IN \"TestCase\" 8 \"nested\"\n"  // TX and Method left the parent at 5
                 "SI 30\n"
                 "IN \"TestCase\" 9 \"lost\"\n"  // no node at line 0x30
                 "TX 10 \"lost too\"\n"),
            0);
  EXPECT_EQ(node_find(0, 6), nullptr);
  EXPECT_EQ(node_find(0, 7)->parent, node_find(0, 5));
  EXPECT_EQ(node_find(0, 8)->parent, node_find(0, 5));
  EXPECT_EQ(node_find(0, 9), nullptr);
  EXPECT_EQ(node_find(0, 10), nullptr);  // parent line 9 names no node
}

TEST_F(TsfTest, IdBeforeFileIsLostAndEmptyFileDoesNothing) {
  ASSERT_EQ(read(""), 0);
  EXPECT_EQ(driver_list_head(), nullptr);
  ASSERT_EQ(read("ID 1 2\nIN \"File\" 1 \"A\"\nED \n"), 0);
  EXPECT_EQ(newest_driver(0)->sig1, 0u);
  EXPECT_EQ(newest_driver(0)->sig2, 0u);
}

TEST_F(TsfTest, ParseRecordFieldsAndEndOfFile) {
  const std::string text =
      "IN \"TestCase\" 1f \"name\" trailing\n"
      "ID ffffffff 100000000\n"
      "SO \"S.java\" x\n"
      "LK 99\n"
      "ED \n";
  TraceStream stream;
  stream_open_buffer(stream, text.data(), text.size());
  TsfRecord in = tsf_parse_record(stream);
  EXPECT_EQ(in.code, TSF_IN);
  EXPECT_EQ(in.kind, "TestCase");
  EXPECT_EQ(in.line, 0x1f);
  EXPECT_EQ(in.text, "name");
  TsfRecord id = tsf_parse_record(stream);
  EXPECT_EQ(id.code, TSF_ID);
  EXPECT_EQ(id.sig1, 0xFFFFFFFFu);
  EXPECT_EQ(id.sig2, 0xFFFFFFFFu);
  TsfRecord so = tsf_parse_record(stream);
  EXPECT_EQ(so.code, TSF_SO);
  EXPECT_EQ(so.text, "S.java");
  TsfRecord lk = tsf_parse_record(stream);
  EXPECT_EQ(lk.code, TSF_LK);
  EXPECT_EQ(lk.number, 99);
  EXPECT_EQ(tsf_parse_record(stream).code, TSF_ED);
  EXPECT_FALSE(stream.eof);  // the file ended right after a line feed
  EXPECT_EQ(tsf_parse_record(stream).code, TSF_OTHER);
  EXPECT_TRUE(stream.eof);
}

TEST_F(TsfTest, CodeAfterALineWithoutItsSpaceIsJoined) {
  // "ED" alone on its line swallows the next code: EDIN is no code at all.
  ASSERT_EQ(read("IN \"File\" 1 \"A\"\nED\nIN \"File\" 1 \"B\"\n"), 0);
  EXPECT_EQ(counter, 0);
  EXPECT_STREQ(node_find(0, 1)->text, "A");
}

TEST_F(TsfTest, LongTextsNulBytesAndSubstitute) {
  const std::string long_name(5000, 'n');
  const std::string long_text(20000, 't');
  std::string text = "IN \"File\" 1 \"" + long_name + "\"\n" + "TX 2 \"" + long_text + "\"\n";
  text += bytes("TX 3 \"ab\0cd\"\n");
  text += bytes("IN \"Test\0Case\" 4 \"x\"\n");
  text += "TX 5 \"crlf\"\r\n";
  text +=
      "TX 6 \"last\"\n\x1A"
      "TX 7 \"hidden\"\n";
  ASSERT_EQ(read(text), 0);
  EXPECT_EQ(std::string(node_find(0, 1)->text), long_name);
  EXPECT_EQ(std::string(node_find(0, 2)->text), long_text);
  EXPECT_STREQ(node_find(0, 3)->text, "ab");
  EXPECT_EQ(node_find(0, 4), nullptr);  // the kind was cut to "Test"
  EXPECT_STREQ(node_find(0, 5)->text, "crlf");
  EXPECT_STREQ(node_find(0, 6)->text, "last");
  EXPECT_EQ(node_find(0, 7), nullptr);
}

}  // namespace
