// Reading and writing a job file of 10,000 job lines, each timed several times; prints the
// fastest, the median and the slowest run. The aim is under 100 ms each on the build machine.

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "jobfile/job_file.h"

namespace {

constexpr int kLines = 10000;
constexpr int kRuns = 7;

jr::JobDocument LargeJob() {
  jr::JobDocument job;
  job.Description = "Benchmark job";
  job.LogFile = "/srv/reports/admin.htm";
  job.UserFile = "/srv/reports/user.htm";
  job.TempLogDir = "/var/log/jobrunner";
  job.MaxParallel = "8";
  job.table.SetJobLineCount(kLines);
  for (int row = 0; row < kLines; ++row) {
    const std::string number = std::to_string((row + 1) * 10);
    const bool own = row % 5 == 0;
    job.table.Set(jr::kColNumber, row, number);
    job.table.Set(jr::kColDescription, row, "Extraction step " + number);
    job.table.Set(jr::kColType, row, own ? "User Batchfile" : "Flow Runner");
    job.table.Set(jr::kColOptions, row, "-source DB" + number + " -password secret -mode full");
    job.table.Set(jr::kColWait, row, row ? std::to_string(row * 10) : "");
    job.table.Set(jr::kColStopOnError, row, "false");
    job.table.Set(jr::kColActive, row, "true");
    job.table.Set(jr::kColBatchFile, row, own ? "/srv/jobs/step" + number + ".sh" : "");
    job.table.Set(jr::kColLogFile, row, own ? "/tmp/step" + number + ".log" : "");
    job.table.Set(jr::kColStatusFile, row, own ? "/tmp/step" + number + ".stat" : "");
    job.table.Set(jr::kColSkipOnError, row, std::to_string(row * 10 + 20));
    job.table.Set(jr::kColSkipOnSuccess, row, "");
    job.table.Set(jr::kColRepeatOnError, row, "");
    job.table.Set(jr::kColRepeatOnSuccess, row, "");
  }
  return job;
}

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

bool Report(const char* what, std::vector<double> ms) {
  if (ms.empty()) {
    std::printf("%-28s FAILED\n", what);
    return false;
  }
  std::printf("%-28s fastest %6.1f ms, median %6.1f ms, slowest %6.1f ms (target < 100 ms)\n", what,
              ms.front(), ms[ms.size() / 2], ms.back());
  return true;
}

}  // namespace

int main() {
  std::string folder = (std::filesystem::temp_directory_path() / "jobfile-bench-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string path = folder + "/large.xml";
  const jr::JobDocument job = LargeJob();

  bool ok = Report("write 10000-line job file", TimeRuns([&] {
                     const jr::WriteResult result = jr::WriteJobFile(path, job, "2003 Mar 07");
                     if (!result.ok) std::fprintf(stderr, "%s\n", result.error.c_str());
                     return result.ok;
                   }));
  std::printf("%-28s %zu bytes\n", "file size", std::filesystem::file_size(path));
  ok = Report("read 10000-line job file", TimeRuns([&] {
                jr::JobDocument loaded;
                const jr::ReadResult result = jr::ReadJobFile(path, loaded);
                return result.status == jr::ReadStatus::kLoaded &&
                       loaded.table.LineCount() == kLines;
              })) &&
       ok;
  std::filesystem::remove_all(folder);
  return ok ? 0 : 1;
}
