#include "model/script/fast_vm.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>

#include "model/numtext.h"
#include "model/script/builtins.h"
#include "model/script/operators.h"
#include "model/script/script_error.h"

namespace quorvant::script {

namespace {

bool IsNumberConstant(const Variant& v) {
  return v.IsNumeric();
}

// Emits with operand fusion: a binary operator whose right operand was just pushed
// as a constant or a variable becomes one instruction.
class Builder {
 public:
  explicit Builder(FastProgram& out) : out_(out) {}

  void Push(FInstr in) { out_.code.push_back(in); }

  void Binary(FOp op) {
    FInstr* last = out_.code.empty() ? nullptr : &out_.code.back();
    if (last && last->op == FOp::PushK) {
      const double k = last->k;
      if (op == FOp::Pow && k == 2) {
        last->op = FOp::Square;
        return;
      }
      if (op == FOp::Pow && k == 3) {
        last->op = FOp::Cube;
        return;
      }
      FOp fused;
      switch (op) {
        case FOp::Add:
          fused = FOp::AddK;
          break;
        case FOp::Sub:
          fused = FOp::SubK;
          break;
        case FOp::Mul:
          fused = FOp::MulK;
          break;
        case FOp::Div:
          fused = FOp::DivK;
          break;
        case FOp::Pow:
          fused = FOp::PowK;
          break;
        default:
          fused = op;
          break;
      }
      if (fused != op) {
        last->op = fused;
        return;
      }
    }
    if (last && (last->op == FOp::PushVar || last->op == FOp::PushHostD)) {
      const bool host = last->op == FOp::PushHostD;
      FOp fused = op;
      switch (op) {
        case FOp::Add:
          fused = host ? FOp::AddHostD : FOp::AddVar;
          break;
        case FOp::Sub:
          fused = host ? FOp::SubHostD : FOp::SubVar;
          break;
        case FOp::Mul:
          fused = host ? FOp::MulHostD : FOp::MulVar;
          break;
        case FOp::Div:
          fused = host ? FOp::DivHostD : FOp::DivVar;
          break;
        default:
          break;
      }
      if (fused != op) {
        last->op = fused;
        return;
      }
    }
    Push(FInstr{op});
  }

 private:
  FastProgram& out_;
};

// The built-ins the machine runs inline; any other goes through its kernel.
FOp InlineBuiltin(std::string_view name) {
  static const std::pair<std::string_view, FOp> kInline[] = {
      {"Sin", FOp::Sin}, {"Cos", FOp::Cos}, {"Tan", FOp::Tan}, {"Atn", FOp::Atn},
      {"Exp", FOp::Exp}, {"Log", FOp::Log}, {"Sqr", FOp::Sqr}, {"Abs", FOp::Abs}};
  for (const auto& [builtin, op] : kInline)
    if (builtin == name) return op;
  return FOp::Call1;
}

int StackEffect(FOp op) {
  switch (op) {
    case FOp::PushK:
    case FOp::PushVar:
    case FOp::PushHostD:
    case FOp::PushHostL:
      return 1;
    case FOp::Add:
    case FOp::Sub:
    case FOp::Mul:
    case FOp::Div:
    case FOp::Pow:
    case FOp::Eq:
    case FOp::Ne:
    case FOp::Lt:
    case FOp::Gt:
    case FOp::Le:
    case FOp::Ge:
      return -1;
    default:
      return 0;
  }
}

}  // namespace

std::shared_ptr<const FastProgram> BuildFastProgram(const Program& program,
                                                    const std::deque<Slot>& globals) {
  auto fast = std::make_shared<FastProgram>();
  Builder b(*fast);
  for (const Instr& in : program.code) {
    switch (in.op) {
      case Op::Statement:
      case Op::Pos:  // the identity on numbers
        break;
      case Op::PushConst: {
        const Variant& v = program.constants[in.a];
        if (!IsNumberConstant(v)) return nullptr;
        b.Push(FInstr{FOp::PushK, 0, v.Number(), nullptr, v.type});
        break;
      }
      case Op::Load: {
        const Slot& slot = globals[in.a];
        switch (slot.kind) {
          case Slot::Kind::Variable:
            b.Push(FInstr{FOp::PushVar, 0, 0, &slot});
            break;
          case Slot::Kind::HostDouble:
            b.Push(FInstr{FOp::PushHostD, 0, 0, slot.doubleValue});
            break;
          case Slot::Kind::HostLong:
            b.Push(FInstr{FOp::PushHostL, 0, 0, slot.longValue});
            break;
          default:
            return nullptr;
        }
        break;
      }
      case Op::Neg:
        b.Push(FInstr{FOp::Neg});
        break;
      case Op::Add:
        b.Binary(FOp::Add);
        break;
      case Op::Sub:
        b.Binary(FOp::Sub);
        break;
      case Op::Mul:
        b.Binary(FOp::Mul);
        break;
      case Op::Div:
        b.Binary(FOp::Div);
        break;
      case Op::Pow:
        b.Binary(FOp::Pow);
        break;
      case Op::Eq:
        b.Push(FInstr{FOp::Eq});
        break;
      case Op::Ne:
        b.Push(FInstr{FOp::Ne});
        break;
      case Op::Lt:
        b.Push(FInstr{FOp::Lt});
        break;
      case Op::Gt:
        b.Push(FInstr{FOp::Gt});
        break;
      case Op::Le:
        b.Push(FInstr{FOp::Le});
        break;
      case Op::Ge:
        b.Push(FInstr{FOp::Ge});
        break;
      case Op::CallBuiltin: {
        const Builtin& fn = BuiltinAt(in.a);
        if (!fn.number || in.argc != 1) return nullptr;
        b.Push(FInstr{InlineBuiltin(fn.name), 0, 0, reinterpret_cast<const void*>(fn.number)});
        break;
      }
      case Op::CallSlot: {
        const Slot& slot = globals[in.a];
        if (slot.kind != Slot::Kind::HostMethod || slot.arity != 1 || in.argc != 1) return nullptr;
        b.Push(FInstr{FOp::CallHost, slot.member, 0, slot.object});
        break;
      }
      case Op::Return:
        b.Push(FInstr{FOp::Return});
        break;
      default:
        return nullptr;
    }
  }
  int depth = 0;
  for (const FInstr& in : fast->code) {
    depth += StackEffect(in.op);
    fast->maxStack = std::max(fast->maxStack, depth);
  }
  if (fast->maxStack > kFastStackLimit) return nullptr;
  return fast;
}

namespace {

// A variable's value as a number; false for a text, Null or an object, and for a
// Byte, a Single or a Currency: their arithmetic keeps their subtype (a Single or a
// Currency rounds to its own precision), so the Variant machine runs the formula.
// Those are rare in formulas, and one more case here measurably slows the loop.
inline bool VarNumber(const void* p, double& out) {
  const Variant& v = static_cast<const Slot*>(p)->value;
  if (v.type == VType::Double) {  // by far the most common
    out = v.d;
    return true;
  }
  switch (v.type) {
    case VType::Integer:
      out = v.i;
      return true;
    case VType::Long:
      out = v.l;
      return true;
    case VType::Boolean:
      out = v.b ? -1.0 : 0.0;
      return true;
    case VType::Empty:
      out = 0.0;
      return true;
    default:
      return false;
  }
}

// Whole-number subtypes have no -0: the Variant machine negates or multiplies two of
// them to 0, where IEEE arithmetic may give -0. A Double operand makes the Variant
// machine use IEEE arithmetic too. So a -0 from a negation or a product may differ
// from the Variant result (only the subtypes can tell), while every other result
// equals it; a -0 is handed back.
inline bool NegativeZero(double v) {
  return v == 0 && std::signbit(v);
}

}  // namespace

int32_t RunFast(const FastProgram& program, double& result) {
  // The top of the stack lives in `acc`; the entries below it in `stack`. Dispatch
  // jumps straight from one instruction's code to the next (labels as values), in
  // the order of FOp.
  static const void* const kDispatch[] = {
      &&PushK,    &&PushVar,  &&PushHostD, &&PushHostL, &&Neg,      &&Add,    &&Sub,
      &&Mul,      &&Div,      &&Pow,       &&Square,    &&Cube,     &&AddK,   &&SubK,
      &&MulK,     &&DivK,     &&PowK,      &&AddVar,    &&SubVar,   &&MulVar, &&DivVar,
      &&AddHostD, &&SubHostD, &&MulHostD,  &&DivHostD,  &&Eq,       &&Ne,     &&Lt,
      &&Gt,       &&Le,       &&Ge,        &&Call1,     &&CallHost, &&Sin,    &&Cos,
      &&Tan,      &&Atn,      &&Exp,       &&Log,       &&Sqr,      &&Abs,    &&Return};
  static_assert(sizeof(kDispatch) / sizeof(kDispatch[0]) == static_cast<size_t>(FOp::Return) + 1);

  double stack[kFastStackLimit + 1];
  double* sp = stack;  // next free entry below the top
  double acc = 0;      // the top
  double v, r;
  int32_t e;
  const FInstr* pc = program.code.data();

#define DISPATCH() goto* kDispatch[static_cast<int>(pc->op)]
#define NEXT()  \
  do {          \
    ++pc;       \
    DISPATCH(); \
  } while (0)
// Results go through `r`, never straight into `acc`: `acc` must not have its address
// taken, or it would live in memory instead of a register.
#define CHECK(call)             \
  do {                          \
    if ((e = (call))) return e; \
    acc = r;                    \
  } while (0)

  DISPATCH();
PushK:
  *sp++ = acc;
  acc = pc->k;
  NEXT();
PushVar:
  *sp++ = acc;
  if (!VarNumber(pc->p, v)) return kHandBack;
  acc = v;
  NEXT();
PushHostD:
  *sp++ = acc;
  acc = *static_cast<const double*>(pc->p);
  NEXT();
PushHostL:
  *sp++ = acc;
  acc = *static_cast<const int32_t*>(pc->p);
  NEXT();
Neg:
  acc = -acc;
  if (NegativeZero(acc)) return kHandBack;
  NEXT();
Add:
  CHECK(kernel::Add(*--sp, acc, r));
  NEXT();
Sub:
  CHECK(kernel::Sub(*--sp, acc, r));
  NEXT();
Mul:
  CHECK(kernel::Mul(*--sp, acc, r));
  if (NegativeZero(acc)) return kHandBack;
  NEXT();
Div:
  CHECK(kernel::Div(*--sp, acc, r));
  NEXT();
Pow:
  CHECK(kernel::Pow(*--sp, acc, r));
  NEXT();
Square:
  CHECK(kernel::Square(acc, r));
  NEXT();
Cube:
  CHECK(kernel::Cube(acc, r));
  NEXT();
AddK:
  CHECK(kernel::Add(acc, pc->k, r));
  NEXT();
SubK:
  CHECK(kernel::Sub(acc, pc->k, r));
  NEXT();
MulK:
  CHECK(kernel::Mul(acc, pc->k, r));
  if (NegativeZero(acc)) return kHandBack;
  NEXT();
DivK:
  CHECK(kernel::Div(acc, pc->k, r));
  NEXT();
PowK:
  CHECK(kernel::Pow(acc, pc->k, r));
  NEXT();
AddVar:
  if (!VarNumber(pc->p, v)) return kHandBack;
  CHECK(kernel::Add(acc, v, r));
  NEXT();
SubVar:
  if (!VarNumber(pc->p, v)) return kHandBack;
  CHECK(kernel::Sub(acc, v, r));
  NEXT();
MulVar:
  if (!VarNumber(pc->p, v)) return kHandBack;
  CHECK(kernel::Mul(acc, v, r));
  if (NegativeZero(acc)) return kHandBack;
  NEXT();
DivVar:
  if (!VarNumber(pc->p, v)) return kHandBack;
  CHECK(kernel::Div(acc, v, r));
  NEXT();
AddHostD:
  CHECK(kernel::Add(acc, *static_cast<const double*>(pc->p), r));
  NEXT();
SubHostD:
  CHECK(kernel::Sub(acc, *static_cast<const double*>(pc->p), r));
  NEXT();
MulHostD:
  CHECK(kernel::Mul(acc, *static_cast<const double*>(pc->p), r));
  if (NegativeZero(acc)) return kHandBack;
  NEXT();
DivHostD:
  CHECK(kernel::Div(acc, *static_cast<const double*>(pc->p), r));
  NEXT();
Eq:
  acc = *--sp == acc ? -1.0 : 0.0;
  NEXT();
Ne:
  acc = *--sp != acc ? -1.0 : 0.0;
  NEXT();
Lt:
  acc = *--sp < acc ? -1.0 : 0.0;
  NEXT();
Gt:
  acc = *--sp > acc ? -1.0 : 0.0;
  NEXT();
Le:
  acc = *--sp <= acc ? -1.0 : 0.0;
  NEXT();
Ge:
  acc = *--sp >= acc ? -1.0 : 0.0;
  NEXT();
Call1:
  CHECK(reinterpret_cast<NumberKernel>(const_cast<void*>(pc->p))(acc, r));
  NEXT();
CallHost:
  CHECK(static_cast<HostObject*>(const_cast<void*>(pc->p))->CallNumber(pc->a, acc, r));
  NEXT();
// The same library calls and checks as the kernels of the built-ins.
Sin:
  acc = std::sin(acc);
  if (!std::isfinite(acc)) return kOverflow;
  NEXT();
Cos:
  acc = std::cos(acc);
  if (!std::isfinite(acc)) return kOverflow;
  NEXT();
Tan:
  acc = std::tan(acc);
  if (!std::isfinite(acc)) return kOverflow;
  NEXT();
Atn:
  acc = std::atan(acc);
  NEXT();
Exp:
  CHECK(kernel::Exp(acc, r));
  NEXT();
Log:
  CHECK(kernel::Log(acc, r));
  NEXT();
Sqr:
  CHECK(kernel::Sqr(acc, r));
  NEXT();
Abs:
  acc = std::fabs(acc);
  NEXT();
Return:
  result = acc;
  return 0;

#undef DISPATCH
#undef NEXT
#undef CHECK
}

std::string DisassembleFast(const FastProgram& program) {
  static const char* const kNames[] = {
      "PushK",    "PushVar",  "PushHostD", "PushHostL", "Neg",      "Add",    "Sub",
      "Mul",      "Div",      "Pow",       "Square",    "Cube",     "AddK",   "SubK",
      "MulK",     "DivK",     "PowK",      "AddVar",    "SubVar",   "MulVar", "DivVar",
      "AddHostD", "SubHostD", "MulHostD",  "DivHostD",  "Eq",       "Ne",     "Lt",
      "Gt",       "Le",       "Ge",        "Call1",     "CallHost", "Sin",    "Cos",
      "Tan",      "Atn",      "Exp",       "Log",       "Sqr",      "Abs",    "Return"};
  static_assert(sizeof(kNames) / sizeof(kNames[0]) == static_cast<size_t>(FOp::Return) + 1);
  std::string out;
  for (const FInstr& in : program.code) {
    out += kNames[static_cast<int>(in.op)];
    if (ReadsConstant(in.op))
      out += ' ' + FormatGeneral(in.k);
    else if (ReadsVariable(in.op))
      out += ' ' + static_cast<const Slot*>(in.p)->name;
    out += '\n';
  }
  return out;
}

}  // namespace quorvant::script
