// Buffered file output and the HTML, XML and JSON escapes with UTF-8 repair.
#include "export/out_buffer.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr size_t kOutCapacity = size_t{1} << 20;

void flush(OutBuffer& out) {
  if (out.sink) {
    out.sink->append(out.data.get(), out.used);
    out.used = 0;
    return;
  }
  size_t done = 0;
  while (done < out.used && out.error == 0) {
    ssize_t n = ::write(out.fd, out.data.get() + done, out.used - done);
    if (n < 0) {
      if (errno != EINTR) out.error = errno;
    } else if (n == 0) {
      out.error = EIO;
    } else {
      done += static_cast<size_t>(n);
    }
  }
  out.used = 0;
}

inline void put(OutBuffer& out, char c) {
  if (out.used == out.capacity) flush(out);
  out.data[out.used++] = c;
}

// Length of the valid UTF-8 sequence at p (at most n bytes), 0 when invalid.
// Noncharacters U+FFFE and U+FFFF count as invalid: XML forbids them.
size_t utf8_valid(const unsigned char* p, size_t n) {
  unsigned char c = p[0];
  if (c < 0xC2 || c > 0xF4) return 0;
  size_t len = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  if (n < len) return 0;
  for (size_t k = 1; k < len; ++k)
    if ((p[k] & 0xC0) != 0x80) return 0;
  if (len == 3) {
    if (c == 0xE0 && p[1] < 0xA0) return 0;   // overlong
    if (c == 0xED && p[1] >= 0xA0) return 0;  // surrogate
    if (c == 0xEF && p[1] == 0xBF && p[2] >= 0xBE) return 0;
  } else if (len == 4) {
    if (c == 0xF0 && p[1] < 0x90) return 0;   // overlong
    if (c == 0xF4 && p[1] >= 0x90) return 0;  // above U+10FFFF
  }
  return len;
}

// Bytes below 128 that need more than a copy, per mode.
bool special(unsigned char c, EscapeMode mode) {
  if (c < 0x20) return true;
  switch (c) {
    case '&':
    case '>':
      return mode != ESCAPE_JSON;
    case '<':
    case '"':
      return true;
    case '\'':
      return mode == ESCAPE_HTML;
    case '\\':
      return mode == ESCAPE_JSON;
    default:
      return false;
  }
}

void put_special(OutBuffer& out, unsigned char c, EscapeMode mode) {
  const char* rep = nullptr;
  if (c == '\t' || c == '\n' || c == '\r') {
    if (mode == ESCAPE_JSON)
      rep = c == '\t' ? "\\t" : c == '\n' ? "\\n" : "\\r";
    else if (mode == ESCAPE_XML)
      rep = c == '\t' ? "&#9;" : c == '\n' ? "&#10;" : "&#13;";
    else {
      put(out, static_cast<char>(c));
      return;
    }
  } else if (c < 0x20) {
    rep = "\xEF\xBF\xBD";
  } else if (mode == ESCAPE_JSON) {
    if (c == '"')
      rep = "\\\"";
    else if (c == '\\')
      rep = "\\\\";
    else
      rep = "\\u003c";
  } else {
    switch (c) {
      case '&':
        rep = "&amp;";
        break;
      case '<':
        rep = "&lt;";
        break;
      case '>':
        rep = "&gt;";
        break;
      case '"':
        rep = "&quot;";
        break;
      default:
        rep = "&#39;";
        break;
    }
  }
  out_str(out, rep);
}

}  // namespace

OutBuffer::~OutBuffer() {
  if (fd >= 0) ::close(fd);
  if (!temp.empty()) ::unlink(temp.c_str());
}

namespace {

// Names the system gives to open descriptors and devices (/dev/stdout leads
// to /proc/self/fd/1): writing there must reach what is open, even when that
// is a plain file, and not replace a file found by following the name.
bool system_name(const std::string& path) {
  return path.compare(0, 6, "/proc/") == 0 || path.compare(0, 5, "/dev/") == 0;
}

// The file a path finally names: symbolic links followed one by one, a
// relative target taken from its link's folder; a dangling link gives the
// file it would create. "" when the way passes through a system name.
std::string follow_links(std::string path) {
  for (int hops = 0; hops < 40 && !system_name(path); ++hops) {
    std::string link(PATH_MAX, '\0');
    ssize_t n = ::readlink(path.c_str(), &link[0], link.size());
    if (n <= 0 || static_cast<size_t>(n) >= link.size()) return path;
    link.resize(static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    if (link[0] != '/' && slash != std::string::npos) link.insert(0, path, 0, slash + 1);
    path = std::move(link);
  }
  return system_name(path) ? std::string() : path;
}

// A new file beside target, named after it and this process, with the mode
// (and, where allowed, the owner) of the file it is to replace.
int open_temp(const std::string& target, const struct stat* old, std::string& temp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned long long r = 0;
    if (::getrandom(&r, sizeof r, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof r))
      r = static_cast<unsigned long long>(std::time(nullptr)) * 1000003u + attempt;
    char tail[64];
    std::snprintf(tail, sizeof tail, ".tallyrep-export-%ld.%016llx.tmp",
                  static_cast<long>(::getpid()), r);
    temp = target + tail;
    // Private until it has the old file's mode.
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, old ? 0600 : 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) break;
    if (old) {
      // Only root keeps another user's ownership; anyone else gets the file
      // as their own, with the old mode still.
      bool owner_kept = ::fchown(fd, old->st_uid, old->st_gid) == 0;
      (void)owner_kept;
      ::fchmod(fd, old->st_mode & 07777);
    }
    return fd;
  }
  temp.clear();
  return -1;
}

bool open_failed(OutBuffer& out) {
  out.error = errno;
  out.data.reset();
  return false;
}

}  // namespace

bool out_open(OutBuffer& out, const char* path) {
  out.capacity = kOutCapacity;
  out.data.reset(new char[out.capacity]);  // refused here, nothing is created yet
  out.used = 0;
  out.error = 0;
  std::string target = follow_links(path);
  struct stat st, at;
  bool exists = ::stat(path, &st) == 0;
  if (!exists && errno != ENOENT) return open_failed(out);
  // Only a plain file (or a new one) is replaced; anything else, or a name
  // whose links do not lead to the file that is there, is written directly.
  bool plain =
      !target.empty() && (!exists || (S_ISREG(st.st_mode) && ::stat(target.c_str(), &at) == 0 &&
                                      at.st_dev == st.st_dev && at.st_ino == st.st_ino));
  if (!plain) {
    out.fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return out.fd >= 0 || open_failed(out);
  }
  if (exists) {
    // A file that may not be written stays a failure, and stays untouched.
    int probe = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (probe < 0) return open_failed(out);
    ::close(probe);
  }
  out.fd = open_temp(target, exists ? &st : nullptr, out.temp);
  if (out.fd < 0) return open_failed(out);
  out.target = target;
  return true;
}

void out_open_memory(OutBuffer& out, std::string& sink, size_t capacity) {
  out.capacity = capacity > 0 ? capacity : 1;
  out.data.reset(new char[out.capacity]);
  out.used = 0;
  out.error = 0;
  out.sink = &sink;
}

bool out_close(OutBuffer& out) {
  if (out.sink) {
    flush(out);
    out.sink = nullptr;
    out.data.reset();
    return true;
  }
  if (out.fd < 0) return false;
  flush(out);
  if (::close(out.fd) != 0 && out.error == 0) out.error = errno;
  out.fd = -1;
  out.data.reset();
  if (!out.temp.empty()) {
    if (out.error == 0 && ::rename(out.temp.c_str(), out.target.c_str()) != 0) out.error = errno;
    if (out.error != 0) ::unlink(out.temp.c_str());
    out.temp.clear();
  }
  return out.error == 0;
}

bool out_identity(const char* path, OutIdentity& id) {
  struct stat st;
  if (::stat(path, &st) == 0) {
    id = {st.st_dev, st.st_ino, ""};
    return true;
  }
  if (errno != ENOENT) return false;
  std::string target = follow_links(path);
  if (target.empty()) return false;
  size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  if (::stat(folder.c_str(), &st) != 0) return false;
  id = {st.st_dev, st.st_ino, target.substr(slash + 1)};
  return true;
}

void out_raw(OutBuffer& out, const char* bytes, size_t n) {
  while (n > 0) {
    if (out.used == out.capacity) flush(out);
    size_t k = out.capacity - out.used;
    if (k > n) k = n;
    std::memcpy(out.data.get() + out.used, bytes, k);
    out.used += k;
    bytes += k;
    n -= k;
  }
}

void out_str(OutBuffer& out, const char* text) {
  out_raw(out, text, std::strlen(text));
}

void out_uint(OutBuffer& out, unsigned long long value) {
  char tmp[24];
  size_t i = sizeof tmp;
  do {
    tmp[--i] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  out_raw(out, tmp + i, sizeof tmp - i);
}

void out_escaped(OutBuffer& out, const char* text, size_t n, EscapeMode mode) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < n) {
    size_t run = i;
    while (run < n && p[run] < 0x80 && !special(p[run], mode)) ++run;
    if (run > i) {
      out_raw(out, text + i, run - i);
      i = run;
      if (i == n) break;
    }
    unsigned char c = p[i];
    if (c < 0x80) {
      put_special(out, c, mode);
      ++i;
    } else if (size_t len = utf8_valid(p + i, n - i)) {
      out_raw(out, text + i, len);
      i += len;
    } else {
      put(out, static_cast<char>(0xC0 | (c >> 6)));
      put(out, static_cast<char>(0x80 | (c & 0x3F)));
      ++i;
    }
  }
}

void out_escaped(OutBuffer& out, const char* text, EscapeMode mode) {
  out_escaped(out, text, std::strlen(text), mode);
}

void utf8_append(std::string& s, unsigned long cp) {
  if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF || cp > 0x10FFFF)
    cp = 0xFFFD;
  if (cp < 0x80) {
    s += static_cast<char>(cp);
  } else if (cp < 0x800) {
    s += static_cast<char>(0xC0 | (cp >> 6));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    s += static_cast<char>(0xE0 | (cp >> 12));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (cp >> 18));
    s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  }
}
