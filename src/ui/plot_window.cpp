#include "ui/plot_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QToolBar>
#include <QVBoxLayout>
#include <cmath>

#include "model/numtext.h"
#include "ui/ui_style.h"

namespace quorvant {

namespace {
QString Coordinates(const std::vector<double>& p) {
  QStringList parts;
  for (double v : p) parts << QString::fromStdString(FormatGeneral(v));
  return "(" + parts.join(", ") + ")";
}
}  // namespace

PlotWindow::PlotWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName("PlotWindow");
  setWindowTitle("Quorvant - Plot");
  auto* central = new QWidget;
  auto* column = new QVBoxLayout(central);
  auto* controls = new QHBoxLayout;
  xAxis_ = new QComboBox;
  xAxis_->setObjectName("plotXAxis");
  yAxis_ = new QComboBox;
  yAxis_->setObjectName("plotYAxis");
  through_ = new QComboBox;
  through_->setObjectName("plotThrough");
  showOthers_ = new QCheckBox("Show saddles and other stationary points");
  showOthers_->setObjectName("plotShowOthers");
  showOthers_->setChecked(true);
  controls->addWidget(new QLabel("Horizontal:"));
  controls->addWidget(xAxis_);
  yLabel_ = new QLabel("Vertical:");
  controls->addWidget(yLabel_);
  controls->addWidget(yAxis_);
  controls->addWidget(new QLabel("Through:"));
  controls->addWidget(through_, 1);
  column->addLayout(controls);
  auto* row2 = new QHBoxLayout;
  row2->addWidget(showOthers_);
  row2->addStretch(1);
  resetView_ = new QPushButton("Reset view");
  resetView_->setObjectName("plotResetView");
  resetView_->setToolTip("Show the whole search box again after zooming or panning");
  auto* png = new QPushButton("Export PNG...");
  auto* pdf = new QPushButton("Export PDF...");
  row2->addWidget(resetView_);
  row2->addWidget(png);
  row2->addWidget(pdf);
  column->addLayout(row2);
  view_ = new PlotView;
  column->addWidget(view_, 1);
  setCentralWidget(central);
  resize(820, 680);

  auto changed = [this] { Request(); };
  connect(xAxis_, &QComboBox::currentIndexChanged, this, [this] {
    KeepAxesDistinct(xAxis_);
    Request();
  });
  connect(yAxis_, &QComboBox::currentIndexChanged, this, [this] {
    KeepAxesDistinct(yAxis_);
    Request();
  });
  connect(resetView_, &QPushButton::clicked, view_, &PlotView::ResetView);
  connect(through_, &QComboBox::currentIndexChanged, this, changed);
  connect(showOthers_, &QCheckBox::toggled, this, changed);
  // An export that fails says so, with the file's name and why.
  auto exportFailed = [this](const QString& name) {
    QMessageBox::warning(this, "Quorvant",
                         "The plot could not be written to \"" + name + "\": " +
                             QString::fromStdString(WriteFailureReason(name.toStdString())) + ".");
  };
  connect(png, &QPushButton::clicked, this, [this, exportFailed] {
    const QString name =
        QFileDialog::getSaveFileName(this, "Export PNG", "plot.png", "PNG (*.png)");
    if (!name.isEmpty() && !view_->ExportPng(name)) exportFailed(name);
  });
  connect(pdf, &QPushButton::clicked, this, [this, exportFailed] {
    const QString name =
        QFileDialog::getSaveFileName(this, "Export PDF", "plot.pdf", "PDF (*.pdf)");
    if (!name.isEmpty() && !view_->ExportPdf(name)) exportFailed(name);
  });
}

PlotWindow::~PlotWindow() {
  if (cancel_) *cancel_ = true;
  for (QThread* t : threads_) {
    t->wait();
    delete t;
  }
}

void PlotWindow::SetData(PlotData data) {
  data_ = std::move(data);
  UpdateChoices();
  Request();
}

void PlotWindow::UpdateChoices() {
  const QSignalBlocker bx(xAxis_), by(yAxis_), bt(through_);
  const int n = static_cast<int>(data_.problem.varNames.size());
  const int oldX = xAxis_->currentIndex(), oldY = yAxis_->currentIndex();
  xAxis_->clear();
  yAxis_->clear();
  through_->clear();
  for (const std::string& name : data_.problem.varNames) {
    xAxis_->addItem(QString::fromStdString(name));
    yAxis_->addItem(QString::fromStdString(name));
  }
  xAxis_->setCurrentIndex(oldX >= 0 && oldX < n ? oldX : 0);
  yAxis_->setCurrentIndex(
      oldY >= 0 && oldY < n && oldY != xAxis_->currentIndex() ? oldY : std::min(1, n - 1));
  through_->addItem("centre of the box");
  int k = 1;
  for (const auto& p : data_.maxima)
    through_->addItem(QString("maximum %1 %2").arg(k++).arg(Coordinates(p)));
  k = 1;
  for (const auto& p : data_.minima)
    through_->addItem(QString("minimum %1 %2").arg(k++).arg(Coordinates(p)));
  // With one variable there is no vertical variable to choose: the curve shows f.
  yAxis_->setVisible(n >= 2);
  yLabel_->setVisible(n >= 2);
  through_->setEnabled(n >= 3);
}

void PlotWindow::KeepAxesDistinct(QComboBox* changed) {
  const int n = xAxis_->count();
  if (n < 2 || xAxis_->currentIndex() != yAxis_->currentIndex()) return;
  QComboBox* other = changed == xAxis_ ? yAxis_ : xAxis_;
  const QSignalBlocker block(other);
  other->setCurrentIndex((changed->currentIndex() + 1) % n);
}

// The plotted variables (never the same twice) and the problem with the variables off
// the plotted axes fixed at the chosen slice point.
PlotAxes PlotWindow::Chosen(PlotProblem& problem) const {
  const int n = static_cast<int>(data_.problem.varNames.size());
  const PlotAxes axes = ChooseAxes(n, xAxis_->currentIndex(), yAxis_->currentIndex());
  problem = data_.problem;
  problem.fixed = SlicePoint(data_, through_->currentIndex());
  return axes;
}

void PlotWindow::Request() {
  if (data_.problem.varNames.empty()) return;
  if (cancel_) *cancel_ = true;
  const int generation = ++generation_;
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  cancel_ = cancel;
  PlotProblem problem;
  const PlotAxes axes = Chosen(problem);
  const QString unplottable = UnplottableBox(data_, axes);
  if (!unplottable.isEmpty()) {
    view_->ShowMessage(unplottable);
    emit rendered();
    return;
  }
  // Each request samples with its own interpreter on its own thread and gets its own
  // copy of everything it reads; only the newest request's picture is shown.
  QThread* thread = QThread::create([this, data = data_, problem, axes, cancel, generation] {
    PlotSampler sampler(problem);
    PlotGrid grid = SamplePlot(data, sampler, axes, cancel.get());
    if (*cancel) return;
    PlotMarkers markers = MarkPlot(data, sampler, axes, problem.fixed);
    QMetaObject::invokeMethod(
        this,
        [this, generation, grid, markers, slice = problem.fixed] {
          Finish(generation, grid, markers, slice);
        },
        Qt::QueuedConnection);
  });
  connect(thread, &QThread::finished, this, [this, thread] {
    threads_.erase(std::remove(threads_.begin(), threads_.end(), thread), threads_.end());
    thread->deleteLater();
  });
  threads_.push_back(thread);
  thread->start();
}

void PlotWindow::Finish(int generation, PlotGrid grid, PlotMarkers markers,
                        std::vector<double> slice) {
  if (generation != generation_) return;
  lastGrid_ = grid;
  lastMarkers_ = markers;
  const auto& names = data_.problem.varNames;
  const PlotAxes axes{grid.xAxis, grid.yAxis};
  const QString problem = PlotProblemMessage(data_, axes, grid);
  if (!problem.isEmpty()) {
    view_->ShowMessage(problem);
    emit rendered();
    return;
  }
  const QString xName = QString::fromStdString(names[grid.xAxis]);
  const QString yName = grid.yAxis >= 0 ? QString::fromStdString(names[grid.yAxis]) : QString("f");
  view_->Show(grid, markers, xName, yName, showOthers_->isChecked(),
              SliceCaption(names, axes, slice), PlotTitle(data_));
  emit rendered();
}

void PlotWindow::RenderNow() {
  if (data_.problem.varNames.empty()) return;
  PlotProblem problem;
  const PlotAxes axes = Chosen(problem);
  ++generation_;
  const QString unplottable = UnplottableBox(data_, axes);
  if (!unplottable.isEmpty()) {
    view_->ShowMessage(unplottable);
    emit rendered();
    return;
  }
  PlotSampler sampler(problem);
  Finish(generation_, SamplePlot(data_, sampler, axes, nullptr),
         MarkPlot(data_, sampler, axes, problem.fixed), problem.fixed);
}

}  // namespace quorvant
