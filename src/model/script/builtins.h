// The language's built-in functions that formulas may call: one table of
// {name, arity, handler}, with numeric kernels shared by the Variant machine and the
// double-only machine so both give the same values and the same errors.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "model/script/variant.h"

namespace quorvant::script {

// Numeric kernel: argument in, result out, 0 or an error number back.
using NumberKernel = int32_t (*)(double x, double& result);

struct Builtin {
  std::string_view name;
  int minArgs;
  int maxArgs;
  int32_t (*call)(std::span<const Variant> args, Variant& result);
  // Set when the function maps a number to a number with no regard to subtypes
  // (the double-only machine may call it): one argument only.
  NumberKernel number = nullptr;
};

// Id of a built-in function by name (case-insensitive), -1 when there is none.
int BuiltinId(std::string_view name);
const Builtin& BuiltinAt(int id);

}  // namespace quorvant::script
