// The headless runner's work, apart from the process: parse the arguments, run the
// command, write to the given streams, return the exit status.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/run_hooks.h"
#include "model/problem.h"

namespace quorvant {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;        // bad usage, or a file that cannot be read
inline constexpr int kExitScriptError = 3;  // the interpreter reported an error

// Draws the plot of `problem` (its stored extrema, and the other stationary points of a
// run made by the same command) into a PNG file; returns an empty text, or what went
// wrong. Builds with the plot library provide one.
using PlotRenderer = std::function<std::string(
    const Problem& problem, const std::vector<StationaryPoint>& points, const std::string& path)>;

inline constexpr int kExitStopped = 1;  // the run was stopped by SIGINT or SIGTERM

class FunctionEvaluator;
class PartSearcher;
namespace prove {
struct EnclosureProgram;
struct Interval;
struct ProveOptions;
}  // namespace prove

// What the program around the runner gives it, beyond its streams.
struct CliHost {
  // The program's name: it begins every message and the usage.
  std::string program = "quorvant-cli";
  PlotRenderer plot;
  // The signal that asked the run to stop (SIGINT, SIGTERM), or 0; polled by the run.
  // A stopped run lists what it had found, says it was stopped and ends with
  // kExitStopped.
  std::function<int()> stopSignal;
  // What a stopped run says on stderr after the program's name, and the status it ends
  // with, given the signal that stopped it (0: none, the searcher ended the run); empty:
  // "the run was stopped by SIGNAL: ..." and kExitStopped.
  struct StopReport {
    std::string message;
    int status = kExitStopped;
  };
  std::function<StopReport(int signal)> stopReport;
  // Makes what searches the run's parts ahead of time (other processes), given the
  // run's evaluator and the threads asked for (0: one per core); the run's own threads
  // do when this is empty. Called once the problem is loaded, before the run.
  std::function<std::unique_ptr<PartSearcher>(const FunctionEvaluator& evaluator, int threads)>
      searcher;
  // Spreads a proof over other processes: given its compiled formula, its box and the
  // threads asked for (0: one per core), it may set the options' decider of rounds
  // (ProveOptions::decideRound); empty: the run's own threads decide them. Called once
  // the formula is compiled, before the proof.
  std::function<void(std::shared_ptr<const prove::EnclosureProgram> program,
                     const std::vector<prove::Interval>& box, int threads,
                     prove::ProveOptions& options)>
      prover;
  // Where the progress of a search goes (stderr when it is a terminal), at most once a
  // second, overwritten in place and erased at the end of the run; null: nowhere.
  std::FILE* progress = nullptr;
  // The results reach the terminal the progress is on (stdout is that terminal too):
  // the progress line is then erased before every line of results, which would
  // otherwise be written after it.
  bool resultsShareTerminal = false;
  // Seconds on a steady clock, for the progress (empty: the system's steady clock).
  std::function<double()> clock;
  // What --version says of MPI: empty for a program that runs in one process, else the
  // MPI library the program runs on.
  std::string mpi;
};

int RunCli(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
           const CliHost& host);
int RunCli(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
           const PlotRenderer& plot = {});

// The progress line of a run: `done` of `total` grid points (or trials), the starting
// points found, and the time left estimated from the `elapsed` seconds so far.
std::string ProgressLine(bool explore, int64_t done, int64_t total, int64_t starts, double elapsed);

}  // namespace quorvant
