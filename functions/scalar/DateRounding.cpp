// Math family: packed date and datetime operations: the difference of two dates in days, and datetimes
// rounded to whole seconds (floor, ceiling, half up).

#include "base/Calendar.h"
#include "cuda/EvalElementHandler.h"

namespace vela::cuda {

namespace {

using namespace vela::calendar;

/// a - b in days, each date read by its year and day-of-year fields. Both day counts lie within a few
/// million days of the epoch for any bits, so the difference fits an int.
struct DiffDaysDateFunc {
  int operator()(int a, int b) const { return static_cast<int>(epochDaysOfDate(a) - epochDaysOfDate(b)); }
};

/// The millisecond field (bits 17-26) cleared; every other bit as it was.
struct FloorSecondsFunc {
  long operator()(long dt) const { return dt & ~(1023L << 17); }
};

/// A datetime with a non-zero millisecond field moved up to the next whole second, the fields repacked
/// from the instant so that the carry reaches minutes, hours, days, months and years; a value already on
/// a whole second is returned as it is.
struct CeilSecondsFunc {
  long operator()(long dt) const {
    const int msec = dtMsec(dt);
    if (msec == 0)
      return dt;
    return create_timestamp_from_ms2(msecs_since_epoch(dt) - msec + 1000, nullptr);
  }
};

/// A datetime rounded to the nearest whole second, half a second up (towards the later second): the
/// instant in milliseconds rounded and repacked, so every field is recomputed.
struct RoundSecondsFunc {
  long operator()(long dt) const {
    const long ms = msecs_since_epoch(dt) + 500;
    const long rem = ms % 1000;
    return create_timestamp_from_ms2(ms - (rem < 0 ? rem + 1000 : rem), nullptr);
  }
};

const OpRegistration kOps[] = {
    opEntry<ElementwiseOp<DiffDaysDateFunc, int, int, int>>(1051),
    opEntry<ElementwiseOp<CeilSecondsFunc, long, long>>(1348),
    opEntry<ElementwiseOp<CeilSecondsFunc, long, long>>(1349),
    opEntry<ElementwiseOp<FloorSecondsFunc, long, long>>(1357),
    opEntry<ElementwiseOp<FloorSecondsFunc, long, long>>(1358),
    opEntry<ElementwiseOp<RoundSecondsFunc, long, long>>(1366),
    opEntry<ElementwiseOp<RoundSecondsFunc, long, long>>(1367),
};

[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Math, kOps);

} // namespace

} // namespace vela::cuda
