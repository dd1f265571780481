#pragma once
// Runs generated cases (tests/support/ProgramGen.h) through the evaluators and judges them.
//
// A case is assembled by the command-line tool's readers (program text, CSV), run on a private pool
// with the evaluator, thread count, pool limit and job asked for, and everything the call left in the
// caller's buffers is read out and freed, so that the pool must end at zero. Runs compare bit for bit
// (values, null bytes, sizes, object contents, returned code, the exception's message). A failing case
// shrinks to a small one, printed as program text and CSV that quarry-eval reads.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/RamPool.h"
#include "tests/support/ProgramGen.h"

namespace vela {
class job_info;
}

namespace quarry::test {

/// A case assembled into a program and columns. Owns the program's constants and the input objects.
class AssembledCase {
public:
  /// Assembles `c`; nullptr with `why` set when the tool's readers refuse the text or the CSV.
  static std::unique_ptr<AssembledCase> assemble(const GenCase& c, std::string* why = nullptr);
  ~AssembledCase();

  const std::vector<vela::ParserUtils::TypedRpnElement>& elements() const;
  vela::ParserUtils::RpnDataType resultType() const;
  /// Whether the program's analysis says it reports row errors in its code.
  bool reportsErrors() const;
  /// The column-pointer array for `rows` rows (values, then null flags), built on first use.
  const std::vector<const unsigned char*>& columns(unsigned long rows);

private:
  AssembledCase();
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

enum class Evaluator { Vector, Row, EntryPoint };
const char* evaluatorName(Evaluator e);

/// One call.
struct RunSpec {
  Evaluator evaluator = Evaluator::Vector;
  int threads = 1;
  unsigned long rows = 1;
  bool withNulls = true;
  /// The pool's byte limit. Unlimited calls still get a generous cap, so that a runaway op fails with
  /// the pool's exception rather than exhausting the machine.
  std::size_t limit = kSafetyLimit;
  const vela::job_info* job = nullptr;
  /// Called on the calling thread just before the evaluator starts (cancellation tests start their
  /// timer thread here).
  std::function<void()> onStart;
  /// What every null byte holds before the call, so that rows no task wrote can be told apart.
  unsigned char sentinel = 0xA5;
  /// When not 0, the pool fails this reservation of the call (1: the first) as if out of memory.
  std::uint64_t failReservation = 0;

  static constexpr std::size_t kSafetyLimit = std::size_t(3) << 30;
};

/// What one call left. Rows whose null byte still holds the sentinel were not written (a cancelled
/// task's rows); their value cells and sizes must still be zero. Any byte can be a row's state (an op
/// turns i32 values into states), so a caller that must tell written rows apart picks a sentinel that
/// no row of an earlier run of the same case holds (`freeSentinel`).
struct RunOutcome {
  bool threw = false;
  std::string error;      // what() of the exception
  bool poolError = false; // the exception was the pool's (resource exhausted) or std::bad_alloc
  /// The exception was one the evaluator may raise: a VelaException (frame faults, refusals of the
  /// base library), std::bad_alloc or the slot array's std::length_error. Anything else escaped from
  /// a library underneath without being translated.
  bool expectedException = false;
  std::uint8_t code = 0;
  std::vector<unsigned char> values;
  std::vector<unsigned char> nulls;
  std::vector<unsigned long> sizes;
  std::vector<std::optional<std::string>> objects; // object results' contents
  /// Empty when the pool ended balanced; otherwise what was wrong.
  std::string poolProblem;
  std::size_t peakBytes = 0;
  std::uint64_t reservations = 0;
  std::chrono::steady_clock::duration elapsed{};

  unsigned char sentinel = 0xA5;
  bool written(unsigned long row) const { return nulls.empty() || nulls[row] != sentinel; }
};

/// A null byte that no row of `o` holds (from 0xA5 upwards, wrapping), or 0xA5 when all 256 occur.
unsigned char freeSentinel(const RunOutcome& o);

RunOutcome runCase(AssembledCase& c, const RunSpec& spec);

/// The first difference between two outcomes of one case at one row count (empty: none). `rowNulls`
/// says that `got` came from the row evaluator, which stores 1 in a failed row's null byte where the
/// column-batch evaluator stores the code. With `writtenOnly`, rows that `got` did not write are skipped.
std::string compareOutcomes(const RunOutcome& ref, const RunOutcome& got, vela::ParserUtils::RpnDataType type,
                            bool rowNulls, bool writtenOnly = false);

/// Counters of what the machinery tried, printed by the soak run.
struct RelStats {
  std::uint64_t programs = 0;
  std::uint64_t refused = 0; // cases the assembler refused (drawn again)
  std::uint64_t calls = 0;
  std::uint64_t rowsCompared = 0;
  std::uint64_t faultsInjected = 0;
  std::uint64_t cancellations = 0;
  std::uint64_t rowsLeftByCancellation = 0; // rows a cancelled call did not evaluate
  std::uint64_t mismatches = 0;
  std::uint64_t threw = 0;      // programs whose calls all threw the same exception
  std::uint64_t failedRows = 0; // rows compared whose state was an error code
  std::uint64_t nullRows = 0;   // rows compared whose state was null
  std::string summary() const;
};

/// Runs a case through the column-batch evaluator (1 and 2 threads) and the row evaluator at its row
/// count and checks that they agree, that the code matches the row states and that every pool ends
/// balanced. Returns the first problem found (empty: none).
std::string crossCheck(AssembledCase& c, unsigned long rows, RelStats* stats = nullptr);

/// Memory-limit faults. The pool fails the k-th reservation of the call (k over every reservation an
/// unlimited call makes: all of them when there are at most `maxFaults`, else `maxFaults` spread evenly
/// from the first to the last). A faulted call must throw the pool's exception, leave the pool at zero
/// once the caller has freed what the outputs report, and a second call without a fault must give the
/// reference rows; a call that completes anyway (the k-th reservation was a per-thread cache's, made
/// only once) must give them too. Returns the first problem (empty: none).
std::string limitSweep(AssembledCase& c, Evaluator evaluator, unsigned long rows, int maxFaults,
                       RelStats* stats = nullptr);
/// The same with two threads at `limits` random limits below the peak: the order of reservations
/// varies, so only the invariants are checked (a completed call must give the reference rows).
std::string limitSpray(AssembledCase& c, Evaluator evaluator, unsigned long rows, int limits,
                       std::mt19937_64& rng, RelStats* stats = nullptr);

/// The elements a cancellation case puts in front of a program: every row sleeps `seconds` (only
/// while a job is attached), the result is dropped.
std::vector<std::string> sleepPrefix(double seconds);

/// Cancels the call's job `delay` after the evaluator starts (a negative delay: before the call) and
/// checks what the call did: it returned without an exception within `maxLatency` of the cancellation
/// (plus three times an uncancelled call's work, which a batch already running may still do),
/// every row it wrote equals the reference, rows it did not write are untouched, the code is 0 or a
/// written row's code and never above the worst of them (a task that sees the cancellation drops what
/// it had folded), and the pool ends at zero. `status` is the stopping status used (4, 7
/// or 10). Returns the first problem (empty: none).
std::string cancelCheck(AssembledCase& c, Evaluator evaluator, int threads, unsigned long rows,
                        std::chrono::microseconds delay, int status, std::chrono::milliseconds maxLatency,
                        RelStats* stats = nullptr);

/// The kind of a problem reported by the checks above ("value", "null byte", "pool", ...), so that a
/// shrinker keeps to the fault it was given instead of drifting to another one.
std::string problemKind(const std::string& problem);

/// Shrinks a failing case: fewer rows, fewer distinct input rows, fewer elements, while `fails` still
/// holds. Stops after `maxTries` evaluations of `fails`.
GenCase shrinkCase(const GenCase& failing, const std::function<bool(const GenCase&)>& fails,
                   int maxTries = 600);

/// The report of a failing case: what differs, the program text and the CSV, written to files under
/// $QUARRY_REPRO_DIR (default /tmp) and the quarry-eval command lines that replay them.
std::string reproduction(const GenCase& c, const std::string& problem);

/// Draws cases from `gen` until one assembles (counting refusals in `stats`).
GenCase drawCase(ProgramGenerator& gen, RelStats* stats, std::unique_ptr<AssembledCase>& assembled);

} // namespace quarry::test
