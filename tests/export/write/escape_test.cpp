// The output buffer and its escapes: every text leaves as valid UTF-8 and as
// well-formed HTML, XML or JSON, and lost writes are reported.
#include "export/write/escape.h"

#include <gtest/gtest.h>

#include "export/export_helpers.h"
#include "export/model/utf8.h"
#include "export/write/writers.h"

namespace {

std::string escaped(const std::string& text, EscapeMode mode) {
  OutBuffer out;
  std::string path = scratch("escape.txt");
  EXPECT_TRUE(out_open_file(out, path.c_str()));
  out_escaped(out, text.data(), text.size(), mode);
  EXPECT_TRUE(out_close(out));
  return read_file(path);
}

TEST(Escape, MarkupCharactersPerMode) {
  EXPECT_EQ(escaped("a<b>&\"'c", ESCAPE_HTML), "a&lt;b&gt;&amp;&quot;&#39;c");
  EXPECT_EQ(escaped("a<b>&\"'c", ESCAPE_XML), "a&lt;b&gt;&amp;&quot;'c");
  // Inside a script block no "</script" may appear, so '<' is always escaped.
  EXPECT_EQ(escaped("</script>\\\"&", ESCAPE_JSON), "\\u003c/script>\\\\\\\"&");
  EXPECT_EQ(escaped("a\tb\nc\r", ESCAPE_JSON), "a\\tb\\nc\\r");
  EXPECT_EQ(escaped("a\tb\nc\r", ESCAPE_XML), "a&#9;b&#10;c&#13;");
  EXPECT_EQ(escaped("a\tb\nc\r<", ESCAPE_XML_TEXT), "a\tb\nc&#13;&lt;");
  EXPECT_EQ(escaped("a\tb\n", ESCAPE_HTML), "a\tb\n");
}

TEST(Escape, BytesThatAreNotUtf8BecomeLatin1Characters) {
  for (EscapeMode mode : {ESCAPE_HTML, ESCAPE_XML, ESCAPE_XML_TEXT, ESCAPE_JSON}) {
    EXPECT_EQ(escaped("caf\xe9", mode), "caf\xc3\xa9");
    EXPECT_EQ(escaped("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", mode),
              "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
    EXPECT_EQ(escaped("\xc3", mode), "\xc3\x83");                          // cut sequence
    EXPECT_EQ(escaped("\xc0\xaf", mode), "\xc3\x80\xc2\xaf");              // overlong
    EXPECT_EQ(escaped("\xed\xa0\x80", mode), "\xc3\xad\xc2\xa0\xc2\x80");  // surrogate
    EXPECT_EQ(escaped("\xef\xbf\xbf", mode), "\xc3\xaf\xc2\xbf\xc2\xbf");  // U+FFFF
  }
}

// Texts as the parser leaves them: each byte of the trace one character.
TEST(Escape, TextsOfByteCharactersFoldToUtf8OnlyWhenTheyAreUtf8) {
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {
      {"plain", "plain"},
      {"Gr\xc3\x83\xc2\xbc\xc3\x83\xc2\x9f"
       "e",
       "Gr\xc3\xbc\xc3\x9f"
       "e"},                                                               // UTF-8 bytes
      {"caf\xc3\xa9", "caf\xc3\xa9"},                                      // one Latin-1 byte
      {"\xc3\xa2\xc2\x82\xc2\xac 5", "\xe2\x82\xac 5"},                    // three-byte sequence
      {"\xc3\x83\xc2\xbc caf\xc3\xa9", "\xc3\x83\xc2\xbc caf\xc3\xa9"},    // mixed: Latin-1
      {"\xc3\x83", "\xc3\x83"},                                            // cut sequence
      {"\xc3\x83\xc2\xbc \xe2\x82\xac", "\xc3\x83\xc2\xbc \xe2\x82\xac"},  // real Unicode
  };
  for (const Case& c : cases) {
    std::string text(c.text);
    text.resize(utf8_fold_bytes(text.data(), text.size()));
    EXPECT_EQ(text, c.want) << c.text;
    EXPECT_EQ(std::strlen(text.c_str()), text.size());
  }
}

TEST(Escape, ControlBytesXmlForbidsBecomeReplacementCharacters) {
  for (EscapeMode mode : {ESCAPE_HTML, ESCAPE_XML, ESCAPE_XML_TEXT, ESCAPE_JSON})
    EXPECT_EQ(escaped(std::string("a\x01\x1f\x0b", 4), mode),
              "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Escape, LongTextsCrossTheBufferUnchanged) {
  std::string big(3 * 1024 * 1024 + 7, 'x');
  for (size_t i = 0; i < big.size(); i += 4099) big[i] = '<';
  std::string want;
  for (char c : big) want += c == '<' ? std::string("&lt;") : std::string(1, c);
  EXPECT_EQ(escaped(big, ESCAPE_XML), want);
}

TEST(Escape, LostWritesAreReported) {
  OutBuffer full;
  ASSERT_TRUE(out_open_file(full, "/dev/full"));
  out_str(full, "more than nothing");
  EXPECT_FALSE(out_close(full));
  EXPECT_EQ(full.error, ENOSPC);
  OutBuffer missing;
  EXPECT_FALSE(out_open_file(missing, "/no/such/dir/out.html"));
  EXPECT_EQ(missing.error, ENOENT);
}

// Written to memory, through buffers so small that every piece of output
// crosses their end, the outputs are the bytes written to their files.
TEST(Escape, MemoryOutputIsTheFilesBytesWhateverItsBuffer) {
  TestRun r;
  std::string error, html = scratch("mem.html"), junit = scratch("mem.xml");
  ASSERT_EQ(read_run(fixture("calc_like.xrd"), r, error), 0) << error;
  ASSERT_EQ(write_as("--html", r, html, error), 0) << error;
  ASSERT_EQ(write_as("--junit", r, junit, error, false), 0) << error;
  for (size_t capacity : {1, 7, 4096}) {
    std::string page, xml;
    OutBuffer a, b;
    out_open_string(a, &page, capacity);
    html_page(a, r);
    EXPECT_TRUE(out_close(a));
    out_open_string(b, &xml, capacity);
    junit_document(b, r);
    EXPECT_TRUE(out_close(b));
    EXPECT_TRUE(page == read_file(html)) << capacity;
    EXPECT_TRUE(xml == read_file(junit)) << capacity;
  }
}

}  // namespace
