// The Plot window: the function over the search box with every stored extremum, and
// optionally the other stationary points of the last run, marked. Sampling runs on a
// worker thread; a new request cancels the one under way.
#pragma once

#include <QMainWindow>
#include <QThread>
#include <atomic>
#include <memory>
#include <vector>

#include "engine/plot_sampler.h"
#include "engine/run_hooks.h"
#include "model/dimension.h"
#include "ui/plot_view.h"

class QCheckBox;
class QComboBox;

namespace quorvant {

struct PlotData {
  PlotProblem problem;
  std::vector<double> lower, upper;
  std::vector<std::vector<double>> maxima, minima, others;  // coordinates
};

// The plot of a problem: its stored extrema and the other stationary points met.
PlotData PlotDataFrom(const Dimension& dim, const std::string& formula,
                      const std::vector<std::string>& constants, const std::vector<double>& lower,
                      const std::vector<double>& upper, const std::vector<StationaryPoint>& met);

class PlotWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit PlotWindow(QWidget* parent = nullptr);
  ~PlotWindow() override;
  void SetData(PlotData data);
  PlotView* view() const { return view_; }
  QCheckBox* showOthers() const { return showOthers_; }
  // Renders the current data synchronously (for the command line and tests).
  void RenderNow();

 signals:
  void rendered();

 private:
  void Request();
  void Finish(int generation, PlotGrid grid, PlotMarkers markers);
  void UpdateChoices();
  void Chosen(int& xAxis, int& yAxis, PlotProblem& problem) const;
  static PlotMarkers Markers(const PlotData& data, PlotSampler& sampler, int xAxis, int yAxis);
  static PlotGrid Sample(const PlotData& data, PlotSampler& sampler, int xAxis, int yAxis,
                         const std::atomic<bool>* cancel);
  std::vector<double> SliceThrough() const;

  PlotData data_;
  PlotView* view_;
  QComboBox* xAxis_;
  QComboBox* yAxis_;
  QComboBox* through_;
  QCheckBox* showOthers_;
  int generation_ = 0;
  std::shared_ptr<std::atomic<bool>> cancel_;
  std::vector<QThread*> threads_;  // samplers still running (cancelled ones end soon)
  PlotGrid lastGrid_;
  PlotMarkers lastMarkers_;
};

}  // namespace quorvant
