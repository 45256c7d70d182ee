// Tests of the mark-up writer: the three escapes, tags, titles, cells, link
// cells, header rows and browse-tree entries, byte for byte.
#include "report/markup.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "report/report_fixture.h"

using report_test::capture;

namespace {

std::string text_of(const std::string& text) {
  return capture([&](OutBuffer& out) { markup_text(out, text.data(), text.size()); });
}
std::string attr_of(const std::string& text) {
  return capture([&](OutBuffer& out) { markup_attr_text(out, text.c_str()); });
}
std::string head_of(const std::string& text) {
  return capture([&](OutBuffer& out) { markup_head_text(out, text.c_str()); });
}

TEST(MarkupText, BlankRunsCollapseUnlessTheyEndTheText) {
  EXPECT_EQ(text_of("a\t\t b"), "a b");
  EXPECT_EQ(text_of("  x"), " x");
  EXPECT_EQ(text_of("x \t"), "x\t");
  EXPECT_EQ(text_of("x "), "x ");
  EXPECT_EQ(text_of("x\t"), "x\t");
  EXPECT_EQ(text_of(" "), " ");
  EXPECT_EQ(text_of("\t"), "\t");
  EXPECT_EQ(text_of("\t \t"), "\t");
  EXPECT_EQ(text_of("a b c"), "a b c");
  EXPECT_EQ(text_of("a\tb"), "a b");
  EXPECT_EQ(text_of(""), "");
  // The byte after a run goes through the escape too.
  EXPECT_EQ(text_of("a  <b"), "a &#60;b");
  EXPECT_EQ(text_of("a \x01"), "a &#65533;");
}

TEST(MarkupText, ReferencesForMarkupAndHighBytes) {
  EXPECT_EQ(text_of("<"), "&#60;");
  EXPECT_EQ(text_of("&"), "&#38;");
  EXPECT_EQ(text_of(">"), "&#62;");
  EXPECT_EQ(text_of("\xe9"), "&#233;");
  EXPECT_EQ(text_of("\xff\x80"), "&#255;&#128;");
  EXPECT_EQ(text_of("caf\xc3\xa9"), "caf&#195;&#169;");
  EXPECT_EQ(text_of("say \"hi\" 'x'"), "say \"hi\" 'x'");
  EXPECT_EQ(text_of("a\nb\rc"), "a\nb\rc");
}

TEST(MarkupText, ForbiddenControlBytesBecomeTheReplacementCharacter) {
  std::string all;
  for (int c = 1; c < 32; ++c) all += static_cast<char>(c);
  std::string expected;
  for (int c = 1; c < 32; ++c) {
    if (c == '\t') {
      expected += ' ';  // the tab is a blank run before the next byte
    } else if (c == '\n' || c == '\r') {
      expected += static_cast<char>(c);
    } else {
      expected += "&#65533;";
    }
  }
  EXPECT_EQ(text_of(all), expected);
  EXPECT_EQ(attr_of("\x1f"), "&#65533;");
  EXPECT_EQ(head_of("a\x0b"), "a&#65533;");
}

TEST(MarkupText, NullTextWritesNothingAndTextEndsAtItsZero) {
  EXPECT_EQ(capture([](OutBuffer& out) { markup_text(out, nullptr); }), "");
  EXPECT_EQ(capture([](OutBuffer& out) { markup_text(out, "ab\0cd"); }), "ab");
}

TEST(MarkupText, AttributeValuesAlsoEscapeTheDoubleQuote) {
  EXPECT_EQ(attr_of("a \"b\"  c"), "a &#34;b&#34; c");
  EXPECT_EQ(attr_of("<&>'"), "&#60;&#38;&#62;'");
  EXPECT_EQ(attr_of("x \t"), "x\t");
}

TEST(MarkupText, DocumentHeadEscapeKeepsBlanks) {
  EXPECT_EQ(head_of("a  b\t"), "a  b\t");
  EXPECT_EQ(head_of("r&d \"x\" <y>.xrd"), "r&#38;d &#34;x&#34; &#60;y&#62;.xrd");
  EXPECT_EQ(head_of("\xc3\xa9"), "&#195;&#169;");
  EXPECT_EQ(head_of("it's"), "it's");
}

TEST(MarkupText, EveryByteKindAtEveryPlaceOfALongText) {
  // Clean runs are skipped many bytes at a time: each kind of byte, and each
  // blank run, must be seen wherever it falls in such a step. Every piece is
  // followed by clean bytes, so a blank run in it collapses to one space.
  const std::pair<std::string, std::string> pieces[] = {
      {"<", "&#60;"},       {"&", "&#38;"},       {">", "&#62;"},   {"\xe9", "&#233;"},
      {"\x01", "&#65533;"}, {"\x1f", "&#65533;"}, {"\"", "\""},     {"\n\r", "\n\r"},
      {" b", " b"},         {"  ", " "},          {" \t", " "},     {"\t", " "},
      {"\t\t ", " "},       {"x ", "x "},         {"\x7f", "\x7f"},
  };
  for (const auto& [piece, escaped] : pieces) {
    for (std::size_t before = 0; before <= 34; ++before) {
      const std::string pad_before(before, 'a'), pad_after(20, 'z');
      EXPECT_EQ(text_of(pad_before + piece + pad_after), pad_before + escaped + pad_after)
          << testing::PrintToString(piece) << " after " << before;
    }
  }
  EXPECT_EQ(attr_of(std::string(20, 'q') + "\"" + std::string(20, 'q')),
            std::string(20, 'q') + "&#34;" + std::string(20, 'q'));
  EXPECT_EQ(head_of(std::string(20, 'q') + "\t  " + std::string(20, 'q')),
            std::string(20, 'q') + "\t  " + std::string(20, 'q'));
}

TEST(MarkupText, LongTextsCrossTheBufferIntact) {
  std::string text(3 * kOutBufferSize + 17, 'a');
  for (std::size_t i = 0; i < text.size(); i += 1000) text[i] = '&';
  std::string expected;
  for (char c : text) expected += c == '&' ? std::string("&#38;") : std::string(1, c);
  EXPECT_EQ(text_of(text), expected);
}

TEST(MarkupTag, OpeningAndClosingHeadsAreWrittenUnescaped) {
  EXPECT_EQ(capture([](OutBuffer& out) { markup_tag(out, "ROW", 0); }), "<ROW>\n");
  EXPECT_EQ(capture([](OutBuffer& out) { markup_tag(out, "ROW", 7); }), "</ROW>\n");
  EXPECT_EQ(capture([](OutBuffer& out) { markup_tag(out, "A&<B", 0); }), "<A&<B>\n");
  EXPECT_EQ(capture([](OutBuffer& out) { markup_element(out, "TEXT", "a <b>"); }),
            "<TEXT>a &#60;b&#62;</TEXT>\n");
}

TEST(MarkupTitle, LevelStyleNumberAndVerdictForms) {
  EXPECT_EQ(capture([](OutBuffer& out) { markup_title(out, "T", 0, STYLE_HEADING, 4); }),
            "<TITLE LEVEL=\"0\" TAG=\"4\" STYLE=\"Title1\">\n<TEXT>T</TEXT>\n</TITLE>\n");
  EXPECT_EQ(capture([](OutBuffer& out) { markup_title(out, "T", 7, STYLE_PLAIN, 9); }),
            "<TITLE LEVEL=\"7\" TAG=\"9\" STYLE=\"Title5\">\n<TEXT>T</TEXT>\n</TITLE>\n");
  EXPECT_EQ(capture([](OutBuffer& out) { markup_title(out, "a&b", 4, STYLE_FAILED, 1); }),
            "<TITLE LEVEL=\"4\" TAG=\"1\" STYLE=\"Title5 Failed\">\n<TEXT>a&#38;b</TEXT>\n"
            "</TITLE>\n");
  EXPECT_EQ(capture([](OutBuffer& out) { markup_title(out, "T", 2, STYLE_PASSED, 0); }),
            "<TITLE LEVEL=\"2\" TAG=\"0\" STYLE=\"Title3 Passed\">\n<TEXT>T</TEXT>\n</TITLE>\n");
  EXPECT_EQ(capture([](OutBuffer& out) { markup_title(out, "T", 1, 9, 0); }),
            "<TITLE LEVEL=\"1\" TAG=\"0\" STYLE=\"Title2\">\n<TEXT>T</TEXT>\n</TITLE>\n");
}

TEST(MarkupCells, StylesAndTheFailedFallback) {
  auto cell = [](int style) {
    return capture([&](OutBuffer& out) { markup_cell_text(out, "v\"", style); });
  };
  EXPECT_EQ(cell(0), "<CELL_TEXT STYLE=\"Array Title\">v\"</CELL_TEXT>\n");
  EXPECT_EQ(cell(1), "<CELL_TEXT STYLE=\"Array\">v\"</CELL_TEXT>\n");
  EXPECT_EQ(cell(3), "<CELL_TEXT STYLE=\"Array Passed\">v\"</CELL_TEXT>\n");
  for (int style : {2, 5, -1})
    EXPECT_EQ(cell(style), "<CELL_TEXT STYLE=\"Array Failed\">v\"</CELL_TEXT>\n");
  EXPECT_EQ(capture([](OutBuffer& out) { markup_cell_text(out, nullptr, 1); }),
            "<CELL_TEXT STYLE=\"Array\"></CELL_TEXT>\n");
}

TEST(MarkupCells, LinkCellEscapesTargetAsAttribute) {
  EXPECT_EQ(capture([](OutBuffer& out) {
              markup_link_cell(out, "x \"<\"", STYLE_PASSED, markup_link_target("A&\"B\".java"),
                               12);
            }),
            "<CELL STYLE=\"Array Passed\"><LINK TARGET=\"A&#38;&#34;B&#34;.java line 12\">\n"
            "<TEXT>x \"&#60;\"</TEXT>\n</LINK>\n</CELL>\n");
  for (int style : {2, 5, -1}) {
    std::string cell = capture([&](OutBuffer& out) {
      markup_link_cell(out, "t", style, markup_link_target(nullptr), -3);
    });
    EXPECT_EQ(cell,
              "<CELL STYLE=\"Array Failed\"><LINK TARGET=\" line -3\">\n<TEXT>t</TEXT>\n"
              "</LINK>\n</CELL>\n");
  }
  EXPECT_EQ(capture([](OutBuffer& out) {
              markup_link_cell(out, "t", 0, markup_link_target("F"), 1);
            }).substr(0, 27),
            "<CELL STYLE=\"Array Title\"><");
  EXPECT_EQ(capture([](OutBuffer& out) {
              markup_link_cell(out, "t", 1, markup_link_target("F"), 1);
            }).substr(0, 21),
            "<CELL STYLE=\"Array\"><");
}

TEST(MarkupCells, CheckHeaderRow) {
  EXPECT_EQ(capture([](OutBuffer& out) { markup_check_header(out, STYLE_HEADING); }),
            "<ROW>\n"
            "<CELL_TEXT STYLE=\"Array Title\">Expression</CELL_TEXT>\n"
            "<CELL_TEXT STYLE=\"Array Title\">Status</CELL_TEXT>\n"
            "<CELL_TEXT STYLE=\"Array Title\">Executed</CELL_TEXT>\n"
            "<CELL_TEXT STYLE=\"Array Title\">Failed</CELL_TEXT>\n"
            "<CELL_TEXT STYLE=\"Array Title\">Passed</CELL_TEXT>\n"
            "</ROW>\n");
}

TEST(MarkupNodeOpen, SumAndIconAttributes) {
  EXPECT_EQ(capture([](OutBuffer& out) {
              markup_node_open(out, "D", "Test Driver", "ko", 0, ICON_TEST_SCRIPT);
            }),
            "<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\" icone=\"testscript.xpm\">");
  EXPECT_EQ(
      capture(
          [](OutBuffer& out) { markup_node_open(out, "C", "Test Case", "ok", 1, ICON_METHOD); }),
      "<DAZU:NODE name=\"C\" type=\"Test Case\" state=\"ok\" sum=\"1\" icone=\"method.xpm\">");
  EXPECT_EQ(capture([](OutBuffer& out) { markup_node_open(out, "S", "# ", "NE", 2, ICON_CLASS); }),
            "<DAZU:NODE name=\"S\" type=\"# \" state=\"NE\" sum=\"2\" icone=\"class.xpm\">");
  EXPECT_EQ(capture([](OutBuffer& out) { markup_node_open(out, "a\"b&c", "t", "s", 0, 3); }),
            "<DAZU:NODE name=\"a&#34;b&#38;c\" type=\"t\" state=\"s\">");
}

}  // namespace
