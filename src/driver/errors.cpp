// Diagnostic table, diag_report and the checked allocation.
#include "driver/errors.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/replace_file.h"

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

namespace {
// The four pieces of a diagnostic line, each handed to `put(data, size)`.
// The table's formats hold at most one "%s"; it is expanded by hand so that a
// file name of any length (or holding '%') is written as it is.
template <typename Put>
void diag_pieces(DiagnosticId id, const char* text, Put put) {
  const DiagnosticRow& row = kDiagnosticTable[id];
  const char* label = diag_category_label(row.category);
  put(kProgramName, sizeof kProgramName - 1);
  put(": ", 2);
  put(label, std::strlen(label));
  put(": ", 2);
  const char* f = row.format;
  const char* hole = std::strstr(f, "%s");
  if (hole) {
    put(f, static_cast<std::size_t>(hole - f));
    if (text) put(text, std::strlen(text));
    f = hole + 2;
  }
  put(f, std::strlen(f));
  put("\n", 1);
}
}  // namespace

std::string diag_format(DiagnosticId id, const char* text) {
  std::string line;
  diag_pieces(id, text, [&](const char* data, std::size_t n) { line.append(data, n); });
  return line;
}

void diag_report(DiagnosticId id, const char* text) {
  // Straight to the unbuffered stream: nothing here allocates, so the line
  // gets out when memory has run out too.
  diag_pieces(id, text, [](const char* data, std::size_t n) { std::fwrite(data, 1, n, stderr); });
  std::fflush(stderr);
}

void fatal_out_of_memory() {
  out_remove_temporaries();  // the old report stays; its unfinished successor goes
  diag_report(DIAG_NO_MEMORY);
  std::_Exit(1);
}

namespace {
void on_new_failure() {
  fatal_out_of_memory();
}
}  // namespace

void install_out_of_memory_handler() {
  std::set_new_handler(on_new_failure);
}

void* checked_alloc(std::size_t size) {
  void* block = ::operator new(size, std::nothrow);
  if (!block && size != 0) fatal_out_of_memory();
  return block;
}

void checked_free(void* block) {
  ::operator delete(block);
}
