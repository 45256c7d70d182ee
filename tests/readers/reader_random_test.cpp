// Randomised tests of the readers: the streamed "NO" parse against the plain
// text-and-field reading, and random record soup through both readers and the
// roll-up (run under the sanitizers, any invalid access shows up here).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "model/tree.h"
#include "readers/jtdffile.h"
#include "readers/scanner.h"
#include "readers/tsffile.h"

namespace {

std::string soup(std::mt19937& random, const std::vector<std::string>& pieces, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += pieces[random() % pieces.size()];
  return out;
}

// The note record read the plain way: the whole text, then its first field.
TdfRecord plain_note(const std::string& rest_of_line) {
  TraceStream stream;
  stream_open_buffer(stream, rest_of_line.data(), rest_of_line.size());
  std::string text = scan_token(stream, '\n');
  TdfRecord record;
  if (!text.empty() && text[0] == '"') {
    record.kind = TDF_NO_CURRENT;
    return record;
  }
  std::string field = split_field(text.c_str(), ' ', 1).value_or("") + "\n";
  TraceStream field_stream;
  stream_open_buffer(field_stream, field.data(), field.size());
  record.line = static_cast<int32_t>(scan_number(field_stream, '\n', 16));
  record.kind = record.line != 0 ? TDF_NO_LINE : TDF_IGNORED;
  return record;
}

TEST(ReaderRandomTest, StreamedNoteMatchesThePlainReading) {
  const std::vector<std::string> pieces = {"\"", " ", "\t", "0", "1", "a", "F", "z", "x", "-",
                                           "0x", std::string(1, '\0'), "\r", "ffffffff", "9"};
  std::mt19937 random(11);
  for (int i = 0; i < 20000; ++i) {
    std::string rest = soup(random, pieces, static_cast<int>(random() % 8));
    std::string record = "NO " + rest + (random() % 4 != 0 ? "\nCS 1\n" : "");
    TraceStream stream;
    stream_open_buffer(stream, record.data(), record.size());
    TdfRecord streamed = tdf_parse_record(stream);
    TdfRecord plain = plain_note(rest);
    ASSERT_EQ(streamed.kind, plain.kind) << rest;
    ASSERT_EQ(streamed.line, plain.line) << rest;
    if (record.size() > rest.size() + 3) {
      ASSERT_EQ(tdf_parse_record(stream).kind, TDF_CS) << rest;  // the note took its line only
    }
  }
}

TEST(ReaderRandomTest, RecordSoupThroughBothReadersAndTheRollUp) {
  const std::vector<std::string> tsf_pieces = {
      "IN ", "\"File\" ", "\"TestCase\" ", "\"TestSuite\" ", "\"Class\" ", "\"TestStub\" ",
      "TX ", "MS ", "SI ", "ED ", "ID ", "SO ", "LK ", "DB ", "\"", "\\", "\n", "\n", "\r",
      "\x1A", std::string(1, '\0'), " ", "1", "2", "a", "c", "12", "-9", "1 2", "\"x\"",
      "verifyLogMessage", "createTimer"};
  const std::vector<std::string> tdf_pieces = {
      "SF ", "CS ", "NI ", "ST ", "NO ", "CI ", "GL ", "ME ", "MR ", "1 ", "2 ", "5 ", "a", "c",
      "14", "64", "96", "97", "9d", "\n", "\n", "\"", " ", "\r", std::string(1, '\0'), "0"};
  std::mt19937 random(5);
  for (int round = 0; round < 300; ++round) {
    tree_init();
    int32_t counter = 0;
    // A well-formed driver first, so that the soup finds something to act on.
    std::string tsf = "IN \"File\" 1 \"D\"\nID 1 2\nIN \"TestCase\" a \"t\"\nTX 12 \"c\"\n" +
                      soup(random, tsf_pieces, 200);
    std::string tdf = "SF 5 1 2\nNI a 1\n" + soup(random, tdf_pieces, 400);
    ASSERT_EQ(tsf_read_buffer(tsf.data(), tsf.size(), "soup.tsf", &counter), 0);
    ASSERT_EQ(tdf_read_buffer(tdf.data(), tdf.size()), 0);
    tree_rollup();
    tree_free();
  }
}

}  // namespace
