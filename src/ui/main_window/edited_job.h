#pragma once
// The job the window edits: its header and job lines, and the one way to change them. Every
// change is a command on the undo stack, so it can be undone and redone; the stack's clean
// state is whether the job differs from what was opened or saved. The views follow the
// signals, which say row by row what changed.

#include <QObject>
#include <QString>
#include <QUndoStack>
#include <vector>

#include "model/job.h"

namespace jr {

class EditedJob : public QObject {
  Q_OBJECT

 public:
  explicit EditedJob(QObject* parent = nullptr);
  // The stack's last signals would reach views already gone.
  ~EditedJob() override { stack_.blockSignals(true); }

  // The header and the job lines; FileName is not kept here.
  const JobDocument& job() const { return job_; }
  const JobLineTable& table() const { return job_.table; }
  QUndoStack& undoStack() { return stack_; }
  // The job differs from the one opened, started or saved last.
  bool isModified() const { return !stack_.isClean(); }
  void markSaved() { stack_.setClean(); }

  // A job opened or started anew: nothing to undo, nothing unsaved.
  void replace(JobDocument job);

  // The header fields of `header` (its job lines are not looked at) as one command named
  // `text`. Commands with the same `field` (>= 0) follow each other as one, as typing into
  // one field does, until closeEdit().
  void setHeader(const JobDocument& header, const QString& text, int field = -1);
  // Ends the merging of one field's changes: the next change is a command of its own.
  void closeEdit() { ++edit_serial_; }

  // Adds `line` and sorts the job lines; returns the row it ended on.
  int insertLine(const JobLineTable::Row& line);
  // Replaces row `row`; the job lines are sorted again when its number changed. Returns the
  // row the line ended on.
  int changeLine(int row, const JobLineTable::Row& line);
  void removeLine(int row);

 signals:
  void headerChanged();
  void lineAboutToBeInserted(int row);
  void lineInserted(int row);
  void lineChanged(int row);
  void lineAboutToBeRemoved(int row);
  void lineRemoved(int row);
  void linesAboutToBeSorted();
  // Row i is what row order[i] was.
  void linesSorted(const std::vector<int>& order);
  void aboutToBeReplaced();
  void replaced();
  // After any change of the job lines, each of those above.
  void linesChanged();

 private:
  friend class LineCommand;
  friend class HeaderCommand;

  void applyHeader(const JobDocument& header);
  void putLine(int row, const JobLineTable::Row& line);
  void takeLine(int row);
  void setLine(int row, const JobLineTable::Row& line);
  void reorder(const std::vector<int>& order);

  JobDocument job_;
  QUndoStack stack_;
  int edit_serial_ = 0;
};

// Where each row of an order went: entry r is the new row of what was row r.
std::vector<int> InverseOrder(const std::vector<int>& order);

// The name of a job line in a command's text: "Job Line 40".
QString JobLineName(const JobLineTable::Row& line);

}  // namespace jr
