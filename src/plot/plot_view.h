// A picture of the function over the search box with its stationary points marked:
// a curve for one variable, a heat map with contour lines for two (or a slice of
// more). Built on QCustomPlot: zoom and pan with the mouse, hover shows the point.
#pragma once

#include <QLabel>
#include <QWidget>
#include <vector>

#include "engine/plot_sampler.h"

class QCustomPlot;

namespace quorvant {

struct PlotMarker {
  double x = 0, y = 0;  // y is f for a curve
  QString label;
};

struct PlotMarkers {
  std::vector<PlotMarker> maxima, minima, others;
};

class PlotView : public QWidget {
  Q_OBJECT
 public:
  explicit PlotView(QWidget* parent = nullptr);
  void Show(const PlotGrid& grid, const PlotMarkers& markers, const QString& xName,
            const QString& yName, bool showOthers);
  bool ExportPng(const QString& path, int width = 900, int height = 700);
  bool ExportPdf(const QString& path);
  QCustomPlot* plot() const { return plot_; }
  // Number of marker points of each kind drawn, and where (for tests).
  std::vector<PlotMarker> drawn(const QString& kind) const;

 private:
  void ShowCurve(const PlotGrid& grid, const PlotMarkers& markers, const QString& xName,
                 bool showOthers);
  void ShowMap(const PlotGrid& grid, const PlotMarkers& markers, const QString& xName,
               const QString& yName, bool showOthers);
  void AddContours(const PlotGrid& grid);
  void AddMarkers(const std::vector<PlotMarker>& points, const QString& name, int shape,
                  const QColor& color);
  void OnMouseMove(QMouseEvent* event);

  QCustomPlot* plot_;
  QLabel* hover_;
  PlotGrid grid_;
  std::vector<std::pair<QString, std::vector<PlotMarker>>> drawn_;
};

}  // namespace quorvant
