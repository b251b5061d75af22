#include "model/script/script_engine.h"

#include <cmath>

#include "model/numtext.h"
#include "model/script/fast_vm.h"

namespace quorvant::script {

namespace {

// A compiled-text cache that outgrows this is emptied and starts again: statements
// such as "x=1.25" are compiled once per distinct text.
constexpr size_t kCacheLimit = 4096;

// The line `line` (1-based) of `text`, without its line break.
std::string_view LineOf(std::string_view text, int32_t line) {
  size_t start = 0;
  for (int32_t current = 1; current < line; ++current) {
    size_t p = start;
    while (p < text.size() && text[p] != '\r' && text[p] != '\n') ++p;
    if (p >= text.size()) return {};
    if (text[p] == '\r' && p + 1 < text.size() && text[p + 1] == '\n') ++p;
    start = p + 1;
  }
  size_t end = start;
  while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
  return text.substr(start, end - start);
}

}  // namespace

ScriptEngine::ScriptEngine() : vm_(slots_) {}
ScriptEngine::~ScriptEngine() = default;

std::string ScriptEngine::Key(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

int32_t ScriptEngine::SlotFor(std::string_view name) {
  std::string key = Key(name);
  auto it = slotIndex_.find(key);
  if (it != slotIndex_.end()) return it->second;
  Slot slot;
  slot.name = std::string(name);
  slots_.push_back(std::move(slot));
  const auto index = static_cast<int32_t>(slots_.size() - 1);
  slotIndex_.emplace(std::move(key), index);
  return index;
}

void ScriptEngine::AddObject(std::string_view name, HostObject* object, bool addMembers) {
  Slot& own = slots_[SlotFor(name)];
  own.kind = Slot::Kind::HostObjectName;
  own.object = object;
  if (addMembers) {
    const auto members = object->Members();
    for (size_t k = 0; k < members.size(); ++k) {
      const HostObject::Member& m = members[k];
      Slot& slot = slots_[SlotFor(m.name)];
      slot.object = object;
      slot.member = static_cast<int>(k);
      slot.arity = m.arity;
      slot.doubleValue = m.doubleValue;
      slot.longValue = m.longValue;
      switch (m.kind) {
        case HostObject::MemberKind::DoubleProperty:
          slot.kind = Slot::Kind::HostDouble;
          break;
        case HostObject::MemberKind::LongProperty:
          slot.kind = Slot::Kind::HostLong;
          break;
        case HostObject::MemberKind::Method:
          slot.kind = Slot::Kind::HostMethod;
          break;
      }
    }
  }
  // Compiled code depends on the kinds of the names it uses.
  cache_.clear();
  lastText_.clear();
  lastProgram_ = nullptr;
}

int32_t ScriptEngine::Fail(int32_t number, std::string_view text, bool compile, int32_t line,
                           int32_t column, const std::string& name) {
  error_.number = number;
  error_.source = std::string(compile ? kCompileSource : kRuntimeSource);
  error_.description = std::string(ErrorDescription(number));
  if (!name.empty()) error_.description += ": '" + name + "'";
  error_.text = std::string(LineOf(text, line));
  error_.line = line;
  error_.column = column;
  if (onError_) onError_(error_);
  return number;
}

int32_t ScriptEngine::FailCompile(std::string_view text, int32_t number, uint32_t offset) {
  int32_t line = 1;
  uint32_t lineStart = 0;
  for (uint32_t p = 0; p < offset && p < text.size(); ++p) {
    if (text[p] == '\n' || (text[p] == '\r' && (p + 1 >= text.size() || text[p + 1] != '\n'))) {
      ++line;
      lineStart = p + 1;
    }
  }
  return Fail(number, text, true, line, static_cast<int32_t>(offset - lineStart), {});
}

int32_t ScriptEngine::FailRun(const Program& program, std::string_view text,
                              const RunFailure& failure) {
  StatementInfo where;
  if (failure.statement >= 0 && failure.statement < static_cast<int32_t>(program.statements.size()))
    where = program.statements[failure.statement];
  return Fail(failure.number, text, false, where.line, where.column, failure.name);
}

const Program* ScriptEngine::Get(std::string_view text, bool expression) {
  if (expression && lastProgram_ && text == lastText_) return lastProgram_;
  std::string key;
  key.reserve(text.size() + 1);
  key.push_back(expression ? 'E' : 'S');
  key.append(text);
  const Program* program;
  auto it = cache_.find(key);
  if (it != cache_.end()) {
    program = it->second.get();
  } else {
    CompileResult compiled = Compile(text, expression, *this);
    if (!compiled.program) {
      FailCompile(text, compiled.error, compiled.errorOffset);
      return nullptr;
    }
    if (expression) compiled.program->fast = BuildFastProgram(*compiled.program, slots_);
    if (cache_.size() >= kCacheLimit) {
      cache_.clear();
      lastProgram_ = nullptr;
    }
    std::shared_ptr<const Program> owned = std::move(compiled.program);
    program = owned.get();
    cache_.emplace(std::move(key), std::move(owned));
  }
  if (expression) {
    lastText_.assign(text);
    lastProgram_ = program;
  }
  return program;
}

int32_t ScriptEngine::ExecuteStatement(std::string_view text) {
  const Program* program = Get(text, false);
  if (!program) return error_.number;
  RunFailure failure;
  if (vm_.Run(*program, nullptr, failure)) return FailRun(*program, text, failure);
  return 0;
}

int32_t ScriptEngine::Eval(std::string_view text, Variant& result) {
  const Program* program = Get(text, true);
  if (!program) return error_.number;
  RunFailure failure;
  if (vm_.Run(*program, &result, failure)) return FailRun(*program, text, failure);
  return 0;
}

int32_t ScriptEngine::EvalNumber(std::string_view text, double& result, bool allowFast) {
  const Program* program = Get(text, true);
  if (!program) return error_.number;
  return EvalNumber(*program, text, result, allowFast);
}

std::shared_ptr<const Program> ScriptEngine::CompileExpression(std::string_view text) {
  if (!Get(text, true)) return nullptr;
  std::string key;
  key.push_back('E');
  key.append(text);
  return cache_.at(key);
}

int32_t ScriptEngine::EvalNumber(const Program& program, std::string_view text, double& result,
                                 bool allowFast) {
  if (allowFast && program.fast) {
    const int32_t e = RunFast(*program.fast, result);
    if (e == 0) return 0;
    if (e != kHandBack) return FailRun(program, text, RunFailure{e, {}, 0});
  }
  Variant value;
  RunFailure failure;
  if (vm_.Run(program, &value, failure)) return FailRun(program, text, failure);
  // Converting the value is the caller's step, not the interpreter's: a value that
  // is no number fails without an error report.
  return ToDouble(value, result);
}

std::string ScriptEngine::Disassembly(std::string_view expression) {
  const Program* program = Get(expression, true);
  if (!program) return "error " + std::to_string(error_.number) + "\n";
  return Disassemble(*program) + "--\n" +
         (program->fast ? DisassembleFast(*program->fast) : std::string("none\n"));
}

int32_t ScriptEngine::AssignableSlot(std::string_view name) {
  std::string statement(name);
  statement += "=0";
  CompileResult compiled = Compile(statement, false, *this);
  if (!compiled.program) return -1;
  const auto& code = compiled.program->code;
  if (code.size() != 4 || code[0].op != Op::Statement || code[1].op != Op::PushConst ||
      code[2].op != Op::Store || code[3].op != Op::Return)
    return -1;
  const Slot& slot = slots_[code[2].a];
  if (slot.kind != Slot::Kind::Variable && slot.kind != Slot::Kind::HostDouble &&
      slot.kind != Slot::Kind::HostLong)
    return -1;
  return code[2].a;
}

ScriptEngine::NumberTarget ScriptEngine::NumberTargetFor(int32_t slotIndex) {
  Slot& slot = slots_[slotIndex];
  NumberTarget target;
  if (slot.kind == Slot::Kind::HostDouble)
    target.member = slot.doubleValue;
  else if (slot.kind == Slot::Kind::Variable)
    target.variable = &slot.value;
  return target;
}

int32_t ScriptEngine::AssignNumber(int32_t slotIndex, std::string_view name, double value) {
  const NumberTarget target = NumberTargetFor(slotIndex);
  if (target.member || target.variable) {
    AssignNumberTo(target, value);
    return 0;
  }
  // Typed members that convert (a Long member), through the general store.
  Variant v;
  v.type = VType::Double;
  v.d = value;
  const double magnitude = std::fabs(value);
  if (magnitude <= 2147483647.0 && value == std::trunc(value))
    v = magnitude <= 32767.0 ? Variant::Int(static_cast<int16_t>(value))
                             : Variant::Long(static_cast<int32_t>(value));
  std::string failedName;
  const int32_t e = StoreSlot(slots_[slotIndex], v, failedName);
  if (e == 0) return 0;
  std::string text(name);  // the statement the assignment stands for
  text += '=';
  AppendGeneral(text, value);
  size_t column = 0;
  while (column < name.size() && (name[column] == ' ' || name[column] == '\t')) ++column;
  return Fail(e, text, false, 1, static_cast<int32_t>(column), failedName);
}

}  // namespace quorvant::script
