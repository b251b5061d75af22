#include "cluster/prove_spread.h"

#include <exception>
#include <string>

#include "cluster/prove_wire.h"

namespace quorvant::cluster {

namespace {

class Spreader {
 public:
  Spreader(Channel& channel, const std::vector<WorkerInfo>& workers,
           const ClusterSettings& settings, std::shared_ptr<const prove::EnclosureProgram> program,
           const prove::Box& box, const prove::ProveOptions& options)
      : channel_(channel),
        settings_(settings),
        program_(std::move(program)),
        box_(box),
        options_(options) {
    static int64_t proofs = 0;
    ProofOrder order;
    order.run = run_ = ++proofs;
    order.program = *program_;
    order.box = box;
    order.minWidth = options.minWidth;
    order.narrow = options.narrow;
    order.cut = options.cut;
    order.threads = settings.threadsRequested;
    const std::string bytes = EncodeProofOrder(order);
    for (const WorkerInfo& w : workers) {
      remotes_.push_back(
          {w.rank, settings.threadsRequested > 0 ? settings.threadsRequested : w.defaultThreads});
      channel_.Send(w.rank, Tag::Proof, bytes);
    }
  }

  ~Spreader() {
    Writer w;
    w.I64(run_);
    const std::string bytes = w.Take();
    try {
      for (const Remote& r : remotes_) channel_.Send(r.rank, Tag::EndRun, bytes);
    } catch (const std::exception&) {
      // A rank that is gone: the job ends anyway.
    }
  }

  bool Decide(std::vector<prove::Decision>& round, const std::function<bool()>& abandon) {
    try {
      return Spread(round, abandon);
    } catch (const std::exception& e) {
      if (settings_.news) settings_.news->Fault(e.what());
      return false;
    }
  }

 private:
  struct Remote {
    int rank = 0;
    int threads = 1;
    size_t first = 0, count = 0;  // the share of the round it holds
    bool holds = false;
    double heard = 0;
  };

  bool Spread(std::vector<prove::Decision>& round, const std::function<bool()>& abandon) {
    ++round_;
    // Shares in proportion to the threads, rank 0's first.
    int64_t width = settings_.localThreads;
    for (const Remote& r : remotes_) width += r.threads;
    const size_t n = round.size();
    size_t at = static_cast<size_t>((static_cast<int64_t>(n) * settings_.localThreads) / width);
    const size_t own = at;
    int64_t before = settings_.localThreads;
    const double now = Now();
    for (Remote& r : remotes_) {
      before += r.threads;
      const size_t end = static_cast<size_t>((static_cast<int64_t>(n) * before) / width);
      r.first = at;
      r.count = end - at;
      at = end;
      r.holds = r.count > 0;
      r.heard = now;
      if (!r.holds) continue;
      RoundShare share;
      share.run = run_;
      share.round = round_;
      share.first = static_cast<int64_t>(r.first);
      for (size_t i = r.first; i < r.first + r.count; ++i) share.boxes.push_back(round[i].box);
      channel_.Send(r.rank, Tag::Share, EncodeRoundShare(share));
    }
    prove::DecideRound(program_, box_, options_, std::span(round).first(own),
                       settings_.localThreads);
    Idle idle;
    double last = Now();
    for (;;) {
      bool waiting = false;
      for (const Remote& r : remotes_) waiting = waiting || r.holds;
      if (!waiting) return true;
      if (abandon()) return true;
      Message m;
      bool busy = false;
      while (channel_.Poll(m)) {
        busy = true;
        Receive(m, round);
      }
      // A pause of this process (stopped, frozen) is not the workers' silence.
      const double turn = Now();
      if (turn - last > 1.0)
        for (Remote& r : remotes_) r.heard = turn;
      last = turn;
      for (const Remote& r : remotes_)
        if (r.holds && turn - r.heard > settings_.silenceLimit)
          throw ChannelError("rank " + std::to_string(r.rank) + " has not been heard from for " +
                             std::to_string(static_cast<int64_t>(turn - r.heard)) +
                             " s while deciding sub-boxes of the proof");
      if (busy)
        idle.Busy();
      else
        idle.Pause();
    }
  }

  void Receive(const Message& m, std::vector<prove::Decision>& round) {
    if (settings_.news && settings_.news->Note(m)) return;
    Remote* r = nullptr;
    for (Remote& candidate : remotes_)
      if (candidate.rank == m.from) r = &candidate;
    if (!r) return;
    if (m.tag == Tag::Alive) {
      r->heard = Now();
    } else if (m.tag == Tag::Decided) {
      RoundShareResult result = DecodeRoundShareResult(m.bytes);
      if (result.run != run_ || result.round != round_) return;  // left over
      r->heard = Now();
      if (!r->holds || static_cast<size_t>(result.first) != r->first ||
          result.decisions.size() != r->count ||
          (r->count > 0 && result.decisions.front().box.size() != box_.size()))
        throw ChannelError("rank " + std::to_string(m.from) +
                           " returned sub-boxes of the proof it was not given");
      for (size_t i = 0; i < r->count; ++i) {
        prove::Decision& d = round[r->first + i];
        result.decisions[i].box = std::move(d.box);
        d = std::move(result.decisions[i]);
      }
      r->holds = false;
    } else if (m.tag == Tag::Failure) {
      Reader reader(m.bytes);
      const int64_t run = reader.I64();
      const std::string why = reader.Text();
      if (run == run_)
        throw ChannelError("rank " + std::to_string(m.from) + " cannot decide the proof: " + why);
    }
  }

  Channel& channel_;
  const ClusterSettings settings_;
  std::shared_ptr<const prove::EnclosureProgram> program_;
  prove::Box box_;
  prove::ProveOptions options_;
  std::vector<Remote> remotes_;
  int64_t run_ = 0;
  int64_t round_ = 0;
};

}  // namespace

void SpreadProof(Channel& channel, const std::vector<WorkerInfo>& workers,
                 const ClusterSettings& settings,
                 std::shared_ptr<const prove::EnclosureProgram> program, const prove::Box& box,
                 prove::ProveOptions& options) {
  auto spreader =
      std::make_shared<Spreader>(channel, workers, settings, std::move(program), box, options);
  options.decideRound = [spreader](std::vector<prove::Decision>& round,
                                   const std::function<bool()>& abandon) {
    return spreader->Decide(round, abandon);
  };
}

}  // namespace quorvant::cluster
