// A picture of the function over the search box with its stationary points marked:
// a curve for one variable, a heat map with contour lines for two (or a slice of
// more, which says where it lies above the picture). Built on QCustomPlot: zoom and pan
// with the mouse, hover shows the point, Reset view goes back to the whole box. The
// colours follow a perceptually uniform scale (dark violet for low values, yellow for
// high); the legend lies below the picture, never over it.
#pragma once

#include <QLabel>
#include <QWidget>
#include <vector>

#include "engine/plot_sampler.h"

class QCustomPlot;
class QCPColorGradient;
class QCPColorScale;

namespace quorvant {

struct PlotMarker {
  double x = 0, y = 0;  // y is f for a curve
  QString label;
  bool onSlice = true;  // off the plotted plane: drawn hollow where it projects onto it
};

// A sub-box a proof left undecided, on the plotted axes (a curve's spans its height).
struct PlotShade {
  double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  bool fullHeight = false;
  bool onSlice = true;  // the plotted plane crosses it; else only its projection is outlined
};

struct PlotMarkers {
  std::vector<PlotMarker> maxima, minima, others;
  std::vector<PlotShade> undecided;
};

class PlotView : public QWidget {
  Q_OBJECT
 public:
  explicit PlotView(QWidget* parent = nullptr);
  // `slice` says where a slice lies ("z = -9.42478"); empty for a whole picture. `title`
  // (the formula and the box) heads the picture, so exported files carry it.
  void Show(const PlotGrid& grid, const PlotMarkers& markers, const QString& xName,
            const QString& yName, bool showOthers, const QString& slice = QString(),
            const QString& title = QString());
  // A message where the picture would be, when there is nothing to draw.
  void ShowMessage(const QString& text);
  // The message shown instead of a picture, empty while a picture is shown.
  const QString& message() const { return message_; }
  // The slice caption shown above the picture (empty when there is none).
  const QString& sliceCaption() const { return slice_; }
  // The title above the picture (empty when there is none).
  const QString& title() const { return title_; }
  // What the heat map says under the picture about values beyond its colour scale
  // (empty when the scale covers every value drawn).
  const QString& scaleNote() const { return scaleNote_; }

  // The values a heat map's colours span: every value drawn, unless a few lie so far
  // beyond the rest (a pole, say) that the others would all get one colour; then the
  // scale stops where the bulk of the values ends on that side, and says so.
  struct ColourRange {
    double lower = 0, upper = 1;
    bool clippedLow = false, clippedHigh = false;
  };
  static ColourRange ColourRangeOf(const std::vector<double>& values);
  // Back to the whole box, as the picture was first drawn.
  void ResetView();
  bool ExportPng(const QString& path, int width = 900, int height = 700);
  bool ExportPdf(const QString& path);
  QCustomPlot* plot() const { return plot_; }
  // Number of marker points of each kind drawn, and where (for tests).
  std::vector<PlotMarker> drawn(const QString& kind) const;
  // The undecided sub-boxes drawn (for tests).
  const std::vector<PlotShade>& shaded() const { return shaded_; }
  // The colour scale of the heat map.
  static QCPColorGradient Gradient();

 private:
  void ShowCurve(const PlotGrid& grid, const PlotMarkers& markers, const QString& xName,
                 bool showOthers);
  void ShowMap(const PlotGrid& grid, const PlotMarkers& markers, const QString& xName,
               const QString& yName, bool showOthers);
  void AddContours(const PlotGrid& grid);
  void NoteClippedScale(const PlotGrid& grid, const ColourRange& range, const QString& xName,
                        const QString& yName, QCPColorScale* scale);
  void Reset();
  void AddMarkers(const std::vector<PlotMarker>& points, const QString& name, int shape,
                  const QColor& color);
  void AddShades(const std::vector<PlotShade>& shades, const QColor& color);
  void PlaceLegend();
  void OnMouseMove(QMouseEvent* event);

  QCustomPlot* plot_;
  QLabel* hover_;
  PlotGrid grid_;
  QString message_;
  QString slice_;
  QString title_;
  QString scaleNote_;
  double homeX0_ = 0, homeX1_ = 1, homeY0_ = 0, homeY1_ = 1;
  std::vector<std::pair<QString, std::vector<PlotMarker>>> drawn_;
  std::vector<PlotShade> shaded_;
};

}  // namespace quorvant
