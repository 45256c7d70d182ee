// The test history: a sequence of runs kept in a window and what it says of
// each test, the same through tallyrep-export's JSON and Markdown summaries,
// histories of another project, damaged and forged files, and two processes
// updating one file at once.
#include "export/model/history.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <iterator>
#include <regex>

#include "export/export_helpers.h"
#include "export/model/run_history.h"
#include "export/model/test_paths.h"
#include "export/write/writers.h"

namespace {

// One test over eight runs c0..c7 (outcome letters, '-' absent) and what a
// window of the newest six says of it after the last run.
struct Case {
  const char* id;
  const char* outcomes;
  const char* strip;  // null: dropped from the history
  const char* mark;
  bool new_failure;
};
const Case kCases[] = {
    {"passing", "PPPPPPPP", "PPPPPP", "", false},
    {"breaks", "PPPPPPFF", "PPPPFF", "failing since c6 (2 runs)", false},
    {"broke now", "PPPPPPPF", "PPPPPF", "failing since c7 (1 run)", true},
    {"flaky", "PPPFPFPF", "PFPFPF", "flaky (5 flips in 6 runs)", false},
    {"fixed once", "FFFFPPPP", "FFPPPP", "", false},
    {"flips before the window", "FPFPPPPP", "FPPPPP", "", false},
    {"flaky with not-run runs", "PNFNPNFN", "FNPNFN", "flaky (2 flips in 3 runs)", false},
    {"not run in between", "PPPPFFNF", "PPFFNF", "failing since c7 (1 run)", true},
    {"new failing", "-------F", "-----F", "new", true},
    {"new passing", "-------P", "-----P", "new", false},
    {"back after a gap", "PPPP---F", "PP---F", "new", true},
    {"left in the window", "PPPPP---", "PPP---", "", false},
    {"departed", "PP------", nullptr, "", false},
    {"never run", "NNNNNNNN", "NNNNNN", "", false},
};
constexpr int kRuns = 8;
constexpr size_t kWindow = 6;

HistoryOutcome outcome_of(char letter) {
  const char* at = static_cast<const char*>(std::memchr(kOutcomeLetters, letter, 4));
  return static_cast<HistoryOutcome>(at - kOutcomeLetters);
}

// The file's bytes of a history read from them, and the history.
History reread(const std::string& bytes) {
  History h;
  std::string error;
  EXPECT_TRUE(history_parse(bytes.data(), bytes.size(), h, error)) << error;
  EXPECT_EQ(history_bytes(h), bytes) << "not written back the same";
  return h;
}

// Runs c0..c7 of kCases, each one as a CI adds it: file read, run added,
// window kept, file written.
std::string sequence_file() {
  const std::string path = scratch("sequence.history");
  std::remove(path.c_str());
  for (int r = 0; r < kRuns; ++r) {
    History h;
    std::string error;
    EXPECT_TRUE(history_read_file(path.c_str(), h, error)) << error;
    HistoryTotals totals;
    for (const Case& c : kCases) {
      const char o = c.outcomes[r];
      (o == 'P' ? totals.passed : o == 'F' ? totals.failed : totals.not_executed) += o != '-';
    }
    history_start_run(h, "c" + std::to_string(r), totals);
    for (const Case& c : kCases) history_record(h, c.id, outcome_of(c.outcomes[r]));
    history_keep(h, kWindow);
    EXPECT_TRUE(history_write_file(h, path.c_str(), error)) << error;
  }
  return read_file(path);
}

TEST(History, SequenceOfRunsGivesStripsAndMarks) {
  const History h = reread(sequence_file());
  ASSERT_EQ(h.runs.size(), kWindow);
  EXPECT_EQ(h.runs.front().label, "c2");
  EXPECT_EQ(h.runs.back().label, "c7");
  EXPECT_EQ(h.runs.back().totals.passed, 4u);
  EXPECT_EQ(h.runs.back().totals.failed, 6u);
  EXPECT_EQ(h.runs.back().totals.not_executed, 2u);
  uint32_t kept = 0;
  for (const Case& c : kCases) {
    const uint32_t test = history_find(h, c.id);
    if (!c.strip) {
      EXPECT_EQ(test, kNoTest) << c.id;
      continue;
    }
    ++kept;
    ASSERT_NE(test, kNoTest) << c.id;
    EXPECT_EQ(history_strip(h, test, 30), c.strip) << c.id;
    const HistoryTrend t = history_trend(h, test);
    EXPECT_EQ(history_mark_text(h, t), c.mark) << c.id;
    EXPECT_EQ(history_new_failure(t), c.new_failure) << c.id;
  }
  EXPECT_EQ(history_tests(h), kept);
  EXPECT_EQ(history_strip(h, history_find(h, "flaky"), 3), "FPF");

  std::vector<std::string> flakiest;
  for (uint32_t test : history_flakiest(h, 5)) flakiest.emplace_back(history_identity(h, test));
  EXPECT_EQ(flakiest, (std::vector<std::string>{"flaky", "flaky with not-run runs"}));
  EXPECT_EQ(history_flakiest(h, 1).size(), 1u);
}

// Another project's history shares no test with this run: every test is new,
// and the other project's tests leave once the window passes them.
TEST(History, OtherProjectsHistoryMakesEveryTestNew) {
  History h = reread(sequence_file());
  history_start_run(h, "other", HistoryTotals{1, 1, 0});
  history_record(h, "Other/passes", OUTCOME_PASSED);
  history_record(h, "Other/fails", OUTCOME_FAILED);
  for (const char* id : {"Other/passes", "Other/fails"}) {
    const HistoryTrend t = history_trend(h, history_find(h, id));
    EXPECT_EQ(history_mark_text(h, t), "new") << id;
    EXPECT_EQ(history_new_failure(t), t.now == OUTCOME_FAILED) << id;
  }
  history_keep(h, 1);
  EXPECT_EQ(history_tests(h), 2u);
  EXPECT_EQ(reread(history_bytes(h)).runs.size(), 1u);
}

// An identity twice in one run keeps the worse outcome; an empty identity
// and arbitrary bytes are identities like any other.
TEST(History, RecordingKeepsTheWorseOutcome) {
  History h;
  history_start_run(h, "", HistoryTotals{});
  const std::string odd("a\0\xff\n", 4);
  const struct {
    std::string id;
    std::vector<HistoryOutcome> given;
    char kept;
  } cases[] = {
      {"pass then fail", {OUTCOME_PASSED, OUTCOME_FAILED}, 'F'},
      {"fail then pass", {OUTCOME_FAILED, OUTCOME_PASSED}, 'F'},
      {"not run then pass", {OUTCOME_NOT_EXECUTED, OUTCOME_PASSED}, 'P'},
      {"pass then not run", {OUTCOME_PASSED, OUTCOME_NOT_EXECUTED}, 'P'},
      {"", {OUTCOME_NOT_EXECUTED}, 'N'},
      {odd, {OUTCOME_FAILED, OUTCOME_ABSENT}, 'F'},
      {"absent only", {OUTCOME_ABSENT}, 0},
  };
  for (const auto& c : cases)
    for (HistoryOutcome o : c.given) history_record(h, c.id, o);
  const History back = reread(history_bytes(h));
  for (const auto& c : cases) {
    const uint32_t test = history_find(back, c.id);
    if (c.kept == 0) {
      EXPECT_EQ(test, kNoTest) << c.id;
    } else {
      ASSERT_NE(test, kNoTest) << c.id;
      EXPECT_EQ(history_strip(back, test, 1), std::string(1, c.kept)) << c.id;
    }
  }
}

// A history file of run "r" (totals 1 0 0) and test "a" around `payload`,
// with a right checksum, so that the payload's own checks are reached.
std::string file_of(const std::string& payload, uint32_t version = 1) {
  std::string f("\x89TRH\r\n\x1a\n", 8);
  for (int k = 0; k < 4; ++k) f += static_cast<char>(version >> (8 * k));
  for (int k = 0; k < 8; ++k) f += static_cast<char>(uint64_t{payload.size()} >> (8 * k));
  f += payload;
  const uint32_t crc =
      static_cast<uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(f.data() + 8), f.size() - 8));
  for (int k = 0; k < 4; ++k) f += static_cast<char>(crc >> (8 * k));
  return f;
}
const std::string kRun("\x01\x01r\x01\x00\x00", 6);  // one run "r": 1 passed
const std::string kTest(
    "\x01\x01"
    "a",
    3);  // one test "a"

TEST(History, DamagedAndForgedFilesGiveOneReasonEach) {
  const std::string good = file_of(kRun + kTest + std::string(1, '\0'));
  std::string flipped = good, cut = good.substr(0, good.size() - 1);
  flipped[22] ^= 1;
  const struct {
    const char* name;
    std::string bytes;
    const char* error;
  } cases[] = {
      {"empty", "", "not a test history (the file is empty)"},
      {"JSON", "{\"schema_version\": 1}", "not a test history (no history signature at its start)"},
      {"signature only", good.substr(0, 8), "damaged test history (cut short in its header)"},
      {"newer format", file_of(kRun + kTest + '\0', 2),
       "test history in format 2; this tallyrep-export reads format 1"},
      {"cut short", cut,
       "damaged test history (its header says 10 bytes of content, the file holds 9)"},
      {"byte changed", flipped, "damaged test history (checksum mismatch)"},
      {"runs forged", file_of("\xff\xff\xff\xff\x0f"),
       "damaged test history (more runs than the file holds)"},
      {"number too large", file_of("\xff\xff\xff\xff\xff\xff\xff\xff\xff\x7f"),
       "damaged test history (the number of runs is too large)"},
      {"longer form", file_of(std::string("\x80\x00", 2)),
       "damaged test history (the number of runs is not in its shortest form)"},
      {"label forged", file_of(std::string("\x01\x7fr\x01\x00\x00", 6)),
       "damaged test history (a run's label runs past the end)"},
      {"tests forged", file_of(kRun + "\xff\xff\x03"),
       "damaged test history (more tests than the file holds)"},
      {"tests, no run", file_of(std::string("\x00", 1) + kTest),
       "damaged test history (tests but no run)"},
      {"identities out of order",
       file_of(kRun +
               "\x02\x01"
               "b\x01"
               "a" +
               '\0'),
       "damaged test history (test identities out of order or repeated)"},
      {"identity repeated",
       file_of(kRun +
               "\x02\x01"
               "a\x01"
               "a" +
               '\0'),
       "damaged test history (test identities out of order or repeated)"},
      {"outcomes missing", file_of(kRun + kTest),
       "damaged test history (the outcomes run past the end)"},
      {"byte after", file_of(kRun + kTest + '\0' + '\0'),
       "damaged test history (bytes after the outcomes)"},
      {"padding set", file_of(kRun + kTest + '\x04'),
       "damaged test history (padding bits set after the outcomes)"},
      {"test in no run", file_of(kRun + kTest + '\x03'),
       "damaged test history (a test in none of the runs)"},
  };
  for (const auto& c : cases) {
    const std::string path = scratch("damaged.history");
    write_file(path, c.bytes);
    History h;
    std::string error;
    EXPECT_FALSE(history_read_file(path.c_str(), h, error)) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
    EXPECT_EQ(history_tests(h) + h.runs.size(), 0u) << c.name;
    EXPECT_EQ(read_file(path), c.bytes) << c.name;
  }
  History h;
  std::string error;
  EXPECT_TRUE(history_parse(good.data(), good.size(), h, error)) << error;
  EXPECT_FALSE(history_read_file(scratch("").c_str(), h, error));
  EXPECT_EQ(error, "cannot read: Is a directory");
  EXPECT_TRUE(history_read_file(scratch("missing.history").c_str(), h, error));
  EXPECT_EQ(h.runs.size(), 0u);
}

// Two processes adding runs to one file at once: every read finds a whole
// history, and the file ends as the last write left it.
TEST(History, ConcurrentUpdatesLeaveOneWholeHistory) {
  const std::string path = scratch("shared.history");
  std::remove(path.c_str());
  constexpr int kUpdates = 40;
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = ::fork();
    ASSERT_GE(children[p], 0);
    if (children[p] > 0) continue;
    const std::string who = p == 0 ? "A" : "B";
    int status = 0;
    for (int u = 0; u < kUpdates && status == 0; ++u) {
      History h;
      std::string error;
      if (!history_read_file(path.c_str(), h, error)) status = 1;
      history_start_run(h, who + std::to_string(u), HistoryTotals{500, 0, 0});
      for (int t = 0; t < 500; ++t)
        history_record(h, who + "/test" + std::to_string(t), OUTCOME_PASSED);
      history_keep(h, 30);
      if (!history_write_file(h, path.c_str(), error)) status = 2;
    }
    ::_exit(status);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a read or write failed";
  }
  const History h = reread(read_file(path));
  ASSERT_FALSE(h.runs.empty());
  const std::string last = h.runs.back().label;
  EXPECT_TRUE(last == "A39" || last == "B39") << last;
  EXPECT_EQ(history_strip(h, history_find(h, last.substr(0, 1) + "/test7"), 1), "P");
}

// Runs r0..r5 of two drivers through the program, each test's outcome per
// run a letter ('-': not in that run), the newest four runs kept; r5 is split
// across two reports by driver (D: the even tests, E: the odd ones), which
// find their tests all the same.
const struct {
  const char* name;
  const char* outcomes;
} kProgramRuns[] = {
    {"steady", "PPPPPP"}, {"breaks", "PPPPFF"},  {"flips", "PFPFPF"},         {"arrives", "-----F"},
    {"leaves", "FF----"}, {"not run", "PPPNNF"}, {"flaky passing", "FPFPFP"},
};

// The report of run r with the drivers given ("DE", "D" or "E").
std::string program_report(int r, const std::string& drivers) {
  std::string body;
  for (char driver : drivers) {
    std::string cases;
    bool failed = false;
    for (size_t k = driver == 'D' ? 0 : 1; k < std::size(kProgramRuns); k += 2) {
      const char o = kProgramRuns[k].outcomes[r];
      if (o == '-') continue;
      failed |= o == 'F';
      cases += std::string("<DAZU:NODE name=\"") + kProgramRuns[k].name +
               "\" type=\"Test Case\" state=\"" +
               (o == 'P'   ? "ok"
                : o == 'F' ? "ko"
                           : "NE") +
               "\"></DAZU:NODE>";
    }
    body += std::string("<DAZU:NODE name=\"") + driver + "\" type=\"Test Driver\" state=\"" +
            (failed ? "ko" : "ok") + "\">" + cases + "</DAZU:NODE>";
  }
  return xrd_document(body);
}

// The JSON summary's history list `key` ("failed", "flakiest") as the
// Markdown writes its items: path, words, outcomes.
std::vector<std::string> json_items(const std::string& json, const char* key) {
  const size_t from = json.find("\"" + std::string(key) + "\": [", json.find("\"history\""));
  const std::string list = json.substr(from, json.find(']', from) - from);
  static const std::regex item(
      R"re(\{"path": "([^"]*)".*?"words": "([^"]*)".*?"outcomes": "([^"]*)"\})re");
  std::vector<std::string> items;
  for (std::sregex_iterator m(list.begin(), list.end(), item), end; m != end; ++m)
    items.push_back("- " + (*m)[1].str() + " \xE2\x80\x94 _" + (*m)[2].str() + "_ `" +
                    (*m)[3].str() + "`");
  return items;
}

// The items of the Markdown list under `heading`, without their sub-items.
std::vector<std::string> markdown_items(const std::string& md, const std::string& heading) {
  std::vector<std::string> items;
  const size_t from = md.find(heading);
  if (from == std::string::npos) return items;
  std::istringstream lines(md.substr(from + heading.size()));
  for (std::string line; std::getline(lines, line) && line.rfind("#", 0) != 0;)
    if (line.rfind("- ", 0) == 0) items.push_back(line);
  return items;
}

TEST(History, ProgramShowsEachTestsTrendInTheSummaries) {
  const std::string dir = scratch("program");
  ASSERT_EQ(std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str()), 0);
  const std::string in_dir = "cd " + dir + " && " + TALLYREP_EXPORT_BIN;
  for (int r = 0; r < 6; ++r) {
    std::string reports = "a.xrd";
    write_file(dir + "/a.xrd", program_report(r, r < 5 ? "DE" : "D"));
    if (r == 5) write_file(dir + "/b.xrd", program_report(r, "E")), reports += " b.xrd";
    const ProgramResult done =
        run(in_dir + " " + reports + " --json out.json --markdown out.md --history h " +
            "--history-size 4 --run-label r" + std::to_string(r));
    ASSERT_EQ(done.status, 0) << r << ": " << done.err;
  }
  const std::string json = read_file(dir + "/out.json");
  const char* expected[] = {
      "\"size\": 4,",
      "{\"label\": \"r2\", \"passed\": 4, \"failed\": 1, \"not_executed\": 0},",
      "{\"label\": \"r5\", \"passed\": 2, \"failed\": 4, \"not_executed\": 0}\n",
      // Failed, in the run's order, with the paths the tests list gives.
      "{\"path\": \"E/breaks\", \"mark\": \"failing\", \"words\": \"failing since r4 (2 "
      "runs)\", \"flips\": 1, \"ran\": 4, \"outcomes\": \"PPFF\"}",
      "{\"path\": \"D/flips\", \"mark\": \"flaky\", \"words\": \"flaky (3 flips in 4 "
      "runs)\", \"flips\": 3, \"ran\": 4, \"outcomes\": \"PFPF\"}",
      "{\"path\": \"E/arrives\", \"mark\": \"new\", \"words\": \"new\", \"flips\": 0, "
      "\"ran\": 1, \"outcomes\": \"---F\"}",
      "{\"path\": \"E/not run\", \"mark\": \"failing\", \"words\": \"failing since r5 (1 "
      "run)\", \"flips\": 1, \"ran\": 2, \"outcomes\": \"PNNF\"}",
      // The flakiest: most flips, then fewer runs, then by path.
      "\"flakiest\": [\n      {\"path\": \"D/flaky passing\", \"status\": \"passed\", "
      "\"mark\": \"flaky\", \"words\": \"flaky (3 flips in 4 runs)\", \"flips\": 3, \"ran\": 4, "
      "\"outcomes\": \"FPFP\"},\n      {\"path\": \"D/flips\", \"status\": \"failed\"",
  };
  for (const char* text : expected) EXPECT_NE(json.find(text), std::string::npos) << text;
  EXPECT_EQ(json.find("r1"), std::string::npos) << "a run left the window";
  EXPECT_EQ(json.find("\"outcomes\": \"PPPP\""), std::string::npos) << "a passed test listed";

  // The Markdown gives the same tests the same words and outcomes, in the same
  // order, and says what the letters mean.
  const std::string md = read_file(dir + "/out.md");
  const struct {
    const char* key;
    const char* heading;
    size_t count;
  } lists[] = {{"failed", "### Failed test cases", 4}, {"flakiest", "### Flakiest tests", 2}};
  for (const auto& l : lists) {
    const std::vector<std::string> items = json_items(json, l.key);
    EXPECT_EQ(items.size(), l.count) << l.key;
    EXPECT_EQ(markdown_items(md, l.heading), items) << l.key << "\n" << md;
  }
  EXPECT_NE(md.find("\n_Outcomes over the newest runs, oldest first: `P` passed"),
            std::string::npos);

  // The test that left is gone from the file; the others are there once.
  History h;
  std::string error;
  ASSERT_TRUE(history_read_file((dir + "/h").c_str(), h, error)) << error;
  EXPECT_EQ(history_find(h, "D/leaves"), kNoTest);
  EXPECT_EQ(history_tests(h), std::size(kProgramRuns) - 1);

  // A damaged history fails the run before any output, on one line, and
  // stays as it was; so does a file of another kind.
  for (const std::string& bytes : {read_file(dir + "/h").substr(1), read_file(dir + "/out.json")}) {
    write_file(dir + "/bad", bytes);
    std::remove((dir + "/new.json").c_str());
    const ProgramResult failed = run(in_dir + " a.xrd --json new.json --history bad");
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err.rfind("tallyrep-export: error: bad: ", 0), 0u) << failed.err;
    EXPECT_EQ(std::count(failed.err.begin(), failed.err.end(), '\n'), 1) << failed.err;
    EXPECT_EQ(read_file(dir + "/bad"), bytes);
    EXPECT_FALSE(std::ifstream(dir + "/new.json").good()) << "an output written";
  }
}

// The Markdown's budget holds with each failed test's words and outcomes, and
// the flakiest tests keep their room after the failed tests that fill it.
TEST(History, MarkdownBudgetHoldsWithTrends) {
  constexpr size_t kFailed = kMarkdownRows + 100, kEvery = kFailed / kHistoryFlakiest;
  const auto name = [](size_t i) { return std::string(100, 'n') + std::to_string(i); };
  std::string cases;
  for (size_t i = 0; i < kFailed; ++i)
    cases += "<DAZU:NODE name=\"" + name(i) + "\" type=\"Test Case\" state=\"ko\"></DAZU:NODE>";
  TestRun r;
  std::string error;
  ASSERT_EQ(parse_text(xrd_document("<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\">" +
                                    cases + "</DAZU:NODE>"),
                       r, error),
            0)
      << error;
  // Runs labelled at length before this one, the labels cut at the bound;
  // every tenth test flips.
  History h;
  for (int run = 0; run < 4; ++run) {
    history_start_run(h, std::string(300, 'L') + std::to_string(run), HistoryTotals{});
    for (size_t i = 0; i < kFailed; ++i)
      history_record(h, "D/" + name(i),
                     i % kEvery == 0 && run % 2 == 0 ? OUTCOME_PASSED : OUTCOME_FAILED);
  }
  run_history_add(r, std::move(h), "now", kHistoryDefaultSize);

  const std::regex item(
      "- D/n+[0-9]+ \xE2\x80\x94 "
      "_(failing since L{256} \\(5 runs\\)|flaky \\(3 flips in 5 runs\\))_ `[PF]{5}`");
  for (size_t limit : {kMarkdownLimitLeast, size_t{65536}, kMarkdownLimit}) {
    const std::string md = out_capture([&](OutBuffer& o) { markdown_summary(o, r, limit); });
    EXPECT_LE(md.size(), limit);
    const std::vector<std::string> failed = markdown_items(md, "### Failed test cases");
    const size_t more = md.find("_and ");
    ASSERT_NE(more, std::string::npos) << limit;
    EXPECT_EQ(failed.size() + std::stoul(md.substr(more + 5)), kFailed) << limit;
    for (const std::string& shown : failed) EXPECT_TRUE(std::regex_match(shown, item)) << shown;
    EXPECT_EQ(markdown_items(md, "### Flakiest tests").size(), kHistoryFlakiest) << limit;
  }
}

// The page's plain part, which reads without script: the trend of the kept
// runs, and beside each failed test its strip and the same words.
TEST(History, PageShowsTheTrendAndEachFailedTestsStrip) {
  History kept;
  std::string page, plain;
  const auto page_of = [](const TestRun& run) {
    std::string error;
    EXPECT_EQ(write_as("--html", run, scratch("page.html"), error), 0) << error;
    return read_file(scratch("page.html"));
  };
  for (int r = 0; r < 6; ++r) {
    TestRun run;
    std::string error;
    ASSERT_EQ(parse_text(program_report(r, "DE"), run, error), 0) << error;
    if (r == 5) plain = page_of(run);
    run_history_add(run, std::move(kept), "r" + std::to_string(r), 4);
    if (r == 5) page = page_of(run);
    kept = std::move(run.history.kept);
  }
  const char* expected[] = {
      "aria-label=\"Passed, failed and not-run tests in 4 runs from r2 to r5: passed 4 to 2, "
      "failed 1 to 4, not run 0 to 0\">",
      "<title>r3: 3 passed, 1 failed, 1 not run</title>",
      "<span>r2</span><span class=\"to\"> to </span><span>r5</span>",
      "breaks</a> <span class=\"strip\" role=\"img\" aria-label=\"last 4 runs, oldest first: "
      "passed 2 times, failed 2 times\">\u2714\u2714<b>\u2718\u2718</b></span> <span "
      "class=\"hw\">failing since r4 (2 runs)</span>",
      "flips</a> <span class=\"strip\" role=\"img\" aria-label=\"last 4 runs, oldest first: "
      "passed, failed, passed, "
      "failed\">\u2714<b>\u2718</b>\u2714<b>\u2718</b></span> "
      "<span class=\"hw\">flaky (3 flips in 4 runs)</span>",
      "arrives</a> <span class=\"strip\" role=\"img\" aria-label=\"last 4 runs, oldest first: "
      "absent 3 times, failed\"><i>\u00b7\u00b7\u00b7</i><b>\u2718</b></span> <span "
      "class=\"hw\">new</span>",
      "not run</a> <span class=\"strip\" role=\"img\" aria-label=\"last 4 runs, oldest first: "
      "passed, not run 2 times, failed\">\u2714<i>\u2013\u2013</i><b>\u2718</b></span> <span "
      "class=\"hw\">failing since r5 (1 run)</span>",
  };
  for (const char* text : expected) EXPECT_NE(page.find(text), std::string::npos) << text;

  // Without a history the page has neither.
  for (const char* part : {"class=\"trend\"", "class=\"strip\"", "class=\"hw\""})
    EXPECT_EQ(plain.find(part), std::string::npos) << part;
}

}  // namespace

// Two tests whose paths differ only where a cut path shows "…" are two tests
// to the history as to the baseline, and a history written when identities
// were cut paths still finds its test.
TEST(History, IdentitiesAreWholePathsAndCutOnesOfOldHistoriesStillMatch) {
  const std::string x(700, 'x');
  const auto suite = [&](char v) { return x + v + x; };
  const auto report = [&](const std::string& cases) {
    return xrd_document("<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\">" + cases +
                        "</DAZU:NODE>");
  };
  const auto test = [&](char v, const char* state) {
    return "<DAZU:NODE name=\"" + suite(v) + "\" type=\"Test Suite\" state=\"" + state +
           "\"><DAZU:NODE name=\"t\" type=\"Test Case\" state=\"" + state +
           "\"></DAZU:NODE></DAZU:NODE>";
  };
  const std::string r1 = scratch("long1.xrd"), r2 = scratch("long2.xrd"), h = scratch("long.h");
  write_file(r1, report(test('1', "ko")));
  write_file(r2, report(test('1', "ok") + test('2', "ko")));
  std::remove(h.c_str());
  const std::string bin = TALLYREP_EXPORT_BIN;
  ASSERT_EQ(run(bin + " " + r1 + " --history " + h + " --run-label r1").status, 0);
  // B (suite 2) failed for the first time: new to the history and the baseline alike.
  EXPECT_EQ(run(bin + " " + r2 + " --history " + h + " --run-label r2 --check=new").status, 3);
  EXPECT_EQ(run(bin + " " + r2 + " --baseline " + r1 + " --check=new").status, 3);
  History after = reread(read_file(h));
  EXPECT_EQ(history_tests(after), 2u);

  // A history of before: the test known by its cut path, failed in r1.
  History old;
  history_start_run(old, "r1", HistoryTotals{0, 1, 0});
  const std::string legacy = text_shorten("D/" + suite('1') + "/t", kPathCut);
  history_record(old, legacy, OUTCOME_FAILED);
  write_file(h, history_bytes(old));
  write_file(r2, report(test('1', "ko") + test('2', "ko")));
  const std::string json = scratch("long.json");
  ASSERT_EQ(run(bin + " " + r2 + " --history " + h + " --json " + json).status, 0);
  const std::string summary = read_file(json);
  EXPECT_NE(summary.find("\"words\": \"failing since r1 (2 runs)\""), std::string::npos);
  EXPECT_NE(summary.find("\"words\": \"new\""), std::string::npos);
  after = reread(read_file(h));
  ASSERT_EQ(history_tests(after), 2u);
  EXPECT_EQ(history_find(after, legacy), kNoTest);  // taken over by the whole identity
  for (uint32_t t = 0; t < 2; ++t)
    EXPECT_NE(history_identity(after, t).find(kIdentityDigestMark), std::string::npos);
}
