// Formulas compiled to machine code at run time. The double-only form of a formula
// (fast_vm.h) becomes one native function that performs the same operations in the
// same order, with the same library calls and kernels, as RunFast. It answers only
// when it can prove that RunFast would have answered the same: any case where RunFast
// reports an error or hands the evaluation back makes it say "not mine", and the
// caller runs the interpreter for that evaluation.
//
// How it knows: every value that enters the computation (a variable or host
// property read from its storage, the result of a kernel, a host method or exp) is
// tested for finiteness in a way that raises the processor's Invalid flag when it is
// not finite; from then on every operation that RunFast would fail with Overflow or
// Division by zero raises the Overflow, Divide-by-zero or Invalid flag as well, and
// the library functions whose result is finite for every finite argument (sin, cos,
// tan, atan, log of a positive number) need no test. Coordinates handed over
// directly (DirectInput) are finite by the caller's own test.
//
// The flags are cleared on entry and tested once at the end (and before every host
// call, so that a host method is never called where RunFast would have stopped
// earlier). The checks that no flag can stand for (the domain of Log and Sqr, a
// variable that is not a plain number, an error number from a kernel or a host
// method) branch out at once.
//
// A -0 from a negation or a product, which RunFast leaves to the Variant machine, is
// decided the way that machine decides it wherever the operands' subtypes are known
// when the code is compiled or can be read from the direct inputs: a Double operand
// keeps IEEE's -0; whole-number operands (a whole constant, a comparison, a direct
// input holding a whole number, which its variable holds as an Integer or a Long)
// give 0. Only operands of unknown subtype still hand the evaluation back.
//
// Values kept between evaluations: with direct inputs, each costly subexpression
// that reads only direct inputs and constants keeps its last value in a memo that
// belongs to the caller (one per evaluator, so one per thread), and is computed again
// only when one of the inputs it reads changed since the last evaluation. The memo
// holds the inputs of that evaluation; it is valid only after an evaluation the code
// completed, and the code marks it invalid whenever it hands an evaluation back. A
// kept value is the result of the same operations on the same operands, so the
// result is the same, bit for bit, as computing it again.
//
// Only x86-64 builds with asmjit (CMake option QUORVANT_JIT) have a back end; the
// others compile nothing and the interpreter runs every formula.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace quorvant::script {

struct FastProgram;

// A variable or host property whose value the compiled code reads from an array of
// numbers instead of its storage: `address` is the storage the interpreter reads
// (the variable's Variant, or the property's double), `index` the entry of the
// array. The caller promises that the entry holds exactly the number the
// interpreter would read there (finite, and not -0), and that no host method can
// be called while the code runs (the code does not read the storage again after
// one).
struct DirectInput {
  const void* address;
  int32_t index;
};

class CompiledFormula {
 public:
  using Entry = int32_t (*)(const double* inputs, double* result, double* memo);

  CompiledFormula(const CompiledFormula&) = delete;
  CompiledFormula& operator=(const CompiledFormula&) = delete;
  ~CompiledFormula();

  // 0 with the formula's value in `result`, exactly what RunFast would give; any
  // other value: the interpreter must run this evaluation (result untouched). The
  // code is read-only once compiled, so several threads may run it at once; each
  // thread's own floating-point flags are used.
  // `inputs` holds the direct inputs the code was compiled with (may be null when
  // there are none). `memo` holds MemoSize() numbers, all 0 before the first run, and
  // is passed unchanged to every later run of the same caller (null when MemoSize()
  // is 0).
  int32_t Run(const double* inputs, double& result, double* memo = nullptr) const {
    return entry_(inputs, &result, memo);
  }

  // Size of the machine code and its constants, in bytes.
  size_t CodeSize() const { return size_; }
  // How many numbers the caller's memo holds: 0 where no value is kept.
  size_t MemoSize() const { return memoSize_; }

 private:
  friend std::unique_ptr<const CompiledFormula> CompileFormula(const FastProgram&,
                                                               std::span<const DirectInput>);
  CompiledFormula(Entry entry, size_t size, size_t memoSize)
      : entry_(entry), size_(size), memoSize_(memoSize) {}
  Entry entry_;
  size_t size_;
  size_t memoSize_;
};

// True when this build and this processor can compile formulas.
bool CompilerAvailable();

// The machine-code form of `program`, or null: no back end, or an instruction the
// compiler leaves to the interpreter. The code refers to the variables and host
// objects that `program` refers to, which must outlive it.
std::unique_ptr<const CompiledFormula> CompileFormula(const FastProgram& program,
                                                      std::span<const DirectInput> direct = {});

// The machine code CompileFormula makes of `program`, as assembly text; empty where
// it makes none. For tests and debugging.
std::string CompiledListing(const FastProgram& program, std::span<const DirectInput> direct = {});

}  // namespace quorvant::script
