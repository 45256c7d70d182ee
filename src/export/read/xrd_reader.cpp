// Streaming an XRD report into a test run: the report's blocks pass through
// the repairs into libxml2's push parser, whose SAX events xrd_events turns
// into nodes, rows and cells at once. A report the parser refuses as it is
// gets a second pass with every repair; most reports need only the first.
#include "export/read/xrd_reader.h"

#include <fcntl.h>
#include <libxml/parser.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "export/read/xrd_chars.h"
#include "export/read/xrd_events.h"
#include "export/read/xrd_repair.h"
#include "report/vocabulary.h"

namespace {

constexpr size_t kBlock = size_t{1} << 20;
const char* const kOutOfMemory = "out of memory";

const char* chars(const xmlChar* s) {
  return reinterpret_cast<const char*>(s);
}

// Messages of libxml2 outside a parse (none is expected) are not printed.
void XMLCDECL silent(void*, const char*, ...) {}

class Pass {
 public:
  Pass(TestRun& run, int32_t parent, XrdDetail detail, ReportFacts& facts, bool mend)
      : events_(run, parent, detail, facts, mend, head_), mend_(mend) {}

  // `final` tells that a failure is not one a second pass could mend.
  int run(XrdSource source, bool& final, std::string& error);

 private:
  // Refused memory inside a handler must not unwind through the parser: the
  // parse stops, and the refusal is raised again once the parser has returned.
  template <class Step>
  static void guarded(void* self, Step step) {
    auto* p = static_cast<Pass*>(self);
    try {
      step(p->events_);
    } catch (const std::bad_alloc&) {
      p->refused_ = true;
      xmlStopParser(p->ctxt_);
    }
  }
  static void on_start(void* self, const xmlChar* name, const xmlChar** attrs) {
    guarded(self,
            [&](XrdEvents& e) { e.start(chars(name), static_cast<Pass*>(self)->values(attrs)); });
  }
  // Attribute values as written once decoded. Expanding no entity, the
  // parser gives back each '&' a reference made as "&#38;" (and a declared
  // entity as "&name;", which stays as it is written).
  const char* const* values(const xmlChar** attrs) {
    const char* const* given = reinterpret_cast<const char* const*>(attrs);
    bool amp = false;
    for (const char* const* a = given; a && *a && !amp; a += 2) amp = std::strchr(a[1], '&');
    if (!amp) return given;
    decoded_.clear();
    for (const char* const* a = given; *a; a += 2) {
      decoded_.emplace_back(a[0]);
      std::string& v = decoded_.emplace_back(a[1]);
      for (size_t at = v.find("&#38;"); at != std::string::npos; at = v.find("&#38;", at + 1))
        v.replace(at, 5, "&");
    }
    pointers_.clear();
    for (const std::string& d : decoded_) pointers_.push_back(d.c_str());
    pointers_.push_back(nullptr);
    return pointers_.data();
  }
  static void on_end(void* self, const xmlChar*) {
    guarded(self, [](XrdEvents& e) { e.end(); });
    auto* p = static_cast<Pass*>(self);
    if (p->events_.root_done()) xmlStopParser(p->ctxt_);  // what follows is not read
  }
  // A character reference comes as text of its own, the input just past its ';'.
  static void on_text(void* self, const xmlChar* s, int len) {
    auto* p = static_cast<Pass*>(self);
    const xmlParserInputPtr in = p->ctxt_->input;
    const bool reference = in && in->cur > in->base && in->cur[-1] == ';';
    guarded(self, [&](XrdEvents& e) { e.text(chars(s), static_cast<size_t>(len), reference); });
  }
  static void on_cdata(void* self, const xmlChar* s, int len) {
    guarded(self, [&](XrdEvents& e) { e.cdata(chars(s), static_cast<size_t>(len)); });
  }
  static void on_comment(void* self, const xmlChar*) {
    static_cast<Pass*>(self)->events_.boundary();
  }
  static void on_instruction(void* self, const xmlChar*, const xmlChar*) {
    static_cast<Pass*>(self)->events_.boundary();
  }
  // An entity a DOCTYPE declares stays as it is written, as the report's
  // earlier readers left it.
  static void on_reference(void* self, const xmlChar* name) {
    const std::string text = std::string("&") + chars(name) + ";";
    guarded(self, [&](XrdEvents& e) { e.text(text.data(), text.size(), true); });
  }
  // The first error (the parser goes on after none), with where it was met.
  static void XMLCDECL on_error(void* self, const char* format, ...) {
    auto* p = static_cast<Pass*>(self);
    if (!p->message_.empty()) return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    p->message_ = text;
    while (!p->message_.empty() && (p->message_.back() == '\n' || p->message_.back() == ' '))
      p->message_.pop_back();
    for (char& c : p->message_)
      if (c == '\n' || c == '\r') c = ' ';
    if (p->message_.empty()) p->message_ = "error";
    p->at_ = static_cast<uint64_t>(xmlByteConsumed(p->ctxt_));
  }

  // Whether the report's first bytes past blanks (and a byte-order mark)
  // were seen; false when they say that it is empty or no XML at all, with
  // error set. `seen` counts the bytes looked at so far.
  bool starts_xml(std::string_view in, bool last, uint64_t& seen, std::string& error) {
    for (size_t i = 0; i < in.size(); ++i, ++seen) {
      const unsigned char c = static_cast<unsigned char>(in[i]);
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
      if (seen == i && seen < 3 && c == static_cast<unsigned char>("\xEF\xBB\xBF"[seen])) continue;
      started_ = true;
      if (c == '<') return true;
      error = "not an XML document (it does not start with '<')";
      return false;
    }
    if (!last) return true;
    error = seen == 0 ? "empty file" : "empty file (only blanks)";
    return false;
  }

  bool started_ = false;
  HeadStage head_;  // before events_, which keeps a reference to it
  XrdEvents events_;
  bool mend_;
  xmlParserCtxtPtr ctxt_ = nullptr;
  bool refused_ = false;
  std::string message_;
  uint64_t at_ = 0;
  std::vector<std::string> decoded_;  // attribute names and values, decoded
  std::vector<const char*> pointers_;
};

int Pass::run(XrdSource source, bool& final, std::string& error) {
  final = true;
  static const bool initialized = [] {
    xmlInitParser();
    xmlSetGenericErrorFunc(nullptr, silent);
    return true;
  }();
  (void)initialized;
  xmlSAXHandler sax;
  std::memset(&sax, 0, sizeof sax);
  // The events of SAX1 (qualified names as written, DAZU:NODE), which a
  // handler of an older layout gets.
  sax.startElement = on_start;
  sax.endElement = on_end;
  sax.characters = on_text;
  sax.ignorableWhitespace = on_text;
  sax.cdataBlock = on_cdata;
  sax.comment = on_comment;
  sax.processingInstruction = on_instruction;
  sax.reference = on_reference;
  sax.warning = silent;
  sax.error = on_error;
  sax.fatalError = on_error;
  // An entity a DOCTYPE declares makes the parser build a document to hold
  // it, which freeing the context leaves behind.
  auto free_context = [](xmlParserCtxtPtr c) {
    if (c->myDoc) xmlFreeDoc(c->myDoc);
    xmlFreeParserCtxt(c);
  };
  std::unique_ptr<xmlParserCtxt, decltype(free_context)> ctxt(
      xmlCreatePushParserCtxt(&sax, this, nullptr, 0, nullptr), free_context);
  if (!ctxt) {
    error = kOutOfMemory;
    return -1;
  }
  ctxt_ = ctxt.get();
  // Texts and depths of any size; no network, no entity expanded; the
  // report is UTF-8 whatever its declaration says.
  xmlCtxtUseOptions(ctxt_, XML_PARSE_HUGE | XML_PARSE_NONET | XML_PARSE_IGNORE_ENC);

  QuoteStage quotes;
  CharStage chars;
  int fd = -1;
  if (source.path) {
    fd = ::open(source.path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      error = std::string("cannot open: ") + std::strerror(errno);
      return -1;
    }
    struct stat st;
    const int failure = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (failure != 0) {
      error = std::string("cannot read: ") + std::strerror(failure);
      ::close(fd);
      return -1;
    }
  }
  std::unique_ptr<char[]> block(source.path ? new char[kBlock] : nullptr);
  size_t offset = 0;  // into source.bytes
  uint64_t offset_seen = 0;
  int status = 0;
  for (bool last = false; !last && !events_.root_done();) {
    std::string_view in;
    if (source.path) {
      const ssize_t got = ::read(fd, block.get(), kBlock);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        error = std::string("cannot read: ") + std::strerror(errno);
        status = -1;
        break;
      }
      in = std::string_view(block.get(), static_cast<size_t>(got));
      last = got == 0;
    } else {
      const size_t n = std::min(kBlock, source.size - offset);
      in = std::string_view(source.bytes + offset, n);
      offset += n;
      last = offset == source.size;
    }
    if (!started_ && !starts_xml(in, last, offset_seen, error)) {
      status = -1;
      break;
    }
    std::string_view view = head_.feed(in, last);
    if (mend_) view = chars.feed(quotes.feed(view, last), last);
    const int code = xmlParseChunk(ctxt_, view.data(), static_cast<int>(view.size()), last);
    if (refused_) break;
    if (code == XML_ERR_OK || events_.root_done()) continue;
    if (code == XML_ERR_NO_MEMORY) {
      error = kOutOfMemory;
    } else {
      uint64_t at = message_.empty() ? static_cast<uint64_t>(xmlByteConsumed(ctxt_)) : at_;
      if (mend_) at = quotes.shifts().in_offset(chars.shifts().in_offset(at));
      error = "not an XML document (" + (message_.empty() ? std::string("error") : message_) +
              " at byte " + std::to_string(at) + ")";
      final = false;
    }
    status = -1;
    break;
  }
  if (fd >= 0) ::close(fd);
  if (refused_) throw std::bad_alloc();
  if (status != 0) return -1;
  if (!events_.finish()) {
    error = "not an XRD report (no DAZU, APIDOC and DOCUMENT frame)";
    return -1;  // final: the repairs would not make one
  }
  return 0;
}

}  // namespace

int xrd_read(XrdSource source, TestRun& run, int32_t parent, XrdDetail detail, ReportFacts& facts,
             std::string& error) {
  const size_t nodes = run.nodes.size(), rows = run.rows.size(), cells = run.cells.size();
  const size_t heads = run.heads.size(), drivers = run.drivers.size();
  const size_t odd_lines = run.odd_lines.size();
  auto undo = [&] {
    run.nodes.shrink_to(nodes);
    run.rows.shrink_to(rows);
    run.cells.shrink_to(cells);
    run.heads.resize(heads);
    run.drivers.resize(drivers);
    run.odd_lines.resize(odd_lines);
    facts = ReportFacts();
  };
  bool final = true;
  {
    Pass first(run, parent, detail, facts, false);
    if (first.run(source, final, error) == 0) return 0;
  }
  undo();
  if (final) return -1;
  // What the parser refused as it was may be what older writers and hand
  // edits leave: read again with every repair.
  Pass second(run, parent, detail, facts, true);
  if (second.run(source, final, error) == 0) return 0;
  undo();
  return -1;
}

bool xrd_stated_totals(const ReportFacts& facts, Totals& totals) {
  auto count = [](const std::string& text, unsigned long long& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i == text.size() || text[i] < '0' || text[i] > '9') return false;
    value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
      value = value * 10 + static_cast<unsigned>(text[i] - '0');
    while (i < text.size() && text[i] == ' ') ++i;
    return i == text.size();
  };
  bool found[3] = {false, false, false};
  for (const InfoRow& row : facts.info) {
    if (row.label == kWordPassed)
      found[0] = count(row.value, totals.passed);
    else if (row.label == kWordFailed)
      found[1] = count(row.value, totals.failed);
    else if (row.label == kWordTotal)
      found[2] = count(row.value, totals.total);
  }
  return found[0] && found[1] && found[2];
}
