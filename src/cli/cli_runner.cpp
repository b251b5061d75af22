#include "cli/cli_runner.h"

#include <cstdint>
#include <optional>
#include <string_view>

#include "docs/problem_file.h"
#include "docs/report.h"
#include "engine/listing.h"
#include "engine/search_engine.h"
#include "model/dimension.h"
#include "model/function_evaluator.h"
#include "model/numtext.h"
#include "model/script/script_error.h"
#include "model/script/variant.h"

namespace quorvant {

namespace {

constexpr std::string_view kUsage =
    "usage: quorvant-cli [--explore | --random N] [--info] [--save] [--report] [--plot PNG] FILE\n"
    "       quorvant-cli --eval EXPR [FILE]\n";

void WriteLine(std::FILE* out, std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), out);
  std::fputc('\n', out);
}

// Message boxes become "TITLE: text" lines on stderr; line breaks inside the text
// (single carriage returns) become real ones.
class StderrSink : public MessageSink {
 public:
  explicit StderrSink(std::FILE* err) : err_(err) {}
  void ShowMessage(std::string_view title, std::string_view text, MessageIcon) override {
    std::string line(title);
    line += ": ";
    for (char c : text) line += c == '\r' ? '\n' : c;
    WriteLine(err_, line);
    ++shown;
  }
  int shown = 0;

 private:
  std::FILE* err_;
};

class StdoutHooks : public RunHooks {
 public:
  StdoutHooks(std::FILE* out, bool info) : out_(out), info_(info) {}
  void AppendLine(std::string_view line) override { WriteLine(out_, line); }
  bool ShowAdditionalInfo() override { return info_; }
  void StationaryPointMet(const StationaryPoint& point) override { points.push_back(point); }
  std::vector<StationaryPoint> points;

 private:
  std::FILE* out_;
  bool info_;
};

struct Options {
  bool explore = false;
  std::optional<int32_t> randomTrials;
  bool info = false;
  bool save = false;
  bool report = false;
  std::optional<std::string> eval;
  std::optional<std::string> plot;
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
      double trials;
      if (!ParseNumericText(args[++k], trials) || trials != static_cast<int32_t>(trials) ||
          trials < 1)
        return "--random needs a whole number of trials, 1 or more (got \"" + args[k] + "\")";
      o.randomTrials = static_cast<int32_t>(trials);
    } else if (a == "--info") {
      o.info = true;
    } else if (a == "--save") {
      o.save = true;
    } else if (a == "--report") {
      o.report = true;
    } else if (a == "--plot") {
      if (k + 1 >= args.size()) return "--plot needs the name of the PNG file to write";
      o.plot = args[++k];
    } else if (a == "--eval") {
      if (k + 1 >= args.size()) return "--eval needs an expression";
      o.eval = args[++k];
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      return "unknown option " + a;
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
  return {};
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
           const PlotRenderer& plot) {
  Options o;
  if (const std::string problem = Parse(args, o); !problem.empty()) {
    WriteLine(err, "quorvant-cli: " + problem);
    std::fputs(kUsage.data(), err);
    return kExitUsage;
  }

  ProblemDocument doc;
  if (!o.file.empty()) {
    std::string error;
    if (!LoadProblemFile(o.file, doc, error)) {
      WriteLine(err, "quorvant-cli: " + o.file + ": " + error);
      return kExitUsage;
    }
  }

  Dimension dim;
  StderrSink sink(err);
  FunctionEvaluator evaluator(dim, sink);
  evaluator.Prepare();
  if (!o.file.empty()) {
    ApplyDocument(doc, dim);
    if (evaluator.RegisterConstants() != 0 && sink.shown > 0) return kExitScriptError;
  }

  if (o.eval) {
    script::Variant value;
    evaluator.extraFunctions().ierr = 0;
    if (const int32_t e = evaluator.engine().Eval(*o.eval, value)) {
      WriteLine(out, "error " + std::to_string(e) + ": " + evaluator.engine().Error().description);
      return kExitScriptError;
    }
    // An extra function that failed returned 0 and let the expression finish; the
    // function evaluation of a search raises its error afterwards, and so does this.
    if (const int32_t e = evaluator.extraFunctions().ierr) {
      WriteLine(out, "error " + std::to_string(e) + ": " + std::string(script::ErrorDescription(e)));
      return kExitScriptError;
    }
    WriteLine(out, script::DisplayText(value) + " (" + std::string(script::TypeName(value.type)) +
                       ")");
    return kExitOk;
  }

  StdoutHooks hooks(out, o.info);
  int status = kExitOk;
  if (o.explore || o.randomTrials) {
    dim.maxCount = 0;
    dim.minCount = 0;
    dim.randomTrials = o.randomTrials.value_or(0);
    dim.randomMode = o.randomTrials.has_value();
    SearchEngine engine(dim, evaluator, hooks);
    const RunSummary summary = engine.Compute();
    dim.randomTrials = 0;
    if (summary.end == RunEnd::Refused) {
      WriteLine(err, "quorvant-cli: " + summary.reason);
      return kExitUsage;
    }
    WriteLine(out, CountsCaption(dim.maxCount, dim.minCount));
    if (summary.end == RunEnd::Failed && !RunTolerates(summary.errorNumber)) status = kExitScriptError;
  } else {
    const std::string caption = ListSolutions(dim, evaluator, [&](std::string_view l) { hooks.AppendLine(l); });
    WriteLine(out, caption);
  }
  if (o.report) {
    TextReportPrinter printer;
    const std::span<const std::string> constants(dim.constants.data(),
                                                 static_cast<size_t>(dim.constCount));
    PrintReport(printer, dim, evaluator, dim.formula, constants);
    std::fputs(printer.text().c_str(), out);
  }
  if (sink.shown > 0) status = kExitScriptError;

  if (o.plot) {
    if (!plot) {
      WriteLine(err, "quorvant-cli: --plot is not available in this build (it needs the window's libraries)");
      return kExitUsage;
    }
    if (const std::string problem = plot(dim, hooks.points, *o.plot); !problem.empty()) {
      WriteLine(err, "quorvant-cli: " + problem);
      return kExitUsage;
    }
  }

  if (o.save) {
    std::string error;
    if (!SaveProblemFile(o.file, DocumentFromProblem(dim), error)) {
      WriteLine(err, "quorvant-cli: " + error);
      return kExitUsage;
    }
  }
  return status;
}

}  // namespace quorvant
