// The data the page's script shows every node and check from, written into
// the page as base64 of zlib-compressed columns of numbers and texts, so that
// the page stays small and the browser reads it with no parser and no loop
// over the rows.
#pragma once

#include <cstdint>

#include "base/out_buffer.h"
#include "export/model/test_run.h"

// The data is one zlib stream of little-endian numbers and then texts:
//   the head, kPageDataHead 32-bit words: kPageDataMagic, nodes n, rows m,
//     cells c after the first of their rows, texts t, 1 when compared | 2
//     with a history, the first file text, files, the first change word,
//     kinds (their words, then their keys), the first name, TAG, title,
//     anchor segment and first cell of a row, snippets s, the first snippet
//     line;
//   then columns: each a 32-bit word giving the width of its numbers (1, 2
//   or 4 bytes), the numbers, and zero bytes up to a multiple of four, so
//   that the script takes each as a typed array of the stream's bytes:
//   per node: i - parent (i + 1 at the top); type text; first row; row
//     count; state | title style << 2 | change << 4 | 128 when it has a
//     title of its own | 256 when its anchor segment is not its name | 512
//     when a merged report with an earlier name holds a section of its path
//     too (its anchor then adds "@" and its report's segment). Node i's name
//     and TAG are the texts first name + i and first TAG + i; titles and
//     segments of their own are numbered in node order from theirs;
//   per row: 0 no link, else file text + 1; 0 no line, 1 + 2 * the line,
//     2 + 2 * the text of a line that is no number; cells; kind; style
//     (CELL_FAILED exactly for a failed check, ROW_FAILED, whatever its
//     report styled it); its
//     first cell, as the text numbered from the first cell of a row's (first
//     cells repeat: each is one text);
//   per cell after the first of its row, row by row: 2 * text, or
//     2 * number + 1;
//   per snippet (source_snippets.h): its row; the number of its first line;
//     its check's line less that; its line count. Its lines are texts,
//     numbered in snippet order from the first snippet line;
//   with a history (html_history.h): a column of two, the runs a strip
//     shows and the first of the history's words (the last texts); per node
//     its strip, then per node its words;
//   per text its length once decoded, in UTF-16 units; then the texts, UTF-8.
// The base64 goes in parts of kPageDataPart characters, each a script
// element of its own followed by one that hands it on, so that the browser
// inflates the first parts while it still reads the later ones.
constexpr uint32_t kPageDataMagic = 0x34445258;  // "XRD4"
constexpr int kPageDataHead = 17;                // numbers in the head
constexpr size_t kPageDataPart = size_t{1} << 20;

// Writes the parts, each `<script type="application/octet-stream"
// class="xrd-data">` with its base64, then `<script>xrdPart()</script>`, the
// last one `xrdPart(1)`.
void page_data(OutBuffer& out, const TestRun& run);
