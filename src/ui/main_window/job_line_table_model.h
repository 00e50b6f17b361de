#pragma once
// The grid's view of the job lines: read-only, columns 0 to 7, rows 0 to the job-line count
// - 1. It holds no data of its own and follows the edited job row by row.

#include <QAbstractTableModel>

#include "ui/main_window/edited_job.h"

namespace jr {

class JobLineTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kShownColumns = 8;

  // `job` must outlive the model.
  explicit JobLineTableModel(const EditedJob* job, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  void moveRowsAsSorted(const std::vector<int>& order);

  const EditedJob* job_;
};

}  // namespace jr
