// The command line and run sequence through the real binary: exact stderr bytes
// and exit statuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/errors.h"
#include "driver/run.h"
#include "support/run_program.h"

namespace {

const char kBanner[] =
    "Kestrel(R) Proofline Java Test Report Generator 2002.05.21.468.004\n"
    "Copyright (C) 2002-2026 Kestrel Software. All rights reserved.\n";

std::string usage(const std::string& program) {
  return "\nUsage: " + program +
         " -tsf <tsfFile> -tdf <tdfFile> -xrd <xrdFile>\n"
         "         <tsfFile>     Trace static filename\n"
         "         <tdfFile>     Trace dynamic filename\n"
         "         <xrdFile>     Results filename\n\n";
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_temp_dir();
    write_file(dir_ + "/a.tsf", "");
    write_file(dir_ + "/b.tsf", "");
    write_file(dir_ + "/r.tdf", "");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  ProgramResult run(std::vector<std::string> args) {
    args.insert(args.begin(), TALLYREP_BIN);
    return run_program(args, dir_, {"KSPX_WORKSHOP_HEADER_FILE"});
  }
  bool exists(const std::string& name) { return std::filesystem::exists(dir_ + "/" + name); }
  std::string dir_;
};

TEST_F(CliTest, BadCommandLinesPrintBannerAndUsage) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"-tsf", "a.tsf", "-tdf", "r.tdf", "-tsf", "b.tsf", "-xrd", "o.xrd"},
      {"-tsf", "a.tsf", "-tdf", "r.tdf"},
      {"-tsf", "a.tsf", "-tdf", "r.tdf", "-xrd"},
      {"-tsf", "a.tsf", "-xrd", "o.xrd", "-tdf"},
      {"-tdf", "r.tdf", "-xrd", "o.xrd"},
  };
  for (const auto& args : bad) {
    ProgramResult r = run(args);
    EXPECT_EQ(255, r.status);
    EXPECT_EQ(std::string(kBanner) + usage(TALLYREP_BIN), r.err);
    EXPECT_EQ("", r.out);
  }
}

TEST_F(CliTest, GoodCommandLinesRunAndWriteTheReport) {
  const std::vector<std::vector<std::string>> good = {
      {"-tsf", "a.tsf", "-tdf", "r.tdf", "-xrd", "o.xrd"},
      {"-xrd", "o.xrd", "-tdf", "r.tdf", "-tsf", "a.tsf", "b.tsf"},
      {"-tsf", "-tdf", "r.tdf", "-xrd", "o.xrd"},
      {"extra", "-tsf", "a.tsf", "-tdf", "r.tdf", "-xrd", "o.xrd"},
  };
  for (const auto& args : good) {
    std::filesystem::remove(dir_ + "/o.xrd");
    ProgramResult r = run(args);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(kBanner, r.err);
    EXPECT_TRUE(exists("o.xrd"));
  }
  ProgramResult r = run({"-xrd", "o1.xrd", "-xrd", "o2.xrd", "-tdf", "r.tdf"});
  EXPECT_EQ(0, r.status);
  EXPECT_TRUE(exists("o2.xrd"));
  EXPECT_FALSE(exists("o1.xrd"));
}

TEST_F(CliTest, OptionWordAfterXrdIsTheReportName) {
  ProgramResult r = run({"-tsf", "a.tsf", "-xrd", "-tsf", "b.tsf", "-tdf", "r.tdf"});
  EXPECT_EQ(0, r.status);
  EXPECT_TRUE(exists("-tsf"));
}

TEST_F(CliTest, RepeatedTsfWordIsAFileName) {
  ProgramResult r = run({"-tsf", "a.tsf", "-tsf", "b.tsf", "-tdf", "r.tdf", "-xrd", "o.xrd"});
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(std::string(kBanner) + "tallyrep: error: -tsf, no such file or directory.\n", r.err);
}

TEST_F(CliTest, MissingInputsAreAllReportedTdfFirst) {
  ProgramResult r =
      run({"-tsf", "a.tsf", "gone.tsf", "b.tsf", "-tdf", "none.tdf", "-xrd", "o.xrd"});
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(std::string(kBanner) +
                "tallyrep: error: none.tdf, no such file or directory.\n"
                "tallyrep: error: gone.tsf, no such file or directory.\n",
            r.err);
  EXPECT_FALSE(exists("o.xrd"));
}

TEST_F(CliTest, DirectoryAsInputIsNotAFormatWeRead) {
  std::filesystem::create_directory(dir_ + "/d");
  ProgramResult r = run({"-tsf", "a.tsf", "-tdf", "d", "-xrd", "o.xrd"});
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(std::string(kBanner) + "tallyrep: error: d, file format not recognized.\n", r.err);
  r = run({"-tsf", "a.tsf", "d", "-tdf", "r.tdf", "-xrd", "o.xrd"});
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(std::string(kBanner) + "tallyrep: error: d, file format not recognized.\n", r.err);
  EXPECT_FALSE(exists("o.xrd"));
}

TEST_F(CliTest, UnwritableReportIsPermissionDenied) {
  ProgramResult r = run({"-tsf", "a.tsf", "-tdf", "r.tdf", "-xrd", "no/such/dir/o.xrd"});
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(std::string(kBanner) + "tallyrep: error: no/such/dir/o.xrd, permission denied;\n",
            r.err);
  r = run({"-tsf", "a.tsf", "-tdf", "r.tdf", "-xrd", "/dev/full"});
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(std::string(kBanner) + "tallyrep: error: /dev/full, permission denied;\n", r.err);
}

TEST_F(CliTest, PrefixIsFixedWhateverTheProgramIsCalled) {
  std::filesystem::create_symlink(TALLYREP_BIN, dir_ + "/other-name");
  ProgramResult r = run_program({dir_ + "/other-name", "-tsf", "-tdf", "x.tdf", "-xrd", "o"}, dir_);
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(std::string(kBanner) + "tallyrep: error: x.tdf, no such file or directory.\n", r.err);
  r = run_program({dir_ + "/other-name"}, dir_);
  EXPECT_EQ(std::string(kBanner) + usage(dir_ + "/other-name"), r.err);
}

TEST(ParseCommandLine, WalksOptionsInOrder) {
  CommandLine cmd;
  const char* a1[] = {"p", "-xrd", "-tdf", "r.tdf", "-tsf", "a"};
  ASSERT_TRUE(parse_command_line(6, a1, &cmd));
  EXPECT_STREQ("-tdf", cmd.xrd_file);
  EXPECT_STREQ("r.tdf", cmd.tdf_file);
  ASSERT_EQ(1, cmd.tsf_count);
  const char* a2[] = {"p", "-tdf", "-xrd", "o.xrd", "-tsf", "a"};
  EXPECT_FALSE(parse_command_line(6, a2, &cmd));  // -xrd is the TDF name; no report name
  EXPECT_STREQ("-xrd", cmd.tdf_file);
  const char* a3[] = {"p", "-tsf", "-xrd", "o", "-tdf", "t"};
  ASSERT_TRUE(parse_command_line(6, a3, &cmd));
  EXPECT_EQ(0, cmd.tsf_count);
  const char* a4[] = {"-tsf"};  // the program name is never an option
  EXPECT_FALSE(parse_command_line(1, a4, &cmd));
}

TEST(Diagnostics, LinesAreExact) {
  EXPECT_EQ("tallyrep: error: a.tsf, file format not recognized.\n",
            diag_format(DIAG_BAD_FORMAT, "a.tsf"));
  EXPECT_EQ("tallyrep: error: o.xrd, permission denied;\n",
            diag_format(DIAG_NO_PERMISSION, "o.xrd"));
  EXPECT_EQ("tallyrep: fatal: out of memory\n", diag_format(DIAG_NO_MEMORY, nullptr));
  EXPECT_EQ("tallyrep: fatal: internal error: x\n", diag_format(DIAG_INTERNAL, "x"));
  EXPECT_EQ("tallyrep: fatal: (unexpected error)\n", diag_format(DIAG_UNEXPECTED, nullptr));
  EXPECT_EQ("tallyrep: error: 100%s, no such file or directory.\n",
            diag_format(DIAG_NO_FILE, "100%s"));
  EXPECT_STREQ("semantic error", diag_category_label(DIAG_CAT_SEMANTIC));
  testing::internal::CaptureStderr();
  diag_report(DIAG_NO_FILE, "r.tdf");
  EXPECT_EQ("tallyrep: error: r.tdf, no such file or directory.\n",
            testing::internal::GetCapturedStderr());
}

TEST(CheckedAlloc, ZeroBytesIsSilentAndRefusalEndsTheProcess) {
  testing::internal::CaptureStderr();
  void* block = checked_alloc(0);
  checked_free(block);
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  if (std::getenv("TALLYREP_SANITIZED")) GTEST_SKIP() << "sanitizers refuse huge requests";
  EXPECT_EXIT(checked_alloc(static_cast<size_t>(-1) / 2), testing::ExitedWithCode(1),
              "^tallyrep: fatal: out of memory\n$");
  EXPECT_EXIT(
      {
        install_out_of_memory_handler();
        std::vector<char> huge(static_cast<size_t>(-1) / 4);
        (void)huge;
      },
      testing::ExitedWithCode(1), "^tallyrep: fatal: out of memory\n$");
}

}  // namespace
