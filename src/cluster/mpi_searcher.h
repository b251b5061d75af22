// Rank 0's side of a search across an MPI job: the run's parts handed out on demand to
// the worker ranks (and to threads of rank 0 itself), their outcomes taken back with
// their part numbers for the run to commit in order. The workers' side is in
// worker.h.
//
// The protocol: every worker says Hello (its default number of threads) once it
// starts. A run sends each worker the Run (problem, options, evaluator's recipe, the
// cut into parts), then Parts one at a time: a worker holds at most its threads + 1
// parts not yet returned, and gets the next one as it returns a Result, while the
// parts handed out stay within the run's window beyond the last part committed. While
// a run lasts a worker says Alive once a second; one silent for longer than the
// silence limit while it holds parts ends the run (the listing so far and the caption,
// then the message). Rank 0 says Alive to every worker once a second from its start to
// Quit, and a worker that does not hear from it for longer than the limit ends the job,
// saying so to rank 0 first (GiveUp). A worker that catches a stop signal tells rank 0
// (Signalled). At the end of the run each worker is sent EndRun; when the program is
// done, Quit, which each answers with Bye.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cluster/channel.h"
#include "engine/part_searcher.h"
#include "engine/search_engine.h"
#include "model/function_evaluator.h"

namespace quorvant::cluster {

struct WorkerInfo {
  int rank = 0;
  int defaultThreads = 1;  // what it searches with unless told a number
  int64_t pid = 0;         // its process, on
  std::string host;        // the machine it runs on
};

// What the job learns of its own end, from whichever thread polls the channel: the
// stop signals the workers caught, a worker that gave up on rank 0, the fault that
// ended a run.
class JobNews {
 public:
  // Keeps what a Signalled or GiveUp message says; false for other messages.
  bool Note(const Message& m);
  void Fault(const std::string& text);
  std::string fault() const;
  // Rank and reason of the worker that gave up on rank 0 (rank 0: none did).
  std::pair<int, std::string> gaveUp() const;
  // The workers that caught a stop signal: rank -> (signal, sent by its launcher).
  std::map<int, std::pair<int, bool>> signalled() const;

 private:
  mutable std::mutex mutex_;
  std::string fault_;
  std::pair<int, std::string> gaveUp_{0, {}};
  std::map<int, std::pair<int, bool>> signalled_;
};

// The Hello a worker sends: its default threads, process and machine.
std::string HelloBytes(int defaultThreads);

// Waits for the Hello of every other rank (at most `limit` seconds; then ChannelError),
// or until `stop` turns true: then returns those that said it.
std::vector<WorkerInfo> GreetWorkers(Channel& channel, double limit, JobNews& news,
                                     const std::function<bool()>& stop = {});

// Tells every worker there are no more runs and waits (at most `limit` seconds) for
// each to answer; messages of a run that ended are dropped. False when some did not
// answer.
bool DismissWorkers(Channel& channel, const std::vector<WorkerInfo>& workers, double limit,
                    JobNews& news);

struct ClusterSettings {
  int threadsRequested = 0;  // per rank; 0: each rank's default
  int localThreads = 1;      // rank 0's own search threads
  double silenceLimit = 30;  // seconds a worker holding parts may stay silent
  // When set, each run appends to this file who searched which part and how long it
  // took, how long rank 0 waited for outcomes and the run's wall-clock time.
  std::string statsPath;
  // Where the fault that ends a run is told (it ends like a stopped run).
  JobNews* news = nullptr;
};

// The searcher of rank 0. `factory` and `recipe` describe the run's evaluator.
std::unique_ptr<PartSearcher> MakeMpiSearcher(Channel& channel, std::vector<WorkerInfo> workers,
                                              const ClusterSettings& settings,
                                              FunctionFactory factory, EvaluatorRecipe recipe);

}  // namespace quorvant::cluster
