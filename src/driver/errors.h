// Diagnostics: the fixed message table, the one routine that prints every
// diagnostic line, and the checked allocation that ends the run on refused memory.
#pragma once

#include <cstddef>
#include <string>

enum DiagnosticCategory {
  DIAG_CAT_INFO = 0,
  DIAG_CAT_WARNING = 1,
  DIAG_CAT_ERROR = 2,
  DIAG_CAT_FATAL = 3,
  DIAG_CAT_LEXICAL = 4,
  DIAG_CAT_SYNTAX = 5,
  DIAG_CAT_SEMANTIC = 6,
};

enum DiagnosticId {
  DIAG_INTERNAL = 0,
  DIAG_NO_MEMORY = 1,
  DIAG_NO_FILE = 2,
  DIAG_BAD_FORMAT = 3,
  DIAG_NO_PERMISSION = 4,
  DIAG_UNEXPECTED = 5,
};

struct DiagnosticRow {
  const char* format;  // printf-style, at most one "%s"
  DiagnosticCategory category;
};

constexpr int kDiagnosticCount = 6;
extern const DiagnosticRow kDiagnosticTable[kDiagnosticCount];

// The label printed for a category ("error", "fatal", ...).
const char* diag_category_label(DiagnosticCategory category);

// The whole line diag_report would print, line feed included.
std::string diag_format(DiagnosticId id, const char* text);

// Prints one diagnostic line on standard error. `text` fills the row's "%s";
// rows without "%s" ignore it.
void diag_report(DiagnosticId id, const char* text = nullptr);

// Prints the out-of-memory line (DIAG_NO_MEMORY through diag_report, which
// allocates nothing) and ends the process with status 1.
[[noreturn]] void fatal_out_of_memory();

// Routes failed C++ allocations (operator new) to fatal_out_of_memory.
// Called once at start-up by the entry point.
void install_out_of_memory_handler();

// Returns `size` bytes from the system allocator, to be released with
// checked_free. A refused non-zero request never returns: it ends the process
// through fatal_out_of_memory. A request of 0 bytes returns whatever the
// allocator gives and never reports.
void* checked_alloc(std::size_t size);
void checked_free(void* block);
