// Fault injection and hostile inputs: unwritable reports, unreadable traces,
// refused memory, huge tokens, deep and wide trees, garbage, read-block boundaries.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "base/out_buffer.h"
#include "e2e/small_traces.h"
#include "model/tree.h"
#include "readers/jtdffile.h"
#include "readers/tsffile.h"
#include "report/driver_block.h"
#include "report/jresfile.h"
#include "support/run_program.h"

namespace {

const char kBanner[] =
    "Kestrel(R) Proofline Java Test Report Generator 2002.05.21.468.004\n"
    "Copyright (C) 2002-2026 Kestrel Software. All rights reserved.\n";

// One driver (identification words 1 and 2) with a test case and two checks,
// and a TDF run that passes one check and fails the other.
const char kSmallTsf[] =
    "SO \"Demo.java\"\n"
    "IN \"File\" 1 \"Demo\"\n"
    "ID 1 2\n"
    "IN \"TestCase\" a \"Case1\"\n"
    "LK 42\n"
    "TX 12 \"x == 1\"\n"
    "TX 13 \"y == 2\"\n"
    "ED \n";
const char kSmallTdf[] = "SF 5 1 2\nNI a 1\nST 96\nNO c \"ok\"\nGL 97 d\n";

bool sanitized() {
  const char* flag = std::getenv("TALLYREP_SANITIZED");
  return flag && std::string(flag) == "1";
}

// The full path of a program found on PATH, or "" when there is none.
std::string tool_path(const char* name) {
  std::string cmd = std::string("command -v ") + name + " 2>/dev/null";
  std::string found;
  if (FILE* pipe = popen(cmd.c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe)) found += buf;
    pclose(pipe);
  }
  while (!found.empty() && (found.back() == '\n' || found.back() == '\r')) found.pop_back();
  return found;
}

bool have_tool(const char* name) {
  return !tool_path(name).empty();
}

// The size of the big trees: a million, or a quarter of it under the
// sanitizers, which run several times slower and whose larger stack frames
// overflow the stack well before that depth if anything recurses.
int big_count() {
  return sanitized() ? 250000 : 1000000;
}

std::string diag(const std::string& category, const std::string& message) {
  return "tallyrep: " + category + ": " + message + "\n";
}

// Pseudo-random bytes, the same on every run.
std::string garbage(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t x = seed;
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x >> 24);
  }
  return bytes;
}

class Robustness : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = make_temp_dir(); }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  void put(const std::string& name, const std::string& bytes) const {
    write_file(path(name), bytes);
  }

  // tallyrep with these arguments, run in the test folder without a header file;
  // `prefix` (prlimit, sh -c ...) goes in front of the binary.
  ProgramResult run(const std::vector<std::string>& args,
                    const std::vector<std::string>& prefix = {}) const {
    std::vector<std::string> argv = prefix;
    argv.push_back(TALLYREP_BIN);
    argv.insert(argv.end(), args.begin(), args.end());
    return run_program(argv, dir_, {"KSPX_WORKSHOP_HEADER_FILE"});
  }
  ProgramResult run_files(const std::string& tsf, const std::string& tdf,
                          const std::string& xrd = "o.xrd") const {
    return run({"-tsf", tsf, "-tdf", tdf, "-xrd", xrd});
  }

  // A run that must succeed silently and leave a well-formed report.
  void expect_clean_report(const ProgramResult& r, const std::string& xrd = "o.xrd") const {
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(kBanner, r.err);
    EXPECT_EQ("", r.out);
    ASSERT_TRUE(std::filesystem::exists(path(xrd)));
    if (have_tool("xmllint")) {
      std::string quoted;
      for (char c : path(xrd)) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
      std::string cmd = "xmllint --noout --huge '" + quoted + "' 2>/dev/null";
      EXPECT_EQ(0, std::system(cmd.c_str())) << "report is not well-formed: " << path(xrd);
    }
  }

  // a.tsf and r.tdf for a report of about a megabyte: 20,000 executed checks.
  void put_big_traces() const {
    std::string tsf = "IN \"File\" 1 \"Big\"\nID 1 2\nIN \"TestCase\" 2 \"c\"\n";
    std::string tdf = "SF 5 1 2\nNI 2 1\n";
    for (int i = 0; i < 20000; ++i) {
      tsf += "TX " + std::to_string(i + 3) + " \"check number " + std::to_string(i) + "\"\n";
      char rec[32];
      std::snprintf(rec, sizeof rec, "GL 96 %x\n", i + 3);
      tdf += rec;
    }
    put("a.tsf", tsf);
    put("r.tdf", tdf);
  }

  // tallyrep on them into o.xrd under a file size limit far below the report's
  // size; the signal that would end the process is ignored, as under a quota,
  // unless `signalled`.
  ProgramResult run_under_size_limit(bool signalled = false) const {
    const std::string limit =
        signalled ? "ulimit -f 64; exec \"$@\"" : "trap '' XFSZ; ulimit -f 64; exec \"$@\"";
    return run({"-tsf", "a.tsf", "-tdf", "r.tdf", "-xrd", "o.xrd"}, {"/bin/sh", "-c", limit, "sh"});
  }

  std::string dir_;
};

// --- The report cannot be written -----------------------------------------

TEST_F(Robustness, ReportThatCannotBeWrittenEndsWithPermissionDenied) {
  put("a.tsf", kSmallTsf);
  put("r.tdf", kSmallTdf);
  std::filesystem::create_directory(path("adir"));
  const std::vector<std::string> targets = {
      "/dev/full",          // every write fails: no space left
      "adir",               // a directory
      "missing/sub/o.xrd",  // a folder that does not exist
      "",                   // no name at all
  };
  for (const std::string& xrd : targets) {
    ProgramResult r = run_files("a.tsf", "r.tdf", xrd);
    EXPECT_EQ(255, r.status) << xrd;
    EXPECT_EQ(kBanner + diag("error", xrd + ", permission denied;"), r.err) << xrd;
    EXPECT_EQ("", r.out);
  }
  EXPECT_FALSE(std::filesystem::exists(path("missing")));
}

TEST_F(Robustness, ReportCutShortByTheFileSizeLimitIsAFailure) {
  // The write fails part-way, so the run must not claim success for the
  // half-written file.
  put_big_traces();
  ProgramResult r = run_under_size_limit();
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(kBanner + diag("error", "o.xrd, permission denied;"), r.err);
}

// --- An old report is in the way --------------------------------------------

// The report with its generation time blanked out.
std::string masked_report(const std::string& bytes) {
  static const std::regex kTime(R"([A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d +\d+)");
  return std::regex_replace(bytes, kTime, "TIME");
}

TEST_F(Robustness, LongerOldReportIsReplacedWhole) {
  put("a.tsf", kSmallTsf);
  put("r.tdf", kSmallTdf);
  expect_clean_report(run_files("a.tsf", "r.tdf"));
  const std::string fresh = masked_report(read_file(path("o.xrd")));
  // An old report many times longer, and one that is shorter.
  for (size_t old_size : {size_t{3} << 20, size_t{10}}) {
    put("o.xrd", std::string(old_size, '\x01'));
    expect_clean_report(run_files("a.tsf", "r.tdf"));
    EXPECT_EQ(fresh, masked_report(read_file(path("o.xrd")))) << old_size;
  }
}

// A failed rewrite used to destroy the previous good report; ended by the
// limit's signal, it used to leave its temporary.
TEST_F(Robustness, FailedRewriteKeepsTheOldReport) {
  put_big_traces();
  const std::string old(size_t{4} << 20, '\x01');
  for (bool signalled : {false, true}) {
    // A shell cannot undo a signal its caller made it ignore.
    struct sigaction inherited;
    if (signalled && sigaction(SIGXFSZ, nullptr, &inherited) == 0 &&
        inherited.sa_handler == SIG_IGN)
      continue;
    put("o.xrd", old);
    ProgramResult r = run_under_size_limit(signalled);
    if (signalled) {
      EXPECT_EQ(SIGXFSZ, r.signal);
    } else {
      EXPECT_EQ(255, r.status);
      EXPECT_EQ(kBanner + diag("error", "o.xrd, permission denied;"), r.err);
    }
    EXPECT_EQ(old, read_file(path("o.xrd")));
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      EXPECT_EQ(std::string::npos, e.path().string().find(".tallyrep-")) << e.path();
    }
  }
}

// --- A trace cannot be read ----------------------------------------------

TEST_F(Robustness, TraceThatIsADirectoryIsNotRecognized) {
  put("a.tsf", kSmallTsf);
  put("r.tdf", kSmallTdf);
  std::filesystem::create_directory(path("tdir"));

  ProgramResult r = run_files("a.tsf", "tdir");
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(kBanner + diag("error", "tdir, file format not recognized."), r.err);
  EXPECT_FALSE(std::filesystem::exists(path("o.xrd")));

  r = run_files("tdir", "r.tdf");
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(kBanner + diag("error", "tdir, file format not recognized."), r.err);
  EXPECT_FALSE(std::filesystem::exists(path("o.xrd")));

  // The first TSF is read, the second stops the run before the TDF is looked at.
  r = run({"-tsf", "a.tsf", "tdir", "a.tsf", "-tdf", "tdir", "-xrd", "o.xrd"});
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(kBanner + diag("error", "tdir, file format not recognized."), r.err);
  EXPECT_FALSE(std::filesystem::exists(path("o.xrd")));
}

// --- Refused memory ---------------------------------------------------------

TEST_F(Robustness, RefusedMemoryEndsWithStatusOneAndOneLine) {
  if (sanitized()) GTEST_SKIP() << "the sanitizers reserve more address space than any limit";
  const std::string prlimit = tool_path("prlimit");
  if (prlimit.empty()) GTEST_SKIP() << "prlimit is not installed";
  // A million checks need well over a hundred megabytes; every limit below that must
  // end the same way, wherever the refusal falls.
  std::string tsf = "IN \"File\" 1 \"Wide\"\nID 1 2\nIN \"TestCase\" 2 \"c\"\n";
  tsf.reserve(24u << 20);
  for (int i = 0; i < 1000000; ++i) tsf += "TX " + std::to_string(i + 3) + " \"c\"\n";
  tsf += "ED \n";
  put("a.tsf", tsf);
  put("r.tdf", "SF 5 1 2\nNI 2 1\nGL 96 3\n");
  for (int megabytes : {24, 40, 64, 100}) {
    ProgramResult r = run({"-tsf", "a.tsf", "-tdf", "r.tdf", "-xrd", "o.xrd"},
                          {prlimit, "--as=" + std::to_string(megabytes * 1024 * 1024), "--"});
    EXPECT_EQ(1, r.status) << megabytes << " MB";
    EXPECT_EQ(kBanner + diag("fatal", "out of memory"), r.err) << megabytes << " MB";
    EXPECT_EQ("", r.out);
  }
}

TEST_F(Robustness, AnyMemoryLimitEndsInSuccessOrTheOutOfMemoryLine) {
  if (sanitized()) GTEST_SKIP() << "the sanitizers reserve more address space than any limit";
  const std::string prlimit = tool_path("prlimit");
  if (prlimit.empty()) GTEST_SKIP() << "prlimit is not installed";
  // A trace whose whole run needs about ten megabytes: limits around that
  // refuse memory in the readers, the roll-up or the report, and every one of
  // them must end either cleanly or with the one out-of-memory line.
  const auto [tsf, tdf] = e2e::many_checks(20000, 7);
  put("a.tsf", tsf);
  put("r.tdf", tdf);
  int succeeded = 0;
  int refused = 0;
  for (long kb = 6 * 1024; kb <= 16 * 1024; kb += 512) {
    ProgramResult r = run({"-tsf", "a.tsf", "-tdf", "r.tdf", "-xrd", "o.xrd"},
                          {prlimit, "--as=" + std::to_string(kb * 1024), "--"});
    if (r.status == 0) {
      ++succeeded;
      EXPECT_EQ(kBanner, r.err) << kb << " KB";
    } else {
      ++refused;
      EXPECT_EQ(1, r.status) << kb << " KB";
      EXPECT_EQ(kBanner + diag("fatal", "out of memory"), r.err) << kb << " KB";
    }
    EXPECT_EQ("", r.out);
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      EXPECT_EQ(std::string::npos, e.path().string().find(".tallyrep-")) << kb << " KB";
    }
  }
  EXPECT_GT(refused, 0) << "no limit was low enough to refuse memory";
}

// --- Sizes: one huge token, a deep chain, a wide level ------------------------

TEST_F(Robustness, TenMegabyteTokensAreSurvived) {
  const std::string big(10u << 20, 'x');
  // As a record code, a name, a check text, a source and a TDF field.
  put("a.tsf", big + " 1\n" + "SO \"" + big + "\"\nIN \"File\" 1 \"" + big + "\"\nID 1 2\n" +
                   "IN \"TestCase\" a \"Case1\"\nTX 12 \"" + big + "\"\nTX 13 \"short\"\nED \n");
  put("r.tdf", "SF 5 1 2\nNI a 1\nST 96\nNO c \"" + big + "\"\nNO " + big + " \"x\"\n" + big +
                   " rest\nGL 97 d\n");
  expect_clean_report(run_files("a.tsf", "r.tdf"));
  // The records after the huge ones still count: the second check failed.
  EXPECT_NE(std::string::npos, read_file(path("o.xrd")).find("short"));
  // A header file with a 10 MB line before its keys and a 10 MB value.
  put("h.txt", big + "\n$PROJECT_NAME=" + big + "\n$NAME=node\n");
  ProgramResult r = run_program({TALLYREP_BIN, "-tsf", "a.tsf", "-tdf", "r.tdf", "-xrd", "h.xrd"},
                                dir_, {"KSPX_WORKSHOP_HEADER_FILE=" + path("h.txt")});
  expect_clean_report(r, "h.xrd");
}

TEST_F(Robustness, HeaderFileThatCannotBeReadGivesTheDefaults) {
  put("a.tsf", kSmallTsf);
  put("r.tdf", kSmallTdf);
  std::filesystem::create_directory(path("hdir"));
  for (const std::string& header : {path("hdir"), path("missing.txt"), std::string("")}) {
    ProgramResult r = run_program({TALLYREP_BIN, "-tsf", "a.tsf", "-tdf", "r.tdf", "-xrd", "o.xrd"},
                                  dir_, {"KSPX_WORKSHOP_HEADER_FILE=" + header});
    expect_clean_report(r);
  }
}

TEST_F(Robustness, ReportNameWithMarkupCharactersStaysWellFormed) {
  put("a.tsf", kSmallTsf);
  put("r.tdf", kSmallTdf);
  const std::string name = "o\"<&>'\xe9.xrd";
  expect_clean_report(run_files("a.tsf", "r.tdf", name), name);
}

TEST_F(Robustness, MillionLevelNestingIsReadRolledUpReportedAndReleased) {
  // Each "IN" container becomes the parent of the next, so the suites form one
  // chain a million levels deep, with a check at the bottom that passes.
  const int levels = big_count();
  std::string tsf = "IN \"File\" 1 \"Deep\"\nID 1 2\n";
  tsf.reserve(30u << 20);
  char line[64];
  for (int i = 0; i < levels; ++i) {
    std::snprintf(line, sizeof line, "IN \"TestSuite\" %x \"s\"\n", i + 2);
    tsf += line;
  }
  tsf += "TX 99999999 \"deepest\"\nED \n";
  put("a.tsf", tsf);
  char tdf[128];
  std::snprintf(tdf, sizeof tdf, "SF 5 1 2\nNI %x 1\nGL 96 %x\n", levels + 1, 99999999);
  put("r.tdf", tdf);

  ProgramResult r = run_files("a.tsf", "r.tdf");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(kBanner, r.err);
  // Every level is reported, and the browse-tree entries close as they open.
  // (Too deep for xmllint, so the entries are counted here, chunk by chunk; a
  // chunk is cut before its last '<' so that no tag is split.)
  std::ifstream in(path("o.xrd"), std::ios::binary);
  std::vector<char> block(1u << 20);
  std::string text;
  std::string last;
  long long opened = 0;
  long long closed = 0;
  auto count = [&](const std::string& part) {
    for (size_t at = part.find("<DAZU:NODE "); at != std::string::npos;
         at = part.find("<DAZU:NODE ", at + 1))
      ++opened;
    for (size_t at = part.find("</DAZU:NODE>"); at != std::string::npos;
         at = part.find("</DAZU:NODE>", at + 1))
      ++closed;
  };
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
    text.append(block.data(), static_cast<size_t>(in.gcount()));
    last = text.size() > 64 ? text.substr(text.size() - 64) : text;
    size_t cut = text.rfind('<');
    if (cut == std::string::npos) cut = text.size();
    count(text.substr(0, cut));
    text.erase(0, cut);
  }
  count(text);
  EXPECT_GE(opened, levels + 1);
  EXPECT_EQ(opened, closed);
  EXPECT_NE(std::string::npos, last.find("</DAZU>"));
}

TEST_F(Robustness, MillionSiblingsAreSurvived) {
  // A million test cases side by side under the root, the last holding a
  // thousand checks; a few run, one through a copy under the first case.
  const int siblings = big_count();
  std::string tsf = "IN \"File\" 1 \"Wide\"\nID 1 2\n";
  tsf.reserve(32u << 20);
  char line[64];
  for (int i = 0; i < siblings; ++i) {
    std::snprintf(line, sizeof line, "SI 1\nIN \"TestCase\" %x \"t\"\n", i + 2);
    tsf += line;
  }
  for (int i = 0; i < 1000; ++i) {
    std::snprintf(line, sizeof line, "TX %d \"c\"\n", 0x2000000 + i);
    tsf += line;
  }
  put("a.tsf", tsf + "ED \n");
  char tdf[160];
  std::snprintf(tdf, sizeof tdf,
                "SF 5 1 2\nNI 2 1\nGL 96 2000000\nNI %x 2\nGL 96 2000000\nGL 97 20003e7\n",
                siblings + 1);
  put("r.tdf", tdf);
  expect_clean_report(run_files("a.tsf", "r.tdf"));
  std::string report = read_file(path("o.xrd"));
  // The first and the last test case are reported, the last one failed.
  EXPECT_NE(std::string::npos,
            report.find("Failed</CELL_TEXT>\n<CELL_TEXT STYLE=\"Array Failed\">1<"));
  EXPECT_NE(std::string::npos, report.find("Passed</CELL_TEXT>\n<CELL_TEXT STYLE=\"Array\">1<"));
}

// --- Odd bytes ----------------------------------------------------------------

TEST_F(Robustness, BinaryGarbageGivesAReport) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    put("g.tsf", garbage(1u << 20, seed));
    put("g.tdf", garbage(1u << 20, seed + 100));
    expect_clean_report(run_files("g.tsf", "g.tdf"));
  }
  // Garbage inside well-formed records reaches the report's texts and tags.
  std::string tsf = "SO \"Src.java\"\nIN \"File\" 1 \"Drv\"\nID 1 2\nIN \"TestCase\" a \"Case\"\n";
  std::string tdf = "SF 5 1 2\nNI a 1\n";
  std::string noise = garbage(200000, 7);
  for (char& c : noise) {
    if (c == '"' || c == '\n' || c == '\\' || c == 0x1A) c = '.';
  }
  for (int i = 0; i < 1000; ++i) {
    std::string piece = noise.substr(static_cast<size_t>(i) * 200, 200);
    tsf += "IN \"TestCase\" " + std::to_string(1000 + i) + " \"" + piece.substr(0, 40) + "\"\n";
    tsf += "TX " + std::to_string(5000 + i) + " \"" + piece + "\"\n";
    tsf += "SI 1\n";
    char rec[64];
    std::snprintf(rec, sizeof rec, "NI %d 1\nGL %s %x\n", 1000 + i, i % 3 ? "96" : "97", 5000 + i);
    tdf += rec;
  }
  put("n.tsf", tsf + "ED \n");
  put("n.tdf", tdf);
  expect_clean_report(run_files("n.tsf", "n.tdf"));
  // And garbage header values, which reach the document's head as well.
  put("h.txt",
      "$NAME=" + noise.substr(0, 300) + "\n$PROJECT_NAME=" + noise.substr(300, 300) + "\n");
  ProgramResult r = run_program({TALLYREP_BIN, "-tsf", "n.tsf", "-tdf", "n.tdf", "-xrd", "h.xrd"},
                                dir_, {"KSPX_WORKSHOP_HEADER_FILE=" + path("h.txt")});
  expect_clean_report(r, "h.xrd");
}

TEST_F(Robustness, NulBytesDoNotEndTheData) {
  using namespace std::string_literals;
  put("a.tsf",
      "IN \"File\" 1 \"De\0mo\"\nID 1 2\n\0\0\0 junk\nIN \"TestCase\" a \"Ca\0se\"\n"
      "TX 12 \"x \0== 1\"\nTX 13 \"after the nul\"\nED \n"s);
  put("r.tdf", "SF 5 1 2\n\0\0 junk\nNI a 1\nST 96\nNO c \"o\0k\"\nGL 97 d\n"s);
  expect_clean_report(run_files("a.tsf", "r.tdf"));
  EXPECT_NE(std::string::npos, read_file(path("o.xrd")).find("after the nul"));
}

TEST_F(Robustness, SubstituteCharacterEndsTheData) {
  put("a.tsf", std::string(kSmallTsf) + "IN \"File\" 1 \"Second\"\nID 1 2\n" +
                   "IN \"TestCase\" a \"Hidden\"\nTX 12 \"x\"\nED \n");
  std::string tsf = read_file(path("a.tsf"));
  tsf.insert(tsf.find("IN \"File\" 1 \"Second\""), "\x1a");
  put("a.tsf", tsf);
  put("r.tdf", "SF 5 1 2\nNI a 1\nST 96\nNO c \"ok\"\n\x1aGL 97 d\n");
  expect_clean_report(run_files("a.tsf", "r.tdf"));
  std::string report = read_file(path("o.xrd"));
  EXPECT_EQ(std::string::npos, report.find("Second"));
  EXPECT_EQ(std::string::npos, report.find("Hidden"));
  // The failing "GL" after the end of the data is not counted.
  EXPECT_NE(std::string::npos,
            report.find("Failed</CELL_TEXT>\n<CELL_TEXT STYLE=\"Array\">0</CELL_TEXT>"));
}

TEST_F(Robustness, CarriageReturnLineEndsAreSurvived) {
  std::string tsf = kSmallTsf;
  std::string tdf = kSmallTdf;
  for (char& c : tsf)
    if (c == '\n') c = '\r';
  for (char& c : tdf)
    if (c == '\n') c = '\r';
  put("a.tsf", tsf);
  put("r.tdf", tdf);
  expect_clean_report(run_files("a.tsf", "r.tdf"));
  // CR LF reads exactly like LF.
  std::string crlf_tsf;
  std::string crlf_tdf;
  for (char c : std::string(kSmallTsf))
    crlf_tsf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (char c : std::string(kSmallTdf))
    crlf_tdf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  put("c.tsf", crlf_tsf);
  put("c.tdf", crlf_tdf);
  put("l.tsf", kSmallTsf);
  put("l.tdf", kSmallTdf);
  expect_clean_report(run_files("c.tsf", "c.tdf", "c.xrd"), "c.xrd");
  expect_clean_report(run_files("l.tsf", "l.tdf", "l.xrd"), "l.xrd");
  std::string a = read_file(path("c.xrd"));
  std::string b = read_file(path("l.xrd"));
  // Only the report's own name and the generation time differ.
  EXPECT_EQ(a.size(), b.size());
}

TEST_F(Robustness, FileEndingInsideAQuotedTextIsSurvived) {
  const std::vector<std::string> tsf_ends = {
      "TX 14 \"unterminated",     "TX 14 \"ends on a backslash \\",
      "IN \"TestCase\" b \"open", "IN \"TestC",
      "SO \"Other.java",          "LK 7",
  };
  for (const std::string& end : tsf_ends) {
    put("a.tsf", std::string(kSmallTsf, sizeof kSmallTsf - 1 - 4) + end);  // drop "ED \n"
    put("r.tdf", std::string(kSmallTdf) + "NO c \"unterminated");
    expect_clean_report(run_files("a.tsf", "r.tdf"));
  }
}

// --- Block boundaries -----------------------------------------------------------

// The report of one in-process run over two trace files, at a fixed time and
// without a header file.
std::string report_of(const std::string& tsf, const std::string& tdf) {
  tree_init();
  int32_t counter = 0;
  EXPECT_EQ(0, tsf_read(tsf.c_str(), &counter));
  EXPECT_EQ(0, tdf_read(tdf.c_str()));
  tree_rollup();
  std::string doc;
  OutBuffer out;
  out_open_string(out, &doc);
  ReportWriter w{out, 0, "Tue Nov 14 22:13:20 2023"};
  report_write_document(w, "o.xrd");
  out_close(out);
  tree_free();
  return doc;
}

TEST_F(Robustness, EveryByteMayFallOnAReadBlockBoundary) {
  // Files are read in blocks of 512 KiB, so 1 MiB falls on a boundary too. A
  // padding line that the readers skip moves the boundary onto each byte of
  // the records in turn (CR LF line ends, escapes, quotes, the 0x1A end of
  // data); the report must not change.
  const char* saved = std::getenv("KSPX_WORKSHOP_HEADER_FILE");
  const std::string saved_header = saved ? saved : "";
  unsetenv("KSPX_WORKSHOP_HEADER_FILE");

  const std::string tsf =
      "SO \"Demo.java\"\r\nIN \"File\" 1 \"Demo\"\r\nID 1 2\r\nIN \"TestCase\" a \"Case1\"\r\n"
      "LK 42\r\nTX 12 \"x \\\"q\\\" \\\\ == 1\"\r\nTX 13 \"y\r\n == 2\"\r\nED \r\n"
      "\x1aIN \"File\" 1 \"Hidden\"\n";
  const std::string tdf = "SF 5 1 2\r\nNI a 1\r\nST 96\r\nNO c \"ok\"\r\nGL 97 d\r\n\x1aGL 96 d\n";
  put("a.tsf", tsf);
  put("r.tdf", tdf);
  const std::string expected = report_of(path("a.tsf"), path("r.tdf"));
  ASSERT_NE(std::string::npos, expected.find("Case1"));
  ASSERT_EQ(std::string::npos, expected.find("Hidden"));

  const size_t block = size_t{1} << 20;
  const size_t step = sanitized() ? 3 : 1;
  for (size_t j = 0; j < tsf.size() || j < tdf.size(); j += step) {
    // A line of exactly block - j bytes puts byte j of the records at the boundary.
    const std::string pad = "DB " + std::string(block - j - 4, 'x') + "\n";
    put("p.tsf", pad + tsf);
    put("p.tdf", pad + tdf);
    EXPECT_EQ(expected, report_of(path("p.tsf"), path("p.tdf"))) << "boundary at byte " << j;
  }
  if (saved) setenv("KSPX_WORKSHOP_HEADER_FILE", saved_header.c_str(), 1);
}

}  // namespace
