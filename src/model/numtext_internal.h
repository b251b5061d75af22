// Internal hooks of the number-text code, for its tests. Not part of the model API.
#pragma once

namespace quorvant::numtext_detail {

// Round15 without its text round trip: true when the arithmetic path decides `value`
// (then `rounded` is Round15's result), false when Round15 hands it to Round15ByText:
// values outside [1e-32, 1e37) other than zero and non-finite ones, subnormals, and the
// astronomically rare exact products that lie too close to a rounding boundary.
bool Round15Arithmetic(double value, double& rounded);

}  // namespace quorvant::numtext_detail
