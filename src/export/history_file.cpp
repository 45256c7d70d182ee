// The history's file: its bytes written and read back, every count checked
// against the bytes that remain before anything is allocated for it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>

#include "base/out_buffer.h"
#include "export/history.h"

namespace {

constexpr char kSignature[8] = {'\x89', 'T', 'R', 'H', '\r', '\n', '\x1a', '\n'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeadSize = 8 + 4 + 8;  // signature, version, payload length
constexpr size_t kTailSize = 4;          // checksum

uint32_t checksum(const char* data, size_t size) {
  return static_cast<uint32_t>(
      crc32_z(crc32_z(0, nullptr, 0), reinterpret_cast<const Bytef*>(data), size));
}

void put_fixed(std::string& out, uint64_t value, int bytes) {
  for (int k = 0; k < bytes; ++k) out += static_cast<char>(value >> (8 * k) & 0xFF);
}

uint64_t get_fixed(const char* p, int bytes) {
  uint64_t value = 0;
  for (int k = 0; k < bytes; ++k) value |= uint64_t{static_cast<unsigned char>(p[k])} << (8 * k);
  return value;
}

void put_varint(std::string& out, uint64_t value) {
  while (value >= 0x80) {
    out += static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  out += static_cast<char>(value);
}

void put_text(std::string& out, std::string_view text) {
  put_varint(out, text.size());
  out.append(text.data(), text.size());
}

// A cursor over the payload; the first fault it meets stops the reading.
struct Reader {
  const char* p;
  const char* end;
  std::string error;

  size_t left() const { return static_cast<size_t>(end - p); }
  bool fail(const std::string& why) {
    if (error.empty()) error = "damaged test history (" + why + ")";
    return false;
  }
  bool varint(uint64_t& value, const char* what) {
    value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (p == end) return fail(what + std::string(" runs past the end"));
      const unsigned char byte = static_cast<unsigned char>(*p++);
      if (shift == 63 && byte > 1) return fail(what + std::string(" is too large"));
      value |= uint64_t{byte & 0x7Fu} << shift;
      if (byte < 0x80) {
        if (byte == 0 && shift > 0) return fail(what + std::string(" is not in its shortest form"));
        return true;
      }
    }
    return fail(what + std::string(" is too large"));
  }
  bool text(std::string_view& out, const char* what) {
    uint64_t length;
    if (!varint(length, what)) return false;
    if (length > left()) return fail(what + std::string(" runs past the end"));
    out = std::string_view(p, length);
    p += length;
    return true;
  }
};

bool parse_runs(Reader& in, History& h) {
  uint64_t count;
  if (!in.varint(count, "the number of runs")) return false;
  // A run takes four bytes at least: its label's length and three totals.
  if (count > in.left() / 4) return in.fail("more runs than the file holds");
  h.runs.resize(count);
  for (HistoryRun& run : h.runs) {
    std::string_view label;
    if (!in.text(label, "a run's label") || !in.varint(run.totals.passed, "a run's totals") ||
        !in.varint(run.totals.failed, "a run's totals") ||
        !in.varint(run.totals.not_executed, "a run's totals"))
      return false;
    run.label.assign(label.data(), label.size());
  }
  return true;
}

bool parse_tests(Reader& in, History& h) {
  uint64_t count;
  if (!in.varint(count, "the number of tests")) return false;
  // A test takes its identity's length at least; the numbers must fit a uint32_t.
  if (count > in.left() || count >= kNoTest) return in.fail("more tests than the file holds");
  if (count > 0 && h.runs.empty()) return in.fail("tests but no run");
  h.id_end.reserve(count);
  std::string_view previous;
  for (uint64_t t = 0; t < count; ++t) {
    std::string_view id;
    if (!in.text(id, "a test's identity")) return false;
    if (t > 0 && !(previous < id)) return in.fail("test identities out of order or repeated");
    h.ids.append(id.data(), id.size());
    h.id_end.push_back(h.ids.size());
    previous = id;
  }
  return true;
}

bool parse_outcomes(Reader& in, History& h) {
  const uint64_t runs = h.runs.size(), tests = history_tests(h);
  // Both counts were checked against the file's size, so the product fits.
  const uint64_t cells = runs * tests, bytes = (cells + 3) / 4;
  if (bytes != in.left())
    return in.fail(bytes > in.left() ? "the outcomes run past the end"
                                     : "bytes after the outcomes");
  h.cells.resize(cells);
  const unsigned char* p = reinterpret_cast<const unsigned char*>(in.p);
  for (uint64_t k = 0; k < cells; ++k) h.cells[k] = p[k / 4] >> (2 * (k % 4)) & 3;
  if (cells % 4 != 0 && p[bytes - 1] >> (2 * (cells % 4)) != 0)
    return in.fail("padding bits set after the outcomes");
  for (uint64_t t = 0; t < tests; ++t) {
    const auto row = h.cells.begin() + static_cast<std::ptrdiff_t>(t * runs);
    if (std::all_of(row, row + static_cast<std::ptrdiff_t>(runs),
                    [](uint8_t c) { return c == OUTCOME_ABSENT; }))
      return in.fail("a test in none of the runs");
  }
  in.p = in.end;
  return true;
}

}  // namespace

bool history_parse(const char* data, size_t size, History& h, std::string& error) {
  h = History();
  if (size == 0) {
    error = "not a test history (the file is empty)";
    return false;
  }
  if (size < sizeof kSignature || std::memcmp(data, kSignature, sizeof kSignature) != 0) {
    error = "not a test history (no history signature at its start)";
    return false;
  }
  if (size < kHeadSize + kTailSize) {
    error = "damaged test history (cut short in its header)";
    return false;
  }
  const uint64_t version = get_fixed(data + 8, 4), length = get_fixed(data + 12, 8);
  if (version != kVersion) {
    error = "test history in format " + std::to_string(version) + "; this tallyrep-export reads " +
            "format " + std::to_string(kVersion);
    return false;
  }
  const size_t body = size - kHeadSize - kTailSize;
  if (length != body) {
    error = "damaged test history (its header says " + std::to_string(length) +
            " bytes of content, the file holds " + std::to_string(body) + ")";
    return false;
  }
  if (checksum(data + 8, size - 8 - kTailSize) != get_fixed(data + size - kTailSize, 4)) {
    error = "damaged test history (checksum mismatch)";
    return false;
  }
  History read;
  Reader in{data + kHeadSize, data + kHeadSize + body, {}};
  if (!parse_runs(in, read) || !parse_tests(in, read) || !parse_outcomes(in, read)) {
    error = in.error;
    return false;
  }
  history_build_index(read);
  h = std::move(read);
  return true;
}

bool history_read_file(const char* path, History& h, std::string& error) {
  h = History();
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    error = std::string("cannot open: ") + std::strerror(errno);
    return false;
  }
  std::string bytes;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) bytes.reserve(static_cast<size_t>(st.st_size));
  char block[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = std::string("cannot read: ") + std::strerror(errno);
      ::close(fd);
      return false;
    }
    if (got == 0) break;
    bytes.append(block, static_cast<size_t>(got));
  }
  ::close(fd);
  return history_parse(bytes.data(), bytes.size(), h, error);
}

std::string history_bytes(const History& h) {
  const uint32_t tests = history_tests(h);
  const size_t runs = h.runs.size();
  std::vector<uint32_t> order(tests);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return history_identity(h, a) < history_identity(h, b);
  });

  std::string out(kSignature, sizeof kSignature);
  put_fixed(out, kVersion, 4);
  put_fixed(out, 0, 8);  // the payload's length, set below
  put_varint(out, runs);
  for (const HistoryRun& run : h.runs) {
    put_text(out, run.label);
    put_varint(out, run.totals.passed);
    put_varint(out, run.totals.failed);
    put_varint(out, run.totals.not_executed);
  }
  put_varint(out, tests);
  for (uint32_t t : order) put_text(out, history_identity(h, t));
  const size_t cells_at = out.size();
  out.append((size_t{tests} * runs + 3) / 4, '\0');
  size_t k = 0;
  for (uint32_t t : order) {
    const HistoryOutcome* row = history_outcomes(h, t);
    for (size_t r = 0; r < runs; ++r, ++k)
      out[cells_at + k / 4] = static_cast<char>(out[cells_at + k / 4] | row[r] << (2 * (k % 4)));
  }
  const size_t length = out.size() - kHeadSize;
  for (int b = 0; b < 8; ++b) out[12 + b] = static_cast<char>(length >> (8 * b) & 0xFF);
  put_fixed(out, checksum(out.data() + 8, out.size() - 8), 4);
  return out;
}

bool history_write_file(const History& h, const char* path, std::string& error) {
  const std::string bytes = history_bytes(h);
  OutBuffer out;
  if (!out_open_file(out, path)) {
    error = std::string("cannot create: ") + std::strerror(out.error);
    return false;
  }
  out_write(out, bytes.data(), bytes.size());
  if (!out_close(out)) {
    error = std::string("cannot write: ") + std::strerror(out.error);
    return false;
  }
  return true;
}
