// A program run to its end as a child of the benchmark, and what it used of
// the machine by itself (from wait4), apart from the benchmark's own work.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct ChildUsage {
  int Status = -1;  // the exit status; -1 when it did not exit
  double WallSeconds = 0;
  double CpuSeconds = 0;  // user and system, all its threads
  double PeakMiB = 0;     // its largest resident set
};

// argv[0] is looked up in PATH. output: the file its standard output and
// error go to ("" leaves them the benchmark's).
ChildUsage RunChild(std::vector<std::string> argv, const std::string& output = "");

}  // namespace bench
