// The "Stationary points" tab: one row per stationary point of the last run (kind,
// coordinates, f, smallest pivot, start point, Newton cycles), sortable, exportable to
// CSV.
#pragma once

#include <QWidget>
#include <vector>

#include "engine/run_hooks.h"
#include "model/problem.h"

class QTableWidget;

namespace quorvant {

class StationaryPointsTable : public QWidget {
  Q_OBJECT
 public:
  explicit StationaryPointsTable(QWidget* parent = nullptr);
  // Fills the table with `points`; f is evaluated with the formula and constants of
  // `problem` (a value that cannot be evaluated shows as such).
  void Fill(const Problem& problem, const std::vector<StationaryPoint>& points);
  void Clear();
  // Writes the table as CSV; false (with the reason) when the file cannot be written.
  bool ExportCsv(const QString& path, QString* reason = nullptr) const;
  QTableWidget* table() const { return table_; }

 signals:
  void exportFailed(const QString& message);

 private:
  QTableWidget* table_;
};

}  // namespace quorvant
