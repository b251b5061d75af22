#include "model/function_evaluator.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cmath>

#include "model/numtext.h"
#include "model/script/fast_vm.h"
#include "model/text_safety.h"

namespace quorvant {

std::string ScriptErrorMessage(const script::ScriptError& error) {
  std::string text = error.source;
  text += ' ';
  text += std::to_string(error.number);
  text += '\r';
  text += error.description;
  text += "\r\rAt line ";
  text += std::to_string(error.line);
  text += ", col ";
  text += std::to_string(error.column);
  text += ": [";
  text += error.text;
  text += ']';
  return text;
}

std::string AssignmentText(std::string_view name, double value) {
  std::string lineText(name);
  lineText += '=';
  AppendGeneral(lineText, value);
  return lineText;
}

FunctionEvaluator::FunctionEvaluator(MessageSink& messages) : messages_(messages), extra_(&ierr_) {
  engine_.SetErrorCallback([this](const script::ScriptError& error) { OnScriptError(error); });
}

void FunctionEvaluator::OnScriptError(const script::ScriptError& error) {
  ierr_ = error.number;
  if (script::IsNumericFault(error.number)) return;
  messages_.ShowMessage(kScriptErrorTitle, ScriptErrorMessage(error), MessageIcon::Critical);
}

void FunctionEvaluator::Prepare() {
  SyncVariables();
  history_.clear();
  registeredLast_ = false;
  engine_.AddObject("sh", &extra_, true);
  engine_.ExecuteStatement("halfpi = Atn(1) * 2");
  engine_.ExecuteStatement("pi = Atn(1) * 4");
  engine_.ExecuteStatement("e = Exp(1)");
  bound_.clear();
  last_.clear();
  rounded_.clear();
  formulaProgram_.reset();
  compiled_.reset();
  compileTried_ = false;
  directCoordinates_ = false;
  UpdateDirectPath();
}

std::string ConstantFailureMessage(const ConstantFailure& failure) {
  return "The user constant \"" + Printable(failure.statement) + "\" (number " +
         std::to_string(failure.index + 1) + ") cannot be executed: error " +
         std::to_string(failure.errorNumber) + ", " +
         std::string(script::ErrorDescription(failure.errorNumber)) +
         ". Correct or remove it: the constants after it would be missing.";
}

ConstantFailure FunctionEvaluator::RegisterConstants(std::span<const std::string> statements) {
  SyncVariables();
  const bool again = registeredLast_ && std::equal(statements.begin(), statements.end(),
                                                   lastRegistered_.begin(), lastRegistered_.end());
  if (!again) {
    history_.insert(history_.end(), statements.begin(), statements.end());
    lastRegistered_.assign(statements.begin(), statements.end());
    registeredLast_ = true;
  }
  for (size_t k = 0; k < statements.size(); ++k)
    if (int32_t e = engine_.ExecuteStatement(statements[k]))
      return {e, static_cast<int32_t>(k), statements[k]};
  return {};
}

int32_t FunctionEvaluator::Execute(std::string_view statement) {
  SyncVariables();
  history_.emplace_back(statement);
  registeredLast_ = false;
  return engine_.ExecuteStatement(statement);
}

namespace {

class QuietSink final : public MessageSink {
 public:
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
};

// An evaluator for another thread, with a sink of its own that shows nothing.
class QuietEvaluator final : public PointFunction {
 public:
  QuietEvaluator() : evaluator(sink) {}
  int32_t EvaluateFunction(std::span<const double> x, double& value) override {
    return evaluator.EvaluateFunction(x, value);
  }
  int32_t EvaluateRounded(std::span<const double> x, std::span<const double> rounded,
                          double& value) override {
    return evaluator.EvaluateRounded(x, rounded, value);
  }
  QuietSink sink;
  FunctionEvaluator evaluator;
};

}  // namespace

std::function<std::unique_ptr<PointFunction>()> FunctionEvaluator::Copies() const {
  return CopiesOf(Recipe());
}

void FunctionEvaluator::PrepareFrom(const EvaluatorRecipe& recipe) {
  Prepare();
  for (const std::string& statement : recipe.statements) engine_.ExecuteStatement(statement);
  history_ = recipe.statements;
  SetFunction(recipe.names, recipe.formula);
  SetFastPath(recipe.fastPath);
  SetCompiledCode(recipe.compiledCode);
}

std::function<std::unique_ptr<PointFunction>()> FunctionEvaluator::CopiesOf(
    EvaluatorRecipe recipe) {
  return [recipe = std::move(recipe)] {
    auto copy = std::make_unique<QuietEvaluator>();
    copy->evaluator.PrepareFrom(recipe);
    return std::unique_ptr<PointFunction>(std::move(copy));
  };
}

void FunctionEvaluator::SetFunction(std::span<const std::string> names, std::string formula) {
  SyncVariables();
  names_.assign(names.begin(), names.end());
  bound_.assign(names.size(), BoundVariable{});
  // Matches no finite coordinate; a NaN coordinate with these very bits finds its
  // rounded value NaN too, and fails as every non-finite one does.
  last_.assign(names.size(), LastCoordinate{std::nan(""), std::nan("")});
  rounded_.assign(names.size(), 0.0);
  for (size_t i = 0; i < names.size(); ++i) {
    BoundVariable& v = bound_[i];
    v.name = names[i];
    v.slot = engine_.AssignableSlot(v.name);
    if (v.slot >= 0) v.target = engine_.NumberTargetFor(v.slot);
  }
  formula_ = std::move(formula);
  formulaProgram_.reset();
  compiled_.reset();
  compileTried_ = false;
  directCoordinates_ = false;
  UpdateDirectPath();
}

// After evaluations with the 15-digit values given, last_ no longer says what rounded_
// holds: every coordinate counts as changed once.
void FunctionEvaluator::FreshenLast() {
  if (!lastStale_) return;
  for (LastCoordinate& last : last_) last = {std::nan(""), std::nan("")};
  lastStale_ = false;
}

int32_t FunctionEvaluator::AssignVariables(std::span<const double> x) {
  SyncVariables();
  FreshenLast();
  const size_t n = std::min(x.size(), bound_.size());
  if (!fastPath_) {
    for (size_t assignIndex = 0; assignIndex < n; ++assignIndex) {
      const double value = x[assignIndex];
      if (!std::isfinite(Round15(value))) return ierr_ = script::kOverflow;
      if (int32_t e = engine_.ExecuteStatement(AssignmentText(bound_[assignIndex].name, value)))
        return e;
    }
    return 0;
  }
  BoundVariable* bound = bound_.data();
  for (size_t assignIndex = 0; assignIndex < n; ++assignIndex) {
    const double value = x[assignIndex];
    BoundVariable& v = bound[assignIndex];
    LastCoordinate& last = last_[assignIndex];
    if (std::bit_cast<uint64_t>(value) != std::bit_cast<uint64_t>(last.raw)) {
      last.raw = value;
      last.rounded = Round15(value);
      if (std::isfinite(last.rounded)) rounded_[assignIndex] = last.rounded + 0.0;
    }
    if (!std::isfinite(last.rounded)) return ierr_ = script::kOverflow;
    if (v.direct()) {
      script::ScriptEngine::AssignNumberTo(v.target, last.rounded);
      continue;
    }
    const int32_t e = v.slot >= 0 ? engine_.AssignNumber(v.slot, v.name, last.rounded)
                                  : engine_.ExecuteStatement(AssignmentText(v.name, value));
    if (e) return e;
  }
  return 0;
}

// Rounds the coordinates into rounded_ (one for each variable); false, with nothing
// of a later coordinate rounded, where one is not finite.
inline bool FunctionEvaluator::RoundCoordinates(std::span<const double> x) {
  FreshenLast();
  LastCoordinate* last = last_.data();
  double* rounded = rounded_.data();
  for (size_t i = 0; i < x.size(); ++i) {
    const double value = x[i];
    if (std::bit_cast<uint64_t>(value) != std::bit_cast<uint64_t>(last[i].raw)) {
      const double r = Round15(value);
      if (!std::isfinite(r)) return false;
      last[i] = {value, r};
      rounded[i] = r + 0.0;
    } else if (!std::isfinite(last[i].rounded)) {
      return false;
    }
  }
  return true;
}

// What AssignVariables would have done for the coordinates the machine code read.
void FunctionEvaluator::AssignRoundedCoordinates() {
  variablesBehind_ = false;
  for (size_t i = 0; i < bound_.size(); ++i)
    script::ScriptEngine::AssignNumberTo(bound_[i].target, rounded_[i]);
}

// The machine code, when the formula has a double-only form the compiler takes. Its
// variables are read straight from rounded_ when each of them takes a number without
// a conversion (a plain variable or a Double member) and no host method can run
// while the code runs (one could read or change them); else from the variables.
void FunctionEvaluator::CompileMachineCode(const script::Program& program) {
  compileTried_ = true;
  if (!program.fast) return;
  bool direct = true;
  for (const BoundVariable& v : bound_) direct = direct && v.direct();
  for (const script::FInstr& in : program.fast->code)
    direct = direct && in.op != script::FOp::CallHost;
  std::vector<script::DirectInput> inputs;
  if (direct) {
    for (size_t i = 0; i < bound_.size(); ++i) {
      const auto& target = bound_[i].target;
      inputs.push_back({target.member ? static_cast<const void*>(target.member) : target.variable,
                        static_cast<int32_t>(i)});
    }
  }
  compiled_ = script::CompileFormula(*program.fast, inputs);
  // Whole cache lines of 8 numbers, starting at least one line into the storage.
  const size_t memoSize = compiled_ ? (compiled_->MemoSize() + 7) / 8 * 8 : 0;
  memoStorage_.assign(memoSize ? memoSize + 16 : 0, 0.0);
  memo_ = nullptr;
  if (memoSize) {
    const auto start = reinterpret_cast<uintptr_t>(memoStorage_.data() + 8);
    memo_ = reinterpret_cast<double*>((start + 63) / 64 * 64);
  }
  directCoordinates_ = direct && compiled_;
  UpdateDirectPath();
}

int32_t FunctionEvaluator::EvaluateFunction(std::span<const double> x, double& value) {
  // The machine code reading the coordinates itself (it writes `value` only when it
  // answers; it calls no host method, so no extra function records an error).
  if (directPath_ && x.size() == last_.size() && RoundCoordinates(x)) return RunDirect(value);
  return EvaluateAssigned(x, value);
}

// The machine code reading the rounded coordinates itself, with this evaluator's memo.
int32_t FunctionEvaluator::RunDirect(double& value) {
  variablesBehind_ = true;
  extra_.ierr = 0;
  if (compiled_->Run(rounded_.data(), value, memo_) == 0) return 0;
  return HandOver(value);
}

int32_t FunctionEvaluator::EvaluateRounded(std::span<const double> x,
                                           std::span<const double> rounded, double& value) {
  if (x.size() != last_.size() || rounded.size() != x.size()) return EvaluateFunction(x, value);
  // The machine code reads the 15-digit values alone: they are copied, and last_ is
  // marked stale instead of kept (a walk changes a different coordinate at every
  // evaluation, so keeping it costs more than rounding again after the walk).
  double* kept = rounded_.data();
  if (directPath_) {
    size_t i = 0;
#if defined(__SSE2__)
    // Two at a time (the compiler does not vectorise this at -O2).
    for (; i + 2 <= x.size(); i += 2)
      _mm_storeu_pd(kept + i, _mm_add_pd(_mm_loadu_pd(rounded.data() + i), _mm_setzero_pd()));
#endif
    for (; i < x.size(); ++i) kept[i] = rounded[i] + 0.0;
    lastStale_ = true;
    return RunDirect(value);
  }
  // What RoundCoordinates and AssignVariables keep of a coordinate that changed (one
  // that did not change keeps the same values, so each is stored without a test).
  FreshenLast();
  LastCoordinate* last = last_.data();
  for (size_t i = 0; i < x.size(); ++i) {
    last[i] = {x[i], rounded[i]};
    kept[i] = rounded[i] + 0.0;
  }
  return EvaluateAssigned(x, value);
}

// The machine code did not answer: the interpreter runs the evaluation as it would
// without it, with the variables assigned and from the error state it started with
// (a host method the machine code called is called again there with the same
// argument).
int32_t FunctionEvaluator::HandOver(double& value) {
  ++handOvers_;
  SyncVariables();
  extra_.ierr = 0;
  return RunInterpreter(*formulaProgram_, value);
}

// The evaluation with the coordinates assigned to the variables first; the formula
// compiled at its first evaluation, to machine code too where it can be.
int32_t FunctionEvaluator::EvaluateAssigned(std::span<const double> x, double& value) {
  if (int32_t e = AssignVariables(x)) return e;
  extra_.ierr = 0;
  if (!formulaProgram_) {
    formulaProgram_ = engine_.CompileExpression(formula_);
    if (!formulaProgram_) return engine_.Error().number;
  }
  const script::Program& program = *formulaProgram_;
  if (fastPath_ && compiledOn_) {
    if (!compileTried_) CompileMachineCode(program);
    // (Reading rounded_ needs a coordinate for every variable.)
    if (compiled_ && (!directCoordinates_ || x.size() == bound_.size())) {
      double result;
      if (compiled_->Run(rounded_.data(), result, memo_) != 0) return HandOver(value);
      if (extra_.ierr != 0) return extra_.ierr;
      value = result;
      return 0;
    }
  }
  return RunInterpreter(program, value);
}

// The double-only machine directly when it can. Anything else runs the formula again
// from its start, through the engine: a failure to report on the double-only machine
// again, a value it handed back on the Variant machine. The run again starts from the
// error state the first one started from, as the plain path's single run does: an
// extra function may have recorded an error that the formula reads (ierr) before the
// call that records it.
int32_t FunctionEvaluator::RunInterpreter(const script::Program& program, double& value) {
  double result;
  if (fastPath_ && program.fast) {
    const int32_t first = script::RunFast(*program.fast, result);
    if (first != 0) {
      extra_.ierr = 0;
      if (int32_t e = engine_.EvalNumber(program, formula_, result, first != script::kHandBack))
        return e;
    }
  } else if (int32_t e = engine_.EvalNumber(program, formula_, result, fastPath_)) {
    return e;
  }
  if (extra_.ierr != 0) return extra_.ierr;
  value = result;
  return 0;
}

}  // namespace quorvant
