#pragma once
// The job's lines while they are edited: 15 cells per row, each cell either without a
// value or holding text. "No value" and "empty text" differ: the job file writes and reads
// them differently.

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace jr {

using Cell = std::optional<std::string>;

enum JobLineColumn : int {
  kColNumber = 0,
  kColDescription = 1,
  kColType = 2,
  kColOptions = 3,
  kColWait = 4,
  kColStopOnError = 5,
  kColActive = 6,
  kColBatchFile = 7,
  kColLogFile = 8,
  kColStatusFile = 9,
  kColSkipOnError = 10,
  kColSkipOnSuccess = 11,
  kColRepeatOnError = 12,
  kColRepeatOnSuccess = 13,
  // Whole seconds as typed, or no value: no limit. The grid does not show it.
  kColTimeLimit = 14,
};

class JobLineTable {
 public:
  static constexpr int kColumnCount = 15;
  using Row = std::array<Cell, kColumnCount>;

  // A fresh table: 2 allocated rows, every cell without a value, no job lines.
  JobLineTable();

  // Back to the state of a fresh table.
  void AllocateAfresh();

  int ColumnCount() const { return kColumnCount; }
  int RowCapacity() const { return static_cast<int>(rows_.size()); }
  // The number of rows, from row 0 on, that hold job lines.
  int LineCount() const { return job_line_count_; }
  // Sets the job-line count; grows the allocation when the count exceeds it.
  void SetJobLineCount(int count);

  // Cells outside the allocation read as no value; writes outside it are ignored.
  const Cell& At(int column, int row) const;
  void Set(int column, int row, Cell value);
  // The cell as text: empty text for a cell without a value.
  std::string Text(int column, int row) const;
  const Row& RowAt(int row) const { return rows_.at(static_cast<size_t>(row)); }

  // Column 0 of `index` as a whole number (0 when it holds none or the row is outside the
  // allocation).
  int32_t LineNumberAt(int index) const;

  // Orders rows 0..count-1 by the whole-number value of column 0; equal numbers keep their
  // order.
  void SortJobLineTable();

  // The first job-line row whose column 0 has the whole-number value `number`; 0 when none.
  int FindJobLineRow(int32_t number) const;

  // Grows the allocation by one row, keeping every cell. Returns the new row's index in
  // the grid's bookmark form: the decimal text with one leading blank (" 2").
  std::string AppendTableRow();
  // Makes room for `count` rows in all, so that appending up to there moves no row.
  void ReserveRows(int count) { rows_.reserve(static_cast<size_t>(std::max(count, 0))); }

  // Removes a job-line row, moving the rows behind it up. False when `index` is not a
  // job-line row.
  bool DeleteTableRow(int index);

 private:
  std::vector<Row> rows_;
  int job_line_count_ = 0;
};

// The whole number a column-0 text stands for; 0 when it holds none. Values beyond the
// 32-bit range are clamped, so they still sort behind every valid number.
int32_t JobLineNumberOf(const Cell& cell);

}  // namespace jr
