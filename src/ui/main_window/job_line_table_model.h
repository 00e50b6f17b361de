#pragma once
// The grid's view of the job-line table: read-only, columns 0 to 7, rows 0 to the
// job-line count - 1. It holds no data of its own; after any change of the table the
// window calls reload().

#include <QAbstractTableModel>

#include "model/job_line_table.h"

namespace jr {

class JobLineTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kShownColumns = 8;

  // `table` must outlive the model.
  explicit JobLineTableModel(const JobLineTable* table, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  // Drops every row shown and reads the table again.
  void reload();

 private:
  const JobLineTable* table_;
};

}  // namespace jr
