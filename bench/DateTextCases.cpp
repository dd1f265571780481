// Benchmark cases of date/time text: TO_CHAR of datetimes with the constant format
// 'YYYY-MM-DD HH24:MI:SS' into char32 cells, and CAST_STRING_TO_DATETIME of heap strings in that form
// (one row in 64 names 30 February and is null). Each fused loop reads the packed fields and checks and
// converts the calendar fields with the same calendar routines as the ops.

#include <cstring>
#include <string>

#include "base/Calendar.h"
#include "base/ProgramBuilder.h"
#include "bench/BenchSupport.h"
#include "cuda/ManagedObjects.h"
#include "cuda/VectorEvalTypes.h"

namespace quarry::bench {

using vela::cuda::InlineBuffer;
using vela::cuda::RPN_EVAL_NULL;
using vela::cuda::RPN_EVAL_OK;
using vela::ParserUtils::Program;
namespace cal = vela::calendar;

namespace {

using StringCell = const InlineBuffer<char>*;

constexpr int kLoadI64 = 153, kLoadString = 233, kConstChar32 = 58;
constexpr int kToChar = 1487, kCastStringToDateTime = 1586;

// A timestamp uniform over the supported range.
long anyInstant(std::size_t c, unsigned long r) {
  return cal::kMinTimestamp + static_cast<long>(mix(c, r) % static_cast<std::uint64_t>(
                                                                cal::kMaxTimestamp - cal::kMinTimestamp + 1));
}
long anyDateTime(std::size_t c, unsigned long r) {
  return cal::create_timestamp_from_ms2(anyInstant(c, r), nullptr);
}
void genDateTimes(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  fill<long, anyDateTime>(c, column, b, e);
}

inline void digits(char* text, int at, int value, int count) {
  for (int k = count - 1; k >= 0; --k) {
    text[at + k] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

// 'YYYY-MM-DD HH:MM:SS' of a random instant; one row in 64 on 30 February instead.
void genDateTimeText(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  for (unsigned long r = b; r < e; ++r) {
    const long dt = anyDateTime(c, r);
    char text[19] = {'0', '0', '0', '0', '-', '0', '0', '-', '0', '0',
                     ' ', '0', '0', ':', '0', '0', ':', '0', '0'};
    const bool bad = mix(c + 1, r) % 64 == 0;
    digits(text, 0, cal::dtYear(dt), 4);
    digits(text, 5, bad ? 2 : cal::dtMonth(dt), 2);
    digits(text, 8, bad ? 30 : cal::dtDay(dt), 2);
    digits(text, 11, cal::dtHour(dt), 2);
    digits(text, 14, cal::dtMinute(dt), 2);
    digits(text, 17, cal::dtSecond(dt), 2);
    InlineBuffer<char>* s = InlineBuffer<char>::allocate(sizeof text);
    std::memcpy(s->data(), text, sizeof text);
    put<StringCell>(column, r, s);
  }
}

// Two digits below character `at` of a reversed 32-byte cell.
inline void cellDigits(unsigned char* cell, int at, unsigned value, int count) {
  for (int k = count - 1; k >= 0; --k) {
    cell[31 - at - k] = static_cast<unsigned char>('0' + value % 10);
    value /= 10;
  }
}

rpn_eval_result_t fusedToChar(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  const long* __restrict a = col<long>(in, 0);
  unsigned char* __restrict v = out.values.data();
  for (unsigned long i = begin; i < end; ++i) {
    const long dt = a[i];
    unsigned char* cell = v + i * 32;
    std::memset(cell, 0, 32);
    cellDigits(cell, 0, static_cast<unsigned>(cal::dtYear(dt)), 4);
    cell[31 - 4] = '-';
    cellDigits(cell, 5, static_cast<unsigned>(cal::dtMonth(dt)), 2);
    cell[31 - 7] = '-';
    cellDigits(cell, 8, static_cast<unsigned>(cal::dtDay(dt)), 2);
    cell[31 - 10] = ' ';
    cellDigits(cell, 11, static_cast<unsigned>(cal::dtHour(dt)), 2);
    cell[31 - 13] = ':';
    cellDigits(cell, 14, static_cast<unsigned>(cal::dtMinute(dt)), 2);
    cell[31 - 16] = ':';
    cellDigits(cell, 17, static_cast<unsigned>(cal::dtSecond(dt)), 2);
  }
  std::memset(out.nulls.data() + begin, 0, end - begin);
  return RPN_EVAL_OK;
}

inline int textDigits(const char* t, int at, int count) {
  int v = 0;
  for (int k = 0; k < count; ++k)
    v = v * 10 + (t[at + k] - '0');
  return v;
}

rpn_eval_result_t fusedStringToDateTime(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                        unsigned long end) {
  const StringCell* __restrict a = col<StringCell>(in, 0);
  long* __restrict v = reinterpret_cast<long*>(out.values.data());
  unsigned char* __restrict s = out.nulls.data();
  unsigned char worst = 0;
  for (unsigned long i = begin; i < end; ++i) {
    const char* t = a[i]->data();
    const int year = textDigits(t, 0, 4);
    bool invalid = false;
    const long ms =
        cal::date_to_epoch_msecs(year, textDigits(t, 5, 2), textDigits(t, 8, 2), textDigits(t, 11, 2),
                                 textDigits(t, 14, 2), textDigits(t, 17, 2), 0, invalid);
    invalid = invalid || year < 1000 || year > 2900;
    const unsigned char state = invalid ? RPN_EVAL_NULL : RPN_EVAL_OK;
    v[i] = invalid ? 0 : cal::create_timestamp_from_ms2(ms, nullptr);
    s[i] = state;
    worst = state > worst ? state : worst;
  }
  return static_cast<rpn_eval_result_t>(worst);
}

} // namespace

void appendDateTextCases(std::vector<BenchCase>& cases) {
  {
    BenchCase c{"datetime_to_char", false, 32, {8}, genDateTimes, fusedToChar, std::make_shared<Program>()};
    const std::string format = {4, '-', 11, '-', 15, ' ', 18, ':', 21, ':', 22};
    c.program->column(kLoadI64, 0).charConstant(kConstChar32, format).op(kToChar);
    cases.push_back(std::move(c));
  }
  {
    BenchCase c{"string_to_datetime",       false,           8,
                {sizeof(StringCell)},       genDateTimeText, fusedStringToDateTime,
                std::make_shared<Program>()};
    c.stringInputs = true;
    c.program->column(kLoadString, 0).op(kCastStringToDateTime);
    cases.push_back(std::move(c));
  }
}

} // namespace quarry::bench
