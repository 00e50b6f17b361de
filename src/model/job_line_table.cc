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

const Cell& JobLineTable::At(int column, int row) const {
  if (column < 0 || column >= kColumnCount || row < 0 || row >= LineCount()) return kNoValue;
  return rows_[static_cast<size_t>(row)][static_cast<size_t>(column)];
}

bool JobLineTable::Set(int column, int row, Cell value) {
  if (column < 0 || column >= kColumnCount || row < 0) return false;
  if (row >= LineCount()) SetJobLineCount(row + 1);
  rows_[static_cast<size_t>(row)][static_cast<size_t>(column)] = std::move(value);
  return true;
}

std::string JobLineTable::Text(int column, int row) const {
  const Cell& cell = At(column, row);
  return cell ? *cell : std::string();
}

int32_t JobLineTable::LineNumberAt(int index) const {
  return JobLineNumberOf(At(kColNumber, index)).value_or(0);
}

std::vector<int> JobLineTable::SortedOrder() const {
  const size_t count = rows_.size();
  std::vector<int> order(count);
  for (size_t i = 0; i < count; ++i) order[i] = static_cast<int>(i);
  if (count < 2) return order;
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
  for (size_t i = 0; i < count; ++i) order[i] = static_cast<int>(sorted[i].second);
  return order;
}

void JobLineTable::Reorder(const std::vector<int>& order) {
  std::vector<Row> reordered(order.size());
  for (size_t i = 0; i < order.size(); ++i)
    reordered[i] = std::move(rows_[static_cast<size_t>(order[i])]);
  rows_ = std::move(reordered);
}

void JobLineTable::InsertRow(int index, const Row& line) {
  rows_.insert(rows_.begin() + std::clamp(index, 0, LineCount()), line);
}

int JobLineTable::FindJobLineRow(int32_t number) const {
  for (int row = 0; row < LineCount(); ++row) {
    if (JobLineNumberOf(rows_[static_cast<size_t>(row)][kColNumber]) == number) return row;
  }
  return 0;
}

bool JobLineTable::DeleteTableRow(int index) {
  if (index < 0 || index >= LineCount()) return false;
  rows_.erase(rows_.begin() + index);
  return true;
}

}  // namespace jr
