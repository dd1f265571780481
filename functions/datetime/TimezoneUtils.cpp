#include "functions/datetime/TimezoneUtils.h"

#include <algorithm>
#include <chrono>

#include <date/tz.h>

#include "base/Calendar.h"

namespace vela::cuda {

namespace {

using std::chrono::seconds;
namespace cal = vela::calendar;

// Interval bounds are kept in milliseconds; the database's first and last intervals reach to the ends
// of its time type, which are clamped to about +-300,000 years (far beyond any value converted here).
constexpr long kBoundSeconds = 10'000'000'000'000L;

long boundMs(seconds s) {
  const long v = std::clamp<long>(s.count(), -kBoundSeconds, kBoundSeconds);
  return v * 1000;
}

long floorDiv1000(long ms) {
  return ms >= 0 ? ms / 1000 : -((-(ms + 1)) / 1000) - 1;
}

// Local milliseconds of the values a conversion accepts: the supported timestamp range widened by two
// days on each side, which holds every zone offset. Anything outside cannot convert into the range.
constexpr long kLocalMin = cal::kMinTimestamp - 2 * cal::kMsPerDay;
constexpr long kLocalMax = cal::kMaxTimestamp + 2 * cal::kMsPerDay;

// Years from 2038 on. The system's zone files list each zone's transitions up to 2037 and leave later
// years to a yearly rule that the zone library does not apply (it would keep the last listed offset
// for ever, standard time in most zones). For a zone that still changes its clocks in 2037, a value
// of a later year is therefore read as the same moment of the latest year up to 2037 that has the same
// calendar (leap or not, and the same weekday on 1 January): a yearly rule ("second Sunday of March at
// 02:00") puts its transitions on the same dates and times in both.
constexpr long kRuleYearsFromMs = 2145916800000L; // 2038-01-01 00:00:00

struct YearMapping {
  long deltaMs = 0;                // added to a value of the year to reach the equivalent year
  long yearBegin = 0, yearEnd = 0; // the value's year, in the same time scale as the value
};

bool changesClocksIn2037(const date::time_zone* zone) {
  using date::sys_days;
  const auto winter = zone->get_info(sys_days(date::year(2037) / 1 / 15)).offset;
  const auto summer = zone->get_info(sys_days(date::year(2037) / 7 / 15)).offset;
  return winter != summer;
}

YearMapping equivalentYear(long ms) {
  int year, month, day, doy;
  cal::ymd_from_ms(ms, year, month, day, doy, nullptr);
  const bool leap = cal::isLeapYear(year);
  const int weekday = cal::mod7(cal::daysBeforeYear(year));
  int target = 2037;
  while (target > 2010 &&
         !(cal::isLeapYear(target) == leap && cal::mod7(cal::daysBeforeYear(target)) == weekday))
    --target;
  YearMapping m;
  m.yearBegin = (cal::daysBeforeYear(year) - (cal::kEpochOrdinal - 1)) * cal::kMsPerDay;
  m.yearEnd = (cal::daysBeforeYear(year + 1) - (cal::kEpochOrdinal - 1)) * cal::kMsPerDay;
  m.deltaMs = (cal::daysBeforeYear(target) - cal::daysBeforeYear(year)) * cal::kMsPerDay;
  return m;
}

} // namespace

const date::time_zone* TimezoneUtils::locateZone(std::string_view name) noexcept {
  try {
    return date::locate_zone(name);
  } catch (...) {
    return nullptr;
  }
}

const date::time_zone* TimezoneUtils::utcZone() noexcept {
  static const date::time_zone* const utc = locateZone("UTC");
  return utc;
}

bool TimezoneUtils::localOffset(const date::time_zone* zone, ZoneIntervalCache& cache, long localMs,
                                long& offsetMs) {
  if (localMs >= cache.localBegin && localMs < cache.localEnd) {
    offsetMs = cache.localOffset;
    return true;
  }
  try {
    YearMapping map;
    if (localMs >= kRuleYearsFromMs && changesClocksIn2037(zone))
      map = equivalentYear(localMs);
    const long mappedMs = localMs + map.deltaMs;
    const date::local_seconds local{seconds(floorDiv1000(mappedMs))};
    const date::local_info info = zone->get_info(local);
    // Unique, gap and overlap alike take the interval in force before the local time's transition:
    // for a unique time that is its own interval; for a gap the interval before it (the wall time moves
    // forward by the gap); for an overlap the earlier of the two instants.
    const date::sys_info& first = info.first;
    offsetMs = boundMs(first.offset);
    if (info.result != date::local_info::unique)
      return true; // not cached: such times are rare, and the range around them is not uniform
    // The local times of this interval that no neighbour also claims: a neighbour with a larger offset
    // overlaps its start or end, one with a smaller offset leaves a gap there.
    long lo = boundMs(first.begin.time_since_epoch()) + offsetMs;
    long hi = boundMs(first.end.time_since_epoch()) + offsetMs;
    if (first.begin.time_since_epoch().count() > -kBoundSeconds) {
      const date::sys_info prev = zone->get_info(first.begin - seconds(1));
      lo = std::max(lo, boundMs(first.begin.time_since_epoch()) + boundMs(prev.offset));
    }
    if (first.end.time_since_epoch().count() < kBoundSeconds) {
      const date::sys_info next = zone->get_info(first.end);
      hi = std::min(hi, boundMs(first.end.time_since_epoch()) + boundMs(next.offset));
    }
    if (map.deltaMs != 0) { // back to the value's own year, and no further
      lo = std::max(lo - map.deltaMs, map.yearBegin);
      hi = std::min(hi - map.deltaMs, map.yearEnd);
    } else if (localMs < kRuleYearsFromMs) { // later years may be read through another year
      hi = std::min(hi, kRuleYearsFromMs);
    }
    cache.localBegin = lo;
    cache.localEnd = hi;
    cache.localOffset = offsetMs;
    return true;
  } catch (...) {
    return false;
  }
}

bool TimezoneUtils::utcOffset(const date::time_zone* zone, ZoneIntervalCache& cache, long utcMs,
                              long& offsetMs) {
  if (utcMs >= cache.sysBegin && utcMs < cache.sysEnd) {
    offsetMs = cache.sysOffset;
    return true;
  }
  try {
    YearMapping map;
    if (utcMs >= kRuleYearsFromMs && changesClocksIn2037(zone))
      map = equivalentYear(utcMs);
    const date::sys_info info = zone->get_info(date::sys_seconds{seconds(floorDiv1000(utcMs + map.deltaMs))});
    offsetMs = boundMs(info.offset);
    cache.sysBegin = boundMs(info.begin.time_since_epoch());
    cache.sysEnd = boundMs(info.end.time_since_epoch());
    if (map.deltaMs != 0) {
      cache.sysBegin = std::max(cache.sysBegin - map.deltaMs, map.yearBegin);
      cache.sysEnd = std::min(cache.sysEnd - map.deltaMs, map.yearEnd);
    } else if (utcMs < kRuleYearsFromMs) {
      cache.sysEnd = std::min(cache.sysEnd, kRuleYearsFromMs);
    }
    cache.sysOffset = offsetMs;
    return true;
  } catch (...) {
    return false;
  }
}

bool TimezoneUtils::convertTimezoneFilling(const date::time_zone* from, ZoneIntervalCache& fromCache,
                                           const date::time_zone* to, ZoneIntervalCache& toCache,
                                           CalendarDayCache& days, long dt, long& out) {
  if (from == nullptr || to == nullptr)
    return false;
  // Local milliseconds as msecs_since_epoch counts them: the day from the year and day-of-year fields,
  // plus the time fields. Bounded for every bit pattern (the year field spans 876..2923 or 9999, the
  // other fields are masked), so nothing here overflows.
  const long key = dt & CalendarDayCache::kDateKeyMask;
  if (key != days.inputKey) {
    days.inputKey = key;
    days.inputDayMs = cal::epochDaysOfDateTime(dt) * cal::kMsPerDay;
  }
  const long localMs = days.inputDayMs + CalendarDayCache::timeOfDayMs(dt);
  if (localMs < kLocalMin || localMs > kLocalMax)
    return false;
  long fromOffset = 0, toOffset = 0;
  if (!localOffset(from, fromCache, localMs, fromOffset))
    return false;
  const long utcMs = localMs - fromOffset;
  if (!utcOffset(to, toCache, utcMs, toOffset))
    return false;
  const long result = utcMs + toOffset;
  if (result < cal::kMinTimestamp || result > cal::kMaxTimestamp)
    return false;
  // The date fields depend on the day alone: a result in the last day seen takes that day's fields and
  // only packs its time of day.
  if (result < days.outputDayBegin || result >= days.outputDayEnd) {
    const long packed = cal::create_timestamp_from_ms2(result, nullptr);
    constexpr long kTimeMask = static_cast<long>(((1UL << 27) - 1) << 17); // hour .. millisecond
    const long ofDay = (result % cal::kMsPerDay + cal::kMsPerDay) % cal::kMsPerDay;
    days.outputDayBegin = result - ofDay;
    days.outputDayEnd = days.outputDayBegin + cal::kMsPerDay;
    days.outputDateBits = packed & ~kTimeMask;
  }
  out = days.outputDateBits | CalendarDayCache::timeBits(result - days.outputDayBegin);
  return true;
}

bool TimezoneUtils::convertTimezone(const date::time_zone* from, const date::time_zone* to, long dt,
                                    long& out) {
  ZoneIntervalCache fromCache, toCache;
  CalendarDayCache days;
  return convertTimezone(from, fromCache, to, toCache, days, dt, out);
}

} // namespace vela::cuda
