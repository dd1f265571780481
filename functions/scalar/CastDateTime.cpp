// Value family: casts between the calendar kinds (date, time, datetime, timestamp) and between them and
// numbers.
//
//  - date, datetime, timestamp among themselves (433-438, 1420, 1421): through the calendar routines;
//    a date becomes its midnight; a timestamp outside the supported range has no date or datetime
//    (state 6); a timestamp's time of day is taken modulo one day for any value.
//  - numbers and timestamps (439-456): the timestamp is its epoch milliseconds, converted exactly as a
//    cast from or to i64 (integers keep the low bits; decimals divide or multiply by 10^scale, halves
//    away from zero; floats round half away from zero, NaN and magnitudes of 2^63 or more giving the
//    i64 minimum). No range check: a number is a timestamp whatever its value.
//  - numbers and times (457-474): the time is its milliseconds since midnight. A number is first
//    rounded to whole milliseconds as the i64 cast does (u64 and dec128 sources keep their whole value),
//    then taken modulo one day into 0 .. 86399999 (negative values count back from midnight: -1 is
//    23:59:59.999). A time becomes a number as the i64 cast of its millisecond count.
//  - dates and yyyymmdd integers (475, 476): year * 10000 + month * 100 + day; the integer form of a
//    date must name a valid day of a year from 1000 to 2900 or 9999, else state 15.
// Packed operands may hold any bits: the field readers mask every field, so a date or time with
// impossible fields gives the number those fields spell (a time whose fields are all ones, 63:63:63.1023, is
// 230,644,023 ms), never undefined behaviour.

#include "base/Calendar.h"
#include "functions/scalar/CastRegistration.h"

namespace vela::cuda {

namespace {

using namespace cast_registration;
namespace cal = vela::calendar;

// --- among the calendar kinds -------------------------------------------------------------------

struct DateToDateTimeFunc {
  long operator()(int d) const { return cal::dateToDateTime(d); }
};
struct DateToTimestampFunc {
  long operator()(int d) const { return cal::epochDaysOfDate(d) * cal::kMsPerDay; }
};
struct DateTimeToDateFunc {
  int operator()(long dt) const { return cal::dateTimeToDate(dt); }
};
struct DateTimeToTimeFunc {
  int operator()(long dt) const {
    return cal::packTime(cal::dtHour(dt), cal::dtMinute(dt), cal::dtSecond(dt), cal::dtMsec(dt));
  }
};
struct DateTimeToTimestampFunc {
  long operator()(long dt) const { return cal::msecs_since_epoch(dt); }
};

/// ms mod one day in 0 .. 86399999 for any 64-bit value.
inline long msOfDay(long ms) {
  const long r = ms % cal::kMsPerDay;
  return r < 0 ? r + cal::kMsPerDay : r;
}

struct TimestampToTimeFunc {
  int operator()(long ts) const { return cal::timeFromMs(msOfDay(ts)); }
};
struct TimestampToDateFunc {
  int operator()(long ts, rpn_eval_result_t& code) const {
    bool outOfRange = false;
    const long dt = cal::create_timestamp_from_ms2(ts, &outOfRange);
    if (outOfRange) {
      code = RPN_EVAL_TIMESTAMP_RANGE;
      return 0;
    }
    return cal::dateTimeToDate(dt);
  }
};
struct TimestampToDateTimeFunc {
  long operator()(long ts, rpn_eval_result_t& code) const {
    bool outOfRange = false;
    const long dt = cal::create_timestamp_from_ms2(ts, &outOfRange);
    if (outOfRange) {
      code = RPN_EVAL_TIMESTAMP_RANGE;
      return 0;
    }
    return dt;
  }
};

// --- numbers to time -----------------------------------------------------------------------------

/// A number's whole milliseconds taken modulo one day, packed as a time. The i64 cast's functor rounds
/// floats and decimals; u64 and dec128 values are reduced from their whole value.
template <class In>
struct NumberToTimeFunc {
  std::int64_t factor = 1; // 10^scale of a decimal source

  NumberToTimeFunc() = default;
  explicit NumberToTimeFunc(const ParserUtils::EvalInfo& info) : factor(factorForScale(info.argScale(0))) {}

  int operator()(In x) const {
    if constexpr (std::is_same_v<In, U64>) {
      return cal::timeFromMs(static_cast<long>(x % static_cast<U64>(cal::kMsPerDay)));
    } else if constexpr (cast_detail::isDecimal<In>) {
      const int128_t whole = cast_detail::divideHalfAway(x.toInt128(), factor);
      int128_t r = whole % cal::kMsPerDay;
      if (r < 0)
        r += cal::kMsPerDay;
      return cal::timeFromMs(static_cast<long>(r));
    } else if constexpr (std::is_floating_point_v<In>) {
      return cal::timeFromMs(msOfDay(cast_detail::floatToInteger<long>(static_cast<double>(x))));
    } else {
      return cal::timeFromMs(msOfDay(static_cast<long>(x)));
    }
  }
};

/// A time's milliseconds since midnight, then the i64 cast's functor to Out.
template <class Out>
struct TimeToNumberFunc {
  using Inner = typename CastOf<Out, I64>::Func;
  Inner inner;

  TimeToNumberFunc() : inner(CastOf<Out, I64>::pick()) {}
  explicit TimeToNumberFunc(const ParserUtils::EvalInfo& info) : inner(makeInner(info)) {}

  Out operator()(int t) const { return inner(cal::timeToMs(t)); }

private:
  static Inner makeInner(const ParserUtils::EvalInfo& info) {
    if constexpr (std::is_constructible_v<Inner, const ParserUtils::EvalInfo&>)
      return Inner(info);
    else
      return CastOf<Out, I64>::pick();
  }
};

// --- dates and yyyymmdd --------------------------------------------------------------------------

struct DateToYmdFunc {
  int operator()(int d) const { return cal::dYear(d) * 10000 + cal::dMonth(d) * 100 + cal::dDay(d); }
};
struct YmdToDateFunc {
  int operator()(int v, rpn_eval_result_t& code) const {
    const int year = v / 10000, month = v / 100 % 100, day = v % 100;
    const bool yearOk = (year >= 1000 && year <= 2900) || year == 9999;
    if (v < 0 || !yearOk ||
        static_cast<unsigned>(day - 1) >= static_cast<unsigned>(cal::days_in_month(year, month))) {
      code = RPN_EVAL_BAD_CAST;
      return 0;
    }
    return cal::create_gdate(year, month, day);
  }
};

/// Timestamp (i64 storage) to a decimal: the i64 cast without its (always zero) row state.
template <class Out>
using TimestampToDecimal = ElementwiseOp<CastNumToDecimalFunc<Out>, Out, I64>;

const OpRegistration kOps[] = {
    opEntry<ElementwiseOp<DateToDateTimeFunc, I64, I32>>(433),
    opEntry<ElementwiseOp<DateToTimestampFunc, I64, I32>>(434),
    opEntry<ElementwiseOp<DateTimeToDateFunc, I32, I64>>(435),
    opEntry<ElementwiseOpWithState<TimestampToDateFunc, I32, I64>>(436),
    opEntry<ElementwiseOp<DateTimeToTimeFunc, I32, I64>>(437),
    opEntry<ElementwiseOp<TimestampToTimeFunc, I32, I64>>(438),
    opEntry<ElementwiseOpWithState<TimestampToDateTimeFunc, I64, I64>>(1420),
    opEntry<ElementwiseOp<DateTimeToTimestampFunc, I64, I64>>(1421),
    // numbers to timestamp: the i64 casts
    stackCast<I64, I8>(439),
    stackCast<I64, I16>(440),
    stackCast<I64, I32>(441),
    stackCast<I64, I64>(442),
    stackCast<I64, U64>(443),
    stackCast<I64, D64>(444),
    stackCast<I64, D128>(445),
    stackCast<I64, F32>(446),
    stackCast<I64, F64>(447),
    // timestamp to numbers: the casts from i64
    stackCast<I8, I64>(448),
    stackCast<I16, I64>(449),
    stackCast<I32, I64>(450),
    stackCast<I64, I64>(451),
    stackCast<U64, I64>(452),
    opEntry<TimestampToDecimal<D64>>(453),
    opEntry<TimestampToDecimal<D128>>(454),
    stackCast<F32, I64>(455),
    stackCast<F64, I64>(456),
    // numbers to time
    opEntry<ElementwiseOp<NumberToTimeFunc<I8>, I32, I8>>(457),
    opEntry<ElementwiseOp<NumberToTimeFunc<I16>, I32, I16>>(458),
    opEntry<ElementwiseOp<NumberToTimeFunc<I32>, I32, I32>>(459),
    opEntry<ElementwiseOp<NumberToTimeFunc<I64>, I32, I64>>(460),
    opEntry<ElementwiseOp<NumberToTimeFunc<U64>, I32, U64>>(461),
    opEntry<ElementwiseOp<NumberToTimeFunc<D64>, I32, D64>>(462),
    opEntry<ElementwiseOp<NumberToTimeFunc<D128>, I32, D128>>(463),
    opEntry<ElementwiseOp<NumberToTimeFunc<F32>, I32, F32>>(464),
    opEntry<ElementwiseOp<NumberToTimeFunc<F64>, I32, F64>>(465),
    // time to numbers
    opEntry<ElementwiseOp<TimeToNumberFunc<I8>, I8, I32>>(466),
    opEntry<ElementwiseOp<TimeToNumberFunc<I16>, I16, I32>>(467),
    opEntry<ElementwiseOp<TimeToNumberFunc<I32>, I32, I32>>(468),
    opEntry<ElementwiseOp<TimeToNumberFunc<I64>, I64, I32>>(469),
    opEntry<ElementwiseOp<TimeToNumberFunc<U64>, U64, I32>>(470),
    opEntry<ElementwiseOp<TimeToNumberFunc<D64>, D64, I32>>(471),
    opEntry<ElementwiseOp<TimeToNumberFunc<D128>, D128, I32>>(472),
    opEntry<ElementwiseOp<TimeToNumberFunc<F32>, F32, I32>>(473),
    opEntry<ElementwiseOp<TimeToNumberFunc<F64>, F64, I32>>(474),
    // yyyymmdd
    opEntry<ElementwiseOp<DateToYmdFunc, I32, I32>>(475),
    opEntry<ElementwiseOpWithState<YmdToDateFunc, I32, I32>>(476),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Value, kOps);

} // namespace

} // namespace vela::cuda
