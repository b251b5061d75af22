// Parser and code emitter in one pass: recursive descent over the language's
// precedence levels, emitting stack-machine code as it goes. Chains of binary
// operators are loops, so only parentheses, unary operators and Not nest, and their
// depth is bounded.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "model/script/bytecode.h"

namespace quorvant::script {

// The global namespace as the compiler sees it: every name gets a slot number that
// never changes.
class Namespace {
 public:
  virtual ~Namespace() = default;
  virtual int32_t SlotFor(std::string_view name) = 0;
};

struct CompileResult {
  std::shared_ptr<Program> program;  // null on failure
  int32_t error = 0;
  uint32_t errorOffset = 0;  // byte offset of the offending token
};

inline constexpr int kMaxNesting = 100;

// `expression`: the text is one expression (Eval); otherwise statements (assignments
// and calls, separated by ":" or line breaks).
CompileResult Compile(std::string_view source, bool expression, Namespace& names);

}  // namespace quorvant::script
