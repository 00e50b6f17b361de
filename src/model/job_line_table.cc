#include "model/job_line_table.h"

#include <algorithm>

#include "model/job_rules.h"

namespace jr {
namespace {

const Cell kNoValue;

}  // namespace

std::optional<int32_t> JobLineNumberOf(const Cell& cell) {
  if (!cell) return std::nullopt;
  const JobLineNrResult number = ParseJobLineNr(*cell);
  if (!number.ok()) return std::nullopt;
  return static_cast<int32_t>(number.value);
}

JobLineTable::JobLineTable() { AllocateAfresh(); }

void JobLineTable::AllocateAfresh() {
  rows_.assign(2, Row{});
  job_line_count_ = 0;
}

void JobLineTable::SetJobLineCount(int count) {
  count = std::max(count, 0);
  if (static_cast<size_t>(count) > rows_.size()) rows_.resize(static_cast<size_t>(count));
  job_line_count_ = count;
}

const Cell& JobLineTable::At(int column, int row) const {
  if (column < 0 || column >= kColumnCount || row < 0 || row >= RowCapacity()) return kNoValue;
  return rows_[static_cast<size_t>(row)][static_cast<size_t>(column)];
}

void JobLineTable::Set(int column, int row, Cell value) {
  if (column < 0 || column >= kColumnCount || row < 0 || row >= RowCapacity()) return;
  rows_[static_cast<size_t>(row)][static_cast<size_t>(column)] = std::move(value);
}

std::string JobLineTable::Text(int column, int row) const {
  const Cell& cell = At(column, row);
  return cell ? *cell : std::string();
}

int32_t JobLineTable::LineNumberAt(int index) const {
  return JobLineNumberOf(At(kColNumber, index)).value_or(0);
}

void JobLineTable::SortJobLineTable() {
  if (job_line_count_ < 2) return;
  const size_t count = static_cast<size_t>(job_line_count_);
  // A number that does not read gets a key behind every valid number, one of its own so
  // that such rows neither count as equal numbers nor change their order.
  std::vector<std::pair<int64_t, size_t>> keys(count);
  for (size_t i = 0; i < count; ++i) {
    const std::optional<int32_t> number = JobLineNumberOf(rows_[i][kColNumber]);
    keys[i] = {number ? *number : int64_t{kHighestJobLineNr} + 1 + static_cast<int64_t>(i), i};
  }

  std::vector<std::pair<int64_t, size_t>> sorted = keys;
  std::sort(sorted.begin(), sorted.end());
  const bool distinct =
      std::adjacent_find(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return a.first == b.first;
      }) == sorted.end();
  if (!distinct) {
    // Rows with equal numbers (only a hand-edited file holds them) end up in the order the
    // editor has always produced: an exchange of row i with every later row j that holds a
    // smaller number. That order is not the stable one, so it is reproduced step by step.
    sorted = keys;
    for (size_t i = 0; i < count; ++i) {
      for (size_t j = i + 1; j < count; ++j) {
        if (sorted[i].first > sorted[j].first) std::swap(sorted[i], sorted[j]);
      }
    }
  }
  std::vector<Row> reordered(count);
  for (size_t i = 0; i < count; ++i) reordered[i] = std::move(rows_[sorted[i].second]);
  std::move(reordered.begin(), reordered.end(), rows_.begin());
}

int JobLineTable::FindJobLineRow(int32_t number) const {
  for (int row = 0; row < job_line_count_; ++row) {
    if (JobLineNumberOf(rows_[static_cast<size_t>(row)][kColNumber]) == number) return row;
  }
  return 0;
}

std::string JobLineTable::AppendTableRow() {
  const int index = RowCapacity();
  rows_.emplace_back();
  std::string bookmark(1, ' ');
  bookmark += std::to_string(index);
  return bookmark;
}

bool JobLineTable::DeleteTableRow(int index) {
  if (index < 0 || index >= job_line_count_) return false;
  size_t capacity = rows_.size();
  if (capacity > 2) --capacity;
  const int old_count = job_line_count_;
  --job_line_count_;
  if (old_count > 1) {
    for (int k = index; k <= old_count - 2; ++k) {
      rows_[static_cast<size_t>(k)] = rows_[static_cast<size_t>(k) + 1];
    }
  } else {
    rows_[0] = rows_[1];
  }
  rows_.resize(capacity);
  return true;
}

}  // namespace jr
