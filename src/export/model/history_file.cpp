// The history's file: its bytes written and read back, every count checked
// against the bytes that remain before anything is allocated for it.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>

#include "base/out_buffer.h"
#include "export/model/history.h"
#include "export/model/output_file.h"

namespace {

constexpr char kSignature[8] = {'\x89', 'T', 'R', 'H', '\r', '\n', '\x1a', '\n'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeadSize = 8 + 4 + 8;  // signature, version, payload length
constexpr size_t kTailSize = 4;          // checksum

uint32_t checksum(const char* data, size_t size) {
  return static_cast<uint32_t>(
      crc32_z(crc32_z(0, nullptr, 0), reinterpret_cast<const Bytef*>(data), size));
}

uint64_t get_fixed(const char* p, int bytes) {
  uint64_t value = 0;
  for (int k = 0; k < bytes; ++k) value |= uint64_t{static_cast<unsigned char>(p[k])} << (8 * k);
  return value;
}

size_t varint_size(uint64_t value) {
  size_t n = 1;
  while (value >= 0x80) value >>= 7, ++n;
  return n;
}

// The file's bytes go out as they are made, the checksum summed on the way,
// so that writing holds no copy of the file.
struct Writer {
  OutBuffer& out;
  uLong crc = crc32_z(0, nullptr, 0);

  void bytes(const char* data, size_t n) {
    out_write(out, data, n);
    crc = crc32_z(crc, reinterpret_cast<const Bytef*>(data), n);
  }
  void fixed(uint64_t value, int n) {
    char b[8];
    for (int k = 0; k < n; ++k) b[k] = static_cast<char>(value >> (8 * k) & 0xFF);
    bytes(b, static_cast<size_t>(n));
  }
  void varint(uint64_t value) {
    char b[10];
    size_t n = 0;
    for (; value >= 0x80; value >>= 7) b[n++] = static_cast<char>((value & 0x7F) | 0x80);
    b[n++] = static_cast<char>(value);
    bytes(b, n);
  }
  void text(std::string_view t) {
    varint(t.size());
    bytes(t.data(), t.size());
  }
};

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
    // A label past the bound (a file written by hand, or before there was
    // one) is cut as a new one would be.
    label = history_label_cut(label);
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
  h.ids.reserve(in.left());  // the identities are what is left at most
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
  h.cells.reserve(cells + tests);  // room for the run an update adds
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

// The checks of the head (signature, version, declared length) against the
// file's whole size, so that a file is judged on its first 20 bytes.
bool check_head(const char* data, size_t have, uint64_t size, std::string& error) {
  if (size == 0) {
    error = "not a test history (the file is empty)";
    return false;
  }
  if (have < sizeof kSignature || std::memcmp(data, kSignature, sizeof kSignature) != 0) {
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
  const uint64_t body = size - kHeadSize - kTailSize;
  if (length != body) {
    error = "damaged test history (its header says " + std::to_string(length) +
            " bytes of content, the file holds " + std::to_string(body) + ")";
    return false;
  }
  return true;
}

}  // namespace

std::string_view history_label_cut(std::string_view label) {
  if (label.size() <= kHistoryLabelBytes) return label;
  size_t cut = kHistoryLabelBytes;
  while (cut > 0 && (static_cast<unsigned char>(label[cut]) & 0xC0) == 0x80) --cut;
  return label.substr(0, cut);
}

bool history_parse(const char* data, size_t size, History& h, std::string& error) {
  h = History();
  if (!check_head(data, size, size, error)) return false;
  if (checksum(data + 8, size - 8 - kTailSize) != get_fixed(data + size - kTailSize, 4)) {
    error = "damaged test history (checksum mismatch)";
    return false;
  }
  History read;
  const size_t body = size - kHeadSize - kTailSize;
  Reader in{data + kHeadSize, data + kHeadSize + body, {}};
  if (!parse_runs(in, read) || !parse_tests(in, read) || !parse_outcomes(in, read)) {
    error = in.error;
    return false;
  }
  history_build_index(read);
  h = std::move(read);
  return true;
}

namespace {

// Reads up to `want` bytes at the file's current offset into out[0..); false
// with the reason in error when the read fails. `got` says how many came.
bool read_some(int fd, char* out, size_t want, size_t& got, std::string& error) {
  got = 0;
  while (got < want) {
    const ssize_t n = ::read(fd, out + got, want - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::string("cannot read: ") + std::strerror(errno);
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return true;
}

bool read_history(int fd, History& h, std::string& error) {
  // The file is read back in place, so it must be a regular file: a device or
  // a pipe would have no end, or could not be written back.
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    error = std::string("cannot read: ") + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = std::string("cannot read: ") +
            (S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    return false;
  }
  // The head first, so that another file named by mistake, or one whose
  // head lies about its size, is refused on its first 20 bytes however large.
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  char head[kHeadSize];
  size_t got;
  if (!read_some(fd, head, std::min<uint64_t>(sizeof head, size), got, error)) return false;
  if (!check_head(head, got, size, error)) return false;
  // The rest as the head declares it, and the byte past it, which shows a
  // file that grew meanwhile.
  std::string bytes(static_cast<size_t>(size) + 1, '\0');
  std::memcpy(&bytes[0], head, got);
  size_t rest;
  if (!read_some(fd, &bytes[got], bytes.size() - got, rest, error)) return false;
  bytes.resize(got + rest);
  return history_parse(bytes.data(), bytes.size(), h, error);
}

}  // namespace

bool history_read_file(const char* path, History& h, std::string& error) {
  h = History();
  // Non-blocking, so that a FIFO put in the history's place cannot hold the
  // open; fstat then refuses it.
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    error = std::string("cannot open: ") + std::strerror(errno);
    return false;
  }
  const bool ok = read_history(fd, h, error);
  ::close(fd);
  return ok;
}

int history_lock(const char* path, std::string& error) {
  const std::string name = std::string(path) + ".lock";
  // No link followed and no FIFO waited on: the cache it lives in is input.
  const int fd =
      ::open(name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = "cannot lock (" + name + "): " + std::strerror(errno);
    return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "cannot lock (" + name + "): not a regular file";
    ::close(fd);
    return -1;
  }
  // Polled, so that the wait is bounded whatever holds the lock.
  for (int waited_ms = 0;; waited_ms += 10) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
    if (errno != EWOULDBLOCK && errno != EINTR) {
      error = "cannot lock (" + name + "): " + std::strerror(errno);
      break;
    }
    if (waited_ms >= kHistoryLockWait * 1000) {
      error = "another run has held its lock (" + name + ") for " +
              std::to_string(kHistoryLockWait) + " s";
      break;
    }
    ::usleep(10000);
  }
  ::close(fd);
  return -1;
}

void history_write(OutBuffer& out, const History& h) {
  const uint32_t tests = history_tests(h);
  const size_t runs = h.runs.size(), cells = size_t{tests} * runs;
  std::vector<uint32_t> order(tests);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return history_identity(h, a) < history_identity(h, b);
  });

  uint64_t length = varint_size(runs) + varint_size(tests) + (cells + 3) / 4;
  for (const HistoryRun& run : h.runs)
    length += varint_size(run.label.size()) + run.label.size() + varint_size(run.totals.passed) +
              varint_size(run.totals.failed) + varint_size(run.totals.not_executed);
  for (uint32_t t = 0; t < tests; ++t) {
    const size_t n = history_identity(h, t).size();
    length += varint_size(n) + n;
  }

  out_write(out, kSignature, sizeof kSignature);
  Writer w{out};
  w.fixed(kVersion, 4);
  w.fixed(length, 8);
  w.varint(runs);
  for (const HistoryRun& run : h.runs) {
    w.text(run.label);
    w.varint(run.totals.passed);
    w.varint(run.totals.failed);
    w.varint(run.totals.not_executed);
  }
  w.varint(tests);
  for (uint32_t t : order) w.text(history_identity(h, t));
  char packed[4096];
  size_t used = 0;
  unsigned byte = 0, filled = 0;
  for (uint32_t t : order) {
    const HistoryOutcome* row = history_outcomes(h, t);
    for (size_t r = 0; r < runs; ++r) {
      byte |= unsigned{row[r]} << (2 * filled);
      if (++filled < 4) continue;
      packed[used++] = static_cast<char>(byte);
      byte = filled = 0;
      if (used == sizeof packed) w.bytes(packed, used), used = 0;
    }
  }
  if (filled > 0) packed[used++] = static_cast<char>(byte);
  w.bytes(packed, used);
  char crc[4];
  for (int b = 0; b < 4; ++b) crc[b] = static_cast<char>(w.crc >> (8 * b) & 0xFF);
  out_write(out, crc, sizeof crc);
}

std::string history_bytes(const History& h) {
  return out_capture([&](OutBuffer& out) { history_write(out, h); });
}

bool history_write_file(const History& h, const char* path, std::string& error) {
  return write_output(
             path, false, [&](OutBuffer& out) { history_write(out, h); }, error) == 0;
}
