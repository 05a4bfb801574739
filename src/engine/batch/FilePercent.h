// The percentage of the current file that the worker publishes, from its output clocks.
#pragma once

#include <cstdint>

namespace quarnix {

// The larger clock (audio when equal) times 100 over the span, truncated toward zero, within 0..100. A
// quotient that is not finite (no listed duration) gives 0. Stream copy and re-encode publish this one
// rule.
std::int32_t ComputeFilePercent(double audioClock, double videoClock, double span);

} // namespace quarnix
