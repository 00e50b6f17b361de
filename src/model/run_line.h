#pragma once
// One job line as a run sees it: its definition, the command line and file names the run
// gives it, and its run state.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/job_line.h"
#include "platform/clock.h"
#include "platform/metadata_log.h"

namespace jr {

class RunLines;

// Where a line of a run stands. A line starts waiting, may run, and ends succeeded, failed
// or skipped (never started, by another line's list or because an earlier run did it).
enum class LineState { kWaiting, kRunning, kSucceeded, kFailed, kSkipped };

class RunLine {
 public:
  RunLine() = default;
  RunLine(const RunLine&) = delete;
  RunLine& operator=(const RunLine&) = delete;

  // Job line numbers are 32-bit throughout a run: the editor accepts 1 to 999999.
  int32_t JobLineNr() const { return job_line_nr_; }
  void SetJobLineNr(int32_t value);
  // The line's place in the order the lines of its collection were added: a line added
  // later has a higher one.
  uint64_t Sequence() const { return sequence_; }
  int32_t OriginalJobLineNr() const { return original_job_line_nr_; }
  void SetOriginalJobLineNr(int32_t value);
  // The job line as the user defined it; a repeat copy shares its source's. Its number is
  // the job's, JobLineNr the run's. A run keeps every line's, and what foresees the run's
  // end plans with the same ones: they are shared, never changed once given.
  const JobLine& definition() const;
  const std::shared_ptr<const JobLine>& SharedDefinition() const { return definition_; }
  void SetDefinition(std::shared_ptr<const JobLine> value);
  void SetDefinition(JobLine value);
  // The definition to change: a line that shares its definition gets its own copy first.
  JobLine& EditDefinition();
  int32_t ProcessId() const { return process_id_; }
  void SetProcessId(int32_t value) { process_id_ = value; }
  bool Repeated() const { return repeated_; }
  void SetRepeated(bool value) { repeated_ = value; }
  std::string Program() const { return Name(kProgram); }
  void SetProgram(std::string_view value) { SetName(kProgram, value); }
  bool HasProgram() const { return !names_.empty() && names_.front() != '\0'; }
  // What the program is started with, one element per argument: the user's options, split,
  // then the result-file arguments of the line's type.
  std::vector<std::string> ProgramArguments() const;
  void SetProgramArguments(const std::vector<std::string>& value);
  std::string LogFileName() const { return Name(kLogFile); }
  void SetLogFileName(std::string_view value) { SetName(kLogFile, value); }
  std::string JobId() const { return Name(kJobId); }
  void SetJobId(std::string_view value) { SetName(kJobId, value); }
  std::string StatusFileName() const { return Name(kStatusFile); }
  void SetStatusFileName(std::string_view value) { SetName(kStatusFile, value); }
  std::string SummaryFileName() const { return Name(kSummaryFile); }
  void SetSummaryFileName(std::string_view value) { SetName(kSummaryFile, value); }
  // Where the program's standard output and error go (see OutputFileName); there only
  // once the program wrote something.
  std::string OutputFileName() const { return Name(kOutputFile); }
  void SetOutputFileName(std::string_view value) { SetName(kOutputFile, value); }
  LineState State() const { return state_; }
  void SetState(LineState value) { state_ = value; }
  bool IsSkipped() const { return state_ == LineState::kSkipped; }
  // Over: succeeded, failed or skipped.
  bool AlreadyRun() const { return state_ != LineState::kWaiting && state_ != LineState::kRunning; }
  bool ErrorOccurred() const { return state_ == LineState::kFailed; }
  bool IsRunning() const { return state_ == LineState::kRunning; }
  // Set when the runner ended the program because its time limit was reached.
  bool TimeLimitReached() const { return time_limit_reached_; }
  void SetTimeLimitReached(bool value) { time_limit_reached_ = value; }
  // How the line's program ended by itself: its exit status; none while it runs, when it
  // never started, or when it was ended by a signal or by the runner.
  std::optional<int> ExitStatus() const { return exit_status_; }
  void SetExitStatus(std::optional<int> value) { exit_status_ = value; }

  // When the line's program started and stopped; none before that. They are instants:
  // text is made of them only where it is written (FormatTimeText).
  std::optional<TimePoint> StartingTime() const { return Known(starting_time_); }
  std::optional<TimePoint> StopTime() const { return Known(stop_time_); }
  void SetStartingTime(TimePoint value) { starting_time_ = value; }
  void SetStopTime(TimePoint value) { stop_time_ = value; }

 private:
  friend class RunLines;

  // A time not set yet: a run keeps every line, and an optional time takes twice the room.
  static constexpr TimePoint kUnknown = TimePoint::min();
  static std::optional<TimePoint> Known(TimePoint time) {
    return time == kUnknown ? std::nullopt : std::optional<TimePoint>(time);
  }

  // The names a run gives a line to start it with, in the order they are kept in names_.
  enum NameSlot { kProgram, kLogFile, kStatusFile, kSummaryFile, kOutputFile, kJobId, kNameSlots };
  std::string Name(NameSlot slot) const;
  void SetName(NameSlot slot, std::string_view value);

  RunLines* owner_ = nullptr;
  // Position in the owner's insertion order, and the number the owner keys the line by.
  uint64_t sequence_ = 0;
  int32_t key_ = 0;
  int32_t job_line_nr_ = 0;
  // Null until given: the definition is then the empty line.
  std::shared_ptr<const JobLine> definition_;
  // The program and the names, then the program's arguments, each ended by a null
  // character, in one piece: a run keeps every line's, and neither a file name nor an
  // argument can hold a null character. A line that is only planned, as those that foresee
  // a run's end, has a program alone, which a short one keeps without a block of its own.
  std::string names_;
  TimePoint stop_time_ = kUnknown;
  TimePoint starting_time_ = kUnknown;
  std::optional<int> exit_status_;
  LineState state_ = LineState::kWaiting;
  int32_t process_id_ = 0;
  int32_t original_job_line_nr_ = 0;
  bool time_limit_reached_ = false;
  bool repeated_ = false;
  // definition_ was made by this line, not given to it: only then may it be changed.
  bool own_definition_ = false;
};

// The arguments of WriteEntry for a line of type `program_type`, in their fixed order.
// `ended_by`, when not empty, takes the place of the fourth argument ("Missing") and tells
// how the runner ended the program ("time limit").
std::vector<MetadataValue> MetadataEntryArguments(const std::string& program_type,
                                                  std::string_view ended_by = {});

}  // namespace jr
