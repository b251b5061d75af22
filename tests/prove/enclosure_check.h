// The soundness check of enclosures, shared by the property test and the fuzz target:
// random smooth programs from bytes, and their value, gradient and Hessian at a point
// computed by Arb at 320 bits, which must lie in the enclosures over a box holding the
// point.
#pragma once

#include <arb.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "prove/enclosure.h"

namespace quorvant::testing {

// Reads bytes one at a time, zeros once they run out.
class ByteSource {
 public:
  explicit ByteSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint8_t Next() { return at_ < bytes_.size() ? bytes_[at_++] : 0; }
  bool Empty() const { return at_ >= bytes_.size(); }
  // A coordinate-sized number: small whole numbers, fractions and a few larger values.
  double Number() {
    const int a = Next(), b = Next();
    const double value = (a - 128) / 16.0 + b / 4096.0;
    return (b & 1) ? value : value / 8;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

// A program of `n` variables in reverse Polish order, at most `maxLength` steps, every
// operation of the smooth subset with the stack kept sound.
inline prove::EnclosureProgram ProgramFrom(ByteSource& bytes, int n, int maxLength) {
  using prove::EOp;
  prove::EnclosureProgram p;
  p.variables = n;
  int depth = 0;
  for (int step = 0; step < maxLength && !bytes.Empty(); ++step) {
    const int pick = bytes.Next() % 16;
    if (depth < 1 || pick < 3) {
      if (pick % 2 == 0 || depth < 1)
        p.code.push_back({EOp::Var, static_cast<int32_t>(bytes.Next() % n)});
      else
        p.code.push_back({EOp::Const, 0, bytes.Number()});
      ++depth;
    } else if (pick < 9 && depth >= 2) {
      static const EOp kBinary[] = {EOp::Add, EOp::Sub, EOp::Mul, EOp::Div, EOp::Pow, EOp::Mul};
      const EOp op = kBinary[pick - 3];
      const EOp last = p.code.back().op;
      if (op == EOp::Pow && (last == EOp::Var || last == EOp::Const) && bytes.Next() % 2 == 0) {
        // Mostly a small whole or fractional constant exponent.
        p.code.pop_back();
        p.code.push_back({EOp::Const, 0, static_cast<double>(bytes.Next() % 9) / 2 - 1});
      }
      p.code.push_back({op});
      --depth;
    } else {
      static const EOp kUnary[] = {EOp::Neg, EOp::Sin, EOp::Cos, EOp::Tan,
                                   EOp::Atn, EOp::Exp, EOp::Log, EOp::Sqr};
      p.code.push_back({kUnary[pick % 8]});
    }
    p.maxStack = std::max(p.maxStack, depth);
  }
  while (depth > 1) {
    p.code.push_back({EOp::Add});
    --depth;
  }
  if (depth == 0) {
    p.code.push_back({EOp::Var, 0});
    p.maxStack = std::max(p.maxStack, 1);
  }
  return p;
}

// The program in reverse Polish notation, for failure messages.
inline std::string Describe(const prove::EnclosureProgram& p) {
  static const char* kNames[] = {"",    "",    "neg", "+",   "-",   "*",   "/",  "^",
                                 "Sin", "Cos", "Tan", "Atn", "Exp", "Log", "Sqr"};
  std::string text;
  for (const prove::EInstr& in : p.code) {
    if (in.op == prove::EOp::Const)
      text += std::to_string(in.k);
    else if (in.op == prove::EOp::Var)
      text += "x" + std::to_string(in.var);
    else
      text += kNames[static_cast<int>(in.op)];
    text += ' ';
  }
  return text;
}

// Value, gradient and Hessian at a point, to 320 bits.
class ArbReference {
 public:
  static constexpr slong kBits = 320;
  explicit ArbReference(int n) : n_(n), size_(1 + n + n * (n + 1) / 2) {}
  ~ArbReference() {
    for (arb_ptr e : stack_) _arb_vec_clear(e, size_);
  }

  // False where the formula has no second derivative at the point (Log of a negative
  // number, a division by zero...).
  bool Evaluate(const prove::EnclosureProgram& p, std::span<const double> x) {
    using prove::EOp;
    top_ = -1;
    for (const prove::EInstr& in : p.code) {
      switch (in.op) {
        case EOp::Const:
          _arb_vec_zero(Push(), size_);
          arb_set_d(Top(), in.k);
          break;
        case EOp::Var: {
          arb_ptr t = Push();
          _arb_vec_zero(t, size_);
          arb_set_d(t, x[static_cast<size_t>(in.var)]);
          arb_one(t + 1 + in.var);
          break;
        }
        case EOp::Neg:
          _arb_vec_neg(Top(), Top(), size_);
          break;
        case EOp::Add:
        case EOp::Sub: {
          arb_ptr b = Top();
          --top_;
          if (in.op == EOp::Add)
            _arb_vec_add(Top(), Top(), b, size_, kBits);
          else
            _arb_vec_sub(Top(), Top(), b, size_, kBits);
          break;
        }
        case EOp::Mul: {
          arb_ptr b = Top();
          --top_;
          Multiply(Top(), b);
          break;
        }
        case EOp::Div: {
          arb_ptr b = Top();
          --top_;
          if (arb_contains_zero(b)) return false;
          Scalars s;
          arb_inv(s.f, b, kBits);
          arb_sqr(s.d1, s.f, kBits);
          arb_mul(s.d2, s.d1, s.f, kBits);
          arb_mul_2exp_si(s.d2, s.d2, 1);
          arb_neg(s.d1, s.d1);
          Chain(b, s);
          Multiply(Top(), b);
          break;
        }
        case EOp::Pow: {
          arb_ptr b = Top();
          --top_;
          arb_ptr a = Top();
          bool constant = true;
          for (int k = 1; k < size_; ++k) constant = constant && arb_is_zero(b + k);
          Scalars s;
          if (constant && arb_is_int(b)) {
            // u^n, n (n-1) u^(n-2) and so on, with u = 0 allowed.
            const slong n = arf_get_si(arb_midref(b), ARF_RND_NEAR);
            if (n < 0 && arb_contains_zero(a)) return false;
            Power(s.f, a, n);
            Power(s.d1, a, n - 1);
            arb_mul_si(s.d1, s.d1, n, kBits);
            Power(s.d2, a, n - 2);
            arb_mul_si(s.d2, s.d2, n * (n - 1), kBits);
            Chain(a, s);
            break;
          }
          if (!arb_is_positive(a)) return false;
          // Exp(v Log(u)).
          arb_log(s.f, a, kBits);
          arb_inv(s.d1, a, kBits);
          arb_sqr(s.d2, s.d1, kBits);
          arb_neg(s.d2, s.d2);
          Chain(a, s);
          Multiply(a, b);
          arb_exp(s.f, a, kBits);
          arb_set(s.d1, s.f);
          arb_set(s.d2, s.f);
          Chain(a, s);
          break;
        }
        case EOp::Sin:
        case EOp::Cos: {
          Scalars s;
          arb_sin_cos(s.d2, s.d1, Top(), kBits);  // sin, cos
          if (in.op == EOp::Sin) {
            arb_set(s.f, s.d2);
            arb_neg(s.d2, s.d2);
          } else {
            arb_set(s.f, s.d1);
            arb_neg(s.d1, s.d2);
            arb_neg(s.d2, s.f);
          }
          Chain(Top(), s);
          break;
        }
        case EOp::Tan: {
          Scalars s;
          arb_cos(s.d1, Top(), kBits);
          if (arb_contains_zero(s.d1)) return false;
          arb_tan(s.f, Top(), kBits);
          arb_sqr(s.d1, s.f, kBits);
          arb_add_ui(s.d1, s.d1, 1, kBits);
          arb_mul(s.d2, s.f, s.d1, kBits);
          arb_mul_2exp_si(s.d2, s.d2, 1);
          Chain(Top(), s);
          break;
        }
        case EOp::Atn: {
          Scalars s;
          arb_atan(s.f, Top(), kBits);
          arb_sqr(s.d1, Top(), kBits);
          arb_add_ui(s.d1, s.d1, 1, kBits);
          arb_inv(s.d1, s.d1, kBits);
          arb_sqr(s.d2, s.d1, kBits);
          arb_mul(s.d2, s.d2, Top(), kBits);
          arb_mul_si(s.d2, s.d2, -2, kBits);
          Chain(Top(), s);
          break;
        }
        case EOp::Exp: {
          Scalars s;
          arb_exp(s.f, Top(), kBits);
          arb_set(s.d1, s.f);
          arb_set(s.d2, s.f);
          Chain(Top(), s);
          break;
        }
        case EOp::Log:
        case EOp::Sqr: {
          if (!arb_is_positive(Top())) return false;
          Scalars s;
          if (in.op == EOp::Log) {
            arb_log(s.f, Top(), kBits);
            arb_inv(s.d1, Top(), kBits);
            arb_sqr(s.d2, s.d1, kBits);
            arb_neg(s.d2, s.d2);
          } else {
            arb_sqrt(s.f, Top(), kBits);
            arb_inv(s.d1, s.f, kBits);
            arb_mul_2exp_si(s.d1, s.d1, -1);  // 1 / (2 Sqr(u))
            arb_div(s.d2, s.d1, Top(), kBits);
            arb_mul_2exp_si(s.d2, s.d2, -1);
            arb_neg(s.d2, s.d2);  // -1 / (4 u Sqr(u))
          }
          Chain(Top(), s);
          break;
        }
      }
      for (int k = 0; k < size_; ++k)
        if (!arb_is_finite(Top() + k)) return false;
    }
    return true;
  }

  // The reference lies outside the enclosure: the enclosure is wrong. Returns what.
  std::string Outside(const prove::Taylor& t, int order) const {
    auto apart = [](const prove::Interval& v, const arb_t r) {
      arb_t box;
      arb_init(box);
      arb_set_interval_d(box, v.lo, v.hi);
      const bool disjoint = !arb_overlaps(box, r);
      arb_clear(box);
      return disjoint;
    };
    arb_srcptr r = stack_[static_cast<size_t>(top_)];
    if (apart(t.v, r)) return "the value";
    if (order >= 1)
      for (int i = 0; i < n_; ++i)
        if (apart(t.g[i], r + 1 + i)) return "gradient component " + std::to_string(i);
    if (order >= 2)
      for (int k = 0; k < n_ * (n_ + 1) / 2; ++k)
        if (apart(t.h[k], r + 1 + n_ + k)) return "Hessian entry " + std::to_string(k);
    return {};
  }

 private:
  struct Scalars {
    arb_t f, d1, d2;
    Scalars() {
      arb_init(f);
      arb_init(d1);
      arb_init(d2);
    }
    ~Scalars() {
      arb_clear(f);
      arb_clear(d1);
      arb_clear(d2);
    }
  };

  static void arb_set_interval_d(arb_t out, double lo, double hi) {
    arf_t a, b;
    arf_init(a);
    arf_init(b);
    arf_set_d(a, lo);
    arf_set_d(b, hi);
    arb_set_interval_arf(out, a, b, kBits);
    arf_clear(a);
    arf_clear(b);
  }

  arb_ptr Push() {
    ++top_;
    if (top_ >= static_cast<int>(stack_.size())) stack_.push_back(_arb_vec_init(size_));
    return stack_[static_cast<size_t>(top_)];
  }
  arb_ptr Top() { return stack_[static_cast<size_t>(top_)]; }

  void Power(arb_t out, const arb_t u, slong n) {
    if (n >= 0) {
      arb_pow_ui(out, u, static_cast<ulong>(n), kBits);
    } else {
      arb_pow_ui(out, u, static_cast<ulong>(-n), kBits);
      if (arb_contains_zero(out)) {
        arb_zero(out);  // only ever multiplied by a zero factor (n (n-1) with n = 0 or 1)
        return;
      }
      arb_inv(out, out, kBits);
    }
  }

  // f(u): value, f' u', f' u'' + f'' u' u'^T.
  void Chain(arb_ptr t, const Scalars& s) {
    arb_t tmp;
    arb_init(tmp);
    int k = 1 + n_;
    for (int i = 0; i < n_; ++i)
      for (int j = i; j < n_; ++j, ++k) {
        arb_mul(t + k, t + k, s.d1, kBits);
        arb_mul(tmp, t + 1 + i, t + 1 + j, kBits);
        arb_addmul(t + k, tmp, s.d2, kBits);
      }
    for (int i = 0; i < n_; ++i) arb_mul(t + 1 + i, t + 1 + i, s.d1, kBits);
    arb_set(t, s.f);
    arb_clear(tmp);
  }

  void Multiply(arb_ptr a, arb_srcptr b) {
    arb_t tmp;
    arb_init(tmp);
    int k = 1 + n_;
    for (int i = 0; i < n_; ++i)
      for (int j = i; j < n_; ++j, ++k) {
        arb_mul(a + k, a + k, b, kBits);
        arb_addmul(a + k, b + k, a, kBits);
        arb_addmul(a + k, a + 1 + i, b + 1 + j, kBits);
        arb_addmul(a + k, b + 1 + i, a + 1 + j, kBits);
      }
    for (int i = 0; i < n_; ++i) {
      arb_mul(a + 1 + i, a + 1 + i, b, kBits);
      arb_addmul(a + 1 + i, b + 1 + i, a, kBits);
    }
    arb_mul(a, a, b, kBits);
    arb_clear(tmp);
  }

  int n_;
  int size_;
  int top_ = -1;
  std::vector<arb_ptr> stack_;
};

}  // namespace quorvant::testing
