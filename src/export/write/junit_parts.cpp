// JUnit XML in numbered parts, for readers that drop a file over a size
// (GitLab reads no JUnit file over 30 MB): each part a whole document, a
// suite never split, every test in one part.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/out_buffer.h"
#include "export/model/output_file.h"
#include "export/model/test_paths.h"
#include "export/write/outputs.h"

namespace {

// The bytes one suite adds to a document: the document with it, less the
// document without it.
std::vector<uint64_t> suite_bytes(const TestRun& run, bool locations,
                                  const std::vector<std::vector<uint32_t>>& groups,
                                  uint64_t& frame) {
  std::string text;
  OutBuffer out;
  auto measure = [&](size_t from, size_t to) {
    text.clear();
    out_open_string(out, &text);
    junit_part(out, run, locations, groups, from, to);
    out_close(out);
    return static_cast<uint64_t>(text.size());
  };
  const uint64_t empty = measure(0, 0);
  // The head's three counts take at most 20 digits each in any part.
  frame = empty + 3 * 20;
  std::vector<uint64_t> bytes;
  for (size_t g = 0; g < groups.size(); ++g) bytes.push_back(measure(g, g + 1) - empty);
  return bytes;
}

}  // namespace

std::string junit_part_name(const char* path, size_t k) {
  std::string name(path);
  const size_t slash = name.rfind('/');
  const size_t dot = name.rfind('.');
  const size_t at = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)
                        ? dot
                        : name.size();
  return name.insert(at, "-" + std::to_string(k));
}

int junit_parts_write(const TestRun& run, const char* path, const OutputSettings& s,
                      std::string& error) {
  const std::vector<std::vector<uint32_t>> groups = driver_groups(run);
  uint64_t frame = 0;
  const std::vector<uint64_t> bytes = suite_bytes(run, s.junit_locations, groups, frame);
  // Where each part ends, filled greedily in suite order.
  std::vector<size_t> ends;
  uint64_t used = frame;
  std::string scratch;
  for (size_t g = 0; g < groups.size(); ++g) {
    if (frame + bytes[g] > s.part_bytes) {
      error = "the test suite " + text_shorten(unique_name(run, groups[g][0], scratch), kPathCut) +
              " takes " + std::to_string(frame + bytes[g]) +
              " bytes as a JUnit file, more than --junit-max-bytes " +
              std::to_string(s.part_bytes) + " allows; nothing written";
      return -1;
    }
    if (used + bytes[g] > s.part_bytes) {
      ends.push_back(g);
      used = frame;
    }
    used += bytes[g];
  }
  ends.push_back(groups.size());
  size_t from = 0;
  for (size_t k = 0; k < ends.size(); ++k) {
    const std::string name = junit_part_name(path, k + 1);
    const int status = write_output(
        name.c_str(), false,
        [&](OutBuffer& out) { junit_part(out, run, s.junit_locations, groups, from, ends[k]); },
        error);
    if (status != 0) {
      error += " (" + name + ")";
      return -1;
    }
    from = ends[k];
  }
  // Parts an earlier, larger run left would be read as this run's.
  for (size_t k = ends.size() + 1;; ++k) {
    const std::string name = junit_part_name(path, k);
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::unlink(name.c_str()) != 0)
      break;
  }
  return 0;
}
