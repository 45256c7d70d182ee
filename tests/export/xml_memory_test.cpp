// The XML parser's arena gives everything back once the document is gone.
#include "export/xml_memory.h"

#include <gtest/gtest.h>

#include "export_helpers.h"

namespace {

TEST(XmlMemory, ArenaIsEmptyOnceTheDocumentIsGone) {
  xml_arena_install();
  {
    XrdReport r;
    std::string error;
    ASSERT_EQ(xrd_read(fixture("calc_like.xrd").c_str(), r, error), 0) << error;
    EXPECT_GT(xml_arena_live(), 0u);
    EXPECT_EQ(r.sections.size(), 12u);
  }
  EXPECT_EQ(xml_arena_live(), 0u);
  XrdReport again;
  std::string error;
  EXPECT_EQ(xrd_read(fixture("worked.xrd").c_str(), again, error), 0) << error;
  EXPECT_EQ(again.sections.size(), 3u);
}

}  // namespace
