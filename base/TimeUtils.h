#pragma once
// Waiting that a job can interrupt.

#include <cstdint>
#include <functional>

namespace vela {

struct TimeUtils {
  /// The longest slice of one wait: cancellation is noticed within about this time.
  static constexpr std::uint64_t kSliceMilliseconds = 10;

  /// Waits `milliseconds` in slices of at most kSliceMilliseconds, asking `isCancelled` before every
  /// slice and returning at once when it answers true. The slices run against one deadline, so an
  /// oversleeping slice does not lengthen the wait. An empty `isCancelled` is never cancelled.
  /// Returns true when the whole wait passed, false when it was cancelled (a wait of 0 returns true
  /// without asking).
  static bool sleepForMilliseconds(std::uint64_t milliseconds, const std::function<bool()>& isCancelled);
};

} // namespace vela
