// A run's life in the window: started from the problem as the fields show it, its lines
// and progress while it goes, Stop, waiting for its end when the window closes, and
// what it ended with: the extrema applied to the window's problem, the status notice,
// where the cursor goes after a formula the interpreter rejected.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "engine/search_options.h"
#include "model/function_evaluator.h"
#include "model/message_sink.h"
#include "model/problem.h"
#include "ui/run_worker.h"

namespace quorvant {

// What the status bar says after a run, and for how long (0: until the next message);
// `stopped`: the listing is incomplete, and the note beside the counts says so.
struct RunNotice {
  QString text;
  int timeout = 0;
  bool stopped = false;
};

class RunController : public QObject {
  Q_OBJECT
 public:
  // `messages` shows the run's message boxes on the window's thread.
  explicit RunController(MessageSink& messages, QObject* parent = nullptr);

  // A run started and its end not yet handled.
  bool running() const { return running_; }
  // Starts a search of `problem` with `options`, evaluated as `recipe` prepares it.
  void Start(Problem problem, SearchOptions options, EvaluatorRecipe recipe);
  void SetShowAdditionalInfo(bool on) { worker_->SetShowAdditionalInfo(on); }
  void RequestStop() { worker_->RequestStop(); }
  // Stops a run in progress and waits for its end (handled before this returns).
  void StopAndWait() { worker_->StopAndWait(); }

  // The outcome applied: the run's extrema become `problem`'s; what the user is told.
  static RunNotice Apply(const RunOutcome& outcome, size_t keptPoints, Problem& problem);
  // Where the cursor goes in `formula` after the interpreter rejected it, in
  // characters; -1 when the error is not in the formula.
  static int ErrorPosition(const script::ScriptError& error, const std::string& formula);

 signals:
  // Lines of the listing and the progress (0 to 1000) the run had when it wrote them.
  void linesReady(const LineStore& lines, int permille);
  // The run ended; running() is false from here on.
  void finished(std::shared_ptr<quorvant::RunOutcome> outcome);

 private:
  RunWorker* worker_;
  bool running_ = false;
};

}  // namespace quorvant
