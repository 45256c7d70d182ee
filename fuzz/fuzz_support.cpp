// Helpers shared by the fuzz targets: memfd files, input splitting, and a small
// XML well-formedness check strict enough for what the report writer emits.
#include "fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "model/tree.h"

void fuzz_fail(const std::string& message) {
  std::fprintf(stderr, "fuzz check failed: %s\n", message.c_str());
  std::abort();
}

MemFile memfile_create(const char* name) {
  MemFile file;
  file.fd = memfd_create(name, 0);
  if (file.fd < 0) fuzz_fail("memfd_create");
  file.path = "/proc/self/fd/" + std::to_string(file.fd);
  return file;
}

void memfile_set(const MemFile& file, const uint8_t* data, size_t size) {
  // The programs write a descriptor's name at its own offset, as a shell's
  // `> f` wants it, so the offset goes back to the start with the contents.
  if (ftruncate(file.fd, 0) != 0 || lseek(file.fd, 0, SEEK_SET) != 0) fuzz_fail("ftruncate");
  size_t done = 0;
  while (done < size) {
    ssize_t n = pwrite(file.fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) fuzz_fail("pwrite");
    done += static_cast<size_t>(n);
  }
}

std::string memfile_get(const MemFile& file) {
  std::string text;
  char block[65536];
  off_t at = 0;
  for (;;) {
    ssize_t n = pread(file.fd, block, sizeof block, at);
    if (n < 0) fuzz_fail("pread");
    if (n == 0) break;
    text.append(block, static_cast<size_t>(n));
    at += n;
  }
  return text;
}

RunParts split_run_input(const uint8_t* data, size_t size) {
  RunParts parts;
  const size_t sep_len = sizeof kPartSeparator - 1;
  const uint8_t* end = data + size;
  auto find_sep = [&](const uint8_t* from) -> const uint8_t* {
    if (static_cast<size_t>(end - from) < sep_len) return nullptr;
    const void* hit = memmem(from, static_cast<size_t>(end - from), kPartSeparator, sep_len);
    return static_cast<const uint8_t*>(hit);
  };
  parts.tsf = data;
  const uint8_t* first = find_sep(data);
  if (!first) {
    parts.tsf_size = size;
    parts.tdf = end;
    return parts;
  }
  parts.tsf_size = static_cast<size_t>(first - data);
  parts.tdf = first + sep_len;
  const uint8_t* second = find_sep(parts.tdf);
  if (!second) {
    parts.tdf_size = static_cast<size_t>(end - parts.tdf);
    return parts;
  }
  parts.tdf_size = static_cast<size_t>(second - parts.tdf);
  parts.header = second + sep_len;
  parts.header_size = static_cast<size_t>(end - parts.header);
  return parts;
}

namespace {

bool name_start(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
}
bool name_char(unsigned char c) {
  return name_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
bool blank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Walks the document once; `error` is set at the first fault.
struct XmlCursor {
  const std::string& doc;
  size_t at = 0;
  std::string error;

  bool fail(const std::string& what) {
    if (error.empty()) error = what + " at byte " + std::to_string(at);
    return false;
  }
  bool more() const { return at < doc.size(); }
  unsigned char peek() const { return static_cast<unsigned char>(doc[at]); }

  // A character of text or of an attribute value, a reference included.
  bool character(char quote) {
    unsigned char c = peek();
    if (c >= 0x80) return fail("raw byte above 127");
    if (c < 0x20 && !blank(c)) return fail("control character " + std::to_string(c));
    if (c == '<') return fail("'<' in text");
    if (quote && c == static_cast<unsigned char>(quote)) return fail("quote in value");
    if (c != '&') {
      ++at;
      return true;
    }
    size_t semi = doc.find(';', at);
    if (semi == std::string::npos || semi - at > 12) return fail("unterminated reference");
    std::string ref = doc.substr(at + 1, semi - at - 1);
    if (ref == "amp" || ref == "lt" || ref == "gt" || ref == "quot" || ref == "apos") {
      at = semi + 1;
      return true;
    }
    if (ref.size() < 2 || ref[0] != '#') return fail("bad reference &" + ref + ";");
    long value = 0;
    for (size_t i = 1; i < ref.size(); ++i) {
      if (ref[i] < '0' || ref[i] > '9') return fail("bad reference &" + ref + ";");
      value = value * 10 + (ref[i] - '0');
    }
    bool legal = value == 0x9 || value == 0xA || value == 0xD ||
                 (value >= 0x20 && value <= 0xD7FF) || (value >= 0xE000 && value <= 0xFFFD) ||
                 (value >= 0x10000 && value <= 0x10FFFF);
    if (!legal) return fail("reference to an illegal character &" + ref + ";");
    at = semi + 1;
    return true;
  }

  bool name(std::string* out) {
    if (!more() || !name_start(peek())) return fail("bad name");
    size_t start = at;
    while (more() && name_char(peek())) ++at;
    *out = doc.substr(start, at - start);
    return true;
  }
  void skip_blanks() {
    while (more() && blank(peek())) ++at;
  }
};

}  // namespace

std::string xml_check(const std::string& doc) {
  static const char kDecl[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  XmlCursor x{doc, 0, std::string()};
  if (doc.compare(0, sizeof kDecl - 1, kDecl) != 0) return "missing XML declaration";
  x.at = sizeof kDecl - 1;
  std::vector<std::string> open;
  bool root_done = false;
  while (x.more() && x.error.empty()) {
    if (x.peek() != '<') {
      if (open.empty() && !blank(x.peek())) {
        x.fail("text outside the root element");
        break;
      }
      x.character(0);
      continue;
    }
    ++x.at;
    if (x.more() && x.peek() == '/') {
      ++x.at;
      std::string tag;
      if (!x.name(&tag)) break;
      x.skip_blanks();
      if (!x.more() || x.peek() != '>') {
        x.fail("bad end tag");
        break;
      }
      ++x.at;
      if (open.empty() || open.back() != tag) {
        x.fail("end tag </" + tag + "> does not match <" + (open.empty() ? "" : open.back()) + ">");
        break;
      }
      open.pop_back();
      if (open.empty()) root_done = true;
      continue;
    }
    if (root_done && open.empty()) {
      x.fail("second root element");
      break;
    }
    std::string tag;
    if (!x.name(&tag)) break;
    bool closed = false;
    for (;;) {
      bool had_blank = x.more() && blank(x.peek());
      x.skip_blanks();
      if (!x.more()) {
        x.fail("unterminated start tag");
        break;
      }
      if (x.peek() == '>') {
        ++x.at;
        break;
      }
      if (x.peek() == '/' && x.at + 1 < doc.size() && doc[x.at + 1] == '>') {
        x.at += 2;
        closed = true;
        break;
      }
      if (!had_blank) {
        x.fail("no blank before an attribute");
        break;
      }
      std::string attr;
      if (!x.name(&attr)) break;
      if (!x.more() || x.peek() != '=') {
        x.fail("attribute without value");
        break;
      }
      ++x.at;
      if (!x.more() || x.peek() != '"') {
        x.fail("unquoted attribute value");
        break;
      }
      ++x.at;
      while (x.more() && x.peek() != '"' && x.character('"')) {
      }
      if (!x.error.empty()) break;
      if (!x.more()) {
        x.fail("unterminated attribute value");
        break;
      }
      ++x.at;
    }
    if (!x.error.empty()) break;
    if (closed) {
      if (open.empty()) root_done = true;
    } else {
      open.push_back(tag);
    }
  }
  if (!x.error.empty()) return x.error;
  if (!open.empty()) return "document ends inside <" + open.back() + ">";
  if (!root_done) return "no root element";
  return std::string();
}

// Three drivers (identification words 3e8/1, 3e8/2 and 1/2) with every kind of
// container and check, so that TDF records find nodes, copies and stub parents.
const char kFixedTsf[] =
    "DB fixed trace for the TDF fuzz target\n"
    "SO \"CalcTest.java\"\n"
    "IN \"File\" 1 \"CalcTest\"\n"
    "ID 3e8 1\n"
    "IN \"TestSuite\" 10 \"ArithmeticSuite\"\n"
    "IN \"Class\" 11 \"CalcArithmetic\"\n"
    "IN \"TestCase\" 12 \"testAdd\"\n"
    "LK 21\n"
    "TX 100 \"calc.add(2, 3) == 5\"\n"
    "LK 22\n"
    "TX 101 \"calc.add(-1, 1) == 0\"\n"
    "SI 11\n"
    "IN \"TestCase\" 13 \"testSubtract\"\n"
    "LK 28\n"
    "TX 102 \"calc.subtract(5, 3) == 2\"\n"
    "SI 11\n"
    "IN \"TestCase\" 14 \"testDivide\"\n"
    "LK 34\n"
    "TX 103 \"calc.divide(10, 4) == 2.5\"\n"
    "MS 104 \"calc.divide(1, 3) == 0.333\"\n"
    "SI 1\n"
    "IN \"TestSuite\" 20 \"DisplaySuite\"\n"
    "IN \"TestCase\" 21 \"testShowResult\"\n"
    "LK 44\n"
    "TX 105 \"verifyLogMessage(\\\"result: 8\\\")\"\n"
    "TX 106 \"display.text().equals(\\\"8\\\") && width < 10\"\n"
    "TX 107 \"createTimer(\\\"display\\\")\"\n"
    "TX 109 \"entermethod show\"\n"
    "SI 20\n"
    "IN \"TestStub\" 22 \"DisplayStub\"\n"
    "LK 52\n"
    "MS 108 \"show(String text)\"\n"
    "IN \"Class\" 30 \"MockPrinter\"\n"
    "IN \"TestCase\" 31 \"print\"\n"
    "TX 110 \"printer.lines() > 0\"\n"
    "ED \n"
    "SO \"CalcMemoryTest.java\"\n"
    "IN \"File\" 1 \"CalcMemoryTest\"\n"
    "ID 3e8 2\n"
    "IN \"TestCase\" 10 \"testStoreRecall\"\n"
    "LK 15\n"
    "TX 100 \"memory.recall() == 42\"\n"
    "TX 101 \"!memory.isEmpty()\"\n"
    "ED \n"
    "IN \"File\" 1 \"Demo\"\n"
    "ID 1 2\n"
    "IN \"TestCase\" a \"Case1\"\n"
    "LK 42\n"
    "TX 12 \"x == 1\"\n"
    "ED \n";

void model_check() {
  int drivers = driver_count();
  for (int i = 0; i < drivers; ++i) {
    const TraceNode* root = driver_root_at(i);
    if (!root) continue;
    if (root->parent) fuzz_fail("a driver's root has a parent");
    std::vector<const TraceNode*> todo{root};
    while (!todo.empty()) {
      const TraceNode* node = todo.back();
      todo.pop_back();
      if (!node->text) fuzz_fail("node without text");
      if (node->type < 1 || node->type > 31) fuzz_fail("node type out of range");
      if (node->status < STATUS_NOT_EXECUTED || node->status > STATUS_NO_RESULT)
        fuzz_fail("node status out of range");
      const TraceNode* last = nullptr;
      for (const TraceNode* child = node->first_child; child; child = child->next) {
        if (child->parent != node) fuzz_fail("child whose parent link is wrong");
        last = child;
        todo.push_back(child);
      }
      if (last != node->last_child) fuzz_fail("last_child is not the last child");
    }
  }
}
