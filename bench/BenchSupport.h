#pragma once
// Generators and column access shared by the benchmark cases (internal to bench/). Every input value is
// a pure function of (seed, column, row).

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/BenchCases.h"

namespace quarry::bench {

// The suite's fixed seed; column c of every case draws from stream (kSeed, c).
constexpr std::uint64_t kSeed = 0x5eed2024u;

inline std::uint64_t mix(std::uint64_t column, std::uint64_t row) {
  std::uint64_t z = kSeed + column * 0x9E3779B97F4A7C15ull + row * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

template <class T>
inline void put(InputColumn& c, unsigned long row, T v) {
  std::memcpy(c.bytes.data() + row * sizeof(T), &v, sizeof(T));
}
template <class T>
inline const T* col(const Dataset& in, std::size_t c) {
  return reinterpret_cast<const T*>(in.pointers[c]);
}

// Value generators (all rows of one column use one of them).
inline long anyI64(std::size_t c, unsigned long r) {
  return static_cast<long>(mix(c, r));
}
inline int anyI32(std::size_t c, unsigned long r) {
  return static_cast<int>(static_cast<std::uint32_t>(mix(c, r)));
}
// A divisor in [-1000, 1000] without 0.
inline int nonZeroI32(std::size_t c, unsigned long r) {
  const int v = static_cast<int>(mix(c, r) % 2000) - 1000;
  return v >= 0 ? v + 1 : v;
}
// Uniform in [-1000, 1000).
inline double smallF64(std::size_t c, unsigned long r) {
  return static_cast<double>(mix(c, r) >> 11) * 0x1.0p-53 * 2000.0 - 1000.0;
}
// An unscaled decimal of at most 9 digits either side of zero.
inline long decimalUnscaled(std::size_t c, unsigned long r) {
  return static_cast<long>(mix(c, r) % 1999999999ull) - 999999999l;
}
// A null flag, set in 10% of the rows.
inline unsigned char nullFlag(std::size_t c, unsigned long r) {
  return mix(c, r) % 10 == 0 ? 1 : 0;
}

template <class T, T (*G)(std::size_t, unsigned long)>
inline void fill(std::size_t c, InputColumn& column, unsigned long begin, unsigned long end) {
  for (unsigned long r = begin; r < end; ++r)
    put<T>(column, r, G(c, r));
}

/// Appends a case over fixed-width columns of the given widths; returns its program, to be filled.
inline std::shared_ptr<vela::ParserUtils::Program>
addCase(std::vector<BenchCase>& cases, const char* name, std::size_t width, std::vector<std::size_t> columns,
        void (*gen)(std::size_t, InputColumn&, unsigned long, unsigned long), FusedRange fused) {
  cases.push_back(
      {name, false, width, std::move(columns), gen, fused, std::make_shared<vela::ParserUtils::Program>()});
  return cases.back().program;
}

/// Marks rows [begin, end) of a result present.
inline void clearStates(OutputBuffers& out, unsigned long begin, unsigned long end) {
  std::memset(out.nulls.data() + begin, 0, end - begin);
}

// Text generators: row r of column c as text in reading order, written to `text`; return the length.
// The charN and the heap-string cases store the same texts, each in its own layout.

/// Mixed-case words with digits and spaces, minLen..maxLen characters.
inline std::size_t wordsText(std::size_t c, unsigned long r, std::size_t minLen, std::size_t maxLen,
                             char* text) {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789  ";
  std::uint64_t h = mix(c, r);
  const std::size_t len = minLen + h % (maxLen - minLen + 1);
  for (std::size_t i = 0; i < len; ++i) {
    h = mix(h, i);
    text[i] = kAlphabet[h % (sizeof(kAlphabet) - 1)];
  }
  return len;
}
/// Text over {a, b, c, d}, minLen..maxLen characters: 'abc' starts one row in 64.
inline std::size_t abcdText(std::size_t c, unsigned long r, std::size_t minLen, std::size_t maxLen,
                            char* text) {
  std::uint64_t h = mix(c, r);
  const std::size_t len = minLen + h % (maxLen - minLen + 1);
  for (std::size_t i = 0; i < len; ++i) {
    if (i % 32 == 0)
      h = mix(h, i + 1);
    text[i] = static_cast<char>('a' + (h & 3));
    h >>= 2;
  }
  return len;
}
/// Decimal text of a random 64-bit integer (1 to 20 characters; `text` holds 24).
inline std::size_t integerText(std::size_t c, unsigned long r, char* text) {
  return static_cast<std::size_t>(std::to_chars(text, text + 24, anyI64(c, r)).ptr - text);
}

/// Adds the fixed-width text and cast expressions to the suite.
void appendTextCases(std::vector<BenchCase>& cases);
/// Adds the heap-string expressions to the suite.
void appendStringCases(std::vector<BenchCase>& cases);
/// Adds the date/time function expressions to the suite.
void appendDateCases(std::vector<BenchCase>& cases);
/// Adds the time-zone expressions to the suite.
void appendDateZoneCases(std::vector<BenchCase>& cases);
/// Adds the date/time text expressions to the suite.
void appendDateTextCases(std::vector<BenchCase>& cases);
/// Adds the geometry expressions to the suite.
void appendGeoCases(std::vector<BenchCase>& cases);
/// Adds the H3 cell function expressions to the suite.
void appendH3Cases(std::vector<BenchCase>& cases);

} // namespace quarry::bench
