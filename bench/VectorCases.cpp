// Benchmarks of the vector measures: a nearest-neighbour scan (each row's embedding against one constant
// query vector) at 1,000,000 rows of 128 dimensions (about 520 MB of vectors) and 100,000 rows of 1,536
// dimensions, and the text cast of 100,000 128-dimensional texts; on 1 and 2 threads.
//
// These sizes do not fit the suite's fixed row counts (10,000,000 rows of 128 floats would be 5 GB),
// so the cases register their own benchmarks, named vector/<case>/<path>/threads:<t>. Paths: `fused`,
// a hand-written AVX2 loop over the same InlineBuffer<float> objects (the practical limit), and
// `batch`, the column-batch evaluator. Before timing, the evaluator's results are checked against the
// fused loop's, bit for bit.
//
// Memory bandwidth is measured in the same run by `vector/memory_sum`: a plain AVX2 sum over a 512 MB
// float array. Every benchmark reports read_GBps, the bytes its inputs occupy (the vectors with their
// 8-byte headers, and the pointer column) read per second.

#include <benchmark/benchmark.h>
#include <immintrin.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/parallel_for.h>

#include "base/CallContext.h"
#include "base/ProgramBuilder.h"
#include "base/RamPool.h"
#include "base/RecordCodec.h"
#include "bench/BenchSupport.h"
#include "cuda/ManagedObjects.h"
#include "cuda/TypedRpnEvaluatorImpl.h"

namespace quarry::bench {

namespace {

using vela::cuda::InlineBuffer;
using vela::cuda::ManagedInlineBufferPtr;
using vela::cuda::rpn_eval_result_t;
using vela::cuda::TypedRpnEvaluatorParams;
using vela::cuda::TypedRpnVectorEvaluator;
using vela::ParserUtils::Program;
using VectorCell = const InlineBuffer<float>*;
using StringCell = const InlineBuffer<char>*;

constexpr int kLoadVector = 232, kConstVector = 65, kLoadString = 233;
constexpr int kL2Distance = 2488, kDot = 2492, kCosine = 2493, kCastFromString = 777;
constexpr unsigned long kGrain = 1024;

// Element i of row r of column c: uniform in [-1, 1), a pure function of its position.
float element(std::size_t c, unsigned long r, std::size_t i) {
  return static_cast<float>(mix(c, r * 4096 + i) >> 40) * 0x1p-23f - 1.0f;
}

// A column of heap objects (vectors or strings) that it frees (on one thread: the last one may die
// during static destruction, when the task scheduler is gone).
template <class T>
struct ObjectColumn {
  std::vector<const InlineBuffer<T>*> cells;
  ObjectColumn() = default;
  ObjectColumn(const ObjectColumn&) = delete;
  ObjectColumn& operator=(const ObjectColumn&) = delete;
  ~ObjectColumn() {
    for (const auto* c : cells)
      InlineBuffer<T>::deallocate(c);
  }
  std::size_t bytes() const {
    std::size_t n = cells.size() * sizeof(void*);
    for (const auto* c : cells)
      n += InlineBuffer<T>::byteCount(c->size());
    return n;
  }
};

std::unique_ptr<ObjectColumn<float>> makeVectors(unsigned long rows, std::size_t dim, std::size_t c) {
  auto column = std::make_unique<ObjectColumn<float>>();
  column->cells.resize(rows);
  tbb::parallel_for(tbb::blocked_range<unsigned long>(0, rows, 1 << 12), [&](const auto& range) {
    for (unsigned long r = range.begin(); r < range.end(); ++r) {
      InlineBuffer<float>* v = InlineBuffer<float>::allocate(dim);
      for (std::size_t i = 0; i < dim; ++i)
        v->data()[i] = element(c, r, i);
      column->cells[r] = v;
    }
  });
  return column;
}

std::unique_ptr<ObjectColumn<char>> makeTexts(unsigned long rows, std::size_t dim) {
  auto column = std::make_unique<ObjectColumn<char>>();
  column->cells.resize(rows);
  tbb::parallel_for(tbb::blocked_range<unsigned long>(0, rows, 1 << 12), [&](const auto& range) {
    std::vector<float> values(dim);
    std::string text;
    for (unsigned long r = range.begin(); r < range.end(); ++r) {
      for (std::size_t i = 0; i < dim; ++i)
        values[i] = element(0, r, i);
      vela::RecordCodec::stringifyVector(values, text);
      InlineBuffer<char>* s = InlineBuffer<char>::allocate(text.size());
      std::memcpy(s->data(), text.data(), text.size());
      column->cells[r] = s;
    }
  });
  return column;
}

// --- the fused loops --------------------------------------------------------------------------------
// Written as a programmer would for one expression: the query's loads hoisted where they fit, one
// 8-lane accumulator per sum (the summation order the results are defined by), then the tail.

inline float laneTotal(__m256 acc) {
  const __m128 s = _mm_add_ps(_mm256_extractf128_ps(acc, 1), _mm256_castps256_ps128(acc));
  alignas(16) float l[4];
  _mm_store_ps(l, s);
  return (l[0] + l[1]) + (l[2] + l[3]);
}

enum class Kind { L2, Dot, Cosine };

template <Kind K>
float fusedRow(const float* a, const float* q, std::size_t n, float qq) {
  const std::size_t blocks = n - n % 8;
  __m256 acc = _mm256_setzero_ps(), aa = acc;
  std::size_t i = 0;
  for (; i < blocks; i += 8) {
    const __m256 x = _mm256_loadu_ps(a + i), y = _mm256_loadu_ps(q + i);
    if constexpr (K == Kind::L2) {
      const __m256 d = _mm256_sub_ps(x, y);
      acc = _mm256_add_ps(acc, _mm256_mul_ps(d, d));
    } else {
      acc = _mm256_add_ps(acc, _mm256_mul_ps(x, y));
      if constexpr (K == Kind::Cosine)
        aa = _mm256_add_ps(aa, _mm256_mul_ps(x, x));
    }
  }
  float s = laneTotal(acc), sa = laneTotal(aa);
  for (; i < n; ++i) {
    if constexpr (K == Kind::L2) {
      const float d = a[i] - q[i];
      s += d * d;
    } else {
      s += a[i] * q[i];
      sa += a[i] * a[i];
    }
  }
  if constexpr (K == Kind::L2)
    return std::sqrt(s);
  else if constexpr (K == Kind::Dot)
    return s;
  else
    return 1.0f - s / (std::sqrt(sa) * qq);
}

// ||q|| for the cosine baseline: computed once per call, in the same order as any row's norm.
float queryNorm(const InlineBuffer<float>& q) {
  const std::size_t n = q.size(), blocks = n - n % 8;
  __m256 acc = _mm256_setzero_ps();
  std::size_t i = 0;
  for (; i < blocks; i += 8) {
    const __m256 y = _mm256_loadu_ps(q.data() + i);
    acc = _mm256_add_ps(acc, _mm256_mul_ps(y, y));
  }
  float s = laneTotal(acc);
  for (; i < n; ++i)
    s += q.data()[i] * q.data()[i];
  return std::sqrt(s);
}

// --- the cases ------------------------------------------------------------------------------------

struct MeasureCase {
  std::string name;
  Kind kind;
  int op;
  unsigned long rows;
  std::size_t dim;
};

struct MeasureData {
  std::unique_ptr<ObjectColumn<float>> vectors;
  std::unique_ptr<ObjectColumn<float>> query; // one row
  Program program;
  std::vector<float> reference;
};

// One dataset at a time (the largest is 520 MB): kept while consecutive benchmarks use it.
std::string gCurrentName;
std::unique_ptr<MeasureData> gCurrent;

MeasureData& measureData(const MeasureCase& mc) {
  const std::string key = std::to_string(mc.rows) + "x" + std::to_string(mc.dim);
  if (gCurrentName != key) {
    gCurrent.reset();
    gCurrent = std::make_unique<MeasureData>();
    gCurrent->vectors = makeVectors(mc.rows, mc.dim, 0);
    gCurrent->query = makeVectors(1, mc.dim, 1);
    gCurrentName = key;
  }
  return *gCurrent;
}

void runFusedMeasure(Kind kind, const MeasureData& d, float* out) {
  const VectorCell q = d.query->cells[0];
  const VectorCell* cells = d.vectors->cells.data();
  const float qq = kind == Kind::Cosine ? queryNorm(*q) : 0.0f;
  tbb::parallel_for(tbb::blocked_range<unsigned long>(0, d.vectors->cells.size(), kGrain),
                    [&](const auto& r) {
                      for (unsigned long i = r.begin(); i < r.end(); ++i) {
                        const VectorCell a = cells[i];
                        switch (kind) {
                        case Kind::L2:
                          out[i] = fusedRow<Kind::L2>(a->data(), q->data(), a->size(), qq);
                          break;
                        case Kind::Dot:
                          out[i] = fusedRow<Kind::Dot>(a->data(), q->data(), a->size(), qq);
                          break;
                        case Kind::Cosine:
                          out[i] = fusedRow<Kind::Cosine>(a->data(), q->data(), a->size(), qq);
                          break;
                        }
                      }
                    });
}

rpn_eval_result_t runBatch(const Program& program, const unsigned char* const* columns,
                           std::size_t numColumns, unsigned long rows, unsigned char* values,
                           unsigned char* nulls, unsigned long* sizes) {
  vela::EvaluatorCache cache;
  const TypedRpnEvaluatorParams params(nullptr, program.elements(), columns, numColumns, values, nulls, sizes,
                                       rows, vela::currentYear(), 0, &cache, nullptr, nullptr);
  return TypedRpnVectorEvaluator::evaluate(params);
}

void benchMeasure(benchmark::State& state, MeasureCase mc, bool fused, int threads) {
  const tbb::global_control limit(tbb::global_control::max_allowed_parallelism,
                                  static_cast<std::size_t>(threads));
  MeasureData& d = measureData(mc);
  d.program = Program();
  d.program.column(kLoadVector, 0).pointerConstant(kConstVector, d.query->cells[0]).op(mc.op);
  const unsigned char* columns[] = {reinterpret_cast<const unsigned char*>(d.vectors->cells.data())};
  std::vector<float> out(mc.rows);
  std::vector<unsigned char> nulls(mc.rows);
  auto run = [&] {
    if (fused)
      runFusedMeasure(mc.kind, d, out.data());
    else
      runBatch(d.program, columns, 1, mc.rows, reinterpret_cast<unsigned char*>(out.data()), nulls.data(),
               nullptr);
  };
  // Both paths must give the same floats, bit for bit.
  std::vector<float> reference(mc.rows);
  runFusedMeasure(mc.kind, d, reference.data());
  run();
  if (std::memcmp(out.data(), reference.data(), mc.rows * sizeof(float)) != 0) {
    state.SkipWithError("the evaluator and the fused loop disagree");
    return;
  }
  for (auto _ : state) {
    run();
    benchmark::ClobberMemory();
  }
  const double bytes = static_cast<double>(d.vectors->bytes());
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * mc.rows));
  state.counters["read_GBps"] =
      benchmark::Counter(bytes * static_cast<double>(state.iterations()) / 1e9, benchmark::Counter::kIsRate);
}

// Text casts: every row parsed into a new pool-charged vector (freed after each call, untimed).
struct TextData {
  std::unique_ptr<ObjectColumn<char>> texts;
};

void freeResults(std::vector<VectorCell>& out, std::vector<unsigned long>& sizes, vela::RamPool& pool) {
  std::size_t given = 0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (vela::cuda::isOwningReservation(sizes[i])) {
      InlineBuffer<float>::deallocate(out[i]);
      given += sizes[i];
    }
    out[i] = nullptr;
    sizes[i] = 0;
  }
  if (given != 0)
    pool.unreserveRaw(given);
}

void benchCast(benchmark::State& state, unsigned long rows, std::size_t dim, bool fused, int threads) {
  const tbb::global_control limit(tbb::global_control::max_allowed_parallelism,
                                  static_cast<std::size_t>(threads));
  static std::unique_ptr<ObjectColumn<char>> texts;
  if (!texts || texts->cells.size() != rows) {
    gCurrent.reset(); // one large dataset at a time
    gCurrentName.clear();
    texts = makeTexts(rows, dim);
  }
  vela::RamPool pool("vector-cast-bench");
  const vela::RamPoolThreadBinding binding(&pool);
  Program program;
  program.column(kLoadString, 0).op(kCastFromString);
  const unsigned char* columns[] = {reinterpret_cast<const unsigned char*>(texts->cells.data())};
  std::vector<VectorCell> out(rows, nullptr), reference(rows, nullptr);
  std::vector<unsigned long> sizes(rows, 0), referenceSizes(rows, 0);
  std::vector<unsigned char> nulls(rows);
  auto runFused = [&](std::vector<VectorCell>& cells, std::vector<unsigned long>& reservations) {
    tbb::parallel_for(tbb::blocked_range<unsigned long>(0, rows, kGrain), [&](const auto& r) {
      const vela::RamPoolThreadBinding bind(&pool);
      for (unsigned long i = r.begin(); i < r.end(); ++i) {
        ManagedInlineBufferPtr<float> buffer;
        if (vela::RecordCodec::parseVector(texts->cells[i]->view(), 0, buffer).ok()) {
          reservations[i] = buffer.reservedBytes();
          cells[i] = buffer.release();
          nulls[i] = 0;
        } else {
          nulls[i] = 1;
        }
      }
    });
  };
  auto run = [&] {
    if (fused)
      runFused(out, sizes);
    else
      runBatch(program, columns, 1, rows, reinterpret_cast<unsigned char*>(out.data()), nulls.data(),
               sizes.data());
  };
  runFused(reference, referenceSizes);
  run();
  for (unsigned long i = 0; i < rows; ++i)
    if (out[i] == nullptr || !out[i]->sameContents(*reference[i]) || sizes[i] != referenceSizes[i]) {
      state.SkipWithError("the evaluator and the fused loop disagree");
      break;
    }
  freeResults(reference, referenceSizes, pool);
  freeResults(out, sizes, pool);
  for (auto _ : state) {
    run();
    state.PauseTiming();
    freeResults(out, sizes, pool);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * rows));
  state.counters["read_GBps"] =
      benchmark::Counter(static_cast<double>(texts->bytes()) * static_cast<double>(state.iterations()) / 1e9,
                         benchmark::Counter::kIsRate);
}

// The machine's read bandwidth: a sum over a 512 MB float array, split over the threads.
void benchMemorySum(benchmark::State& state, int threads) {
  const tbb::global_control limit(tbb::global_control::max_allowed_parallelism,
                                  static_cast<std::size_t>(threads));
  gCurrent.reset();
  gCurrentName.clear();
  constexpr std::size_t kFloats = (512ul << 20) / sizeof(float);
  std::unique_ptr<float[]> data(new float[kFloats]);
  tbb::parallel_for(tbb::blocked_range<std::size_t>(0, kFloats, 1 << 20), [&](const auto& r) {
    for (std::size_t i = r.begin(); i < r.end(); ++i)
      data[i] = 1.0f;
  });
  std::atomic<float> total{0};
  for (auto _ : state) {
    tbb::parallel_for(tbb::blocked_range<std::size_t>(0, kFloats, 1 << 18), [&](const auto& r) {
      __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
      std::size_t i = r.begin();
      for (; i + 32 <= r.end(); i += 32) {
        a0 = _mm256_add_ps(a0, _mm256_loadu_ps(&data[i]));
        a1 = _mm256_add_ps(a1, _mm256_loadu_ps(&data[i + 8]));
        a2 = _mm256_add_ps(a2, _mm256_loadu_ps(&data[i + 16]));
        a3 = _mm256_add_ps(a3, _mm256_loadu_ps(&data[i + 24]));
      }
      float s = laneTotal(_mm256_add_ps(_mm256_add_ps(a0, a1), _mm256_add_ps(a2, a3)));
      for (; i < r.end(); ++i)
        s += data[i];
      total.store(s, std::memory_order_relaxed);
    });
    benchmark::DoNotOptimize(total.load());
  }
  state.counters["read_GBps"] = benchmark::Counter(static_cast<double>(kFloats * sizeof(float)) *
                                                       static_cast<double>(state.iterations()) / 1e9,
                                                   benchmark::Counter::kIsRate);
}

bool registerVectorBenchmarks() {
  const MeasureCase cases[] = {
      {"l2_distance/d128", Kind::L2, kL2Distance, 1000000, 128},
      {"cosine_distance/d128", Kind::Cosine, kCosine, 1000000, 128},
      {"dot_product/d128", Kind::Dot, kDot, 1000000, 128},
      {"l2_distance/d1536", Kind::L2, kL2Distance, 100000, 1536},
      {"cosine_distance/d1536", Kind::Cosine, kCosine, 100000, 1536},
      {"dot_product/d1536", Kind::Dot, kDot, 100000, 1536},
  };
  for (int threads : {1, 2})
    benchmark::RegisterBenchmark(("vector/memory_sum/512MiB/threads:" + std::to_string(threads)).c_str(),
                                 benchMemorySum, threads)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  for (const MeasureCase& mc : cases)
    for (bool fused : {true, false})
      for (int threads : {1, 2})
        benchmark::RegisterBenchmark(("vector/" + mc.name + "/rows:" + std::to_string(mc.rows) + "/" +
                                      (fused ? "fused" : "batch") + "/threads:" + std::to_string(threads))
                                         .c_str(),
                                     benchMeasure, mc, fused, threads)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
  for (bool fused : {true, false})
    for (int threads : {1, 2})
      benchmark::RegisterBenchmark(("vector/cast_from_string/d128/rows:100000/" +
                                    std::string(fused ? "fused" : "batch") +
                                    "/threads:" + std::to_string(threads))
                                       .c_str(),
                                   benchCast, 100000ul, std::size_t{128}, fused, threads)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
  return true;
}

[[maybe_unused]] const bool kRegistered = registerVectorBenchmarks();

} // namespace

} // namespace quarry::bench
