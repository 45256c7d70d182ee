// The optional report header: project information read from the file named by
// KSPX_WORKSHOP_HEADER_FILE, kept in one process-wide record.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

struct HeaderFileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

struct ReportHeaderInfo {
  std::unique_ptr<std::FILE, HeaderFileCloser> header_file;  // open from load to release
  std::optional<std::string> project_name;
  std::optional<std::string> project_file;
  std::optional<std::string> test_node_name;
  std::optional<std::string> workspace_name;
  std::optional<std::string> configuration;
};

// Clears the record, opens the header file and reads its values. True when the
// file was opened, whatever it held; the file stays open until header_release.
bool header_load();
// Closes the header file and forgets the values.
void header_release();

// The values, valid until header_release; null when not found or empty of value.
const char* get_project_name();
const char* get_project_file();
const char* get_test_node_name();
const char* get_workspace_name();
const char* get_configuration();

// Clears the record and reads the values from an open stream, up to the line
// where the last of the five keys was found (the stream is not closed).
void header_scan(std::FILE* file);
// The next piece of at most 2046 bytes of a line, its line end cut; null at
// the end of the file or on a read error.
const char* header_read_line(std::FILE* file);
// The value after the first "=" of a line that holds `key`, trimmed.
std::optional<std::string> header_value(const char* line, const char* key);
// Cuts a ";" comment, one quote at each end, then the spaces around the text.
std::string value_trim(std::string text);
// path + "/" + name + ".kvp" with separator runs collapsed; none if either is none.
std::optional<std::string> project_file_path(const std::optional<std::string>& name,
                                             const std::optional<std::string>& path);
// Replaces each run of slashes and backslashes by its first character.
void collapse_separators(std::string& text);
