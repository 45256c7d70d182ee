// Tests of the trace stream's lexical rules, the scanners and split_field.
#include "readers/scanner.h"

#include <gtest/gtest.h>

#include <string>

#include "readers/trace_stream.h"

namespace {

// A stream over a copy of `text`, which may hold NUL bytes.
struct Input {
  std::string data;
  TraceStream stream;
  explicit Input(std::string text) : data(std::move(text)) {
    stream_open_buffer(stream, data.data(), data.size());
  }
};

std::string rest_of(TraceStream& stream) {
  std::string rest;
  for (int c = stream_get(stream); c >= 0; c = stream_get(stream))
    rest.push_back(static_cast<char>(c));
  return rest;
}

TEST(TraceStreamTest, DropsCarriageReturnsAndStopsAtSubstitute) {
  Input in(
      std::string("a\r\nb\rc\x1A"
                  "after"));
  EXPECT_EQ(rest_of(in.stream), "a\nbc");
  EXPECT_TRUE(in.stream.eof);
  EXPECT_EQ(stream_get(in.stream), -1);
}

TEST(TraceStreamTest, EndOfFileOnlyAfterAReadFindsNothing) {
  Input in("ab");
  EXPECT_EQ(stream_get(in.stream), 'a');
  EXPECT_EQ(stream_get(in.stream), 'b');
  EXPECT_FALSE(in.stream.eof);  // the last character was read, nothing failed yet
  EXPECT_EQ(stream_get(in.stream), -1);
  EXPECT_TRUE(in.stream.eof);

  Input trailing_cr("a\r");
  EXPECT_EQ(stream_get(trailing_cr.stream), 'a');
  EXPECT_FALSE(trailing_cr.stream.eof);
  EXPECT_EQ(stream_get(trailing_cr.stream), -1);

  Input empty("");
  EXPECT_FALSE(empty.stream.eof);
  EXPECT_EQ(stream_get(empty.stream), -1);
  EXPECT_TRUE(empty.stream.eof);
}

TEST(TraceStreamTest, HighBytesTabsAndNulPassThrough) {
  Input in(std::string("\xff\x80\t\0\x1b", 5));
  EXPECT_EQ(stream_get(in.stream), 0xff);
  EXPECT_EQ(stream_get(in.stream), 0x80);
  EXPECT_EQ(stream_get(in.stream), '\t');
  EXPECT_EQ(stream_get(in.stream), 0);
  EXPECT_EQ(stream_get(in.stream), 0x1b);
  EXPECT_EQ(stream_get(in.stream), -1);
}

TEST(ScanTokenTest, EndsAtDelimiterOrEndOfFile) {
  Input in(" x");
  EXPECT_EQ(scan_token(in.stream, ' '), "");
  EXPECT_EQ(scan_token(in.stream, ' '), "x");
  EXPECT_TRUE(in.stream.eof);

  Input empty("");
  EXPECT_EQ(scan_token(empty.stream, ' '), "");
  EXPECT_TRUE(empty.stream.eof);
}

TEST(ScanTokenTest, LineFeedsInsideATokenVanish) {
  Input digits("12\n34 rest");
  EXPECT_EQ(scan_token(digits.stream, ' '), "1234");
  EXPECT_EQ(rest_of(digits.stream), "rest");

  Input codes("ED\nIN x");
  EXPECT_EQ(scan_token(codes.stream, ' '), "EDIN");

  Input line("ab c\nnext");
  EXPECT_EQ(scan_token(line.stream, '\n'), "ab c");
  EXPECT_EQ(rest_of(line.stream), "next");
}

TEST(ScanTokenTest, NulCutsTheTextButTheTokenIsConsumed) {
  Input in(std::string("ab\0cd x", 7));
  EXPECT_EQ(scan_token(in.stream, ' '), "ab");
  EXPECT_EQ(rest_of(in.stream), "x");

  Input leading(std::string("\0ab\n", 4));
  EXPECT_EQ(scan_token(leading.stream, '\n'), "");
  EXPECT_FALSE(leading.stream.eof);
}

TEST(ScanTokenTest, LongTokensAreKeptWhole) {
  std::string big(100000, 'q');
  Input in(big + "\nz");
  EXPECT_EQ(scan_token(in.stream, '\n'), big);
  EXPECT_EQ(scan_token(in.stream, '\n'), "z");
}

TEST(ScanNumberTest, BasesAndEmptyTokens) {
  Input hex("1a ");
  EXPECT_EQ(scan_number(hex.stream, ' ', 16), 26u);
  Input dec("1a ");
  EXPECT_EQ(scan_number(dec.stream, ' ', 10), 1u);
  Input empty(" x");
  EXPECT_EQ(scan_number(empty.stream, ' ', 16), 0u);
  Input upper("FF\n");
  EXPECT_EQ(scan_number(upper.stream, '\n', 16), 255u);
  Input split("1\n2 ");
  EXPECT_EQ(scan_number(split.stream, ' ', 16), 0x12u);
}

TEST(ScanNumberTest, NoSignNoPrefixOnlyDigitsAfterWhiteSpace) {
  for (const char* text : {"-5\n", "+5\n", "0x1a\n", "x\n", "\n"}) {
    Input in(text);
    EXPECT_EQ(scan_number(in.stream, '\n', 16), 0u) << text;
  }
  Input spaced(" \t\v\f 1a\n");
  EXPECT_EQ(scan_number(spaced.stream, '\n', 16), 26u);
  Input stops("12 34\n");
  EXPECT_EQ(scan_number(stops.stream, '\n', 10), 12u);
  Input nul(
      std::string("1\0"
                  "2 9",
                  5));
  EXPECT_EQ(scan_number(nul.stream, ' ', 16), 1u);
  EXPECT_EQ(scan_number(nul.stream, ' ', 16), 9u);
}

TEST(ScanNumberTest, SaturatesBeyondThirtyTwoBits) {
  Input max("ffffffff ");
  EXPECT_EQ(scan_number(max.stream, ' ', 16), 0xFFFFFFFFu);
  Input over("100000000 ");
  EXPECT_EQ(scan_number(over.stream, ' ', 16), 0xFFFFFFFFu);
  Input huge(std::string(200, '9') + " ");
  EXPECT_EQ(scan_number(huge.stream, ' ', 10), 0xFFFFFFFFu);
  Input dec("4294967295 4294967296 ");
  EXPECT_EQ(scan_number(dec.stream, ' ', 10), 0xFFFFFFFFu);
  EXPECT_EQ(scan_number(dec.stream, ' ', 10), 0xFFFFFFFFu);
  EXPECT_EQ(static_cast<int32_t>(0xFFFFFFFFu), -1);
}

TEST(ScanQuotedTest, SkipsSpacesAndTheOpeningCharacter) {
  Input in("   \"abc\" rest");
  EXPECT_EQ(scan_quoted(in.stream), "abc");
  EXPECT_EQ(rest_of(in.stream), " rest");

  Input unchecked("xab\"");  // whatever stands first is taken as the quote
  EXPECT_EQ(scan_quoted(unchecked.stream), "ab");

  Input joined("\"a\nb\"");
  EXPECT_EQ(scan_quoted(joined.stream), "ab");

  Input open("\"never closed\nmore");
  EXPECT_EQ(scan_quoted(open.stream), "never closedmore");
  EXPECT_TRUE(open.stream.eof);
}

TEST(SkipTest, SkipCharAndRestOfLine) {
  Input in("\"x\nabc\nlast");
  skip_char(in.stream);
  EXPECT_EQ(stream_get(in.stream), 'x');
  skip_rest_of_line(in.stream);
  skip_rest_of_line(in.stream);
  EXPECT_FALSE(in.stream.eof);
  skip_rest_of_line(in.stream);
  EXPECT_TRUE(in.stream.eof);
}

TEST(ScanEscapedTextTest, LineFeedTerminatorDropsTheClosingQuote) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      {"abc\"\n", "abc"},
      {"a\\\"b\"\n", "a\"b"},
      {"\"\n", ""},
      {"\n", ""},
      {"abc\"", "abc\""},    // end of file: nothing dropped
      {"a\\nb\"\n", "anb"},  // no translation after a backslash
      {"a\\\\b\"\n", "a\\b"},
      {"ab\\", "ab"},         // a trailing backslash adds nothing
      {"ab\\\ncd\"\n", "a"},  // an escaped terminator ends the text too
      {std::string("a\0b\"\n", 5), "a"},
      {std::string("ab\"\0\n", 5), "ab\""},  // the raw last byte is dropped, then the cut
  };
  for (const Case& c : cases) {
    Input in(c.input);
    EXPECT_EQ(scan_escaped_text(in.stream, "\n"), c.expected) << c.input;
  }
}

TEST(ScanEscapedTextTest, ConsumesUpToTheTerminatorOnly) {
  Input in("x\"\nnext\n");
  EXPECT_EQ(scan_escaped_text(in.stream, "\n"), "x");
  EXPECT_EQ(scan_token(in.stream, '\n'), "next");
}

TEST(ScanEscapedTextTest, LongerTerminators) {
  Input in("xyENDrest");
  EXPECT_EQ(scan_escaped_text(in.stream, "END"), "xy");
  EXPECT_EQ(rest_of(in.stream), "rest");

  Input shorter("EN");
  EXPECT_EQ(scan_escaped_text(shorter.stream, "END"), "EN");

  // The progress never falls back to a shorter partial match.
  Input no_fallback("aaab");
  EXPECT_EQ(scan_escaped_text(no_fallback.stream, "aab"), "aaab");
  EXPECT_TRUE(no_fallback.stream.eof);

  Input escaped("x\\E\\N\\D!");
  EXPECT_EQ(scan_escaped_text(escaped.stream, "END"), "x");
}

TEST(SplitFieldTest, Fields) {
  EXPECT_EQ(split_field("1a x", ' ', 1), "1a");
  EXPECT_EQ(split_field("1a", ' ', 1), "1a");
  EXPECT_EQ(split_field("a  b", ' ', 2), "");
  EXPECT_EQ(split_field("a  b", ' ', 3), "b");
  EXPECT_EQ(split_field("a b", ' ', 3), std::nullopt);
  EXPECT_EQ(split_field("a b ", ' ', 3), std::nullopt);
  EXPECT_EQ(split_field("a b ", ' ', 2), "b");
  EXPECT_EQ(split_field("", ' ', 1), "");
  EXPECT_EQ(split_field(" x", ' ', 1), "");
  EXPECT_EQ(split_field("a,b,c", ',', 3), "c");
  EXPECT_EQ(split_field(nullptr, ' ', 1), std::nullopt);
  EXPECT_EQ(split_field("a", ' ', 0), std::nullopt);
  EXPECT_EQ(split_field("a", ' ', -1), std::nullopt);
}

TEST(DecimalFromTextTest, ReadsLikeAtoiOnSixtyFourBits) {
  EXPECT_EQ(decimal_from_text("42"), 42);
  EXPECT_EQ(decimal_from_text(" \t-7x"), -7);
  EXPECT_EQ(decimal_from_text("+3"), 3);
  EXPECT_EQ(decimal_from_text("- 3"), 0);
  EXPECT_EQ(decimal_from_text("+-3"), 0);
  EXPECT_EQ(decimal_from_text("abc"), 0);
  EXPECT_EQ(decimal_from_text(""), 0);
  EXPECT_EQ(decimal_from_text("2147483648"), INT32_MIN);  // low 32 bits
  EXPECT_EQ(decimal_from_text("4294967297"), 1);
  EXPECT_EQ(decimal_from_text("9223372036854775807"), -1);
  EXPECT_EQ(decimal_from_text("99999999999999999999"), -1);  // saturated at INT64_MAX
  EXPECT_EQ(decimal_from_text("-9223372036854775808"), 0);
  EXPECT_EQ(decimal_from_text("-99999999999999999999"), 0);  // saturated at INT64_MIN
  EXPECT_EQ(decimal_from_text("-4294967295"), 1);
  // Magnitudes whose 64-bit products would wrap around must still saturate.
  EXPECT_EQ(decimal_from_text("18446744073709551617"), -1);
  EXPECT_EQ(decimal_from_text("-18446744073709551617"), 0);
  EXPECT_EQ(decimal_from_text("-9223372036854775809"), 0);
  EXPECT_EQ(decimal_from_text("92233720368547758070"), -1);
}

TEST(ScanRecordCodeTest, OnlyTwoCharacterCodesCount) {
  Input in(std::string("IN x\nE\nD y\n x\nINX z\nI\0N w\n", 26));
  EXPECT_EQ(scan_record_code(in.stream), record_code('I', 'N'));
  skip_rest_of_line(in.stream);
  EXPECT_EQ(scan_record_code(in.stream), record_code('E', 'D'));
  skip_rest_of_line(in.stream);
  EXPECT_EQ(scan_record_code(in.stream), 0u);
  skip_rest_of_line(in.stream);
  EXPECT_EQ(scan_record_code(in.stream), 0u);
  skip_rest_of_line(in.stream);
  EXPECT_EQ(scan_record_code(in.stream), 0u);  // cut at the NUL: one character
  skip_rest_of_line(in.stream);
  EXPECT_EQ(scan_record_code(in.stream), 0u);
  EXPECT_TRUE(in.stream.eof);
}

}  // namespace
