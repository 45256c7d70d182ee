// The repairs between a report's bytes and the XML parser: each stage gives
// the same bytes however the report is cut into blocks, and maps the offsets
// of what it gives back to the report's.
#include "export/read/xrd_repair.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "export/export_helpers.h"
#include "export/read/xrd_chars.h"

namespace {

// Everything a stage gives for input fed in blocks of `block` bytes.
template <class Stage>
std::string fed(const std::string& input, size_t block) {
  Stage stage;
  std::string out;
  for (size_t at = 0;; at += block) {
    const bool last = at + block >= input.size();
    const std::string_view part(input.data() + std::min(at, input.size()),
                                std::min(block, input.size() - std::min(at, input.size())));
    out += stage.feed(part, last);
    if (last) return out;
  }
}

TEST(XrdRepair, StagesGiveTheSameBytesWhateverTheBlocks) {
  const std::string crafted =
      "<?xml version=\"1.0\"?><?pi x--y?><!DOCTYPE d [<!ENTITY e \"x\">]>"
      "<DAZU x\xe9y=\"a<b&c&#1;&#65;&amp;\xc3\" n='\xEE\x80\x80'><!-- a -- b ---><T>"
      "x\x01y\xe9\xe2\x82\xac&#0;&#4294967361;&#x110000;&lt;]]>z<![CDATA[\x02]]]]></T>"
      "<A b=\"1\" b=\"2\" b=\"3\"/></DAZU>";
  const std::string inputs[] = {read_file(fixture("old_head.xrd")),
                                read_file(fixture("old_quotes.xrd")), crafted};
  for (const std::string& input : inputs) {
    const std::string head = fed<HeadStage>(input, input.size() + 1);
    const std::string quotes = fed<QuoteStage>(input, input.size() + 1);
    const std::string chars = fed<CharStage>(input, input.size() + 1);
    for (size_t block : {1, 2, 3, 7, 64}) {
      EXPECT_EQ(fed<HeadStage>(input, block), head) << block;
      EXPECT_EQ(fed<QuoteStage>(input, block), quotes) << block;
      EXPECT_EQ(fed<CharStage>(input, block), chars) << block;
    }
  }
}

// An offset past a mended byte maps back to the same place in the report.
TEST(XrdRepair, OffsetsMapBackToTheReport) {
  CharStage chars;
  const std::string in = "<a>x\x01y&z<b";
  const std::string out(chars.feed(in, true));
  EXPECT_EQ(chars.shifts().in_offset(out.find('y')), in.find('y'));
  EXPECT_EQ(chars.shifts().in_offset(out.find('z')), in.find('z'));
  EXPECT_EQ(chars.shifts().in_offset(out.rfind('<')), in.rfind('<'));
  std::string restored = "x" + out.substr(out.find('x') + 1, out.find('y') - out.find('x') - 1);
  xrd_restore_bytes(restored);
  EXPECT_EQ(restored, "x\x01");
}

}  // namespace
