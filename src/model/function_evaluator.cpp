#include "model/function_evaluator.h"

#include <bit>
#include <cmath>

#include "model/numtext.h"
#include "model/script/fast_vm.h"
#include "model/text_safety.h"

namespace quorvant {

bool IsSilentError(int32_t number) {
  return number == 5 || number == 6 || number == 11 || number == script::kAlreadyReported;
}

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

FunctionEvaluator::FunctionEvaluator(Dimension& dim, MessageSink& messages)
    : dim_(dim), messages_(messages), extra_(&dim.ierr) {
  engine_.SetErrorCallback([this](const script::ScriptError& error) { OnScriptError(error); });
}

void FunctionEvaluator::OnScriptError(const script::ScriptError& error) {
  dim_.ierr = error.number;
  if (IsSilentError(error.number)) return;
  messages_.ShowMessage(kScriptErrorTitle, ScriptErrorMessage(error), MessageIcon::Critical);
}

void FunctionEvaluator::Prepare() {
  engine_.AddObject("sh", &extra_, true);
  dim_.halfpi = std::atan(1.0) * 2;
  dim_.pi = std::atan(1.0) * 4;
  dim_.e = std::exp(1.0);
  engine_.ExecuteStatement("halfpi = Atn(1) * 2");
  engine_.ExecuteStatement("pi = Atn(1) * 4");
  engine_.ExecuteStatement("e = Exp(1)");
  boundNames_.clear();
  formulaProgram_.reset();
}

std::string ConstantFailureMessage(const ConstantFailure& failure) {
  return "The user constant \"" + Printable(failure.statement) + "\" (number " +
         std::to_string(failure.index + 1) + ") cannot be executed: error " +
         std::to_string(failure.errorNumber) + ", " +
         std::string(script::ErrorDescription(failure.errorNumber)) +
         ". Correct or remove it: the constants after it would be missing.";
}

ConstantFailure FunctionEvaluator::RegisterConstants(std::span<const std::string> statements) {
  for (size_t k = 0; k < statements.size(); ++k)
    if (int32_t e = engine_.ExecuteStatement(statements[k]))
      return {e, static_cast<int32_t>(k), statements[k]};
  return {};
}

ConstantFailure FunctionEvaluator::RegisterConstants() {
  return RegisterConstants(
      std::span<const std::string>(dim_.constants.data(), static_cast<size_t>(dim_.constCount)));
}

void FunctionEvaluator::BindVariables() {
  boundNames_ = dim_.varNames;
  bound_.assign(boundNames_.size(), BoundVariable{});
  for (size_t i = 0; i < boundNames_.size(); ++i) {
    BoundVariable& v = bound_[i];
    v.slot = engine_.AssignableSlot(boundNames_[i]);
    if (v.slot >= 0) v.target = engine_.NumberTargetFor(v.slot);
    // Matches no finite coordinate; a NaN coordinate with these very bits finds its
    // rounded value NaN too, and fails as every non-finite one does.
    v.lastRaw = v.lastRounded = std::nan("");
  }
}

namespace {

// Names are short: a plain loop beats a library call here, once per evaluation.
bool SameNames(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const std::string& x = a[i];
    const std::string& y = b[i];
    if (x.size() != y.size()) return false;
    for (size_t k = 0; k < x.size(); ++k)
      if (x[k] != y[k]) return false;
  }
  return true;
}

}  // namespace

int32_t FunctionEvaluator::AssignVariables() {
  const size_t n = static_cast<size_t>(dim_.varCount);
  if (!fastPath_) {
    for (size_t assignIndex = 0; assignIndex < n; ++assignIndex) {
      const double value = dim_.point[assignIndex];
      if (!std::isfinite(Round15(value))) return dim_.ierr = script::kOverflow;
      if (int32_t e = engine_.ExecuteStatement(AssignmentText(dim_.varNames[assignIndex], value)))
        return e;
    }
    return 0;
  }
  if (!SameNames(boundNames_, dim_.varNames)) BindVariables();
  const double* point = dim_.point.data();
  BoundVariable* bound = bound_.data();
  for (size_t assignIndex = 0; assignIndex < n; ++assignIndex) {
    const double value = point[assignIndex];
    BoundVariable& v = bound[assignIndex];
    if (std::bit_cast<uint64_t>(value) != std::bit_cast<uint64_t>(v.lastRaw)) {
      v.lastRaw = value;
      v.lastRounded = Round15(value);
    }
    if (!std::isfinite(v.lastRounded)) return dim_.ierr = script::kOverflow;
    if (v.direct()) {
      script::ScriptEngine::AssignNumberTo(v.target, v.lastRounded);
      continue;
    }
    const int32_t e =
        v.slot >= 0 ? engine_.AssignNumber(v.slot, dim_.varNames[assignIndex], v.lastRounded)
                    : engine_.ExecuteStatement(AssignmentText(dim_.varNames[assignIndex], value));
    if (e) return e;
  }
  return 0;
}

int32_t FunctionEvaluator::EvaluateFunction(double& value) {
  if (int32_t e = AssignVariables()) return e;
  extra_.ierr = 0;
  double result;
  if (!formulaProgram_ || dim_.formula != compiledFormula_) {
    formulaProgram_ = engine_.CompileExpression(dim_.formula);
    if (!formulaProgram_) return engine_.Error().number;
    compiledFormula_ = dim_.formula;
  }
  // The double-only machine directly when it can; anything else (a failure to
  // report, a value it hands back) goes through the engine.
  const script::Program& program = *formulaProgram_;
  if (!(fastPath_ && program.fast && script::RunFast(*program.fast, result) == 0)) {
    if (int32_t e = engine_.EvalNumber(program, dim_.formula, result, fastPath_)) return e;
  }
  if (extra_.ierr != 0) return extra_.ierr;
  value = result;
  return 0;
}

}  // namespace quorvant
