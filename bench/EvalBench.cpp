// The benchmark suite: every expression of BenchCases at 64, 4,096, 1,000,000 and 10,000,000 rows, on 1
// and 2 threads, through the entry point (auto), the column-batch evaluator, the row evaluator and the
// fused loop; plus the single-row call of a 3-element program through the entry point.
//
// Before timing, each evaluator run is checked against the fused loop (values, row states and the
// call's code; string results by their contents and reservations): a ratio is only reported for two
// computations that agree. String results belong to the caller, so after every call the benchmark frees
// them with the timer paused; every call, the fused loop's included, starts from empty slots.
//
// Counters: items_per_second (rows/s); pool_peak_MiB, the highest charge of the RamPool bound to the
// calling thread (every task binds it, so it covers all pool-charged scratch of the call, and for string
// results the results of one call, freed after each); rss_extra_MiB,
// the resident-set high-water mark while timing minus the resident set before it (inputs and outputs are
// already resident then, so this is what the evaluation added, pool-charged or not); data_MiB, the bytes
// of inputs plus outputs.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <tbb/global_control.h>

#include "base/CallContext.h"
#include "base/RamPool.h"
#include "bench/BenchCases.h"
#include "cuda/ManagedObjects.h"
#include "cuda/TypedRpnEvaluatorImpl.h"
#include "cuda/TypedRpnValueEvaluator.h"

namespace quarry::bench {
namespace {

using namespace vela::cuda;

constexpr double kMiB = 1024.0 * 1024.0;

enum class Path { Fused, Batch, Row, Auto, Copy };
const char* pathName(Path p) {
  switch (p) {
  case Path::Copy:
    return "copy";
  case Path::Fused:
    return "fused";
  case Path::Batch:
    return "batch";
  case Path::Row:
    return "row";
  case Path::Auto:
    return "auto";
  }
  return "?";
}

// Linux resident-set figures of this process, in bytes (0 when /proc is not readable).
std::size_t procStatusBytes(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::size_t keyLength = std::strlen(key);
  while (std::getline(status, line))
    if (line.compare(0, keyLength, key) == 0 && line.size() > keyLength && line[keyLength] == ':')
      return std::stoull(line.substr(keyLength + 1)) * 1024;
  return 0;
}
// Resets the high-water mark of the resident set to the current resident set.
void resetPeakRss() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

// The dataset and fused-loop reference of the case being measured; benchmarks are registered case by
// case and row count by row count, so one dataset serves a run of consecutive benchmarks.
struct CurrentData {
  const BenchCase* bc = nullptr;
  unsigned long rows = 0;
  std::unique_ptr<Dataset> data;
  std::unique_ptr<OutputBuffers> reference;
  rpn_eval_result_t code = RPN_EVAL_OK;
};
// Emptied before main returns, so that no string is freed (in parallel) during static destruction.
CurrentData current;

CurrentData& dataFor(const BenchCase& bc, unsigned long rows) {
  if (current.bc != &bc || current.rows != rows) {
    current.reference.reset();
    current.data.reset();
    current.data = makeDataset(bc, rows);
    current.reference = std::make_unique<OutputBuffers>(rows, bc.width, bc.stringResult);
    current.code = runFused(bc, *current.data, *current.reference);
    current.bc = &bc;
    current.rows = rows;
  }
  return current;
}

rpn_eval_result_t runOnce(Path path, const BenchCase& bc, const Dataset& in, OutputBuffers& out) {
  const std::vector<TypedRpnElement>& program = bc.program->elements();
  out.pool = vela::RamPool::getDefault(); // where the evaluators charge the results
  switch (path) {
  case Path::Fused:
    return runFused(bc, in, out);
  case Path::Copy:
    return runCopy(bc, in, out);
  case Path::Auto:
    return evaluateTypedRpnHost(program, in.pointers.data(), in.pointers.size(), out.values.data(),
                                out.nulls.data(), out.sizesData(), in.rows, 0, nullptr, nullptr);
  case Path::Batch:
  case Path::Row: {
    // What the entry point does before it chooses an evaluator, so that the paths differ only there.
    vela::EvaluatorCache cache;
    const TypedRpnEvaluatorParams params(nullptr, program, in.pointers.data(), in.pointers.size(),
                                         out.values.data(), out.nulls.data(), out.sizesData(), in.rows,
                                         vela::currentYear(), 0, &cache, nullptr, nullptr);
    return reportedResult(path == Path::Row ? TypedRpnValueEvaluator::evaluate(params)
                                            : TypedRpnVectorEvaluator::evaluate(params));
  }
  }
  return RPN_EVAL_OK;
}

// How row r's string result differs from the reference's (contents and reservation), or empty.
std::string stringDifference(const OutputBuffers& out, const OutputBuffers& ref, unsigned long r) {
  using String = const InlineBuffer<char>*;
  const String a = reinterpret_cast<const String*>(out.values.data())[r];
  const String b = reinterpret_cast<const String*>(ref.values.data())[r];
  if ((a == nullptr) != (b == nullptr))
    return a == nullptr ? "null string, fused loop a string" : "a string, fused loop null";
  if (a != nullptr && a->view() != b->view())
    return "string '" + std::string(a->view()) + "', fused loop '" + std::string(b->view()) + "'";
  if (out.sizes[r] != ref.sizes[r])
    return "reservation " + std::to_string(out.sizes[r]) + ", fused loop " + std::to_string(ref.sizes[r]);
  return {};
}

// The first difference between a run and the reference, or empty.
std::string firstDifference(const BenchCase& bc, const CurrentData& ref, const OutputBuffers& out,
                            rpn_eval_result_t code) {
  std::ostringstream s;
  if (code != ref.code) {
    s << "code " << int(code) << ", fused loop " << int(ref.code);
    return s.str();
  }
  for (unsigned long r = 0; r < ref.rows; ++r) {
    if (out.nulls[r] != ref.reference->nulls[r]) {
      s << "row " << r << ": state " << int(out.nulls[r]) << ", fused loop " << int(ref.reference->nulls[r]);
      return s.str();
    }
    if (bc.stringResult) {
      if (const std::string diff = stringDifference(out, *ref.reference, r); !diff.empty()) {
        s << "row " << r << ": " << diff;
        return s.str();
      }
    } else if (std::memcmp(out.values.data() + r * bc.width, ref.reference->values.data() + r * bc.width,
                           bc.width) != 0) {
      s << "row " << r << ": value differs from the fused loop";
      return s.str();
    }
  }
  return {};
}

void benchEval(benchmark::State& state, const BenchCase* bc, Path path, unsigned long rows, int threads) {
  tbb::global_control limit(tbb::global_control::max_allowed_parallelism, static_cast<std::size_t>(threads));
  std::string missing;
  if (!programIsRunnable(*bc->program, &missing)) {
    state.SkipWithError(("no column-batch kernel yet for " + missing).c_str());
    return;
  }
  CurrentData& cur = dataFor(*bc, rows);
  // The pool before the buffers: the buffers give their strings back to it when they go.
  vela::RamPool pool("bench");
  vela::RamPoolThreadBinding binding(&pool);
  OutputBuffers out(rows, bc->width, bc->stringResult);

  // The copy loop computes nothing: only the others are held to the fused loop.
  const rpn_eval_result_t firstCode = runOnce(path, *bc, *cur.data, out);
  const std::string diff = path == Path::Copy ? std::string() : firstDifference(*bc, cur, out, firstCode);
  if (!diff.empty()) {
    state.SkipWithError(diff.c_str());
    return;
  }
  out.releaseStrings();
  if (pool.reservedBytes() != 0) {
    state.SkipWithError("the pool holds bytes after the results were freed");
    return;
  }

  resetPeakRss();
  const std::size_t rssBefore = procStatusBytes("VmRSS");
  for (auto _ : state) {
    rpn_eval_result_t code = runOnce(path, *bc, *cur.data, out);
    benchmark::DoNotOptimize(code);
    benchmark::ClobberMemory();
    if (bc->stringResult) {
      state.PauseTiming();
      out.releaseStrings();
      state.ResumeTiming();
    }
  }
  const std::size_t rssPeak = procStatusBytes("VmHWM");

  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * rows));
  state.counters["pool_peak_MiB"] = static_cast<double>(pool.peakBytes()) / kMiB;
  state.counters["rss_extra_MiB"] =
      rssPeak > rssBefore ? static_cast<double>(rssPeak - rssBefore) / kMiB : 0.0;
  state.counters["data_MiB"] = static_cast<double>(cur.data->inputBytes() + out.bytes()) / kMiB;
  state.counters["elements"] = static_cast<double>(bc->program->elements().size());
}

// One row through the entry point: the fixed cost of a call (parameters, analysis, evaluator choice).
void benchSingleRow(benchmark::State& state) {
  const std::vector<TypedRpnElement>& program = singleRowProgram().elements();
  const long a = 20, b = 22;
  const unsigned char* columns[] = {reinterpret_cast<const unsigned char*>(&a),
                                    reinterpret_cast<const unsigned char*>(&b)};
  long value = 0;
  unsigned char null = 0xA5;
  rpn_eval_result_t code = evaluateTypedRpnHost(program, columns, 2, reinterpret_cast<unsigned char*>(&value),
                                                &null, nullptr, 1, 0, nullptr, nullptr);
  if (value != a + b || null != 0 || code != RPN_EVAL_OK) {
    state.SkipWithError("single-row call gave a wrong result");
    return;
  }
  for (auto _ : state) {
    code = evaluateTypedRpnHost(program, columns, 2, reinterpret_cast<unsigned char*>(&value), &null, nullptr,
                                1, 0, nullptr, nullptr);
    benchmark::DoNotOptimize(code);
    benchmark::DoNotOptimize(value);
  }
  state.SetItemsProcessed(state.iterations());
}

void registerSuite() {
  constexpr unsigned long kRowCounts[] = {64, 4096, 1000000, 10000000};
  constexpr Path kPaths[] = {Path::Fused, Path::Batch, Path::Row, Path::Auto, Path::Copy};
  for (const BenchCase& bc : benchCases())
    for (unsigned long rows : bc.rowCounts.empty()
                                  ? std::vector<unsigned long>(std::begin(kRowCounts), std::end(kRowCounts))
                                  : bc.rowCounts)
      for (Path path : kPaths)
        for (int threads : {1, 2}) {
          // At 10,000,000 rows only what the targets compare (column-batch against fused, and the peak
          // memory): the row evaluator would take most of the suite's time there, and the entry point
          // runs the column-batch evaluator.
          if (rows == 10000000 && (path == Path::Row || path == Path::Auto))
            continue;
          if (path == Path::Copy && bc.copy == nullptr)
            continue;
          const std::string name = "eval/" + bc.name + "/" + pathName(path) +
                                   "/rows:" + std::to_string(rows) + "/threads:" + std::to_string(threads);
          benchmark::RegisterBenchmark(name.c_str(), benchEval, &bc, path, rows, threads)
              ->Unit(benchmark::kMicrosecond)
              ->UseRealTime();
        }
  benchmark::RegisterBenchmark("single_row/i64_add/auto", benchSingleRow)->Unit(benchmark::kNanosecond);
}

} // namespace
} // namespace quarry::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::AddCustomContext("hardware_threads", std::to_string(std::thread::hardware_concurrency()));
  quarry::bench::registerSuite();
  benchmark::RunSpecifiedBenchmarks();
  quarry::bench::current = {};
  benchmark::Shutdown();
  return 0;
}
