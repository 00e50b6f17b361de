#include "ui/main_window/job_line_table_model.h"

namespace jr {
namespace {

const char* const kCaptions[JobLineTableModel::kShownColumns] = {"Job Line",
                                                                 "Description",
                                                                 "Type",
                                                                 "Options",
                                                                 "Wait for Job line(s)",
                                                                 "Stop on Error",
                                                                 "Active",
                                                                 "User defined Batch file"};

}  // namespace

JobLineTableModel::JobLineTableModel(const JobLineTable* table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {}

int JobLineTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : table_->LineCount();
}

int JobLineTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kShownColumns;
}

QVariant JobLineTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.parent().isValid() || index.row() >= rowCount() ||
      index.column() >= kShownColumns) {
    return {};
  }
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const Cell& cell = table_->At(index.column(), index.row());
  if (!cell) return {};
  QString text = QString::fromStdString(*cell);
  if (index.column() == kColStopOnError || index.column() == kColActive) {
    if (*cell == "true") text = QStringLiteral("Yes");
    if (*cell == "false") text = QStringLiteral("No");
  }
  return text;
}

QVariant JobLineTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= kShownColumns) return {};
    return QString::fromLatin1(kCaptions[section]);
  }
  if (section < 0 || section >= rowCount()) return {};
  return section + 1;
}

void JobLineTableModel::reload() {
  beginResetModel();
  endResetModel();
}

}  // namespace jr
