#include "ui/run_worker.h"

#include <QEventLoop>

namespace quorvant {

// The run's own evaluator shows its message boxes through the window's sink, on the
// window's thread, while the run waits. Replaying the window's statements to prepare it
// is silent: a failure among them was shown when the window ran them.
class RunWorker::ForwardedMessages final : public MessageSink {
 public:
  ForwardedMessages(QObject* windowSide, MessageSink& target)
      : windowSide_(windowSide), target_(target) {}
  void ShowMessage(std::string_view title, std::string_view text, MessageIcon icon) override {
    if (!on_) return;
    QMetaObject::invokeMethod(
        windowSide_, [&] { target_.ShowMessage(title, text, icon); }, Qt::BlockingQueuedConnection);
  }
  void TurnOn() { on_ = true; }

 private:
  QObject* windowSide_;
  MessageSink& target_;
  bool on_ = false;
};

RunWorker::RunWorker(MessageSink& messages, QObject* parent)
    : QObject(parent), messages_(messages) {
  batchTimer_.setInterval(kBatchIntervalMs);
  connect(&batchTimer_, &QTimer::timeout, this, &RunWorker::Flush);
}

RunWorker::~RunWorker() {
  StopAndWait();
}

void RunWorker::Start(RunRequest request, EvaluatorRecipe recipe) {
  request_ = std::move(request);
  recipe_ = std::move(recipe);
  outcome_ = RunOutcome{};
  stop_ = false;
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    pending_.Clear();
    pendingPermille_ = 0;
  }
  ended_ = false;
  thread_ = QThread::create([this] { Run(); });
  connect(thread_, &QThread::finished, this, &RunWorker::OnThreadFinished);
  batchTimer_.start();
  thread_->start();
}

// On the run's thread.
void RunWorker::Run() {
  ForwardedMessages messages(this, messages_);
  FunctionEvaluator evaluator(messages);
  evaluator.PrepareFrom(recipe_);
  messages.TurnOn();
  SearchEngine engine(evaluator, *this, nullptr, FunctionEvaluator::CopiesOf(recipe_));
  outcome_.result = engine.Compute(request_);
  outcome_.error = evaluator.engine().Error();
  ended_.store(true, std::memory_order_release);
  emit runEnded();  // queued to whoever waits on the window's thread
}

void RunWorker::StopAndWait() {
  if (!thread_) return;
  stop_ = true;
  // An event loop that ends with the run: it serves a message box the run may be
  // waiting for, without polling. Connected before `ended_` is read, so the end of the
  // run is seen either way.
  QEventLoop loop;
  connect(this, &RunWorker::runEnded, &loop, &QEventLoop::quit);
  if (!ended_) loop.exec(QEventLoop::ExcludeUserInputEvents);
  // The loop may have served the thread's own end already (OnThreadFinished).
  if (!thread_) return;
  thread_->wait();
  OnThreadFinished();
}

void RunWorker::OnThreadFinished() {
  if (!thread_) return;
  // The run set `ended_` after its last write to the outcome; reading it here makes
  // those writes this thread's to read, in a way ThreadSanitizer sees too (Qt's own
  // hand-over of the finished thread is in code it cannot see).
  if (!ended_.load(std::memory_order_acquire)) thread_->wait();
  thread_->deleteLater();
  thread_ = nullptr;
  batchTimer_.stop();
  Flush();
  auto outcome = std::make_shared<RunOutcome>(std::move(outcome_));
  outcome_ = RunOutcome{};
  outcome->problem = std::move(request_.problem);
  request_ = RunRequest{};
  emit finished(std::move(outcome));
}

void RunWorker::Flush() {
  LineStore lines;
  int permille;
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    std::swap(lines, pending_);
    permille = pendingPermille_;
  }
  emit linesReady(lines, permille);
}

void RunWorker::AppendLine(std::string_view line) {
  std::lock_guard<std::mutex> lock(pendingMutex_);
  pending_.Append(line);
}

void RunWorker::ReportProgress(double fraction) {
  const int permille = static_cast<int>(fraction * 1000);
  std::lock_guard<std::mutex> lock(pendingMutex_);
  pendingPermille_ = permille;
}

}  // namespace quorvant
