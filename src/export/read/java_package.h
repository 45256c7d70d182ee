// The Java package of a source file, which stack frames name before the class
// so that readers find the file among a repository's folders
// (at com.acme.CalcTest.testDivide(CalcTest.java:35)).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "export/model/test_run.h"

// The most bytes of a source read for its package declaration: it comes
// before any type, after at most a licence comment.
constexpr size_t kPackageHeadBytes = size_t{64} << 10;

// The package the head of a source declares ("com.acme"), "" when it declares
// none (the default package) before its first other token. false when the
// head ends before that is known, or the declaration is not a dotted name
// of identifiers.
bool java_package_declared(std::string_view head, std::string& package);

// The package the folders of a file's name stand for: those after the last
// folder named "java" when there is one (src/test/java/com/acme/X.java), else
// all of them (com/acme/X.java); "" when a folder is no identifier.
std::string java_package_from_folders(std::string_view name);

// Fills run.file_packages: for each file a failed check links to a line of,
// the package its source declares when it is found below run.source_root (as
// source_file_open allows), else the one its folders stand for.
void packages_read(TestRun& run);
