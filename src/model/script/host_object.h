// An object of the host program that the interpreter can see, such as the extra
// math functions. Its properties are typed storage the interpreter reads and writes
// directly; its methods are called with the language's values.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "model/script/variant.h"

namespace quorvant::script {

class HostObject {
 public:
  enum class MemberKind : uint8_t { DoubleProperty, LongProperty, Method };

  struct Member {
    std::string_view name;
    MemberKind kind;
    int arity = 0;                  // methods: number of arguments
    double* doubleValue = nullptr;  // DoubleProperty storage
    int32_t* longValue = nullptr;   // LongProperty storage
  };

  virtual ~HostObject() = default;
  virtual std::span<const Member> Members() const = 0;

  // Calls method `index` with `args` (already checked against its arity). Returns 0
  // or the error number.
  virtual int32_t Call(int index, std::span<const Variant> args, Variant& result) = 0;

  // Fast form for a one-argument method whose argument is a number and whose result
  // is a Double; gives exactly what Call gives for Variant::Dbl(arg). Returns 0 or
  // the error number.
  virtual int32_t CallNumber(int index, double arg, double& result) = 0;
};

}  // namespace quorvant::script
