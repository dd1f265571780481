#include "base/TimeUtils.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace vela {

bool TimeUtils::sleepForMilliseconds(std::uint64_t milliseconds, const std::function<bool()>& isCancelled) {
  using Clock = std::chrono::steady_clock;
  if (milliseconds == 0)
    return true;
  // A deadline beyond the clock's range (some hundred years) is the end of the range: such a wait ends
  // only by cancellation.
  const Clock::time_point start = Clock::now();
  const auto room = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - start);
  const Clock::time_point deadline =
      milliseconds >= static_cast<std::uint64_t>(room.count())
          ? Clock::time_point::max()
          : start + std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(milliseconds));
  for (;;) {
    if (isCancelled && isCancelled())
      return false;
    const Clock::time_point now = Clock::now();
    if (now >= deadline)
      return true;
    const auto left = deadline - now;
    std::this_thread::sleep_for(
        std::min<Clock::duration>(left, std::chrono::milliseconds(kSliceMilliseconds)));
  }
}

} // namespace vela
