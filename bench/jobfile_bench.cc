// Reading and writing a job file of 10,000 job lines (or as many as the first argument says),
// each timed several times; prints the fastest, the median and the slowest run. The aim is
// under 100 ms each at 10,000 lines and under 1 s at 100,000 on the build machine.

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "jobfile/job_file.h"
#include "large_job.h"

namespace {

constexpr int kRuns = 7;

template <typename F>
std::vector<double> TimeRuns(F&& run) {
  std::vector<double> ms;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (!run()) return {};
    const auto stop = std::chrono::steady_clock::now();
    ms.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms;
}

bool Report(const std::string& what, std::vector<double> ms, double limit_ms) {
  if (ms.empty()) {
    std::printf("%-30s FAILED\n", what.c_str());
    return false;
  }
  std::printf("%-30s fastest %6.1f ms, median %6.1f ms, slowest %6.1f ms (target < %.0f ms)\n",
              what.c_str(), ms.front(), ms[ms.size() / 2], ms.back(), limit_ms);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::atoi(argv[1]) : 10000;
  const double limit_ms = lines > 10000 ? 1000 : 100;
  const std::string size = std::to_string(lines) + "-line job file";
  std::string folder = (std::filesystem::temp_directory_path() / "jobfile-bench-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string path = folder + "/large.xml";
  const jr::JobDocument job = jr::bench::LargeJob(lines, folder);

  bool ok = Report("write " + size, TimeRuns([&] {
                     const jr::WriteResult result = jr::WriteJobFile(path, job, "2003 Mar 07");
                     if (!result.ok) std::fprintf(stderr, "%s\n", result.error.c_str());
                     return result.ok;
                   }),
                   limit_ms);
  std::printf("%-30s %zu bytes\n", "file size", std::filesystem::file_size(path));
  ok = Report("read " + size, TimeRuns([&] {
                jr::JobDocument loaded;
                const jr::ReadResult result = jr::ReadJobFile(path, loaded);
                return result.status == jr::ReadStatus::kLoaded &&
                       loaded.table.LineCount() == lines;
              }),
              limit_ms) &&
       ok;
  std::filesystem::remove_all(folder);
  return ok ? 0 : 1;
}
