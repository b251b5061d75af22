// Internal hooks of the number-text code, for its tests. Not part of the model API.
#pragma once

#include <cstdint>

namespace quorvant::numtext_detail {

// How many times Round15 has handed a value to the text round trip (Round15ByText)
// because the arithmetic path could not decide it: values outside [1e-32, 1e37),
// subnormals, and the astronomically rare exact products that lie too close to a
// rounding boundary. Counts across all threads since the program started.
std::uint64_t FallbackCount();

}  // namespace quorvant::numtext_detail
