#include "model/job_line_table.h"

#include <algorithm>

#include "model/job_rules.h"

namespace jr {
namespace {

// The header of the cell at `at` in a packed row, read and stepped over: the cell's length
// plus one, 0 for no value.
size_t ReadHeader(const std::string& packed, size_t& at) {
  size_t value = 0;
  for (int shift = 0; at < packed.size(); shift += 7) {
    const auto digit = static_cast<unsigned char>(packed[at++]);
    value |= static_cast<size_t>(digit & 0x7F) << shift;
    if ((digit & 0x80) == 0) break;
  }
  return value;
}

}  // namespace

JobLineTable::PackedRow JobLineTable::Pack(const Row& line) {
  // Cells behind the last one with a value are left out: they read as no value, and a row
  // without any packs to the empty string that a new row is.
  size_t count = line.size();
  while (count > 0 && !line[count - 1]) --count;
  const auto header_of = [](const Cell& cell) { return cell ? cell->size() + 1 : 0; };
  size_t size = 0;
  for (size_t column = 0; column < count; ++column) {
    for (size_t header = header_of(line[column]); header >= 0x80; header >>= 7) ++size;
    size += 1 + (line[column] ? line[column]->size() : 0);
  }
  // Made at its final size: a string grown step by step keeps spare room in every row.
  PackedRow packed(size, '\0');
  size_t at = 0;
  for (size_t column = 0; column < count; ++column) {
    size_t header = header_of(line[column]);
    for (; header >= 0x80; header >>= 7) packed[at++] = static_cast<char>((header & 0x7F) | 0x80);
    packed[at++] = static_cast<char>(header);
    if (line[column]) at += line[column]->copy(packed.data() + at, line[column]->size());
  }
  return packed;
}

JobLineTable::Row JobLineTable::Unpack(const PackedRow& packed) {
  Row line;
  size_t at = 0;
  for (Cell& cell : line) {
    const size_t header = ReadHeader(packed, at);
    if (header == 0) continue;
    cell = packed.substr(at, header - 1);
    at += header - 1;
  }
  return line;
}

Cell JobLineTable::CellOf(const PackedRow& packed, int column) {
  size_t at = 0;
  for (int skipped = 0; skipped < column; ++skipped) {
    const size_t header = ReadHeader(packed, at);
    at += header > 0 ? header - 1 : 0;
  }
  const size_t header = ReadHeader(packed, at);
  if (header == 0) return std::nullopt;
  return packed.substr(at, header - 1);
}

void JobLineTable::Reserve(int count) {
  const size_t rows = static_cast<size_t>(std::max(count, 0));
  rows_.reserve(rows + rows / 4);
}

std::optional<int32_t> JobLineNumberOf(const Cell& cell) {
  if (!cell) return std::nullopt;
  const JobLineNrResult number = ParseJobLineNr(*cell);
  if (!number.ok()) return std::nullopt;
  return static_cast<int32_t>(number.value);
}

Cell JobLineTable::At(int column, int row) const {
  if (column < 0 || column >= kColumnCount || row < 0 || row >= LineCount()) return std::nullopt;
  return CellOf(rows_[static_cast<size_t>(row)], column);
}

bool JobLineTable::Set(int column, int row, Cell value) {
  if (column < 0 || column >= kColumnCount || row < 0) return false;
  if (row >= LineCount()) SetJobLineCount(row + 1);
  PackedRow& packed = rows_[static_cast<size_t>(row)];
  Row line = Unpack(packed);
  line[static_cast<size_t>(column)] = std::move(value);
  packed = Pack(line);
  return true;
}

std::string JobLineTable::Text(int column, int row) const {
  return At(column, row).value_or(std::string());
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
    const std::optional<int32_t> number = JobLineNumberOf(CellOf(rows_[i], kColNumber));
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
  std::vector<PackedRow> reordered(order.size());
  for (size_t i = 0; i < order.size(); ++i)
    reordered[i] = std::move(rows_[static_cast<size_t>(order[i])]);
  rows_ = std::move(reordered);
}

void JobLineTable::InsertRow(int index, const Row& line) {
  rows_.insert(rows_.begin() + std::clamp(index, 0, LineCount()), Pack(line));
}

int JobLineTable::FindJobLineRow(int32_t number) const {
  for (int row = 0; row < LineCount(); ++row) {
    if (JobLineNumberOf(CellOf(rows_[static_cast<size_t>(row)], kColNumber)) == number) return row;
  }
  return 0;
}

bool JobLineTable::DeleteTableRow(int index) {
  if (index < 0 || index >= LineCount()) return false;
  rows_.erase(rows_.begin() + index);
  return true;
}

}  // namespace jr
