#include "tests/support/GenRunner.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include <tbb/task_arena.h>

#include "base/CallContext.h"
#include "base/GeometryCodec.h"
#include "base/VelaException.h"
#include "cuda/ManagedObjects.h"
#include "cuda/TypedRpnEvaluator.h"
#include "cuda/TypedRpnEvaluatorImpl.h"
#include "cuda/TypedRpnValueEvaluator.h"
#include "tests/support/ObjectBytes.h"
#include "tools/CsvData.h"
#include "tools/ProgramCheck.h"
#include "tools/ProgramText.h"
#include "tools/ScalarText.h"

namespace quarry::test {

using vela::ParserUtils::RpnDataType;
using vela::ParserUtils::TypedRpnElement;
using namespace vela::cuda;

// ---------------------------------------------------------------------------------------------------
// Assembly

struct AssembledCase::Impl {
  quarry::tools::ConstantObjects objects; // declared first: the program points into it
  vela::ParserUtils::Program program;
  quarry::tools::CsvData data;
  RpnDataType type = RpnDataType::None;
  bool reportsErrors = false;
  // Per row count: the cycled cells and flags of every column, and the pointer array over them.
  struct Columns {
    std::vector<std::vector<unsigned char>> buffers;
    std::vector<const unsigned char*> pointers;
  };
  std::map<unsigned long, Columns> byRows;
};

AssembledCase::AssembledCase() : m_impl(std::make_unique<Impl>()) {}
AssembledCase::~AssembledCase() = default;

std::unique_ptr<AssembledCase> AssembledCase::assemble(const GenCase& c, std::string* why) {
  std::unique_ptr<AssembledCase> a(new AssembledCase());
  Impl& impl = *a->m_impl;
  try {
    impl.data = quarry::tools::CsvData::parse(c.csvText(c.distinctRows()));
    quarry::tools::ProgramTextContext context;
    std::vector<quarry::tools::CsvColumnType> types;
    for (const quarry::tools::CsvColumn& col : impl.data.columns()) {
      context.columnNames.push_back(col.name);
      types.push_back(col.type);
    }
    context.columnTypes = types;
    context.objects = &impl.objects;
    quarry::tools::parseProgramText(c.programText(), impl.program, context);
    quarry::tools::checkProgram(impl.program.elements(), types);
  } catch (const std::exception& e) {
    if (why)
      *why = e.what();
    return nullptr;
  }
  const auto& elements = impl.program.elements();
  impl.type = vela::ParserUtils::get_evaluated_type(elements);
  impl.reportsErrors = analyzeProgram(elements.data(), elements.size()).hasReportableErrors;
  return a;
}

const std::vector<TypedRpnElement>& AssembledCase::elements() const {
  return m_impl->program.elements();
}
RpnDataType AssembledCase::resultType() const {
  return m_impl->type;
}
bool AssembledCase::reportsErrors() const {
  return m_impl->reportsErrors;
}

const std::vector<const unsigned char*>& AssembledCase::columns(unsigned long rows) {
  auto [it, fresh] = m_impl->byRows.try_emplace(rows);
  Impl::Columns& cols = it->second;
  if (!fresh)
    return cols.pointers;
  const auto& data = m_impl->data;
  const unsigned long distinct = std::max<unsigned long>(data.rows(), 1);
  auto cycle = [&](const std::vector<unsigned char>& src, std::size_t width) {
    std::vector<unsigned char> out(rows * width);
    for (unsigned long r = 0; r < rows && !src.empty(); ++r)
      std::memcpy(out.data() + r * width, src.data() + (r % distinct) * width, width);
    return out;
  };
  for (const quarry::tools::CsvColumn& col : data.columns())
    cols.buffers.push_back(cycle(col.cells, col.width));
  for (const quarry::tools::CsvColumn& col : data.columns())
    cols.buffers.push_back(cycle(col.nulls, 1));
  for (const auto& b : cols.buffers)
    cols.pointers.push_back(b.data());
  return cols.pointers;
}

// ---------------------------------------------------------------------------------------------------
// Running

const char* evaluatorName(Evaluator e) {
  switch (e) {
  case Evaluator::Vector:
    return "column-batch";
  case Evaluator::Row:
    return "row";
  default:
    return "entry point";
  }
}

namespace {

// CBOR keeps string bytes as they are: a JSON text dump refuses a string that is not UTF-8 (a text op may
// cut a multi-byte character), and replacing bytes would hide a difference.
std::string objectContents(RpnDataType type, const void* object) {
  return objectBytes(type, object, JsonBytes::Cbor, GeometryBytes::Wkt);
}

} // namespace

RunOutcome runCase(AssembledCase& c, const RunSpec& spec) {
  const auto& elements = c.elements();
  const RpnDataType type = c.resultType();
  const std::size_t width = vela::ParserUtils::get_rpn_datatype_size(type);
  const bool objects = vela::ParserUtils::isObjectType(type);
  const unsigned long n = spec.rows;
  const std::vector<const unsigned char*>& cols = c.columns(n);

  RunOutcome out;
  out.values.assign(n * width, 0);
  out.sentinel = spec.sentinel;
  if (spec.withNulls)
    out.nulls.assign(n, spec.sentinel);
  out.sizes.assign(n, 0);

  vela::RamPool pool("reliability", spec.limit);
  pool.failReservation(spec.failReservation);
  {
    vela::RamPoolThreadBinding binding(&pool);
    unsigned char* nulls = spec.withNulls ? out.nulls.data() : nullptr;
    auto call = [&] {
      if (spec.onStart)
        spec.onStart();
      const auto start = std::chrono::steady_clock::now();
      try {
        if (spec.evaluator == Evaluator::EntryPoint) {
          out.code = evaluateTypedRpnHost(elements, cols.data(), cols.size(), out.values.data(), nulls,
                                          out.sizes.data(), n, 0, spec.job, nullptr);
        } else {
          vela::EvaluatorCache cache;
          TypedRpnEvaluatorParams params(nullptr, elements, cols.data(), cols.size(), out.values.data(),
                                         nulls, out.sizes.data(), n, vela::currentYear(), 0, &cache, spec.job,
                                         nullptr);
          out.code = spec.evaluator == Evaluator::Row ? TypedRpnValueEvaluator::evaluate(params)
                                                      : TypedRpnVectorEvaluator::evaluate(params);
        }
      } catch (const vela::VelaException& e) {
        out.threw = true;
        out.error = e.what();
        out.poolError = e.whatCode() == static_cast<int>(vela::VelaWhat::ResourceExhausted);
        out.expectedException = true;
      } catch (const std::bad_alloc& e) {
        out.threw = true;
        out.error = std::string("std::bad_alloc: ") + e.what();
        out.poolError = true;
        out.expectedException = true;
      } catch (const std::length_error& e) {
        out.threw = true;
        out.error = std::string("std::length_error: ") + e.what();
        out.expectedException = true;
      } catch (const std::exception& e) {
        out.threw = true;
        out.error = std::string("exception: ") + e.what();
      }
      out.elapsed = std::chrono::steady_clock::now() - start;
    };
    // The arena's concurrency caps the evaluator's parallel reduction; the binding above is the
    // calling thread's, which is where each evaluator takes the pool its tasks bind.
    tbb::task_arena arena(spec.threads);
    arena.execute([&] {
      vela::RamPoolThreadBinding inner(&pool);
      call();
    });
    out.peakBytes = pool.peakBytes();
    out.reservations = pool.reserveCalls();

    // The caller owns what the size array reports; the pool holds exactly that, then nothing once the
    // caller has freed it.
    if (objects) {
      unsigned long total = 0;
      out.objects.resize(n);
      for (unsigned long r = 0; r < n; ++r) {
        void* object;
        std::memcpy(&object, out.values.data() + r * width, sizeof object);
        const unsigned long size = out.sizes[r];
        if (object != nullptr && !out.threw)
          out.objects[r] = objectContents(type, object);
        if (isOwningReservation(size)) {
          total += size;
          objectDeleterFor(type)(object);
        } else if (size != 0 && !out.threw && out.poolProblem.empty()) {
          // After a fault a row whose owned copy was not made yet may still carry the borrowed mark
          // (its object is an input's): the caller frees only positive sizes, so it frees nothing.
          out.poolProblem =
              "row " + std::to_string(r) + " reports size " + std::to_string(size) + ", which owns nothing";
        } else if (object != nullptr && !out.threw && out.poolProblem.empty()) {
          out.poolProblem = "row " + std::to_string(r) + " holds an object the caller does not own";
        }
        std::memset(out.values.data() + r * width, 0, width);
      }
      if (pool.reservedBytes() != total && out.poolProblem.empty())
        out.poolProblem = "the pool holds " + std::to_string(pool.reservedBytes()) +
                          " bytes where the outputs report " + std::to_string(total);
      if (pool.reservedBytes() >= total)
        pool.unreserveRaw(total);
    }
  }
  if (out.poolProblem.empty() && pool.reservedBytes() != 0)
    out.poolProblem = "the pool holds " + std::to_string(pool.reservedBytes()) + " bytes after the call";
  if (out.poolProblem.empty() && pool.liveAllocations() != 0)
    out.poolProblem = std::to_string(pool.liveAllocations()) + " pool allocations not freed";
  // Leave the pool clean whatever happened, so that its destructor has nothing to complain about.
  if (pool.reservedBytes() != 0)
    pool.unreserveRaw(pool.reservedBytes());
  return out;
}

unsigned char freeSentinel(const RunOutcome& o) {
  bool seen[256] = {};
  for (unsigned char s : o.nulls)
    seen[s] = true;
  for (int i = 0; i < 256; ++i) {
    const auto candidate = static_cast<unsigned char>(0xA5 + i);
    if (!seen[candidate])
      return candidate;
  }
  return 0xA5;
}

namespace {

bool sameCell(const unsigned char* a, const unsigned char* b, std::size_t width, RpnDataType type) {
  if (std::memcmp(a, b, width) == 0)
    return true;
  // NaN payloads: both evaluators run the same kernels, but a NaN's payload is not part of any value
  // the caller can observe through SQL; any NaN matches any NaN.
  if (type == RpnDataType::Float32) {
    float x, y;
    std::memcpy(&x, a, 4);
    std::memcpy(&y, b, 4);
    return std::isnan(x) && std::isnan(y);
  }
  if (type == RpnDataType::Float64) {
    double x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    return std::isnan(x) && std::isnan(y);
  }
  return false;
}

std::string hex(const unsigned char* p, std::size_t n) {
  static const char* const digits = "0123456789abcdef";
  std::string s;
  for (std::size_t i = 0; i < n && i < 32; ++i)
    s += std::string(1, digits[p[i] >> 4]) + digits[p[i] & 15];
  return s + (n > 32 ? "..." : "");
}

std::string shortText(const std::optional<std::string>& o) {
  if (!o)
    return "(null)";
  return quarry::tools::quoteInput(*o, 60);
}

} // namespace

std::string compareOutcomes(const RunOutcome& ref, const RunOutcome& got, RpnDataType type, bool rowNulls,
                            bool writtenOnly) {
  if (ref.threw != got.threw)
    return ref.threw ? "the reference threw (" + ref.error + ") but this run returned code " +
                           std::to_string(got.code)
                     : "this run threw (" + got.error + ") but the reference returned code " +
                           std::to_string(ref.code);
  if (ref.threw) {
    if (!ref.expectedException || !got.expectedException)
      return "an exception escaped untranslated: " + (ref.expectedException ? got.error : ref.error);
    // A base-library refusal ends the call at the first row that raises it. The column-batch evaluator
    // meets rows element by element and the row evaluator element after element of one row, so when
    // several rows would raise different refusals each evaluator may stop at another one; the call
    // failing is what must agree.
    return {};
  }
  if (!writtenOnly && ref.code != got.code)
    return "returned code " + std::to_string(got.code) + ", reference " + std::to_string(ref.code);
  const std::size_t width = vela::ParserUtils::get_rpn_datatype_size(type);
  const unsigned long n = ref.sizes.size();
  for (unsigned long r = 0; r < n; ++r) {
    if (writtenOnly && !got.written(r))
      continue;
    if (!ref.nulls.empty() && !got.nulls.empty()) {
      const unsigned char want = rowNulls && ref.nulls[r] >= 2 ? 1 : ref.nulls[r];
      if (got.nulls[r] != want)
        return "row " + std::to_string(r) + ": null byte " + std::to_string(got.nulls[r]) + ", reference " +
               std::to_string(ref.nulls[r]);
    }
    if (!sameCell(ref.values.data() + r * width, got.values.data() + r * width, width, type))
      return "row " + std::to_string(r) + ": value " + hex(got.values.data() + r * width, width) +
             ", reference " + hex(ref.values.data() + r * width, width);
    if (ref.sizes[r] != got.sizes[r])
      return "row " + std::to_string(r) + ": size " + std::to_string(got.sizes[r]) + ", reference " +
             std::to_string(ref.sizes[r]);
    if (!ref.objects.empty() && ref.objects[r] != got.objects[r])
      return "row " + std::to_string(r) + ": object " + shortText(got.objects[r]) + ", reference " +
             shortText(ref.objects[r]);
  }
  return {};
}

std::string RelStats::summary() const {
  std::ostringstream s;
  s << "programs run: " << programs << " (assembler refusals redrawn: " << refused << ")\n"
    << "calls: " << calls << "\n"
    << "rows compared: " << rowsCompared << "\n"
    << "faults injected: " << faultsInjected << "\n"
    << "cancellations: " << cancellations << " (rows left unevaluated: " << rowsLeftByCancellation << ")\n"
    << "mismatches: " << mismatches << "\n"
    << "programs that threw in every evaluator: " << threw << "\n"
    << "rows null / failed in the reference: " << nullRows << " / " << failedRows << "\n";
  return s.str();
}

std::string crossCheck(AssembledCase& c, unsigned long rows, RelStats* stats) {
  const RpnDataType type = c.resultType();
  struct Variant {
    Evaluator evaluator;
    int threads;
  };
  static const Variant kVariants[] = {{Evaluator::Vector, 1}, {Evaluator::Vector, 2}, {Evaluator::Row, 2}};
  std::optional<RunOutcome> ref;
  for (const Variant& v : kVariants) {
    RunSpec spec;
    spec.evaluator = v.evaluator;
    spec.threads = v.threads;
    spec.rows = rows;
    if (ref)
      spec.sentinel = freeSentinel(*ref);
    RunOutcome o = runCase(c, spec);
    // A row whose state is the sentinel itself reads as unwritten; the evaluators are deterministic,
    // so a second run with a byte the first run wrote nowhere settles it.
    if (!o.threw &&
        std::any_of(o.nulls.begin(), o.nulls.end(), [&](unsigned char b) { return b == spec.sentinel; })) {
      spec.sentinel = freeSentinel(o);
      o = runCase(c, spec);
      if (stats)
        ++stats->calls;
    }
    const std::string where = std::string(evaluatorName(v.evaluator)) + " evaluator, " +
                              std::to_string(v.threads) + " thread(s), " + std::to_string(rows) + " rows: ";
    if (stats) {
      ++stats->calls;
      stats->rowsCompared += rows;
    }
    if (!o.poolProblem.empty())
      return where + o.poolProblem;
    if (!o.threw && !o.nulls.empty())
      for (unsigned long r = 0; r < rows; ++r)
        if (!o.written(r))
          return where + "row " + std::to_string(r) + " was not written";
    if (!ref) {
      // The code is the worst row state when the program reports errors, a null reported as 0.
      if (!o.threw) {
        unsigned char worst = 0;
        for (unsigned char s : o.nulls)
          worst = std::max(worst, s);
        const unsigned char want =
            c.reportsErrors() ? reportedResult(static_cast<rpn_eval_result_t>(worst)) : 0;
        if (o.code != want)
          return where + "returned code " + std::to_string(o.code) + " for rows whose worst state gives " +
                 std::to_string(want);
      }
      ref = std::move(o);
      continue;
    }
    // The pool's limit can be reached by one evaluation order and not by another (the column-batch
    // evaluator holds a batch's intermediate objects at once, the row evaluator one row's): a run that
    // ran out of the pool is not compared with one that did not. Both were held to a balanced pool.
    if (ref->poolError != o.poolError)
      continue;
    const std::string d = compareOutcomes(*ref, o, type, v.evaluator == Evaluator::Row);
    if (!d.empty())
      return where + d;
  }
  if (stats && ref) {
    if (ref->threw)
      ++stats->threw;
    for (unsigned char s : ref->nulls) {
      stats->nullRows += s == 1;
      stats->failedRows += s >= 2;
    }
  }
  return {};
}

// ---------------------------------------------------------------------------------------------------
// Memory-limit faults

namespace {

std::string checkFaulted(const RunOutcome& o, std::size_t limit) {
  const std::string at = "limit " + std::to_string(limit) + ": ";
  if (!o.poolProblem.empty())
    return at + o.poolProblem;
  if (o.threw && !o.poolError)
    return at + "the call threw something other than the pool's exception: " + o.error;
  return {};
}

} // namespace

std::string limitSweep(AssembledCase& c, Evaluator evaluator, unsigned long rows, int maxFaults,
                       RelStats* stats) {
  RunSpec spec;
  spec.evaluator = evaluator;
  spec.rows = rows;
  const RunOutcome ref = runCase(c, spec);
  if (stats)
    ++stats->calls;
  if (!ref.poolProblem.empty())
    return "without a limit: " + ref.poolProblem;
  if (ref.threw || ref.reservations == 0 || maxFaults <= 0)
    return {}; // a call that fails anyway has no rows to come back to
  const std::uint64_t total = ref.reservations;
  const std::uint64_t faults = std::min<std::uint64_t>(total, static_cast<std::uint64_t>(maxFaults));
  std::uint64_t previous = 0;
  for (std::uint64_t i = 0; i < faults; ++i) {
    const std::uint64_t k = faults == 1 ? 1 : 1 + i * (total - 1) / (faults - 1);
    if (k == previous)
      continue;
    previous = k;
    spec.failReservation = k;
    const RunOutcome o = runCase(c, spec);
    if (stats) {
      ++stats->calls;
      ++stats->faultsInjected;
    }
    const std::string at = "reservation " + std::to_string(k) + " of " + std::to_string(total) + " failed: ";
    if (!o.poolProblem.empty())
      return at + o.poolProblem;
    if (o.threw && !o.poolError)
      return at + "the call threw something other than the pool's exception: " + o.error;
    if (!o.threw) {
      if (std::string d = compareOutcomes(ref, o, c.resultType(), false); !d.empty())
        return at + "the call completed: " + d;
      continue;
    }
    // The next call, without a fault, gives the reference rows.
    RunSpec again = spec;
    again.failReservation = 0;
    const RunOutcome second = runCase(c, again);
    if (stats) {
      ++stats->calls;
      stats->rowsCompared += rows;
    }
    if (!second.poolProblem.empty())
      return "after the fault at reservation " + std::to_string(k) + ": " + second.poolProblem;
    if (std::string d = compareOutcomes(ref, second, c.resultType(), false); !d.empty())
      return "after the fault at reservation " + std::to_string(k) + ": " + d;
  }
  return {};
}

std::string limitSpray(AssembledCase& c, Evaluator evaluator, unsigned long rows, int limits,
                       std::mt19937_64& rng, RelStats* stats) {
  RunSpec spec;
  spec.evaluator = evaluator;
  spec.rows = rows;
  spec.threads = 2;
  const RunOutcome ref = runCase(c, spec);
  if (stats)
    ++stats->calls;
  if (!ref.poolProblem.empty())
    return "without a limit: " + ref.poolProblem;
  if (ref.threw || ref.peakBytes == 0)
    return {};
  for (int i = 0; i < limits; ++i) {
    spec.limit = std::uniform_int_distribution<std::size_t>(0, ref.peakBytes - 1)(rng);
    const RunOutcome o = runCase(c, spec);
    if (stats) {
      ++stats->calls;
      ++stats->faultsInjected;
    }
    if (std::string p = checkFaulted(o, spec.limit); !p.empty())
      return "2 threads, " + p;
    if (!o.threw)
      if (std::string d = compareOutcomes(ref, o, c.resultType(), evaluator == Evaluator::Row); !d.empty())
        return "2 threads, limit " + std::to_string(spec.limit) + ", completed: " + d;
  }
  return {};
}

// ---------------------------------------------------------------------------------------------------
// Cancellation

std::vector<std::string> sleepPrefix(double seconds) {
  std::ostringstream s;
  s << "CONST_F64 " << seconds;
  return {s.str(), "SLEEP", "ISNAN_F64", "DROP_BOOL"};
}

std::string cancelCheck(AssembledCase& c, Evaluator evaluator, int threads, unsigned long rows,
                        std::chrono::microseconds delay, int status, std::chrono::milliseconds maxLatency,
                        RelStats* stats) {
  using Clock = std::chrono::steady_clock;
  RunSpec spec;
  spec.evaluator = Evaluator::Vector;
  spec.rows = rows;
  const RunOutcome ref = runCase(c, spec);
  if (stats)
    ++stats->calls;
  if (!ref.poolProblem.empty())
    return "reference: " + ref.poolProblem;
  if (ref.threw)
    return {};

  vela::job_info job(1, "reliability");
  const bool before = delay.count() < 0;
  if (before)
    job.setStatus(status);
  std::optional<std::thread> canceller;
  Clock::time_point started, cancelledAt;
  std::atomic<bool> cancelled{before};
  spec.evaluator = evaluator;
  spec.threads = threads;
  spec.job = &job;
  spec.sentinel = freeSentinel(ref);
  spec.onStart = [&] {
    started = Clock::now();
    if (!before)
      canceller.emplace([&] {
        std::this_thread::sleep_for(delay);
        cancelledAt = Clock::now();
        job.setStatus(status);
        cancelled = true;
      });
  };
  const RunOutcome o = runCase(c, spec);
  if (canceller)
    canceller->join();
  if (stats) {
    ++stats->calls;
    ++stats->cancellations;
  }
  const std::string at =
      std::string(evaluatorName(evaluator)) + " evaluator, " + std::to_string(threads) + " thread(s), " +
      std::to_string(rows) + " rows, cancelled " +
      (before ? std::string("before the call") : "after " + std::to_string(delay.count()) + " us") +
      " with status " + std::to_string(status) + ": ";
  if (!o.poolProblem.empty())
    return at + o.poolProblem;
  if (o.threw)
    return at + "the call threw: " + o.error;
  if (!before) {
    // Cancellation stops sleeps and tasks, not a batch already running: the rest of the program's work
    // over the batch may still follow, as long as an uncancelled call's whole work (three times that,
    // for the other evaluators and the shared machine).
    const auto latency = started + o.elapsed - cancelledAt;
    if (latency > maxLatency + 3 * ref.elapsed)
      return at + "the call returned " +
             std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(latency).count()) +
             " ms after the cancellation";
  }
  const bool rowEvaluator =
      evaluator == Evaluator::Row ||
      (evaluator == Evaluator::EntryPoint &&
       (rows == 1 || analyzeProgram(c.elements().data(), c.elements().size()).hasExpensiveHostOnly));
  if (std::string d = compareOutcomes(ref, o, c.resultType(), rowEvaluator, true); !d.empty())
    return at + d;
  const std::size_t width = vela::ParserUtils::get_rpn_datatype_size(c.resultType());
  unsigned char worst = 0;
  unsigned long written = 0;
  for (unsigned long r = 0; r < rows; ++r) {
    if (o.written(r)) {
      ++written;
      worst = std::max(worst, ref.nulls[r]);
      continue;
    }
    if (o.sizes[r] != 0 || std::any_of(o.values.begin() + static_cast<long>(r * width),
                                       o.values.begin() + static_cast<long>((r + 1) * width),
                                       [](unsigned char b) { return b != 0; }))
      return at + "row " + std::to_string(r) + " was not evaluated but its cell or size changed";
  }
  if (stats) {
    stats->rowsCompared += written;
    stats->rowsLeftByCancellation += rows - written;
  }
  // A task that finds the job cancelled sets its running result to 0, dropping the codes of rows it had
  // already evaluated; other tasks keep theirs. So the code is the worst of some of the written rows:
  // 0, or one written row's code, and never above the worst of them.
  const unsigned char worstReported =
      c.reportsErrors() ? reportedResult(static_cast<rpn_eval_result_t>(worst)) : 0;
  bool someRowHasIt = o.code == 0;
  for (unsigned long r = 0; r < rows && !someRowHasIt; ++r)
    someRowHasIt = o.written(r) && ref.nulls[r] == o.code;
  if (o.code > worstReported || !someRowHasIt)
    return at + "returned code " + std::to_string(o.code) + " where the " + std::to_string(written) +
           " rows it wrote give at most " + std::to_string(worstReported);
  if (before && o.code != worstReported)
    return at + "returned code " + std::to_string(o.code) + " where the " + std::to_string(written) +
           " rows of the unchecked batch give " + std::to_string(worstReported);
  if (before) {
    // A job cancelled before the call stops every task before its work, except on the column-batch
    // evaluator's path for fewer than 65 rows, which makes no cancellation check.
    const bool unchecked = !rowEvaluator && rows < 65;
    const unsigned long expected = unchecked ? rows : 0;
    if (written != expected)
      return at + std::to_string(written) + " rows written, expected " + std::to_string(expected);
  }
  return {};
}

// ---------------------------------------------------------------------------------------------------
// Shrinking

std::string problemKind(const std::string& problem) {
  // Most specific first: a pool message may mention rows, a row message may mention values.
  static const char* const kKinds[] = {"escaped untranslated",
                                       "pool",
                                       "bytes",
                                       "allocations",
                                       "owns nothing",
                                       "does not own",
                                       "not written",
                                       "threw",
                                       "returned code",
                                       "null byte",
                                       "value",
                                       "size",
                                       "object",
                                       "rows written",
                                       "after the cancellation"};
  for (const char* k : kKinds)
    if (problem.find(k) != std::string::npos)
      return k;
  return problem;
}

GenCase shrinkCase(const GenCase& failing, const std::function<bool(const GenCase&)>& fails, int maxTries) {
  GenCase best = failing;
  int tries = 0;
  auto attempt = [&](const GenCase& candidate) {
    if (tries >= maxTries)
      return false;
    ++tries;
    if (!fails(candidate))
      return false;
    best = candidate;
    return true;
  };

  // Fewer rows.
  for (unsigned long n : {1ul, 2ul, 63ul, 64ul, 65ul, 130ul, 1000ul, 4099ul})
    if (n < best.rows) {
      GenCase c = best;
      c.rows = n;
      if (attempt(c))
        break;
    }

  // Fewer distinct input rows: keep halves, then single rows.
  auto keepRows = [](const GenCase& c, unsigned long from, unsigned long to) {
    GenCase k = c;
    for (GenColumn& col : k.columns)
      col.fields = std::vector<std::string>(col.fields.begin() + static_cast<long>(from),
                                            col.fields.begin() + static_cast<long>(to));
    return k;
  };
  for (bool progress = true; progress && best.distinctRows() > 1 && !best.columns.empty();) {
    progress = false;
    const unsigned long k = best.distinctRows();
    const unsigned long half = k / 2;
    if (attempt(keepRows(best, 0, half)) || attempt(keepRows(best, half, k)))
      progress = true;
  }
  if (best.distinctRows() > 1 && !best.columns.empty())
    for (unsigned long r = 0; r < best.distinctRows() && tries < maxTries; ++r)
      if (attempt(keepRows(best, r, r + 1)))
        break;
  if (best.rows > best.distinctRows()) {
    GenCase c = best;
    c.rows = best.distinctRows();
    attempt(c);
  }

  // Fewer elements: drop runs of elements, longest first, until nothing can go.
  for (bool progress = true; progress;) {
    progress = false;
    const std::size_t n = best.elements.size();
    for (std::size_t len = n > 1 ? n - 1 : 0; len >= 1 && !progress; --len)
      for (std::size_t at = 0; at + len <= n && !progress; ++at) {
        GenCase c = best;
        c.elements.erase(c.elements.begin() + static_cast<long>(at),
                         c.elements.begin() + static_cast<long>(at + len));
        progress = attempt(c);
      }
    if (tries >= maxTries)
      break;
  }
  best.dropUnusedColumns();
  return best;
}

// ---------------------------------------------------------------------------------------------------
// Reporting

std::string reproduction(const GenCase& c, const std::string& problem) {
  const char* dirEnv = std::getenv("QUARRY_REPRO_DIR");
  const std::filesystem::path dir = dirEnv && *dirEnv ? dirEnv : "/tmp";
  const std::string stem = "quarry-repro-" + std::to_string(c.seed);
  const std::filesystem::path rpn = dir / (stem + ".rpn"), csv = dir / (stem + ".csv");
  const std::string csvText = c.csvText(c.rows);
  {
    std::ofstream(rpn) << c.programText();
    std::ofstream(csv) << csvText;
  }
  std::ostringstream s;
  s << problem << "\n"
    << "seed " << c.seed << ", " << c.rows << " rows (" << c.distinctRows() << " distinct)\n"
    << "program (" << rpn.string() << "):\n"
    << c.programText() << "data (" << csv.string() << ")";
  if (csvText.size() < 4000)
    s << ":\n" << csvText;
  else
    s << ", first lines:\n" << csvText.substr(0, csvText.find('\n', 1500)) << "\n...\n";
  s << "replay:\n";
  for (const char* e : {"vector", "row"})
    s << "  quarry-eval --data " << csv.string() << " --evaluator " << e << " " << rpn.string() << "\n";
  std::string inline_;
  for (const std::string& e : c.elements)
    inline_ += (inline_.empty() ? "" : "; ") + e;
  std::string quoted = "'";
  for (char ch : inline_)
    quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  s << "  quarry-eval --data " << csv.string() << " -e " << quoted << "'\n";
  return s.str();
}

GenCase drawCase(ProgramGenerator& gen, RelStats* stats, std::unique_ptr<AssembledCase>& assembled) {
  for (;;) {
    GenCase c = gen.next();
    assembled = AssembledCase::assemble(c);
    if (assembled)
      return c;
    if (stats)
      ++stats->refused;
  }
}

} // namespace quarry::test
