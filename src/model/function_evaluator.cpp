#include "model/function_evaluator.h"

#include <bit>
#include <cmath>

#include "model/numtext.h"

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

int32_t FunctionEvaluator::RegisterConstants(std::span<const std::string> statements) {
  for (const std::string& statement : statements)
    if (int32_t e = engine_.ExecuteStatement(statement)) return e;
  return 0;
}

int32_t FunctionEvaluator::RegisterConstants() {
  return RegisterConstants(
      std::span<const std::string>(dim_.constants.data(), static_cast<size_t>(dim_.constCount)));
}

void FunctionEvaluator::BindVariables() {
  boundNames_ = dim_.varNames;
  slots_.clear();
  targets_.clear();
  for (const std::string& name : boundNames_) {
    const int32_t slot = engine_.AssignableSlot(name);
    slots_.push_back(slot);
    targets_.push_back(slot >= 0 ? engine_.NumberTargetFor(slot) : script::ScriptEngine::NumberTarget{});
  }
  lastRaw_.assign(boundNames_.size(), std::nan(""));
  lastRounded_.assign(boundNames_.size(), 0.0);
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
  if (fastPath_ && !SameNames(boundNames_, dim_.varNames)) BindVariables();
  for (size_t assignIndex = 0; assignIndex < n; ++assignIndex) {
    const double value = dim_.point[assignIndex];
    const std::string& name = dim_.varNames[assignIndex];
    if (!std::isfinite(value)) {
      dim_.ierr = 6;
      return 6;
    }
    int32_t e;
    if (fastPath_ && slots_[assignIndex] >= 0) {
      if (std::bit_cast<uint64_t>(value) != std::bit_cast<uint64_t>(lastRaw_[assignIndex])) {
        lastRaw_[assignIndex] = value;
        lastRounded_[assignIndex] = Round15(value);
      }
      const auto& target = targets_[assignIndex];
      if (target.member || target.variable) {
        script::ScriptEngine::AssignNumberTo(target, lastRounded_[assignIndex]);
        continue;
      }
      e = engine_.AssignNumber(slots_[assignIndex], name, lastRounded_[assignIndex]);
    } else {
      e = engine_.ExecuteStatement(AssignmentText(name, value));
    }
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
  if (int32_t e = engine_.EvalNumber(*formulaProgram_, dim_.formula, result, fastPath_)) return e;
  if (extra_.ierr != 0) return extra_.ierr;
  value = result;
  return 0;
}

}  // namespace quorvant
