// String family: CONVERT_TZ, a wall-clock datetime converted between a named zone and UTC.
//   1433, 1434: from UTC to the named zone; 1435, 1436: from the named zone to UTC.
// Operands: the zone name (heap string), the datetime. A null name, a name the zone database rejects,
// a missing UTC zone or a conversion whose result leaves the supported range make the row NULL (state
// 1, value 0); nothing fails the call.
//
// Per batch, the functor keeps the zones it has resolved (a constant name resolves once; a column of
// names mostly hits the cache) and, per zone, the last transition interval, so that rows whose instants
// stay within one interval convert without asking the zone database.

#include <cstdint>
#include <cstring>
#include <string_view>

#include "cuda/EvalElementHandler.h"
#include "cuda/VectorEvalObjects.h"
#include "functions/datetime/TimezoneUtils.h"

namespace vela::cuda {

namespace {

using StringCell = const InlineBuffer<char>*;

/// Zones resolved on this thread, by name: the zone database is asked once per thread and name (zones
/// live as long as the process, so the pointers stay valid), so that a new batch, or the row evaluator,
/// which builds its functor for every row, skips the database's lookup for names seen before. Fixed
/// slots, replaced in turn; nothing is allocated.
const date::time_zone* resolveZone(std::string_view name) {
  constexpr std::size_t kSlots = 32, kMaxName = 62;
  struct Slot {
    const date::time_zone* zone;
    std::uint8_t length;
    char name[kMaxName];
  };
  thread_local Slot slots[kSlots];
  thread_local std::size_t used = 0, next = 0;
  if (name.size() > kMaxName)
    return TimezoneUtils::locateZone(name);
  for (std::size_t k = 0; k < used; ++k)
    if (slots[k].length == name.size() && std::memcmp(slots[k].name, name.data(), name.size()) == 0)
      return slots[k].zone;
  const date::time_zone* zone = TimezoneUtils::locateZone(name);
  Slot& slot = slots[used < kSlots ? used++ : next++ % kSlots];
  slot.zone = zone;
  slot.length = static_cast<std::uint8_t>(name.size());
  if (!name.empty())
    std::memcpy(slot.name, name.data(), name.size());
  return zone;
}

/// The zones of one batch's names: a few entries replaced in turn; names longer than an entry holds are
/// resolved per row (no valid zone name comes near that length).
class ZoneNameCache {
public:
  static constexpr std::size_t kEntries = 8;
  static constexpr std::size_t kMaxName = 62;

  struct Entry {
    const date::time_zone* zone = nullptr; // nullptr: a name the database rejected
    ZoneIntervalCache intervals;
    std::uint8_t length = 0;
    char name[kMaxName];
  };

  /// The entry of the name in `cell` (resolved now when not held). An over-long name is resolved into a
  /// spare entry that only this row uses.
  Entry& find(StringCell cell) {
    if (cell == m_lastCell)
      return m_entries[m_last];
    const std::string_view name = cell->view();
    if (name.size() > kMaxName) {
      m_spill = Entry{};
      m_spill.zone = TimezoneUtils::locateZone(name);
      m_lastCell = nullptr;
      return m_spill;
    }
    for (std::size_t k = 0; k < m_used; ++k) {
      Entry& e = m_entries[k];
      if (e.length == name.size() && std::memcmp(e.name, name.data(), name.size()) == 0)
        return remember(cell, k);
    }
    const std::size_t k = m_used < kEntries ? m_used++ : (m_next++ % kEntries);
    Entry& e = m_entries[k];
    e = Entry{};
    e.zone = resolveZone(name);
    e.length = static_cast<std::uint8_t>(name.size());
    if (!name.empty())
      std::memcpy(e.name, name.data(), name.size());
    return remember(cell, k);
  }

private:
  Entry& remember(StringCell cell, std::size_t k) {
    m_lastCell = cell;
    m_last = k;
    return m_entries[k];
  }

  Entry m_entries[kEntries];
  Entry m_spill;
  std::size_t m_used = 0, m_next = 0, m_last = 0;
  StringCell m_lastCell = nullptr;
};

/// CONVERT_TZ of one direction. The caches are mutable state of one batch's functor (each evaluator
/// builds its own functor per element and batch, so no two threads share one).
template <bool kToUtc>
struct ConvertTzFunc {
  const date::time_zone* utc = TimezoneUtils::utcZone();
  mutable ZoneIntervalCache utcIntervals;
  mutable CalendarDayCache days;
  mutable ZoneNameCache zones;

  long operator()(StringCell name, long dt, rpn_eval_result_t& code) const {
    if (name == nullptr || utc == nullptr) {
      code = RPN_EVAL_NULL;
      return 0;
    }
    ZoneNameCache::Entry& zone = zones.find(name);
    long out = 0;
    const bool ok =
        zone.zone != nullptr &&
        (kToUtc
             ? TimezoneUtils::convertTimezone(zone.zone, zone.intervals, utc, utcIntervals, days, dt, out)
             : TimezoneUtils::convertTimezone(utc, utcIntervals, zone.zone, zone.intervals, days, dt, out));
    if (!ok) {
      code = RPN_EVAL_NULL;
      return 0;
    }
    return out;
  }
};

const OpRegistration kOps[] = {
    opEntry<ElementwiseOpWithState<ConvertTzFunc<false>, long, StringCell, long>>(1433),
    opEntry<ElementwiseOpWithState<ConvertTzFunc<false>, long, StringCell, long>>(1434),
    opEntry<ElementwiseOpWithState<ConvertTzFunc<true>, long, StringCell, long>>(1435),
    opEntry<ElementwiseOpWithState<ConvertTzFunc<true>, long, StringCell, long>>(1436),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::String, kOps);

} // namespace

} // namespace vela::cuda
