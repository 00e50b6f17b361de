#include "ui/main_window/edited_job.h"

#include <QUndoCommand>
#include <optional>
#include <utility>

namespace jr {
namespace {

JobDocument HeaderOf(const JobDocument& job) {
  JobDocument header = job;
  header.table.Clear();
  header.FileName.clear();
  return header;
}

// The row at which `line` keeps the job lines sorted without moving any other line: found
// when they are sorted by distinct numbers and its number reads and is none of theirs. Else
// none: it goes in at the end and the job lines are sorted, which a large job feels.
std::optional<int> SortedRowFor(const JobLineTable& table, const JobLineTable::Row& line) {
  const std::optional<int32_t> number = JobLineNumberOf(line[kColNumber]);
  if (!number) return std::nullopt;
  int at = table.LineCount();
  std::optional<int32_t> previous;
  for (int row = 0; row < table.LineCount(); ++row) {
    const std::optional<int32_t> other = JobLineNumberOf(table.At(kColNumber, row));
    if (!other || (previous && *other <= *previous) || *other == *number) return std::nullopt;
    if (*other > *number && at == table.LineCount()) at = row;
    previous = other;
  }
  return at;
}

}  // namespace

std::vector<int> InverseOrder(const std::vector<int>& order) {
  std::vector<int> inverse(order.size());
  for (size_t i = 0; i < order.size(); ++i)
    inverse[static_cast<size_t>(order[i])] = static_cast<int>(i);
  return inverse;
}

QString JobLineName(const JobLineTable::Row& line) {
  return "Job Line " + QString::fromStdString(line[kColNumber].value_or(""));
}

// Swaps the header before and after a change; the job lines stay as they are.
class HeaderCommand : public QUndoCommand {
 public:
  HeaderCommand(EditedJob& job, JobDocument after, const QString& text, int field)
      : QUndoCommand(text),
        job_(job),
        before_(HeaderOf(job.job())),
        after_(std::move(after)),
        field_(field),
        serial_(job.edit_serial_) {}

  void redo() override { job_.applyHeader(after_); }
  void undo() override { job_.applyHeader(before_); }
  int id() const override { return field_; }
  bool mergeWith(const QUndoCommand* other) override {
    const auto* next = static_cast<const HeaderCommand*>(other);
    if (next->field_ != field_ || next->serial_ != serial_) return false;
    after_ = next->after_;
    // Typed and typed away again: nothing is left to undo.
    setObsolete(after_ == before_);
    return true;
  }

 private:
  EditedJob& job_;
  const JobDocument before_;
  JobDocument after_;
  const int field_;
  const int serial_;
};

// Inserts, changes or removes one job line, and sorts the job lines after an insert or a
// change of number; undo puts the rows back in the order they had.
class LineCommand : public QUndoCommand {
 public:
  enum class Kind { kInsert, kChange, kRemove };

  LineCommand(EditedJob& job, Kind kind, int row, const JobLineTable::Row& line)
      : job_(job),
        kind_(kind),
        in_place_(kind == Kind::kInsert ? SortedRowFor(job.table(), line) : std::nullopt),
        row_(kind == Kind::kInsert ? in_place_.value_or(job.table().LineCount()) : row),
        line_(line) {
    const char* verb = kind == Kind::kInsert   ? "Insert "
                       : kind == Kind::kChange ? "Change "
                                               : "Delete ";
    setText(verb + JobLineName(kind == Kind::kRemove ? job.table().RowAt(row) : line));
  }

  void redo() override {
    const JobLineTable& table = job_.table();
    if (kind_ == Kind::kInsert) {
      job_.putLine(row_, line_);
    } else {
      old_ = table.RowAt(row_);
      kind_ == Kind::kRemove ? job_.takeLine(row_) : job_.setLine(row_, line_);
    }
    order_.clear();
    if (kind_ == Kind::kRemove || in_place_ ||
        (kind_ == Kind::kChange && old_[kColNumber] == line_[kColNumber]))
      return;
    std::vector<int> order = table.SortedOrder();
    if (IsIdentity(order)) return;
    order_ = std::move(order);
    job_.reorder(order_);
  }

  void undo() override {
    if (!order_.empty()) job_.reorder(InverseOrder(order_));
    if (kind_ == Kind::kInsert) job_.takeLine(row_);
    if (kind_ == Kind::kChange) job_.setLine(row_, old_);
    if (kind_ == Kind::kRemove) job_.putLine(row_, old_);
  }

  // Where the line is once done.
  int landedRow() const {
    for (size_t i = 0; i < order_.size(); ++i)
      if (order_[i] == row_) return static_cast<int>(i);
    return row_;
  }

 private:
  static bool IsIdentity(const std::vector<int>& order) {
    for (size_t i = 0; i < order.size(); ++i)
      if (order[i] != static_cast<int>(i)) return false;
    return true;
  }

  EditedJob& job_;
  const Kind kind_;
  // The row an insert keeps the job lines sorted at, when there is one.
  const std::optional<int> in_place_;
  const int row_;
  const JobLineTable::Row line_;
  JobLineTable::Row old_;
  std::vector<int> order_;
};

EditedJob::EditedJob(QObject* parent) : QObject(parent) {}

void EditedJob::replace(JobDocument job) {
  emit aboutToBeReplaced();
  job_ = std::move(job);
  job_.FileName.clear();
  stack_.clear();
  emit replaced();
  emit headerChanged();
  emit linesChanged();
}

void EditedJob::setHeader(const JobDocument& header, const QString& text, int field) {
  JobDocument after = HeaderOf(header);
  if (after == HeaderOf(job_)) return;
  stack_.push(new HeaderCommand(*this, std::move(after), text, field));
}

int EditedJob::insertLine(const JobLineTable::Row& line) {
  auto* command = new LineCommand(*this, LineCommand::Kind::kInsert, 0, line);
  stack_.push(command);
  return command->landedRow();
}

int EditedJob::changeLine(int row, const JobLineTable::Row& line) {
  if (row < 0 || row >= table().LineCount() || table().RowAt(row) == line) return row;
  auto* command = new LineCommand(*this, LineCommand::Kind::kChange, row, line);
  stack_.push(command);
  return command->landedRow();
}

void EditedJob::removeLine(int row) {
  if (row < 0 || row >= table().LineCount()) return;
  stack_.push(new LineCommand(*this, LineCommand::Kind::kRemove, row, {}));
}

void EditedJob::applyHeader(const JobDocument& header) {
  JobLineTable table = std::move(job_.table);
  job_ = header;
  job_.table = std::move(table);
  emit headerChanged();
}

void EditedJob::putLine(int row, const JobLineTable::Row& line) {
  emit lineAboutToBeInserted(row);
  job_.table.InsertRow(row, line);
  emit lineInserted(row);
  emit linesChanged();
}

void EditedJob::takeLine(int row) {
  emit lineAboutToBeRemoved(row);
  job_.table.DeleteTableRow(row);
  emit lineRemoved(row);
  emit linesChanged();
}

void EditedJob::setLine(int row, const JobLineTable::Row& line) {
  job_.table.SetRow(row, line);
  emit lineChanged(row);
  emit linesChanged();
}

void EditedJob::reorder(const std::vector<int>& order) {
  emit linesAboutToBeSorted();
  job_.table.Reorder(order);
  emit linesSorted(order);
  emit linesChanged();
}

}  // namespace jr
