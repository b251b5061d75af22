// Fuzzes the formula interpreter and the formula compiler. The first line of the
// input runs as statements, the rest as an expression. Two engines run it, one on
// the fast path and one on the plain path, and must agree to the bit. The
// expression's machine code must give what the double-only machine gives wherever
// it answers itself; and evaluated as the function, the machine code, the
// interpreter and the plain path must agree to the bit (value, error number, ierr).
// As a function of u, v and w, walked over points that revisit a few values one or
// more coordinates at a time (as Explore's neighbours do), the machine code with its
// kept values and value tables must give what the interpreter gives at every point.
// Any crash, hang, sanitizer report or disagreement is a finding.
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "model/function_evaluator.h"
#include "model/message_sink.h"
#include "model/script/fast_vm.h"
#include "model/script/jit.h"
#include "script_test_util.h"

namespace {

class NullSink : public quorvant::MessageSink {
 public:
  void ShowMessage(std::string_view, std::string_view, quorvant::MessageIcon) override {}
};

using Outcome = quorvant::testing::EvaluationOutcome;

// The expression as the function of no variables, on one of three paths.
enum class Path { kCompiled, kInterpreter, kPlain };

// Evaluated as the function of `names` at each of `points` in turn.
std::vector<Outcome> EvaluateAsFunction(std::string_view statements, std::string_view expression,
                                        Path path, const std::vector<std::string>& names = {},
                                        const std::vector<std::vector<double>>& points = {{}, {}}) {
  NullSink sink;
  quorvant::FunctionEvaluator evaluator(sink);
  evaluator.Prepare();
  evaluator.engine().ExecuteStatement(statements);
  evaluator.SetCompiledCode(path == Path::kCompiled);
  evaluator.SetFastPath(path != Path::kPlain);
  evaluator.SetFunction(names, std::string(expression));
  std::vector<Outcome> outcomes;
  for (const std::vector<double>& point : points)
    outcomes.push_back(quorvant::testing::EvaluateOutcome(evaluator, point));
  return outcomes;
}

// 15 points over five values per coordinate (0.5 and 0 fail a root or a logarithm of
// some formulas, 2 makes a whole number): consecutive points differ in one, two or
// three coordinates, and every value comes back.
std::vector<std::vector<double>> Walk() {
  const double values[] = {1.5, -1, 0.5, 0, 2};
  std::vector<std::vector<double>> points;
  for (int k = 0; k < 15; ++k)
    points.push_back({values[k % 5], values[k / 2 % 5], values[k / 3 % 5]});
  return points;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  const std::string_view statements =
      newline == std::string_view::npos ? "" : input.substr(0, newline);
  const std::string_view expression =
      newline == std::string_view::npos ? input : input.substr(newline + 1);

  NullSink sink;
  quorvant::FunctionEvaluator fast(sink), plain(sink);
  fast.Prepare();
  plain.Prepare();
  const int32_t s1 = fast.engine().ExecuteStatement(statements);
  const int32_t s2 = plain.engine().ExecuteStatement(statements);
  if (s1 != s2) std::abort();
  double a = 0, b = 0;
  const int32_t e1 = fast.engine().EvalNumber(expression, a, true);
  const int32_t e2 = plain.engine().EvalNumber(expression, b, false);
  if (e1 != e2) std::abort();
  if (e1 == 0 && std::bit_cast<uint64_t>(a) != std::bit_cast<uint64_t>(b)) std::abort();
  if (fast.extraFunctions().ierr != plain.extraFunctions().ierr) std::abort();
  quorvant::script::Variant v;
  fast.engine().Eval(expression, v);

  // The machine code against the double-only machine, on one compiled program: where
  // it answers, the same value and the same error recorded by the extra functions;
  // where the double-only machine hands a -0 back to the Variant machine, the value
  // the Variant machine gives.
  const auto program = fast.engine().CompileExpression(expression);
  if (program && program->fast) {
    if (const auto code = quorvant::script::CompileFormula(*program->fast)) {
      fast.extraFunctions().ierr = 0;
      double c = 0;
      const int32_t byCode = code->Run(nullptr, c);
      const int32_t codeIerr = fast.extraFunctions().ierr;
      fast.extraFunctions().ierr = 0;
      double r = 0;
      const int32_t byMachine = quorvant::script::RunFast(*program->fast, r);
      const bool handedBack = byMachine == quorvant::script::kHandBack;
      if (byCode == 0 && handedBack &&
          (e1 != 0 || std::bit_cast<uint64_t>(c) != std::bit_cast<uint64_t>(a)))
        std::abort();
      if (byCode == 0 && !handedBack &&
          (byMachine != 0 || std::bit_cast<uint64_t>(c) != std::bit_cast<uint64_t>(r) ||
           codeIerr != fast.extraFunctions().ierr))
        std::abort();
    }
  }

  const auto compiled = EvaluateAsFunction(statements, expression, Path::kCompiled);
  if (compiled != EvaluateAsFunction(statements, expression, Path::kInterpreter)) std::abort();
  if (compiled != EvaluateAsFunction(statements, expression, Path::kPlain)) std::abort();

  static const std::vector<std::vector<double>> walk = Walk();
  static const std::vector<std::string> uvw = {"u", "v", "w"};
  if (EvaluateAsFunction(statements, expression, Path::kCompiled, uvw, walk) !=
      EvaluateAsFunction(statements, expression, Path::kInterpreter, uvw, walk))
    std::abort();
  return 0;
}
