// Runs one search on a worker thread so the window never freezes. The run works on its
// own copy of the problem, as the window hands it over; "Show additional info" and Stop
// are read live, and the interpreter's message boxes are shown on the window's thread
// while the run waits for them. Lines are not sent one by one (a million queued signals
// would keep the window from seeing Stop for seconds): the run gathers them, and the
// window's thread takes what has gathered every 50 ms, with the progress the run had
// reached when it wrote the last of them.
#pragma once

#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/search_engine.h"
#include "ui/listing_model.h"

namespace quorvant {

class RunWorker : public QObject, private RunHooks {
  Q_OBJECT
 public:
  RunWorker(PointFunction& function, QObject* parent = nullptr);
  ~RunWorker() override;

  // How often the lines gathered by a run are handed to the window.
  static constexpr int kBatchIntervalMs = 50;

  // Starts a run of `problem` (the worker's own copy) with `options`; `copies` makes the
  // evaluators of further search threads (see SearchEngine).
  void Start(Problem problem, SearchOptions options, FunctionFactory copies = {});
  bool running() const { return thread_ != nullptr; }
  // Hands over at once the lines gathered so far (`linesReady`), as the timer does.
  void Flush();
  void RequestStop() { stop_ = true; }
  void SetShowAdditionalInfo(bool on) { info_ = on; }
  // After `finished`: how the last run ended, and the problem it searched with the
  // extrema it stored.
  const RunSummary& summary() const { return summary_; }
  const Problem& result() const { return problem_; }

  // The table and the plot show the first kMaxKeptPoints stationary points of a run; a
  // run of millions of random trials would otherwise hold every one of them.
  static constexpr size_t kMaxKeptPoints = 100000;
  // How many stationary points the last run met (points() holds the first of them).
  size_t pointsMet() const {
    std::lock_guard<std::mutex> lock(pointsMutex_);
    return pointsMet_;
  }
  // The stationary points the last run met, in the order met, at most kMaxKeptPoints.
  std::vector<StationaryPoint> points() const {
    std::lock_guard<std::mutex> lock(pointsMutex_);
    return points_;
  }
  // The same, handed over: the worker keeps no copy of its own afterwards.
  std::vector<StationaryPoint> TakePoints() {
    std::lock_guard<std::mutex> lock(pointsMutex_);
    std::vector<StationaryPoint> taken;
    taken.swap(points_);
    return taken;
  }
  // Asks a run in progress to stop and waits for it to end. Events are served while it
  // waits (the run may be waiting for a message box on this thread).
  void StopAndWait();

 signals:
  // Lines of the listing, in order, and the progress (0 to 1000) the run had reached when
  // it wrote the last of them; on the window's thread, at most every kBatchIntervalMs.
  void linesReady(const LineStore& lines, int permille);
  void finished();
  // From the worker thread, once the search has returned.
  void runEnded();

 private:
  void AppendLine(std::string_view line) override;
  bool ShowAdditionalInfo() override { return info_; }
  void ReportProgress(double fraction) override;
  bool StopRequested() override { return stop_; }
  void StationaryPointMet(const StationaryPoint& point) override {
    std::lock_guard<std::mutex> lock(pointsMutex_);
    ++pointsMet_;
    if (points_.size() < kMaxKeptPoints) points_.push_back(point);
  }
  void OnThreadFinished();

  PointFunction& function_;
  Problem problem_;
  SearchOptions options_;
  FunctionFactory copies_;
  std::atomic<bool> info_{false};
  std::atomic<bool> stop_{false};
  std::atomic<bool> ended_{false};
  // What the run has written since the last hand-over, under pendingMutex_.
  std::mutex pendingMutex_;
  LineStore pending_;
  int pendingPermille_ = 0;
  QTimer batchTimer_;
  RunSummary summary_;
  mutable std::mutex pointsMutex_;
  std::vector<StationaryPoint> points_;
  size_t pointsMet_ = 0;
  QThread* thread_ = nullptr;
};

}  // namespace quorvant
