#include "cli/cli_runner.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

#include "docs/problem_file.h"
#include "docs/report.h"
#include "docs/safe_file.h"
#include "engine/listing.h"
#include "engine/search_engine.h"
#include "model/function_evaluator.h"
#include "model/numtext.h"
#include "model/script/script_error.h"
#include "model/script/variant.h"
#include "model/text_safety.h"

namespace quorvant {

namespace {

constexpr std::string_view kUsage =
    "usage: quorvant-cli [--explore | --random N] [--info] [--save | --save-partial] [--report]\n"
    "                    [--plot PNG] [--threads K] FILE\n"
    "       quorvant-cli --eval EXPR [FILE]\n";

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

void Message(std::FILE* err, std::string_view text) {
  std::string line = "quorvant-cli: ";
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

class StdoutHooks : public RunHooks {
 public:
  StdoutHooks(Output& out, bool info, bool keepPoints)
      : out_(out), info_(info), keepPoints_(keepPoints) {}
  void AppendLine(std::string_view line) override { out_.Line(line); }
  bool ShowAdditionalInfo() override { return info_; }
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
};

constexpr int kMaxThreads = 1024;

struct Options {
  bool explore = false;
  std::optional<int32_t> randomTrials;
  bool info = false;
  bool save = false;
  bool savePartial = false;
  bool report = false;
  std::optional<std::string> eval;
  std::optional<std::string> plot;
  int threads = 0;  // 0: one per core
  std::string file;
};

// Returns an empty text on success, else what is wrong with the arguments.
std::string Parse(const std::vector<std::string>& args, Options& o) {
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (a == "--explore") {
      o.explore = true;
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
    } else if (a == "--info") {
      o.info = true;
    } else if (a == "--save") {
      o.save = true;
    } else if (a == "--save-partial") {
      o.save = o.savePartial = true;
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

int RunCli(const std::vector<std::string>& args, std::FILE* outFile, std::FILE* err,
           const PlotRenderer& plot) {
  Options o;
  if (const std::string problem = Parse(args, o); !problem.empty()) {
    Message(err, problem);
    std::fputs(kUsage.data(), err);
    return kExitUsage;
  }
  const std::string fileName = Printable(o.file);

  Problem problem;
  FileStamp stamp;
  if (!o.file.empty()) {
    std::string error;
    if (!LoadProblemFile(o.file, problem, error, &stamp)) {
      Message(err, fileName + ": " + error);
      return kExitUsage;
    }
  }
  // The plot must not land on the problem file, under whatever name it is given.
  if (o.plot && StampOf(*o.plot).SameFile(stamp)) {
    Message(err, "the plot would replace the problem file " + fileName +
                     ": name another file for --plot");
    return kExitUsage;
  }

  StderrSink sink(err);
  FunctionEvaluator evaluator(sink);
  evaluator.Prepare();
  // A constant that fails (even silently, as Log(0) does) would leave the constants
  // after it unset, and the formula would be evaluated with wrong values.
  if (const ConstantFailure failure = evaluator.RegisterConstants(problem.constants)) {
    Message(err, fileName + ": " + ConstantFailureMessage(failure));
    return kExitUsage;
  }
  evaluator.SetFunction(problem.varNames, problem.formula);

  Output out(outFile);
  auto finishOutput = [&](int status) {
    if (const int code = out.Finish()) {
      Message(err, "cannot write the results to standard output: " + FileErrorReason(code));
      return kExitUsage;
    }
    return status;
  };

  if (o.eval) return finishOutput(Evaluate(evaluator, *o.eval, out));

  StdoutHooks hooks(out, o.info, o.plot.has_value());
  int status = kExitOk;
  bool runComplete = true;
  if (o.explore || o.randomTrials) {
    const SearchOptions options = o.randomTrials ? SearchOptions::Random(*o.randomTrials, o.threads)
                                                 : SearchOptions::Explore(o.threads);
    const int shownBefore = sink.shown;
    SearchEngine engine(evaluator, hooks, nullptr, evaluator.Copies());
    const RunSummary summary = engine.Compute(problem, options);
    if (summary.end == RunEnd::Refused) {
      Message(err, summary.reason);
      return kExitUsage;
    }
    out.Line(CountsCaption(problem.maxCount(), problem.minCount()));
    runComplete = summary.end == RunEnd::Completed || summary.end == RunEnd::StoreFull;
    if (summary.end == RunEnd::Failed) {
      status = kExitScriptError;
      // A failure the interpreter reported has had its message; one that came from
      // the value itself (Null, a text) says so here.
      if (sink.shown == shownBefore) Message(err, RunFailureMessage(summary, problem.varNames));
    }
  } else {
    out.Line(ListSolutions(problem, evaluator, [&](std::string_view l) { out.Line(l); }));
  }
  if (o.report) {
    TextReportPrinter printer;
    PrintReport(printer, problem, evaluator);
    out.Text(printer.text());
  }
  if (sink.shown > 0) status = kExitScriptError;
  // Output that did not arrive ends the command here: nothing is saved or drawn after
  // results the user could not see.
  if (const int finished = finishOutput(status); finished != status) return finished;

  if (o.plot) {
    if (!plot) {
      Message(err, "--plot is not available in this build (it needs the window's libraries)");
      return kExitUsage;
    }
    if (const std::string failure = plot(problem, hooks.points, *o.plot); !failure.empty()) {
      Message(err, failure);
      return kExitUsage;
    }
  }

  if (o.save) {
    if (!runComplete && !o.savePartial) {
      Message(err, fileName +
                       " was not saved: the search did not complete, and its results would "
                       "replace the stored ones. Use --save-partial to save the extrema found "
                       "before it ended.");
      return status == kExitOk ? kExitUsage : status;
    }
    const SaveResult saved = SaveProblemFile(o.file, problem, stamp);
    if (saved.outcome == SaveResult::Outcome::ChangedOnDisk) {
      Message(err, fileName + " was not saved: " + saved.reason +
                       ". Run the command again to work on its new contents.");
      return kExitUsage;
    }
    if (!saved.ok()) {
      Message(err, saved.reason);
      return kExitUsage;
    }
  }
  return status;
}

}  // namespace quorvant
