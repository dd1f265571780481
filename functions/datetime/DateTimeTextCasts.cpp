// Casts between dates, times, datetimes and timestamps and their canonical text, in charN cells (codes
// 715-735 and 1561-1588, family Value) and heap strings (720, 726, 731, 736, 1580, 1583, 1586/1589,
// family String).
//
// To text: a date as 'YYYY-MM-DD' (convert_date_to_charN), a time as 'HH:MM:SS.mmm'
// (convert_time_to_charN), a datetime as 'YYYY-MM-DD HH:MM:SS.mmm' and a timestamp as the text of its
// datetime (create_timestamp_from_ms2). A cell wider than the text is zero below it; the string casts
// give the same text as a string. A hostile packed value writes its fields as they are (month 13, hour
// 31); a millisecond field of 1000..1023 writes four digits in the datetime text and its last three in
// the time text. A timestamp outside the supported range writes the fields of its wrapped datetime.
//
// From text: the readers of base/DateTimeText.h, the same for a cell and a string; text that does not
// read gives 0 with the row state 1 (null). An absent string is the empty text (null as well).

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/DateTimeFormat.h"
#include "base/DateTimeText.h"
#include "cuda/EvalElementHandler.h"
#include "cuda/ManagedObjects.h"
#include "functions/text/CharCastRegistration.h"
#include "functions/text/CharN.h"

namespace vela::cuda {

namespace {

using namespace vela::calendar;
using StringCell = const InlineBuffer<char>*;

template <class C>
inline char* rawOf(C& cell) {
  return reinterpret_cast<char*>(charn::bytesOf(cell));
}
template <class C>
inline const char* rawOf(const C& cell) {
  return reinterpret_cast<const char*>(charn::bytesOf(cell));
}

inline std::string_view viewOf(StringCell s) {
  return s == nullptr ? std::string_view() : s->view();
}

template <class C>
struct DateToCharNFunc {
  C operator()(std::int32_t date) const {
    C out;
    convert_date_to_charN(date, rawOf(out), sizeof(C));
    return out;
  }
};

template <class C>
struct TimeToCharNFunc {
  C operator()(std::int32_t time) const {
    C out;
    convert_time_to_charN(time, rawOf(out), sizeof(C));
    return out;
  }
};

// The datetime text in the top 32 bytes of the cell, zero below.
template <class C, bool FromTimestamp>
struct DateTimeToCharNFunc {
  const DateTimeFormatPlan* plan = &canonicalDateTimePlan();
  C operator()(long v) const {
    C out = charn::empty<C>();
    const long dt = FromTimestamp ? create_timestamp_from_ms2(v, nullptr) : v;
    applyDateTimeFormatPlan(*plan, dt, rawOf(out) + (sizeof(C) - kFormatWidth));
    return out;
  }
};

struct DateToStringFunc {
  void operator()(EvalOutputString out, std::int32_t date) const {
    char text[kDateTimeTextMax];
    out.write(text, static_cast<std::uint64_t>(convert_gdate_to_string(date, text)));
  }
};
struct TimeToStringFunc {
  void operator()(EvalOutputString out, std::int32_t time) const {
    char text[kDateTimeTextMax];
    out.write(text, static_cast<std::uint64_t>(convert_gtime_to_string(time, text)));
  }
};
template <bool FromTimestamp>
struct DateTimeToStringFunc {
  void operator()(EvalOutputString out, long v) const {
    char text[kDateTimeTextMax];
    const long dt = FromTimestamp ? create_timestamp_from_ms2(v, nullptr) : v;
    out.write(text, static_cast<std::uint64_t>(convert_gdatetime_to_string(dt, text)));
  }
};

// Text readers: a cell or a string through the same parser, 0 and state 1 when the text does not read.
template <class T>
inline T readOrNull(bool ok, T value, rpn_eval_result_t& code) {
  if (ok)
    return value;
  code = RPN_EVAL_NULL;
  return T(0);
}

template <class C>
struct CharNToDateFunc {
  std::int32_t operator()(const C& cell, rpn_eval_result_t& code) const {
    int v = 0;
    const bool ok = gdate_from_charN(rawOf(cell), sizeof(C), v);
    return readOrNull(ok, v, code);
  }
};
template <class C>
struct CharNToTimeFunc {
  std::int32_t operator()(const C& cell, rpn_eval_result_t& code) const {
    int v = 0;
    const bool ok = gtime_from_charN(rawOf(cell), sizeof(C), v);
    return readOrNull(ok, v, code);
  }
};
template <class C>
struct CharNToTimestampFunc {
  long operator()(const C& cell, rpn_eval_result_t& code) const {
    long v = 0;
    const bool ok = gtimestamp_from_charN(rawOf(cell), sizeof(C), v);
    return readOrNull(ok, v, code);
  }
};
template <class C>
struct CharNToDateTimeFunc {
  long operator()(const C& cell, rpn_eval_result_t& code) const {
    long v = 0;
    const bool ok = gdatetime_from_charN(rawOf(cell), sizeof(C), v);
    return readOrNull(ok, v, code);
  }
};

struct StringToDateFunc {
  std::int32_t operator()(StringCell s, rpn_eval_result_t& code) const {
    int v = 0;
    const bool ok = gdate_from_string(viewOf(s), v);
    return readOrNull(ok, v, code);
  }
};
struct StringToTimeFunc {
  std::int32_t operator()(StringCell s, rpn_eval_result_t& code) const {
    int v = 0;
    const bool ok = gtime_from_string(viewOf(s), v);
    return readOrNull(ok, v, code);
  }
};
struct StringToDateTimeFunc {
  long operator()(StringCell s, rpn_eval_result_t& code) const {
    long v = 0;
    const bool ok = gdatetime_from_string(viewOf(s), v);
    return readOrNull(ok, v, code);
  }
};

using Widths32Up = charcast::Widths<32, 64, 128, 256>;

bool registerValueCasts() {
  std::vector<OpRegistration> ops;
  charcast::forWidths(charcast::Widths16Up{}, 715, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<DateToCharNFunc<C>, C, std::int32_t>>(code));
  });
  charcast::forWidths(charcast::Widths16Up{}, 721, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<TimeToCharNFunc<C>, C, std::int32_t>>(code));
  });
  charcast::forWidths(Widths32Up{}, 727, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<DateTimeToCharNFunc<C, true>, C, long>>(code));
  });
  charcast::forWidths(Widths32Up{}, 732, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<DateTimeToCharNFunc<C, false>, C, long>>(code));
  });
  charcast::forWidths(Widths32Up{}, 1561, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOpWithState<CharNToTimestampFunc<C>, long, C>>(code));
  });
  charcast::forWidths(charcast::Widths16Up{}, 1575, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOpWithState<CharNToDateFunc<C>, std::int32_t, C>>(code));
  });
  charcast::forWidths(charcast::Widths<16, 32>{}, 1581, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOpWithState<CharNToTimeFunc<C>, std::int32_t, C>>(code));
  });
  using C32 = charn::Cell<32>;
  using C64 = charn::Cell<64>;
  for (TypedRpnOp code : {1584, 1587})
    ops.push_back(opEntry<ElementwiseOpWithState<CharNToDateTimeFunc<C32>, long, C32>>(code));
  for (TypedRpnOp code : {1585, 1588})
    ops.push_back(opEntry<ElementwiseOpWithState<CharNToDateTimeFunc<C64>, long, C64>>(code));
  return registerOps(OpFamily::Value, ops);
}

const OpRegistration kStringCasts[] = {
    opEntry<ElementwiseOp<DateToStringFunc, EvalOutputString, std::int32_t>>(720),
    opEntry<ElementwiseOp<TimeToStringFunc, EvalOutputString, std::int32_t>>(726),
    opEntry<ElementwiseOp<DateTimeToStringFunc<true>, EvalOutputString, long>>(731),
    opEntry<ElementwiseOp<DateTimeToStringFunc<false>, EvalOutputString, long>>(736),
    opEntry<ElementwiseOpWithState<StringToDateFunc, std::int32_t, StringCell>>(1580),
    opEntry<ElementwiseOpWithState<StringToTimeFunc, std::int32_t, StringCell>>(1583),
    opEntry<ElementwiseOpWithState<StringToDateTimeFunc, long, StringCell>>(1586),
    opEntry<ElementwiseOpWithState<StringToDateTimeFunc, long, StringCell>>(1589),
};

[[maybe_unused]] const bool kValueRegistered = registerValueCasts();
[[maybe_unused]] const bool kStringRegistered = registerOps(OpFamily::String, kStringCasts);

} // namespace

} // namespace vela::cuda
