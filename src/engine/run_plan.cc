#include "engine/run_plan.h"

#include <algorithm>
#include <bit>
#include <span>

#include "engine/result_files.h"
#include "model/job_rules.h"

namespace jr {
namespace {

bool IsWaiting(const RunLine& line) { return line.State() == LineState::kWaiting; }

// The lines each of a list of lines points to: those of line i are to[starts[i]] up to
// to[starts[i + 1]].
struct Adjacency {
  std::vector<uint32_t> starts;
  std::vector<uint32_t> to;

  std::span<const uint32_t> Of(size_t i) const {
    return std::span<const uint32_t>(to).subspan(starts[i], starts[i + 1] - starts[i]);
  }
  // Becomes `other` with every pointer turned round.
  void Reverse(const Adjacency& other) {
    starts.assign(other.starts.size(), 0);
    for (uint32_t target : other.to) ++starts[target + 1];
    for (size_t i = 1; i < starts.size(); ++i) starts[i] += starts[i - 1];
    to.resize(other.to.size());
    std::vector<uint32_t> filled(starts.begin(), starts.end() - 1);
    for (size_t from = 0; from + 1 < other.starts.size(); ++from) {
      for (uint32_t target : other.Of(from)) to[filled[target]++] = static_cast<uint32_t>(from);
    }
  }
};

}  // namespace

void RunPlan::Positions::Insert(uint32_t at) {
  const size_t word = at / 64;
  if (word >= words_.size()) words_.resize(word + 1);
  words_[word] |= uint64_t{1} << (at % 64);
  first_word_ = std::min(first_word_, word);
}

void RunPlan::Positions::Erase(uint32_t at) {
  const size_t word = at / 64;
  if (word < words_.size()) words_[word] &= ~(uint64_t{1} << (at % 64));
}

std::optional<uint32_t> RunPlan::Positions::Next(uint32_t from) const {
  // Words left empty at the front are passed once, not on every pass.
  while (first_word_ < words_.size() && words_[first_word_] == 0) ++first_word_;
  size_t word = std::max<size_t>(from / 64, first_word_);
  if (word >= words_.size()) return std::nullopt;
  uint64_t bits = words_[word];
  if (word == from / 64) bits &= ~uint64_t{0} << (from % 64);
  while (bits == 0) {
    if (++word == words_.size()) return std::nullopt;
    bits = words_[word];
  }
  return static_cast<uint32_t>(word * 64 + static_cast<size_t>(std::countr_zero(bits)));
}

RunPlan::RunPlan(RunLines& lines, int32_t maximum) : lines_(lines), maximum_(maximum) {
  entries_.reserve(static_cast<size_t>(lines.Count()));
  for (RunLine& line : lines_) entries_.push_back({&line, 0, {}});
  for (uint32_t i = 0; i < entries_.size(); ++i) {
    if (!IsWaiting(*entries_[i].line)) continue;
    ++waiting_;
    WaitFor(i);
  }
}

void RunPlan::WaitFor(uint32_t waiting) {
  int32_t open = 0;
  for (int32_t number : entries_[waiting].line->definition().wait_for.numbers()) {
    Entry* named = Named(number);
    if (named == nullptr) {
      unnamed_[number].push_back(waiting);
      continue;
    }
    named->named_by.Add(waiting);
    open += named->line->AlreadyRun() ? 0 : 1;
    if (!named->line->Repeated()) continue;
    for (const RunLine* copy : lines_.CopiesOf(named->line->JobLineNr())) {
      open += copy->AlreadyRun() ? 0 : 1;
    }
  }
  Open(waiting, open);
}

std::optional<uint32_t> RunPlan::Find(const RunLine& line) const {
  // A run's lines are numbered in the order they were added, with no gap unless one was
  // deleted before the plan was made: a line is nearly always at its number counted from
  // the first. Found there, a run of many thousand lines is spared a search whose every
  // step reads another line's memory.
  if (!entries_.empty() && line.Sequence() >= entries_.front().line->Sequence()) {
    const uint64_t guess = line.Sequence() - entries_.front().line->Sequence();
    if (guess < entries_.size() && entries_[guess].line == &line) {
      return static_cast<uint32_t>(guess);
    }
  }
  const auto found = std::lower_bound(
      entries_.begin(), entries_.end(), line.Sequence(),
      [](const Entry& entry, uint64_t sequence) { return entry.line->Sequence() < sequence; });
  if (found == entries_.end() || found->line != &line) return std::nullopt;
  return static_cast<uint32_t>(found - entries_.begin());
}

void RunPlan::Add(RunLine& line) {
  const auto at = static_cast<uint32_t>(entries_.size());
  entries_.push_back({&line, 0, {}});
  if (!IsWaiting(line)) return;
  ++waiting_;
  WaitFor(at);
  // Lines that waited for a number no line had until now wait for this one.
  const auto unnamed = unnamed_.find(line.JobLineNr());
  if (unnamed == unnamed_.end()) return;
  for (uint32_t waiting : unnamed->second) {
    entries_[at].named_by.Add(waiting);
    Open(waiting, 1);
  }
  unnamed_.erase(unnamed);
}

RunPlan::Entry* RunPlan::Named(int32_t number) {
  const RunLine* named = lines_.Line(number);
  return named == nullptr ? nullptr : &entries_[Index(*named)];
}

void RunPlan::Open(uint32_t waiting, int32_t count) {
  Entry& entry = entries_[waiting];
  entry.open += count;
  if (!IsWaiting(*entry.line)) return;
  if (entry.open == 0 && entry.line->HasProgram()) {
    ready_.Insert(waiting);
  } else {
    ready_.Erase(waiting);
  }
}

void RunPlan::End(RunLine& line, LineState state) {
  const uint32_t at = Index(line);
  const bool was_over = line.AlreadyRun();
  if (IsWaiting(line)) {
    --waiting_;
    ready_.Erase(at);
  }
  running_.erase(at);
  line.SetState(state);
  if (was_over) return;
  entries_[at].named_by.ForEach([this](uint32_t waiting) { Open(waiting, -1); });
  // The lines waiting for a repeated line wait for its copies too.
  if (line.OriginalJobLineNr() == 0) return;
  const RunLine* source = lines_.Line(line.OriginalJobLineNr());
  if (source == nullptr || !source->Repeated()) return;
  entries_[Index(*source)].named_by.ForEach([this](uint32_t waiting) { Open(waiting, -1); });
}

std::vector<RunLine*> RunPlan::Startable(TimePoint now) const {
  std::vector<RunLine*> startable;
  if (running() >= maximum_) return startable;
  const size_t free = static_cast<size_t>(maximum_ - running());
  for (std::optional<uint32_t> at = ready_.Next(0); at; at = ready_.Next(*at + 1)) {
    RunLine* line = entries_[*at].line;
    if (!not_before_.empty()) {
      const auto delayed = not_before_.find(line);
      if (delayed != not_before_.end() && now < delayed->second) continue;
    }
    startable.push_back(line);
    if (startable.size() == free) break;
  }
  return startable;
}

TimePoint RunPlan::NextDelayedStart(TimePoint now) const {
  TimePoint next = TimePoint::max();
  for (const auto& [line, time] : not_before_) {
    if (now < time && IsWaiting(*line)) next = std::min(next, time);
  }
  return next;
}

void RunPlan::Started(RunLine& line) {
  const uint32_t at = Index(line);
  if (IsWaiting(line)) {
    --waiting_;
    ready_.Erase(at);
  }
  line.SetState(LineState::kRunning);
  running_.insert(at);
  if (!not_before_.empty()) not_before_.erase(&line);
}

std::vector<RunLine*> RunPlan::Running() const {
  std::vector<RunLine*> running;
  running.reserve(running_.size());
  for (uint32_t at : running_) running.push_back(entries_[at].line);
  return running;
}

Result<RunPlan::Consequences> RunPlan::Finished(RunLine& line, bool failed,
                                                const JobLineRefs* status_repeat) {
  End(line, failed ? LineState::kFailed : LineState::kSucceeded);
  Consequences consequences;
  if (status_repeat != nullptr) {
    if (Status repeated = Repeat(*status_repeat, line, consequences); !repeated.ok()) {
      return repeated;
    }
  }
  if (failed && line.definition().stop_on_error) {
    consequences.stop = true;
    return consequences;
  }
  Skip(failed ? line.definition().skip_on_error : line.definition().skip_on_success,
       consequences.skipped);
  if (Status repeated =
          Repeat(failed ? line.definition().repeat_on_error : line.definition().repeat_on_success,
                 line, consequences);
      !repeated.ok()) {
    return repeated;
  }
  return consequences;
}

void RunPlan::Skip(const JobLineRefs& list, std::vector<RunLine*>& skipped) {
  auto skip = [&](RunLine* line) {
    if (line == nullptr || !IsWaiting(*line)) return;
    End(*line, LineState::kSkipped);
    skipped.push_back(line);
  };
  for (int32_t number : list.numbers()) {
    skip(lines_.Line(number));
    for (RunLine* copy : lines_.CopiesOf(number)) skip(copy);
  }
}

Status RunPlan::Repeat(const JobLineRefs& list, const RunLine& ended, Consequences& consequences) {
  for (int32_t number : list.numbers()) {
    RunLine* original = lines_.Line(number);
    if (original == nullptr) continue;
    // A status line may name a copy; its copies count for the job's line all the same, or
    // a chain of copies of copies would run away as self-repeats would.
    RunLine* counted = original;
    while (counted->OriginalJobLineNr() != 0) {
      RunLine* source = lines_.Line(counted->OriginalJobLineNr());
      if (source == nullptr) break;
      counted = source;
    }
    int32_t& copies = copies_made_[counted];
    const JobLine& definition = original->definition();
    const int32_t limit =
        definition.repeat_limit > 0 ? definition.repeat_limit : kDefaultRepeatLimit;
    if (copies >= limit) {
      consequences.refused.push_back({counted, copies});
      continue;
    }
    original->SetRepeated(true);
    Result<RunLine*> copy = CreateRepeatCopy(lines_, *original);
    if (!copy.ok()) return copy.status;
    // The lines waiting for the original wait for its copies too (a line has copies only
    // once it is repeated).
    entries_[Index(*original)].named_by.ForEach([this](uint32_t waiting) { Open(waiting, 1); });
    Add(*copy.value);
    ++copies;
    if (definition.repeat_delay > 0) {
      not_before_[copy.value] =
          ended.StopTime().value_or(TimePoint{}) + std::chrono::seconds(definition.repeat_delay);
    }
    consequences.repeated.push_back({original, copy.value});
  }
  return Status::Ok();
}

std::vector<LineThatCannotStart> RunPlan::NeverStarting() const {
  const RunLines& collection = lines_;
  const int32_t maximum = maximum_;
  std::vector<LineThatCannotStart> blocked;
  // Every waiting line's place among the waiting ones, by its entry.
  constexpr uint32_t kNotWaiting = UINT32_MAX;
  std::vector<uint32_t> place(entries_.size(), kNotWaiting);
  std::vector<RunLine*> waiting;
  // The entries are in collection order.
  for (uint32_t at = 0; at < entries_.size(); ++at) {
    if (!IsWaiting(*entries_[at].line)) continue;
    place[at] = static_cast<uint32_t>(waiting.size());
    waiting.push_back(entries_[at].line);
  }
  if (waiting.empty()) return blocked;
  if (maximum < 1) {
    for (RunLine* line : waiting) {
      blocked.push_back({line, "the maximum number of job lines running at the same time is " +
                                   std::to_string(maximum) + ", below 1"});
    }
    return blocked;
  }

  // The waiting lines each waiting line waits for, by the wait rule, and the other way
  // round, each as one list of all lines' entries. Running lines will end and over lines
  // are over; only waiting ones can hold a line back for ever.
  Adjacency waits_for, waited_by;
  waits_for.starts.reserve(waiting.size() + 1);
  for (size_t i = 0; i < waiting.size(); ++i) {
    waits_for.starts.push_back(static_cast<uint32_t>(waits_for.to.size()));
    auto depend_on = [&](const RunLine* other) {
      const std::optional<uint32_t> at = Find(*other);
      if (at && place[*at] != kNotWaiting) waits_for.to.push_back(place[*at]);
    };
    for (int32_t number : waiting[i]->definition().wait_for.numbers()) {
      const RunLine* named = collection.Line(number);
      if (named == nullptr) continue;
      depend_on(named);
      if (named->Repeated()) {
        for (const RunLine* copy : collection.CopiesOf(named->JobLineNr())) depend_on(copy);
      }
    }
  }
  waits_for.starts.push_back(static_cast<uint32_t>(waits_for.to.size()));
  std::vector<uint32_t>().swap(place);
  waited_by.Reverse(waits_for);

  // Peel off the lines that can start once what they wait for has ended; what is left
  // waits, directly or not, for a line without a program or for itself.
  std::vector<uint32_t> open(waiting.size());
  std::vector<bool> can_start(waiting.size(), false);
  // In the order they are found; the order does not change which lines are peeled off.
  std::vector<uint32_t> ready;
  for (size_t i = 0; i < waiting.size(); ++i) {
    open[i] = static_cast<uint32_t>(waits_for.Of(i).size());
    if (open[i] == 0 && waiting[i]->HasProgram()) ready.push_back(static_cast<uint32_t>(i));
  }
  for (size_t next = 0; next < ready.size(); ++next) {
    const uint32_t i = ready[next];
    can_start[i] = true;
    for (uint32_t dependent : waited_by.Of(i)) {
      if (--open[dependent] == 0 && waiting[dependent]->HasProgram()) {
        ready.push_back(dependent);
      }
    }
  }
  if (ready.size() == waiting.size()) return blocked;
  std::vector<uint32_t>().swap(ready);
  std::vector<uint32_t>().swap(open);
  waited_by = {};

  // The strongly connected parts of what is left (Tarjan's method, without recursion, so
  // that a long chain does not exhaust the stack): a line is in a wait cycle when its part
  // holds another line too, or when it waits for itself.
  constexpr size_t kNone = static_cast<size_t>(-1);
  std::vector<size_t> order(waiting.size(), kNone), low(waiting.size(), 0);
  std::vector<size_t> part(waiting.size(), kNone);
  size_t parts = 0;
  std::vector<size_t> stack;
  std::vector<bool> on_stack(waiting.size(), false);
  size_t counter = 0;
  for (size_t root = 0; root < waiting.size(); ++root) {
    if (can_start[root] || order[root] != kNone) continue;
    std::vector<std::pair<size_t, size_t>> calls{{root, 0}};  // line, next edge to follow
    order[root] = low[root] = counter++;
    stack.push_back(root);
    on_stack[root] = true;
    while (!calls.empty()) {
      auto& [at, edge] = calls.back();
      if (edge < waits_for.Of(at).size()) {
        const size_t next = waits_for.Of(at)[edge++];
        if (can_start[next]) continue;
        if (order[next] == kNone) {
          order[next] = low[next] = counter++;
          stack.push_back(next);
          on_stack[next] = true;
          calls.push_back({next, 0});
        } else if (on_stack[next]) {
          low[at] = std::min(low[at], order[next]);
        }
        continue;
      }
      const size_t done = at;
      calls.pop_back();
      if (!calls.empty()) low[calls.back().first] = std::min(low[calls.back().first], low[done]);
      if (low[done] != order[done]) continue;
      size_t member;
      do {
        member = stack.back();
        stack.pop_back();
        on_stack[member] = false;
        part[member] = parts;
      } while (member != done);
      ++parts;
    }
  }

  for (size_t i = 0; i < waiting.size(); ++i) {
    if (can_start[i]) continue;
    RunLine* line = waiting[i];
    if (!line->HasProgram()) {
      blocked.push_back({line, "it has no program to start"});
      continue;
    }
    // Only a line in a wait cycle can never start for its wait list. A line that merely
    // waits for one that can never start is left waiting: that line is ended as a failed
    // start, which is over and satisfies the wait.
    for (size_t next : waits_for.Of(i)) {
      if (next == i) {
        blocked.push_back({line, "its wait list waits for itself"});
        break;
      }
      if (!can_start[next] && part[next] == part[i]) {
        blocked.push_back({line, "its wait list waits for itself through job line " +
                                     std::to_string(waiting[next]->JobLineNr())});
        break;
      }
    }
  }
  return blocked;
}

}  // namespace jr
