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

  /// As convertTimezone, reusing and updating the last intervals of each zone. Two caches for the same
  /// zone may be one object.
  static bool convertTimezone(const date::time_zone* from, ZoneIntervalCache& fromCache,
                              const date::time_zone* to, ZoneIntervalCache& toCache, long dt, long& out);

  /// The UTC offset, in milliseconds, that a local wall-clock time of `zone` is read with (the rule of
  /// the header comment); false when the zone database fails.
  static bool localOffset(const date::time_zone* zone, ZoneIntervalCache& cache, long localMs,
                          long& offsetMs);
  /// The UTC offset, in milliseconds, of `zone` at a UTC instant; false when the zone database fails.
  static bool utcOffset(const date::time_zone* zone, ZoneIntervalCache& cache, long utcMs, long& offsetMs);
};

} // namespace vela::cuda
