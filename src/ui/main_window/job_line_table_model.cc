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

JobLineTableModel::JobLineTableModel(const EditedJob* job, QObject* parent)
    : QAbstractTableModel(parent), job_(job) {
  connect(job, &EditedJob::aboutToBeReplaced, this, &JobLineTableModel::beginResetModel);
  connect(job, &EditedJob::replaced, this, &JobLineTableModel::endResetModel);
  connect(job, &EditedJob::lineAboutToBeInserted, this,
          [this](int row) { beginInsertRows({}, row, row); });
  connect(job, &EditedJob::lineInserted, this, &JobLineTableModel::endInsertRows);
  connect(job, &EditedJob::lineAboutToBeRemoved, this,
          [this](int row) { beginRemoveRows({}, row, row); });
  connect(job, &EditedJob::lineRemoved, this, &JobLineTableModel::endRemoveRows);
  connect(job, &EditedJob::lineChanged, this,
          [this](int row) { emit dataChanged(index(row, 0), index(row, kShownColumns - 1)); });
  connect(job, &EditedJob::linesAboutToBeSorted, this,
          [this] { emit layoutAboutToBeChanged({}, VerticalSortHint); });
  connect(job, &EditedJob::linesSorted, this, &JobLineTableModel::moveRowsAsSorted);
}

void JobLineTableModel::moveRowsAsSorted(const std::vector<int>& order) {
  // The current row and the selection move with their lines.
  const std::vector<int> new_row = InverseOrder(order);
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  for (const QModelIndex& index : before)
    after << this->index(new_row[static_cast<size_t>(index.row())], index.column());
  changePersistentIndexList(before, after);
  emit layoutChanged({}, VerticalSortHint);
}

int JobLineTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : job_->table().LineCount();
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
  const Cell cell = job_->table().At(index.column(), index.row());
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

}  // namespace jr
