#pragma once
// Evaluation of a fuzzed program through both evaluators, for the targets whose reader is an op (the
// casts from text) or whose output is a program (the program text). Each evaluator runs with a private
// pool bound to the thread and capped, so that a program asking for gigabytes is refused by the pool
// instead of exhausting the fuzzer's memory.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/ParserUtils.h"

namespace quarry::fuzz {

/// Bytes a fuzzed program may hold in objects and scratch arrays at once.
inline constexpr std::size_t kEvalPoolLimit = std::size_t{64} << 20;

/// What one evaluator left in the caller's buffers, object results read out as text and freed.
struct EvalOutcome {
  bool faulted = false;   // a frame fault (VelaException) or a pool refusal ended the call
  std::string fault;      // its message
  unsigned char code = 0; // the returned code
  std::vector<unsigned char> values, nulls;
  std::vector<std::optional<std::string>> objects; // object results by row; empty for scalar results
};

/// Runs `program` over `rows` rows of `columns` with the column-batch and the row evaluator and checks
/// what must hold whatever the program: both fault or neither; when neither, equal codes, equal value
/// cells of present rows, equal null states (a failed row is its code in one and 1 in the other) and
/// equal object contents; after each call the pool holds exactly what the sizes report, and nothing
/// once the results are freed. Breaks are reported through fail() with `input`. Returns the column-batch
/// evaluator's outcome.
EvalOutcome evaluateBoth(const std::vector<vela::ParserUtils::TypedRpnElement>& program,
                         const std::vector<const unsigned char*>& columns, unsigned long rows,
                         std::string_view input);

} // namespace quarry::fuzz
