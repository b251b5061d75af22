#include "ui/plot_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolBar>
#include <QVBoxLayout>
#include <cmath>

#include "model/numtext.h"

namespace quorvant {

namespace {
constexpr int kCurvePoints = 801;
constexpr int kGridPoints = 121;

QString Coordinates(const std::vector<double>& p) {
  QStringList parts;
  for (double v : p) parts << QString::fromStdString(FormatGeneral(v));
  return "(" + parts.join(", ") + ")";
}
}  // namespace

PlotData PlotDataFrom(const Dimension& dim, const std::string& formula,
                      const std::vector<std::string>& constants, const std::vector<double>& lower,
                      const std::vector<double>& upper, const std::vector<StationaryPoint>& met) {
  PlotData data;
  data.problem.varNames = dim.varNames;
  data.problem.formula = formula;
  data.problem.constants = constants;
  data.lower = lower;
  data.upper = upper;
  const int n = dim.varCount;
  auto column = [n](const Matrix& store, int k) {
    std::vector<double> p;
    for (int i = 0; i < n; ++i) p.push_back(store(i, k));
    return p;
  };
  for (int k = 1; k <= dim.maxCount; ++k) data.maxima.push_back(column(dim.maxima, k));
  for (int k = 1; k <= dim.minCount; ++k) data.minima.push_back(column(dim.minima, k));
  // The other stationary points, each once (within the error bound).
  for (const StationaryPoint& s : met) {
    if (s.kind == StationaryPoint::Kind::Minimum || s.kind == StationaryPoint::Kind::Maximum) continue;
    bool seen = false;
    for (const auto& o : data.others) {
      bool same = true;
      for (int i = 0; i < n; ++i) same = same && std::fabs(o[i] - s.point[i]) <= dim.errorBound;
      seen = seen || same;
    }
    if (!seen) data.others.push_back(s.point);
  }
  return data;
}

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
  controls->addWidget(new QLabel("Vertical:"));
  controls->addWidget(yAxis_);
  controls->addWidget(new QLabel("Through:"));
  controls->addWidget(through_, 1);
  column->addLayout(controls);
  auto* row2 = new QHBoxLayout;
  row2->addWidget(showOthers_);
  row2->addStretch(1);
  auto* png = new QPushButton("Export PNG...");
  auto* pdf = new QPushButton("Export PDF...");
  row2->addWidget(png);
  row2->addWidget(pdf);
  column->addLayout(row2);
  view_ = new PlotView;
  column->addWidget(view_, 1);
  setCentralWidget(central);
  resize(820, 680);

  auto changed = [this] { Request(); };
  connect(xAxis_, &QComboBox::currentIndexChanged, this, changed);
  connect(yAxis_, &QComboBox::currentIndexChanged, this, changed);
  connect(through_, &QComboBox::currentIndexChanged, this, changed);
  connect(showOthers_, &QCheckBox::toggled, this, changed);
  connect(png, &QPushButton::clicked, this, [this] {
    const QString name = QFileDialog::getSaveFileName(this, "Export PNG", "plot.png", "PNG (*.png)");
    if (!name.isEmpty()) view_->ExportPng(name);
  });
  connect(pdf, &QPushButton::clicked, this, [this] {
    const QString name = QFileDialog::getSaveFileName(this, "Export PDF", "plot.pdf", "PDF (*.pdf)");
    if (!name.isEmpty()) view_->ExportPdf(name);
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
  yAxis_->setCurrentIndex(oldY >= 0 && oldY < n && oldY != xAxis_->currentIndex() ? oldY : std::min(1, n - 1));
  through_->addItem("centre of the box");
  int k = 1;
  for (const auto& p : data_.maxima) through_->addItem(QString("maximum %1 %2").arg(k++).arg(Coordinates(p)));
  k = 1;
  for (const auto& p : data_.minima) through_->addItem(QString("minimum %1 %2").arg(k++).arg(Coordinates(p)));
  yAxis_->setEnabled(n >= 2);
  through_->setEnabled(n >= 3);
}

// The point the plotted plane goes through: the chosen stored extremum, or the centre
// of the box; the variables off the plotted axes keep its coordinates.
std::vector<double> PlotWindow::SliceThrough() const {
  const int choice = through_->currentIndex();
  const int maxima = static_cast<int>(data_.maxima.size());
  if (choice >= 1 && choice <= maxima) return data_.maxima[choice - 1];
  if (choice > maxima && choice - maxima - 1 < static_cast<int>(data_.minima.size()))
    return data_.minima[choice - maxima - 1];
  std::vector<double> centre;
  for (size_t i = 0; i < data_.lower.size(); ++i) centre.push_back((data_.lower[i] + data_.upper[i]) / 2);
  return centre;
}

PlotGrid PlotWindow::Sample(const PlotData& data_, PlotSampler& sampler, int xAxis, int yAxis,
                            const std::atomic<bool>* cancel) {
  PlotGrid grid;
  auto range = [&](int axis, double& lo, double& hi) {
    lo = data_.lower[axis];
    hi = data_.upper[axis];
    if (!(hi > lo)) hi = lo + 1;  // a box of no width still gets a picture
  };
  double x0, x1, y0, y1;
  range(xAxis, x0, x1);
  if (yAxis < 0) {
    sampler.SampleCurve(xAxis, x0, x1, kCurvePoints, grid, cancel);
  } else {
    range(yAxis, y0, y1);
    sampler.SampleGrid(xAxis, x0, x1, kGridPoints, yAxis, y0, y1, kGridPoints, grid, cancel);
  }
  return grid;
}

PlotMarkers PlotWindow::Markers(const PlotData& data_, PlotSampler& sampler, int xAxis, int yAxis) {
  PlotMarkers markers;
  auto place = [&](const std::vector<std::vector<double>>& points, std::vector<PlotMarker>& out,
                   const QString& kind) {
    for (const auto& p : points) {
      PlotMarker m;
      m.x = p[xAxis];
      m.y = yAxis < 0 ? sampler.ValueAt(p) : p[yAxis];
      m.label = kind;
      out.push_back(m);
    }
  };
  place(data_.maxima, markers.maxima, "max");
  place(data_.minima, markers.minima, "min");
  place(data_.others, markers.others, "");
  return markers;
}

// The plotted variables (the vertical one -1 for a curve; never the same as the
// horizontal one) and the problem with the other variables fixed at the slice point.
void PlotWindow::Chosen(int& xAxis, int& yAxis, PlotProblem& problem) const {
  const int n = static_cast<int>(data_.problem.varNames.size());
  xAxis = std::max(0, xAxis_->currentIndex());
  yAxis = n >= 2 ? std::max(0, yAxis_->currentIndex()) : -1;
  if (yAxis == xAxis) yAxis = n >= 2 ? (xAxis + 1) % n : -1;
  problem = data_.problem;
  problem.fixed = SliceThrough();
}

void PlotWindow::Request() {
  if (data_.problem.varNames.empty()) return;
  if (cancel_) *cancel_ = true;
  const int generation = ++generation_;
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  cancel_ = cancel;
  int xAxis, yAxis;
  PlotProblem problem;
  Chosen(xAxis, yAxis, problem);
  // Each request samples with its own interpreter on its own thread and gets its own
  // copy of everything it reads; only the newest request's picture is shown.
  QThread* thread = QThread::create([this, data = data_, problem, xAxis, yAxis, cancel, generation] {
    PlotSampler sampler(problem);
    PlotGrid grid = Sample(data, sampler, xAxis, yAxis, cancel.get());
    if (*cancel) return;
    PlotMarkers markers = Markers(data, sampler, xAxis, yAxis);
    QMetaObject::invokeMethod(this, [this, generation, grid, markers] { Finish(generation, grid, markers); },
                              Qt::QueuedConnection);
  });
  connect(thread, &QThread::finished, this, [this, thread] {
    threads_.erase(std::remove(threads_.begin(), threads_.end(), thread), threads_.end());
    thread->deleteLater();
  });
  threads_.push_back(thread);
  thread->start();
}

void PlotWindow::Finish(int generation, PlotGrid grid, PlotMarkers markers) {
  if (generation != generation_) return;
  lastGrid_ = grid;
  lastMarkers_ = markers;
  const auto& names = data_.problem.varNames;
  const QString xName = QString::fromStdString(names[grid.xAxis]);
  const QString yName = grid.yAxis >= 0 ? QString::fromStdString(names[grid.yAxis]) : QString("f");
  view_->Show(grid, markers, xName, yName, showOthers_->isChecked());
  emit rendered();
}

void PlotWindow::RenderNow() {
  if (data_.problem.varNames.empty()) return;
  int xAxis, yAxis;
  PlotProblem problem;
  Chosen(xAxis, yAxis, problem);
  PlotSampler sampler(problem);
  ++generation_;
  Finish(generation_, Sample(data_, sampler, xAxis, yAxis, nullptr),
         Markers(data_, sampler, xAxis, yAxis));
}

}  // namespace quorvant
