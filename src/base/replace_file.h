// Opening an output so that it is replaced whole or not at all, and the
// guards around it: names that are one file, closed standard descriptors.
//
// What holds, fault by fault:
// - A regular file, or a new name, is written to a temporary beside it,
//   created exclusively under a random name (NAME.tallyrep-unfinished-
//   XXXXXXXXXXXX), and renamed over the output only once every byte is
//   written and the close succeeded. A failed write, a full disk, a
//   file-size limit, a signal or SIGKILL leave the old output as it was.
//   Leftover temporaries of killed runs never get in the way.
// - SIGHUP, SIGINT, SIGTERM, SIGXFSZ (unless ignored by the caller) and
//   refused memory (out_remove_temporaries) remove the temporaries; the
//   process then dies of the signal or, where it cannot (PID 1 of a
//   container), exits with 128 + its number. Only SIGKILL leaves one behind.
// - Written directly, with no such guarantee: FIFOs, devices, /dev/stdout and
//   /dev/fd/N (at their end); a mount point (a bind-mounted file); and a
//   writable output whose folder refuses, by permission, a new file or the
//   replacement of another user's file (sticky). An old regular file is then
//   rewritten from its start and cut to length at the end.
// - Any other failure to create the temporary (no space, no inode, a quota,
//   an I/O error), an unresolvable name (a link loop) or a file that may not
//   be written fails the open, errno set, before anything is written.
// - Nothing here starts a process or a thread.
#pragma once

#include <cstdint>
#include <string>

// One output being written. Owns its descriptor and its temporary: a
// ReplaceFile dropped before replace_close removes the temporary and leaves
// the output as it was.
struct ReplaceFile {
  int fd = -1;
  std::string temp;            // the temporary being written, or "" when written directly
  std::string target;          // the file it replaces
  bool cut = false;            // cut the file to the written length at the end
  std::uint64_t reserved = 0;  // the temporary's length allocated ahead (UINT64_MAX: no more)
  int slot = -1;               // where a signal finds `temp`, or -1

  ReplaceFile() = default;
  ReplaceFile(const ReplaceFile&) = delete;
  ReplaceFile& operator=(const ReplaceFile&) = delete;
  ~ReplaceFile();
};

// Opens `path` for writing as above, or with `append` to add at its end,
// creating it when missing and with no temporary (for files that others add
// to as well, CI step summaries). False, with errno set, when it cannot be.
bool replace_open(ReplaceFile& file, const char* path, bool append = false);
// Called as `length` bytes have been written, before they are: allocates the
// temporary's blocks ahead of the writes.
void replace_reserve(ReplaceFile& file, std::uint64_t length);
// Ends the output. When `whole` (every one of `length` bytes written), puts it
// in place; otherwise, or when the close or the rename fails, removes the
// temporary so that the old file stays. False, with errno set, when a cut,
// close or rename failed.
bool replace_close(ReplaceFile& file, bool whole, std::uint64_t length);

// Removes the temporary of every output being written, for a process that ends
// without closing them. Safe in a signal handler.
void out_remove_temporaries();

// Puts a descriptor that takes neither reads nor writes on each closed
// standard descriptor (0, 1, 2), so that no file opened later gets its number
// and a diagnostic for a closed standard error cannot land in it. Called first
// thing by each program.
void out_hold_standard_descriptors();

// Where an output would land, to tell whether two names are one file: the file
// itself when it exists (for "-", standard output), else its folder and name.
struct OutIdentity {
  unsigned long long dev = 0, ino = 0;
  std::string name;  // "" when the file exists
};
// False (errno set) when the path names nothing that could be written.
bool out_identity(const char* path, OutIdentity& id);
inline bool operator==(const OutIdentity& a, const OutIdentity& b) {
  return a.dev == b.dev && a.ino == b.ino && a.name == b.name;
}
