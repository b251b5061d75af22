// The extra math functions formulas may call (inverse trigonometric, hyperbolic and
// inverse hyperbolic), registered with the interpreter as "sh" with its members made
// global names. Each function catches its own failure: it records the error number
// in its `ierr` (and in the problem's), returns 0, and lets the formula finish; the
// function evaluation raises the recorded error afterwards.
#pragma once

#include <array>
#include <cstdint>

#include "model/script/host_object.h"

namespace quorvant {

class ExtraFunctions final : public script::HostObject {
 public:
  // `windowIerr` receives every caught error number as well (may be null).
  explicit ExtraFunctions(int32_t* windowIerr = nullptr);
  ExtraFunctions(const ExtraFunctions&) = delete;
  ExtraFunctions& operator=(const ExtraFunctions&) = delete;

  // Public members, in this order, all reachable from formulas.
  double pi = 0;
  double halfpi = 0;
  double e = 0;
  double x = 0;
  int32_t ierr = 0;

  double Asin(double v);
  double Acos(double v);
  double Sinh(double v);
  double Cosh(double v);
  double Tanh(double v);
  double Asinh(double v);
  double Acosh(double v);
  double Atanh(double v);

  std::span<const Member> Members() const override { return members_; }
  int32_t Call(int index, std::span<const script::Variant> args, script::Variant& result) override;
  int32_t CallNumber(int index, double arg, double& result) override;

 private:
  double Record(int32_t number);
  int32_t ArcTerm(double v, double s, double& a);
  static int32_t LogOfRootSum(double v, double c, double& r);
  std::array<Member, 13> members_;
  int32_t* windowIerr_;
};

}  // namespace quorvant
