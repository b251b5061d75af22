// A formula run over a box: enclosures of its value, its gradient and its Hessian
// (forward-mode differentiation to second order in interval arithmetic), valid for
// every point of the box. Only the smooth numeric part of the language compiles to
// this form; anything else is refused with the construct named.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "model/problem.h"
#include "prove/interval.h"

namespace quorvant {
class FunctionEvaluator;
}

namespace quorvant::prove {

enum class EOp : uint8_t {
  Const,
  Var,
  Neg,
  Add,
  Sub,
  Mul,
  Div,
  Pow,
  Sin,
  Cos,
  Tan,
  Atn,
  Exp,
  Log,
  Sqr
};

struct EInstr {
  EOp op;
  int32_t var = 0;  // Var: the coordinate
  double k = 0;     // Const: the number
};

struct EnclosureProgram {
  std::vector<EInstr> code;
  int variables = 0;
  int maxStack = 0;
};

// The program, or why the formula cannot be proven (refusal set, program null).
struct CompiledEnclosure {
  std::shared_ptr<const EnclosureProgram> program;
  std::string refusal;
};

// Compiles `formula` in `evaluator`'s interpreter, with the start-up and user
// constants it holds now (their values are read once, as numbers), the variables
// named `names` in coordinate order.
CompiledEnclosure CompileEnclosure(FunctionEvaluator& evaluator, std::span<const std::string> names,
                                   const std::string& formula);

// Why a box could not be evaluated: the formula may fail somewhere in it.
enum class Failure : uint8_t {
  None,
  LogDomain,
  SqrDomain,
  DivisionByZero,
  NegativeWholePower,
  PowerBase,
  TanPole,
  Overflow,
};
const char* FailureReason(Failure failure);

inline constexpr int kHessianSize = kMaxVariables * (kMaxVariables + 1) / 2;

// Value, gradient and Hessian (upper triangle, row by row) of one quantity.
struct Taylor {
  Interval v;
  std::array<Interval, kMaxVariables> g;
  std::array<Interval, kHessianSize> h;
  bool constant = true;  // depends on no variable: g and h are zero
};

inline int HessianIndex(int n, int i, int j) {
  if (i > j) std::swap(i, j);
  return i * n - i * (i - 1) / 2 + (j - i);
}

// Runs a program over boxes; one per thread (it holds the stack).
class Enclosure {
 public:
  explicit Enclosure(std::shared_ptr<const EnclosureProgram> program);
  int variables() const { return program_->variables; }

  // Encloses the formula over `box` to `order` (0: value, 1: and the gradient, 2: and
  // the Hessian). On a failure, `definite` says the formula fails on the whole box.
  Failure Evaluate(std::span<const Interval> box, int order, Taylor& out, bool* definite = nullptr);

 private:
  Failure Step(const EInstr& in, std::span<const Interval> box, Taylor*& top, bool& definite);
  void Chain(Taylor& t, Interval f, Interval d1, Interval d2);
  void Multiply(Taylor& a, const Taylor& b);
  Failure Power(Taylor& a, const Taylor& b, bool& definite);

  std::shared_ptr<const EnclosureProgram> program_;
  std::vector<Taylor> stack_;
  int n_ = 0;
  int order_ = 2;
  int hessian_ = 0;  // entries of the upper triangle in use
};

}  // namespace quorvant::prove
