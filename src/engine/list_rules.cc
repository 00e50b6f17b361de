#include "engine/list_rules.h"

#include <algorithm>
#include <deque>
#include <unordered_map>

#include "engine/result_files.h"
#include "model/job_line.h"
#include "model/number_text.h"

namespace jr {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The value of one entry. Plain digits, by far the common case, are read directly: the
// scheduler reads every waiting line's list in every pass.
Result<int32_t> EntryValue(std::string_view entry) {
  if (!entry.empty() && entry.size() <= 6) {
    int32_t direct = 0;
    bool plain = true;
    for (char c : entry) {
      if (!IsDigit(c)) {
        plain = false;
        break;
      }
      direct = direct * 10 + (c - '0');
    }
    if (plain) return direct;
  }
  std::optional<int64_t> number = LeadingWholeNumber(entry);
  if (!number || *number < -kHighestJobLineNr || *number > kHighestJobLineNr) {
    return Status::Failed("the job-line list entry \"" + std::string(entry) +
                          "\" lies outside the job line numbers");
  }
  return static_cast<int32_t>(*number);
}

// Calls `visit` with each entry's number until it returns false; fails at an unreadable
// entry.
template <typename Visit>
Status ForEachEntry(std::string_view list, Visit visit) {
  if (TrimBlanks(list).empty()) return Status::Ok();
  size_t begin = 0;
  while (true) {
    size_t comma = list.find(',', begin);
    std::string_view entry = list.substr(
        begin, comma == std::string_view::npos ? std::string_view::npos : comma - begin);
    const Result<int32_t> value = EntryValue(entry);
    if (!value.ok()) return value.status;
    if (!visit(value.value)) return Status::Ok();
    if (comma == std::string_view::npos) return Status::Ok();
    begin = comma + 1;
  }
}

bool IsWaiting(const RunLine& line) { return !line.AlreadyRun() && !line.IsRunning(); }

}  // namespace

Result<std::vector<int32_t>> ParseJobLineList(std::string_view list) {
  Result<JobLineRefs> refs = ReadJobLineRefs(list);
  if (!refs.ok()) return refs.status;
  return std::move(refs.value.numbers);
}

Result<bool> WaitListSatisfied(const RunLine& line, const RunLines& collection) {
  bool satisfied = true;
  Status read = ForEachEntry(line.Precedence(), [&](int32_t number) {
    const RunLine* waited_for = collection.Line(number);
    if (waited_for == nullptr) return true;
    if (!waited_for->AlreadyRun()) {
      satisfied = false;
      return false;
    }
    if (waited_for->Repeated()) {
      for (const RunLine* copy : collection.CopiesOf(waited_for->JobLineNr())) {
        if (!copy->AlreadyRun()) {
          satisfied = false;
          return false;
        }
      }
    }
    return true;
  });
  if (!read.ok()) return read;
  return satisfied;
}

Status SkipJobLines(std::string_view list, RunLines& collection, std::vector<RunLine*>* skipped) {
  auto skip = [&](RunLine* line) {
    if (line == nullptr || !IsWaiting(*line)) return;
    line->setAlreadyRun(true);
    line->setIsSkipped(true);
    if (skipped) skipped->push_back(line);
  };
  return ForEachEntry(list, [&](int32_t number) {
    skip(collection.Line(number));
    // Copies may be appended while we skip; walk a snapshot.
    std::vector<RunLine*> copies = collection.CopiesOf(number);
    for (RunLine* copy : copies) skip(copy);
    return true;
  });
}

Status RepeatJobLines(RunLines& collection, std::string_view list,
                      std::vector<RepeatCopyMade>* made) {
  Status copied;
  Status read = ForEachEntry(list, [&](int32_t number) {
    RunLine* original = collection.Line(number);
    if (original == nullptr) return true;
    original->setRepeated(true);
    Result<RunLine*> copy = CreateRepeatCopy(collection, *original);
    if (!copy.ok()) {
      copied = copy.status;
      return false;
    }
    if (made) made->push_back({original, copy.value});
    return true;
  });
  return read.ok() ? copied : read;
}

Result<bool> ApplyRepeatList(std::string_view list, RunLines& collection,
                             std::vector<RepeatCopyMade>* made) {
  if (TrimBlanks(list).empty()) return false;
  if (Status repeated = RepeatJobLines(collection, list, made); !repeated.ok()) return repeated;
  return true;
}

Result<std::vector<LineThatCannotStart>> LinesThatCanNeverStart(const RunLines& collection,
                                                                int32_t maximum) {
  std::vector<LineThatCannotStart> blocked;
  std::vector<RunLine*> waiting;
  std::unordered_map<const RunLine*, size_t> index;
  for (RunLine& line : collection) {
    if (!IsWaiting(line)) continue;
    index.emplace(&line, waiting.size());
    waiting.push_back(&line);
  }
  if (waiting.empty()) return blocked;
  if (maximum < 1) {
    for (RunLine* line : waiting) {
      blocked.push_back({line, "the maximum number of job lines running at the same time is " +
                                   std::to_string(maximum) + ", below 1"});
    }
    return blocked;
  }

  // The waiting lines each waiting line waits for, by the wait rule. Running lines will
  // end and over lines are over; only waiting ones can hold a line back for ever.
  std::vector<std::vector<size_t>> waits_for(waiting.size());
  std::vector<std::vector<size_t>> waited_by(waiting.size());
  for (size_t i = 0; i < waiting.size(); ++i) {
    auto depend_on = [&](const RunLine* other) {
      auto found = index.find(other);
      if (found == index.end()) return;
      waits_for[i].push_back(found->second);
      waited_by[found->second].push_back(i);
    };
    Status read = ForEachEntry(waiting[i]->Precedence(), [&](int32_t number) {
      const RunLine* named = collection.Line(number);
      if (named == nullptr) return true;
      depend_on(named);
      if (named->Repeated()) {
        for (const RunLine* copy : collection.CopiesOf(named->JobLineNr())) depend_on(copy);
      }
      return true;
    });
    if (!read.ok()) return read;
  }

  // Peel off the lines that can start once what they wait for has ended; what is left
  // waits, directly or not, for a line without a program or for itself.
  std::vector<size_t> open(waiting.size());
  std::vector<bool> can_start(waiting.size(), false);
  std::deque<size_t> ready;
  for (size_t i = 0; i < waiting.size(); ++i) {
    open[i] = waits_for[i].size();
    if (open[i] == 0 && !waiting[i]->ProgramExecuter().empty()) ready.push_back(i);
  }
  while (!ready.empty()) {
    size_t i = ready.front();
    ready.pop_front();
    can_start[i] = true;
    for (size_t dependent : waited_by[i]) {
      if (--open[dependent] == 0 && !waiting[dependent]->ProgramExecuter().empty()) {
        ready.push_back(dependent);
      }
    }
  }

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
      if (edge < waits_for[at].size()) {
        const size_t next = waits_for[at][edge++];
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
    if (line->ProgramExecuter().empty()) {
      blocked.push_back({line, "it has no program to start"});
      continue;
    }
    // Only a line in a wait cycle can never start for its wait list. A line that merely
    // waits for one that can never start is left waiting: that line is ended as a failed
    // start, which is over and satisfies the wait.
    for (size_t next : waits_for[i]) {
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
