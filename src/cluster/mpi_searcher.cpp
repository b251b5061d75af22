#include "cluster/mpi_searcher.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "cluster/wire.h"
#include "engine/part_pool.h"

namespace quorvant::cluster {

namespace {

std::string RunNumberBytes(int64_t run) {
  Writer w;
  w.I64(run);
  return w.Take();
}

class MpiSearcher final : public PartSearcher {
 public:
  MpiSearcher(Channel& channel, std::vector<WorkerInfo> workers, const ClusterSettings& settings,
              FunctionFactory factory, EvaluatorRecipe recipe)
      : channel_(channel),
        settings_(settings),
        factory_(std::move(factory)),
        recipe_(std::move(recipe)) {
    for (const WorkerInfo& w : workers) {
      Remote r;
      r.rank = w.rank;
      r.threads = settings.threadsRequested > 0 ? settings.threadsRequested : w.defaultThreads;
      remotes_.push_back(r);
    }
  }
  ~MpiSearcher() override { End(); }

  int width() const override {
    int width = settings_.localThreads;
    for (const Remote& r : remotes_) width += r.threads;
    return width;
  }

  void Begin(const RunPlan& plan, int64_t ahead) override {
    End();
    pool_.Reset(plan, ahead);
    ++run_;
    sentTrials_.clear();
    for (Remote& r : remotes_) r.held.clear();
    stats_.clear();
    waited_ = 0;
    began_ = Now();
    // The order is written here, on the run's thread: once the run commits, its problem
    // gains extrema, which no other thread may read.
    RunOrder order;
    order.run = run_;
    order.problem = *plan.problem;
    order.problem.maxima.clear();
    order.problem.minima.clear();
    order.options = plan.options;
    order.recipe = recipe_;
    order.total = plan.total;
    order.partSize = plan.partSize;
    order.parts = plan.parts;
    order_ = EncodeRunOrder(order);
    running_ = true;
    faulted_ = false;
    for (int t = 0; t < settings_.localThreads; ++t)
      locals_.emplace_back([this] {
        pool_.SearchParts(factory_, [this](int64_t index, double seconds) {
          std::lock_guard<std::mutex> lock(statsMutex_);
          stats_.push_back({index, 0, seconds, 0});
        });
      });
    messenger_ = std::thread([this] { Communicate(); });
  }

  // Empty too when a fault ended the run: it ends as a stopped run does, and the
  // fault is told through the settings' news.
  std::optional<PartOutcome> Take(int64_t index, const std::function<bool()>& stop) override {
    const double start = Now();
    struct Waited {
      double& total;
      double start;
      ~Waited() { total += Now() - start; }
    } waited{waited_, start};
    return pool_.Take(index, [&] { return faulted_.load() || stop(); });
  }

  void Committed(int64_t index) override { pool_.Committed(index); }

  void End() override {
    if (!running_) return;
    pool_.Stop();
    for (std::thread& t : locals_) t.join();
    locals_.clear();
    messenger_.join();
    running_ = false;
    WriteStats();
  }

 private:
  struct Remote {
    int rank = 0;
    int threads = 1;
    std::set<int64_t> held;  // parts handed out, not yet returned
    double heard = 0;        // when it was last heard from
  };

  // The one thread that talks to the workers while the run lasts.
  void Communicate() {
    try {
      const double now = Now();
      for (Remote& r : remotes_) {
        channel_.Send(r.rank, Tag::Run, order_);
        r.heard = now;
      }
      Idle idle;
      double last = now;
      while (!pool_.stopped()) {
        // A pause of this process (stopped, frozen) is not the workers' silence.
        const double turn = Now();
        if (turn - last > 1.0)
          for (Remote& r : remotes_) r.heard = turn;
        last = turn;
        bool busy = HandOut();
        Message m;
        while (channel_.Poll(m)) {
          Receive(m);
          busy = true;
        }
        CheckSilence(turn);
        if (busy)
          idle.Busy();
        else
          idle.Pause();
      }
    } catch (const std::exception& e) {
      if (settings_.news) {
        settings_.news->Fault(e.what());
        faulted_ = true;
      } else {
        pool_.Fail(std::current_exception());
      }
    } catch (...) {
      pool_.Fail(std::current_exception());
    }
    // The workers drop what is left of the run. The sends complete while the channel is
    // polled later (a worker that is gone never takes its message, and nobody waits for
    // it here: after Stop the listing must come out at once).
    try {
      for (const Remote& r : remotes_) channel_.Send(r.rank, Tag::EndRun, RunNumberBytes(run_));
    } catch (const ChannelError&) {
    }
  }

  // Parts to the workers that have room for them; true when any was sent.
  bool HandOut() {
    bool sent = false;
    for (Remote& r : remotes_) {
      while (static_cast<int>(r.held.size()) < r.threads + 1) {
        PartOrder part;
        part.index = pool_.Claim(part.trials, false);
        if (part.index < 0) return sent;
        if (pool_.plan().drawTrials) sentTrials_[part.index] = part.trials;
        part.run = run_;
        part.range = pool_.plan().Range(part.index);
        r.held.insert(part.index);
        channel_.Send(r.rank, Tag::Part, EncodePartOrder(part));
        sent = true;
      }
    }
    return sent;
  }

  Remote* From(int rank) {
    for (Remote& r : remotes_)
      if (r.rank == rank) return &r;
    return nullptr;
  }

  void Receive(Message& m) {
    if (settings_.news && settings_.news->Note(m)) return;
    Remote* r = From(m.from);
    if (!r) return;
    if (m.tag == Tag::Result) {
      PartResult result = DecodePartResult(m.bytes);
      if (result.run != run_) return;  // left over from a run that ended
      r->heard = Now();
      if (!r->held.erase(result.index))
        throw ChannelError("rank " + std::to_string(m.from) + " returned part " +
                           std::to_string(result.index) + ", which it was not given");
      if (pool_.plan().drawTrials) {
        auto it = sentTrials_.find(result.index);
        result.outcome.trials = std::move(it->second);
        sentTrials_.erase(it);
      }
      {
        std::lock_guard<std::mutex> lock(statsMutex_);
        stats_.push_back({result.index, m.from, result.seconds, m.bytes.size()});
      }
      pool_.Deliver(result.index, std::move(result.outcome));
    } else if (m.tag == Tag::Alive) {
      Reader reader(m.bytes);
      if (reader.I64() == run_) r->heard = Now();
    } else if (m.tag == Tag::Failure) {
      Reader reader(m.bytes);
      const int64_t run = reader.I64();
      const std::string why = reader.Text();
      if (run == run_)
        throw ChannelError("rank " + std::to_string(m.from) + " cannot search the run: " + why);
    }
    // Anything else (a Hello repeated, say) means nothing during a run.
  }

  // `now`: when this turn of the loop began (a pause since is found by the next turn).
  void CheckSilence(double now) {
    for (const Remote& r : remotes_) {
      if (!r.held.empty() && now - r.heard > settings_.silenceLimit)
        throw ChannelError("rank " + std::to_string(r.rank) + " has not been heard from for " +
                           std::to_string(static_cast<int64_t>(now - r.heard)) +
                           " s while searching parts of the run");
    }
  }

  // Appends the run's statistics to the file the settings name.
  void WriteStats() {
    if (settings_.statsPath.empty()) return;
    std::FILE* f = std::fopen(settings_.statsPath.c_str(), "a");
    if (!f) return;
    std::lock_guard<std::mutex> lock(statsMutex_);
    std::sort(stats_.begin(), stats_.end(),
              [](const PartStat& a, const PartStat& b) { return a.index < b.index; });
    std::fprintf(f, "run %lld parts %lld size %lld total %lld width %d wall %.6f waited %.6f\n",
                 static_cast<long long>(run_), static_cast<long long>(pool_.plan().parts),
                 static_cast<long long>(pool_.plan().partSize),
                 static_cast<long long>(pool_.plan().total), width(), Now() - began_, waited_);
    for (const PartStat& p : stats_)
      std::fprintf(f, "part %lld rank %d seconds %.6f bytes %zu\n", static_cast<long long>(p.index),
                   p.rank, p.seconds, p.bytes);
    std::fclose(f);
  }

  struct PartStat {
    int64_t index;
    int rank;
    double seconds;
    size_t bytes;
  };
  std::mutex statsMutex_;
  std::vector<PartStat> stats_;  // under statsMutex_
  double waited_ = 0;            // seconds the run waited in Take
  double began_ = 0;

  Channel& channel_;
  const ClusterSettings settings_;
  FunctionFactory factory_;
  const EvaluatorRecipe recipe_;
  std::vector<Remote> remotes_;  // touched by the messenger thread only during a run

  PartPool pool_;
  std::string order_;  // the run's RunOrder, encoded
  int64_t run_ = 0;
  bool running_ = false;
  std::atomic<bool> faulted_{false};  // the messages thread met a fault
  // Random: the trials of the parts out with the workers (the messages thread's own).
  std::map<int64_t, std::vector<std::vector<double>>> sentTrials_;
  std::vector<std::thread> locals_;
  std::thread messenger_;
};

}  // namespace

bool JobNews::Note(const Message& m) {
  if (m.tag != Tag::Signalled && m.tag != Tag::GiveUp) return false;
  Reader r(m.bytes);
  std::lock_guard<std::mutex> lock(mutex_);
  if (m.tag == Tag::Signalled) {
    const int signal = r.I32();
    signalled_[m.from] = {signal, r.Bool()};
  } else if (gaveUp_.first == 0) {
    gaveUp_ = {m.from, r.Text()};
  }
  return true;
}

void JobNews::Fault(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fault_.empty()) fault_ = text;
}

std::string JobNews::fault() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fault_;
}

std::pair<int, std::string> JobNews::gaveUp() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return gaveUp_;
}

std::map<int, std::pair<int, bool>> JobNews::signalled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return signalled_;
}

std::string HelloBytes(int defaultThreads) {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  Writer w;
  w.I32(defaultThreads);
  w.I64(getpid());
  w.Text(host);
  return w.Take();
}

std::vector<WorkerInfo> GreetWorkers(Channel& channel, double limit, JobNews& news,
                                     const std::function<bool()>& stop) {
  std::vector<WorkerInfo> workers;
  std::set<int> greeted;
  const double until = Now() + limit;
  Idle idle;
  while (static_cast<int>(greeted.size()) < channel.size() - 1) {
    Message m;
    if (channel.Poll(m)) {
      if (news.Note(m) || m.tag != Tag::Hello || m.from == 0 || greeted.count(m.from)) continue;
      Reader r(m.bytes);
      WorkerInfo w;
      w.rank = m.from;
      w.defaultThreads = std::max(1, r.I32());
      w.pid = r.I64();
      w.host = r.Text();
      greeted.insert(w.rank);
      workers.push_back(w);
      continue;
    }
    if (stop && stop()) break;
    if (Now() > until)
      throw ChannelError(std::to_string(channel.size() - 1 - static_cast<int>(greeted.size())) +
                         " of the " + std::to_string(channel.size() - 1) +
                         " worker ranks did not start within " +
                         std::to_string(static_cast<int64_t>(limit)) + " s");
    idle.Pause();
  }
  std::sort(workers.begin(), workers.end(),
            [](const WorkerInfo& a, const WorkerInfo& b) { return a.rank < b.rank; });
  return workers;
}

bool DismissWorkers(Channel& channel, const std::vector<WorkerInfo>& workers, double limit,
                    JobNews& news) {
  std::set<int> waiting;
  for (const WorkerInfo& w : workers) {
    channel.Send(w.rank, Tag::Quit, {});
    waiting.insert(w.rank);
  }
  const double until = Now() + limit;
  Idle idle;
  while (!waiting.empty()) {
    Message m;
    if (channel.Poll(m)) {
      if (m.tag == Tag::Bye) waiting.erase(m.from);
      news.Note(m);
      continue;
    }
    if (Now() > until) return false;
    idle.Pause();
  }
  return channel.Flush(limit);
}

std::unique_ptr<PartSearcher> MakeMpiSearcher(Channel& channel, std::vector<WorkerInfo> workers,
                                              const ClusterSettings& settings,
                                              FunctionFactory factory, EvaluatorRecipe recipe) {
  return std::make_unique<MpiSearcher>(channel, std::move(workers), settings, std::move(factory),
                                       std::move(recipe));
}

}  // namespace quorvant::cluster
