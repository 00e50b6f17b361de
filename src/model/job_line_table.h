#pragma once
// The job's lines while they are edited: 17 cells per row, each cell either without a
// value or holding text. "No value" and "empty text" differ: the job file writes and reads
// them differently.
//
// A job may hold 100,000 lines, most of their cells empty or short, so a row is kept packed
// in one string rather than as 17 strings of its own; cells and rows are handed out as
// copies.

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
  // Whole seconds a repeat copy waits, and the most repeat copies of the line in a run, as
  // typed; no value when not set. The grid does not show them.
  kColRepeatDelay = 15,
  kColRepeatLimit = 16,
};

class JobLineTable {
 public:
  static constexpr int kColumnCount = 17;
  using Row = std::array<Cell, kColumnCount>;

  // Back to a table without job lines.
  void Clear() { rows_.clear(); }

  int ColumnCount() const { return kColumnCount; }
  // The number of rows, from row 0 on; each holds a job line.
  int LineCount() const { return static_cast<int>(rows_.size()); }
  // Sets the number of job lines: rows behind it go, new ones have no values. Room for a
  // quarter more is kept, untouched until used: a line inserted into a large job then moves
  // the rows behind it instead of copying the whole table to a larger place.
  void SetJobLineCount(int count) {
    const size_t rows = static_cast<size_t>(std::max(count, 0));
    // Only when the room is used up: lines appended one at a time then move a few times
    // in all, not at every line.
    if (rows > rows_.capacity()) rows_.reserve(rows + rows / 4);
    rows_.resize(rows);
  }

  // Room for `count` lines and a quarter more, as SetJobLineCount keeps, before lines are
  // appended; and the number of lines the table holds without moving them.
  void Reserve(int count);
  size_t Capacity() const { return rows_.capacity(); }
  // Puts `line` behind the job lines.
  void AppendRow(const Row& line) { rows_.push_back(Pack(line)); }

  // Cells outside the table read as no value. A write to a row behind the job lines grows
  // them to hold it; false, and nothing written, for a negative row or an unknown column.
  Cell At(int column, int row) const;
  bool Set(int column, int row, Cell value);
  // The cell as text: empty text for a cell without a value.
  std::string Text(int column, int row) const;
  Row RowAt(int row) const { return Unpack(rows_.at(static_cast<size_t>(row))); }

  // The job line number of row `index` (see JobLineNumberOf); 0 when its cell holds none
  // or the row is outside the table.
  int32_t LineNumberAt(int index) const;

  // Orders the rows by their job line numbers; a row whose number does not read
  // goes behind every row whose number does, and such rows keep their order.
  void SortJobLineTable() { Reorder(SortedOrder()); }
  // The order SortJobLineTable gives: entry i is the row that becomes row i.
  std::vector<int> SortedOrder() const;
  // Row i becomes what row order[i] was; `order` must hold each row once.
  void Reorder(const std::vector<int>& order);

  // Puts `line` in as row `index` (0 to LineCount()), moving the rows from there down.
  void InsertRow(int index, const Row& line);
  // Replaces row `index`, which must be a job-line row.
  void SetRow(int index, const Row& line) { rows_.at(static_cast<size_t>(index)) = Pack(line); }

  // The first job-line row with the job line number `number`; 0 when none.
  int FindJobLineRow(int32_t number) const;

  // Removes a job-line row, moving the rows behind it up. False when `index` is not a
  // job-line row.
  bool DeleteTableRow(int index);

  friend bool operator==(const JobLineTable&, const JobLineTable&) = default;

 private:
  // Per cell, in column order: its length plus one as a base-128 number, low digits
  // first (0: no value), then its text. Equal rows pack to equal strings.
  using PackedRow = std::string;
  static PackedRow Pack(const Row& line);
  static Row Unpack(const PackedRow& packed);
  static Cell CellOf(const PackedRow& packed, int column);

  std::vector<PackedRow> rows_;
};

// The job line number a column-0 cell holds, read as the editor lets it be typed (see
// ParseJobLineNr); none for anything else, which only a hand-edited file holds. Sorting,
// finding rows, the editor's checks and runs all read numbers this one way.
std::optional<int32_t> JobLineNumberOf(const Cell& cell);

}  // namespace jr
