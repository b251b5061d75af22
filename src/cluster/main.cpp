// quorvant-mpi: quorvant-cli across the ranks of an MPI job. Rank 0 is the runner
// itself (the same parsing, messages, listing, exit statuses and saved file); it hands
// the parts of a search to the other ranks and to threads of its own, and commits what
// they give in order. The other ranks only search.
#include <mpi.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_runner.h"
#include "cli/plot_module.h"
#include "cli/stop_signals.h"
#include "cluster/channel.h"
#include "cluster/mpi_searcher.h"
#include "cluster/worker.h"
#if QUORVANT_CLUSTER_PROVE
#include "cluster/prove_spread.h"
#endif

namespace {

constexpr const char* kProgram = "quorvant-mpi";
constexpr int kExitFault = 4;  // the job could not go on (a rank gone, MPI failing)

// The process that started this one (mpirun, its daemon on this machine, srun's step
// daemon): the one that sends every rank SIGTERM when it ends the job.
pid_t launcher = 0;

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

// The name of the launcher's program, as the messages call it.
std::string LauncherName() {
  const std::string exe = LinkOf("/proc/" + std::to_string(launcher) + "/exe");
  const std::string name = exe.substr(exe.find_last_of('/') + 1);
  if (name == "orterun" || name == "prterun" || name == "mpiexec") return "mpirun";
  return name.empty() ? "the launcher" : name;
}

bool SentByLauncher() {
  return launcher > 1 && quorvant::CaughtStopSender() == launcher;
}

std::string SignalName(int signal) {
  if (signal == SIGINT) return "SIGINT";
  if (signal == SIGTERM) return "SIGTERM";
  return "signal " + std::to_string(signal);
}

// Whether process `pid` of this machine is still running (a zombie is not).
bool Running(int64_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const size_t paren = line.rfind(')');
  return paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] != 'Z' &&
         line[paren + 2] != 'X';
}

std::string HostName() {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  return host;
}

// Rank 0 says Alive to every worker once a second, from its start until the workers
// are dismissed: a worker that stops hearing it ends the job.
class Pulse {
 public:
  explicit Pulse(quorvant::cluster::Channel& channel) : channel_(channel) {
    if (channel_.size() > 1) thread_ = std::thread([this] { Beat(); });
  }
  ~Pulse() { Stop(); }
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

 private:
  void Beat() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!changed_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; })) {
      try {
        for (int r = 1; r < channel_.size(); ++r)
          channel_.Send(r, quorvant::cluster::Tag::Alive, {});
      } catch (const std::exception&) {
        return;  // MPI failing: the run meets it too, and says so
      }
    }
  }
  quorvant::cluster::Channel& channel_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  std::thread thread_;
};

// What ended a run that ended early, said after the listing and its caption: a fault
// of the job, a worker that gave up on rank 0, a rank that ended (the launcher then
// ends the job), the launcher ending the job, or a signal sent to rank 0 itself.
quorvant::CliHost::StopReport ExplainStop(
    quorvant::cluster::Channel& channel,
    const std::optional<std::vector<quorvant::cluster::WorkerInfo>>& workers,
    quorvant::cluster::JobNews& news, int signal) {
  using namespace quorvant::cluster;
  const std::string listing = "the listing holds what was found before it.";
  if (const std::string fault = news.fault(); !fault.empty())
    return {fault + ". The job ends; " + listing, kExitFault};
  const bool fromLauncher = signal != 0 && SentByLauncher();
  // The workers that are still there say so when the launcher's signal reaches them;
  // those on this machine are looked at. A moment is given to those elsewhere.
  std::set<int> heard;
  const std::string here = HostName();
  auto accounted = [&](int rank) {
    if (heard.count(rank) || news.signalled().count(rank)) return true;
    if (workers)
      for (const WorkerInfo& w : *workers)
        if (w.rank == rank && w.host == here) return true;
    return false;
  };
  const double until = Now() + (fromLauncher ? 0.3 : 0.0);
  Idle idle;
  for (;;) {
    Message m;
    try {
      // (What arrives is read for a moment at most: rank 0 has little time left.)
      if (Now() < until + 0.2 && channel.Poll(m)) {
        news.Note(m);
        heard.insert(m.from);
        continue;
      }
    } catch (const std::exception&) {
      break;
    }
    if (news.gaveUp().first != 0 || Now() >= until) break;
    bool all = true;
    for (int r = 1; r < channel.size() && all; ++r) all = accounted(r);
    if (all) break;
    idle.Pause();
  }
  if (const auto [rank, why] = news.gaveUp(); rank != 0)
    return {"rank " + std::to_string(rank) + " ended the job: " + why + ": " + listing, kExitFault};
  if (signal == 0) return {"the run was stopped: " + listing, quorvant::kExitStopped};
  if (!fromLauncher)
    return {"the run was stopped by " + SignalName(signal) + ": " + listing,
            quorvant::kExitStopped};
  // The launcher ends the job: because a rank ended, or because it was told to.
  std::string ended;
  const auto signalled = news.signalled();
  for (int r = 1; r < channel.size(); ++r) {
    const WorkerInfo* info = nullptr;
    if (workers)
      for (const WorkerInfo& w : *workers)
        if (w.rank == r) info = &w;
    std::string what;
    const auto caught = signalled.find(r);
    if (info && info->host == here) {
      if (!Running(info->pid)) {
        what = "rank " + std::to_string(r) + " (process " + std::to_string(info->pid) + ")";
        what += caught != signalled.end() && !caught->second.second
                    ? " ended on " + SignalName(caught->second.first)
                    : " is gone";
      }
    } else if (caught == signalled.end() && !heard.count(r)) {
      what = info ? "rank " + std::to_string(r) + " (on " + info->host + ") did not answer"
                  : "rank " + std::to_string(r) + " ended before it was heard from";
    }
    if (!what.empty()) ended += (ended.empty() ? "" : ", ") + what;
  }
  const std::string name = LauncherName();
  if (!ended.empty())
    return {
        "the run was stopped: a rank ended: " + ended + "; " + name + " ends the job: " + listing,
        kExitFault};
  return {"the run was stopped by " + SignalName(signal) + " from " + name + ", which ends the " +
              "job when it is interrupted (SIGINT, Ctrl+C) or terminated: " + listing,
          quorvant::kExitStopped};
}

// Seconds a worker holding parts, or rank 0, may stay silent before the job is given
// up: QUORVANT_MPI_SILENCE_LIMIT, else 30.
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
  Pulse pulse(channel);
  cluster::JobNews news;
  CliHost host;
  host.program = kProgram;
  {
    char library[MPI_MAX_LIBRARY_VERSION_STRING];
    int length = 0;
    MPI_Get_library_version(library, &length);
    std::string name(library, static_cast<size_t>(std::max(length, 0)));
    // The first line names the library and its version ("Open MPI v4.1.4, ...").
    name = name.substr(0, name.find_first_of(",\n"));
    host.mpi = "yes, " + name;
  }
  host.plot = RenderWithPlotModule;
  host.stopSignal = CaughtStopSignal;
  if (ReachesTerminal(STDERR_FILENO)) {
    host.progress = stderr;
    host.resultsShareTerminal = ReachesTerminal(STDOUT_FILENO);
  }
  std::optional<std::vector<cluster::WorkerInfo>> workers;
  const double silence = SilenceLimit();
  const auto stopped = [] { return CaughtStopSignal() != 0; };
  if (channel.size() > 1) {
    host.stopReport = [&](int signal) { return ExplainStop(channel, workers, news, signal); };
    host.searcher = [&](const FunctionEvaluator& evaluator,
                        int threads) -> std::unique_ptr<PartSearcher> {
      if (!workers) workers = cluster::GreetWorkers(channel, silence, news, stopped);
      // Stopped while greeting (a rank that ended at once, say): the run stops at its
      // start and says why.
      if (stopped()) return nullptr;
      cluster::ClusterSettings settings;
      settings.threadsRequested = threads;
      settings.localThreads = threads > 0 ? threads : cluster::DefaultThreads();
      settings.silenceLimit = silence;
      settings.news = &news;
      if (const char* stats = std::getenv("QUORVANT_MPI_STATS")) settings.statsPath = stats;
      return cluster::MakeMpiSearcher(channel, *workers, settings, evaluator.Copies(),
                                      evaluator.Recipe());
    };
#if QUORVANT_CLUSTER_PROVE
    host.prover = [&](std::shared_ptr<const prove::EnclosureProgram> program, const prove::Box& box,
                      int threads, prove::ProveOptions& options) {
      if (!workers) workers = cluster::GreetWorkers(channel, silence, news, stopped);
      if (stopped()) return;
      cluster::ClusterSettings settings;
      settings.threadsRequested = threads;
      settings.localThreads = threads > 0 ? threads : cluster::DefaultThreads();
      settings.silenceLimit = silence;
      settings.news = &news;
      cluster::SpreadProof(channel, *workers, settings, std::move(program), box, options);
    };
#endif
  }
  int status = 0;
  try {
    status = RunCli(args, stdout, stderr, host);
  } catch (const std::exception& e) {
    pulse.Stop();  // MPI is called from one thread at a time, to the end
    Abort(std::string(e.what()) + ". The job ends; the listing above holds what was committed.");
  }
  std::fflush(stdout);
  std::fflush(stderr);
  pulse.Stop();
  // Whatever the command was, the workers learn that nothing more is coming.
  if (channel.size() > 1) {
    // A fault, or a worker that gave up on this rank: the workers still there are
    // dismissed, and the job ends with this rank's status (the launcher ends what is
    // left of it); this rank's output is complete.
    const bool broken = !news.fault().empty() || news.gaveUp().first != 0;
    try {
      if (!workers && !stopped()) workers = cluster::GreetWorkers(channel, silence, news, stopped);
      const bool dismissed =
          workers && cluster::DismissWorkers(channel, *workers, broken ? 1.0 : silence, news);
      if (broken && !dismissed) std::_Exit(status);
      if (!dismissed && !stopped()) Abort("some worker ranks did not finish when told to");
    } catch (const std::exception& e) {
      Abort(e.what());
    }
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  launcher = getppid();
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
      if (const int signal = quorvant::cluster::ServeAsWorker(channel, quorvant::CaughtStopSignal,
                                                              SentByLauncher, SilenceLimit())) {
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
