// The Java package of a source: from its declaration, past comments and
// blanks, else from the folders of its name; and the stack frames of JUnit
// failures that carry it, with and without a source root.
#include "export/read/java_package.h"

#include <gtest/gtest.h>

#include "export/export_helpers.h"
#include "export/read/source_root.h"
#include "export/write/writers.h"

namespace {

TEST(JavaPackage, FromTheDeclaration) {
  const struct {
    const char* head;
    bool known;
    const char* package;
  } cases[] = {
      {"package com.acme;\nclass A {}", true, "com.acme"},
      {"\xEF\xBB\xBF// licence\n/* more\n * lines */\n  package  com . acme ;", true, "com.acme"},
      {"package\tcom.acme.\xC3\xA9t\xC3\xA9;", true, "com.acme.\xC3\xA9t\xC3\xA9"},
      {"import java.util.List;\nclass A {}", true, ""},  // the default package
      {"class A { String s = \"package x;\"; }", true, ""},
      {"packages x;", true, ""},
      {"package com.acme", false, ""},  // cut before its end
      {"/* never closed", false, ""},
      {"// only a comment", false, ""},
      {"", false, ""},
      {"package com..acme;", false, ""},
      {"package 1com;", false, ""},
      {"package com/acme;", false, ""},
  };
  for (const auto& c : cases) {
    std::string package = "stale";
    EXPECT_EQ(java_package_declared(c.head, package), c.known) << c.head;
    EXPECT_EQ(package, c.package) << c.head;
  }
}

TEST(JavaPackage, FromTheFolders) {
  const struct {
    const char* name;
    const char* package;
  } cases[] = {
      {"com/acme/PlainTest.java", "com.acme"},
      {"src/test/java/com/acme/PlainTest.java", "com.acme"},
      {"java/x/java/y/T.java", "y"},
      {"src/test/java/T.java", ""},
      {"PlainTest.java", ""},
      {"my-project/T.java", ""},
      {"C:\\work\\T.java", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(java_package_from_folders(c.name), c.package) << c.name;
}

// A report whose failed checks link to Other.java (found below the root,
// where it declares its package), to com/acme/Plain.java (not below the
// root: its folders tell), and to Missing.java (neither).
TEST(JavaPackage, FramesNameTheClassWithItsPackage) {
  const std::string root = scratch("packages");
  std::system(("rm -rf '" + root + "' && mkdir -p '" + root + "/src/test/java/org/x' && " +
               "printf '/* c */\\npackage org.x;\\n' >'" + root +
               "/src/test/java/org/x/Other.java'")
                  .c_str());
  auto check = [](const char* target) {
    return std::string("<ROW><CELL STYLE=\"Array Failed\"><LINK TARGET=\"") + target +
           "\"><TEXT>e</TEXT></LINK></CELL></ROW>";
  };
  const std::string xrd = xrd_document(
      "<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ko\">"
      "<DAZU:NODE name=\"t\" type=\"Test Case\" state=\"ko\"><TABLE>" +
      check("Other.java line 3") + check("com/acme/Plain.java line 4") +
      check("Missing.java line 5") + "</TABLE></DAZU:NODE></DAZU:NODE>");
  for (bool with_root : {true, false}) {
    TestRun r;
    std::string error, warning;
    ASSERT_EQ(parse_text(xrd, r, error), 0) << error;
    if (with_root) {
      ASSERT_EQ(source_root_map(r, root.c_str(), warning, error), 0) << error;
    }
    packages_read(r);
    const std::string junit = out_capture([&](OutBuffer& o) { junit_document(o, r); });
    EXPECT_NE(junit.find(with_root ? "\tat org.x.D.t(Other.java:3)\n" : "\tat D.t(Other.java:3)\n"),
              std::string::npos)
        << junit;
    EXPECT_NE(junit.find("\tat com.acme.D.t(Plain.java:4)\n"), std::string::npos) << junit;
    EXPECT_NE(junit.find("\tat D.t(Missing.java:5)\n"), std::string::npos) << junit;
  }
}

}  // namespace
