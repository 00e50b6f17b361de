// Feeds arbitrary bytes to the job file reader. Besides crashes, leaks and hangs it looks
// for two quieter faults: a refused file that changed the job, and a loaded job whose
// written file does not read back to the same job.

#include <cstdint>
#include <string_view>

#include "fuzz_support.h"
#include "jobfile/job_file.h"

namespace {

bool SameHeader(const jr::JobDocument& a, const jr::JobDocument& b) {
  return a.Description == b.Description && a.LogFile == b.LogFile && a.UserFile == b.UserFile &&
         a.TempLogDir == b.TempLogDir && a.LogToEventLog == b.LogToEventLog &&
         a.MaxParallel == b.MaxParallel;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  jr::JobDocument job;
  job.Description = "untouched";
  job.table.Set(jr::kColNumber, 1, "7");
  const jr::ReadResult result = jr::ReadJobFileText(text, "fuzz.xml", job);
  if (result.status != jr::ReadStatus::kLoaded) {
    fuzz::Require(!result.message.empty());
    fuzz::Require(job.Description == "untouched" && job.table.LineCount() == 2 &&
                  job.table.Text(jr::kColNumber, 1) == "7");
    return 0;
  }

  const std::string written = jr::JobFileText(job, "2003 Mar 07 14:05:09");
  jr::JobDocument again;
  fuzz::Require(jr::ReadJobFileText(written, "fuzz.xml", again).status == jr::ReadStatus::kLoaded);
  fuzz::Require(SameHeader(job, again));
  fuzz::Require(again.table.LineCount() == job.table.LineCount());
  fuzz::Require(jr::JobFileText(again, "2003 Mar 07 14:05:09") == written);
  return 0;
}
