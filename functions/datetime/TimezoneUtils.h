#pragma once
// Time-zone conversion of packed datetimes on the date/tz library's zone database (the system's
// /usr/share/zoneinfo; nothing is downloaded).
//
// A datetime carries no zone: convertTimezone reads it as a wall-clock time in one zone and returns the
// wall-clock time of the same instant in another. Local times that a zone skips or repeats are resolved
// by one rule, the offset in force before the transition:
//  - overlap (clocks set back, the local time occurs twice): the earlier instant, i.e. the first
//    occurrence, read with the offset in force before the transition;
//  - gap (clocks set forward, the local time does not exist): the offset in force before the gap, so
//    the wall time moves forward by the gap's length (02:30 in a one-hour spring-forward gap is the
//    instant that reads 03:30 after the transition).
// A unique local time uses the offset of its own interval.
//
// Years after 2037: the system's zone files list transitions up to 2037 only and the zone library does
// not extend them by the zone's yearly rule. For a zone that still changes its clocks in 2037, a value
// of a later year is read as the same moment of the latest year up to 2037 with the same calendar (leap
// or not, same weekday on 1 January), where a yearly rule puts its transitions on the same dates. A
// zone whose rule changes after that year is followed only as far as its file lists.
//
// The zone database is consulted through date::time_zone::get_info, a binary search over the zone's
// transitions. ZoneIntervalCache remembers the interval found for the last value of one zone, so that a
// batch of nearby values converts with plain arithmetic until a value leaves the interval.
//
// This header names the date/tz types only by declaration, so that its users need neither the library's
// headers nor its build definitions. Nothing here throws: every exception of the library is caught and
// reported as a failure.

#include <cstdint>
#include <string_view>

namespace date {
class time_zone;
}

namespace vela::cuda {

/// The last intervals one zone resolved, in milliseconds. An empty range ([1, 0)) holds nothing.
struct ZoneIntervalCache {
  /// Local wall-clock milliseconds [localBegin, localEnd) in which every local time is unique and has
  /// the offset localOffset (milliseconds east of UTC).
  long localBegin = 1, localEnd = 0, localOffset = 0;
  /// UTC milliseconds [sysBegin, sysEnd) that have the offset sysOffset.
  long sysBegin = 1, sysEnd = 0, sysOffset = 0;
};

/// The last calendar day seen on each side of a conversion, so that values of one day skip the calendar
/// arithmetic: the epoch milliseconds of the input's day (keyed by its year and day-of-year fields, the
/// only date fields read) and the packed date fields of the output's day.
struct CalendarDayCache {
  /// Input key: the datetime's year and day-of-year bits (bit 0 set: nothing held, no key has it).
  long inputKey = 1, inputDayMs = 0;
  /// Output day: UTC-free wall-clock milliseconds [outputDayBegin, outputDayEnd) and the packed date
  /// fields (year, month, day, day of year, day of week) of that day.
  long outputDayBegin = 1, outputDayEnd = 0, outputDateBits = 0;

  /// The bits of a datetime that its day is computed from.
  static constexpr long kDateKeyMask = static_cast<long>(0x7FFUL << 53 | 0x1FFUL << 8);
  /// Milliseconds since midnight of a datetime's time fields (31:63:63.1023 at most).
  static constexpr long timeOfDayMs(long dt) {
    const auto u = static_cast<unsigned long>(dt);
    return ((static_cast<long>((u >> 39) & 31) * 60 + static_cast<long>((u >> 33) & 63)) * 60 +
            static_cast<long>((u >> 27) & 63)) *
               1000 +
           static_cast<long>((u >> 17) & 1023);
  }
  /// The time fields of a datetime for `ms` in 0 .. 86399999.
  static constexpr long timeBits(long ms) {
    const auto m = static_cast<std::uint32_t>(ms);
    return static_cast<long>(
        static_cast<unsigned long>(m / 3600000u) << 39 | static_cast<unsigned long>(m / 60000u % 60u) << 33 |
        static_cast<unsigned long>(m / 1000u % 60u) << 27 | static_cast<unsigned long>(m % 1000u) << 17);
  }
};

struct TimezoneUtils {
  /// The zone of an IANA name ("Europe/Berlin", "UTC"), or nullptr when the database does not know it
  /// or cannot be read. Calls date::locate_zone each time: callers resolve a name once and keep the
  /// pointer (zones live until the process ends).
  static const date::time_zone* locateZone(std::string_view name) noexcept;

  /// The UTC zone, located once per process (thread-safe static initialisation); nullptr when the
  /// zone database lacks it.
  static const date::time_zone* utcZone() noexcept;

  /// Converts the packed datetime `dt`, read as a wall-clock time in `from`, into the wall-clock
  /// datetime of the same instant in `to` (see the header comment for skipped and repeated local
  /// times). Returns false, leaving `out` unchanged, when a zone is null, the zone database fails, or
  /// the result lies outside the supported timestamp range. Only the year, day-of-year and time fields
  /// of dt are read (a datetime with impossible fields is taken at the day and time those fields
  /// count to); the result is a complete, valid packed datetime.
  static bool convertTimezone(const date::time_zone* from, const date::time_zone* to, long dt, long& out);

  /// As convertTimezone, reusing and updating the last intervals of each zone and the last days
  /// converted. Two caches for the same zone may be one object. A value whose days and instants all lie
  /// in what the caches hold converts inline, without a call; any other goes through
  /// convertTimezoneFilling, which consults the calendar and the zone database and refills the caches.
  static bool convertTimezone(const date::time_zone* from, ZoneIntervalCache& fromCache,
                              const date::time_zone* to, ZoneIntervalCache& toCache, CalendarDayCache& days,
                              long dt, long& out) {
    if ((dt & CalendarDayCache::kDateKeyMask) == days.inputKey && from != nullptr && to != nullptr) {
      const long localMs = days.inputDayMs + CalendarDayCache::timeOfDayMs(dt);
      if (localMs >= fromCache.localBegin && localMs < fromCache.localEnd) {
        const long utcMs = localMs - fromCache.localOffset;
        if (utcMs >= toCache.sysBegin && utcMs < toCache.sysEnd) {
          // A result within the held output day is inside the supported range (only such days are held).
          const long result = utcMs + toCache.sysOffset;
          if (result >= days.outputDayBegin && result < days.outputDayEnd) {
            out = days.outputDateBits | CalendarDayCache::timeBits(result - days.outputDayBegin);
            return true;
          }
        }
      }
    }
    return convertTimezoneFilling(from, fromCache, to, toCache, days, dt, out);
  }
  /// The full conversion behind convertTimezone, filling the caches.
  static bool convertTimezoneFilling(const date::time_zone* from, ZoneIntervalCache& fromCache,
                                     const date::time_zone* to, ZoneIntervalCache& toCache,
                                     CalendarDayCache& days, long dt, long& out);

  /// The UTC offset, in milliseconds, that a local wall-clock time of `zone` is read with (the rule of
  /// the header comment); false when the zone database fails.
  static bool localOffset(const date::time_zone* zone, ZoneIntervalCache& cache, long localMs,
                          long& offsetMs);
  /// The UTC offset, in milliseconds, of `zone` at a UTC instant; false when the zone database fails.
  static bool utcOffset(const date::time_zone* zone, ZoneIntervalCache& cache, long utcMs, long& offsetMs);
};

} // namespace vela::cuda
