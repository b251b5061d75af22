#include "ui/points_table.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "docs/csv.h"
#include "docs/safe_file.h"
#include "engine/plot_data.h"
#include "model/numtext.h"
#include "ui/ui_style.h"

namespace quorvant {

namespace {
QString Num(double v) {
  return QString::fromStdString(FormatGeneral(v));
}
}  // namespace

StationaryPointsTable::StationaryPointsTable(QWidget* parent) : QWidget(parent) {
  table_ = new QTableWidget;
  table_->setObjectName("tblPoints");
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSortingEnabled(true);
  table_->verticalHeader()->setVisible(false);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(table_, 1);
  auto* csv =
      MakeButton("cmdExportCsv", "Export CSV...", "Save the table as comma-separated values");
  auto* csvRow = new QHBoxLayout;
  csvRow->addStretch(1);
  csvRow->addWidget(csv);
  column->addLayout(csvRow);
  connect(csv, &QPushButton::clicked, this, [this] {
    const QString name =
        QFileDialog::getSaveFileName(this, "Export CSV", "stationary-points.csv", "CSV (*.csv)");
    QString reason;
    if (!name.isEmpty() && !ExportCsv(name, &reason)) emit exportFailed(reason);
  });
}

void StationaryPointsTable::Clear() {
  table_->setSortingEnabled(false);
  table_->clear();
  table_->setRowCount(0);
  table_->setColumnCount(0);
  table_->setSortingEnabled(true);
}

// Numbers sort as numbers.
void StationaryPointsTable::Fill(const Problem& problem,
                                 const std::vector<StationaryPoint>& points) {
  table_->setSortingEnabled(false);
  table_->clear();
  const int n = problem.varCount();
  QStringList headers{"Kind"};
  for (int i = 0; i < n; ++i) headers << QString::fromStdString(problem.varNames[i]);
  headers << "f"
          << "Smallest pivot"
          << "Start"
          << "Cycles";
  table_->setColumnCount(headers.size());
  table_->setHorizontalHeaderLabels(headers);
  table_->setRowCount(static_cast<int>(points.size()));
  std::unique_ptr<PlotSampler> sampler;
  if (!points.empty()) sampler = std::make_unique<PlotSampler>(PlotDataFrom(problem, {}).problem);
  auto number = [](double v) {
    auto* item = new QTableWidgetItem;
    item->setData(Qt::DisplayRole, std::isfinite(v) ? QVariant(v) : QVariant(QString("")));
    item->setText(std::isfinite(v) ? Num(v) : QString("not evaluated"));
    return item;
  };
  for (int r = 0; r < static_cast<int>(points.size()); ++r) {
    const StationaryPoint& s = points[r];
    int c = 0;
    table_->setItem(r, c++, new QTableWidgetItem(ToString(s.kind)));
    for (int i = 0; i < n; ++i) table_->setItem(r, c++, number(s.point[i]));
    table_->setItem(r, c++, number(sampler->ValueAt(s.point)));
    table_->setItem(r, c++, number(s.smallestPivot));
    QStringList start;
    for (double v : s.start) start << Num(v);
    table_->setItem(r, c++, new QTableWidgetItem("(" + start.join(", ") + ")"));
    table_->setItem(r, c++, number(s.cycles));
  }
  table_->setSortingEnabled(true);
  table_->resizeColumnsToContents();
}

bool StationaryPointsTable::ExportCsv(const QString& path, QString* reason) const {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> header;
  for (int c = 0; c < table_->columnCount(); ++c)
    header.push_back(table_->horizontalHeaderItem(c)->text().toStdString());
  rows.push_back(header);
  for (int r = 0; r < table_->rowCount(); ++r) {
    std::vector<std::string> row;
    for (int c = 0; c < table_->columnCount(); ++c)
      row.push_back(table_->item(r, c) ? table_->item(r, c)->text().toStdString() : std::string());
    rows.push_back(std::move(row));
  }
  const SaveResult saved = ReplaceFileContents(path.toStdString(), CsvText(rows));
  if (!saved.ok() && reason)
    *reason = "Cannot write \"" + path + "\": " + QString::fromStdString(saved.reason) + ".";
  return saved.ok();
}

}  // namespace quorvant
