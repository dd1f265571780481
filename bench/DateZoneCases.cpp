// Benchmark cases of time-zone conversion: CONVERT_TZ from UTC to America/New_York (a zone with
// daylight saving) over a stream of datetimes about half a minute apart (one year of events per million
// rows, crossing two transitions a year), the zone name a constant.
//
// Two cases run the same program over the same data and differ only in their reference loop:
//  - convert_tz_utc_to_ny: a hand-written loop with the zone located once and the date/tz intervals
//    cached as the op caches them (the practical limit);
//  - convert_tz_locate_per_row: a loop that locates the zone by name and converts without caches for
//    every row, as a naive implementation would. Its "batch / fused" ratio is the op's time over that
//    loop's: its inverse is the speed-up of resolving the name once per batch.

#include <cstring>
#include <memory>

#include "base/Calendar.h"
#include "base/ProgramBuilder.h"
#include "bench/BenchSupport.h"
#include "cuda/ManagedObjects.h"
#include "cuda/VectorEvalTypes.h"
#include "functions/datetime/TimezoneUtils.h"

namespace quarry::bench {

using vela::cuda::RPN_EVAL_OK;
using vela::cuda::TimezoneUtils;
using vela::cuda::ZoneIntervalCache;
using vela::ParserUtils::Program;

namespace {

constexpr int kLoadI64 = 153, kConstString = 62, kConvertTzFromUtc = 1433;
constexpr const char* kZone = "America/New_York";
// 2020-01-01 00:00:00 UTC.
constexpr long kStartMs = 1577836800000L;

// Row r: 31.5 s after row r - 1 on average (30 to 33 s apart), from 2020-01-01.
void genDateTimes(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  for (unsigned long r = b; r < e; ++r) {
    const long ms = kStartMs + static_cast<long>(r) * 31'500L + static_cast<long>(mix(c, r) % 3000) - 1500;
    put(column, r, vela::calendar::create_timestamp_from_ms2(ms, nullptr));
  }
}

// The zone name constant: one string for the process (programs borrow their constants).
const vela::cuda::InlineBuffer<char>* zoneName() {
  static const auto* const name = [] {
    auto* s = vela::cuda::InlineBuffer<char>::allocate(std::strlen(kZone));
    std::memcpy(s->data(), kZone, std::strlen(kZone));
    return s;
  }();
  return name;
}

template <bool kLocatePerRow>
rpn_eval_result_t fusedConvert(const Dataset& in, OutputBuffers& out, unsigned long begin,
                               unsigned long end) {
  const long* __restrict a = col<long>(in, 0);
  long* __restrict v = reinterpret_cast<long*>(out.values.data());
  unsigned char* __restrict states = out.nulls.data();
  const auto* utc = TimezoneUtils::utcZone();
  const auto* zone = TimezoneUtils::locateZone(kZone);
  ZoneIntervalCache utcCache, zoneCache;
  vela::cuda::CalendarDayCache days;
  rpn_eval_result_t worst = RPN_EVAL_OK;
  for (unsigned long i = begin; i < end; ++i) {
    long converted = 0;
    bool ok;
    if constexpr (kLocatePerRow)
      ok = TimezoneUtils::convertTimezone(utc, TimezoneUtils::locateZone(kZone), a[i], converted);
    else
      ok = TimezoneUtils::convertTimezone(utc, utcCache, zone, zoneCache, days, a[i], converted);
    v[i] = ok ? converted : 0;
    states[i] = ok ? 0 : 1;
    worst = ok ? worst : vela::cuda::RPN_EVAL_NULL;
  }
  return worst;
}

} // namespace

void appendDateZoneCases(std::vector<BenchCase>& cases) {
  for (const auto& [name, fused] : {std::pair{"convert_tz_utc_to_ny", &fusedConvert<false>},
                                    std::pair{"convert_tz_locate_per_row", &fusedConvert<true>}}) {
    cases.push_back({name, false, 8, {8}, genDateTimes, fused, std::make_shared<Program>()});
    cases.back().program->pointerConstant(kConstString, zoneName()).column(kLoadI64, 0).op(kConvertTzFromUtc);
  }
}

} // namespace quarry::bench
