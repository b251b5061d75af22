// Parts of a run searched ahead of time on worker threads of this process.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/grid.h"
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
    plan_ = plan;
    ahead_ = ahead;
    stop_ = false;
    next_ = 0;
    committed_ = 0;
    done_.clear();
    failure_ = nullptr;
    if (plan_.options.mode == SearchOptions::Mode::Explore)
      grid_ = std::make_unique<Grid>(*plan_.problem);
    for (int t = 0; t < threads_; ++t) workers_.emplace_back([this] { Work(); });
  }

  std::optional<PartOutcome> Take(int64_t index, const std::function<bool()>& stop) override {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (failure_) std::rethrow_exception(failure_);
      auto it = done_.find(index);
      if (it != done_.end()) {
        PartOutcome outcome = std::move(it->second);
        done_.erase(it);
        return outcome;
      }
      lock.unlock();
      if (stop()) return std::nullopt;
      lock.lock();
      changed_.wait_for(lock, std::chrono::milliseconds(20));
    }
  }

  void Committed(int64_t index) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      committed_ = index + 1;
    }
    changed_.notify_all();
  }

  void End() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : workers_) t.join();
    workers_.clear();
  }

 private:
  void Work() {
    std::unique_ptr<PointFunction> function;
    std::unique_ptr<SearchPart> part;
    try {
      function = factory_();
      part = std::make_unique<SearchPart>(*plan_.problem, grid_.get(), *function,
                                          [this] { return stop_.load(std::memory_order_relaxed); });
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!failure_) failure_ = std::current_exception();
      changed_.notify_all();
      return;
    }
    for (;;) {
      int64_t index;
      std::vector<std::vector<double>> trials;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock,
                      [&] { return stop_ || next_ >= plan_.parts || next_ < committed_ + ahead_; });
        if (stop_ || next_ >= plan_.parts) return;
        index = next_++;
        if (plan_.drawTrials) trials = plan_.drawTrials(index);
      }
      PartOutcome outcome = SearchAhead(*part, plan_.Range(index), std::move(trials));
      std::lock_guard<std::mutex> lock(mutex_);
      done_.emplace(index, std::move(outcome));
      changed_.notify_all();
    }
  }

  const int threads_;
  std::function<std::unique_ptr<PointFunction>()> factory_;
  RunPlan plan_;
  std::unique_ptr<Grid> grid_;
  int64_t ahead_ = 1;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<int64_t, PartOutcome> done_;
  int64_t next_ = 0;
  int64_t committed_ = 0;
  std::exception_ptr failure_;
  std::vector<std::thread> workers_;
};

}  // namespace

std::unique_ptr<PartSearcher> MakeThreadSearcher(
    int threads, std::function<std::unique_ptr<PointFunction>()> factory) {
  return std::make_unique<ThreadSearcher>(threads, std::move(factory));
}

}  // namespace quorvant
