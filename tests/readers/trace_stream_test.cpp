// Tests of both readers through real files: paths that cannot be opened, and
// files of several read blocks with carriage returns and a 0x1A byte.
#include "readers/trace_stream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>

#include "model/tree.h"
#include "readers/jtdffile.h"
#include "readers/scanner.h"
#include "readers/tsffile.h"
#include "support/model_access.h"

namespace {

class ReaderFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = ::testing::TempDir() + "readers_files_" + std::to_string(::getpid()) + "/";
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
    tree_init();
  }
  void TearDown() override {
    tree_free();
    std::system(("rm -rf '" + dir + "'").c_str());
  }

  std::string write(const std::string& name, const std::string& text) {
    std::string path = dir + name;
    std::ofstream out(path, std::ios::binary);
    out << text;
    return path;
  }

  std::string dir;
};

TEST_F(ReaderFilesTest, PathsThatCannotBeOpened) {
  int32_t counter = 0;
  EXPECT_EQ(tsf_read(dir.c_str(), &counter), -1);  // a directory
  EXPECT_EQ(tdf_read(dir.c_str()), -1);
  EXPECT_EQ(tsf_read((dir + "missing.tsf").c_str(), &counter), -1);
  EXPECT_EQ(tdf_read((dir + "missing.tdf").c_str()), -1);
  EXPECT_EQ(counter, 0);
  EXPECT_EQ(driver_list_head(), nullptr);
}

TEST_F(ReaderFilesTest, CrLfFilesReadLikeLfFiles) {
  std::string tsf = write("crlf.tsf",
                          "IN \"File\" 1 \"Demo\"\r\nID 1 2\r\nIN \"TestCase\" a \"Case1\"\r\n"
                          "TX 12 \"x == 1\"\r\nED \r\n");
  std::string tdf = write("crlf.tdf", "SF 5 1 2\r\nNI a 1\r\nST 96\r\nNO c \"ok\"\r\n");
  int32_t counter = 0;
  ASSERT_EQ(tsf_read(tsf.c_str(), &counter), 0);
  EXPECT_EQ(counter, 1);
  EXPECT_EQ(driver_list_head()->source, tsf);  // no "SO": the path as given
  ASSERT_NE(node_find(0, 12), nullptr);
  EXPECT_STREQ(node_find(0, 12)->text, "x == 1");
  ASSERT_EQ(tdf_read(tdf.c_str()), 0);
  EXPECT_EQ(node_find(0, 12)->stats->passed, 1);
  EXPECT_EQ(tdf_read(write("empty.tdf", "").c_str()), 0);
}

TEST_F(ReaderFilesTest, RecordsAcrossBlockBoundaries) {
  // About 3 MiB of records, so texts, numbers and CR LF pairs straddle the
  // reader's blocks; a 0x1A byte near the end hides the last record.
  std::string tsf = "IN \"File\" 1 \"Big\"\r\nID 1 2\r\nIN \"TestCase\" 2 \"tc\"\r\n";
  std::string tdf = "SF 5 1 2\r\nNI 2 1\r\nST 96\r\n";
  const int checks = 60000;
  for (int line = 3; line < checks + 3; ++line) {
    tsf += "TX " + std::to_string(line) + " \"check " + std::string(line % 37, 'x') + "\\\"" +
           std::to_string(line) + "\"\r\n";
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", line);
    tdf += std::string("NO ") + hex + " \"" + std::string(line % 13, 'y') + "\"\r\n";
  }
  tsf += "\x1ATX 1000000 \"hidden\"\r\n";
  ASSERT_GT(tsf.size(), size_t{2} << 20);
  int32_t counter = 0;
  ASSERT_EQ(tsf_read(write("big.tsf", tsf).c_str(), &counter), 0);
  ASSERT_EQ(tdf_read(write("big.tdf", tdf).c_str()), 0);
  int seen = 0;
  for (TraceNode* c = node_find(0, 2)->first_child; c != nullptr; c = c->next) {
    std::string want = "check " + std::string(c->line % 37, 'x') + "\"" + std::to_string(c->line);
    ASSERT_EQ(want, c->text);
    ASSERT_EQ(c->stats->passed, 1) << c->line;
    ++seen;
  }
  EXPECT_EQ(seen, checks);
  EXPECT_EQ(node_find(0, 1000000), nullptr);
}

TEST_F(ReaderFilesTest, StreamFromAFileKeepsTheEndOfFileRule) {
  std::string path = write("two.txt", "a\r\nb");
  TraceStream stream;
  ASSERT_TRUE(stream_open_file(stream, path.c_str()));
  EXPECT_EQ(scan_token(stream, '\n'), "a");
  EXPECT_EQ(stream_get(stream), 'b');
  EXPECT_FALSE(stream.eof);
  EXPECT_EQ(stream_get(stream), -1);
  EXPECT_TRUE(stream.eof);
}

// A read error used to end the data like the end of the file: the run then
// reported the part read so far as the whole trace.
ssize_t fail_after_first_block(int fd, void* into, size_t size) {
  static int calls = 0;
  if (into == nullptr) {  // resets the count
    calls = 0;
    return 0;
  }
  if (calls++ > 0) {
    errno = EIO;
    return -1;
  }
  return ::read(fd, into, size);
}

TEST_F(ReaderFilesTest, ReadErrorFailsEitherReader) {
  std::string big(3u << 20, '\n');  // several blocks, so the second read is reached
  std::string tsf = write("io.tsf", "IN \"File\" 1 \"Demo\"\n" + big + "ED \n");
  std::string tdf = write("io.tdf", "SF 5 1 2\n" + big);
  for (bool is_tsf : {true, false}) {
    fail_after_first_block(0, nullptr, 0);
    TraceStream stream;
    ASSERT_TRUE(stream_open_file(stream, (is_tsf ? tsf : tdf).c_str()));
    stream.read_block = fail_after_first_block;
    int32_t counter = 0;
    int result = is_tsf ? tsf_read_stream(stream, tsf.c_str(), &counter) : tdf_read_stream(stream);
    EXPECT_EQ(result, -1) << (is_tsf ? "tsf" : "tdf");
    EXPECT_TRUE(stream.failed);
  }
  // The same files read without a fault are fine.
  int32_t counter = 0;
  EXPECT_EQ(tsf_read(tsf.c_str(), &counter), 0);
  EXPECT_EQ(tdf_read(tdf.c_str()), 0);
}

}  // namespace
