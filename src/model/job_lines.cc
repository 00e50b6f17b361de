#include "model/job_lines.h"

#include <algorithm>
#include <charconv>

namespace jr {
namespace {

const std::vector<clsJobLine*> kNoCopies;

void EraseFrom(std::vector<clsJobLine*>& list, clsJobLine* line) {
  list.erase(std::remove(list.begin(), list.end(), line), list.end());
}

// Keeps `list` in insertion order, so that its front is what a walk from the start finds.
void InsertInOrder(std::vector<clsJobLine*>& list, clsJobLine* line, uint64_t sequence,
                   uint64_t (*sequence_of)(const clsJobLine*)) {
  auto at = std::find_if(list.begin(), list.end(),
                         [&](const clsJobLine* held) { return sequence_of(held) > sequence; });
  list.insert(at, line);
}

}  // namespace

clsJobLines::~clsJobLines() {
  for (auto& line : lines_) line->owner_ = nullptr;
}

clsJobLine* clsJobLines::Add(int32_t iJobLineNr) {
  // A line renumbered after it was added keeps its key, which no second line may take.
  if (JobLineNrExists(iJobLineNr) || by_key_.count(iJobLineNr) != 0) return nullptr;
  auto line = std::make_unique<clsJobLine>(services_);
  line->setJobLineNr(iJobLineNr);
  line->owner_ = this;
  line->sequence_ = next_sequence_++;
  line->key_ = iJobLineNr;
  clsJobLine* added = line.get();
  lines_.push_back(std::move(line));
  by_number_[iJobLineNr].push_back(added);
  by_key_.emplace(iJobLineNr, added);
  if (iJobLineNr > highest_job_line_nr_) highest_job_line_nr_ = iJobLineNr;
  return added;
}

void clsJobLines::Unindex(clsJobLine* line) {
  auto numbered = by_number_.find(line->JobLineNr());
  if (numbered != by_number_.end()) {
    EraseFrom(numbered->second, line);
    if (numbered->second.empty()) by_number_.erase(numbered);
  }
  by_key_.erase(line->key_);
  if (line->OriginalJobLineNr() != 0) {
    auto found = copies_.find(line->OriginalJobLineNr());
    if (found != copies_.end()) EraseFrom(found->second, line);
  }
}

void clsJobLines::Remove(std::vector<std::unique_ptr<clsJobLine>>::iterator at) {
  Unindex(at->get());
  (*at)->owner_ = nullptr;
  lines_.erase(at);
}

bool clsJobLines::Delete(std::string_view key) {
  int32_t number = 0;
  auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), number);
  if (error != std::errc() || end != key.data() + key.size()) return false;
  // The key is the decimal text of the number, so "010" names no line.
  if (std::to_string(number) != key) return false;
  auto found = by_key_.find(number);
  if (found == by_key_.end()) return false;
  clsJobLine* line = found->second;
  Remove(std::find_if(lines_.begin(), lines_.end(),
                      [line](const auto& held) { return held.get() == line; }));
  return true;
}

bool clsJobLines::Delete(int position) {
  if (position < 1 || position > Count()) return false;
  Remove(lines_.begin() + (position - 1));
  return true;
}

bool clsJobLines::JobLineNrExists(int32_t iJobLineNr) const {
  return by_number_.count(iJobLineNr) != 0;
}

clsJobLine* clsJobLines::Line(int32_t iJobLineNr) const {
  auto found = by_number_.find(iJobLineNr);
  return found == by_number_.end() ? nullptr : found->second.front();
}

clsJobLine* clsJobLines::Item(int index) const {
  if (index < 1 || index > Count()) return nullptr;
  return lines_[static_cast<size_t>(index - 1)].get();
}

void clsJobLines::Clear() {
  for (auto& line : lines_) line->owner_ = nullptr;
  lines_.clear();
  by_number_.clear();
  by_key_.clear();
  copies_.clear();
  highest_job_line_nr_ = -1;
}

const std::vector<clsJobLine*>& clsJobLines::CopiesOf(int32_t original) const {
  if (original == 0) return kNoCopies;
  auto found = copies_.find(original);
  return found == copies_.end() ? kNoCopies : found->second;
}

void clsJobLines::MoveCopy(clsJobLine* line, int32_t from, int32_t to) {
  if (from != 0) {
    auto found = copies_.find(from);
    if (found != copies_.end()) EraseFrom(found->second, line);
  }
  if (to != 0) copies_[to].push_back(line);
}

void clsJobLines::Renumber(clsJobLine* line, int32_t from, int32_t to) {
  auto numbered = by_number_.find(from);
  if (numbered != by_number_.end()) {
    EraseFrom(numbered->second, line);
    if (numbered->second.empty()) by_number_.erase(numbered);
  }
  InsertInOrder(by_number_[to], line, line->sequence_,
                [](const clsJobLine* held) { return held->sequence_; });
}

}  // namespace jr
