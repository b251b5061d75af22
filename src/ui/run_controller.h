// A run's life in the window (a search, or a proof): started from the problem as the
// fields show it, its lines and progress while it goes, Stop, waiting for its end when
// the window closes, and what it ended with: the extrema applied to the window's problem, the
// status notice, where the cursor goes after a formula the interpreter rejected.
#pragma once

#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <memory>
#include <mutex>

#include "engine/search_options.h"
#include "model/function_evaluator.h"
#include "model/message_sink.h"
#include "model/problem.h"
#include "ui/prove_run.h"
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
  // Starts a proof over `problem`'s box on a thread of its own, evaluated as `recipe`
  // prepares it.
  void StartProof(Problem problem, EvaluatorRecipe recipe);
  void SetShowAdditionalInfo(bool on) { worker_->SetShowAdditionalInfo(on); }
  void RequestStop();
  // Stops a run in progress and waits for its end (handled before this returns).
  void StopAndWait();

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
  // A proof's counts so far, about ten times a second while it goes.
  void proofProgress(const quorvant::ProveCounts& counts);
  // The proof ended; running() is false from here on.
  void proofFinished(std::shared_ptr<quorvant::ProveOutcome> outcome);

 private:
  void OnProofThreadFinished();

  RunWorker* worker_;
  bool running_ = false;
  // The proof under way: its thread alone writes `proofOutcome_` until `proofEnded_`.
  QThread* proofThread_ = nullptr;
  std::atomic<bool> proofStop_{false};
  std::atomic<bool> proofEnded_{false};
  ProveOutcome proofOutcome_;
  std::mutex countsMutex_;
  ProveCounts counts_;
  QTimer progressTimer_;
};

}  // namespace quorvant
