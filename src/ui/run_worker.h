// Runs one search on a worker thread so the window never freezes. The run is handed a
// request (a problem shared and never changed while it runs, the options) and the
// recipe of the window's evaluator: its thread prepares an evaluator of its own from
// it, so the window's evaluator stays the window's. "Show additional info" and Stop are
// read live, and the run's message boxes are shown on the window's thread while the
// run waits for them. Lines are not sent one by one (a million queued signals would
// keep the window from seeing Stop for seconds): the run gathers them, and the window's
// thread takes what has gathered every 50 ms, with the progress the run had reached
// when it wrote the last of them. When the run ends the window is given its outcome.
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
#include "model/function_evaluator.h"
#include "model/message_sink.h"
#include "ui/listing_model.h"

namespace quorvant {

// What a run hands back to the window: its result, where the interpreter reported its
// last error (the cursor goes there after a failed formula), and the stationary points
// it met.
struct RunOutcome {
  std::shared_ptr<const Problem> problem;  // the problem the run searched
  RunResult result;
  script::ScriptError error;
  std::vector<StationaryPoint> points;  // in the order met, at most kMaxKeptPoints
  size_t pointsMet = 0;
};

class RunWorker : public QObject, private RunHooks {
  Q_OBJECT
 public:
  // `messages` shows the run's message boxes, always on the window's thread.
  explicit RunWorker(MessageSink& messages, QObject* parent = nullptr);
  ~RunWorker() override;

  // How often the lines gathered by a run are handed to the window.
  static constexpr int kBatchIntervalMs = 50;
  // The table and the plot show the first kMaxKeptPoints stationary points of a run; a
  // run of millions of random trials would otherwise hold every one of them.
  static constexpr size_t kMaxKeptPoints = 100000;

  // Starts `request`, evaluated by evaluators prepared from `recipe` (the run's own, and
  // one more for each further search thread).
  void Start(RunRequest request, EvaluatorRecipe recipe);
  bool running() const { return thread_ != nullptr; }
  // Hands over at once the lines gathered so far (`linesReady`), as the timer does.
  void Flush();
  void RequestStop() { stop_ = true; }
  void SetShowAdditionalInfo(bool on) { info_ = on; }
  // Asks a run in progress to stop and waits for it to end. Events are served while it
  // waits (the run may be waiting for a message box on this thread).
  void StopAndWait();

 signals:
  // Lines of the listing, in order, and the progress (0 to 1000) the run had reached when
  // it wrote the last of them; on the window's thread, at most every kBatchIntervalMs.
  void linesReady(const LineStore& lines, int permille);
  // On the window's thread, after the last lines.
  void finished(std::shared_ptr<quorvant::RunOutcome> outcome);
  // From the worker thread, once the search has returned.
  void runEnded();

 private:
  class ForwardedMessages;
  void Run();
  void AppendLine(std::string_view line) override;
  bool ShowAdditionalInfo() override { return info_; }
  void ReportProgress(double fraction) override;
  bool StopRequested() override { return stop_; }
  void StationaryPointMet(const StationaryPoint& point) override {
    ++outcome_.pointsMet;
    if (outcome_.points.size() < kMaxKeptPoints) outcome_.points.push_back(point);
  }
  void OnThreadFinished();

  MessageSink& messages_;
  // Until `finished`, the run's thread alone touches these three.
  RunRequest request_;
  EvaluatorRecipe recipe_;
  RunOutcome outcome_;
  std::atomic<bool> info_{false};
  std::atomic<bool> stop_{false};
  std::atomic<bool> ended_{false};
  // What the run has written since the last hand-over, under pendingMutex_.
  std::mutex pendingMutex_;
  LineStore pending_;
  int pendingPermille_ = 0;
  QTimer batchTimer_;
  QThread* thread_ = nullptr;
};

}  // namespace quorvant
