#include "bench/ChildUsage.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace bench {

ChildUsage RunChild(std::vector<std::string> argv, const std::string& output) {
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    if (!output.empty()) {
      const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd >= 0) {
        ::dup2(fd, STDOUT_FILENO);
        ::dup2(fd, STDERR_FILENO);
      }
    }
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  ChildUsage result;
  result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.WallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.CpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  result.PeakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  return result;
}

}  // namespace bench
