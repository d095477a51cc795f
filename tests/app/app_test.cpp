#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The build directory: QRO_BINARY_DIR, else the parent of this test's own folder.
std::string binaryDir() {
  const char* d = std::getenv("QRO_BINARY_DIR");
  if (d && *d) return d;
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string self(path, static_cast<size_t>(n));
  std::string dir = self.substr(0, self.rfind('/'));
  return dir.substr(0, dir.rfind('/'));
}

// Runs a shell command and returns its standard output; the exit status in *status.
std::string run(const std::string& command, int* status) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  *status = pclose(p);
  return out;
}

TEST(Program, PrintsThePropagationAndTheSolverError) {
  std::string exe = binaryDir() + "/app/spring";
  char err[] = "/tmp/spring_stderr_XXXXXX";
  int fd = mkstemp(err);
  ASSERT_GE(fd, 0);
  close(fd);
  int status = -1;
  std::string out = run("timeout 20 " + exe + " < /dev/null 2> " + std::string(err), &status);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(out, "Propagation... 1\nError: QroSolver can not handle multiple searchs\n");
  int s2 = -1;
  EXPECT_EQ(run("cat " + std::string(err), &s2), "");
  unlink(err);
}

}  // namespace
