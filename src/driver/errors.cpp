// Diagnostic table, diag_report and the checked allocation.
#include "driver/errors.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <new>

const DiagnosticRow kDiagnosticTable[kDiagnosticCount] = {
    {"internal error: %s", DIAG_CAT_FATAL},
    {"out of memory", DIAG_CAT_FATAL},
    {"%s, no such file or directory.", DIAG_CAT_ERROR},
    {"%s, file format not recognized.", DIAG_CAT_ERROR},
    {"%s, permission denied;", DIAG_CAT_ERROR},
    {"(unexpected error)", DIAG_CAT_FATAL},
};

namespace {
const char* const kCategoryLabels[] = {
    "info", "warning", "error", "fatal", "lexical error", "syntax error", "semantic error",
};
const char kProgramName[] = "tallyrep";
}  // namespace

const char* diag_category_label(DiagnosticCategory category) {
  if (category < DIAG_CAT_INFO || category > DIAG_CAT_SEMANTIC) return "";
  return kCategoryLabels[category];
}

std::string diag_format(DiagnosticId id, const char* text) {
  const DiagnosticRow& row = kDiagnosticTable[id];
  std::string line = kProgramName;
  line += ": ";
  line += diag_category_label(row.category);
  line += ": ";
  // The table's formats hold at most one "%s"; expand it by hand so that a
  // file name of any length (or holding '%') is written as it is.
  for (const char* f = row.format; *f; ++f) {
    if (f[0] == '%' && f[1] == 's') {
      line += text ? text : "";
      ++f;
    } else {
      line += *f;
    }
  }
  line += '\n';
  return line;
}

void diag_report(DiagnosticId id, const char* text) {
  std::string line = diag_format(id, text);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void fatal_out_of_memory() {
  static const char kLine[] = "tallyrep: fatal: out of memory\n";
  std::fflush(stderr);
  ssize_t ignored = ::write(2, kLine, sizeof kLine - 1);
  (void)ignored;
  std::_Exit(1);
}

namespace {
void on_new_failure() { fatal_out_of_memory(); }
}  // namespace

void install_out_of_memory_handler() { std::set_new_handler(on_new_failure); }

void* checked_alloc(std::size_t size) {
  void* block = ::operator new(size, std::nothrow);
  if (!block && size != 0) fatal_out_of_memory();
  return block;
}

void checked_free(void* block) { ::operator delete(block); }
