// Opening one source file below a checkout to show its lines. The checkout is
// the code under test, so it is hostile: nothing outside its root, below a
// name that starts with '.', or other than a regular source file is opened,
// and no open blocks.
#pragma once

#include <cstdint>
#include <string_view>

// What came of asking for a file: opened, missing (shown like a file without
// the line asked for), or refused for one reason.
enum SourceOpen : uint8_t {
  SOURCE_OPENED,
  SOURCE_MISSING,      // no such file, a loop of links, or unreadable
  SOURCE_OUTSIDE,      // absolute, "..", or a link that leads out of the root
  SOURCE_HIDDEN,       // through a folder or to a file whose name starts with '.'
  SOURCE_NOT_SOURCE,   // its name, links resolved, has no source extension
  SOURCE_NOT_REGULAR,  // a folder, FIFO, socket or device
};
constexpr int kSourceRefusals = SOURCE_NOT_REGULAR + 1;
// The words for each refusal in the run's warning ("" for the first two).
extern const char* const kSourceRefusalWords[kSourceRefusals];

// The most bytes read of any one source file: lines past it are not shown.
constexpr uint64_t kSourceFileBytes = uint64_t{16} << 20;
// The extensions of the traced language's sources.
constexpr std::string_view kSourceExtension = ".java";

// Opens `name` (a path relative to the folder open as root_fd) for reading.
// Links are resolved by hand, component by component, so the path every
// link leads to is known and checked before anything is opened; the file is
// then opened by that path with no link followed (openat2's RESOLVE_BENEATH
// where the kernel has it), non-blocking, and checked once more with fstat.
// On SOURCE_OPENED, fd is the caller's to close; otherwise it is -1.
SourceOpen source_file_open(int root_fd, std::string_view name, int& fd);
