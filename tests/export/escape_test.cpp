// The output buffer and its escapes: every text leaves as valid UTF-8 and as
// well-formed HTML, XML or JSON, and lost writes are reported.
#include <gtest/gtest.h>

#include "export/out_buffer.h"
#include "export_helpers.h"

namespace {

std::string escaped(const std::string& text, EscapeMode mode) {
  OutBuffer out;
  std::string path = scratch("escape.txt");
  EXPECT_TRUE(out_open(out, path.c_str()));
  out_escaped(out, text.data(), text.size(), mode);
  EXPECT_TRUE(out_close(out));
  return read_all(path);
}

TEST(Escape, MarkupCharactersPerMode) {
  EXPECT_EQ(escaped("a<b>&\"'c", ESCAPE_HTML), "a&lt;b&gt;&amp;&quot;&#39;c");
  EXPECT_EQ(escaped("a<b>&\"'c", ESCAPE_XML), "a&lt;b&gt;&amp;&quot;'c");
  // Inside a script block no "</script" may appear, so '<' is always escaped.
  EXPECT_EQ(escaped("</script>\\\"&", ESCAPE_JSON), "\\u003c/script>\\\\\\\"&");
  EXPECT_EQ(escaped("a\tb\nc\r", ESCAPE_JSON), "a\\tb\\nc\\r");
  EXPECT_EQ(escaped("a\tb\nc\r", ESCAPE_XML), "a&#9;b&#10;c&#13;");
  EXPECT_EQ(escaped("a\tb\n", ESCAPE_HTML), "a\tb\n");
}

TEST(Escape, BytesThatAreNotUtf8BecomeLatin1Characters) {
  for (EscapeMode mode : {ESCAPE_HTML, ESCAPE_XML, ESCAPE_JSON}) {
    EXPECT_EQ(escaped("caf\xe9", mode), "caf\xc3\xa9");
    EXPECT_EQ(escaped("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", mode),
              "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
    EXPECT_EQ(escaped("\xc3", mode), "\xc3\x83");                          // cut sequence
    EXPECT_EQ(escaped("\xc0\xaf", mode), "\xc3\x80\xc2\xaf");              // overlong
    EXPECT_EQ(escaped("\xed\xa0\x80", mode), "\xc3\xad\xc2\xa0\xc2\x80");  // surrogate
    EXPECT_EQ(escaped("\xef\xbf\xbf", mode), "\xc3\xaf\xc2\xbf\xc2\xbf");  // U+FFFF
  }
}

TEST(Escape, ControlBytesXmlForbidsBecomeReplacementCharacters) {
  for (EscapeMode mode : {ESCAPE_HTML, ESCAPE_XML, ESCAPE_JSON})
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
  ASSERT_TRUE(out_open(full, "/dev/full"));
  out_str(full, "more than nothing");
  EXPECT_FALSE(out_close(full));
  EXPECT_EQ(full.error, ENOSPC);
  OutBuffer missing;
  EXPECT_FALSE(out_open(missing, "/no/such/dir/out.html"));
  EXPECT_EQ(missing.error, ENOENT);
}

}  // namespace
