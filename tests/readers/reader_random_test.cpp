// Randomised tests of the readers: the streamed "NO" parse against the plain
// text-and-field reading, the one-pass record reading against the scanners,
// line texts copied at once against the character scan, and random record
// soup through both readers and the roll-up (run under the sanitizers, any
// invalid access shows up here).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "model/node_types.h"
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
  const std::vector<std::string> pieces = {"\"", " ",        "\t", "0", "1",  "a",
                                           "F",  "z",        "x",  "-", "0x", std::string(1, '\0'),
                                           "\r", "ffffffff", "9"};
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

bool same_record(const TdfRecord& a, const TdfRecord& b) {
  return a.kind == b.kind && a.run == b.run && a.sig1 == b.sig1 && a.sig2 == b.sig2 &&
         a.line == b.line && a.instance == b.instance && a.status == b.status;
}

// A scratch file named from the mkstemp pattern `path`, and its new contents.
bool make_scratch(char* path) {
  const int fd = mkstemp(path);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}
bool write_file(const char* path, const std::string& text) {
  FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return false;
  const bool whole = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  return std::fclose(out) == 0 && whole;
}

// Blocks of a few bytes, so that lines run across block ends.
ssize_t short_read(int fd, void* into, size_t size) {
  return ::read(fd, into, size < 5 ? size : 5);
}

// The one-pass reading of plain lines against the scanners on lines near
// plain ones: every record and every stop the same, from a buffer and from a
// file read a few bytes at a time.
TEST(ReaderRandomTest, OnePassRecordsMatchTheScanners) {
  // Lines of a code and a few fields, mostly plain, with the bytes and
  // lengths that take a line off the one-pass road mixed in.
  const std::vector<std::string> codes = {"NO ", "GL ", "ST ", "CI ", "NI ", "ME ",
                                          "MR ", "SF ", "CS ", "XX ", "NO",  "N\rO "};
  const std::vector<std::string> fields = {
      "1",      "a",    "Fe", "ffffffff", "123456789", "0",     "",
      "\"ok\"", "z",    "-1", "\t",       "\r",        "\x1A",  std::string(1, '\0'),
      "9d 12",  " ",    "\n", "AbC12",    "\xb1",      "7\xe1", "123456789abcdef",
      "12f",    "abcd", "1fz"};
  const std::vector<std::string> ends = {"\n", "\n", "\n", "\n", "\r\n", "", " \n", "\x1A"};
  auto soup_of_lines = [&](std::mt19937& random) {
    std::string text;
    for (int line = static_cast<int>(random() % 12); line > 0; --line) {
      text += codes[random() % codes.size()];
      for (int field = static_cast<int>(random() % 4); field > 0; --field) {
        text += fields[random() % fields.size()] + (field > 1 ? " " : "");
      }
      text += ends[random() % ends.size()];
    }
    return text;
  };
  std::mt19937 random(17);
  char path[] = "/tmp/tallyrep-onepass-XXXXXX";
  ASSERT_TRUE(make_scratch(path));
  for (int round = 0; round < 2000; ++round) {
    const std::string text = soup_of_lines(random);
    TraceStream fast, scanned;
    stream_open_buffer(fast, text.data(), text.size());
    stream_open_buffer(scanned, text.data(), text.size());
    TraceStream file;
    if (round % 4 == 0) {
      ASSERT_TRUE(write_file(path, text));
      ASSERT_TRUE(stream_open_file(file, path));
      file.read_block = short_read;
    }
    std::vector<TdfRecord> from_file;
    while (round % 4 == 0 && !file.eof) from_file.push_back(tdf_parse_record(file));
    size_t index = 0;
    while (!scanned.eof) {
      const TdfRecord want = tdf_scan_record(scanned);
      ASSERT_TRUE(same_record(tdf_parse_record(fast), want)) << testing::PrintToString(text);
      ASSERT_EQ(fast.pos, scanned.pos) << testing::PrintToString(text);
      ASSERT_EQ(fast.eof, scanned.eof) << testing::PrintToString(text);
      if (round % 4 == 0) {
        ASSERT_LT(index, from_file.size()) << testing::PrintToString(text);
        ASSERT_TRUE(same_record(from_file[index++], want)) << testing::PrintToString(text);
      }
    }
    if (round % 4 == 0) {
      ASSERT_EQ(index, from_file.size()) << testing::PrintToString(text);
    }
  }
  std::remove(path);
}

TEST(ReaderRandomTest, LineTextsReadAtOnceMatchTheCharacterScan) {
  // Texts to the end of the line, read from one buffer (plain lines are
  // copied at once) and through five-byte reads (most lines are then split
  // over blocks and scanned byte by byte).
  const std::vector<std::string> pieces = {"a",
                                           "\"",
                                           "(x) <= 0",
                                           "\\",
                                           "\\\n",
                                           "\r",
                                           "\r\n",
                                           "\n",
                                           "\x1A",
                                           std::string(1, '\0'),
                                           "\t",
                                           "\xe1",
                                           "0123456789abcdef"};
  std::mt19937 random(23);
  char path[] = "/tmp/tallyrep-linetext-XXXXXX";
  ASSERT_TRUE(make_scratch(path));
  for (int round = 0; round < 3000; ++round) {
    const std::string text = soup(random, pieces, static_cast<int>(random() % 10));
    ASSERT_TRUE(write_file(path, text));
    TraceStream whole, split;
    stream_open_buffer(whole, text.data(), text.size());
    ASSERT_TRUE(stream_open_file(split, path));
    split.read_block = short_read;
    while (!whole.eof) {
      const std::string want = scan_escaped_text(split, "\n");
      ASSERT_EQ(scan_escaped_text(whole, "\n"), want) << testing::PrintToString(text);
      ASSERT_EQ(whole.eof, split.eof) << testing::PrintToString(text);
    }
    ASSERT_TRUE(split.eof) << testing::PrintToString(text);
  }
  std::remove(path);
}

TEST(ReaderRandomTest, RecordSoupThroughBothReadersAndTheRollUp) {
  const std::vector<std::string> tsf_pieces = {"IN ",
                                               "\"File\" ",
                                               "\"TestCase\" ",
                                               "\"TestSuite\" ",
                                               "\"Class\" ",
                                               "\"TestStub\" ",
                                               "TX ",
                                               "MS ",
                                               "SI ",
                                               "ED ",
                                               "ID ",
                                               "SO ",
                                               "LK ",
                                               "DB ",
                                               "\"",
                                               "\\",
                                               "\n",
                                               "\n",
                                               "\r",
                                               "\x1A",
                                               std::string(1, '\0'),
                                               " ",
                                               "1",
                                               "2",
                                               "a",
                                               "c",
                                               "12",
                                               "-9",
                                               "1 2",
                                               "\"x\"",
                                               "verifyLogMessage",
                                               "createTimer"};
  const std::vector<std::string> tdf_pieces = {"SF ", "CS ", "NI ", "ST ", "NO ",
                                               "CI ", "GL ", "ME ", "MR ", "1 ",
                                               "2 ",  "5 ",  "a",   "c",   "14",
                                               "64",  "96",  "97",  "9d",  "\n",
                                               "\n",  "\"",  " ",   "\r",  std::string(1, '\0'),
                                               "0"};
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

// The records applied the plain way, with the model's own lookups every time
// and the instances in a list searched newest first.
void plain_apply(const std::string& tdf) {
  struct Instance {
    int32_t line, instance, driver;
  };
  std::vector<Instance> instances;  // newest last
  std::vector<TraceNode*> stack;
  int32_t driver = -1;
  TraceNode* current = nullptr;
  TraceNode* method = nullptr;
  int outcome = 0;
  int32_t status = 0;
  auto newest = [&](int32_t instance) -> const Instance* {
    for (auto e = instances.rbegin(); e != instances.rend(); ++e) {
      if (e->instance == instance) return &*e;
    }
    return nullptr;
  };
  auto on_line = [&](int32_t line) {
    TraceNode* model = node_find(driver, line);
    if (model == nullptr) return;
    TraceNode* target = node_find_child(current, model);
    if (target == nullptr) target = node_clone_child(current, model);
    if (target != nullptr) node_record_outcome(target, outcome);
  };
  TraceStream stream;
  stream_open_buffer(stream, tdf.data(), tdf.size());
  while (!stream.eof) {
    TdfRecord r = tdf_parse_record(stream);
    switch (r.kind) {
      case TDF_SF:
        driver_bind_run(r.run, r.sig1, r.sig2);
        driver = driver_by_run(r.run);
        break;
      case TDF_CS:
        driver = driver_by_run(r.run);
        break;
      case TDF_NI: {
        bool known = false;
        for (const Instance& e : instances) {
          known = known || (e.line == r.line && e.instance == r.instance && e.driver == driver);
        }
        if (!known) instances.push_back({r.line, r.instance, driver});
        current = node_find(driver, r.line);
        break;
      }
      case TDF_CI: {
        const Instance* e = newest(r.instance);
        current = e != nullptr ? node_find(e->driver, e->line) : nullptr;
        break;
      }
      case TDF_ST:
        outcome = status_to_outcome(r.status);
        status = r.status;
        break;
      case TDF_NO_LINE:
        on_line(r.line);
        break;
      case TDF_GL:
        outcome = status_to_outcome(r.status);
        status = r.status;
        on_line(r.line);
        break;
      case TDF_NO_CURRENT:
        if (method != nullptr) {
          node_record_outcome(method, outcome);
          if ((status == 100 || status == 101 || status == 157) && method->parent != nullptr) {
            node_set_type(method->parent, TYPE_STUB);
          }
        } else if (current != nullptr) {
          node_record_outcome(current, outcome);
        }
        break;
      case TDF_ME:
        stack.push_back(current);
        method = node_find(driver, r.line);
        break;
      case TDF_MR:
        current = stack.empty() ? nullptr : stack.back();
        if (!stack.empty()) stack.pop_back();
        method = nullptr;
        break;
      case TDF_IGNORED:
        break;
    }
  }
}

// Every driver's tree in child order: types, keys, texts, statuses, counters.
std::string dump_model() {
  std::string out;
  char line[160];
  for (int i = 0; i < driver_count(); ++i) {
    std::vector<std::pair<const TraceNode*, int>> todo = {{driver_root_at(i), 0}};
    while (!todo.empty()) {
      auto [node, depth] = todo.back();
      todo.pop_back();
      NodeStats stats = node->stats != nullptr ? *node->stats : NodeStats{};
      std::snprintf(line, sizeof line, "%d %d %d/%x %d %d %d.%d.%d.%d ", depth, node->type,
                    node->file, node->line, node->value, node->status, stats.executed, stats.passed,
                    stats.failed, stats.entered);
      out += line;
      out += node->text;
      out += "\n";
      std::vector<const TraceNode*> children;
      for (const TraceNode* c = node->first_child; c != nullptr; c = c->next) children.push_back(c);
      for (auto c = children.rbegin(); c != children.rend(); ++c) todo.push_back({*c, depth + 1});
    }
  }
  return out;
}

TEST(ReaderRandomTest, ReaderMatchesThePlainAlgorithmOnRandomTraces) {
  // Two drivers with containers, checks and method checks under classes;
  // several checks share their text so that copies meet equal siblings.
  const std::string tsf =
      "IN \"File\" 1 \"A\"\nID 1 2\n"
      "IN \"TestCase\" 2 \"t2\"\nTX 3 \"c\"\nTX 4 \"c\"\n"
      "SI 1\nIN \"TestCase\" 5 \"t5\"\nLK 7\nTX 6 \"c\"\n"
      "SI 1\nIN \"Class\" 7 \"k7\"\nTX 8 \"m\"\nTX 9 \"verifyLogMessage\"\n"
      "SI 1\nIN \"TestStub\" a \"s\"\nIN \"Class\" b \"k11\"\nMS 12 \"c\"\nED \n"
      "IN \"File\" 1 \"B\"\nID 3 4\n"
      "IN \"TestCase\" 2 \"u2\"\nTX 3 \"c\"\nSI 1\nIN \"Class\" 7 \"k\"\nTX 8 \"m\"\nED \n";
  const char* const statuses[] = {"64", "65", "96", "9a", "97", "9b", "9d", "a2", "a4", "a5", "1"};
  std::mt19937 random(3);
  for (int round = 0; round < 150; ++round) {
    std::string tdf;
    char record[64];
    for (int i = 0; i < 300; ++i) {
      unsigned line = static_cast<unsigned>(random() % 14);
      unsigned instance = static_cast<unsigned>(random() % 6);
      const char* status = statuses[random() % 11];
      switch (random() % 12) {
        case 0: {
          unsigned run = static_cast<unsigned>(random() % 4) + 1;
          unsigned sig1 = random() % 2 ? 1u : 3u;
          unsigned sig2 = random() % 2 ? 2u : 4u;
          std::snprintf(record, sizeof record, "SF %u %u %u\n", run, sig1, sig2);
          break;
        }
        case 1:
          std::snprintf(record, sizeof record, "CS %u\n", static_cast<unsigned>(random() % 5));
          break;
        case 2:
          std::snprintf(record, sizeof record, "NI %x %x\n", line, instance);
          break;
        case 3:
          std::snprintf(record, sizeof record, "CI %x\n", instance);
          break;
        case 4:
          std::snprintf(record, sizeof record, "ST %s\n", status);
          break;
        case 5:
        case 6:
          std::snprintf(record, sizeof record, "NO %x \"n\"\n", line);
          break;
        case 7:
          std::snprintf(record, sizeof record, "GL %s %x\n", status, line);
          break;
        case 8:
          std::snprintf(record, sizeof record, "NO \"q\"\n");
          break;
        case 9:
          std::snprintf(record, sizeof record, "ME %x 0\n", line);
          break;
        case 10:
          std::snprintf(record, sizeof record, "MR \n");
          break;
        default:
          std::snprintf(record, sizeof record, "NO %x \"n\"\n", line);
          break;
      }
      tdf += record;
      // Now and then a line the one-pass road leaves to the scanners.
      if (random() % 8 == 0) tdf.insert(tdf.size() - 1, "\r");
    }
    std::string expected;
    std::string actual;
    for (int pass = 0; pass < 2; ++pass) {
      tree_init();
      int32_t counter = 0;
      ASSERT_EQ(tsf_read_buffer(tsf.data(), tsf.size(), "r.tsf", &counter), 0);
      if (pass == 0) {
        plain_apply(tdf);
        expected = dump_model();
      } else {
        ASSERT_EQ(tdf_read_buffer(tdf.data(), tdf.size()), 0);
        actual = dump_model();
      }
      tree_free();
    }
    ASSERT_EQ(actual, expected) << tdf;
  }
}

}  // namespace
