// Date/time formatting and parsing against compiled formats: TO_CHAR of a datetime, a timestamp, a date
// and a time (codes 1487-1490), TO_DATE, TO_TIMESTAMP and TO_TIME on char64 text (1491, 1493/1497,
// 1495) and on heap strings (1492, 1494/1498, 1496).
//
// TO_CHAR formats the datetime of its operand: a timestamp converted with create_timestamp_from_ms2, a
// date at midnight, a time with every date field 0 (the year field 0 reads as 1900). A constant format
// is resolved once per batch in the column-batch evaluator (fixed output positions where the format
// allows); the text is the same as the row-at-a-time writer's.
//
// The parsers read the text against the format (see base/DateTimeFormat.h for the rules); a text that
// does not parse, or gives a value outside the result's range, gives 0 with the row state 1 (null).
// An absent heap string is the empty text.

#include <cstdint>

#include "base/DateTimeFormat.h"
#include "cuda/EvalElementHandler.h"
#include "cuda/ManagedObjects.h"
#include "functions/text/CharN.h"

namespace vela::cuda {

namespace {

using namespace vela::calendar;
using Cell32 = charn::Cell<32>;
using Cell64 = charn::Cell<64>;
using StringCell = const InlineBuffer<char>*;

inline const char* bytesOf(const Cell32& c) {
  return reinterpret_cast<const char*>(c.bytes);
}

// The datetime each TO_CHAR row formats.
struct FromDateTime {
  using In = long;
  static long datetime(long v) { return v; }
};
struct FromTimestamp {
  using In = long;
  static long datetime(long ms) { return create_timestamp_from_ms2(ms, nullptr); }
};
struct FromDate {
  using In = std::int32_t;
  static long datetime(std::int32_t d) { return dateToDateTime(d); }
};
struct FromTime {
  using In = std::int32_t;
  static long datetime(std::int32_t t) { return timeAsDateTime(t); }
};

template <class From>
struct ToCharFunc {
  Cell32 operator()(typename From::In v, const Cell32& format) const {
    Cell32 out;
    timestamp_to_char(From::datetime(v), bytesOf(format), reinterpret_cast<char*>(out.bytes));
    return out;
  }
};

template <class From>
struct ToCharPlanFunc {
  const DateTimeFormatPlan* plan;
  Cell32 operator()(typename From::In v) const {
    Cell32 out;
    applyDateTimeFormatPlan(*plan, From::datetime(v), reinterpret_cast<char*>(out.bytes));
    return out;
  }
};

template <class From>
struct ToCharOp {
  template <class E>
  static void eval(E& e) {
    auto format = e.template popInput<Cell32>();
    auto value = e.template popInput<typename From::In>();
    auto out = e.template prepareOutput<Cell32>();
    bool done = false;
    if constexpr (requires { format.constInput(); }) {
      if (format.isConstant()) {
        DateTimeFormatPlan plan;
        buildDateTimeFormatPlan(bytesOf(format.constInput().value), plan);
        e.runKernel(ToCharPlanFunc<From>{&plan}, out, value);
        done = true;
      }
    }
    if (!done)
      e.runKernel(ToCharFunc<From>{}, out, value, format);
    e.push(std::move(out));
  }
};

// The text operand: a char64 cell (read from its highest byte, ending at a NUL) or a heap string.
struct CellText {
  const char* first;
  unsigned long width;
  int direction;
};
inline CellText textOf(const Cell64& c) {
  return {reinterpret_cast<const char*>(c.bytes), 64, -1};
}
inline CellText textOf(StringCell s) {
  return s == nullptr ? CellText{"", 0, 1} : CellText{s->data(), static_cast<unsigned long>(s->size()), 1};
}

/// TO_DATE / TO_TIMESTAMP / TO_TIME: the text read by the format with one of the parsers
/// `bool Parse(format32, text, width, direction, Out& value)`; text the format does not match is a
/// null row.
template <class Out, auto Parse, class Text>
struct ParseWithFormatFunc {
  Out operator()(const Cell32& format, const Text& text, rpn_eval_result_t& code) const {
    const CellText t = textOf(text);
    Out value = 0;
    if (!Parse(bytesOf(format), t.first, t.width, t.direction, value)) {
      code = RPN_EVAL_NULL;
      return 0;
    }
    return value;
  }
};

template <class Out, auto Parse, class Text>
constexpr OpRegistration parseEntry(TypedRpnOp code) {
  return opEntry<ElementwiseOpWithState<ParseWithFormatFunc<Out, Parse, Text>, Out, Cell32, Text>>(code);
}

const OpRegistration kDateTimeOps[] = {
    opEntry<ToCharOp<FromDateTime>>(1487),
    opEntry<ToCharOp<FromTimestamp>>(1488),
    opEntry<ToCharOp<FromDate>>(1489),
    opEntry<ToCharOp<FromTime>>(1490),
    parseEntry<int, parseDateWithFormat, Cell64>(1491),
    parseEntry<long, parseTimestampWithFormat, Cell64>(1493),
    parseEntry<int, parseTimeWithFormat, Cell64>(1495),
    parseEntry<long, parseTimestampWithFormat, Cell64>(1497),
};

const OpRegistration kStringOps[] = {
    parseEntry<int, parseDateWithFormat, StringCell>(1492),
    parseEntry<long, parseTimestampWithFormat, StringCell>(1494),
    parseEntry<int, parseTimeWithFormat, StringCell>(1496),
    parseEntry<long, parseTimestampWithFormat, StringCell>(1498),
};

[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::DateTime, kDateTimeOps);
[[maybe_unused]] const bool kStringRegistered = registerOps(OpFamily::String, kStringOps);

} // namespace

} // namespace vela::cuda
