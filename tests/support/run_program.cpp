// Process and file helpers for tests that drive the real binaries.
#include "support/run_program.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {
std::string slurp_fd(int fd) {
  std::string data;
  char buf[65536];
  lseek(fd, 0, SEEK_SET);
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) data.append(buf, static_cast<size_t>(n));
  return data;
}

int temp_fd() {
  char name[] = "/tmp/tallyrep-test-XXXXXX";
  int fd = mkstemp(name);
  if (fd >= 0) unlink(name);
  return fd;
}
}  // namespace

ProgramResult run_program(const std::vector<std::string>& argv, const std::string& cwd,
                          const std::vector<std::string>& env) {
  ProgramResult result;
  int out_fd = temp_fd();
  int err_fd = temp_fd();
  pid_t pid = fork();
  if (pid == 0) {
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
    for (const std::string& e : env) {
      size_t eq = e.find('=');
      if (eq == std::string::npos) {
        unsetenv(e.c_str());
      } else {
        setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
      }
    }
    int null_fd = open("/dev/null", O_RDONLY);
    dup2(null_fd, 0);
    dup2(out_fd, 1);
    dup2(err_fd, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  int wstatus = 0;
  struct rusage usage {};
  wait4(pid, &wstatus, 0, &usage);
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  result.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
  result.peak_rss_kb = usage.ru_maxrss;
  result.out = slurp_fd(out_fd);
  result.err = slurp_fd(err_fd);
  close(out_fd);
  close(err_fd);
  return result;
}

std::string make_temp_dir() {
  char name[] = "/tmp/tallyrep-dir-XXXXXX";
  const char* dir = mkdtemp(name);
  return dir ? dir : "/tmp";
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary);
  f << bytes;
}

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::vector<std::string> names_in(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}
