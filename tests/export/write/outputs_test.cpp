// The table of outputs: every row parses, shows in the usage text, is guarded
// against overwriting a report, and writes through output_write.
#include "export/write/outputs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/cli/cli_options.h"
#include "export/export_helpers.h"

namespace {

// The options keep pointers into args, which must outlive them.
ParseResult parse(std::vector<std::string>& args, ExportOptions& opts) {
  std::vector<char*> argv = {const_cast<char*>("tallyrep-export")};
  for (std::string& a : args) argv.push_back(a.data());
  return export_parse_args(static_cast<int>(argv.size()), argv.data(), opts);
}

TEST(Outputs, EveryRowIsParsedShownGuardedAndWritten) {
  const std::string usage = export_usage();
  const std::string report = fixture("worked.xrd");
  TestRun run;
  std::string error;
  ASSERT_EQ(read_run(report, run, error), 0) << error;
  for (size_t k = 0; k < kOutputCount; ++k) {
    const OutputKind& kind = kOutputs[k];
    SCOPED_TRACE(kind.flag);
    EXPECT_EQ(output_kind(kind.flag), &kind);
    EXPECT_NE(usage.find(kind.help), std::string::npos);
    EXPECT_NE(usage.find(std::string("[") + kind.flag), std::string::npos);

    const std::string out = scratch("table-out");
    std::vector<std::string> args = {report, kind.flag};
    if (kind.argument) args.push_back(out);
    ExportOptions opts;
    ASSERT_EQ(parse(args, opts), PARSE_RUN);
    for (size_t j = 0; j < kOutputCount; ++j)
      EXPECT_EQ(opts.outputs[j] != nullptr, j == k) << kOutputs[j].flag;
    if (!kind.argument) continue;
    EXPECT_EQ(std::string(export_output(opts, kind.flag)), out);

    // Named as the report itself, it is refused before anything is written.
    ExportOptions same;
    std::vector<std::string> same_args = {report, kind.flag, report};
    ASSERT_EQ(parse(same_args, same), PARSE_RUN);
    testing::internal::CaptureStderr();
    EXPECT_EQ(export_same_file_error(same), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(": is the report itself"),
              std::string::npos);

    std::remove(out.c_str());
    ASSERT_EQ(output_write(kind, run, out.c_str(), false, OutputSettings(), error), 0) << error;
    EXPECT_FALSE(read_file(out).empty());
  }
}

}  // namespace
