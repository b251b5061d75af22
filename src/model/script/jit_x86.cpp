// The x86-64 back end of the formula compiler, on asmjit's assembler.
//
// Code shape. The double-only program is a stack machine; its stack positions are
// fixed at every instruction, so position i of the stack lives in register
// xmm(4 + i) for the first kRegEntries positions and in a frame slot (its home)
// beyond. xmm0 to xmm3 are scratch. Every call (library function, kernel, host
// method) clobbers all xmm registers, so the positions below the call's argument
// are stored to their homes first (unless a home already holds the value, or the
// value is a constant the pool holds) and loaded again where they are next used.
// Paths that are rarely taken (a variable that is not a Double, a -0, Pow's slow
// path of x^2) are placed after the function's main body, so the main body runs
// straight through.
//
// The function is int32_t f(const double* inputs, double* result, double* memo); rbx
// keeps `inputs`, from which the direct inputs are read as they are (finite, and
// never -0: the caller's promise).
//
// Kept values. Where subexpressions are kept, r13 holds `memo` and r12 the inputs
// that changed since the memo's evaluation (bit i for input i; every bit, bit 63
// included, when the memo is not valid). A kept subexpression is a branch: when none
// of its inputs (nor bit 63) is set, its value is loaded from the memo, else it is
// computed and stored there. Memo layout, 8 bytes each: the valid mark (1 or 0), the
// inputs of the memo's evaluation, then the kept values, then the value tables.
//
// Value tables. A costly kept subexpression of one input has only a few values along
// a walk (a square of one coordinate), which the walk's neighbours visit in turn, so
// the last value alone would be computed again at almost every evaluation. Such a
// subexpression also keeps a small table of (input, value) pairs, placed by a hash of
// the input's bits: where its input changed, the table is asked before the value is
// computed. A pair is stored only when no fault flag stands after the computation, so
// a value whose computation faults is never taken from the table. The input is stored
// complemented: no finite input has all bits set, so the zeros of a fresh memo match
// nothing. The pairs do not depend on the memo's valid mark (the same operations on the
// same operand give the same value), so they stay when the memo is marked invalid.
//
// Frame (rsp 16-byte aligned inside the function):
//   [rsp + 0]   MXCSR scratch
//   [rsp + 8]   the result pointer
//   [rsp + 16]  a kernel's or host method's result
//   [rsp + 24]  the homes of the stack positions, then the input cache: each
//               variable or host property read since the last host call, already
//               converted to a double and checked finite.
#include <asmjit/x86.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/script/builtins.h"
#include "model/script/fast_vm.h"
#include "model/script/host_object.h"
#include "model/script/jit.h"
#include "model/script/operators.h"
#include "model/script/vm.h"

namespace quorvant::script {

namespace {

namespace x86 = asmjit::x86;
using asmjit::Imm;
using asmjit::Label;

// MXCSR's sticky flags that stand for RunFast's errors: Invalid (bit 0), Divide-by-
// zero (bit 2) and Overflow (bit 3). Denormal, Underflow and Inexact are no errors.
constexpr uint32_t kFaultFlags = 0x01 | 0x04 | 0x08;

constexpr int kRegEntries = 12;  // stack positions held in xmm4..xmm15
constexpr int kCsrSlot = 0;
constexpr int kResultPtrSlot = 8;
constexpr int kOutSlot = 16;
constexpr int kHomesStart = 24;

// What the Variant machine's subtype of a stack value is known to be, for the sign of
// a zero: a Double, a whole-number subtype, unknown (either), or, for a value of 0 or
// more, the subtype of direct input number `kind` (whole where the input holds a whole
// number within the Long range, as its variable then holds an Integer or a Long).
constexpr int32_t kDoubleKind = -1;
constexpr int32_t kWholeKind = -2;
constexpr int32_t kUnknownKind = -3;
constexpr int32_t kNoOperand = -4;

// A subexpression is kept when the estimated cost of computing it reaches this (a
// sum, a difference, a product, a comparison 1, a division 4, a square root 5, x^2 8,
// a call 20): a kept value costs a test, a branch and a store, and a load where it is
// reused, about as much as a few additions. On eval_bench's grid walks (Himmelblau, the
// 10-variable bowl) thresholds from 1 to 9 differed by less than the machine's noise;
// keeping values at all made them 1.4x and 2.4x faster.
constexpr int kKeepCost = 4;
// Direct inputs 0 to 62 can be tracked; bit 63 of the changed set marks a memo that
// is not valid.
constexpr int kTrackedInputs = 63;
constexpr uint64_t kMemoInvalid = uint64_t{1} << 63;
// A kept subexpression of one input with at least this cost (a square, a call) gets a
// value table of kTableEntries pairs: a hash, a compare and a load where it hits, a
// test of the flags and two stores where it misses.
constexpr int kTableCost = 8;
constexpr int kTableBits = 4;
constexpr int kTableEntries = 1 << kTableBits;
constexpr uint64_t kTableHash = 0x9E3779B97F4A7C15ULL;

int32_t KindOfConstant(VType type) {
  switch (type) {
    case VType::Double:
      return kDoubleKind;
    case VType::Empty:
    case VType::Boolean:
    case VType::Byte:
    case VType::Integer:
    case VType::Long:
      return kWholeKind;
    default:
      return kUnknownKind;
  }
}

// One process-wide runtime owns the executable memory; it is never destroyed, so code
// released during static destruction still finds it.
asmjit::JitRuntime& Runtime() {
  static auto* runtime = new asmjit::JitRuntime();
  return *runtime;
}
std::mutex& RuntimeMutex() {
  static std::mutex mutex;
  return mutex;
}

// What the generated code calls. Each is the very call RunFast makes, behind a
// signature with plain pointers.
int32_t PowThunk(double a, double b, double* r) {
  return kernel::Pow(a, b, *r);
}
int32_t SquareThunk(double a, double* r) {
  return kernel::Square(a, *r);
}
int32_t CubeThunk(double a, double* r) {
  return kernel::Cube(a, *r);
}
int32_t KernelThunk(NumberKernel k, double x, double* r) {
  return k(x, *r);
}
int32_t HostThunk(HostObject* object, int32_t member, double arg, double* r) {
  return object->CallNumber(member, arg, *r);
}
// The library's functions themselves (their resolved addresses, as the interpreter's
// calls reach them).
using Math1 = double (*)(double);
using Math2 = double (*)(double, double);
const Math1 kSin = ::sin;
const Math1 kCos = ::cos;
const Math1 kTan = ::tan;
const Math1 kAtan = ::atan;
const Math1 kExp = ::exp;
const Math1 kLog = ::log;
const Math2 kPow = ::pow;

// Whether this processor has the fused multiply-add instructions.
bool HasFma() {
  static const bool has = asmjit::CpuInfo::host().hasFeature(asmjit::CpuFeatures::X86::kFMA);
  return has;
}

template <typename F>
Imm Address(F* f) {
  return Imm(reinterpret_cast<uint64_t>(f));
}
Imm Address(const void* p) {
  return Imm(reinterpret_cast<uint64_t>(p));
}

uint64_t Bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// The instruction for an operation of the Add, Sub, Mul and Div families (the plain
// form, with a constant, with a variable or host property).
uint32_t ArithmeticInst(FOp op) {
  switch (op) {
    case FOp::Add:
    case FOp::AddK:
    case FOp::AddVar:
    case FOp::AddHostD:
      return x86::Inst::kIdAddsd;
    case FOp::Sub:
    case FOp::SubK:
    case FOp::SubVar:
    case FOp::SubHostD:
      return x86::Inst::kIdSubsd;
    case FOp::Mul:
    case FOp::MulK:
    case FOp::MulVar:
    case FOp::MulHostD:
      return x86::Inst::kIdMulsd;
    default:
      return x86::Inst::kIdDivsd;
  }
}

// Records the assembler's first error; the program is then refused.
class ErrorRecorder : public asmjit::ErrorHandler {
 public:
  void handleError(asmjit::Error err, const char*, asmjit::BaseEmitter*) override {
    if (error == asmjit::kErrorOk) error = err;
  }
  asmjit::Error error = asmjit::kErrorOk;
};

class Generator {
 public:
  Generator(const FastProgram& program, std::span<const DirectInput> direct, x86::Assembler& a)
      : program_(program), a_(a) {
    for (const DirectInput& d : direct) direct_[d.address] = d.index;
  }

  // False when the program is refused.
  bool Emit();
  // How many numbers the caller's memo must hold (after Emit).
  size_t MemoSize() const {
    return keeps_ ? static_cast<size_t>(1 + inputSlots_) + kept_.size() +
                        static_cast<size_t>(2 * kTableEntries * tables_)
                  : 0;
  }

 private:
  // Where a stack position's value is: only in its register, in both its register and
  // its home (or the constant pool), or only in its home (after a call).
  enum class State : uint8_t { kReg, kBoth, kMem };
  enum class Input : uint8_t { kVariable, kHostDouble, kHostLong };

  static bool InReg(int i) { return i < kRegEntries; }
  static x86::Xmm Reg(int i) { return x86::xmm(4 + i); }
  static x86::Mem Home(int i) { return x86::qword_ptr(x86::rsp, kHomesStart + 8 * i); }
  x86::Mem HomeOrConst(int i) { return isConst_[i] ? Const(constValue_[i]) : Home(i); }

  x86::Mem Const(double v);
  x86::Mem Mask(uint64_t bits);

  x86::Xmm Use(int i, x86::Xmm scratch);
  asmjit::Operand Src(int i);
  x86::Xmm Target(int i, x86::Xmm scratch) { return InReg(i) ? Reg(i) : scratch; }
  void Define(int i, x86::Xmm reg);
  void SpillBelow(int top);
  void ForgetBelow(int top);
  std::vector<int> LiveBelow(int top) const;

  void Load(x86::Xmm dst, const asmjit::Operand& src);
  void CheckFinite(x86::Xmm v, x86::Xmm tmp);
  void BailOnNegativeZero(x86::Xmm v);
  void DecideNegativeZero(x86::Xmm v);
  void BailOnFaultFlags();
  asmjit::Operand LoadInput(const void* p, Input kind, x86::Xmm dst);
  void LoadVariable(const void* slot, x86::Xmm dst);

  void Binary(uint32_t inst, int t);
  void BinaryWith(uint32_t inst, int t, const asmjit::Operand& right);
  void Compare(int t, uint8_t predicate, bool swap);
  void Square(int t);
  void CallWithOut(int t, const std::function<void()>& setArgs, const void* fn);
  void CallMath(int t, Math1 fn, bool checkFinite);

  // Emit's parts: the frame, the prologue, one instruction by its family, the end,
  // the side paths and the constants.
  bool PlanFrame();
  void Analyse();
  void OpenKept(int k, int p);
  void CloseKept(int k, int p);
  void TableEntry(int k);
  void EmitPrologue();
  void EmitEpilogue();
  bool EmitInstruction(const FInstr& in, int& depth, bool last);
  bool EmitPush(const FInstr& in, int& depth);
  bool EmitArithmetic(const FInstr& in, int& depth);
  bool EmitPower(const FInstr& in, int& depth);
  void PowK(int t, double k);
  bool EmitComparison(const FInstr& in, int& depth);
  bool EmitBuiltin(const FInstr& in, int t);
  void CallHost(const FInstr& in, int t);
  bool EmitReturn(int depth, bool last);
  void EmitSidePaths();
  void EmitConstants();

  const FastProgram& program_;
  x86::Assembler& a_;
  Label bail_;  // hands the point back: returns 1
  Label clearFlags_, flagsClear_, fault_;
  int frame_ = 0;  // the frame's size, rsp 16-byte aligned
  std::vector<State> state_;
  std::vector<uint8_t> isConst_;
  std::vector<double> constValue_;
  std::unordered_map<const void*, int32_t> direct_;  // storage -> index in the inputs
  std::unordered_map<const void*, int> cacheIndex_;
  std::vector<uint8_t> cacheValid_;
  int cacheStart_ = 0;
  std::vector<std::function<void()>> stubs_;
  std::unordered_map<uint64_t, Label> consts_;
  std::unordered_map<uint64_t, Label> masks_;

  // Per instruction, the known subtypes of its operands (kNoOperand where it has
  // none); current_ is the instruction being emitted.
  std::vector<int32_t> leftKind_, rightKind_;
  int current_ = 0;
  // The kept subexpressions: code [start, end], reading the inputs in `mask`. While
  // one is emitted, `before` and `cacheBefore` hold the bookkeeping at its start.
  struct Kept {
    int start = 0, end = 0;
    uint64_t mask = 0;
    bool calls = false;  // calls a function (the registers below it are spilled first)
    int input = -1;      // with a value table: the one input it reads, else -1
    int table = 0;       // the table's first number in the memo
    Label compute, join;
    std::vector<State> before;
    std::vector<uint8_t> cacheBefore;
  };
  std::vector<Kept> kept_;
  std::vector<std::vector<int>> opensAt_;  // per instruction, outermost first
  std::vector<int> closesAt_;              // per instruction, -1 for none
  bool keeps_ = false;
  uint64_t tracked_ = 0;  // the inputs some kept subexpression reads
  int inputSlots_ = 0;
  int tables_ = 0;  // kept subexpressions with a value table
};

x86::Mem Generator::Const(double v) {
  auto [it, added] = consts_.try_emplace(Bits(v));
  if (added) it->second = a_.newLabel();
  return x86::qword_ptr(it->second);
}

// A 16-byte constant with `bits` in its low half, for andpd and xorpd.
x86::Mem Generator::Mask(uint64_t bits) {
  auto [it, added] = masks_.try_emplace(bits);
  if (added) it->second = a_.newLabel();
  return x86::xmmword_ptr(it->second);
}

// The register holding position i, loaded first if only its home has the value; a
// position beyond the registers is loaded into `scratch`.
x86::Xmm Generator::Use(int i, x86::Xmm scratch) {
  if (!InReg(i)) {
    a_.movsd(scratch, Home(i));
    return scratch;
  }
  if (state_[i] == State::kMem) {
    a_.movsd(Reg(i), HomeOrConst(i));
    state_[i] = State::kBoth;
  }
  return Reg(i);
}

// Position i as a right operand: its register, or the memory that holds it.
asmjit::Operand Generator::Src(int i) {
  if (!InReg(i)) return Home(i);
  if (state_[i] == State::kMem) return HomeOrConst(i);
  return Reg(i);
}

// Position i now holds the value computed in `reg` (from Target or Use).
void Generator::Define(int i, x86::Xmm reg) {
  if (!InReg(i)) {
    a_.movsd(Home(i), reg);
    return;
  }
  if (reg != Reg(i)) a_.movapd(Reg(i), reg);
  state_[i] = State::kReg;
  isConst_[i] = 0;
}

// Before a call: the positions below `top` keep their values in their homes.
void Generator::SpillBelow(int top) {
  for (int j = 0; j < top && InReg(j); ++j) {
    if (state_[j] != State::kReg) continue;
    if (!isConst_[j]) a_.movsd(Home(j), Reg(j));
    state_[j] = State::kBoth;
  }
}

// After a call: the registers below `top` are lost.
void Generator::ForgetBelow(int top) {
  for (int j = 0; j < top && InReg(j); ++j) state_[j] = State::kMem;
}

// The positions below `top` whose registers hold their values, for a call on a rare
// path, which saves and restores them itself.
std::vector<int> Generator::LiveBelow(int top) const {
  std::vector<int> live;
  for (int j = 0; j < top && InReg(j); ++j)
    if (state_[j] != State::kMem) live.push_back(j);
  return live;
}

// dst = src, a register or memory.
void Generator::Load(x86::Xmm dst, const asmjit::Operand& src) {
  if (src.isMem())
    a_.movsd(dst, src.as<x86::Mem>());
  else if (src.as<x86::Xmm>() != dst)
    a_.movapd(dst, src.as<x86::Xmm>());
}

// Raises Invalid unless `v` is finite: v - v is 0 for a finite v, and an infinity
// minus itself raises Invalid; a NaN gives NaN, which the comparison (a signalling
// one) turns into Invalid.
void Generator::CheckFinite(x86::Xmm v, x86::Xmm tmp) {
  a_.movapd(tmp, v);
  a_.subsd(tmp, v);
  a_.comisd(tmp, tmp);
}

// RunFast hands a -0 from a negation or a product back to the Variant machine.
void Generator::BailOnNegativeZero(x86::Xmm v) {
  Label stub = a_.newLabel(), back = a_.newLabel();
  a_.ucomisd(v, Const(0.0));
  a_.je(stub);  // zero (or unordered)
  a_.bind(back);
  stubs_.push_back([this, stub, back, v] {
    a_.bind(stub);
    a_.movmskpd(x86::eax, v);
    a_.test(x86::eax, 1);
    a_.jnz(bail_);
    a_.jmp(back);
  });
}

// A -0 just computed in `v` by the current negation or product, as the Variant
// machine has it: kept beside a Double operand; made 0 where every operand is of a
// whole-number subtype (a direct input is when it holds a whole number within the
// Long range); handed back where an operand's subtype is unknown.
void Generator::DecideNegativeZero(x86::Xmm v) {
  const int32_t a = leftKind_[current_], b = rightKind_[current_];
  if (a == kDoubleKind || b == kDoubleKind) return;
  if (a == kUnknownKind || b == kUnknownKind) {
    BailOnNegativeZero(v);
    return;
  }
  std::vector<int32_t> inputs;
  for (int32_t k : {a, b})
    if (k >= 0 && (inputs.empty() || inputs[0] != k)) inputs.push_back(k);
  if (inputs.empty()) {
    a_.addsd(v, Const(0.0));  // -0 + 0 is 0; any other value stays as it is
    return;
  }
  Label stub = a_.newLabel(), back = a_.newLabel();
  a_.ucomisd(v, Const(0.0));
  a_.je(stub);  // zero (or unordered)
  a_.bind(back);
  stubs_.push_back([this, stub, back, v, inputs] {
    a_.bind(stub);
    a_.jp(back);  // unordered: not a zero
    a_.movmskpd(x86::eax, v);
    a_.test(x86::eax, 1);
    a_.jz(back);
    for (int32_t i : inputs) {
      // Whole within the Long range, as AssignNumberTo decides it: a magnitude of at
      // most 2^31 - 1 (tested first: a truncation out of range raises Invalid) whose
      // truncation is the value.
      const x86::Mem input = x86::qword_ptr(x86::rbx, 8 * i);
      a_.movsd(x86::xmm3, input);
      a_.andpd(x86::xmm3, Mask(0x7fffffffffffffffULL));
      a_.ucomisd(x86::xmm3, Const(2147483647.0));
      a_.ja(back);
      a_.cvttsd2si(x86::eax, input);
      a_.xorpd(x86::xmm3, x86::xmm3);
      a_.cvtsi2sd(x86::xmm3, x86::eax);
      a_.ucomisd(x86::xmm3, input);
      a_.jne(back);
    }
    a_.xorpd(v, v);
    a_.jmp(back);
  });
}

// A host method must not be called where RunFast would already have stopped.
void Generator::BailOnFaultFlags() {
  a_.stmxcsr(x86::dword_ptr(x86::rsp, kCsrSlot));
  a_.test(x86::byte_ptr(x86::rsp, kCsrSlot), kFaultFlags);
  a_.jnz(bail_);
}

// A variable's value as RunFast's VarNumber reads it: a Double as it is (checked
// finite), Integer, Long, Boolean (-1 or 0) and Empty (0) converted on a side path;
// any other subtype is handed to the interpreter.
void Generator::LoadVariable(const void* p, x86::Xmm dst) {
  const Variant& v = static_cast<const Slot*>(p)->value;
  const auto base = reinterpret_cast<const char*>(&v);
  const auto offset = [base](const void* member) {
    return static_cast<int32_t>(static_cast<const char*>(member) - base);
  };
  const int32_t type = offset(&v.type), d = offset(&v.d), i = offset(&v.i), l = offset(&v.l),
                b = offset(&v.b);
  Label stub = a_.newLabel(), back = a_.newLabel();
  a_.mov(x86::rax, Address(&v));
  a_.cmp(x86::byte_ptr(x86::rax, type), static_cast<int>(VType::Double));
  a_.jne(stub);
  a_.movsd(dst, x86::qword_ptr(x86::rax, d));
  CheckFinite(dst, x86::xmm3);
  a_.bind(back);
  stubs_.push_back([=, this] {
    Label notInteger = a_.newLabel(), notLong = a_.newLabel(), notBoolean = a_.newLabel(),
          convert = a_.newLabel();
    a_.bind(stub);
    a_.movzx(x86::ecx, x86::byte_ptr(x86::rax, type));
    a_.cmp(x86::ecx, static_cast<int>(VType::Integer));
    a_.jne(notInteger);
    a_.movsx(x86::ecx, x86::word_ptr(x86::rax, i));
    a_.jmp(convert);
    a_.bind(notInteger);
    a_.cmp(x86::ecx, static_cast<int>(VType::Long));
    a_.jne(notLong);
    a_.mov(x86::ecx, x86::dword_ptr(x86::rax, l));
    a_.jmp(convert);
    a_.bind(notLong);
    a_.cmp(x86::ecx, static_cast<int>(VType::Boolean));
    a_.jne(notBoolean);
    a_.movzx(x86::ecx, x86::byte_ptr(x86::rax, b));
    a_.neg(x86::ecx);
    a_.jmp(convert);
    a_.bind(notBoolean);
    a_.cmp(x86::ecx, static_cast<int>(VType::Empty));
    a_.jne(bail_);
    a_.xor_(x86::ecx, x86::ecx);
    a_.bind(convert);
    a_.xorpd(dst, dst);
    a_.cvtsi2sd(dst, x86::ecx);
    a_.jmp(back);
  });
}

// The value of a variable or host property as an operand: its cache slot when it was
// read since the last host call, else it is read into `dst` and cached.
asmjit::Operand Generator::LoadInput(const void* p, Input kind, x86::Xmm dst) {
  if (const auto it =
          direct_.find(kind == Input::kVariable ? &static_cast<const Slot*>(p)->value : p);
      it != direct_.end() && kind != Input::kHostLong)
    return x86::qword_ptr(x86::rbx, 8 * it->second);
  const int index = cacheIndex_.at(p);
  const x86::Mem cache = x86::qword_ptr(x86::rsp, cacheStart_ + 8 * index);
  if (cacheValid_[index]) return cache;
  switch (kind) {
    case Input::kVariable:
      LoadVariable(p, dst);
      break;
    case Input::kHostDouble:
      a_.mov(x86::rax, Address(p));
      a_.movsd(dst, x86::qword_ptr(x86::rax));
      CheckFinite(dst, x86::xmm3);
      break;
    case Input::kHostLong:
      a_.mov(x86::rax, Address(p));
      a_.xorpd(dst, dst);
      a_.cvtsi2sd(dst, x86::dword_ptr(x86::rax));
      break;
  }
  a_.movsd(cache, dst);
  cacheValid_[index] = 1;
  return dst;
}

// Position t-1 becomes (t-1) op (t).
void Generator::Binary(uint32_t inst, int t) {
  BinaryWith(inst, t - 1, Src(t));
}

// Position t becomes (t) op right.
void Generator::BinaryWith(uint32_t inst, int t, const asmjit::Operand& right) {
  const x86::Xmm r = Use(t, x86::xmm0);
  a_.emit(inst, r, right);
  Define(t, r);
  if (inst == x86::Inst::kIdMulsd) DecideNegativeZero(r);
}

// Position t-1 becomes -1 when the comparison holds, else 0. cmpsd gives an all-ones
// mask for true; the mask keeps the bits of -1. A swapped comparison (b < a for a > b)
// keeps NaN false, as in C++.
void Generator::Compare(int t, uint8_t predicate, bool swap) {
  if (!swap) {
    const x86::Xmm r = Use(t - 1, x86::xmm0);
    a_.emit(x86::Inst::kIdCmpsd, r, Src(t), Imm(predicate));
    a_.andpd(r, Mask(Bits(-1.0)));
    Define(t - 1, r);
    return;
  }
  const x86::Xmm left = Use(t - 1, x86::xmm0);
  Load(x86::xmm1, Src(t));
  a_.cmpsd(x86::xmm1, left, Imm(predicate));
  a_.andpd(x86::xmm1, Mask(Bits(-1.0)));
  Define(t - 1, x86::xmm1);
}

// kernel::Square inline: the product, and when it lies in the safe range, its exact
// error by Dekker's algorithm and the test hi + lo * 1.1 == hi, each operation as the
// kernel writes it (for b == a the kernel's products ah*bl and al*bh are one value).
// Otherwise pow, on a side path.
void Generator::Square(int t) {
  using x86::xmm0;
  using x86::xmm1;
  using x86::xmm2;
  using x86::xmm3;
  const x86::Xmm r = Use(t, xmm0);
  Label slow = a_.newLabel(), back = a_.newLabel();
  a_.movapd(xmm0, r);
  a_.mulsd(xmm0, r);  // p = a * a
  a_.movapd(xmm1, xmm0);
  a_.andpd(xmm1, Mask(0x7fffffffffffffffULL));
  a_.ucomisd(xmm1, Const(0x1p-900));
  a_.jbe(slow);  // not m > 2^-900 (or unordered)
  a_.ucomisd(xmm1, Const(0x1p900));
  a_.jae(slow);  // not m < 2^900
  if (HasFma()) {
    // The product's exact error in one instruction: a * a - p rounded once, which is
    // exact (the error of a product is a double, p being far from underflow), so it
    // is the very value the kernel's Dekker splitting computes.
    a_.movapd(xmm3, r);
    a_.vfmsub213sd(xmm3, r, xmm0);  // e = a * a - p
  } else {
    a_.movsd(xmm1, Const(134217729.0));
    a_.mulsd(xmm1, r);  // ca = kSplit * a
    a_.movapd(xmm2, xmm1);
    a_.subsd(xmm2, r);     // ca - a
    a_.subsd(xmm1, xmm2);  // ah = ca - (ca - a)
    a_.movapd(xmm2, r);
    a_.subsd(xmm2, xmm1);  // al = a - ah
    a_.movapd(xmm3, xmm1);
    a_.mulsd(xmm3, xmm1);  // ah * ah
    a_.subsd(xmm3, xmm0);  // - p
    a_.mulsd(xmm1, xmm2);  // ah * al
    a_.addsd(xmm3, xmm1);  // + ah * bl
    a_.addsd(xmm3, xmm1);  // + al * bh
    a_.mulsd(xmm2, xmm2);  // al * al
    a_.addsd(xmm3, xmm2);  // e
  }
  a_.mulsd(xmm3, Const(1.1));
  a_.addsd(xmm3, xmm0);  // p + e * 1.1
  a_.ucomisd(xmm3, xmm0);
  a_.jne(slow);
  a_.jp(slow);
  a_.movapd(r, xmm0);
  a_.bind(back);
  Define(t, r);
  // The side path saves and restores the live registers below t itself, as they are
  // here (the main path goes on changing its bookkeeping before the side path is
  // emitted).
  const std::vector<int> live = LiveBelow(t);
  std::vector<uint8_t> spill;
  std::vector<x86::Mem> reload;
  for (int j : live) {
    spill.push_back(state_[j] == State::kReg && !isConst_[j]);
    reload.push_back(HomeOrConst(j));
  }
  stubs_.push_back([=, this] {
    a_.bind(slow);
    for (size_t k = 0; k < live.size(); ++k)
      if (spill[k]) a_.movsd(Home(live[k]), Reg(live[k]));
    // PowSlow(a, 2): kernel::Pow's tests pass for the exponent 2, so it is the
    // library's pow(a, 2), which must be finite.
    a_.movapd(xmm0, r);
    a_.movsd(xmm1, Const(2.0));
    a_.call(Address(kPow));
    CheckFinite(xmm0, xmm3);
    for (size_t k = 0; k < live.size(); ++k) a_.movsd(Reg(live[k]), reload[k]);
    a_.movapd(r, xmm0);
    a_.jmp(back);
  });
}

// Position t becomes the result of fn, a thunk that returns an error number and
// writes its result to the frame's out slot; `setArgs` puts the arguments in place
// (the out pointer goes in the register after them).
void Generator::CallWithOut(int t, const std::function<void()>& setArgs, const void* fn) {
  setArgs();
  SpillBelow(t);
  a_.call(Address(fn));
  ForgetBelow(t);
  a_.test(x86::eax, x86::eax);
  a_.jnz(bail_);
  const x86::Xmm dst = Target(t, x86::xmm0);
  a_.movsd(dst, x86::qword_ptr(x86::rsp, kOutSlot));
  CheckFinite(dst, x86::xmm3);
  Define(t, dst);
}

// Position t becomes fn(position t), a library function.
void Generator::CallMath(int t, Math1 fn, bool checkFinite) {
  const x86::Xmm r = Use(t, x86::xmm0);
  if (r != x86::xmm0) a_.movapd(x86::xmm0, r);
  SpillBelow(t);
  a_.call(Address(fn));
  ForgetBelow(t);
  if (checkFinite) CheckFinite(x86::xmm0, x86::xmm3);
  Define(t, x86::xmm0);
}

bool Generator::Emit() {
  const std::vector<FInstr>& code = program_.code;
  if (code.empty() || code.back().op != FOp::Return) return false;
  if (!PlanFrame()) return false;
  Analyse();
  EmitPrologue();
  int depth = 0;
  for (size_t j = 0; j < code.size(); ++j) {
    current_ = static_cast<int>(j);
    for (int k : opensAt_[j]) OpenKept(k, depth);
    if (!EmitInstruction(code[j], depth, j + 1 == code.size())) return false;
    if (closesAt_[j] >= 0) CloseKept(closesAt_[j], depth - 1);
  }
  EmitSidePaths();
  EmitConstants();
  return true;
}

// The stack's bookkeeping, one cache slot for each input and the frame's size;
// false when a constant is not finite.
bool Generator::PlanFrame() {
  const std::vector<FInstr>& code = program_.code;
  const int maxStack = program_.maxStack;
  state_.assign(maxStack + 1, State::kReg);
  isConst_.assign(maxStack + 1, 0);
  constValue_.assign(maxStack + 1, 0.0);
  for (const FInstr& in : code) {
    if (ReadsConstant(in.op)) {
      if (!std::isfinite(in.k)) return false;
      continue;
    }
    if (ReadsVariable(in.op)) {
      cacheIndex_.try_emplace(in.p, static_cast<int>(cacheIndex_.size()));
      continue;
    }
    switch (in.op) {
      case FOp::PushHostD:
      case FOp::AddHostD:
      case FOp::SubHostD:
      case FOp::MulHostD:
      case FOp::DivHostD:
      case FOp::PushHostL:
        cacheIndex_.try_emplace(in.p, static_cast<int>(cacheIndex_.size()));
        break;
      default:
        break;
    }
  }
  cacheValid_.assign(cacheIndex_.size(), 0);
  cacheStart_ = kHomesStart + 8 * (maxStack + 1);
  frame_ = cacheStart_ + 8 * static_cast<int>(cacheIndex_.size());
  if (frame_ % 16 != 0) frame_ += 8;  // rsp is 16-aligned after the push of rbx
  return true;
}

// Per instruction, the subtypes of its operands, and the subexpressions worth keeping
// between evaluations: those that read only direct inputs and constants, cost at least
// kKeepCost, and read fewer inputs than the expression they are part of (one that
// reads the same inputs is computed again exactly when that one is).
void Generator::Analyse() {
  const std::vector<FInstr>& code = program_.code;
  const size_t n = code.size();
  leftKind_.assign(n, kNoOperand);
  rightKind_.assign(n, kNoOperand);
  struct Node {
    int start = 0, end = 0;
    uint64_t mask = 0;
    bool pure = true;  // reads only direct inputs and constants
    bool calls = false;
    int cost = 0;
    int32_t kind = kUnknownKind;
  };
  std::vector<Node> nodes(n);
  std::vector<int> parent(n, -1);
  std::vector<Node> stack;
  const auto directIndex = [this](const void* key) {
    const auto it = direct_.find(key);
    return it == direct_.end() ? -1 : it->second;
  };
  // An operand that is a variable, a host property or a constant.
  const auto leaf = [&](const FInstr& in, int j) {
    Node node{j, j};
    if (ReadsConstant(in.op)) {
      node.kind = KindOfConstant(in.kType);
      return node;
    }
    if (in.op == FOp::PushHostL) {
      node.pure = false;
      node.kind = kWholeKind;
      return node;
    }
    const bool host = in.op == FOp::PushHostD || in.op >= FOp::AddHostD;
    const int i =
        directIndex(host ? in.p : static_cast<const void*>(&static_cast<const Slot*>(in.p)->value));
    node.kind = host ? kDoubleKind : i >= 0 ? i : kUnknownKind;
    node.pure = i >= 0 && i < kTrackedInputs;
    if (node.pure) node.mask = uint64_t{1} << i;
    return node;
  };
  const auto pop = [&] {
    Node node = stack.back();
    stack.pop_back();
    return node;
  };
  for (size_t j = 0; j < n; ++j) {
    const FInstr& in = code[j];
    const int jj = static_cast<int>(j);
    if (in.op == FOp::Return) break;
    Node a, b;
    bool binary = false, unary = false, operandLeaf = false;
    int cost = 1;
    bool calls = false;
    int32_t kind = kUnknownKind;
    switch (in.op) {
      case FOp::PushK:
      case FOp::PushVar:
      case FOp::PushHostD:
      case FOp::PushHostL:
        nodes[j] = leaf(in, jj);
        stack.push_back(nodes[j]);
        continue;
      case FOp::Neg:
      case FOp::Abs:
        unary = true;
        a = pop();
        kind = a.kind == kDoubleKind || a.kind >= 0 ? a.kind : kUnknownKind;
        // A whole constant negated stays whole within the Long range.
        if (a.kind == kWholeKind && a.start == a.end && code[a.start].op == FOp::PushK &&
            std::fabs(code[a.start].k) <= 2147483647.0)
          kind = kWholeKind;
        break;
      case FOp::Add:
      case FOp::Sub:
      case FOp::Mul:
      case FOp::Div:
      case FOp::Eq:
      case FOp::Ne:
      case FOp::Lt:
      case FOp::Gt:
      case FOp::Le:
      case FOp::Ge:
      case FOp::Pow:
        binary = true;
        b = pop();
        a = pop();
        break;
      case FOp::AddK:
      case FOp::SubK:
      case FOp::MulK:
      case FOp::DivK:
      case FOp::PowK:
      case FOp::AddVar:
      case FOp::SubVar:
      case FOp::MulVar:
      case FOp::DivVar:
      case FOp::AddHostD:
      case FOp::SubHostD:
      case FOp::MulHostD:
      case FOp::DivHostD:
        binary = operandLeaf = true;
        a = pop();
        b = leaf(in, jj);
        break;
      default:  // the built-ins and the powers of one operand
        unary = true;
        a = pop();
        break;
    }
    switch (in.op) {
      case FOp::Add:
      case FOp::Sub:
      case FOp::Mul:
      case FOp::AddK:
      case FOp::SubK:
      case FOp::MulK:
      case FOp::AddVar:
      case FOp::SubVar:
      case FOp::MulVar:
      case FOp::AddHostD:
      case FOp::SubHostD:
      case FOp::MulHostD:
        kind = a.kind == kDoubleKind || b.kind == kDoubleKind ? kDoubleKind : kUnknownKind;
        break;
      case FOp::Div:
      case FOp::DivK:
      case FOp::DivVar:
      case FOp::DivHostD:
        cost = 4;
        kind = kDoubleKind;  // a fast program holds no Single
        break;
      case FOp::Eq:
      case FOp::Ne:
      case FOp::Lt:
      case FOp::Gt:
      case FOp::Le:
      case FOp::Ge:
        kind = kWholeKind;
        break;
      case FOp::Neg:
      case FOp::Abs:
        break;
      case FOp::Sqr:
        cost = 5;
        kind = kDoubleKind;
        break;
      case FOp::Square:
        cost = 8;
        calls = !InReg(static_cast<int>(stack.size()));
        kind = kDoubleKind;
        break;
      case FOp::Call1:
      case FOp::CallHost:
        cost = 20;
        calls = true;
        a.pure = a.pure && in.op == FOp::Call1;
        break;
      default:  // Pow, PowK, Cube and the library's functions
        cost = 20;
        calls = true;
        kind = kDoubleKind;
        break;
    }
    leftKind_[j] = a.kind;
    if (binary) rightKind_[j] = b.kind;
    Node node{a.start, jj, a.mask, a.pure, a.calls || calls, a.cost + cost, kind};
    if (binary) {
      node.mask |= b.mask;
      node.pure = node.pure && b.pure;
      node.calls = node.calls || b.calls;
      node.cost += b.cost;
      if (!operandLeaf) parent[b.end] = jj;
    }
    if (unary || binary) parent[a.end] = jj;
    nodes[j] = node;
    stack.push_back(node);
  }
  opensAt_.assign(n, {});
  closesAt_.assign(n, -1);
  if (direct_.empty()) return;
  for (size_t j = 0; j < n; ++j) {
    const Node& node = nodes[j];
    if (code[j].op == FOp::Return || !node.pure || node.cost < kKeepCost) continue;
    if (parent[j] >= 0 && nodes[parent[j]].pure && nodes[parent[j]].mask == node.mask) continue;
    Kept& kept = kept_.emplace_back();
    kept.start = node.start;
    kept.end = node.end;
    kept.mask = node.mask;
    kept.calls = node.calls;
    if (std::has_single_bit(node.mask) && node.cost >= kTableCost) {
      kept.input = std::countr_zero(node.mask);
      kept.table = tables_++;
    }
    tracked_ |= node.mask;
  }
  // Outermost first where several begin at one instruction.
  for (size_t k = 0; k < kept_.size(); ++k) {
    std::vector<int>& opens = opensAt_[kept_[k].start];
    opens.push_back(static_cast<int>(k));
    std::sort(opens.begin(), opens.end(),
              [this](int x, int y) { return kept_[x].end > kept_[y].end; });
    closesAt_[kept_[k].end] = static_cast<int>(k);
  }
  keeps_ = !kept_.empty();
  for (int i = 0; i < kTrackedInputs; ++i)
    if (tracked_ >> i & 1) inputSlots_ = i + 1;
  // The tables follow the kept values.
  const int tablesStart = 1 + inputSlots_ + static_cast<int>(kept_.size());
  for (Kept& kept : kept_)
    if (kept.input >= 0) kept.table = tablesStart + 2 * kTableEntries * kept.table;
}

// rcx = the address of kept subexpression k's table entry for the input bits in rax.
void Generator::TableEntry(int k) {
  const Kept& kept = kept_[k];
  a_.mov(x86::rcx, Imm(kTableHash));
  a_.imul(x86::rcx, x86::rax);
  a_.shr(x86::rcx, 64 - kTableBits);
  a_.shl(x86::rcx, 4);
  a_.lea(x86::rcx, x86::qword_ptr(x86::r13, x86::rcx, 0, 8 * kept.table));
}

// The kept subexpression k begins, its value to go to position p: its value is
// loaded from the memo unless one of its inputs changed (or the memo is not valid).
void Generator::OpenKept(int k, int p) {
  Kept& kept = kept_[k];
  if (kept.calls) SpillBelow(p);
  kept.before = state_;
  kept.cacheBefore = cacheValid_;
  kept.compute = a_.newLabel();
  kept.join = a_.newLabel();
  a_.mov(x86::rax, Imm(kept.mask | kMemoInvalid));
  a_.test(x86::r12, x86::rax);
  a_.jnz(kept.compute);
  const x86::Mem slot = x86::qword_ptr(x86::r13, 8 * (1 + inputSlots_ + k));
  const x86::Xmm dst = Target(p, x86::xmm0);
  a_.movsd(dst, slot);
  if (!InReg(p)) a_.movsd(Home(p), dst);
  a_.jmp(kept.join);
  a_.bind(kept.compute);
  if (kept.input < 0) return;
  // The value table: on a hit, its value, which the memo keeps too.
  Label miss = a_.newLabel();
  a_.mov(x86::rax, x86::qword_ptr(x86::rbx, 8 * kept.input));
  TableEntry(k);
  a_.not_(x86::rax);
  a_.cmp(x86::rax, x86::qword_ptr(x86::rcx));
  a_.jne(miss);
  a_.movsd(dst, x86::qword_ptr(x86::rcx, 8));
  a_.movsd(slot, dst);
  if (!InReg(p)) a_.movsd(Home(p), dst);
  a_.jmp(kept.join);
  a_.bind(miss);
}

// The kept subexpression k has been computed into position p: its value goes to the
// memo, and the bookkeeping after it holds for both ways. Positions below p changed by
// a call in between had their values in their homes before it (OpenKept).
void Generator::CloseKept(int k, int p) {
  Kept& kept = kept_[k];
  const x86::Mem slot = x86::qword_ptr(x86::r13, 8 * (1 + inputSlots_ + k));
  const x86::Xmm value = Use(p, x86::xmm0);
  a_.movsd(slot, value);
  if (kept.input >= 0) {
    // Into the table, unless a fault flag stands.
    a_.stmxcsr(x86::dword_ptr(x86::rsp, kCsrSlot));
    a_.test(x86::byte_ptr(x86::rsp, kCsrSlot), kFaultFlags);
    a_.jnz(kept.join);
    a_.mov(x86::rax, x86::qword_ptr(x86::rbx, 8 * kept.input));
    TableEntry(k);
    a_.not_(x86::rax);
    a_.mov(x86::qword_ptr(x86::rcx), x86::rax);
    a_.movsd(x86::qword_ptr(x86::rcx, 8), value);
  }
  a_.bind(kept.join);
  for (int j = 0; j < p; ++j)
    if (state_[j] != kept.before[j]) state_[j] = State::kMem;
  if (InReg(p)) {
    state_[p] = State::kReg;
    isConst_[p] = 0;
  }
  for (size_t i = 0; i < cacheValid_.size(); ++i)
    cacheValid_[i] = cacheValid_[i] && kept.cacheBefore[i];
}

// The frame, the result pointer kept, the fault flags clear on entry (cleared on a
// side path when set), and where values are kept, the inputs that changed.
void Generator::EmitPrologue() {
  bail_ = a_.newLabel();
  clearFlags_ = a_.newLabel();
  flagsClear_ = a_.newLabel();
  fault_ = a_.newLabel();
  a_.push(x86::rbx);
  if (keeps_) {
    a_.push(x86::r12);
    a_.push(x86::r13);
  }
  a_.mov(x86::rbx, x86::rdi);
  a_.sub(x86::rsp, frame_);
  a_.mov(x86::qword_ptr(x86::rsp, kResultPtrSlot), x86::rsi);
  a_.stmxcsr(x86::dword_ptr(x86::rsp, kCsrSlot));
  a_.test(x86::byte_ptr(x86::rsp, kCsrSlot), kFaultFlags);
  a_.jnz(clearFlags_);
  a_.bind(flagsClear_);
  if (!keeps_) return;
  Label compared = a_.newLabel();
  a_.mov(x86::r13, x86::rdx);
  a_.mov(x86::r12, Imm(-1));
  a_.cmp(x86::qword_ptr(x86::r13), 0);
  a_.je(compared);
  a_.xor_(x86::r12d, x86::r12d);
  for (int i = 0; i < inputSlots_; ++i) {
    if (!(tracked_ >> i & 1)) continue;
    Label same = a_.newLabel();
    a_.mov(x86::rax, x86::qword_ptr(x86::rbx, 8 * i));
    a_.cmp(x86::rax, x86::qword_ptr(x86::r13, 8 * (1 + i)));
    a_.je(same);
    a_.bts(x86::r12, i);
    a_.bind(same);
  }
  a_.bind(compared);
}

// The frame released and the saved registers restored.
void Generator::EmitEpilogue() {
  a_.add(x86::rsp, frame_);
  if (keeps_) {
    a_.pop(x86::r13);
    a_.pop(x86::r12);
  }
  a_.pop(x86::rbx);
  a_.ret();
}

// One instruction, with `depth` positions on the stack before it and after it; false
// when the program is refused. Each family's function emits an instruction of its
// family, moves `depth` by its stack effect and says true; an instruction of no
// family is refused.
bool Generator::EmitInstruction(const FInstr& in, int& depth, bool last) {
  if (in.op == FOp::Return) return EmitReturn(depth, last);
  return EmitPush(in, depth) || EmitArithmetic(in, depth) || EmitPower(in, depth) ||
         EmitComparison(in, depth) || EmitBuiltin(in, depth - 1);
}

// A constant, a variable or a host property onto position `depth`.
bool Generator::EmitPush(const FInstr& in, int& depth) {
  if (in.op == FOp::PushK) {
    const x86::Xmm dst = Target(depth, x86::xmm0);
    a_.movsd(dst, Const(in.k));
    Define(depth, dst);
    if (InReg(depth)) {
      isConst_[depth] = 1;
      constValue_[depth] = in.k;
    }
    ++depth;
    return true;
  }
  if (in.op != FOp::PushVar && in.op != FOp::PushHostD && in.op != FOp::PushHostL) return false;
  const Input kind = in.op == FOp::PushVar     ? Input::kVariable
                     : in.op == FOp::PushHostD ? Input::kHostDouble
                                               : Input::kHostLong;
  const x86::Xmm dst = Target(depth, x86::xmm0);
  const asmjit::Operand value = LoadInput(in.p, kind, dst);
  Load(dst, value);
  Define(depth, dst);
  ++depth;
  return true;
}

// Negation and the four operations, on two positions or on the top position and a
// constant, a variable or a host property. A zero divisor raises Divide-by-zero (or
// Invalid for 0/0): RunFast's 11 or 6.
bool Generator::EmitArithmetic(const FInstr& in, int& depth) {
  const int t = depth - 1;  // the top position
  switch (in.op) {
    case FOp::Neg: {
      const x86::Xmm r = Use(t, x86::xmm0);
      a_.xorpd(r, Mask(0x8000000000000000ULL));
      Define(t, r);
      DecideNegativeZero(r);
      return true;
    }
    case FOp::Add:
    case FOp::Sub:
    case FOp::Mul:
    case FOp::Div:
      Binary(ArithmeticInst(in.op), t);
      --depth;
      return true;
    case FOp::AddK:
    case FOp::SubK:
    case FOp::MulK:
    case FOp::DivK:
      BinaryWith(ArithmeticInst(in.op), t, Const(in.k));
      return true;
    case FOp::AddVar:
    case FOp::SubVar:
    case FOp::MulVar:
    case FOp::DivVar:
    case FOp::AddHostD:
    case FOp::SubHostD:
    case FOp::MulHostD:
    case FOp::DivHostD: {
      const bool host = in.op >= FOp::AddHostD;
      const asmjit::Operand value =
          LoadInput(in.p, host ? Input::kHostDouble : Input::kVariable, x86::xmm1);
      BinaryWith(ArithmeticInst(in.op), t, value);
      return true;
    }
    default:
      return false;
  }
}

// x^y through kernel::Pow, x^k with k known, x^2 and x^3.
bool Generator::EmitPower(const FInstr& in, int& depth) {
  const int t = depth - 1;  // the top position
  switch (in.op) {
    case FOp::Pow:
      CallWithOut(
          t - 1,
          [&] {
            const x86::Xmm a = Use(t - 1, x86::xmm0);
            if (a != x86::xmm0) a_.movapd(x86::xmm0, a);
            Load(x86::xmm1, Src(t));
            a_.lea(x86::rdi, x86::qword_ptr(x86::rsp, kOutSlot));
          },
          reinterpret_cast<const void*>(&PowThunk));
      --depth;
      return true;
    case FOp::PowK:
      PowK(t, in.k);
      return true;
    case FOp::Square:
      if (InReg(t)) {
        Square(t);
        return true;
      }
      [[fallthrough]];
    case FOp::Cube:
      CallWithOut(
          t,
          [&] {
            const x86::Xmm a = Use(t, x86::xmm0);
            if (a != x86::xmm0) a_.movapd(x86::xmm0, a);
            a_.lea(x86::rdi, x86::qword_ptr(x86::rsp, kOutSlot));
          },
          in.op == FOp::Cube ? reinterpret_cast<const void*>(&CubeThunk)
                             : reinterpret_cast<const void*>(&SquareThunk));
      return true;
    default:
      return false;
  }
}

// kernel::Pow with its exponent k known: a negative base fails only for a fractional
// exponent, a zero base only for a negative one; then the library's pow, whose result
// must be finite.
void Generator::PowK(int t, double k) {
  const x86::Xmm r = Use(t, x86::xmm0);
  if (k != std::trunc(k)) {
    a_.ucomisd(r, Const(0.0));
    a_.jb(bail_);  // a < 0 (or unordered): RunFast's 5
  }
  if (k < 0) {
    a_.ucomisd(r, Const(0.0));
    a_.je(bail_);  // a == 0 (or unordered): RunFast's 11
  }
  if (r != x86::xmm0) a_.movapd(x86::xmm0, r);
  a_.movsd(x86::xmm1, Const(k));
  SpillBelow(t);
  a_.call(Address(kPow));
  ForgetBelow(t);
  CheckFinite(x86::xmm0, x86::xmm3);
  Define(t, x86::xmm0);
}

// The six comparisons. cmpsd predicates: 0 equal, 1 less, 2 less or equal, 4 not
// equal; a > b and a >= b are b < a and b <= a.
bool Generator::EmitComparison(const FInstr& in, int& depth) {
  const int t = depth - 1;  // the top position
  switch (in.op) {
    case FOp::Eq:
      Compare(t, 0, false);
      break;
    case FOp::Ne:
      Compare(t, 4, false);
      break;
    case FOp::Lt:
      Compare(t, 1, false);
      break;
    case FOp::Le:
      Compare(t, 2, false);
      break;
    case FOp::Gt:
      Compare(t, 1, true);
      break;
    case FOp::Ge:
      Compare(t, 2, true);
      break;
    default:
      return false;
  }
  --depth;
  return true;
}

// The built-ins on the top position t: a kernel, a host method, the library's
// functions, Log, Sqr and Abs. sin, cos, tan and atan of a finite number are finite
// (RunFast's test after sin, cos and tan fails only for an argument that has raised a
// flag already); exp may overflow.
bool Generator::EmitBuiltin(const FInstr& in, int t) {
  switch (in.op) {
    case FOp::Call1:
      CallWithOut(
          t,
          [&] {
            const x86::Xmm a = Use(t, x86::xmm0);
            if (a != x86::xmm0) a_.movapd(x86::xmm0, a);
            a_.mov(x86::rdi, Address(in.p));
            a_.lea(x86::rsi, x86::qword_ptr(x86::rsp, kOutSlot));
          },
          reinterpret_cast<const void*>(&KernelThunk));
      return true;
    case FOp::CallHost:
      CallHost(in, t);
      return true;
    case FOp::Sin:
      CallMath(t, kSin, false);
      return true;
    case FOp::Cos:
      CallMath(t, kCos, false);
      return true;
    case FOp::Tan:
      CallMath(t, kTan, false);
      return true;
    case FOp::Atn:
      CallMath(t, kAtan, false);
      return true;
    case FOp::Exp:
      CallMath(t, kExp, true);
      return true;
    case FOp::Log: {
      const x86::Xmm r = Use(t, x86::xmm0);
      a_.ucomisd(r, Const(0.0));
      a_.jbe(bail_);             // x <= 0 (or unordered): RunFast's 5
      CallMath(t, kLog, false);  // finite for a finite x > 0
      return true;
    }
    case FOp::Sqr: {
      const x86::Xmm r = Use(t, x86::xmm0);
      a_.ucomisd(r, Const(0.0));
      a_.jb(bail_);  // x < 0 (or unordered): RunFast's 5
      a_.sqrtsd(r, r);
      Define(t, r);
      return true;
    }
    case FOp::Abs: {
      const x86::Xmm r = Use(t, x86::xmm0);
      a_.andpd(r, Mask(0x7fffffffffffffffULL));
      Define(t, r);
      return true;
    }
    default:
      return false;
  }
}

// Position t becomes the host method's result. The method is never called where
// RunFast would have stopped earlier, so the fault flags are tested first.
void Generator::CallHost(const FInstr& in, int t) {
  BailOnFaultFlags();
  CallWithOut(
      t,
      [&] {
        const x86::Xmm a = Use(t, x86::xmm0);
        if (a != x86::xmm0) a_.movapd(x86::xmm0, a);
        a_.mov(x86::rdi, Address(in.p));
        a_.mov(x86::esi, in.a);
        a_.lea(x86::rdx, x86::qword_ptr(x86::rsp, kOutSlot));
      },
      reinterpret_cast<const void*>(&HostThunk));
  // The method may have changed any host property (or, in principle, a variable).
  std::fill(cacheValid_.begin(), cacheValid_.end(), 0);
}

// The end: the point is handed back when a fault flag stands, else the value is
// stored and 0 returned. Refused unless it is the last instruction with one value
// on the stack.
bool Generator::EmitReturn(int depth, bool last) {
  if (depth != 1 || !last) return false;
  const x86::Xmm r = Use(0, x86::xmm0);
  a_.stmxcsr(x86::dword_ptr(x86::rsp, kCsrSlot));
  a_.test(x86::byte_ptr(x86::rsp, kCsrSlot), kFaultFlags);
  a_.jnz(fault_);
  a_.mov(x86::rax, x86::qword_ptr(x86::rsp, kResultPtrSlot));
  a_.movsd(x86::qword_ptr(x86::rax), r);
  if (keeps_) {
    // The memo now holds this evaluation's values: its inputs go with them.
    for (int i = 0; i < inputSlots_; ++i) {
      if (!(tracked_ >> i & 1)) continue;
      a_.mov(x86::rax, x86::qword_ptr(x86::rbx, 8 * i));
      a_.mov(x86::qword_ptr(x86::r13, 8 * (1 + i)), x86::rax);
    }
    a_.mov(x86::qword_ptr(x86::r13), 1);
  }
  a_.xor_(x86::eax, x86::eax);
  EmitEpilogue();
  return true;
}

// The side paths after the main body: the flags cleared on entry, the rare paths
// (stubs), and the exit that hands the point back (returns 1), leaving the memo not
// valid (kept values may have been stored for inputs it does not hold).
void Generator::EmitSidePaths() {
  a_.bind(clearFlags_);
  a_.and_(x86::dword_ptr(x86::rsp, kCsrSlot), static_cast<int>(~kFaultFlags));
  a_.ldmxcsr(x86::dword_ptr(x86::rsp, kCsrSlot));
  a_.jmp(flagsClear_);
  for (size_t k = 0; k < stubs_.size(); ++k) stubs_[k]();  // stubs may add no stubs
  a_.bind(fault_);
  a_.bind(bail_);
  if (keeps_) a_.mov(x86::qword_ptr(x86::r13), 0);
  a_.mov(x86::eax, 1);
  EmitEpilogue();
}

// The constant pool: the 16-byte masks, then the doubles.
void Generator::EmitConstants() {
  a_.align(asmjit::AlignMode::kData, 16);
  for (const auto& [bits, label] : masks_) {
    a_.bind(label);
    a_.embedUInt64(bits);
    a_.embedUInt64(0);
  }
  for (const auto& [bits, label] : consts_) {
    a_.bind(label);
    a_.embedUInt64(bits);
  }
}

}  // namespace

CompiledFormula::~CompiledFormula() {
  const std::lock_guard<std::mutex> lock(RuntimeMutex());
  Runtime().release(entry_);
}

bool CompilerAvailable() {
  return true;
}

namespace {

// Assembles `program` into `code`; false when it is refused.
bool Assemble(const FastProgram& program, std::span<const DirectInput> direct,
              asmjit::CodeHolder& code, asmjit::Logger* logger, size_t* memoSize = nullptr) {
  ErrorRecorder errors;
  if (code.init(Runtime().environment()) != asmjit::kErrorOk) return false;
  code.setErrorHandler(&errors);
  if (logger) code.setLogger(logger);
  x86::Assembler assembler(&code);
  Generator generator(program, direct, assembler);
  const bool emitted = generator.Emit();
  if (memoSize) *memoSize = generator.MemoSize();
  code.resetErrorHandler();
  return emitted && errors.error == asmjit::kErrorOk;
}

}  // namespace

std::unique_ptr<const CompiledFormula> CompileFormula(const FastProgram& program,
                                                      std::span<const DirectInput> direct) {
  asmjit::CodeHolder code;
  size_t memoSize = 0;
  if (!Assemble(program, direct, code, nullptr, &memoSize)) return nullptr;
  CompiledFormula::Entry entry = nullptr;
  {
    const std::lock_guard<std::mutex> lock(RuntimeMutex());
    if (Runtime().add(&entry, &code) != asmjit::kErrorOk) return nullptr;
  }
  return std::unique_ptr<const CompiledFormula>(
      new CompiledFormula(entry, code.codeSize(), memoSize));
}

std::string CompiledListing(const FastProgram& program, std::span<const DirectInput> direct) {
  asmjit::StringLogger logger;
  asmjit::CodeHolder code;
  if (!Assemble(program, direct, code, &logger)) return {};
  return logger.data();
}

}  // namespace quorvant::script
