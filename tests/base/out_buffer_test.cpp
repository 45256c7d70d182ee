// Replacing a large old file: the name shows the new file at once, and the
// process left to free the old file's blocks ends without holding anything.
#include "base/out_buffer.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> names_in(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    ::closedir(d);
  }
  return names;
}

// Any process's descriptor that still points at a removed file of dir.
bool removed_file_held(const std::string& dir) {
  for (const std::string& pid : names_in("/proc")) {
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string fds = "/proc/" + pid + "/fd";
    for (const std::string& fd : names_in(fds)) {
      char target[4096];
      ssize_t n = ::readlink((fds + "/" + fd).c_str(), target, sizeof target - 1);
      if (n <= 0) continue;
      std::string t(target, static_cast<size_t>(n));
      if (t.rfind(dir + "/", 0) == 0 && t.find(" (deleted)") != std::string::npos) return true;
    }
  }
  return false;
}

TEST(OutBuffer, ReplacingALargeFileFreesTheOldOneInTheBackground) {
  char pattern[] = "/tmp/tallyrep-out-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern, path = dir + "/report.xrd";
  std::ofstream(path, std::ios::binary) << std::string(size_t{40} << 20, 'o');

  OutBuffer out;
  ASSERT_TRUE(out_open_file(out, path.c_str()));
  out_str(out, "new report\n");
  ASSERT_TRUE(out_close(out));
  EXPECT_EQ(names_in(dir), std::vector<std::string>{"report.xrd"});
  std::stringstream now;
  now << std::ifstream(path, std::ios::binary).rdbuf();
  EXPECT_EQ(now.str(), "new report\n");

  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (removed_file_held(dir) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(removed_file_held(dir)) << "the old file is still held open";
  ::unlink(path.c_str());
  ::rmdir(dir.c_str());
}

}  // namespace
