// The percentage of the current file that the worker publishes, from its output clocks.
#pragma once

#include <cstdint>

namespace quarnix {

// Value published when there is nothing sensible to show (zero duration, a quotient out of range).
inline constexpr std::int32_t kNoPercent = INT32_MIN;

// The larger clock (audio when equal) times 100 over the span, truncated toward zero and capped at 100.
// There is no lower bound; a quotient that is not finite or does not fit 32 bits gives kNoPercent.
std::int32_t ComputeFilePercent(double audioClock, double videoClock, double span);

} // namespace quarnix
