#include "prove/enclosure.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>

#include "model/function_evaluator.h"
#include "model/script/builtins.h"
#include "model/script/script_engine.h"

namespace quorvant::prove {

namespace {

using script::Op;
using script::Slot;
using script::VType;

constexpr std::string_view kSmooth = ": Prove needs a smooth formula";

// Why a built-in function or an extra function cannot be enclosed.
std::string FunctionRefusal(std::string_view name) {
  struct Row {
    std::string_view name;
    std::string_view why;
  };
  static const Row kRows[] = {
      {"Int", "is not differentiable"},
      {"Fix", "is not differentiable"},
      {"Round", "is not differentiable"},
      {"CInt", "is not differentiable"},
      {"CLng", "is not differentiable"},
      {"CByte", "is not differentiable"},
      {"CCur", "is not differentiable"},
      {"CSng", "is not differentiable"},
      {"Sgn", "is not differentiable at 0"},
      {"Abs", "is not differentiable at 0"},
      {"CBool", "gives True or False"},
      {"IsNumeric", "gives True or False"},
      {"IsEmpty", "gives True or False"},
      {"IsNull", "gives True or False"},
      {"Rnd", "is random"},
      {"ierr", "changes as the formula runs"},
  };
  for (const Row& row : kRows)
    if (row.name == name)
      return std::string(name) + " " + std::string(row.why) + std::string(kSmooth);
  return std::string(name) +
         " is not one of the functions Prove can enclose (Sin, Cos, Tan, Atn, Exp, Log, Sqr)" +
         std::string(kSmooth);
}

std::string OperatorRefusal(Op op) {
  switch (op) {
    case Op::IntDiv:
      return "\\ (whole-number division) is not differentiable" + std::string(kSmooth);
    case Op::Mod:
      return "Mod is not differentiable" + std::string(kSmooth);
    case Op::Concat:
      return "& joins text, not numbers" + std::string(kSmooth);
    case Op::Eq:
    case Op::Ne:
    case Op::Lt:
    case Op::Gt:
    case Op::Le:
    case Op::Ge:
    case Op::Is:
      return "comparisons (=, <>, <, >, <=, >=, Is) are not differentiable" + std::string(kSmooth);
    case Op::Not:
    case Op::And:
    case Op::Or:
    case Op::Xor:
    case Op::Eqv:
    case Op::Imp:
      return "logical operators (Not, And, Or, Xor, Eqv, Imp) are not differentiable" +
             std::string(kSmooth);
    default:
      return "members of objects cannot be enclosed" + std::string(kSmooth);
  }
}

bool IsNumber(VType type) {
  return type == VType::Byte || type == VType::Integer || type == VType::Long ||
         type == VType::Single || type == VType::Double;
}

const char* NotNumber(VType type) {
  switch (type) {
    case VType::Empty:
      return "has no value";
    case VType::Boolean:
      return "is True or False";
    case VType::String:
      return "holds text";
    case VType::Currency:
      return "is a Currency value, rounded to ten-thousandths";
    default:
      return "is not a number";
  }
}

std::string ConstantRefusal(const std::string& name, VType type) {
  return name + " " + NotNumber(type) + ": Prove needs every constant to be a number";
}

}  // namespace

CompiledEnclosure CompileEnclosure(FunctionEvaluator& evaluator, std::span<const std::string> names,
                                   const std::string& formula) {
  CompiledEnclosure out;
  script::ScriptEngine& engine = evaluator.engine();
  std::vector<int32_t> variableSlots;
  for (const std::string& name : names) {
    variableSlots.push_back(engine.AssignableSlot(name));
    if (variableSlots.back() < 0) {
      out.refusal = "the variable " + name + " is not a plain name the formula can read";
      return out;
    }
  }
  const std::shared_ptr<const script::Program> program = engine.CompileExpression(formula);
  if (!program) {
    out.refusal = "the formula cannot be compiled: " + engine.Error().description;
    return out;
  }
  auto result = std::make_shared<EnclosureProgram>();
  result->variables = static_cast<int>(names.size());
  int depth = 0;
  auto emit = [&](EInstr in, int effect) {
    result->code.push_back(in);
    depth += effect;
    result->maxStack = std::max(result->maxStack, depth);
  };
  auto refuse = [&](std::string why) {
    out.refusal = std::move(why);
    return out;
  };
  for (const script::Instr& in : program->code) {
    switch (in.op) {
      case Op::Statement:
      case Op::Pos:
      case Op::Return:
        break;
      case Op::PushConst: {
        const script::Variant& v = program->constants[static_cast<size_t>(in.a)];
        if (v.type == VType::Empty) return refuse("the formula is empty");
        if (!IsNumber(v.type)) {
          if (v.type == VType::String) return refuse("text is not a number" + std::string(kSmooth));
          return refuse(std::string("a constant in the formula ") + NotNumber(v.type) +
                        std::string(kSmooth));
        }
        emit({EOp::Const, 0, v.Number()}, 1);
        break;
      }
      case Op::Load: {
        const auto found = std::find(variableSlots.begin(), variableSlots.end(), in.a);
        if (found != variableSlots.end()) {
          emit({EOp::Var, static_cast<int32_t>(found - variableSlots.begin())}, 1);
          break;
        }
        const Slot& slot = engine.GlobalSlot(in.a);
        switch (slot.kind) {
          case Slot::Kind::Variable:
            if (!IsNumber(slot.value.type))
              return refuse(ConstantRefusal(slot.name, slot.value.type));
            emit({EOp::Const, 0, slot.value.Number()}, 1);
            break;
          case Slot::Kind::HostDouble:
            emit({EOp::Const, 0, *slot.doubleValue}, 1);
            break;
          default:
            return refuse(FunctionRefusal(slot.name));
        }
        break;
      }
      case Op::CallBuiltin: {
        const std::string_view name = script::BuiltinAt(in.a).name;
        static const std::pair<std::string_view, EOp> kSmoothBuiltins[] = {
            {"Sin", EOp::Sin}, {"Cos", EOp::Cos}, {"Tan", EOp::Tan}, {"Atn", EOp::Atn},
            {"Exp", EOp::Exp}, {"Log", EOp::Log}, {"Sqr", EOp::Sqr}};
        const auto* row = std::find_if(std::begin(kSmoothBuiltins), std::end(kSmoothBuiltins),
                                       [&](const auto& r) { return r.first == name; });
        if (row == std::end(kSmoothBuiltins) || in.argc != 1) return refuse(FunctionRefusal(name));
        emit({row->second}, 0);
        break;
      }
      case Op::CallSlot:
        return refuse(FunctionRefusal(engine.GlobalSlot(in.a).name));
      case Op::Neg:
        emit({EOp::Neg}, 0);
        break;
      case Op::Add:
        emit({EOp::Add}, -1);
        break;
      case Op::Sub:
        emit({EOp::Sub}, -1);
        break;
      case Op::Mul:
        emit({EOp::Mul}, -1);
        break;
      case Op::Div:
        emit({EOp::Div}, -1);
        break;
      case Op::Pow:
        emit({EOp::Pow}, -1);
        break;
      default:
        return refuse(OperatorRefusal(in.op));
    }
  }
  // A variable the formula does not read leaves a whole line (or plane) of stationary
  // points wherever the others have one.
  for (size_t i = 0; i < names.size(); ++i) {
    const bool read = std::any_of(result->code.begin(), result->code.end(), [&](const EInstr& e) {
      return e.op == EOp::Var && e.var == static_cast<int32_t>(i);
    });
    if (!read)
      return refuse("the formula does not depend on " + names[i] +
                    ": its stationary points are not isolated, and Prove lists isolated ones");
  }
  out.program = std::move(result);
  return out;
}

const char* FailureReason(Failure failure) {
  switch (failure) {
    case Failure::None:
      return "";
    case Failure::LogDomain:
      return "Log of a range reaching 0 or below";
    case Failure::SqrDomain:
      return "Sqr of a range reaching 0 or below (Sqr is not differentiable at 0)";
    case Failure::DivisionByZero:
      return "division by a range containing 0";
    case Failure::NegativeWholePower:
      return "a negative whole power of a range containing 0";
    case Failure::PowerBase:
      return "^ with a fractional or variable exponent of a range reaching 0 or below";
    case Failure::TanPole:
      return "Tan of a range reaching a pole";
    case Failure::Overflow:
      return "overflow (a value beyond the double range)";
  }
  return "";
}

Enclosure::Enclosure(std::shared_ptr<const EnclosureProgram> program)
    : program_(std::move(program)),
      stack_(static_cast<size_t>(program_->maxStack) + 2),
      n_(program_->variables) {}

Failure Enclosure::Evaluate(std::span<const Interval> box, int order, Taylor& out, bool* definite) {
  order_ = order;
  hessian_ = order >= 2 ? n_ * (n_ + 1) / 2 : 0;
  Taylor* top = stack_.data() - 1;
  bool sure = false;
  for (const EInstr& in : program_->code) {
    const Failure failure = Step(in, box, top, sure);
    if (failure != Failure::None) {
      if (definite) *definite = sure;
      return failure;
    }
    // An infinite or undefined bound anywhere is an overflow somewhere in the box.
    bool finite = top->v.Finite();
    if (!top->constant) {
      const int gradient = order_ >= 1 ? n_ : 0;
      for (int i = 0; i < gradient && finite; ++i) finite = top->g[i].Finite();
      for (int k = 0; k < hessian_ && finite; ++k) finite = top->h[k].Finite();
    }
    if (!finite) {
      if (definite) *definite = false;
      return Failure::Overflow;
    }
  }
  out = *top;
  if (out.constant) {
    for (int i = 0; i < n_; ++i) out.g[i] = {};
    for (int k = 0; k < hessian_; ++k) out.h[k] = {};
  }
  return Failure::None;
}

// f(u) from u: value f, gradient f' u', Hessian f' u'' + f'' u' u'^T.
void Enclosure::Chain(Taylor& t, Interval f, Interval d1, Interval d2) {
  t.v = f;
  if (t.constant) return;
  if (hessian_ > 0) {
    int k = 0;
    for (int i = 0; i < n_; ++i)
      for (int j = i; j < n_; ++j, ++k) {
        Interval h = t.h[k].IsZero() ? Interval{} : d1 * t.h[k];
        if (!t.g[i].IsZero() && !t.g[j].IsZero() && !d2.IsZero()) h = h + d2 * (t.g[i] * t.g[j]);
        t.h[k] = h;
      }
  }
  if (order_ >= 1)
    for (int i = 0; i < n_; ++i)
      if (!t.g[i].IsZero()) t.g[i] = d1 * t.g[i];
}

void Enclosure::Multiply(Taylor& a, const Taylor& b) {
  if (b.constant) {
    Chain(a, a.v * b.v, b.v, {});
    return;
  }
  if (a.constant) {
    const Interval k = a.v;
    a = b;
    Chain(a, k * b.v, k, {});
    return;
  }
  // Most entries of a formula's parts are exact zeros (a term in x alone has none in y):
  // their products are skipped, not computed.
  auto product = [](Interval p, Interval q) {
    return p.IsZero() || q.IsZero() ? Interval{} : p * q;
  };
  if (hessian_ > 0) {
    int k = 0;
    for (int i = 0; i < n_; ++i)
      for (int j = i; j < n_; ++j, ++k) {
        Interval h = product(a.h[k], b.v);
        if (!b.h[k].IsZero()) h = h + b.h[k] * a.v;
        if (!a.g[i].IsZero() && !b.g[j].IsZero()) h = h + a.g[i] * b.g[j];
        if (!b.g[i].IsZero() && !a.g[j].IsZero()) h = h + b.g[i] * a.g[j];
        a.h[k] = h;
      }
  }
  if (order_ >= 1)
    for (int i = 0; i < n_; ++i) {
      Interval g = product(a.g[i], b.v);
      if (!b.g[i].IsZero()) g = g + b.g[i] * a.v;
      a.g[i] = g;
    }
  a.v = a.v * b.v;
}

Failure Enclosure::Power(Taylor& a, const Taylor& b, bool& definite) {
  const Interval u = a.v;
  if (b.constant && b.v.IsPoint() && b.v.lo == std::floor(b.v.lo) && std::fabs(b.v.lo) <= 1e9) {
    const auto n = static_cast<long long>(b.v.lo);
    const Interval cn = Interval::Point(static_cast<double>(n));
    const Interval cnn = cn * Interval::Point(static_cast<double>(n - 1));
    if (n >= 0) {
      const Interval d1 = n >= 1 ? cn * WholePower(u, n - 1) : Interval{};
      const Interval d2 = n >= 2 ? cnn * WholePower(u, n - 2) : Interval{};
      Chain(a, WholePower(u, n), d1, d2);
      return Failure::None;
    }
    if (u.ContainsZero()) {
      definite = u.IsZero();
      return Failure::NegativeWholePower;
    }
    const Interval r = Reciprocal(u);
    const long long m = -n;
    Chain(a, WholePower(r, m), cn * WholePower(r, m + 1), cnn * WholePower(r, m + 2));
    return Failure::None;
  }
  if (!(u.lo > 0)) {
    definite = u.hi <= 0;
    return Failure::PowerBase;
  }
  if (b.constant) {
    const Interval p = b.v;
    const Interval p1 = p - Interval{1, 1};
    const Interval p2 = p - Interval{2, 2};
    Chain(a, RealPower(u, p), p * RealPower(u, p1), (p * p1) * RealPower(u, p2));
    return Failure::None;
  }
  // u^v = Exp(v Log(u)).
  const Interval r = Reciprocal(u);
  Chain(a, Log(u), r, -Square(r));
  Multiply(a, b);
  const Interval e = Exp(a.v);
  Chain(a, e, e, e);
  return Failure::None;
}

Failure Enclosure::Step(const EInstr& in, std::span<const Interval> box, Taylor*& top,
                        bool& definite) {
  switch (in.op) {
    case EOp::Const: {
      Taylor& t = *++top;
      t.v = Interval::Point(in.k);
      t.constant = true;
      return Failure::None;
    }
    case EOp::Var: {
      Taylor& t = *++top;
      t.v = box[static_cast<size_t>(in.var)];
      t.constant = false;
      for (int i = 0; i < n_; ++i) t.g[i] = {};
      for (int k = 0; k < hessian_; ++k) t.h[k] = {};
      t.g[in.var] = {1, 1};
      return Failure::None;
    }
    case EOp::Neg: {
      Taylor& t = *top;
      Chain(t, -t.v, {-1, -1}, {});
      return Failure::None;
    }
    case EOp::Add:
    case EOp::Sub: {
      const Taylor& b = *top--;
      Taylor& a = *top;
      const bool add = in.op == EOp::Add;
      a.v = add ? a.v + b.v : a.v - b.v;
      if (b.constant) return Failure::None;
      if (a.constant) {
        for (int i = 0; i < n_; ++i) a.g[i] = {};
        for (int k = 0; k < hessian_; ++k) a.h[k] = {};
        a.constant = false;
      }
      for (int i = 0; i < n_; ++i)
        if (!b.g[i].IsZero()) a.g[i] = add ? a.g[i] + b.g[i] : a.g[i] - b.g[i];
      for (int k = 0; k < hessian_; ++k)
        if (!b.h[k].IsZero()) a.h[k] = add ? a.h[k] + b.h[k] : a.h[k] - b.h[k];
      return Failure::None;
    }
    case EOp::Mul: {
      const Taylor& b = *top--;
      Multiply(*top, b);
      return Failure::None;
    }
    case EOp::Div: {
      Taylor& b = *top--;
      if (b.v.ContainsZero()) {
        definite = b.v.IsZero();
        return Failure::DivisionByZero;
      }
      const Interval r = Reciprocal(b.v);
      const Interval r2 = Square(r);
      Chain(b, r, -r2, Scale(2, r2 * r));
      Multiply(*top, b);
      return Failure::None;
    }
    case EOp::Pow: {
      const Taylor& b = *top--;
      return Power(*top, b, definite);
    }
    case EOp::Sin: {
      Taylor& t = *top;
      const Interval s = Sin(t.v);
      Chain(t, s, Cos(t.v), -s);
      return Failure::None;
    }
    case EOp::Cos: {
      Taylor& t = *top;
      const Interval c = Cos(t.v);
      Chain(t, c, -Sin(t.v), -c);
      return Failure::None;
    }
    case EOp::Tan: {
      Taylor& t = *top;
      if (TanMayReachPole(t.v)) {
        definite = false;
        return Failure::TanPole;
      }
      const Interval tan = Tan(t.v);
      const Interval d1 = Interval{1, 1} + Square(tan);
      Chain(t, tan, d1, Scale(2, tan * d1));
      return Failure::None;
    }
    case EOp::Atn: {
      Taylor& t = *top;
      const Interval q = Reciprocal(Interval{1, 1} + Square(t.v));
      Chain(t, Atn(t.v), q, Scale(-2, t.v * Square(q)));
      return Failure::None;
    }
    case EOp::Exp: {
      Taylor& t = *top;
      const Interval e = Exp(t.v);
      Chain(t, e, e, e);
      return Failure::None;
    }
    case EOp::Log: {
      Taylor& t = *top;
      if (!(t.v.lo > 0)) {
        definite = t.v.hi <= 0;
        return Failure::LogDomain;
      }
      const Interval r = Reciprocal(t.v);
      Chain(t, Log(t.v), r, -Square(r));
      return Failure::None;
    }
    case EOp::Sqr: {
      Taylor& t = *top;
      if (!(t.v.lo > 0)) {
        definite = t.v.hi <= 0;
        return Failure::SqrDomain;
      }
      const Interval s = Sqr(t.v);
      const Interval half = Reciprocal(Scale(2, s));
      Chain(t, s, half, -(half * Reciprocal(Scale(2, t.v))));
      return Failure::None;
    }
  }
  return Failure::None;
}

}  // namespace quorvant::prove
