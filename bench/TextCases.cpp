// Benchmark cases of fixed-width text and casts. The text columns hold charN cells (character 0 at the
// highest byte, zero tail); each fused loop is what a programmer would write for the one expression over
// that layout, and computes exactly the rows the evaluator must produce.

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "base/ProgramBuilder.h"
#include "bench/BenchSupport.h"
#include "cuda/VectorEvalTypes.h"

namespace quarry::bench {

using vela::cuda::RPN_EVAL_OK;
using vela::ParserUtils::EvalInfo;
using vela::ParserUtils::Program;

namespace {

// Op and load codes used below.
constexpr int kLoadI64 = 153, kLoadDec64 = 175, kLoadF64 = 208, kLoadChar16 = 222, kLoadChar32 = 223;
constexpr int kConstI8 = 35, kConstChar1 = 53, kConstChar256 = 61;
constexpr int kCharUpper16 = 1633, kCharLength32 = 1613, kCharLike32 = 2027;
constexpr int kCastI64ToChar32 = 680, kCastChar32ToI64 = 544, kCastDec64ToChar32 = 711, kCastF64ToI32 = 347;
constexpr int kDecScale = 2;

// A cell of `width` bytes holding `len` characters of text in the reversed layout.
void putText(InputColumn& column, unsigned long row, const char* text, std::size_t len) {
  unsigned char* cell = column.bytes.data() + row * column.width;
  std::memset(cell, 0, column.width);
  for (std::size_t i = 0; i < len && i < column.width; ++i)
    cell[column.width - 1 - i] = static_cast<unsigned char>(text[i]);
}

// Words of 4..width characters; {a, b, c, d} text of 4..32 characters ('abc' occurs in about a third);
// integer text.
void genWords(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  char text[256];
  for (unsigned long r = b; r < e; ++r)
    putText(column, r, text, wordsText(c, r, 4, column.width, text));
}
void genAbcd(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  char text[32];
  for (unsigned long r = b; r < e; ++r)
    putText(column, r, text, abcdText(c, r, 4, 32, text));
}
void genIntegerText(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  char text[24];
  for (unsigned long r = b; r < e; ++r)
    putText(column, r, text, integerText(c, r, text));
}

void genI64(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  fill<long, anyI64>(c, column, b, e);
}
void genDecimal(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  fill<long, decimalUnscaled>(c, column, b, e);
}
// Uniform in [-1e10, 1e10): about half the rows lie outside the i32 range and keep their low 32 bits.
double wideF64(std::size_t c, unsigned long r) {
  return smallF64(c, r) * 1e7;
}
void genWideF64(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  fill<double, wideF64>(c, column, b, e);
}

template <std::size_t N>
using Cell = vela::cuda::fixed_array_t<N>;

// Writes text (reading order) reversed into a 32-byte cell, zero tail.
inline void storeText32(unsigned char* cell, const char* text, std::size_t len) {
  std::memset(cell, 0, 32);
  for (std::size_t i = 0; i < len; ++i)
    cell[31 - i] = static_cast<unsigned char>(text[i]);
}

rpn_eval_result_t fusedUpper16(const Dataset& in, OutputBuffers& out, unsigned long begin,
                               unsigned long end) {
  const unsigned char* __restrict a = in.pointers[0];
  unsigned char* __restrict v = out.values.data();
  for (unsigned long i = begin * 16; i < end * 16; ++i) {
    const unsigned char x = a[i];
    v[i] = static_cast<unsigned char>(static_cast<unsigned>(x - 'a') < 26u ? x - 32 : x);
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedLength32(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                unsigned long end) {
  const auto* __restrict a = col<Cell<32>>(in, 0);
  int* __restrict v = reinterpret_cast<int*>(out.values.data());
  for (unsigned long i = begin; i < end; ++i) {
    int n = 0;
    for (int k = 0; k < 32; ++k)
      n += a[i].bytes[k] != 0;
    v[i] = n;
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedLikePrefix(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                  unsigned long end) {
  const auto* __restrict a = col<Cell<32>>(in, 0);
  unsigned char* __restrict v = out.values.data();
  for (unsigned long i = begin; i < end; ++i)
    v[i] = std::memcmp(a[i].bytes + 29, "cba", 3) == 0; // 'abc' reversed in the top three bytes
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedLikeContains(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                    unsigned long end) {
  const auto* __restrict a = col<Cell<32>>(in, 0);
  unsigned char* __restrict v = out.values.data();
  for (unsigned long i = begin; i < end; ++i) // the zero tail never matches a letter
    v[i] = memmem(a[i].bytes, 32, "cba", 3) != nullptr;
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedI64ToText(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                 unsigned long end) {
  const long* __restrict a = col<long>(in, 0);
  unsigned char* __restrict v = out.values.data();
  char text[24];
  for (unsigned long i = begin; i < end; ++i) {
    const auto r = std::to_chars(text, text + sizeof(text), a[i]);
    storeText32(v + i * 32, text, static_cast<std::size_t>(r.ptr - text));
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedTextToI64(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                 unsigned long end) {
  const auto* __restrict a = col<Cell<32>>(in, 0);
  long* __restrict v = reinterpret_cast<long*>(out.values.data());
  for (unsigned long i = begin; i < end; ++i) {
    const unsigned char* top = a[i].bytes + 31;
    int k = 0;
    const bool negative = top[0] == '-';
    k += negative;
    std::uint64_t x = 0;
    for (; k < 32 && static_cast<unsigned>(top[-k] - '0') < 10u; ++k)
      x = x * 10 + (top[-k] - '0');
    v[i] = static_cast<long>(negative ? 0 - x : x);
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedDecToText(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                 unsigned long end) {
  const long* __restrict a = col<long>(in, 0);
  unsigned char* __restrict v = out.values.data();
  char text[32];
  for (unsigned long i = begin; i < end; ++i) {
    const long x = a[i];
    const std::uint64_t m = x < 0 ? 0 - static_cast<std::uint64_t>(x) : static_cast<std::uint64_t>(x);
    std::size_t n = 0;
    if (x < 0)
      text[n++] = '-';
    const auto r = std::to_chars(text + n, text + sizeof(text), m / 100);
    n = static_cast<std::size_t>(r.ptr - text);
    text[n++] = '.';
    text[n++] = static_cast<char>('0' + m % 100 / 10);
    text[n++] = static_cast<char>('0' + m % 10);
    storeText32(v + i * 32, text, n);
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedF64ToI32(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                unsigned long end) {
  const double* __restrict a = col<double>(in, 0);
  int* __restrict v = reinterpret_cast<int*>(out.values.data());
  for (unsigned long i = begin; i < end; ++i) {
    const double r = std::round(a[i]);
    const long w = r >= -0x1p63 && r < 0x1p63 ? static_cast<long>(r) : std::numeric_limits<long>::min();
    v[i] = static_cast<int>(static_cast<std::uint32_t>(w));
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

// CHAR_LIKE on char32 with a constant pattern, no escape, no flags.
void likeProgram(Program& p, std::string_view pattern) {
  p.column(kLoadChar32, 0).charConstant(kConstChar256, pattern).charConstant(kConstChar1, "");
  p.constant(kConstI8, static_cast<signed char>(0)).op(kCharLike32);
}

} // namespace

void appendTextCases(std::vector<BenchCase>& cases) {
  addCase(cases, "char16_upper", 16, {16}, genWords, fusedUpper16)->column(kLoadChar16, 0).op(kCharUpper16);
  addCase(cases, "char32_length", 4, {32}, genWords, fusedLength32)->column(kLoadChar32, 0).op(kCharLength32);
  likeProgram(*addCase(cases, "char32_like_prefix", 1, {32}, genAbcd, fusedLikePrefix), "abc%");
  likeProgram(*addCase(cases, "char32_like_contains", 1, {32}, genAbcd, fusedLikeContains), "%abc%");
  addCase(cases, "i64_to_char32", 32, {8}, genI64, fusedI64ToText)->column(kLoadI64, 0).op(kCastI64ToChar32);
  addCase(cases, "char32_to_i64", 8, {32}, genIntegerText, fusedTextToI64)
      ->column(kLoadChar32, 0)
      .op(kCastChar32ToI64);
  EvalInfo decimal;
  decimal.setArg(0, 18, kDecScale);
  addCase(cases, "dec64_to_char32", 32, {8}, genDecimal, fusedDecToText)
      ->column(kLoadDec64, 0)
      .op(kCastDec64ToChar32, decimal);
  addCase(cases, "f64_to_i32", 4, {8}, genWideF64, fusedF64ToI32)->column(kLoadF64, 0).op(kCastF64ToI32);
}

} // namespace quarry::bench
