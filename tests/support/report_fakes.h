#pragma once
// The end of a run without the outside world but for the file system: the shared fakes,
// plus an event log and a notifier that write down what they get.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/job_lines.h"
#include "model/run_env.h"
#include "support/engine_fakes.h"
#include "support/fakes.h"

namespace jr::test {

// 7 March 2003 at that local time.
inline TimePoint At(int hour, int minute, int second) {
  return LocalTime(2003, 3, 7, hour, minute, second);
}

// Event-log entries as "SOURCE|TYPE|CATEGORY|ID|MESSAGE", messages as "TITLE|TEXT|ICON";
// every write fails with `error` while it is not 0.
class RecordingOutside final : public EventLogSink, public Notifier {
 public:
  int Write(std::string_view source, uint16_t type, uint16_t category, uint32_t id,
            std::string_view message) override {
    if (error != 0) return error;
    entries.push_back(std::string(source) + "|" + std::to_string(type) + "|" +
                      std::to_string(category) + "|" + std::to_string(id) + "|" +
                      std::string(message));
    return 0;
  }
  void ShowMessage(std::string_view title, std::string_view text, MessageIcon icon) override {
    messages.push_back(std::string(title) + "|" + std::string(text) + "|" +
                       std::to_string(static_cast<int>(icon)));
  }
  std::vector<std::string> entries, messages;
  int error = 0;
};

// Every seam of a run, and the run's lines. Started programs end at the first pause.
struct ReportWorld {
  FakeClock clock;
  ScriptedLauncher launcher;
  MapRegistry registry;
  RecordingOutside outside;
  StatusMetadataLogFactory metadata;
  clsJobLines lines{JobLineServices{&clock, nullptr}};

  // Adds a line that ran from `start` to `end`, failed or not.
  clsJobLine* Ran(int32_t nr, const std::string& description, const std::string& type,
                  TimePoint start, TimePoint end, bool failed = false) {
    clsJobLine* line = lines.Add(nr);
    line->setJobDescription(description);
    line->setProgramType(type);
    clock.Set(start);
    line->SetStartingTime();
    clock.Set(end);
    line->SetStopTime();
    line->setAlreadyRun(true);
    line->setErrorOccured(failed);
    return line;
  }
  RunEnv Env(EventLogSink* sink = nullptr) {
    return {clock, launcher, RealFileSystem(), registry, sink ? *sink : outside, metadata, outside};
  }
};

inline ::testing::AssertionResult Has(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

}  // namespace jr::test
