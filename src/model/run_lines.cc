#include "model/run_lines.h"

#include <algorithm>
#include <charconv>

namespace jr {
namespace {

const std::vector<RunLine*> kNoCopies;

void EraseFrom(std::vector<RunLine*>& list, RunLine* line) {
  list.erase(std::remove(list.begin(), list.end(), line), list.end());
}

// Keeps `list` in insertion order, so that its front is what a walk from the start finds.
void InsertInOrder(std::vector<RunLine*>& list, RunLine* line, uint64_t sequence,
                   uint64_t (*sequence_of)(const RunLine*)) {
  auto at = std::find_if(list.begin(), list.end(),
                         [&](const RunLine* held) { return sequence_of(held) > sequence; });
  list.insert(at, line);
}

}  // namespace

RunLines::~RunLines() {
  for (auto& line : lines_) line->owner_ = nullptr;
}

void RunLines::Reserve(int32_t count) {
  const size_t room = static_cast<size_t>(std::max(count, 0));
  lines_.reserve(room);
  by_number_.reserve(room);
}

RunLine* RunLines::Add(int32_t number) {
  // A line renumbered after it was added keeps its key, which no second line may take.
  if (JobLineNrExists(number) || Keyed(number) != nullptr) return nullptr;
  auto line = std::make_unique<RunLine>();
  line->SetJobLineNr(number);
  line->owner_ = this;
  line->sequence_ = next_sequence_++;
  line->key_ = number;
  RunLine* added = line.get();
  lines_.push_back(std::move(line));
  by_number_.emplace(number, added);
  if (number > highest_job_line_nr_) highest_job_line_nr_ = number;
  return added;
}

void RunLines::Number(RunLine* line, int32_t number) {
  auto [first, added] = by_number_.emplace(number, line);
  if (added) return;
  // The earlier added of the two stays first.
  if (line->sequence_ < first->second->sequence_) std::swap(line, first->second);
  InsertInOrder(sharing_[number], line, line->sequence_,
                [](const RunLine* held) { return held->sequence_; });
}

void RunLines::Unnumber(RunLine* line, int32_t number) {
  auto first = by_number_.find(number);
  if (first == by_number_.end()) return;
  auto later = sharing_.find(number);
  if (first->second == line) {
    if (later == sharing_.end()) {
      by_number_.erase(first);
      return;
    }
    first->second = later->second.front();
    later->second.erase(later->second.begin());
  } else if (later != sharing_.end()) {
    EraseFrom(later->second, line);
  }
  if (later != sharing_.end() && later->second.empty()) sharing_.erase(later);
}

void RunLines::Unindex(RunLine* line) {
  Unnumber(line, line->JobLineNr());
  if (auto keyed = renumbered_.find(line->key_);
      keyed != renumbered_.end() && keyed->second == line) {
    renumbered_.erase(keyed);
  }
  if (line->OriginalJobLineNr() != 0) {
    auto found = copies_.find(line->OriginalJobLineNr());
    if (found != copies_.end()) EraseFrom(found->second, line);
  }
}

void RunLines::Remove(std::vector<std::unique_ptr<RunLine>>::iterator at) {
  Unindex(at->get());
  (*at)->owner_ = nullptr;
  lines_.erase(at);
}

bool RunLines::Delete(std::string_view key) {
  int32_t number = 0;
  auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), number);
  if (error != std::errc() || end != key.data() + key.size()) return false;
  // The key is the decimal text of the number, so "010" names no line.
  if (std::to_string(number) != key) return false;
  RunLine* line = Keyed(number);
  if (line == nullptr) return false;
  Remove(std::find_if(lines_.begin(), lines_.end(),
                      [line](const auto& held) { return held.get() == line; }));
  return true;
}

bool RunLines::Delete(int position) {
  if (position < 1 || position > Count()) return false;
  Remove(lines_.begin() + (position - 1));
  return true;
}

bool RunLines::JobLineNrExists(int32_t number) const { return by_number_.count(number) != 0; }

RunLine* RunLines::Line(int32_t number) const {
  auto found = by_number_.find(number);
  return found == by_number_.end() ? nullptr : found->second;
}

RunLine* RunLines::Item(int index) const {
  if (index < 1 || index > Count()) return nullptr;
  return lines_[static_cast<size_t>(index - 1)].get();
}

void RunLines::Clear() {
  for (auto& line : lines_) line->owner_ = nullptr;
  lines_.clear();
  by_number_.clear();
  sharing_.clear();
  renumbered_.clear();
  copies_.clear();
  highest_job_line_nr_ = -1;
}

const std::vector<RunLine*>& RunLines::CopiesOf(int32_t original) const {
  if (original == 0) return kNoCopies;
  auto found = copies_.find(original);
  return found == copies_.end() ? kNoCopies : found->second;
}

void RunLines::MoveCopy(RunLine* line, int32_t from, int32_t to) {
  if (from != 0) {
    auto found = copies_.find(from);
    if (found != copies_.end()) EraseFrom(found->second, line);
  }
  if (to != 0) copies_[to].push_back(line);
}

void RunLines::Renumber(RunLine* line, int32_t from, int32_t to) {
  Unnumber(line, from);
  Number(line, to);
  if (to == line->key_) {
    renumbered_.erase(line->key_);
  } else {
    renumbered_[line->key_] = line;
  }
}

RunLine* RunLines::Keyed(int32_t key) const {
  if (auto found = renumbered_.find(key); found != renumbered_.end()) return found->second;
  RunLine* numbered = Line(key);
  if (numbered == nullptr || numbered->key_ == key) return numbered;
  // The line first numbered `key` was renumbered to it; the one added with it may be among
  // the others.
  auto sharing = sharing_.find(key);
  if (sharing == sharing_.end()) return nullptr;
  for (RunLine* line : sharing->second) {
    if (line->key_ == key) return line;
  }
  return nullptr;
}

}  // namespace jr
