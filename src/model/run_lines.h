#pragma once
// The job lines of one run, in the order they were added, unique by number. Lookups by
// number and by original number are indexed, so runs of many thousand lines stay cheap;
// the observable behaviour is that of a plain list walked from the front.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/run_line.h"

namespace jr {

class RunLines {
 public:
  RunLines() = default;
  RunLines(const RunLines&) = delete;
  RunLines& operator=(const RunLines&) = delete;
  ~RunLines();

  // The highest number added since creation or the last Clear; -1 when none. Delete does
  // not lower it.
  int32_t HighestJobLineNr() const { return highest_job_line_nr_; }

  // Room for `count` lines in all, so that adding them does not grow the indexes step by step.
  void Reserve(int32_t count);

  // A new line with that number, appended; nullptr when the number is taken.
  RunLine* Add(int32_t number);

  // Removes the line with that key text ("10", the number it was added with) or at that
  // 1-based position. False when there is no such key or position.
  bool Delete(std::string_view key);
  bool Delete(int position);

  bool JobLineNrExists(int32_t number) const;
  // The line with that number, or nullptr.
  RunLine* Line(int32_t number) const;
  // The line at 1-based `index`, or nullptr outside 1..Count.
  RunLine* Item(int index) const;
  int32_t Count() const { return static_cast<int32_t>(lines_.size()); }
  void Clear();

  // The lines whose OriginalJobLineNr is `original`, in no particular order. Lines from the
  // job (original 0) are copies of nothing, so 0 gives an empty list.
  const std::vector<RunLine*>& CopiesOf(int32_t original) const;

  // Walking the collection: for (int i = 1; i <= lines.Count(); ++i) lines.Item(i)
  // reaches lines appended during the walk. The iterators below do the same.
  class Iterator {
   public:
    Iterator(const RunLines* lines, size_t index) : lines_(lines), index_(index) {}
    RunLine& operator*() const { return *lines_->lines_[index_]; }
    RunLine* operator->() const { return lines_->lines_[index_].get(); }
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    // Compares against the end at the time of comparison, not at the time end() was made.
    bool operator!=(const Iterator&) const { return index_ < lines_->lines_.size(); }

   private:
    const RunLines* lines_;
    size_t index_;
  };
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, 0); }
  Iterator NewEnum() const { return begin(); }

 private:
  friend class RunLine;
  void MoveCopy(RunLine* line, int32_t from, int32_t to);
  void Renumber(RunLine* line, int32_t from, int32_t to);
  void Unindex(RunLine* line);
  void Number(RunLine* line, int32_t number);
  void Unnumber(RunLine* line, int32_t number);
  // The line added with number `key`, or nullptr.
  RunLine* Keyed(int32_t key) const;
  void Remove(std::vector<std::unique_ptr<RunLine>>::iterator at);

  std::vector<std::unique_ptr<RunLine>> lines_;
  // Lines by their present JobLineNr. A number normally names one line; a line renumbered
  // after it was added may share it, and then the earliest added one is found first: it is
  // in by_number_, the later ones in insertion order in sharing_, which is empty otherwise.
  std::unordered_map<int32_t, RunLine*> by_number_;
  std::unordered_map<int32_t, std::vector<RunLine*>> sharing_;
  // Lines renumbered after they were added, by the number they were added with (their key
  // text); every other line's key is its number.
  std::unordered_map<int32_t, RunLine*> renumbered_;
  uint64_t next_sequence_ = 0;
  std::unordered_map<int32_t, std::vector<RunLine*>> copies_;
  int32_t highest_job_line_nr_ = -1;
};

}  // namespace jr
