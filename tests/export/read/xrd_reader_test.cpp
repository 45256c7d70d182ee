// Reading XRD reports: the worked driver block, heads of older writers, broken
// and foreign input, hand-edited layouts and very deep trees.
#include "export/read/xrd_reader.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <chrono>

#include "export/export_helpers.h"
#include "export/read/xrd_repair.h"

namespace {

std::string cell(const TestRun& r, uint32_t row, uint32_t k) {
  std::string scratch;
  return std::string(cell_text(r, r.rows[row], k, scratch));
}

std::string title(const TestRun& r, uint32_t node) {
  std::string scratch;
  return std::string(node_title(r, node, scratch));
}

// Bytes that end right where an inaccessible page starts, so that reading one
// byte too far faults in every build, not only under a sanitizer.
class BeforeGuardPage {
 public:
  explicit BeforeGuardPage(const std::string& bytes) {
    size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    map_size_ = 2 * page;
    void* p =
        ::mmap(nullptr, map_size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED || bytes.size() > page) return;
    map_ = static_cast<char*>(p);
    ::mprotect(map_ + page, page, PROT_NONE);
    data_ = map_ + page - bytes.size();
    std::memcpy(data_, bytes.data(), bytes.size());
  }
  ~BeforeGuardPage() {
    if (map_) ::munmap(map_, map_size_);
  }
  BeforeGuardPage(const BeforeGuardPage&) = delete;
  BeforeGuardPage& operator=(const BeforeGuardPage&) = delete;
  const char* data() const { return data_; }

 private:
  char* map_ = nullptr;
  char* data_ = nullptr;
  size_t map_size_ = 0;
};

// The writer gives each byte above 127 a reference of its own: UTF-8 texts read
// as UTF-8, Latin-1 ones and texts that mix both as Latin-1, each on its own.
TEST(XrdRead, ByteReferencesReadAsUtf8OrLatin1PerText) {
  TestRun r;
  std::string error;
  ASSERT_EQ(read_run(fixture("encodings.xrd"), r, error), 0) << error;
  ASSERT_EQ(r.nodes.size(), 3u);
  EXPECT_STREQ(r.nodes[1].name,
               "gr\xc3\xbc\xc3\x9f"
               "e");
  EXPECT_STREQ(r.nodes[2].name, "caf\xc3\xa9");
  EXPECT_EQ(title(r, 2), "Test Case caf\xc3\xa9");
  EXPECT_EQ(cell(r, 1, 0), "preis() == \"12 \xe2\x82\xac\"");
  EXPECT_EQ(row_target(r, r.rows[1]),
            "Stra\xc3\x9f"
            "e.java line 7");
  EXPECT_EQ(cell(r, 3, 0),
            "Gr\xc3\x83\xc2\xbc\xc3\x83\xc2\x9f"
            "e und caf\xc3\xa9");
  EXPECT_EQ(row_target(r, r.rows[3]), "Caf\xc3\xa9.java line 9");
}

TEST(XrdRead, WorkedDocumentGivesSectionsRowsAndInformation) {
  TestRun r;
  std::string error;
  ASSERT_EQ(read_run(fixture("worked.xrd"), r, error), 0) << error;
  EXPECT_EQ(r.title, "out.xrd");
  EXPECT_EQ(r.test_node, "");
  EXPECT_EQ(r.info_anchor, "filex1");
  EXPECT_EQ(r.info_title, "Report Information");
  ASSERT_EQ(r.banner.size(), 2u);
  EXPECT_EQ(r.banner[0], "Kestrel(R) Proofline Java Test Report Generator");
  ASSERT_EQ(r.info.size(), 10u);
  EXPECT_EQ(r.info[8].label, "Failed");
  EXPECT_EQ(r.info[8].value, "1");
  EXPECT_EQ(r.info[8].style, CELL_FAILED);

  ASSERT_EQ(r.nodes.size(), 3u);
  const TestNode& d = r.nodes[0];
  EXPECT_STREQ(d.name, "D");
  EXPECT_STREQ(r.types[d.type], "Test Driver");
  EXPECT_STREQ(d.anchor, "rootx3");  // the driver's SECTION, not its title
  EXPECT_EQ(d.parent, -1);
  EXPECT_EQ(d.state, STATE_FAILED);
  EXPECT_EQ(d.row_count, 0u);
  EXPECT_STREQ(r.nodes[1].anchor, "5");
  EXPECT_EQ(r.nodes[1].parent, 0);
  const TestNode& c = r.nodes[2];
  EXPECT_EQ(title(r, 2), "Test Case C");
  EXPECT_STREQ(c.anchor, "6");
  EXPECT_EQ(c.parent, 1);
  EXPECT_EQ(c.title_style, CELL_FAILED);
  EXPECT_EQ(d.end, 3u);
  ASSERT_EQ(r.drivers.size(), 1u);
  EXPECT_EQ(c.driver, 0u);

  // Head, two checks and the print; the empty continuation table adds nothing.
  ASSERT_EQ(c.row_count, 4u);
  EXPECT_EQ(r.rows[c.first_row].kind, ROW_HEAD);
  EXPECT_EQ(cell(r, c.first_row, 4), "Passed");
  const Row& failed = r.rows[c.first_row + 2];
  EXPECT_EQ(failed.kind, ROW_CHECK);
  EXPECT_EQ(failed.style, CELL_FAILED);
  EXPECT_TRUE(failed.flags & ROW_FAILED);
  EXPECT_EQ(cell(r, c.first_row + 2, 0), "y > 0");
  EXPECT_EQ(row_target(r, failed), "Calc.java line 13");
  EXPECT_EQ(row_location(r, failed), "Calc.java:13");
  const CheckCounts counts = check_counts(r, failed);
  EXPECT_TRUE(counts.known[0] && counts.known[1] && counts.known[2]);
  EXPECT_EQ(counts.executed, 2u);
  EXPECT_EQ(counts.failed, 1u);
  EXPECT_EQ(counts.passed, 1u);
  const Row& print = r.rows[c.first_row + 3];
  EXPECT_EQ(print.kind, ROW_PRINT);
  ASSERT_EQ(print.cell_count, 1u);
  EXPECT_EQ(cell(r, c.first_row + 3, 0), "trace");
  EXPECT_EQ(cell(r, c.first_row + 3, 1), "(x2)");
}

TEST(XrdRead, OlderHeadWithRawAmpersandQuotesAndLatin1Bytes) {
  TestRun r;
  std::string error;
  ASSERT_EQ(read_run(fixture("old_head.xrd"), r, error), 0) << error;
  EXPECT_EQ(r.title, "/tmp/R&D \"old\"/caf\xe9.xrd");  // raw byte kept; repaired on output
  EXPECT_EQ(r.test_node, "node&\"1\"");
  ASSERT_EQ(r.nodes.size(), 3u);
  // References of single bytes are Latin-1 characters.
  EXPECT_STREQ(r.nodes[0].name, "Caf\xc3\xa9 & <Co>");
  EXPECT_STREQ(r.nodes[1].name, "Su\"ite <1>");
  EXPECT_STREQ(r.nodes[2].name, "t\xc3\xa9st & <x>");
  EXPECT_EQ(cell(r, r.nodes[2].first_row + 1, 0), "a < b && c > d");
}

TEST(XrdRead, HeadRepairAndReferenceDecoding) {
  std::string title, tag;
  std::string doc =
      "<DAZU><APIDOC>\n<DOCUMENT TITLE=\"a&#38;b&#34;c\" TAG=\"n&#233;x12\">\n<SECTION/>";
  ASSERT_TRUE(xrd_take_head(&doc[0], doc.size(), title, tag));
  EXPECT_EQ(title, "a&b\"c");
  EXPECT_EQ(tag, "n\xc3\xa9x12");
  EXPECT_NE(doc.find("<DOCUMENT "), std::string::npos);
  EXPECT_EQ(doc.find("TITLE"), std::string::npos);

  // A path holding '">' and ' TAG="': the head ends before the next tag.
  std::string odd =
      "<DOCUMENT TITLE=\"x\">y\" TAG=\"z.xrd\" TAG=\" x0\">\n<SECTION TAG=\"filex1\">";
  ASSERT_TRUE(xrd_take_head(&odd[0], odd.size(), title, tag));
  EXPECT_EQ(title, "x\">y\" TAG=\"z.xrd");
  EXPECT_EQ(tag, " x0");

  std::string other = "<DOCUMENT TAG=\" x0\" TITLE=\"t\">";
  const std::string before = other;
  EXPECT_FALSE(xrd_take_head(&other[0], other.size(), title, tag));
  EXPECT_EQ(other, before);

  EXPECT_EQ(xrd_decode_refs("&amp;&lt;&gt;&quot;&apos;", 25), "&<>\"'");
  EXPECT_EQ(xrd_decode_refs("&#x41;&#65;&#;& x&unknown;", 26), "AA&#;& x&unknown;");
  EXPECT_EQ(xrd_decode_refs("&#0;", 4), "\xEF\xBF\xBD");
}

TEST(XrdRead, RawQuotesInNamesAndLinkTargetsOfOlderReports) {
  // From the file, and from its bytes in memory: both repair the quotes.
  TestRun from_file, from_bytes;
  std::string error, bytes = read_file(fixture("old_quotes.xrd"));
  ASSERT_EQ(read_run(fixture("old_quotes.xrd"), from_file, error), 0) << error;
  ASSERT_EQ(parse_text(bytes, from_bytes, error), 0) << error;
  for (const TestRun* report : {&from_file, &from_bytes}) {
    const TestRun& r = *report;
    ASSERT_EQ(r.nodes.size(), 4u);
    EXPECT_STREQ(r.nodes[0].name, "Quote\"Test");
    EXPECT_STREQ(r.types[r.nodes[0].type], "Test Driver");
    EXPECT_STREQ(r.nodes[2].name, "say \"hi\"");
    EXPECT_EQ(r.nodes[2].state, STATE_FAILED);
    EXPECT_STREQ(r.nodes[3].name, "format(String \"x\")");
    EXPECT_EQ(row_target(r, r.rows[r.nodes[2].first_row + 1]), "My\"File.java line 5");
  }

  std::string fixed;
  const std::string good = "<DAZU:NODE name=\"a\" type=\"Stub\" state=\"ok\"><LINK TARGET='x'/>";
  EXPECT_FALSE(xrd_repair_quotes(good.data(), good.size(), fixed));
  EXPECT_EQ(fixed, good);
  const std::string bad =
      "<DAZU:NODE name=\"a\"\" type=\"b\" type=\"Stub\" state=\"ok\">t\"<LINK TARGET=\"\"f\" line "
      "1\">";
  EXPECT_TRUE(xrd_repair_quotes(bad.data(), bad.size(), fixed));
  EXPECT_EQ(fixed,
            "<DAZU:NODE name=\"a&#34;&#34; type=&#34;b\" type=\"Stub\" state=\"ok\">t\"<LINK "
            "TARGET=\"&#34;f&#34; line 1\">");

  // Other faults are not hidden by the repairs, and are told at their place
  // in the file, past what the repairs changed before it.
  const std::string doc = xrd_document("<DAZU:NODE name=\"a\x01&\" b c>");
  write_file(scratch("bad_tag.xrd"), doc);
  TestRun other;
  EXPECT_EQ(read_run(scratch("bad_tag.xrd"), other, error), -1);
  // The parser's own words name the fault; the place is ours.
  const std::string place = " at byte " + std::to_string(doc.find(" c>") + 1) + ")";
  EXPECT_EQ(error.rfind("not an XML document (", 0), 0u) << error;
  EXPECT_NE(error.find("attribute b" + place), std::string::npos) << error;
  EXPECT_EQ(error.size() - error.rfind(place), place.size()) << error;
}

// A broken tag at the very end of the input: the search for the writer's
// boundary inside it must stay within the input, and still find a boundary
// that ends right at the tag's end.
TEST(XrdRead, QuoteRepairStopsAtTheEndOfTheInput) {
  const struct {
    const char* in;
    const char* out;
    bool changed;
  } cases[] = {
      {"<DAZU:NODE name=\"a\"b\">", "<DAZU:NODE name=\"a\"b\">", false},  // found by fuzzing
      {"<DAZU:NODE name=\"a\"b\" type=\">", "<DAZU:NODE name=\"a&#34;b\" type=\">", true},
      {"<LINK TARGET=\"a\"b\">", "<LINK TARGET=\"a&#34;b\">", true},
      {"<LINK TARGET=\"a\"b\"><LINK <DAZU:NODE x", "<LINK TARGET=\"a&#34;b\"><LINK <DAZU:NODE x",
       true},
  };
  for (const auto& c : cases) {
    BeforeGuardPage bytes(c.in);
    ASSERT_NE(bytes.data(), nullptr);
    std::string fixed;
    EXPECT_EQ(xrd_repair_quotes(bytes.data(), std::strlen(c.in), fixed), c.changed) << c.in;
    EXPECT_EQ(fixed, c.out);
  }
}

// Each unclosed tag once searched the rest of the input for its '>':
// 1,000,000 of them (6 MB) took 40 s.
TEST(XrdRead, QuoteRepairOfUnclosedTagsIsLinear) {
  std::string bad = "<LINK TARGET=\"a\"b\">";
  for (int i = 0; i < 1000000; ++i) bad += "<LINK ";
  std::string fixed;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(xrd_repair_quotes(bad.data(), bad.size(), fixed));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(fixed.size(), bad.size() + 4);
  EXPECT_LT(seconds, 5.0);
}

TEST(XrdRead, NameOfTheTestNodeComesFromTheHeadTag) {
  TestRun with, other;
  std::string error;
  ASSERT_EQ(parse_text(xrd_document("", "r.xrd\" TAG=\"nodexx7"), with, error), 0) << error;
  EXPECT_EQ(with.test_node, "nodex");
  // Attributes in another order are left to the XML parser.
  std::string doc = xrd_document("");
  doc.replace(doc.find("TITLE=\"out.xrd\" TAG=\" x0\""), 25, "TAG=\"n x3\" TITLE=\"t&amp;u\"");
  ASSERT_EQ(parse_text(doc, other, error), 0) << error;
  EXPECT_EQ(other.title, "t&u");
  EXPECT_EQ(other.test_node, "n ");
}

TEST(XrdRead, RejectsWhatIsNoReport) {
  TestRun r1, r2, r3, r4, r5;
  std::string error;
  EXPECT_EQ(read_run(fixture("no-such.xrd"), r1, error), -1);
  EXPECT_EQ(error, "cannot open: No such file or directory");
  EXPECT_EQ(read_run(fixture(""), r2, error), -1);
  EXPECT_EQ(error, "cannot read: Is a directory");
  EXPECT_EQ(parse_text("", r3, error), -1);
  EXPECT_EQ(error, "empty file");
  EXPECT_EQ(parse_text("\xEF\xBB\xBF \r\n\t", r3, error), -1);
  EXPECT_EQ(error, "empty file (only blanks)");
  EXPECT_EQ(parse_text("PK\x03\x04", r3, error), -1);
  EXPECT_EQ(error, "not an XML document (it does not start with '<')");
  EXPECT_EQ(parse_text("<DAZU><APIDOC><DOCUMENT></APIDOC>", r4, error), -1);
  EXPECT_EQ(error.rfind("not an XML document (", 0), 0u) << error;
  EXPECT_EQ(parse_text("<?xml version=\"1.0\"?><testsuites/>", r5, error), -1);
  EXPECT_EQ(error, "not an XRD report (no DAZU, APIDOC and DOCUMENT frame)");
}

TEST(XrdRead, TablesAfterNestedEntriesStayWithTheirSection) {
  const std::string row = "<TABLE><ROW><CELL_TEXT STYLE=\"Array\">";
  std::string body =
      "<DAZU:NODE name=\"A\" type=\"Test Suite\" state=\"ok\"><TITLE TAG=\"4\"><TEXT>Test Suite "
      "A</TEXT></TITLE>" +
      row + "a1</CELL_TEXT></ROW></TABLE>" +
      "<DAZU:NODE name=\"B\" type=\"Test Case\" state=\"ok\">" + row +
      "b1</CELL_TEXT></ROW></TABLE></DAZU:NODE>" + row + "a2</CELL_TEXT></ROW></TABLE></DAZU:NODE>";
  TestRun r;
  std::string error;
  ASSERT_EQ(parse_text(xrd_document(body), r, error), 0) << error;
  ASSERT_EQ(r.nodes.size(), 2u);
  ASSERT_EQ(r.nodes[0].row_count, 2u);
  EXPECT_EQ(cell(r, r.nodes[0].first_row, 0), "a1");
  EXPECT_EQ(cell(r, r.nodes[0].first_row + 1, 0), "a2");
  EXPECT_EQ(cell(r, r.nodes[1].first_row, 0), "b1");
  EXPECT_STREQ(r.nodes[1].anchor, "");  // no title: the writers make one up
}

// What a strict XML parser refuses but the report's readers always took
// reads as it always read: the name of the one test node, or the text of its
// one cell, in each case.
TEST(XrdRead, WhatAStrictParserRefusesReadsAsBefore) {
  auto node = [](const std::string& name, const std::string& more = "") {
    return "<DAZU:NODE " + more + "name=\"" + name + "\" type=\"Test Case\" state=\"ok\"/>";
  };
  auto cell = [](const std::string& text) {
    return "<DAZU:NODE name=\"t\" type=\"Test Case\" state=\"ok\"><TABLE><ROW><CELL_TEXT "
           "STYLE=\"Array\">" +
           text + "</CELL_TEXT></ROW></TABLE></DAZU:NODE>";
  };
  const struct {
    const char* what;
    std::string body;
    std::string name, text;  // expected; text empty when the case has no cell
  } cases[] = {
      {"control byte of a trace in a name",
       node("a\x01"
            "b"),
       "a\x01"
       "b",
       ""},
      {"control byte in a cell", cell("x\x1b[0m"), "t", "x\x1b[0m"},
      {"Latin-1 byte", cell("caf\xe9"), "t", "caf\xe9"},
      {"stray ampersand", cell("R&D &x; &#; &#X41; &amp"), "t", "R&D &x; &#; &#X41; &amp"},
      {"reference to a control byte", node("&#1;"), "\x01", ""},
      {"reference to NUL ends the text", cell("a&#0;b"), "t", "a"},
      {"'<' in an attribute", node("a<b"), "a<b", ""},
      {"']]>' in text", cell("a]]>b"), "t", "a]]>b"},
      {"'--' in a comment", cell("a<!-- x -- y -->b"), "t", "a"},
      {"name given twice", node("first", "name=\"x\" "), "x", ""},
      {"attribute name of Latin-1 bytes", node("a", "n\xe4me=\"x\" "), "a", ""},
      {"the report's own U+E000 beside a control byte", node("\xEE\x80\x80", "c=\"\x01\" "),
       "\xEE\x80\x80", ""},
      {"instruction in text parts it", cell("x<?p q?>y"), "t", "x"},
      {"blank text before a comment is no text", cell(" \n <!--c-->y"), "t", "y"},
      {"blank written as a reference is text", cell("&#32;"), "t", " "},
      {"CDATA counts when blank", cell("<![CDATA[ ]]>y"), "t", " "},
  };
  for (const auto& c : cases) {
    TestRun r;
    std::string error;
    ASSERT_EQ(parse_text(xrd_document(c.body), r, error), 0) << c.what << ": " << error;
    ASSERT_EQ(r.nodes.size(), 1u) << c.what;
    EXPECT_EQ(std::string(r.nodes[0].name), c.name) << c.what;
    if (!c.text.empty()) {
      ASSERT_EQ(r.rows.size(), 1u) << c.what;
      EXPECT_EQ(std::string(row_text(r, r.rows[0])), c.text) << c.what;
    }
  }
  // A malformed XML declaration, as the earlier reader skipped it.
  TestRun r;
  std::string error, doc = xrd_document(node("a"));
  doc.replace(0, doc.find("?>"), "<?xml name=\"version=\"1.0\"");
  EXPECT_EQ(parse_text(doc, r, error), 0) << error;
}

TEST(XrdRead, DeepAndWideTreesAreWalkedWithoutRecursion) {
  const int deep = 300000;
  std::string body;
  body.reserve(deep * 60);
  for (int i = 0; i < deep; ++i) body += "<DAZU:NODE name=\"n\" type=\"Test Suite\" state=\"ok\">";
  for (int i = 0; i < deep; ++i) body += "</DAZU:NODE>";
  for (int i = 0; i < deep; ++i) body += "<DAZU:NODE name=\"w\" type=\"Test Case\" state=\"ko\"/>";
  TestRun r;
  std::string error;
  ASSERT_EQ(parse_text(xrd_document(body), r, error), 0) << error;
  ASSERT_EQ(r.nodes.size(), 2u * deep);
  EXPECT_EQ(r.nodes[deep - 1].parent, deep - 2);
  EXPECT_EQ(r.nodes[deep].parent, -1);
  EXPECT_EQ(r.nodes[0].end, static_cast<uint32_t>(deep));
  EXPECT_EQ(r.nodes[2 * deep - 1].twin, static_cast<uint32_t>(deep));  // the last "w" of many
}

}  // namespace
