// The Plot window: the function over the search box with every stored extremum, and
// optionally the other stationary points of the last run, marked. Sampling runs on a
// worker thread; a new request cancels the one under way.
#pragma once

#include <QMainWindow>
#include <QThread>
#include <atomic>
#include <memory>
#include <vector>

#include "engine/plot_data.h"
#include "plot/plot_scene.h"
#include "plot/plot_view.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace quorvant {

class PlotWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit PlotWindow(QWidget* parent = nullptr);
  ~PlotWindow() override;
  void SetData(PlotData data);
  PlotView* view() const { return view_; }
  QCheckBox* showOthers() const { return showOthers_; }
  QComboBox* horizontalBox() const { return xAxis_; }
  QComboBox* verticalBox() const { return yAxis_; }
  // Renders the current data synchronously (for the command line and tests).
  void RenderNow();

 signals:
  void rendered();

 private:
  void Request();
  void Finish(int generation, PlotGrid grid, PlotMarkers markers, std::vector<double> slice);
  void UpdateChoices();
  // The two axes are never the same variable: the other box moves on to the next one.
  void KeepAxesDistinct(QComboBox* changed);
  PlotAxes Chosen(PlotProblem& problem) const;

  PlotData data_;
  PlotView* view_;
  QComboBox* xAxis_;
  QComboBox* yAxis_;
  QLabel* yLabel_;
  QPushButton* resetView_;
  QComboBox* through_;
  QCheckBox* showOthers_;
  int generation_ = 0;
  std::shared_ptr<std::atomic<bool>> cancel_;
  std::vector<QThread*> threads_;  // samplers still running (cancelled ones end soon)
  PlotGrid lastGrid_;
  PlotMarkers lastMarkers_;
};

}  // namespace quorvant
