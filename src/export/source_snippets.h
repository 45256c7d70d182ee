// The source lines around failed checks, read from the checkout the tests'
// sources are in, for the page and the Markdown summary to show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "export/test_run.h"

constexpr size_t kSnippets = 1000;      // snippets at most, for the first failed checks
constexpr size_t kSnippetWidth = 200;   // characters of a line shown
constexpr uint64_t kSnippetAround = 2;  // lines shown before and after the check's

// Fills run.snippets from the files below run.source_root (nothing when it is
// ""). Each file is read once, up to the last line asked of it, through
// source_file_open: a file that is missing or unreadable, or lacks the line,
// gives no snippet and no error; one it refuses gives none either, and the
// returned warning (else "") counts those by reason in one line.
std::string snippets_read(TestRun& run);

// What goes before line k of a snippet: "> " on the check's own line, else two
// blanks, then its number right-aligned with the snippet's others, then " | ".
std::string snippet_gutter(const SourceSnippet& s, size_t k);
