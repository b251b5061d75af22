#include "ui/run_worker.h"

#include <QCoreApplication>

namespace quorvant {

RunWorker::RunWorker(Dimension& dim, PointFunction& function, QObject* parent)
    : QObject(parent), dim_(dim), function_(function) {}

RunWorker::~RunWorker() { StopAndWait(); }

void RunWorker::Start() {
  stop_ = false;
  lastPermille_ = -1;
  {
    std::lock_guard<std::mutex> lock(pointsMutex_);
    points_.clear();
    pointsMet_ = 0;
  }
  thread_ = QThread::create([this] {
    SearchEngine engine(dim_, function_, *this);
    summary_ = engine.Compute();
  });
  connect(thread_, &QThread::finished, this, &RunWorker::OnThreadFinished);
  thread_->start();
}

void RunWorker::StopAndWait() {
  if (!thread_) return;
  stop_ = true;
  // The run may be waiting for a message box on this thread: keep serving events
  // while it ends.
  while (!thread_->wait(20)) QCoreApplication::processEvents();
  OnThreadFinished();
}

void RunWorker::OnThreadFinished() {
  if (!thread_) return;
  thread_->deleteLater();
  thread_ = nullptr;
  emit finished();
}

void RunWorker::AppendLine(std::string_view line) {
  emit lineAppended(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
}

void RunWorker::ReportProgress(double fraction) {
  const int permille = static_cast<int>(fraction * 1000);
  if (permille == lastPermille_) return;
  lastPermille_ = permille;
  emit progressed(permille);
}

}  // namespace quorvant
