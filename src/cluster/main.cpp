// quorvant-mpi: quorvant-cli across the ranks of an MPI job. Rank 0 is the runner
// itself (the same parsing, messages, listing, exit statuses and saved file); it hands
// the parts of a search to the other ranks and to threads of its own, and commits what
// they give in order. The other ranks only search.
#include <mpi.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "cli/plot_module.h"
#include "cli/stop_signals.h"
#include "cluster/channel.h"
#include "cluster/mpi_searcher.h"
#include "cluster/worker.h"

namespace {

constexpr const char* kProgram = "quorvant-mpi";
constexpr int kExitFault = 4;  // the job could not go on (a rank gone, MPI failing)

void Say(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", kProgram, text.c_str());
  std::fflush(stderr);
}

// Ends the whole job at once: a fault no rank can repair.
[[noreturn]] void Abort(const std::string& text) {
  Say(text);
  std::fflush(stdout);
  MPI_Abort(MPI_COMM_WORLD, kExitFault);
  std::_Exit(kExitFault);
}

// Whether what the descriptor `fd` of this process stands for reaches a terminal. Under
// a local mpirun, rank 0's stdout is a pseudo-terminal and its stderr a pipe, both
// mpirun's, whatever mpirun's own are: then mpirun's descriptor tells. Only the names of
// what they are open on are read; nothing is opened.
std::string LinkOf(const std::string& path) {
  char target[256];
  const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
  return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

bool ReachesTerminal(int fd) {
  const std::string parent = "/proc/" + std::to_string(getppid());
  const std::string exe = LinkOf(parent + "/exe");
  const std::string launcher = exe.substr(exe.find_last_of('/') + 1);
  if (launcher != "orterun" && launcher != "mpirun" && launcher != "mpiexec" &&
      launcher != "prterun")
    return isatty(fd);
  const std::string name = LinkOf(parent + "/fd/" + std::to_string(fd));
  return name.rfind("/dev/pts/", 0) == 0 || name.rfind("/dev/tty", 0) == 0;
}

// Seconds a worker holding parts may stay silent before the run is given up:
// QUORVANT_MPI_SILENCE_LIMIT, else 30.
double SilenceLimit() {
  if (const char* v = std::getenv("QUORVANT_MPI_SILENCE_LIMIT")) {
    const double limit = std::atof(v);
    if (limit > 0) return limit;
  }
  return 30;
}

int RankZero(quorvant::cluster::Channel& channel, const std::vector<std::string>& args) {
  using namespace quorvant;
  CatchStopSignals();
  CliHost host;
  host.program = kProgram;
  host.plot = RenderWithPlotModule;
  host.stopSignal = CaughtStopSignal;
  if (ReachesTerminal(STDERR_FILENO)) {
    host.progress = stderr;
    host.resultsShareTerminal = ReachesTerminal(STDOUT_FILENO);
  }
  std::optional<std::vector<cluster::WorkerInfo>> workers;
  const double silence = SilenceLimit();
  if (channel.size() > 1) {
    host.searcher = [&](const FunctionEvaluator& evaluator, int threads) {
      if (!workers) workers = cluster::GreetWorkers(channel, silence);
      cluster::ClusterSettings settings;
      settings.threadsRequested = threads;
      settings.localThreads = threads > 0 ? threads : cluster::DefaultThreads();
      settings.silenceLimit = silence;
      if (const char* stats = std::getenv("QUORVANT_MPI_STATS")) settings.statsPath = stats;
      return cluster::MakeMpiSearcher(channel, *workers, settings, evaluator.Copies(),
                                      evaluator.Recipe());
    };
  }
  int status = 0;
  try {
    status = RunCli(args, stdout, stderr, host);
  } catch (const std::exception& e) {
    Abort(std::string(e.what()) + ". The job ends; the listing above holds what was committed.");
  }
  std::fflush(stdout);
  std::fflush(stderr);
  // Whatever the command was, the workers learn that nothing more is coming.
  if (channel.size() > 1) {
    try {
      if (!workers) workers = cluster::GreetWorkers(channel, silence);
      if (!cluster::DismissWorkers(channel, *workers, silence))
        Abort("some worker ranks did not finish when told to");
    } catch (const std::exception& e) {
      Abort(e.what());
    }
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  int provided = 0;
  if (MPI_Init_thread(&argc, &argv, MPI_THREAD_SERIALIZED, &provided) != MPI_SUCCESS) {
    Say("MPI could not be started");
    return kExitFault;
  }
  // Rank 0 talks to the workers from a thread of its own while the run commits on the
  // main thread: one at a time, never at once.
  if (provided < MPI_THREAD_SERIALIZED)
    Abort("this MPI library cannot be used from more than one thread, one at a time");
  int status = 0;
  try {
    quorvant::cluster::Channel channel;
    if (channel.rank() == 0) {
      status = RankZero(channel, std::vector<std::string>(argv + 1, argv + argc));
    } else {
      // mpirun passes SIGINT and SIGTERM on to every rank as SIGTERM, and kills the job
      // at once when a rank dies of it: a worker waits for rank 0 to end the run (it
      // was signalled too, and lists what it has), for a moment at most.
      quorvant::CatchStopSignals();
      if (const int signal =
              quorvant::cluster::ServeAsWorker(channel, quorvant::CaughtStopSignal)) {
        std::fflush(stderr);
        std::_Exit(128 + signal);
      }
    }
  } catch (const std::exception& e) {
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    Abort("rank " + std::to_string(rank) + ": " + e.what());
  }
  MPI_Finalize();
  return status;
}
