// Test identities: whole paths, and past the cut a digest that tells paths
// apart and stays the same from build to build (histories keep it).
#include "export/model/test_paths.h"

#include <gtest/gtest.h>

#include <string>

#include "export/export_helpers.h"

namespace {

// The identity of the one test of a driver D whose suite is named `suite`.
std::string identity_of(const std::string& suite, std::string* legacy = nullptr) {
  TestRun r;
  std::string error;
  const std::string xml = xrd_document(
      "<DAZU:NODE name=\"D\" type=\"Test Driver\" state=\"ok\"><DAZU:NODE name=\"" + suite +
      "\" type=\"Test Suite\" state=\"ok\"><DAZU:NODE name=\"t\" type=\"Test Case\" "
      "state=\"ok\"></DAZU:NODE></DAZU:NODE></DAZU:NODE>");
  EXPECT_EQ(parse_text(xml, r, error), 0) << error;
  PathCursor ids(r, PATH_NAMES, kPathCut);
  std::string_view old;
  const std::string id(ids.identity(2, &old));
  if (legacy) *legacy = old;
  return id;
}

TEST(TestPaths, IdentitiesAreWholeAndStable) {
  std::string legacy;
  EXPECT_EQ(identity_of("S", &legacy), "D/S/t");
  EXPECT_EQ(legacy, "D/S/t");

  const std::string x(700, 'x');
  const std::string a = identity_of(x + "1" + x, &legacy), b = identity_of(x + "2" + x);
  EXPECT_EQ(legacy, text_shorten("D/" + x + "1" + x + "/t", kPathCut));
  EXPECT_EQ(a.compare(0, legacy.size(), legacy), 0);
  EXPECT_EQ(a.size(), legacy.size() + kIdentityDigestMark.size() + 32);
  EXPECT_NE(a, b);  // their cut forms are the same
  EXPECT_EQ(a.substr(0, legacy.size()), b.substr(0, legacy.size()));
  // Histories written by earlier runs hold this digest: it must never change.
  EXPECT_EQ(a.substr(legacy.size()), " #cb365723fa40af8d1bcfa5016bb2539c");
}

}  // namespace
