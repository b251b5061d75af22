#include "ui/run_worker.h"

#include <QEventLoop>

namespace quorvant {

RunWorker::RunWorker(PointFunction& function, QObject* parent)
    : QObject(parent), function_(function) {
  batchTimer_.setInterval(kBatchIntervalMs);
  connect(&batchTimer_, &QTimer::timeout, this, &RunWorker::Flush);
}

RunWorker::~RunWorker() {
  StopAndWait();
}

void RunWorker::Start(Problem problem, SearchOptions options, FunctionFactory copies) {
  problem_ = std::move(problem);
  options_ = options;
  copies_ = std::move(copies);
  summary_ = RunSummary{};
  stop_ = false;
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    pending_.Clear();
    pendingPermille_ = 0;
  }
  {
    std::lock_guard<std::mutex> lock(pointsMutex_);
    points_.clear();
    pointsMet_ = 0;
  }
  // Until `finished`, the thread alone touches problem_, options_ and summary_.
  ended_ = false;
  thread_ = QThread::create([this] {
    SearchEngine engine(function_, *this, nullptr, copies_);
    const RunResult result = engine.Compute({std::make_shared<const Problem>(problem_), options_});
    result.ApplyTo(problem_);
    summary_ = result.summary;
    ended_.store(true, std::memory_order_release);
    emit runEnded();  // queued to whoever waits on the window's thread
  });
  connect(thread_, &QThread::finished, this, &RunWorker::OnThreadFinished);
  batchTimer_.start();
  thread_->start();
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
  // The run set `ended_` after its last write to the problem, the summary and the
  // evaluator; reading it here makes those writes this thread's to read, in a way
  // ThreadSanitizer sees too (Qt's own hand-over of the finished thread is in code it
  // cannot see).
  if (!ended_.load(std::memory_order_acquire)) thread_->wait();
  thread_->deleteLater();
  thread_ = nullptr;
  batchTimer_.stop();
  Flush();
  emit finished();
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
