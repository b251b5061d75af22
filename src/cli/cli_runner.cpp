#include "cli/cli_runner.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <optional>
#include <string_view>

#include "cli/checkpoint_file.h"
#include "cli/cli_output.h"
#include "cli/prove_command.h"
#include "cli/terminal_line.h"
#include "docs/problem_file.h"
#include "docs/report.h"
#include "docs/safe_file.h"
#include "engine/listing.h"
#include "engine/part_searcher.h"
#include "engine/search_engine.h"
#include "model/function_evaluator.h"
#include "model/numtext.h"
#include "model/script/jit.h"
#include "model/script/script_error.h"
#include "model/script/variant.h"
#include "model/text_safety.h"

namespace quorvant {

namespace {

// Seconds between the checkpoints of a run, unless --checkpoint-every says otherwise.
constexpr double kDefaultCheckpointSeconds = 60;

std::string Usage(const std::string& program) {
  const std::string indent(program.size(), ' ');
  return "usage: " + program +
         " [--explore | --random N | --prove] [--info] [--save | --save-partial] [--report]\n"
         "       " +
         indent + " [--plot PNG] [--threads K] [--part-size P]\n       " + indent +
         " [--prove-max-boxes N] [--prove-seconds S] [--prove-min-width W]\n       " + indent +
         " [--checkpoint FILE [--checkpoint-every S]] [--resume FILE] FILE\n       " + program +
         " --eval EXPR [FILE]\n";
}

// --help: the usage, what the program does and what each option means.
std::string Help(const std::string& program) {
  return Usage(program) + "\n" + program +
         " runs Quorvant's search without a window: it reads a problem file, searches it\n"
         "and lists every maximum and minimum found, line for line as the window lists them,\n"
         "then the counts caption.\n"
         "\n"
         "  FILE            the problem file (first line Zorvex); alone, its stored extrema\n"
         "                  are listed as File > Open lists them\n"
         "  --explore       search from every point of the grid over the search box\n"
         "  --random N      search from N random starting points\n"
         "  --prove         prove the list of stationary points in the box complete, or say\n"
         "                  which parts of the box could not be decided (with --threads,\n"
         "                  --save and the budgets below)\n"
         "  --prove-max-boxes N\n"
         "                  end the proof after N sub-boxes (default 2E+07); the listing\n"
         "                  is the same for every --threads K\n"
         "  --prove-seconds S\n"
         "                  end the proof after S seconds (default: no limit)\n"
         "  --prove-min-width W\n"
         "                  do not cut a sub-box narrower than W times the box in every\n"
         "                  variable (default 1E-09): it is listed as undecided\n"
         "  --info          list the pivots, determinants, saddles and the problems met too\n"
         "                  (\"Show additional info\")\n"
         "  --save          write the problem with the extrema found back to FILE; nothing\n"
         "                  is saved after a run that failed or was stopped\n"
         "  --save-partial  save the extrema found also when the run did not complete\n"
         "  --report        print the report after the listing\n"
         "  --plot PNG      draw the function with its extrema into the PNG file\n"
         "  --threads K     search on K threads (default: one per core); the listing is the\n"
         "                  same for every K\n"
         "  --part-size P   grid points or trials in one part handed to a thread\n"
         "  --checkpoint F  write where the search stands to the file F, at most every\n"
         "                  --checkpoint-every S seconds (default 60) and when it ends\n"
         "  --resume F      go on from the checkpoint F (with any --threads); the results\n"
         "                  are those of the whole run\n"
         "  --eval EXPR     evaluate EXPR as the formula would be (with FILE's constants)\n"
         "                  and print its value and subtype\n"
         "  --help          show this text\n"
         "  --version       show the version and what this build holds\n"
         "\n"
         "Exit status: 0 done, 1 stopped by SIGINT or SIGTERM, 2 bad usage, a file that\n"
         "cannot be read or saved, or a problem that cannot be searched, 3 the formula\n"
         "failed.\n";
}

// --version: the program, its version, and whether formulas run as machine code and
// the program runs across an MPI job.
std::string VersionText(const CliHost& host) {
  return host.program + " " + std::string(QUORVANT_VERSION) + "\n" + "formulas as machine code: " +
         (script::CompilerAvailable() ? "yes" : "no (the interpreter runs them)") + "\n" + "MPI: " +
         (host.mpi.empty() ? "no (quorvant-mpi runs a search across the ranks of an MPI job)"
                           : host.mpi) +
         "\n";
}

// Message boxes become "TITLE: text" lines on stderr; line breaks inside the text
// (single carriage returns) become real ones, and any other control character that a
// formula or a file brought along is shown, not sent to the terminal.
class StderrSink : public MessageSink {
 public:
  explicit StderrSink(std::FILE* err) : err_(err) {}
  void ShowMessage(std::string_view title, std::string_view text, MessageIcon) override {
    std::string line = Printable(title);
    line += ": ";
    size_t start = 0;
    for (size_t end; (end = text.find('\r', start)) != std::string_view::npos; start = end + 1) {
      line += Printable(text.substr(start, end - start));
      line += '\n';
    }
    line += Printable(text.substr(start));
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), err_);
    ++shown;
  }
  int shown = 0;

 private:
  std::FILE* err_;
};

// The progress of a run on a terminal: points (or trials) done, starts, time left.
class ProgressDisplay {
 public:
  ProgressDisplay(std::FILE* file, std::function<double()> clock) : line_(file, std::move(clock)) {}
  void Start(bool explore) {
    explore_ = explore;
    start_ = line_.Now();
  }
  void Report(int64_t done, int64_t total, int64_t starts) {
    if (line_.Due()) line_.Show(ProgressLine(explore_, done, total, starts, line_.Now() - start_));
  }
  void Erase() { line_.Erase(); }

 private:
  TerminalLine line_;
  bool explore_ = true;
  double start_ = 0;
};

class StdoutHooks : public RunHooks {
 public:
  StdoutHooks(Output& out, bool info, bool keepPoints, const CliHost& host)
      : out_(out),
        info_(info),
        keepPoints_(keepPoints),
        host_(host),
        progress_(host.progress, host.clock) {}
  void AppendLine(std::string_view line) override {
    if (host_.resultsShareTerminal) progress_.Erase();
    out_.Line(line);
    if (checkpoints_) lines_.emplace_back(line);
  }
  // From now on every part the run commits is remembered, and written to `path` at
  // most every `seconds` (and by WriteLastCheckpoint), with the lines listed up to it.
  void KeepCheckpoints(std::string path, double seconds, uint64_t identity,
                       std::function<void(std::string_view)> say) {
    checkpoints_ = true;
    path_ = std::move(path);
    seconds_ = seconds;
    last_.identity = identity;
    say_ = std::move(say);
    written_ = Now();
  }
  bool CheckpointDue() override { return checkpoints_; }
  void Checkpoint(const RunCheckpoint& checkpoint) override {
    last_.state = checkpoint;
    lastLines_ = lines_.size();
    pending_ = true;
    if (Now() - written_ >= seconds_) WriteLastCheckpoint();
  }
  // Writes the last part's checkpoint unless it is on disk already.
  void WriteLastCheckpoint() {
    if (!pending_) return;
    pending_ = false;
    written_ = Now();
    last_.lines.assign(lines_.begin(), lines_.begin() + static_cast<ptrdiff_t>(lastLines_));
    const SaveResult saved = ReplaceFileContents(path_, WriteCheckpointText(last_));
    last_.lines.clear();
    if (!saved.ok() && !failed_) {
      failed_ = true;  // said once; the run goes on
      say_("cannot write the checkpoint " + Printable(path_) + ": " + saved.reason);
    }
  }
  bool ShowAdditionalInfo() override { return info_; }
  bool StopRequested() override {
    if (stopSignal == 0 && host_.stopSignal) stopSignal = host_.stopSignal();
    return stopSignal != 0;
  }
  void ReportWork(int64_t done, int64_t total, int64_t starts) override {
    progress_.Report(done, total, starts);
  }
  ProgressDisplay& progress() { return progress_; }
  int stopSignal = 0;  // the signal that stopped the run
  // Only a plot shows the stationary points: without one they are not kept (a run of a
  // million random trials would hold them all).
  void StationaryPointMet(const StationaryPoint& point) override {
    if (keepPoints_) points.push_back(point);
  }
  std::vector<StationaryPoint> points;

 private:
  double Now() const {
    return host_.clock
               ? host_.clock()
               : std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
                     .count();
  }

  Output& out_;
  bool info_;
  bool keepPoints_;
  const CliHost& host_;
  ProgressDisplay progress_;
  // Checkpoints: the lines listed so far, the last part's state and where it goes.
  bool checkpoints_ = false;
  std::vector<std::string> lines_;
  std::string path_;
  double seconds_ = kDefaultCheckpointSeconds;
  double written_ = 0;
  CheckpointFile last_;
  size_t lastLines_ = 0;
  bool pending_ = false;
  bool failed_ = false;
  std::function<void(std::string_view)> say_;
};

std::string SignalName(int signal) {
  if (signal == SIGINT) return "SIGINT";
  if (signal == SIGTERM) return "SIGTERM";
  return "signal " + std::to_string(signal);
}

// A duration in whole seconds, minutes or hours, as a person says it.
std::string Duration(double seconds) {
  const auto s = static_cast<int64_t>(std::llround(std::min(seconds, 1e12)));
  if (s < 60) return std::to_string(s) + " s";
  if (s < 3600) return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
  return std::to_string(s / 3600) + " h " + std::to_string(s % 3600 / 60) + " min";
}

constexpr int kMaxThreads = 1024;
constexpr double kMaxPartSize = 1e12;
constexpr double kMaxProveBoxes = 1e15;

struct Options {
  bool help = false;
  bool version = false;
  bool explore = false;
  bool prove = false;
  ProveBudget proveBudget;
  std::optional<int32_t> randomTrials;
  bool info = false;
  bool save = false;
  bool savePartial = false;
  bool report = false;
  std::optional<std::string> eval;
  std::optional<std::string> plot;
  int threads = 0;                        // 0: one per core
  int64_t partSize = 0;                   // 0: the run chooses
  std::optional<std::string> checkpoint;  // where the run's checkpoints go
  std::optional<double> checkpointEvery;  // seconds between them
  std::optional<std::string> resume;      // the checkpoint to go on from
  std::string file;
};

// Returns an empty text on success, else what is wrong with the arguments.
std::string Parse(const std::vector<std::string>& args, const std::string& program, Options& o) {
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (a == "--explore") {
      o.explore = true;
    } else if (a == "--prove") {
      o.prove = true;
    } else if (a == "--prove-max-boxes") {
      if (k + 1 >= args.size()) return "--prove-max-boxes needs the number of sub-boxes";
      double boxes = 0;
      const std::string& text = args[++k];
      if (!ParseNumericText(text, boxes) || !(boxes >= 1 && boxes <= kMaxProveBoxes) ||
          boxes != std::floor(boxes))
        return "--prove-max-boxes needs a whole number of sub-boxes from 1 to 1E+15 (got \"" +
               Printable(text) + "\")";
      o.proveBudget.maxBoxes = static_cast<int64_t>(boxes);
    } else if (a == "--prove-seconds") {
      if (k + 1 >= args.size()) return "--prove-seconds needs a number of seconds";
      double seconds = 0;
      const std::string& text = args[++k];
      if (!ParseNumericText(text, seconds) || !(seconds > 0 && seconds <= 1e9))
        return "--prove-seconds needs a number of seconds above 0, up to 1E+09 (got \"" +
               Printable(text) + "\")";
      o.proveBudget.seconds = seconds;
    } else if (a == "--prove-min-width") {
      if (k + 1 >= args.size()) return "--prove-min-width needs a share of the box";
      double width = 0;
      const std::string& text = args[++k];
      if (!ParseNumericText(text, width) || !(width >= 1e-15 && width <= 1))
        return "--prove-min-width needs a share of the box from 1E-15 to 1 (got \"" +
               Printable(text) + "\")";
      o.proveBudget.minWidth = width;
    } else if (a == "--random") {
      if (k + 1 >= args.size()) return "--random needs the number of trials";
      double trials = 0;
      const std::string& text = args[++k];
      // Range first: converting a double beyond the 32-bit range is undefined.
      if (!ParseNumericText(text, trials) || !(trials >= 1 && trials <= INT32_MAX) ||
          trials != std::floor(trials))
        return "--random needs a whole number of trials from 1 to 2147483647 (got \"" +
               Printable(text) + "\")";
      o.randomTrials = static_cast<int32_t>(trials);
    } else if (a == "--threads") {
      if (k + 1 >= args.size()) return "--threads needs the number of threads";
      double threads = 0;
      const std::string& text = args[++k];
      if (!ParseNumericText(text, threads) || !(threads >= 1 && threads <= kMaxThreads) ||
          threads != std::floor(threads))
        return "--threads needs a whole number of threads from 1 to " +
               std::to_string(kMaxThreads) + " (got \"" + Printable(text) + "\")";
      o.threads = static_cast<int>(threads);
    } else if (a == "--part-size") {
      if (k + 1 >= args.size()) return "--part-size needs the number of points in a part";
      double size = 0;
      const std::string& text = args[++k];
      if (!ParseNumericText(text, size) || !(size >= 1 && size <= kMaxPartSize) ||
          size != std::floor(size))
        return "--part-size needs a whole number from 1 to " +
               std::to_string(static_cast<int64_t>(kMaxPartSize)) + " (got \"" + Printable(text) +
               "\")";
      o.partSize = static_cast<int64_t>(size);
    } else if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--checkpoint" || a == "--resume") {
      if (k + 1 >= args.size() || args[k + 1].empty())
        return a + " needs the name of the checkpoint file";
      (a == "--checkpoint" ? o.checkpoint : o.resume) = args[++k];
    } else if (a == "--checkpoint-every") {
      if (k + 1 >= args.size()) return "--checkpoint-every needs a number of seconds";
      double seconds = 0;
      const std::string& text = args[++k];
      if (!ParseNumericText(text, seconds) || !(seconds >= 0 && seconds <= 1e9))
        return "--checkpoint-every needs a number of seconds from 0 to 1E+09 (got \"" +
               Printable(text) + "\")";
      o.checkpointEvery = seconds;
    } else if (a == "--info") {
      o.info = true;
    } else if (a == "--save" || a == "--save-partial") {
      if (o.save && o.savePartial != (a == "--save-partial"))
        return "--save and --save-partial are alternatives: name one of them";
      o.save = true;
      o.savePartial = a == "--save-partial";
    } else if (a == "--report") {
      o.report = true;
    } else if (a == "--plot") {
      if (k + 1 >= args.size()) return "--plot needs the name of the PNG file to write";
      o.plot = args[++k];
    } else if (a == "--eval") {
      if (k + 1 >= args.size()) return "--eval needs an expression";
      o.eval = args[++k];
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      return "unknown option " + Printable(a) + " (try " + program + " --help)";
    } else if (o.file.empty()) {
      o.file = a;
    } else {
      return "only one problem file can be named";
    }
  }
  if (o.help || o.version) return {};
  if (o.explore && o.randomTrials) return "--explore and --random cannot be combined";
  if (o.prove && (o.explore || o.randomTrials || o.eval || o.info || o.savePartial || o.report ||
                  o.plot || o.partSize || o.checkpoint || o.resume))
    return "--prove takes --threads, --save, --prove-max-boxes, --prove-seconds and "
           "--prove-min-width only";
  if (!o.prove && (o.proveBudget.maxBoxes || o.proveBudget.seconds || o.proveBudget.minWidth))
    return "--prove-max-boxes, --prove-seconds and --prove-min-width go with --prove";
  if (o.eval) {
    if (o.explore || o.randomTrials || o.info || o.save || o.report || o.plot || o.checkpoint ||
        o.resume)
      return "--eval takes an expression and, optionally, a problem file only";
    return {};
  }
  if (o.file.empty()) return "name a problem file";
  if (o.plot && o.plot->empty()) return "--plot needs the name of the PNG file to write";
  if ((o.checkpoint || o.resume) && !o.explore && !o.randomTrials)
    return "--checkpoint and --resume go with a search: add --explore or --random N";
  if (o.checkpointEvery && !o.checkpoint) return "--checkpoint-every needs --checkpoint FILE";
  return {};
}

// --eval: the expression evaluated as a formula would be, one line on stdout.
int Evaluate(FunctionEvaluator& evaluator, const std::string& expression, Output& out) {
  script::Variant value;
  evaluator.extraFunctions().ierr = 0;
  if (const int32_t e = evaluator.engine().Eval(expression, value)) {
    out.Line("error " + std::to_string(e) + ": " + evaluator.engine().Error().description);
    return kExitScriptError;
  }
  // An extra function that failed returned 0 and let the expression finish; the
  // function evaluation of a search raises its error afterwards, and so does this.
  if (const int32_t e = evaluator.extraFunctions().ierr) {
    out.Line("error " + std::to_string(e) + ": " + std::string(script::ErrorDescription(e)));
    return kExitScriptError;
  }
  out.Line(script::DisplayText(value) + " (" + std::string(script::TypeName(value.type)) + ")");
  return kExitOk;
}

}  // namespace

std::string ProgressLine(bool explore, int64_t done, int64_t total, int64_t starts,
                         double elapsed) {
  const int64_t percent = total > 0 ? done * 100 / total : 100;
  std::string line = std::to_string(done) + " of " + std::to_string(total) +
                     (explore ? " points" : " trials") + " (" + std::to_string(percent) + "%), " +
                     std::to_string(starts) + (starts == 1 ? " start" : " starts") + ", ";
  if (done <= 0 || done >= total || !(elapsed > 0))
    line += "time left unknown";
  else
    line += "about " +
            Duration(elapsed * static_cast<double>(total - done) / static_cast<double>(done)) +
            " left";
  return line;
}

int RunCli(const std::vector<std::string>& args, std::FILE* outFile, std::FILE* err,
           const PlotRenderer& plot) {
  CliHost host;
  host.plot = plot;
  return RunCli(args, outFile, err, host);
}

namespace {

// One command of the runner, phase by phase: load the problem and prepare its evaluator,
// evaluate or search or list, write the report, draw the plot, save. Each phase returns
// the exit status the command ends with, or nothing to go on.
class Command {
 public:
  Command(const Options& o, const CliHost& host, std::FILE* outFile, std::FILE* err)
      : o_(o),
        host_(host),
        outFile_(outFile),
        err_(err),
        fileName_(Printable(o.file)),
        out_(outFile),
        sink_(err),
        evaluator_(sink_) {}

  int Execute() {
    if (const std::optional<int> ended = Load()) return *ended;
    if (o_.eval) return FinishOutput(Evaluate(evaluator_, *o_.eval, out_));
    if (o_.prove)
      return RunProveCommand(problem_, o_.file, stamp_, evaluator_, o_.threads, o_.proveBudget,
                             o_.save, outFile_, err_, host_);
    StdoutHooks hooks(out_, o_.info, o_.plot.has_value(), host_);
    if (const std::optional<int> ended = SearchOrList(hooks)) return *ended;
    if (o_.report) {
      TextReportPrinter printer;
      PrintReport(printer, problem_, evaluator_);
      out_.Text(printer.text());
    }
    if (sink_.shown > 0 && status_ != kExitStopped) status_ = kExitScriptError;
    // Output that did not arrive ends the command here: nothing is saved or drawn after
    // results the user could not see.
    if (const int finished = FinishOutput(status_); finished != status_) return finished;
    if (const std::optional<int> ended = Plot(hooks.points)) return *ended;
    if (o_.save) return Save();
    return status_;
  }

 private:
  void Say(std::string_view text) { Message(host_, err_, text); }

  int FinishOutput(int status) {
    if (const int code = out_.Finish()) {
      Say("cannot write the results to standard output: " + FileErrorReason(code));
      return kExitUsage;
    }
    return status;
  }

  // The problem file (when one is named) and the evaluator prepared from it.
  std::optional<int> Load() {
    if (!o_.file.empty()) {
      std::string error, notice;
      if (!LoadProblemFile(o_.file, problem_, error, &stamp_, &notice)) {
        Say(fileName_ + ": " + error);
        return kExitUsage;
      }
      if (!notice.empty()) Say(notice);
    }
    // The plot must not land on the problem file, under whatever name it is given.
    if (o_.plot && StampOf(*o_.plot).SameFile(stamp_)) {
      Say("the plot would replace the problem file " + fileName_ +
          ": name another file for --plot");
      return kExitUsage;
    }
    evaluator_.Prepare();
    // A constant that fails (even silently, as Log(0) does) would leave the constants
    // after it unset, and the formula would be evaluated with wrong values.
    if (const ConstantFailure failure = evaluator_.RegisterConstants(problem_.constants)) {
      Say(fileName_ + ": " + ConstantFailureMessage(failure));
      return kExitUsage;
    }
    evaluator_.SetFunction(problem_.varNames, problem_.formula);
    return std::nullopt;
  }

  // The search and its counts caption, or the stored solutions as Open lists them.
  std::optional<int> SearchOrList(StdoutHooks& hooks) {
    if (!o_.explore && !o_.randomTrials) {
      out_.Line(ListSolutions(problem_, evaluator_, [&](std::string_view l) { out_.Line(l); }));
      return std::nullopt;
    }
    SearchOptions options = o_.randomTrials ? SearchOptions::Random(*o_.randomTrials, o_.threads)
                                            : SearchOptions::Explore(o_.threads);
    options.partSize = o_.partSize;
    const int shownBefore = sink_.shown;
    SearchEngine engine(evaluator_, hooks, nullptr, evaluator_.Copies());
    std::unique_ptr<PartSearcher> searcher;
    if (host_.searcher) {
      searcher = host_.searcher(evaluator_, o_.threads);
      engine.SetPartSearcher(searcher.get());
    }
    RunRequest request{std::make_shared<const Problem>(problem_), options};
    if (o_.checkpoint || o_.resume) {
      const uint64_t identity = RunIdentity(ProblemText(), ListingOptions());
      if (o_.resume) {
        if (const std::optional<int> ended = Resume(identity, hooks, request)) return *ended;
      }
      if (o_.checkpoint)
        hooks.KeepCheckpoints(*o_.checkpoint,
                              o_.checkpointEvery.value_or(kDefaultCheckpointSeconds), identity,
                              [this](std::string_view text) { Say(text); });
    }
    hooks.progress().Start(o_.explore);
    const RunResult result = engine.Compute(request);
    result.ApplyTo(problem_);
    const RunSummary& summary = result.summary;
    hooks.progress().Erase();
    if (o_.checkpoint) hooks.WriteLastCheckpoint();
    if (summary.end == RunEnd::Refused) {
      Say(summary.reason);
      return kExitUsage;
    }
    out_.Line(CountsCaption(problem_.maxCount(), problem_.minCount()));
    runComplete_ = summary.end == RunEnd::Completed || summary.end == RunEnd::StoreFull;
    switch (summary.end) {
      case RunEnd::Failed:
        status_ = kExitScriptError;
        // A failure the interpreter reported has had its message; one that came from
        // the value itself (Null, a text) says so here.
        if (sink_.shown == shownBefore) Say(RunFailureMessage(summary, problem_.varNames));
        break;
      case RunEnd::Internal:
        status_ = kExitUsage;
        Say(RunFailureMessage(summary, problem_.varNames));
        break;
      case RunEnd::Stopped:
        status_ = kExitStopped;
        if (host_.stopReport) {
          const CliHost::StopReport report = host_.stopReport(hooks.stopSignal);
          status_ = report.status;
          Say(report.message);
        } else {
          Say("the run was stopped by " + SignalName(hooks.stopSignal) +
              ": the listing holds what was found before it.");
        }
        break;
      default:
        break;
    }
    return std::nullopt;
  }

  // The problem as its file text: what a checkpoint belongs to.
  std::string ProblemText() const {
    std::string text, error;
    WriteProblemText(problem_, text, error);
    return text;
  }
  // The options that decide what the run lists.
  std::string ListingOptions() const {
    return (o_.randomTrials ? "random " + std::to_string(*o_.randomTrials) : "explore") +
           (o_.info ? " info" : "");
  }

  // --resume: the checkpoint read and checked, its listing repeated, the run told where
  // to go on from. A checkpoint that does not exist yet (the first run of a job that is
  // started again and again) means the run starts from its beginning.
  std::optional<int> Resume(uint64_t identity, StdoutHooks& hooks, RunRequest& request) {
    const std::string name = Printable(*o_.resume);
    if (!StampOf(*o_.resume).known) {
      Say("the checkpoint " + name + " does not exist (yet): the run starts from its beginning");
      return std::nullopt;
    }
    constexpr size_t kMaxCheckpointBytes = size_t{1} << 30;
    const ReadResult read = ReadBoundedFile(
        *o_.resume, kMaxCheckpointBytes, 64,
        [](std::string_view head) { return head.substr(0, 20) == "Quorvant checkpoint "; });
    CheckpointFile checkpoint;
    std::string why;
    switch (read.outcome) {
      case ReadResult::Outcome::Failed:
        why = read.reason;
        break;
      case ReadResult::Outcome::Rejected:
        why = "it is not a checkpoint of this program";
        break;
      case ReadResult::Outcome::TooLarge:
        why = "it is larger than any checkpoint can be";
        break;
      case ReadResult::Outcome::Read:
        if (!ReadCheckpointText(read.text, problem_.varCount(), checkpoint, why)) break;
        if (checkpoint.identity != identity)
          why =
              "it belongs to another run (another problem, or other options among --explore, "
              "--random N and --info)";
        break;
    }
    if (!why.empty()) {
      Say("the checkpoint " + name + " cannot be resumed: " + why + ".");
      return kExitUsage;
    }
    for (const std::string& line : checkpoint.lines) hooks.AppendLine(line);
    request.resume = std::make_shared<const RunCheckpoint>(std::move(checkpoint.state));
    return std::nullopt;
  }

  std::optional<int> Plot(const std::vector<StationaryPoint>& points) {
    if (!o_.plot) return std::nullopt;
    if (!host_.plot) {
      Say("--plot is not available in this build (it needs the window's libraries)");
      return kExitUsage;
    }
    if (const std::string failure = host_.plot(problem_, points, *o_.plot); !failure.empty()) {
      Say(failure);
      return kExitUsage;
    }
    return std::nullopt;
  }

  int Save() {
    if (!runComplete_ && !o_.savePartial) {
      Say(fileName_ +
          " was not saved: the search did not complete, and its results would replace the "
          "stored ones. Use --save-partial to save the extrema found before it ended.");
      return status_ == kExitOk ? kExitUsage : status_;
    }
    const SaveResult saved = SaveProblemFile(o_.file, problem_, stamp_);
    if (saved.outcome == SaveResult::Outcome::ChangedOnDisk) {
      Say(fileName_ + " was not saved: " + saved.reason +
          ". Run the command again to work on its new contents.");
      return kExitUsage;
    }
    if (!saved.ok()) {
      Say(saved.reason);
      return kExitUsage;
    }
    return status_;
  }

  const Options& o_;
  const CliHost& host_;
  std::FILE* outFile_;
  std::FILE* err_;
  const std::string fileName_;
  Output out_;
  StderrSink sink_;
  FunctionEvaluator evaluator_;
  Problem problem_;
  FileStamp stamp_;
  int status_ = kExitOk;
  bool runComplete_ = true;
};

}  // namespace

int RunCli(const std::vector<std::string>& args, std::FILE* outFile, std::FILE* err,
           const CliHost& host) {
  Options o;
  if (const std::string problem = Parse(args, host.program, o); !problem.empty()) {
    Message(host, err, problem);
    const std::string usage = Usage(host.program);
    std::fputs(usage.c_str(), err);
    return kExitUsage;
  }
  if (o.help || o.version) {
    Output out(outFile);
    out.Text(o.help ? Help(host.program) : VersionText(host));
    if (const int code = out.Finish()) {
      Message(host, err, "cannot write to standard output: " + FileErrorReason(code));
      return kExitUsage;
    }
    return kExitOk;
  }
  return Command(o, host, outFile, err).Execute();
}

}  // namespace quorvant
