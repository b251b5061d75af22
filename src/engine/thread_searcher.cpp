// Parts of a run searched ahead of time on worker threads of this process.
#include <memory>
#include <thread>
#include <vector>

#include "engine/part_pool.h"
#include "engine/part_searcher.h"

namespace quorvant {

namespace {

class ThreadSearcher final : public PartSearcher {
 public:
  ThreadSearcher(int threads, std::function<std::unique_ptr<PointFunction>()> factory)
      : threads_(threads), factory_(std::move(factory)) {}
  ~ThreadSearcher() override { End(); }

  int width() const override { return threads_; }

  void Begin(const RunPlan& plan, int64_t ahead) override {
    End();
    pool_.Reset(plan, ahead, threads_);
    for (int t = 0; t < threads_; ++t)
      workers_.emplace_back([this] { pool_.SearchParts(factory_); });
  }

  std::optional<PartOutcome> Take(int64_t index, const std::function<bool()>& stop) override {
    return pool_.Take(index, stop);
  }

  void Committed(int64_t index) override { pool_.Committed(index); }

  void End() override {
    pool_.Stop();
    for (std::thread& t : workers_) t.join();
    workers_.clear();
  }

 private:
  const int threads_;
  std::function<std::unique_ptr<PointFunction>()> factory_;
  PartPool pool_;
  std::vector<std::thread> workers_;
};

}  // namespace

std::unique_ptr<PartSearcher> MakeThreadSearcher(
    int threads, std::function<std::unique_ptr<PointFunction>()> factory) {
  return std::make_unique<ThreadSearcher>(threads, std::move(factory));
}

}  // namespace quorvant
