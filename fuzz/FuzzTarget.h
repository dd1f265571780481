#pragma once
// Fuzz targets of the text readers. Each target is a function with the shape of a libFuzzer entry
// point: it takes any bytes, feeds them to one reader, and checks that the reader either accepts them
// or refuses them with its documented error, that nothing else escapes, and, where a parse succeeds
// and it is cheap, that the value survives a round trip through its written form. A broken property
// ends the process through fail(), which a fuzzer reports as a crash with the input that caused it.
//
// The targets are linked into one library: each libFuzzer binary picks its target by name, and the
// replay test of the normal build runs every target over its seed corpus and fixed-seed mutations.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarry::fuzz {

using TargetFunction = int (*)(const std::uint8_t* data, std::size_t size);

struct Target {
  const char* name; // also the corpus folder fuzz/corpus/<name>
  TargetFunction run;
  /// Bytes the mutators favour for this reader (a dictionary of single characters and short tokens).
  std::span<const std::string_view> tokens;
};

/// Every target, in a fixed order.
std::span<const Target> targets();
/// The target called `name`, or nullptr.
const Target* findTarget(std::string_view name);

/// Prints what broke and the input (hex), then aborts: the fuzzer keeps the input as a crash.
[[noreturn]] void fail(std::string_view what, std::string_view input);

/// Silences the libraries' loggers (refusals are logged at ERROR); called once per process.
void quietLogging();

/// The input as text.
inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

/// Splits a multi-field input at the unit separator (byte 31) into at most `count` fields; the last
/// field takes the rest, separators included. Missing fields are empty.
std::vector<std::string_view> splitFields(std::string_view input, std::size_t count);
inline constexpr char kFieldSeparator = '\x1f';

/// Writes text into a fixed-width cell the way charN cells hold it: character 0 at the highest byte,
/// the following ones downwards, the unused low bytes zero. Text longer than the cell is cut.
void packCell(std::string_view text, unsigned char* cell, std::size_t width);

// The targets.
int programText(const std::uint8_t* data, std::size_t size);
int csvData(const std::uint8_t* data, std::size_t size);
int decimalText(const std::uint8_t* data, std::size_t size);
int stringCast(const std::uint8_t* data, std::size_t size);
int wkt(const std::uint8_t* data, std::size_t size);
int wkb(const std::uint8_t* data, std::size_t size);
int jsonText(const std::uint8_t* data, std::size_t size);
int jsonPath(const std::uint8_t* data, std::size_t size);
int vectorText(const std::uint8_t* data, std::size_t size);
int dateTimeText(const std::uint8_t* data, std::size_t size);
int dateTimeFormat(const std::uint8_t* data, std::size_t size);
int regexp(const std::uint8_t* data, std::size_t size);
int likePattern(const std::uint8_t* data, std::size_t size);

} // namespace quarry::fuzz
