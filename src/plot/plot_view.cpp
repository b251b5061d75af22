#include "plot/plot_view.h"

#include <qcustomplot.h>

#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "model/numtext.h"

namespace quorvant {

PlotView::PlotView(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  plot_ = new QCustomPlot;
  plot_->setObjectName("plot");
  plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  plot_->setMinimumSize(400, 300);  // within a 1366 x 768 screen at 150 %
  Reset();
  hover_ = new QLabel(" ");
  hover_->setObjectName("plotHover");
  layout->addWidget(plot_, 1);
  layout->addWidget(hover_);
  connect(plot_, &QCustomPlot::mouseMove, this, &PlotView::OnMouseMove);
}

std::vector<PlotMarker> PlotView::drawn(const QString& kind) const {
  for (const auto& [name, points] : drawn_)
    if (name == kind) return points;
  return {};
}

QCPColorGradient PlotView::Gradient() {
  // Samples of a perceptually uniform scale from dark violet through blue and green to
  // yellow: equal steps of the value look like equal steps of colour, and the order
  // survives printing in grey.
  static const QColor stops[] = {QColor(68, 1, 84),    QColor(71, 44, 122),  QColor(59, 81, 139),
                                 QColor(44, 113, 142), QColor(33, 144, 141), QColor(39, 173, 129),
                                 QColor(92, 200, 99),  QColor(170, 220, 50), QColor(253, 231, 37)};
  QCPColorGradient gradient;
  gradient.clearColorStops();
  const int n = static_cast<int>(std::size(stops));
  for (int k = 0; k < n; ++k) gradient.setColorStopAt(static_cast<double>(k) / (n - 1), stops[k]);
  gradient.setColorInterpolation(QCPColorGradient::ciRGB);
  gradient.setNanHandling(QCPColorGradient::nhTransparent);  // failures show as gaps
  return gradient;
}

// An empty plot: the caption row (when there is a slice), the axis rect, and the
// legend's row below them.
void PlotView::Reset() {
  drawn_.clear();
  shaded_.clear();
  message_.clear();
  scaleNote_.clear();
  plot_->clearPlottables();
  plot_->clearItems();
  plot_->plotLayout()->clear();
  plot_->plotLayout()->addElement(1, 0, new QCPAxisRect(plot_));
  auto* rect = static_cast<QCPAxisRect*>(plot_->plotLayout()->element(1, 0));
  plot_->xAxis = rect->axis(QCPAxis::atBottom);
  plot_->yAxis = rect->axis(QCPAxis::atLeft);
  plot_->xAxis2 = rect->axis(QCPAxis::atTop);
  plot_->yAxis2 = rect->axis(QCPAxis::atRight);
  plot_->legend = new QCPLegend;
  plot_->plotLayout()->addElement(2, 0, plot_->legend);
  plot_->plotLayout()->setRowStretchFactor(2, 0.001);
  plot_->legend->setLayer("legend");
  plot_->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
  plot_->legend->setWrap(4);
  plot_->legend->setBorderPen(Qt::NoPen);
}

void PlotView::Show(const PlotGrid& grid, const PlotMarkers& markers, const QString& xName,
                    const QString& yName, bool showOthers, const QString& slice,
                    const QString& title) {
  grid_ = grid;
  slice_ = slice;
  title_ = title;
  Reset();
  if (!slice.isEmpty()) {
    auto* caption = new QCPTextElement(plot_, "Slice at " + slice, QFont("Sans Serif", 10));
    caption->setObjectName("plotSliceCaption");
    plot_->plotLayout()->addElement(0, 0, caption);
  }
  if (grid.yAxis < 0)
    ShowCurve(grid, markers, xName, showOthers);
  else
    ShowMap(grid, markers, xName, yName, showOthers);
  if (!title.isEmpty()) {
    plot_->plotLayout()->insertRow(0);
    QFont font("Sans Serif", 10);
    font.setBold(true);
    auto* heading = new QCPTextElement(plot_, title, font);
    heading->setObjectName("plotTitle");
    plot_->plotLayout()->addElement(0, 0, heading);
  }
  homeX0_ = plot_->xAxis->range().lower;
  homeX1_ = plot_->xAxis->range().upper;
  homeY0_ = plot_->yAxis->range().lower;
  homeY1_ = plot_->yAxis->range().upper;
  PlaceLegend();
  plot_->plotLayout()->simplify();
  plot_->replot();
}

// Below the picture, in a row of its own, and only when it has something to say.
void PlotView::PlaceLegend() {
  if (plot_->legend && plot_->legend->itemCount() == 0) {
    plot_->plotLayout()->remove(plot_->legend);  // deletes it
    plot_->legend = nullptr;
  }
}

void PlotView::ShowMessage(const QString& text) {
  grid_ = PlotGrid{};
  slice_.clear();
  title_.clear();
  Reset();
  PlaceLegend();
  plot_->plotLayout()->simplify();
  message_ = text;
  auto* note = new QCPItemText(plot_);
  note->setObjectName("plotMessage");
  note->position->setType(QCPItemPosition::ptAxisRectRatio);
  note->position->setCoords(0.5, 0.5);
  note->setPositionAlignment(Qt::AlignCenter);
  note->setTextAlignment(Qt::AlignCenter);
  QString wrapped;
  int length = 0;
  for (const QString& word : text.split(' ')) {
    if (length > 0 && length + word.size() > 60) {
      wrapped += '\n';
      length = 0;
    } else if (length > 0) {
      wrapped += ' ';
      ++length;
    }
    wrapped += word;
    length += static_cast<int>(word.size());
  }
  note->setText(wrapped);
  note->setFont(QFont("Sans Serif", 11));
  plot_->xAxis->setVisible(false);
  plot_->yAxis->setVisible(false);
  plot_->replot();
}

void PlotView::ResetView() {
  if (!plot_->xAxis || message_.size() > 0) return;
  plot_->xAxis->setRange(homeX0_, homeX1_);
  plot_->yAxis->setRange(homeY0_, homeY1_);
  plot_->replot();
}

void PlotView::ShowCurve(const PlotGrid& grid, const PlotMarkers& markers, const QString& xName,
                         bool showOthers) {
  QCPGraph* curve = plot_->addGraph();
  curve->setName("f(" + xName + ")");
  curve->addToLegend(plot_->legend);
  curve->setPen(QPen(QColor(30, 60, 150), 2));
  QVector<double> xs, ys;
  for (int k = 0; k < grid.xCount; ++k) {
    xs << (grid.xCount > 1 ? grid.xMin + (grid.xMax - grid.xMin) * k / (grid.xCount - 1)
                           : grid.xMin);
    ys << grid.values[k];  // NaN: a gap
  }
  curve->setData(xs, ys, true);
  plot_->xAxis->setLabel(xName);
  plot_->yAxis->setLabel("f");
  plot_->xAxis->setRange(grid.xMin, grid.xMax);
  bool found = false;
  QCPRange range = curve->getValueRange(found);
  for (const auto* list : {&markers.maxima, &markers.minima})
    for (const PlotMarker& m : *list) range.expand(m.y);
  if (found)
    plot_->yAxis->setRange(range.lower - 0.05 * range.size(), range.upper + 0.05 * range.size());
  AddShades(markers.undecided, QColor(120, 120, 120));
  AddMarkers(markers.maxima, "maximum", QCPScatterStyle::ssTriangle, QColor(200, 30, 30));
  AddMarkers(markers.minima, "minimum", QCPScatterStyle::ssTriangleInverted, QColor(20, 110, 30));
  if (showOthers)
    AddMarkers(markers.others, "neither", QCPScatterStyle::ssCross, QColor(90, 90, 90));
  for (const auto* list : {&markers.maxima, &markers.minima}) {
    for (const PlotMarker& m : *list) {
      auto* text = new QCPItemText(plot_);
      text->position->setCoords(m.x, m.y);
      text->setPositionAlignment(Qt::AlignBottom | Qt::AlignHCenter);
      text->setText(m.label);
      text->setPadding(QMargins(0, 0, 0, 8));
    }
  }
}

void PlotView::ShowMap(const PlotGrid& grid, const PlotMarkers& markers, const QString& xName,
                       const QString& yName, bool showOthers) {
  auto* map = new QCPColorMap(plot_->xAxis, plot_->yAxis);
  map->setName("f");
  map->removeFromLegend();
  map->data()->setSize(grid.xCount, grid.yCount);
  map->data()->setRange(QCPRange(grid.xMin, grid.xMax), QCPRange(grid.yMin, grid.yMax));
  for (int iy = 0; iy < grid.yCount; ++iy)
    for (int ix = 0; ix < grid.xCount; ++ix) map->data()->setCell(ix, iy, grid.at(ix, iy));
  // The colour scale takes the map's gradient and range once they are set.
  auto* scale = new QCPColorScale(plot_);
  plot_->plotLayout()->addElement(1, 1, scale);
  scale->setLabel("f");
  map->setColorScale(scale);
  map->setGradient(Gradient());
  auto* margins = new QCPMarginGroup(plot_);
  plot_->axisRect()->setMarginGroup(QCP::msBottom | QCP::msTop, margins);
  scale->setMarginGroup(QCP::msBottom | QCP::msTop, margins);
  map->setInterpolate(true);
  const ColourRange range = ColourRangeOf(grid.values);
  map->setDataRange(QCPRange(range.lower, range.upper));
  if (range.clippedLow || range.clippedHigh) NoteClippedScale(grid, range, xName, yName, scale);
  AddContours(grid);
  plot_->xAxis->setLabel(xName);
  plot_->yAxis->setLabel(yName);
  plot_->xAxis->setRange(grid.xMin, grid.xMax);
  plot_->yAxis->setRange(grid.yMin, grid.yMax);
  // Colours that stand out on every part of the scale.
  AddShades(markers.undecided, QColor(255, 255, 255));
  AddMarkers(markers.maxima, "maximum", QCPScatterStyle::ssTriangle, QColor(230, 30, 60));
  AddMarkers(markers.minima, "minimum", QCPScatterStyle::ssTriangleInverted, QColor(255, 255, 255));
  if (showOthers)
    AddMarkers(markers.others, "saddle / neither", QCPScatterStyle::ssDiamond, QColor(255, 140, 0));
}

PlotView::ColourRange PlotView::ColourRangeOf(const std::vector<double>& values) {
  std::vector<double> finite;
  for (double v : values)
    if (std::isfinite(v)) finite.push_back(v);
  ColourRange range;
  if (finite.empty()) return range;
  std::sort(finite.begin(), finite.end());
  const double lo = finite.front(), hi = finite.back();
  range.lower = lo;
  range.upper = hi > lo ? hi : lo + 1;
  // The bulk: the middle 80 % of the values. A tail beyond it more than ten times as
  // long as the bulk is wide is cut off at the bulk's end.
  const double p10 = finite[static_cast<size_t>(0.1 * static_cast<double>(finite.size() - 1))];
  const double p90 = finite[static_cast<size_t>(0.9 * static_cast<double>(finite.size() - 1))];
  const double bulk = p90 - p10;
  if (!(bulk > 0) || !std::isfinite(bulk)) return range;
  constexpr double kLongTail = 10;
  if (hi - p90 > kLongTail * bulk) {
    range.upper = p90;
    range.clippedHigh = true;
  }
  if (p10 - lo > kLongTail * bulk) {
    range.lower = p10;
    range.clippedLow = true;
  }
  return range;
}

// A scale that stops short of the values drawn says so on the bar, and the note under the
// picture names the highest and lowest values with where they lie.
void PlotView::NoteClippedScale(const PlotGrid& grid, const ColourRange& range,
                                const QString& xName, const QString& yName, QCPColorScale* scale) {
  auto num = [](double v) { return QString::fromStdString(FormatGeneral(v)); };
  auto where = [&](bool highest) {
    int best = -1;
    for (int k = 0; k < static_cast<int>(grid.values.size()); ++k) {
      const double v = grid.values[static_cast<size_t>(k)];
      if (!std::isfinite(v)) continue;
      if (best < 0 || (highest ? v > grid.values[static_cast<size_t>(best)]
                               : v < grid.values[static_cast<size_t>(best)]))
        best = k;
    }
    const int ix = best % grid.xCount, iy = best / grid.xCount;
    const double x = grid.xMin + (grid.xMax - grid.xMin) * ix / std::max(1, grid.xCount - 1);
    const double y = grid.yMin + (grid.yMax - grid.yMin) * iy / std::max(1, grid.yCount - 1);
    return num(grid.values[static_cast<size_t>(best)]) + " at " + xName + " = " + num(x) + ", " +
           yName + " = " + num(y);
  };
  QStringList bar, note;
  if (range.clippedLow) {
    bar << "below " + num(range.lower);
    note << "lowest value " + where(false);
  }
  if (range.clippedHigh) {
    bar << "above " + num(range.upper);
    note << "highest value " + where(true);
  }
  scale->setLabel("f (clipped " + bar.join(", ") + ")");
  scaleNote_ = "Beyond the colour scale: " + note.join("; ") + ".";
  auto* text = new QCPTextElement(plot_, scaleNote_, QFont("Sans Serif", 9));
  text->setObjectName("plotScaleNote");
  plot_->plotLayout()->insertRow(2);
  plot_->plotLayout()->addElement(2, 0, text);
}

// Contour lines by marching squares: each cell contributes the segments where a
// level crosses its edges; the segments of a level form one curve, with NaN between
// segments so they are not joined.
void PlotView::AddContours(const PlotGrid& grid) {
  double lo = INFINITY, hi = -INFINITY;
  for (double v : grid.values)
    if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  if (!(hi > lo)) return;
  const int levels = 12;
  auto xAt = [&](int ix) { return grid.xMin + (grid.xMax - grid.xMin) * ix / (grid.xCount - 1); };
  auto yAt = [&](int iy) { return grid.yMin + (grid.yMax - grid.yMin) * iy / (grid.yCount - 1); };
  for (int l = 1; l < levels; ++l) {
    const double level = lo + (hi - lo) * l / levels;
    QVector<double> xs, ys;
    for (int iy = 0; iy + 1 < grid.yCount; ++iy) {
      for (int ix = 0; ix + 1 < grid.xCount; ++ix) {
        const double v[4] = {grid.at(ix, iy), grid.at(ix + 1, iy), grid.at(ix + 1, iy + 1),
                             grid.at(ix, iy + 1)};
        const double px[4] = {xAt(ix), xAt(ix + 1), xAt(ix + 1), xAt(ix)};
        const double py[4] = {yAt(iy), yAt(iy), yAt(iy + 1), yAt(iy + 1)};
        if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2]) ||
            !std::isfinite(v[3]))
          continue;
        QVector<QPointF> crossings;
        for (int e = 0; e < 4; ++e) {
          const int f = (e + 1) % 4;
          if ((v[e] < level) != (v[f] < level)) {
            const double t = (level - v[e]) / (v[f] - v[e]);
            crossings << QPointF(px[e] + t * (px[f] - px[e]), py[e] + t * (py[f] - py[e]));
          }
        }
        for (int c = 0; c + 1 < crossings.size(); c += 2) {
          xs << crossings[c].x() << crossings[c + 1].x() << NAN;
          ys << crossings[c].y() << crossings[c + 1].y() << NAN;
        }
      }
    }
    auto* contour = new QCPCurve(plot_->xAxis, plot_->yAxis);
    contour->setData(xs, ys);
    contour->setPen(QPen(QColor(0, 0, 0, 90), 1));
    contour->removeFromLegend();
  }
}

// Markers on the slice are filled; those off it (their other coordinates differ) are
// hollow, where they project onto the plotted plane.
void PlotView::AddMarkers(const std::vector<PlotMarker>& points, const QString& name, int shape,
                          const QColor& color) {
  drawn_.emplace_back(name, points);
  for (const bool onSlice : {true, false}) {
    QVector<double> xs, ys;
    for (const PlotMarker& m : points)
      if (m.onSlice == onSlice) xs << m.x, ys << m.y;
    if (xs.isEmpty()) continue;
    QCPGraph* g = plot_->addGraph();
    g->setName(onSlice ? name : name + " (off the slice)");
    g->addToLegend(plot_->legend);
    g->setLineStyle(QCPGraph::lsNone);
    g->setScatterStyle(
        QCPScatterStyle(static_cast<QCPScatterStyle::ScatterShape>(shape),
                        onSlice ? QPen(Qt::black, 1.2) : QPen(color.darker(110), 2.0),
                        onSlice ? QBrush(color) : QBrush(Qt::NoBrush), 11));
    g->setData(xs, ys);
  }
}

// Each sub-box as a translucent rectangle (outlined only where the plotted plane does
// not cross it) with a square at its centre, under the markers.
void PlotView::AddShades(const std::vector<PlotShade>& shades, const QColor& color) {
  shaded_ = shades;
  if (shades.empty()) return;
  QColor fill = color;
  fill.setAlpha(110);
  for (const PlotShade& s : shades) {
    auto* rect = new QCPItemRect(plot_);
    rect->setPen(QPen(color, 1, s.onSlice ? Qt::SolidLine : Qt::DashLine));
    rect->setBrush(s.onSlice ? QBrush(fill) : QBrush(Qt::NoBrush));
    rect->topLeft->setCoords(s.x0, s.y1);
    rect->bottomRight->setCoords(s.x1, s.y0);
    if (s.fullHeight) {
      rect->topLeft->setTypeY(QCPItemPosition::ptAxisRectRatio);
      rect->bottomRight->setTypeY(QCPItemPosition::ptAxisRectRatio);
      rect->topLeft->setCoords(s.x0, 0);
      rect->bottomRight->setCoords(s.x1, 1);
    }
  }
  // A square at each centre keeps a sub-box narrower than a pixel in sight.
  QVector<double> xs, ys;
  for (const PlotShade& s : shades) {
    xs << (s.x0 + s.x1) / 2;
    ys << (s.fullHeight ? plot_->yAxis->range().center() : (s.y0 + s.y1) / 2);
  }
  QCPGraph* key = plot_->addGraph();
  key->setData(xs, ys);
  key->setName("undecided sub-box");
  key->addToLegend(plot_->legend);
  key->setLineStyle(QCPGraph::lsNone);
  key->setScatterStyle(
      QCPScatterStyle(QCPScatterStyle::ssSquare, QPen(color.darker(160), 1), QBrush(fill), 11));
}

void PlotView::OnMouseMove(QMouseEvent* event) {
  if (grid_.values.empty()) return;
  const double x = plot_->xAxis->pixelToCoord(event->position().x());
  const double y = plot_->yAxis->pixelToCoord(event->position().y());
  QString text;
  if (grid_.yAxis < 0) {
    const int k =
        std::clamp(static_cast<int>(std::lround((x - grid_.xMin) / (grid_.xMax - grid_.xMin) *
                                                (grid_.xCount - 1))),
                   0, grid_.xCount - 1);
    text = QString("x = %1   f = %2")
               .arg(QString::fromStdString(FormatGeneral(x)),
                    QString::fromStdString(FormatGeneral(grid_.values[k])));
  } else {
    const int ix =
        std::clamp(static_cast<int>(std::lround((x - grid_.xMin) / (grid_.xMax - grid_.xMin) *
                                                (grid_.xCount - 1))),
                   0, grid_.xCount - 1);
    const int iy =
        std::clamp(static_cast<int>(std::lround((y - grid_.yMin) / (grid_.yMax - grid_.yMin) *
                                                (grid_.yCount - 1))),
                   0, grid_.yCount - 1);
    const double f = grid_.at(ix, iy);
    text =
        QString("(%1, %2)   f ≈ %3")
            .arg(QString::fromStdString(FormatGeneral(x)), QString::fromStdString(FormatGeneral(y)),
                 std::isfinite(f) ? QString::fromStdString(FormatGeneral(f)) : QString("no value"));
  }
  hover_->setText(text);
}

bool PlotView::ExportPng(const QString& path, int width, int height) {
  return plot_->savePng(path, width, height);
}

bool PlotView::ExportPdf(const QString& path) {
  return plot_->savePdf(path);
}

}  // namespace quorvant
