// The "Stationary points" tab: one row per stationary point of the last run (kind,
// coordinates, f, smallest pivot, start point, Newton cycles). Every number is shown with
// the listing's 15 significant digits and sorts as a number; the cells are made when
// they are shown, so a run that met a hundred thousand points stays light. Cells copy to
// the clipboard as tab-separated rows; the table exports to CSV.
#pragma once

#include <QAbstractTableModel>
#include <QWidget>
#include <vector>

#include "engine/run_hooks.h"
#include "model/problem.h"

class QAction;
class QTableView;

namespace quorvant {

class StationaryPointsModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  // The value a cell sorts by: a double for the numbers, the text otherwise.
  static constexpr int kSortRole = Qt::UserRole + 1;

  explicit StationaryPointsModel(QObject* parent = nullptr);
  // Holds `points`; f is evaluated with the formula and constants of `problem` (a value
  // that cannot be evaluated shows as such). A non-empty entry of `kinds` names its
  // point's kind instead of the classification's name.
  void Fill(const Problem& problem, std::vector<StationaryPoint> points,
            const std::vector<std::string>& kinds = {});
  void Clear();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // Numbers by value; a column of -1 puts the rows back in the order the run met them.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
  QString Cell(int row, int column) const;
  QString Header(int column) const;

 private:
  struct Row {
    StationaryPoint point;
    double f = 0;
    QString kind;
  };
  static QString KindOf(const Row& row);
  const Row& RowAt(int row) const { return rows_[order_[static_cast<size_t>(row)]]; }
  // The number in a numeric cell; false for the kind and the start point.
  bool Number(const Row& row, int column, double& value) const;

  std::vector<std::string> names_;
  std::vector<Row> rows_;
  std::vector<size_t> order_;  // rows_ in the order shown
};

class StationaryPointsTable : public QWidget {
  Q_OBJECT
 public:
  explicit StationaryPointsTable(QWidget* parent = nullptr);
  void Fill(const Problem& problem, std::vector<StationaryPoint> points,
            const std::vector<std::string>& kinds = {});
  void Clear();
  // Writes the table as CSV, rows as shown; false (with the reason) when the file cannot
  // be written.
  bool ExportCsv(const QString& path, QString* reason = nullptr) const;
  QTableView* table() const { return table_; }
  StationaryPointsModel* model() const { return model_; }
  // The selected cells as rows of tab-separated cells (cells in the selection's rows and
  // columns but not selected themselves are empty), each row ended by "\n".
  QString SelectedText() const;
  void CopySelection();

 signals:
  void exportFailed(const QString& message);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void ExportWithDialog();
  void FitColumns();

  StationaryPointsModel* model_;
  QTableView* table_;
  QAction* copy_;
  QAction* selectAll_;
  QAction* export_;
  bool fitted_ = true;  // the columns were fitted where the table is shown
};

}  // namespace quorvant
