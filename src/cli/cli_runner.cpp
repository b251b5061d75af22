#include "cli/cli_runner.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <optional>
#include <string_view>

#include "cli/prove_command.h"
#include "docs/problem_file.h"
#include "docs/report.h"
#include "docs/safe_file.h"
#include "engine/listing.h"
#include "engine/part_searcher.h"
#include "engine/search_engine.h"
#include "model/function_evaluator.h"
#include "model/numtext.h"
#include "model/script/script_error.h"
#include "model/script/variant.h"
#include "model/text_safety.h"

namespace quorvant {

namespace {

std::string Usage(const std::string& program) {
  const std::string indent(program.size(), ' ');
  return "usage: " + program +
         " [--explore | --random N | --prove] [--info] [--save | --save-partial] [--report]\n"
         "       " +
         indent + " [--plot PNG] [--threads K] [--part-size P] FILE\n       " + program +
         " --eval EXPR [FILE]\n";
}

// A stream of output lines that remembers its first write failure, so that a full disk
// or a closed pipe is reported instead of ignored.
class Output {
 public:
  explicit Output(std::FILE* file) : file_(file) {}
  void Line(std::string_view line) { Write(line, true); }
  void Text(std::string_view text) { Write(text, false); }
  // Flushes; 0 when everything was written, else the errno of the first failure.
  int Finish() {
    if (error_ == 0 && std::fflush(file_) != 0) error_ = errno ? errno : EIO;
    return error_;
  }

 private:
  void Write(std::string_view text, bool newline) {
    if (error_ != 0) return;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() ||
        (newline && std::fputc('\n', file_) == EOF))
      error_ = errno ? errno : EIO;
  }
  std::FILE* file_;
  int error_ = 0;
};

void Message(const CliHost& host, std::FILE* err, std::string_view text) {
  std::string line = host.program + ": ";
  line += text;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), err);
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

// The progress of a run, overwritten in place on a terminal at most once a second, and
// erased before anything else is written there, so that it never mixes with the results.
class ProgressDisplay {
 public:
  ProgressDisplay(std::FILE* file, std::function<double()> clock)
      : file_(file), clock_(std::move(clock)) {
    if (!clock_)
      clock_ = [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
      };
  }
  void Start(bool explore) {
    explore_ = explore;
    start_ = last_ = clock_();
  }
  void Report(int64_t done, int64_t total, int64_t starts) {
    if (!file_) return;
    const double now = clock_();
    if (now - last_ < 1.0) return;
    last_ = now;
    std::string line = ProgressLine(explore_, done, total, starts, now - start_);
    const size_t length = line.size();
    // A shorter line than the one before is padded over it.
    if (line.size() < shown_) line.append(shown_ - line.size(), ' ');
    line.insert(line.begin(), '\r');
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
    shown_ = length;
  }
  void Erase() {
    if (!file_ || shown_ == 0) return;
    const std::string blank = "\r" + std::string(shown_, ' ') + "\r";
    std::fwrite(blank.data(), 1, blank.size(), file_);
    std::fflush(file_);
    shown_ = 0;
  }

 private:
  std::FILE* file_;
  std::function<double()> clock_;
  bool explore_ = true;
  double start_ = 0, last_ = 0;
  size_t shown_ = 0;  // characters of the line on show
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
  Output& out_;
  bool info_;
  bool keepPoints_;
  const CliHost& host_;
  ProgressDisplay progress_;
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

struct Options {
  bool explore = false;
  bool prove = false;
  std::optional<int32_t> randomTrials;
  bool info = false;
  bool save = false;
  bool savePartial = false;
  bool report = false;
  std::optional<std::string> eval;
  std::optional<std::string> plot;
  int threads = 0;       // 0: one per core
  int64_t partSize = 0;  // 0: the run chooses
  std::string file;
};

// Returns an empty text on success, else what is wrong with the arguments.
std::string Parse(const std::vector<std::string>& args, Options& o) {
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (a == "--explore") {
      o.explore = true;
    } else if (a == "--prove") {
      o.prove = true;
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
      return "unknown option " + Printable(a);
    } else if (o.file.empty()) {
      o.file = a;
    } else {
      return "only one problem file can be named";
    }
  }
  if (o.explore && o.randomTrials) return "--explore and --random cannot be combined";
  if (o.prove && (o.explore || o.randomTrials || o.eval || o.info || o.savePartial || o.report ||
                  o.plot || o.partSize))
    return "--prove takes --threads and --save only";
  if (o.eval) {
    if (o.explore || o.randomTrials || o.info || o.save || o.report || o.plot)
      return "--eval takes an expression and, optionally, a problem file only";
    return {};
  }
  if (o.file.empty()) return "name a problem file";
  if (o.plot && o.plot->empty()) return "--plot needs the name of the PNG file to write";
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

int RunCli(const std::vector<std::string>& args, std::FILE* outFile, std::FILE* err,
           const CliHost& host) {
  const PlotRenderer& plot = host.plot;
  Options o;
  if (const std::string problem = Parse(args, o); !problem.empty()) {
    Message(host, err, problem);
    const std::string usage = Usage(host.program);
    std::fputs(usage.c_str(), err);
    return kExitUsage;
  }
  const std::string fileName = Printable(o.file);

  Problem problem;
  FileStamp stamp;
  if (!o.file.empty()) {
    std::string error, notice;
    if (!LoadProblemFile(o.file, problem, error, &stamp, &notice)) {
      Message(host, err, fileName + ": " + error);
      return kExitUsage;
    }
    if (!notice.empty()) Message(host, err, notice);
  }
  // The plot must not land on the problem file, under whatever name it is given.
  if (o.plot && StampOf(*o.plot).SameFile(stamp)) {
    Message(
        host, err,
        "the plot would replace the problem file " + fileName + ": name another file for --plot");
    return kExitUsage;
  }

  StderrSink sink(err);
  FunctionEvaluator evaluator(sink);
  evaluator.Prepare();
  // A constant that fails (even silently, as Log(0) does) would leave the constants
  // after it unset, and the formula would be evaluated with wrong values.
  if (const ConstantFailure failure = evaluator.RegisterConstants(problem.constants)) {
    Message(host, err, fileName + ": " + ConstantFailureMessage(failure));
    return kExitUsage;
  }
  evaluator.SetFunction(problem.varNames, problem.formula);

  Output out(outFile);
  auto finishOutput = [&](int status) {
    if (const int code = out.Finish()) {
      Message(host, err, "cannot write the results to standard output: " + FileErrorReason(code));
      return kExitUsage;
    }
    return status;
  };

  if (o.eval) return finishOutput(Evaluate(evaluator, *o.eval, out));
  if (o.prove)
    return RunProveCommand(problem, o.file, stamp, evaluator, o.threads, o.save, outFile, err,
                           host);

  StdoutHooks hooks(out, o.info, o.plot.has_value(), host);
  int status = kExitOk;
  bool runComplete = true;
  if (o.explore || o.randomTrials) {
    SearchOptions options = o.randomTrials ? SearchOptions::Random(*o.randomTrials, o.threads)
                                           : SearchOptions::Explore(o.threads);
    options.partSize = o.partSize;
    const int shownBefore = sink.shown;
    SearchEngine engine(evaluator, hooks, nullptr, evaluator.Copies());
    std::unique_ptr<PartSearcher> searcher;
    if (host.searcher) {
      searcher = host.searcher(evaluator, o.threads);
      engine.SetPartSearcher(searcher.get());
    }
    hooks.progress().Start(o.explore);
    const RunResult result = engine.Compute({std::make_shared<const Problem>(problem), options});
    result.ApplyTo(problem);
    const RunSummary& summary = result.summary;
    hooks.progress().Erase();
    if (summary.end == RunEnd::Refused) {
      Message(host, err, summary.reason);
      return kExitUsage;
    }
    out.Line(CountsCaption(problem.maxCount(), problem.minCount()));
    runComplete = summary.end == RunEnd::Completed || summary.end == RunEnd::StoreFull;
    if (summary.end == RunEnd::Failed) {
      status = kExitScriptError;
      // A failure the interpreter reported has had its message; one that came from
      // the value itself (Null, a text) says so here.
      if (sink.shown == shownBefore)
        Message(host, err, RunFailureMessage(summary, problem.varNames));
    }
    if (summary.end == RunEnd::Internal) {
      status = kExitUsage;
      Message(host, err, RunFailureMessage(summary, problem.varNames));
    }
    if (summary.end == RunEnd::Stopped) {
      status = kExitStopped;
      Message(host, err,
              "the run was stopped by " + SignalName(hooks.stopSignal) +
                  ": the listing holds what was found before it.");
    }
  } else {
    out.Line(ListSolutions(problem, evaluator, [&](std::string_view l) { out.Line(l); }));
  }
  if (o.report) {
    TextReportPrinter printer;
    PrintReport(printer, problem, evaluator);
    out.Text(printer.text());
  }
  if (sink.shown > 0 && status != kExitStopped) status = kExitScriptError;
  // Output that did not arrive ends the command here: nothing is saved or drawn after
  // results the user could not see.
  if (const int finished = finishOutput(status); finished != status) return finished;

  if (o.plot) {
    if (!plot) {
      Message(host, err, "--plot is not available in this build (it needs the window's libraries)");
      return kExitUsage;
    }
    if (const std::string failure = plot(problem, hooks.points, *o.plot); !failure.empty()) {
      Message(host, err, failure);
      return kExitUsage;
    }
  }

  if (o.save) {
    if (!runComplete && !o.savePartial) {
      Message(host, err,
              fileName +
                  " was not saved: the search did not complete, and its results would "
                  "replace the stored ones. Use --save-partial to save the extrema found "
                  "before it ended.");
      return status == kExitOk ? kExitUsage : status;
    }
    const SaveResult saved = SaveProblemFile(o.file, problem, stamp);
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
  }
  return status;
}

}  // namespace quorvant
