// Helpers shared by the report tests: capturing written mark-up, building
// reported trees in the model, and asking xmllint about a document.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/out_buffer.h"
#include "model/tree.h"
#include "support/run_program.h"

namespace report_test {

// Everything `write` puts into a report sink.
template <typename Write>
std::string capture(Write write) {
  return out_capture(write);
}

inline std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

inline std::string join_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// True when xmllint reads the file as well-formed XML.
inline bool xml_well_formed(const std::string& path) {
  std::string command = "xmllint --noout '" + path + "' 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

inline bool xml_text_well_formed(const std::string& text) {
  std::string dir = make_temp_dir();
  write_file(dir + "/doc.xml", text);
  bool ok = xml_well_formed(dir + "/doc.xml");
  std::filesystem::remove_all(dir);
  return ok;
}

// A node of driver `file` found by line, with its rolled-up state set.
inline TraceNode* node_at(int32_t file, int32_t line) {
  return node_find(file, line);
}

inline void set_status(int32_t file, int32_t line, int status) {
  node_at(file, line)->status = status;
}

inline void set_check(int32_t file, int32_t line, int status, int executed, int passed, int failed,
                      int entered = 0) {
  TraceNode* node = node_at(file, line);
  node->status = status;
  node->stats->executed = executed;
  node->stats->passed = passed;
  node->stats->failed = failed;
  node->stats->entered = entered;
}

// The driver of the worked example: root D (line 1) of Calc.java, suite S
// (line 2), test case C (line 3) and under C the checks x == 1 (line 4, value
// 12), y > 0 (line 5, value 13) and the Print trace (line 6, value 14).
inline void build_calc_driver(int32_t number) {
  driver_open(number, 1, "D");
  driver_set_names(number, nullptr, "Calc.java");
  node_add_child(number, 29, 2, "S", 1, 0);
  node_add_child(number, 26, 3, "C", 2, 0);
  node_add_child(number, 3, 4, "x == 1", 3, 12);
  node_add_child(number, 3, 5, "y > 0", 3, 13);
  node_add_child(number, 18, 6, "trace", 3, 14);
  set_status(number, 1, 2);
  set_status(number, 2, 2);
  set_status(number, 3, 2);
  set_check(number, 4, 3, 1, 1, 0);
  set_check(number, 5, 2, 2, 1, 1);
  set_check(number, 6, 3, 2, 0, 0);
}

}  // namespace report_test
