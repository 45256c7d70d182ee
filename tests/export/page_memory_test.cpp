// Huge-page buffers and the XML parser's arena: contents survive growth, and
// the arena gives everything back once the document is gone.
#include "export/page_memory.h"

#include <gtest/gtest.h>

#include "export_helpers.h"

namespace {

TEST(PageMemory, GrowingKeepsTheContents) {
  PageBuffer b;
  ASSERT_TRUE(page_buffer_alloc(b, 10));
  EXPECT_GE(b.size, 10u);
  std::memcpy(b.data, "report", 7);
  size_t before = b.size;
  ASSERT_TRUE(page_buffer_grow(b, before + 1));
  EXPECT_GT(b.size, before);
  EXPECT_STREQ(b.data, "report");
  EXPECT_EQ(b.data[b.size - 1], '\0');  // fresh memory is zero-filled
  PageBuffer moved(std::move(b));
  EXPECT_EQ(b.data, nullptr);
  EXPECT_STREQ(moved.data, "report");
}

TEST(PageMemory, ArenaIsEmptyOnceTheDocumentIsGone) {
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
