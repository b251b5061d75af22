#include "cluster/worker.h"

#include <sched.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "cluster/mpi_searcher.h"
#include "cluster/wire.h"
#include "engine/grid.h"
#include "engine/search_engine.h"
#include "model/function_evaluator.h"
#if QUORVANT_CLUSTER_PROVE
#include "cluster/prove_wire.h"
#include "prove/prover.h"
#endif

namespace quorvant::cluster {

namespace {

// The parts of one run on this rank's threads.
class Crew {
 public:
  Crew(const RunOrder& order, int threads) : order_(order) {
    if (order_.options.mode == SearchOptions::Mode::Explore)
      grid_ = std::make_unique<Grid>(order_.problem);
    factory_ = FunctionEvaluator::CopiesOf(order_.recipe);
    for (int t = 0; t < threads; ++t) threads_.emplace_back([this] { Work(); });
  }
  ~Crew() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  void Add(PartOrder part) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(std::move(part));
    }
    changed_.notify_one();
  }

  // Results ready to send, and the failure that keeps this rank from searching, if any.
  std::vector<PartResult> Finished(std::string& failure) {
    std::lock_guard<std::mutex> lock(mutex_);
    failure = failure_;
    std::vector<PartResult> out;
    out.swap(finished_);
    return out;
  }

 private:
  void Work() {
    std::unique_ptr<PointFunction> function;
    std::unique_ptr<SearchPart> part;
    try {
      function = factory_();
      part = std::make_unique<SearchPart>(order_.problem, grid_.get(), *function,
                                          [this] { return stop_.load(std::memory_order_relaxed); });
    } catch (const std::exception& e) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (failure_.empty()) failure_ = e.what();
      return;
    }
    for (;;) {
      PartOrder order;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        order = std::move(queue_.front());
        queue_.pop_front();
      }
      PartResult result;
      result.run = order.run;
      result.index = order.index;
      const double start = Now();
      try {
        result.outcome = SearchAhead(*part, order.range, std::move(order.trials));
      } catch (const std::exception& e) {
        // Out of memory, say: rank 0 hears that this rank cannot search the run, and the
        // job ends with the reason instead of losing this process.
        std::lock_guard<std::mutex> lock(mutex_);
        if (failure_.empty()) failure_ = e.what();
        return;
      }
      result.seconds = Now() - start;
      // The trials stay with rank 0, which drew them.
      result.outcome.trials.clear();
      std::lock_guard<std::mutex> lock(mutex_);
      finished_.push_back(std::move(result));
    }
  }

  const RunOrder& order_;
  std::unique_ptr<Grid> grid_;
  std::function<std::unique_ptr<PointFunction>()> factory_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<PartOrder> queue_;
  std::vector<PartResult> finished_;
  std::string failure_;
  std::vector<std::thread> threads_;
};

std::string RunNumberAnd(int64_t run, const std::string& text) {
  Writer w;
  w.I64(run);
  w.Text(text);
  return w.Take();
}

int64_t RunNumberOf(const Message& m) {
  Reader r(m.bytes);
  return r.I64();
}

// Keeps time after a stop signal (telling rank 0 of it at once), and watches rank 0's
// silence.
struct Signals {
  Channel& channel;
  const std::function<int()>& caught;
  const std::function<bool()>& fromLauncher;
  double silenceLimit;
  double since = -1;      // when the signal was first seen
  double heard = Now();   // when rank 0 was last heard from
  double turned = Now();  // when this process last looked
  // The signal, once rank 0 has had its moment to end the run; else 0.
  int Expired() {
    const int signal = caught ? caught() : 0;
    if (signal == 0) return 0;
    if (since < 0) {
      since = Now();
      Writer w;
      w.I32(signal);
      w.Bool(fromLauncher && fromLauncher());
      channel.Send(0, Tag::Signalled, w.Take());
    }
    return Now() - since > kSignalGrace ? signal : 0;
  }
  bool Seen() const { return since >= 0; }
  void Heard(const Message& m) {
    if (m.from == 0) heard = Now();
  }
  // Ends the job when rank 0 has been silent too long; a pause of this process (stopped,
  // frozen) is not rank 0's silence.
  void WatchRankZero() {
    const double now = Now();
    if (now - turned > 1.0) heard = now;
    turned = now;
    if (now - heard <= silenceLimit) return;
    const std::string why = "rank 0 has not been heard from for " +
                            std::to_string(static_cast<int64_t>(now - heard)) + " s";
    Writer w;
    w.Text(why);
    channel.Send(0, Tag::GiveUp, w.Take());
    channel.Flush(0.5);
    throw ChannelError(why + ": the job ends");
  }
};

enum class Served { RunEnded, Quit, Signalled };

// The loop every kind of run shares, until rank 0 ends run `run` or says Quit, or a stop
// signal's grace runs out: `work()` does what is due (true when it sent a result) and
// `take(m)` handles a message of the run's own kind (true when it sent a result); rank 0
// hears Alive after every second in which nothing was sent, so it knows this rank lives.
template <typename Work, typename Take>
Served ServeRun(Channel& channel, int64_t run, Signals& signals, Work work, Take take) {
  double said = Now();
  Idle idle;
  for (;;) {
    if (signals.Expired()) return Served::Signalled;
    signals.WatchRankZero();
    bool busy = false;
    if (work()) {
      busy = true;
      said = Now();
    }
    Message m;
    while (channel.Poll(m)) {
      busy = true;
      signals.Heard(m);
      if (m.tag == Tag::EndRun) {
        if (RunNumberOf(m) == run) return Served::RunEnded;
      } else if (m.tag == Tag::Quit) {
        return Served::Quit;
      } else if (take(m)) {
        said = Now();
      }
    }
    if (Now() - said >= 1.0) {
      channel.Send(0, Tag::Alive, RunNumberAnd(run, {}));
      said = Now();
    }
    if (busy)
      idle.Busy();
    else
      idle.Pause();
  }
}

// Searches one run's parts until rank 0 ends the run or says Quit, or a stop signal's
// grace runs out.
Served Serve(Channel& channel, const RunOrder& order, Signals& signals) {
  const int threads = order.options.threads > 0 ? order.options.threads : DefaultThreads();
  std::unique_ptr<Crew> crew;
  std::string failure;
  bool failed = false;
  try {
    crew = std::make_unique<Crew>(order, threads);
  } catch (const std::exception& e) {
    failure = e.what();
  }
  const auto work = [&] {
    // Rank 0 does not need what is searched after a signal: it stops too, or the job
    // ends.
    if (signals.Seen()) crew.reset();
    bool sent = false;
    if (crew && !failed) {
      for (PartResult& r : crew->Finished(failure)) {
        channel.Send(0, Tag::Result, EncodePartResult(r));
        sent = true;
      }
    }
    if (!failure.empty() && !failed) {
      failed = true;
      channel.Send(0, Tag::Failure, RunNumberAnd(order.run, failure));
    }
    return sent;
  };
  const auto take = [&](const Message& m) {
    if (m.tag == Tag::Part) {
      PartOrder part = DecodePartOrder(m.bytes);
      if (part.run == order.run && crew && !failed) crew->Add(std::move(part));
    }
    return false;
  };
  return ServeRun(channel, order.run, signals, work, take);
}

#if QUORVANT_CLUSTER_PROVE
// Decides the shares of one proof's rounds rank 0 hands this rank, until rank 0 ends the
// proof or says Quit, or a stop signal's grace runs out.
Served ServeProof(Channel& channel, const ProofOrder& order, Signals& signals) {
  auto program = std::make_shared<const prove::EnclosureProgram>(order.program);
  prove::ProveOptions options;
  options.minWidth = order.minWidth;
  options.narrow = order.narrow;
  options.cut = order.cut;
  const int threads = order.threads > 0 ? order.threads : DefaultThreads();
  const auto take = [&](const Message& m) {
    if (m.tag != Tag::Share) return false;
    // Rank 0 does not need what is decided after a signal: it stops too, or the job ends.
    RoundShare share = DecodeRoundShare(m.bytes);
    if (share.run != order.run || signals.Seen()) return false;
    RoundShareResult result;
    result.run = share.run;
    result.round = share.round;
    result.first = share.first;
    result.decisions.resize(share.boxes.size());
    try {
      for (size_t i = 0; i < share.boxes.size(); ++i) {
        if (share.boxes[i].size() != order.box.size())
          throw WireError("a share of the proof holds boxes that are not the formula's");
        result.decisions[i].box = std::move(share.boxes[i]);
      }
      prove::DecideRound(program, order.box, options, result.decisions, threads);
    } catch (const std::exception& e) {
      channel.Send(0, Tag::Failure, RunNumberAnd(order.run, e.what()));
      return false;
    }
    channel.Send(0, Tag::Decided, EncodeRoundShareResult(result));
    return true;
  };
  return ServeRun(
      channel, order.run, signals, [] { return false; }, take);
}
#endif

}  // namespace

int DefaultThreads() {
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  int cpus = cores;
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0) cpus = std::max(1, CPU_COUNT(&set));
  // Ranks that are not bound share the machine's processors.
  if (cpus >= cores) {
    int local = 1;
    for (const char* name :
         {"OMPI_COMM_WORLD_LOCAL_SIZE", "MPI_LOCALNRANKS", "SLURM_NTASKS_PER_NODE"}) {
      if (const char* v = std::getenv(name)) {
        local = std::max(1, std::atoi(v));
        break;
      }
    }
    cpus = std::max(1, cpus / local);
  }
  return cpus;
}

int ServeAsWorker(Channel& channel, const std::function<int()>& stopSignal,
                  const std::function<bool()>& fromLauncher, double silenceLimit) {
  Signals signals{channel, stopSignal, fromLauncher, silenceLimit};
  channel.Send(0, Tag::Hello, HelloBytes(DefaultThreads()));
  Idle idle;
  for (;;) {
    if (const int signal = signals.Expired()) return signal;
    signals.WatchRankZero();
    Message m;
    if (!channel.Poll(m)) {
      idle.Pause();
      continue;
    }
    idle.Busy();
    signals.Heard(m);
    if (m.tag == Tag::Quit) break;
#if QUORVANT_CLUSTER_PROVE
    if (m.tag == Tag::Proof) {
      const Served served = ServeProof(channel, DecodeProofOrder(m.bytes), signals);
      if (served == Served::Signalled) return signals.Expired();
      if (served == Served::Quit) break;
      continue;
    }
#endif
    if (m.tag != Tag::Run) continue;  // what is left of a run that ended
    const RunOrder order = DecodeRunOrder(m.bytes);
    const Served served = Serve(channel, order, signals);
    if (served == Served::Signalled) return signals.Expired();
    if (served == Served::Quit) break;
  }
  channel.Send(0, Tag::Bye, {});
  channel.Flush(10.0);
  return 0;
}

}  // namespace quorvant::cluster
