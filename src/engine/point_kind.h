// What the classification decides about a stationary point.
#pragma once

namespace quorvant {

enum class PointKind {
  Minimum,       // positive definite Hessian
  Maximum,       // negative definite
  Indefinite,    // a saddle
  Semidefinite,  // every leading minor 0, nothing more to tell
  PositiveSemidefinite,
  NegativeSemidefinite,
};

// "minimum", "maximum", "indefinite (saddle)", "semidefinite", ...: for tables and plots.
const char* ToString(PointKind kind);

}  // namespace quorvant
