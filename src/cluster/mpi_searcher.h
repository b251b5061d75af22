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
// silence limit while it holds parts ends the run with an error. At the end of the
// run each worker is sent EndRun; when the program is done, Quit, which each answers
// with Bye.
#pragma once

#include <memory>
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
};

// Waits for the Hello of every other rank (at most `limit` seconds; then ChannelError).
std::vector<WorkerInfo> GreetWorkers(Channel& channel, double limit);

// Tells every worker there are no more runs and waits (at most `limit` seconds) for
// each to answer; messages of a run that ended are dropped. False when some did not
// answer.
bool DismissWorkers(Channel& channel, const std::vector<WorkerInfo>& workers, double limit);

struct ClusterSettings {
  int threadsRequested = 0;  // per rank; 0: each rank's default
  int localThreads = 1;      // rank 0's own search threads
  double silenceLimit = 30;  // seconds a worker holding parts may stay silent
  // When set, each run appends to this file who searched which part and how long it
  // took, how long rank 0 waited for outcomes and the run's wall-clock time.
  std::string statsPath;
};

// The searcher of rank 0. `factory` and `recipe` describe the run's evaluator.
std::unique_ptr<PartSearcher> MakeMpiSearcher(Channel& channel, std::vector<WorkerInfo> workers,
                                              const ClusterSettings& settings,
                                              FunctionFactory factory, EvaluatorRecipe recipe);

}  // namespace quorvant::cluster
