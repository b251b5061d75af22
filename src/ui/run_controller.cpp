#include "ui/run_controller.h"

#include "model/numtext.h"

namespace quorvant {
namespace {

QString FromStd(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

RunController::RunController(MessageSink& messages, QObject* parent)
    : QObject(parent), worker_(new RunWorker(messages, this)) {
  connect(worker_, &RunWorker::linesReady, this, &RunController::linesReady);
  connect(worker_, &RunWorker::finished, this, [this](std::shared_ptr<RunOutcome> outcome) {
    running_ = false;
    emit finished(std::move(outcome));
  });
  progressTimer_.setInterval(100);
  connect(&progressTimer_, &QTimer::timeout, this, [this] {
    ProveCounts counts;
    {
      std::lock_guard<std::mutex> lock(countsMutex_);
      counts = counts_;
    }
    emit proofProgress(counts);
  });
}

void RunController::StartProof(Problem problem, EvaluatorRecipe recipe) {
  if (running_) return;
  running_ = true;
  proofStop_ = false;
  proofEnded_ = false;
  counts_ = ProveCounts{};
  auto proven = std::make_shared<const Problem>(std::move(problem));
  proofThread_ = QThread::create([this, proven, recipe = std::move(recipe)] {
    proofOutcome_ = RunProof(proven, recipe, proofStop_, [this](const ProveCounts& counts) {
      std::lock_guard<std::mutex> lock(countsMutex_);
      counts_ = counts;
    });
    proofEnded_.store(true, std::memory_order_release);
  });
  connect(proofThread_, &QThread::finished, this, &RunController::OnProofThreadFinished);
  progressTimer_.start();
  proofThread_->start();
}

void RunController::RequestStop() {
  proofStop_ = true;
  worker_->RequestStop();
}

void RunController::StopAndWait() {
  if (proofThread_) {
    proofStop_ = true;
    proofThread_->wait();
    OnProofThreadFinished();
  }
  worker_->StopAndWait();
}

void RunController::OnProofThreadFinished() {
  if (!proofThread_) return;
  // The proof set `proofEnded_` after its last write to the outcome; reading it here
  // makes those writes this thread's to read, in a way ThreadSanitizer sees too.
  if (!proofEnded_.load(std::memory_order_acquire)) {
    proofThread_->wait();
    proofEnded_.load(std::memory_order_acquire);
  }
  proofThread_->deleteLater();
  proofThread_ = nullptr;
  progressTimer_.stop();
  auto outcome = std::make_shared<ProveOutcome>(std::move(proofOutcome_));
  proofOutcome_ = ProveOutcome{};
  running_ = false;
  emit proofFinished(std::move(outcome));
}

void RunController::Start(Problem problem, SearchOptions options, EvaluatorRecipe recipe) {
  if (running_) return;
  running_ = true;
  worker_->Start({std::make_shared<const Problem>(std::move(problem)), options}, std::move(recipe));
}

RunNotice RunController::Apply(const RunOutcome& outcome, size_t keptPoints, Problem& problem) {
  outcome.result.ApplyTo(problem);
  const RunSummary& summary = outcome.result.summary;
  const Problem& searched = *outcome.problem;
  RunNotice notice;
  QStringList notes;
  switch (summary.end) {
    case RunEnd::Refused:
      notes << FromStd(summary.reason);
      break;
    case RunEnd::Stopped:
      // Stays until the next run: the listing is incomplete, and says so beside the counts.
      notes << "Stopped: the extrema found so far are listed.";
      notice.stopped = true;
      break;
    case RunEnd::StoreFull:
      notes << "The search ended: the store of 100 points of one kind is full.";
      notice.timeout = 8000;
      break;
    case RunEnd::Failed:
    case RunEnd::Internal:
      notes << FromStd(RunFailureMessage(summary, searched.varNames));
      break;
    case RunEnd::Completed:
      if (outcome.pointsMet > keptPoints)
        notes << QString(
                     "The Stationary points table holds the first %1 of the %2 "
                     "stationary points the run met.")
                     .arg(keptPoints)
                     .arg(outcome.pointsMet);
      break;
  }
  // A box turned inside out is searched as given; the user hears of it.
  for (int i = 0; i < searched.varCount(); ++i) {
    if (searched.upperLimit[i] < searched.lowerLimit[i]) {
      notes << FromStd("The upper limit of " + searched.varNames[i] + " (" +
                       FormatGeneral(searched.upperLimit[i]) + ") lies below its lower limit (" +
                       FormatGeneral(searched.lowerLimit[i]) + ").");
      notice.timeout = 0;
    }
  }
  notice.text = notes.join("  ");
  return notice;
}

int RunController::ErrorPosition(const script::ScriptError& error, const std::string& formula) {
  if (error.ok() || error.text != formula || error.line > 1 || error.column < 0) return -1;
  const size_t bytes = std::min(static_cast<size_t>(error.column), formula.size());
  return static_cast<int>(Utf8Length(std::string_view(formula).substr(0, bytes)));
}

}  // namespace quorvant
