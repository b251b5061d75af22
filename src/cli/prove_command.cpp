#include "cli/prove_command.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "cli/cli_output.h"
#include "cli/terminal_line.h"
#include "docs/problem_file.h"
#include "model/function_evaluator.h"
#include "model/text_safety.h"
#include "prove/enclosure.h"
#include "prove/prove_listing.h"
#include "prove/prover.h"

namespace quorvant {

namespace {

std::string Plural(int64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The progress of the proof on the terminal, at most once a second, erased at the end.
class Progress {
 public:
  Progress(std::FILE* file, std::function<double()> clock) : line_(file, std::move(clock)) {}
  void Report(const prove::ProveProgress& p) {
    if (!line_.Due()) return;
    line_.Show(std::to_string(p.boxes) + " sub-boxes examined, " + std::to_string(p.waiting) +
               " waiting, " + Plural(p.proven, "proof", "proofs") +
               " of a single stationary point");
  }
  void Erase() { line_.Erase(); }

 private:
  TerminalLine line_;
};

std::string SignalName(int signal) {
  if (signal == SIGINT) return "SIGINT";
  if (signal == SIGTERM) return "SIGTERM";
  return "signal " + std::to_string(signal);
}

}  // namespace

bool ProveAvailable() {
  return true;
}

int RunProveCommand(Problem& problem, const std::string& file, const FileStamp& stamp,
                    FunctionEvaluator& evaluator, int threads, const ProveBudget& budget, bool save,
                    std::FILE* out, std::FILE* err, const CliHost& host) {
  const std::string fileName = Printable(file);
  const prove::CompiledEnclosure compiled =
      prove::CompileEnclosure(evaluator, problem.varNames, problem.formula);
  if (!compiled.program) {
    Message(host, err, fileName + ": Prove refuses this formula: " + compiled.refusal);
    return kExitUsage;
  }
  prove::Box box;
  if (const std::string why = prove::SearchBox(problem, box); !why.empty()) {
    Message(host, err, fileName + ": " + why);
    return kExitUsage;
  }

  Progress progress(host.progress, host.clock);
  int stopSignal = 0;
  prove::ProveOptions options;
  options.threads =
      threads > 0 ? threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  if (budget.maxBoxes) options.maxBoxes = *budget.maxBoxes;
  if (budget.seconds) options.maxSeconds = *budget.seconds;
  if (budget.minWidth) options.minWidth = *budget.minWidth;
  options.stop = [&] {
    if (stopSignal == 0 && host.stopSignal) stopSignal = host.stopSignal();
    return stopSignal != 0;
  };
  options.progress = [&](const prove::ProveProgress& p) { progress.Report(p); };
  if (host.prover) host.prover(compiled.program, box, threads, options);
  const prove::ProveResult result = prove::Prove(compiled.program, box, options);
  progress.Erase();

  // The listing goes out in one piece at the end: line by line, through an MPI
  // launcher's forwarding, thousands of lines take seconds, and a launcher that ends
  // the job on Ctrl+C would cut them short.
  char* held = nullptr;
  size_t heldSize = 0;
  std::FILE* memory = open_memstream(&held, &heldSize);
  Output lines(memory ? memory : out);
  const prove::ProofCounts counts =
      prove::ListProof(problem, result, [&lines](std::string_view line) { lines.Line(line); });

  int code = lines.Finish();
  if (memory) {
    std::fclose(memory);
    Output whole(out);
    if (code == 0) whole.Text(std::string_view(held, heldSize));
    std::free(held);
    if (code == 0) code = whole.Finish();
  }
  int status = kExitOk;
  if (result.end == prove::ProveEnd::Stopped) {
    status = kExitStopped;
    if (host.stopReport) {
      // Across an MPI job: what ended the job (a rank gone, say) is said, with its status.
      const CliHost::StopReport report = host.stopReport(stopSignal);
      Message(host, err, report.message);
      status = report.status;
    } else {
      Message(host, err,
              "the proof was stopped by " + SignalName(stopSignal) +
                  ": the listing holds what was proven before it.");
    }
  }
  if (code != 0) {
    Message(host, err, "cannot write the results to standard output: " + FileErrorReason(code));
    return kExitUsage;
  }
  if (!save) return status;
  if (status == kExitStopped) {
    Message(host, err, fileName + " was not saved: the proof was stopped.");
    return status;
  }
  prove::StoreProvenExtrema(result, problem);
  if (counts.maxima > kStoreSize || counts.minima > kStoreSize)
    Message(host, err,
            fileName + " keeps the first " + std::to_string(kStoreSize) +
                " of each kind (in the listing's order): " +
                Plural(counts.maxima, "maximum", "maxima") + " and " +
                Plural(counts.minima, "minimum", "minima") + " were proven.");
  const SaveResult saved = SaveProblemFile(file, problem, stamp);
  if (saved.outcome == SaveResult::Outcome::ChangedOnDisk) {
    Message(host, err,
            fileName + " was not saved: " + saved.reason +
                ". Run the command again to work on its new contents.");
    return kExitUsage;
  }
  if (!saved.ok()) {
    Message(host, err, saved.reason);
    return kExitUsage;
  }
  return status;
}

}  // namespace quorvant
