// `jobrunner --history` over three years of nightly runs of a 50-line job (about 55,000
// rows): the whole program, start to end, as a script would call it. Limit: 50 ms.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "history_db.h"
#include "spawn_timing.h"

namespace {

constexpr double kLimitMs = 50.0;

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("history_bench." + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string db = (folder / "metadata.sqlite").string();
  const bool filled = jr::bench::FillHistoryDatabase(db);
  setenv("JOBRUNNER_METADATA_DB", db.c_str(), 1);
  const std::string program =
      (fs::canonical("/proc/self/exe").parent_path().parent_path() / "bin" / "jobrunner").string();
  struct Case {
    const char* what;
    std::vector<std::string> args;
  } cases[] = {
      {"--history JOBFILE", {"--history", jr::bench::kJobFile}},
      {"--history JOBFILE --json", {"--history", jr::bench::kJobFile, "--json"}},
      {"--history JOBFILE RUNID --json", {"--history", jr::bench::kJobFile, "run500", "--json"}},
  };
  int status = filled ? 0 : 1;
  if (!filled) std::printf("could not fill the database %s\n", db.c_str());
  std::printf("3 years of nightly runs of a 50-line job: %d runs, %d line rows\n",
              jr::bench::kNights, jr::bench::kNights * jr::bench::kLines);
  for (const Case& c : cases) {
    const jr::bench::Timing timing = jr::bench::Measure(program, c.args);
    std::printf("  %-32s %7.1f ms, processor %5.1f ms (limit %.0f ms)\n", c.what, timing.wall_ms,
                timing.cpu_ms, kLimitMs);
    if (timing.wall_ms > kLimitMs) status = 1;
  }
  fs::remove_all(folder);
  return status;
}
