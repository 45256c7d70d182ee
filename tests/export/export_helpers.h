// Helpers shared by the exporter's tests: fixture paths, scratch files, runs
// read from report files or from texts, running the program.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "export/model/test_run.h"
#include "export/read/run_reports.h"
#include "export/write/outputs.h"
#include "support/run_program.h"

inline std::string fixture(const std::string& name) {
  return std::string(TALLYREP_SOURCE_DIR) + "/tests/export/data/" + name;
}

// A scratch folder per test process, under the build folder: ctest runs tests
// of this binary in parallel processes that use the same file names.
inline std::string scratch(const std::string& name) {
  std::string dir = std::string(TALLYREP_BINARY_DIR) + "/export-test-out";
  ::mkdir(dir.c_str(), 0777);
  dir += "/" + std::to_string(::getpid());
  ::mkdir(dir.c_str(), 0777);
  return dir + "/" + name;
}

// The run of one report file, or of a report held in memory.
inline int read_run(const std::string& path, TestRun& run, std::string& error) {
  size_t failed = 0;
  return run_read({xrd_file(path.c_str())}, {path.c_str()}, run, nullptr, failed, error);
}
inline int parse_text(const std::string& xml, TestRun& run, std::string& error) {
  size_t failed = 0;
  return run_read({xrd_bytes(xml.data(), xml.size())}, {"text.xrd"}, run, nullptr, failed, error);
}

// The frame of a report around a body of driver blocks.
inline std::string xrd_document(const std::string& body,
                                const std::string& head = "out.xrd\" TAG=\" x0") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<DAZU>\n<APIDOC>\n<DOCUMENT TITLE=\"" + head +
         "\">\n<SECTION TAG=\"filex1\">\n</SECTION>\n" + body + "</DOCUMENT>\n</APIDOC>\n</DAZU>\n";
}

// Writes the output of `flag` (a row of kOutputs) of run r to path.
inline int write_as(const char* flag, const TestRun& r, const std::string& path, std::string& error,
                    bool junit_locations = false, bool append = false) {
  const OutputSettings settings{junit_locations, kMarkdownLimit, ""};
  return output_write(*output_kind(flag), r, path.c_str(), append, settings, error);
}

// Runs a shell command line, both streams captured.
inline ProgramResult run(const std::string& command) {
  return run_program({"/bin/sh", "-c", command});
}

struct FailedCheck {
  std::string expression, target;
};

// Driver D with one failing test case per entry, named as given, each with
// its failed checks.
inline std::string failing_report(
    const std::vector<std::pair<std::string, std::vector<FailedCheck>>>& tests) {
  std::string cases;
  for (const auto& [name, checks] : tests) {
    std::string rows;
    for (const FailedCheck& c : checks)
      rows += "<ROW><CELL STYLE=\"Array Failed\"><LINK TARGET=\"" + c.target + "\"><TEXT>" +
              c.expression + "</TEXT></LINK></CELL></ROW>";
    cases += "<DAZU:NODE name=\"" + name + "\" type=\"Test Case\" state=\"ko\"><TABLE>" + rows +
             "</TABLE></DAZU:NODE>";
  }
  return xrd_document("<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\">" + cases +
                      "</DAZU:NODE>");
}

// A checkout: files (with their folders) below a fresh root.
inline std::string checkout(const std::string& name, std::initializer_list<const char*> files) {
  const std::string root = scratch(name);
  std::system(("rm -rf '" + root + "' && mkdir -p '" + root + "'").c_str());
  for (const char* f : files) {
    const std::string path = root + "/" + f;
    std::system(("mkdir -p \"$(dirname '" + path + "')\" && : >'" + path + "'").c_str());
  }
  return root;
}
