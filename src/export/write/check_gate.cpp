// The gate of --check and --check=new, and the lines that say why it fails.
#include "export/write/check_gate.h"

#include <algorithm>

#include "base/out_buffer.h"
#include "export/model/run_history.h"
#include "export/model/test_paths.h"
#include "export/write/escape.h"

namespace {

// A test's path as one line of text: escaped as every output escapes it,
// with no line break left in it.
void add_path(std::string& text, std::string_view path) {
  const size_t from = text.size();
  OutBuffer out;
  out_open_string(out, &text, 4096);
  out_escaped(out, path.data(), path.size(), ESCAPE_TEXT);
  out_flush(out);
  for (size_t k = from; k < text.size(); ++k)
    if (text[k] == '\n' || text[k] == '\r' || text[k] == '\t') text[k] = ' ';
}

bool is_new_failure(const TestRun& run, uint32_t i) {
  if (run.with_history) return history_new_failure(run_trend(run, i));
  if (run.compared) return run.nodes[i].change == CHANGE_NEW_FAILURE;
  return true;
}

std::string tests_word(unsigned long long n) {
  return std::to_string(n) + (n == 1 ? " test" : " tests");
}

}  // namespace

int check_status(const TestRun& run, CheckMode mode, std::string& said) {
  said.clear();
  const unsigned long long failed = run_failed(run);
  PathCursor path(run, PATH_NAMES, kPathCut);
  if (failed > 0 && mode == CHECK_ALL) {
    said = "tallyrep-export: check: " + tests_word(failed) + " failed";
    for (uint32_t i = 0; i < run.nodes.size(); ++i) {
      if (!is_test(run, run.nodes[i]) || run.nodes[i].state != STATE_FAILED) continue;
      said += " (the first: ";
      add_path(said, path.at(i));
      said += ')';
      break;
    }
    said += '\n';
    return kExitFailedTest;
  }
  if (failed > 0) {
    std::string list;
    unsigned long long fresh = 0;
    for (uint32_t i = 0; i < run.nodes.size(); ++i) {
      if (!is_test(run, run.nodes[i]) || run.nodes[i].state != STATE_FAILED) continue;
      if (!is_new_failure(run, i)) continue;
      if (++fresh <= kCheckListed) {
        list += "  ";
        add_path(list, path.at(i));
        list += '\n';
      }
    }
    if (fresh > 0) {
      const unsigned long long known = failed - std::min(failed, fresh);
      said = "tallyrep-export: check: " + tests_word(fresh) + " failed that did not fail before";
      if (known > 0)
        said += ", besides " + std::to_string(known) +
                (known == 1 ? " that did or is flaky" : " that did or are flaky");
      said += ":\n" + list;
      if (fresh > kCheckListed) said += "  and " + std::to_string(fresh - kCheckListed) + " more\n";
      return kExitFailedTest;
    }
    return 0;
  }
  // Swapped or empty traces give a report that passes silently with no test.
  if (run_totals(run).total == 0 && run.counted.passed == 0) {
    said = "tallyrep-export: check: no test ran (none passed or failed)\n";
    return kExitNoTest;
  }
  return 0;
}
