// The GitLab Code Quality report: one issue per failed check, at its source
// line, with a fingerprint that stays the same from run to run.
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "export/model/failed_checks.h"
#include "export/model/test_paths.h"
#include "export/write/json_writer.h"
#include "export/write/writers.h"

namespace {

// 128 bits of two FNV-1a hashes with different starts, as 32 hex digits.
std::string fingerprint_of(std::string_view identity) {
  uint64_t h[2] = {0xcbf29ce484222325ULL, 0x84222325cbf29ce4ULL};
  for (unsigned char c : identity)
    for (uint64_t& v : h) v = (v ^ c) * 0x100000001b3ULL;
  char hex[33];
  std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(h[0]),
                static_cast<unsigned long long>(h[1]));
  return hex;
}

}  // namespace

void code_quality(OutBuffer& out, const TestRun& run) {
  JsonWriter json(out);
  json.open_array(JSON_BLOCK);
  PathCursor paths(run, PATH_NAMES, kNoCut);
  // A fingerprint names one issue: a clash of hashes is moved on by a salt.
  std::unordered_set<std::string> taken;
  const std::string_view report = run.title.empty() ? std::string_view("report") : run.title;
  std::string identity;
  for (uint32_t i = 0; i < run.nodes.size(); ++i) {
    const TestNode& n = run.nodes[i];
    if (failed_check_count(run, n) == 0) continue;
    const std::string_view path = paths.at(i);
    // The same check failing twice in a test is told apart by its turn.
    std::unordered_map<uint32_t, uint32_t> turns;
    for (const NodeRows::Item check : node_failed_checks(run, n)) {
      const Row& row = check.row;
      const char* text = row_text(run, row);
      identity.assign(path).append(1, '\0').append(text);
      identity.append(1, '\0').append(std::to_string(++turns[row.text]));
      std::string fingerprint = fingerprint_of(identity);
      for (uint32_t salt = 1; !taken.insert(fingerprint).second; ++salt)
        fingerprint = fingerprint_of(identity + '\0' + std::to_string(salt));
      const CheckPlace place = check_place(run, row);
      json.open_object(JSON_INLINE);
      json.member("description", "Failed check " + text_shorten(text, kPathCut) + " in " +
                                     text_shorten(path, kPathCut));
      json.member("check_name", "tallyrep-failed-check");
      json.member("fingerprint", fingerprint);
      json.member("severity", "major");
      json.key("location");
      json.open_object(JSON_INLINE);
      json.member("path", place.path.empty() ? report : place.path);
      json.key("lines");
      json.open_object(JSON_INLINE);
      json.member("begin", place.line > 0 ? place.line : 1ULL);
      json.close();
      json.close();
      json.close();
    }
  }
  json.close();
  out_put(out, '\n');
}
