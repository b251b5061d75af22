#include "ui/points_table.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <memory>

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
QString Text(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

StationaryPointsModel::StationaryPointsModel(QObject* parent) : QAbstractTableModel(parent) {}

void StationaryPointsModel::Fill(const Problem& problem, std::vector<StationaryPoint> points,
                                 const std::vector<std::string>& kinds) {
  beginResetModel();
  names_ = problem.varNames;
  rows_.clear();
  rows_.reserve(points.size());
  std::unique_ptr<PlotSampler> sampler;
  if (!points.empty()) sampler = std::make_unique<PlotSampler>(PlotDataFrom(problem, {}).problem);
  for (StationaryPoint& p : points) {
    Row row;
    row.f = sampler->ValueAt(p.point);
    if (rows_.size() < kinds.size()) row.kind = Text(kinds[rows_.size()]);
    row.point = std::move(p);
    rows_.push_back(std::move(row));
  }
  order_.resize(rows_.size());
  for (size_t k = 0; k < order_.size(); ++k) order_[k] = k;
  endResetModel();
}

void StationaryPointsModel::Clear() {
  beginResetModel();
  names_.clear();
  std::vector<Row>().swap(rows_);
  std::vector<size_t>().swap(order_);
  endResetModel();
}

QString StationaryPointsModel::KindOf(const Row& row) {
  return row.kind.isEmpty() ? QString(ToString(row.point.kind)) : row.kind;
}

int StationaryPointsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

// Kind, one column per variable, f, smallest pivot, start, cycles; no columns while the
// table is empty.
int StationaryPointsModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid() || names_.empty()) return 0;
  return static_cast<int>(names_.size()) + 5;
}

QString StationaryPointsModel::Header(int column) const {
  const int n = static_cast<int>(names_.size());
  if (column == 0) return "Kind";
  if (column <= n) return Text(names_[column - 1]);
  switch (column - n) {
    case 1:
      return "f";
    case 2:
      return "Smallest pivot";
    case 3:
      return "Start";
    case 4:
      return "Cycles";
  }
  return {};
}

bool StationaryPointsModel::Number(const Row& row, int column, double& value) const {
  const int n = static_cast<int>(names_.size());
  if (column >= 1 && column <= n) {
    value = row.point.point[column - 1];
    return true;
  }
  switch (column - n) {
    case 1:
      value = row.f;
      return true;
    case 2:
      value = row.point.smallestPivot;
      return true;
    case 4:
      value = row.point.cycles;
      return true;
  }
  return false;
}

QString StationaryPointsModel::Cell(int row, int column) const {
  const Row& r = RowAt(row);
  const int n = static_cast<int>(names_.size());
  if (column == 0) return KindOf(r);
  if (column == n + 3) {
    QStringList start;
    for (double v : r.point.start) start << Num(v);
    return "(" + start.join(", ") + ")";
  }
  double v;
  if (!Number(r, column, v)) return {};
  return std::isfinite(v) ? Num(v) : QString("not evaluated");
}

QVariant StationaryPointsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
  if (role == Qt::DisplayRole) return Cell(index.row(), index.column());
  if (role == kSortRole) {
    double v;
    if (Number(RowAt(index.row()), index.column(), v)) return v;
    return Cell(index.row(), index.column());
  }
  if (role == Qt::TextAlignmentRole && index.column() > 0 &&
      index.column() != static_cast<int>(names_.size()) + 3)
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  return {};
}

QVariant StationaryPointsModel::headerData(int section, Qt::Orientation orientation,
                                           int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < columnCount())
    return Header(section);
  return QAbstractTableModel::headerData(section, orientation, role);
}

void StationaryPointsModel::sort(int column, Qt::SortOrder order) {
  if (column >= columnCount()) return;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  const std::vector<size_t> oldOrder = order_;
  for (size_t k = 0; k < order_.size(); ++k) order_[k] = k;
  const int n = static_cast<int>(names_.size());
  const bool descending = order == Qt::DescendingOrder;
  auto less = [&](size_t a, size_t b) {
    const Row& ra = rows_[a];
    const Row& rb = rows_[b];
    double va, vb;
    if (Number(ra, column, va) && Number(rb, column, vb)) {
      // A value that could not be evaluated goes last either way.
      if (std::isnan(va) || std::isnan(vb)) return !std::isnan(va) && std::isnan(vb);
      return descending ? vb < va : va < vb;
    }
    if (column == n + 3) {
      const auto& sa = ra.point.start;
      const auto& sb = rb.point.start;
      return descending ? std::lexicographical_compare(sb.begin(), sb.end(), sa.begin(), sa.end())
                        : std::lexicographical_compare(sa.begin(), sa.end(), sb.begin(), sb.end());
    }
    const QString ta = KindOf(ra), tb = KindOf(rb);
    return descending ? tb < ta : ta < tb;
  };
  if (column >= 0) std::stable_sort(order_.begin(), order_.end(), less);
  std::vector<size_t> nowAt(order_.size());  // where each point is shown now
  for (size_t k = 0; k < order_.size(); ++k) nowAt[order_[k]] = k;
  QModelIndexList after;
  for (const QModelIndex& index : before)
    after << this->index(static_cast<int>(nowAt[oldOrder[static_cast<size_t>(index.row())]]),
                         index.column());
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

StationaryPointsTable::StationaryPointsTable(QWidget* parent) : QWidget(parent) {
  model_ = new StationaryPointsModel(this);
  table_ = new QTableView;
  table_->setObjectName("tblPoints");
  table_->setModel(model_);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->verticalHeader()->setVisible(false);
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  // One line of text a row; numbers are never wrapped or cut, the table scrolls instead.
  table_->setWordWrap(false);
  table_->setTextElideMode(Qt::ElideNone);
  table_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  // No column is sorted until the user picks one: the rows come in the order met.
  table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  table_->setSortingEnabled(true);
  table_->installEventFilter(this);
  table_->viewport()->installEventFilter(this);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(table_, 1);
  auto* csv =
      MakeButton("cmdExportCsv", "Export CSV...", "Save the table as comma-separated values");
  auto* csvRow = new QHBoxLayout;
  csvRow->addStretch(1);
  csvRow->addWidget(csv);
  column->addLayout(csvRow);
  connect(csv, &QPushButton::clicked, this, &StationaryPointsTable::ExportWithDialog);

  copy_ = new QAction("&Copy", this);
  copy_->setObjectName("actPointsCopy");
  copy_->setShortcut(QKeySequence::Copy);
  selectAll_ = new QAction("Select &All", this);
  selectAll_->setObjectName("actPointsSelectAll");
  selectAll_->setShortcut(QKeySequence::SelectAll);
  export_ = new QAction("&Export CSV...", this);
  export_->setObjectName("actPointsExport");
  connect(copy_, &QAction::triggered, this, &StationaryPointsTable::CopySelection);
  connect(selectAll_, &QAction::triggered, table_, &QTableView::selectAll);
  connect(export_, &QAction::triggered, this, &StationaryPointsTable::ExportWithDialog);
}

void StationaryPointsTable::ExportWithDialog() {
  const QString name =
      QFileDialog::getSaveFileName(this, "Export CSV", "stationary-points.csv", "CSV (*.csv)");
  QString reason;
  if (!name.isEmpty() && !ExportCsv(name, &reason)) emit exportFailed(reason);
}

void StationaryPointsTable::Clear() {
  model_->Clear();
}

void StationaryPointsTable::Fill(const Problem& problem, std::vector<StationaryPoint> points,
                                 const std::vector<std::string>& kinds) {
  model_->Fill(problem, std::move(points), kinds);
  const QHeaderView* header = table_->horizontalHeader();
  if (header->sortIndicatorSection() >= 0 && header->sortIndicatorSection() < model_->columnCount())
    model_->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
  FitColumns();
}

// Rows one line high and columns as wide as their widest text (the header, the 15-digit
// numbers), measured with the font the table has where it is shown: once more when it
// is first shown after a fill. The header looks at no more than a thousand rows.
void StationaryPointsTable::FitColumns() {
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->resizeColumnsToContents();
  fitted_ = table_->isVisible();
}

void StationaryPointsTable::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!fitted_) FitColumns();
}

bool StationaryPointsTable::ExportCsv(const QString& path, QString* reason) const {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> header;
  for (int c = 0; c < model_->columnCount(); ++c) header.push_back(model_->Header(c).toStdString());
  rows.push_back(header);
  for (int r = 0; r < model_->rowCount(); ++r) {
    std::vector<std::string> row;
    for (int c = 0; c < model_->columnCount(); ++c) row.push_back(model_->Cell(r, c).toStdString());
    rows.push_back(std::move(row));
  }
  const SaveResult saved = ReplaceFileContents(path.toStdString(), CsvText(rows));
  if (!saved.ok() && reason)
    *reason = "Cannot write \"" + path + "\": " + QString::fromStdString(saved.reason) + ".";
  return saved.ok();
}

QString StationaryPointsTable::SelectedText() const {
  const QItemSelection selection = table_->selectionModel()->selection();
  std::vector<int> rows, columns;
  for (const QItemSelectionRange& range : selection) {
    for (int r = range.top(); r <= range.bottom(); ++r) rows.push_back(r);
    for (int c = range.left(); c <= range.right(); ++c) columns.push_back(c);
  }
  for (auto* list : {&rows, &columns}) {
    std::sort(list->begin(), list->end());
    list->erase(std::unique(list->begin(), list->end()), list->end());
  }
  const bool whole = selection.size() == 1;  // one rectangle: every cell in it is selected
  QString text;
  for (int r : rows) {
    QStringList cells;
    for (int c : columns)
      cells << (whole || selection.contains(model_->index(r, c)) ? model_->Cell(r, c) : QString());
    text += cells.join('\t') + '\n';
  }
  return text;
}

void StationaryPointsTable::CopySelection() {
  const QString text = SelectedText();
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

// Ctrl+C copies every selected cell (the view alone would copy the current one), and the
// context menu offers Copy, Select All and the export.
bool StationaryPointsTable::eventFilter(QObject* watched, QEvent* event) {
  if (watched == table_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    CopySelection();
    return true;
  }
  if (watched == table_->viewport() && event->type() == QEvent::ContextMenu) {
    copy_->setEnabled(table_->selectionModel()->hasSelection());
    selectAll_->setEnabled(model_->rowCount() > 0);
    export_->setEnabled(model_->rowCount() > 0);
    QMenu menu(this);
    menu.addAction(copy_);
    menu.addAction(selectAll_);
    menu.addSeparator();
    menu.addAction(export_);
    menu.exec(static_cast<QContextMenuEvent*>(event)->globalPos());
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace quorvant
