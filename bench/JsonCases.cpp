// Benchmarks of the JSON ops over 1,000,000 small documents (nine members, two levels, one row in a
// hundred NULL), on 1 and 2 threads:
//
//   cast_from_string      JSON_CAST_FROM_STRING: the documents' text into owned JSON cells
//   value_long/*          JSON_VALUE_LONG of `$.a.b` (NULL ON EMPTY, NULL ON ERROR): the path as a
//                         constant (compiled once per batch), as a column holding the same text in every
//                         row (compiled once per batch through the last-text cache), and as a column
//                         alternating two spellings of it (compiled every row: the cache never hits);
//                         the `_hot` forms over 1,024 documents repeated, which the caches hold, so
//                         that the path's handling is what the two differ in
//   path_exists_filter    JSON_PATH_EXISTS of `$.d[?(@ > 5)]`
//   array_contains_any    ARRAY_CONTAINS_ANY of the `d` arrays against the constant [7, 2.5, "x"]
//
// The documents' size does not fit the suite's fixed datasets, so the cases register their own
// benchmarks, named json/<case>/rows:1000000/<path>/threads:<t>. Paths: `fused`, a hand-written loop
// doing the same work with the JSON library directly (parallel over the same rows, writing the same
// cells and null flags), and `batch`, the column-batch evaluator. Before timing, the evaluator's results
// are checked against the fused loop's. At 1,000,000 rows the reported milliseconds per iteration read
// as nanoseconds per row.

#include <benchmark/benchmark.h>

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/parallel_for.h>

#include "base/CallContext.h"
#include "base/ProgramBuilder.h"
#include "base/RamPool.h"
#include "bench/BenchSupport.h"
#include "cuda/ManagedObjects.h"
#include "cuda/TypedRpnEvaluatorImpl.h"

namespace quarry::bench {

namespace {

using vela::cuda::InlineBuffer;
using vela::cuda::JsonValue;
using vela::cuda::ManagedJsonValue;
using vela::cuda::rpn_eval_result_t;
using vela::cuda::TypedRpnEvaluatorParams;
using vela::cuda::TypedRpnVectorEvaluator;
using vela::ParserUtils::Program;
using JsonCell = const JsonValue*;
using StringCell = const InlineBuffer<char>*;

constexpr int kLoadJson = 227, kLoadArray = 228, kLoadString = 233, kConstString = 62, kConstArray = 64,
              kConstI32 = 37, kConstI64 = 40, kNotNullState = 239;
constexpr int kCastFromString = 610, kValueLong = 1848, kPathExists = 1840, kContainsAny = 1875;
constexpr unsigned long kRows = 1000000, kGrain = 1024;

// Generator streams (the first argument of mix).
enum Stream : std::size_t { kNullRow = 100, kKindB, kIntB, kFloatB, kNoB, kText, kArray, kElement, kOther };

// --- the documents -------------------------------------------------------------------------------

void appendInteger(std::string& s, long v) {
  char digits[24];
  s.append(digits, std::to_chars(digits, digits + sizeof digits, v).ptr);
}

void appendDouble(std::string& s, double v) {
  char digits[32];
  s.append(digits, std::to_chars(digits, digits + sizeof digits, v).ptr);
}

void appendWord(std::string& s, std::size_t stream, unsigned long r) {
  char text[16];
  s += '"';
  s.append(text, wordsText(stream, r, 1, sizeof text, text));
  s += '"';
}

// a.b: mostly integers of every magnitude, then each other kind the conversion to a long meets.
void appendB(std::string& s, unsigned long r) {
  const std::uint64_t kind = mix(kKindB, r) % 100;
  const long wide = static_cast<long>(mix(kIntB, r));
  if (kind < 86) {
    appendInteger(s, wide >> (mix(kIntB, r + kRows) % 64));
  } else if (kind < 91) {
    appendDouble(s, smallF64(kFloatB, r) * 1e6); // truncated toward zero
  } else if (kind < 94) {
    s += '"';
    appendInteger(s, wide >> 20); // a whole decimal integer in a string
    s += '"';
  } else if (kind < 95) {
    s += "\" 12\""; // not a whole integer: NULL
  } else if (kind < 96) {
    s += wide < 0 ? "true" : "false";
  } else if (kind < 97) {
    s += std::to_string(static_cast<std::uint64_t>(wide) | (1ull << 63)); // above the long range
  } else if (kind < 98) {
    s += "-1e300"; // a double beyond the long range
  } else if (kind < 99) {
    s += "null";
  } else {
    s += R"({"x":1})"; // not a scalar
  }
}

// Row r's document: {"id":r,"a":{"b":...,"c":"..."},"d":[0 to 6 numbers],"e":...,"f":...,"g":"...",
// "h":null,"i":...,"k":{"x":...,"y":"..."}}. The numbers of d are integers 0..9, one in ten 0.5 more.
void documentText(unsigned long r, std::string& s) {
  s.clear();
  s += R"({"id":)";
  appendInteger(s, static_cast<long>(r));
  s += R"(,"a":{)";
  if (mix(kNoB, r) % 100 != 0) {
    s += R"("b":)";
    appendB(s, r);
    s += ',';
  }
  s += R"("c":)";
  appendWord(s, kText, r);
  s += R"(},"d":[)";
  const std::uint64_t n = mix(kArray, r) % 7;
  for (std::uint64_t i = 0; i < n; ++i) {
    const std::uint64_t h = mix(kElement, r * 8 + i);
    if (i != 0)
      s += ',';
    if (h % 10 == 0)
      appendDouble(s, static_cast<double>(h / 10 % 10) + 0.5);
    else
      appendInteger(s, static_cast<long>(h / 10 % 10));
  }
  const std::uint64_t h = mix(kOther, r);
  s += R"(],"e":)";
  s += h & 1 ? "true" : "false";
  s += R"(,"f":)";
  appendDouble(s, smallF64(kOther, r));
  s += R"(,"g":)";
  appendWord(s, kOther, r);
  s += R"(,"h":null,"i":)";
  appendInteger(s, anyI32(kOther, r));
  s += R"(,"k":{"x":)";
  appendInteger(s, static_cast<long>(h >> 8 & 1023));
  s += R"(,"y":)";
  appendWord(s, kOther + 1, r);
  s += "}}";
}

StringCell makeString(std::string_view text) {
  InlineBuffer<char>* s = InlineBuffer<char>::allocate(text.size());
  std::memcpy(s->data(), text.data(), text.size());
  return s;
}

// The inputs of every case, built once (about 1.5 GB) and kept for the run. Frees its cells on one
// thread: the last owner may die during static destruction, when the task scheduler is gone.
struct JsonData {
  std::vector<StringCell> texts;     // the documents' text; null in the NULL rows
  std::vector<JsonCell> docs;        // the documents parsed
  std::vector<JsonCell> hotDocs;     // row r: docs[r % kHotDocs], a set the caches hold
  std::vector<JsonCell> arrays;      // each document's `d`, pointing into it
  std::vector<StringCell> samePaths; // "$.a.b" in every row
  std::vector<StringCell> altPaths;  // "$.a.b" and "$['a']['b']" alternating
  StringCell constantPath = makeString("$.a.b");
  StringCell filterPath = makeString("$.d[?(@ > 5)]");
  JsonValue constantArray = JsonValue::parse(R"([7, 2.5, "x"])");
  std::size_t textBytes = 0;

  static constexpr unsigned long kHotDocs = 1024;

  JsonData() : texts(kRows), docs(kRows), hotDocs(kRows), arrays(kRows), samePaths(kRows), altPaths(kRows) {
    tbb::parallel_for(tbb::blocked_range<unsigned long>(0, kRows, 1 << 12), [&](const auto& range) {
      std::string text;
      for (unsigned long r = range.begin(); r < range.end(); ++r) {
        samePaths[r] = makeString("$.a.b");
        altPaths[r] = makeString(r % 2 == 0 ? "$.a.b" : "$['a']['b']");
        if (mix(kNullRow, r) % 100 == 0)
          continue;
        documentText(r, text);
        texts[r] = makeString(text);
        auto* doc = new JsonValue(JsonValue::parse(text));
        docs[r] = doc;
        arrays[r] = &doc->at("d");
      }
    });
    for (StringCell t : texts)
      textBytes += t == nullptr ? 0 : t->size();
    for (unsigned long r = 0; r < kRows; ++r)
      hotDocs[r] = docs[r % kHotDocs];
  }
  JsonData(const JsonData&) = delete;
  JsonData& operator=(const JsonData&) = delete;
  ~JsonData() {
    for (auto* column : {&texts, &samePaths, &altPaths})
      for (StringCell s : *column)
        InlineBuffer<char>::deallocate(s);
    for (JsonCell d : docs)
      delete d;
    InlineBuffer<char>::deallocate(constantPath);
    InlineBuffer<char>::deallocate(filterPath);
  }
};

JsonData& jsonData() {
  static JsonData data;
  return data;
}

rpn_eval_result_t runBatch(const Program& program, const unsigned char* const* columns,
                           std::size_t numColumns, unsigned char* values, unsigned char* nulls,
                           unsigned long* sizes) {
  vela::EvaluatorCache cache;
  const TypedRpnEvaluatorParams params(nullptr, program.elements(), columns, numColumns, values, nulls, sizes,
                                       kRows, vela::currentYear(), 0, &cache, nullptr, nullptr);
  return TypedRpnVectorEvaluator::evaluate(params);
}

template <class F>
void parallelRows(F&& body) {
  tbb::parallel_for(tbb::blocked_range<unsigned long>(0, kRows, kGrain), [&](const auto& range) {
    for (unsigned long i = range.begin(); i < range.end(); ++i)
      body(i);
  });
}

const unsigned char* cellsOf(const void* cells) {
  return static_cast<const unsigned char*>(cells);
}

// --- the fused loops -----------------------------------------------------------------------------

// JSON_VALUE_LONG's conversion of a scalar to a long; false for what does not convert.
bool toLong(const JsonValue& v, long& out) {
  switch (v.type()) {
  case JsonValue::value_t::number_integer:
    out = v.get<std::int64_t>();
    return true;
  case JsonValue::value_t::number_unsigned:
    out = static_cast<long>(v.get<std::uint64_t>());
    return out >= 0;
  case JsonValue::value_t::boolean:
    out = v.get<bool>() ? 1 : 0;
    return true;
  case JsonValue::value_t::number_float: {
    const double d = v.get<double>();
    if (!(d >= -0x1p63 && d < 0x1p63)) // NaN fails too
      return false;
    out = static_cast<long>(d);
    return true;
  }
  case JsonValue::value_t::string: {
    const std::string& s = v.get_ref<const std::string&>();
    const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size() && !s.empty();
  }
  default:
    return false;
  }
}

// $.a.b by member lookups; NULL when absent, JSON null, a container or not convertible.
void fusedValueLong(const std::vector<JsonCell>& docs, long* values, unsigned char* nulls) {
  parallelRows([&](unsigned long i) {
    long v = 0;
    bool found = false;
    if (const JsonValue* doc = docs[i]; doc != nullptr && doc->is_object()) {
      const auto& top = doc->get_ref<const JsonValue::object_t&>();
      if (const auto a = top.find("a"); a != top.end() && a->second.is_object()) {
        const auto& inner = a->second.get_ref<const JsonValue::object_t&>();
        if (const auto b = inner.find("b"); b != inner.end())
          found = toLong(b->second, v);
      }
    }
    values[i] = found ? v : 0;
    nulls[i] = found ? 0 : 1;
  });
}

// Numbers greater than 5 among the elements (or member values) of d; false for a NULL document.
bool greaterThanFive(const JsonValue& x) {
  switch (x.type()) {
  case JsonValue::value_t::number_integer:
    return x.get<std::int64_t>() > 5;
  case JsonValue::value_t::number_unsigned:
    return x.get<std::uint64_t>() > 5;
  case JsonValue::value_t::number_float:
    return x.get<double>() > 5.0;
  default:
    return false;
  }
}

void fusedPathExists(const JsonData& d, std::uint8_t* values, unsigned char* nulls) {
  parallelRows([&](unsigned long i) {
    bool any = false;
    if (const JsonValue* doc = d.docs[i]; doc != nullptr && doc->is_object()) {
      const auto& top = doc->get_ref<const JsonValue::object_t&>();
      if (const auto m = top.find("d"); m != top.end() && m->second.is_structured())
        for (const JsonValue& x : m->second) // elements of an array, member values of an object
          if ((any = greaterThanFive(x)))
            break;
    }
    values[i] = any ? 1 : 0;
    nulls[i] = 0;
  });
}

void fusedContainsAny(const JsonData& d, std::uint8_t* values, unsigned char* nulls) {
  const JsonValue& wanted = d.constantArray;
  parallelRows([&](unsigned long i) {
    const JsonValue* a = d.arrays[i];
    bool any = false;
    if (a != nullptr)
      for (const JsonValue& y : wanted) {
        for (const JsonValue& x : *a)
          if ((any = x == y))
            break;
        if (any)
          break;
      }
    values[i] = any ? 1 : 0;
    nulls[i] = a == nullptr ? 1 : 0;
  });
}

// --- scalar results ------------------------------------------------------------------------------

enum class ScalarCase {
  ValueConstantPath,
  ValueSamePaths,
  ValueAlternatingPaths,
  ValueConstantPathHot,
  ValueAlternatingPathsHot,
  PathExists,
  ContainsAny
};

struct ScalarSetup {
  Program program;
  std::vector<const unsigned char*> columns;
  std::size_t width;
  void (*fused)(const JsonData&, unsigned char*, unsigned char*);
};

ScalarSetup scalarSetup(ScalarCase c, const JsonData& d) {
  ScalarSetup s;
  const bool hot = c == ScalarCase::ValueConstantPathHot || c == ScalarCase::ValueAlternatingPathsHot;
  s.columns.push_back(cellsOf(c == ScalarCase::ContainsAny ? d.arrays.data()
                              : hot                        ? d.hotDocs.data()
                                                           : d.docs.data()));
  switch (c) {
  case ScalarCase::ValueConstantPath:
  case ScalarCase::ValueSamePaths:
  case ScalarCase::ValueAlternatingPaths:
  case ScalarCase::ValueConstantPathHot:
  case ScalarCase::ValueAlternatingPathsHot:
    s.program.column(kLoadJson, 0);
    if (c == ScalarCase::ValueConstantPath || c == ScalarCase::ValueConstantPathHot) {
      s.program.pointerConstant(kConstString, d.constantPath);
    } else if (c == ScalarCase::ValueAlternatingPathsHot) {
      s.columns.push_back(cellsOf(d.altPaths.data()));
      s.program.column(kLoadString, 1);
    } else {
      s.columns.push_back(cellsOf(c == ScalarCase::ValueSamePaths ? d.samePaths.data() : d.altPaths.data()));
      s.program.column(kLoadString, 1);
    }
    s.program.constant(kConstI64, 0l).constant(kConstI32, 0); // the default, the flags
    for (int i = 0; i < 4; ++i)
      s.program.op(kNotNullState);
    s.program.op(kValueLong);
    s.width = sizeof(long);
    s.fused = hot ? [](const JsonData& data, unsigned char* v,
                       unsigned char* n) { fusedValueLong(data.hotDocs, reinterpret_cast<long*>(v), n); }
                  : [](const JsonData& data, unsigned char* v, unsigned char* n) {
                      fusedValueLong(data.docs, reinterpret_cast<long*>(v), n);
                    };
    break;
  case ScalarCase::PathExists:
    s.program.column(kLoadJson, 0).pointerConstant(kConstString, d.filterPath).op(kPathExists);
    s.width = 1;
    s.fused = [](const JsonData& data, unsigned char* v, unsigned char* n) { fusedPathExists(data, v, n); };
    break;
  case ScalarCase::ContainsAny:
    s.program.column(kLoadArray, 0).pointerConstant(kConstArray, &d.constantArray);
    s.program.op(kNotNullState).op(kNotNullState).op(kContainsAny);
    s.width = 1;
    s.fused = [](const JsonData& data, unsigned char* v, unsigned char* n) { fusedContainsAny(data, v, n); };
    break;
  }
  return s;
}

void benchScalar(benchmark::State& state, ScalarCase c, bool fused, int threads) {
  const tbb::global_control limit(tbb::global_control::max_allowed_parallelism,
                                  static_cast<std::size_t>(threads));
  const JsonData& d = jsonData();
  const ScalarSetup s = scalarSetup(c, d);
  std::vector<unsigned char> values(kRows * s.width), nulls(kRows);
  auto run = [&] {
    if (fused)
      s.fused(d, values.data(), nulls.data());
    else
      runBatch(s.program, s.columns.data(), s.columns.size(), values.data(), nulls.data(), nullptr);
  };
  // The same null flags, and the same values in the rows that are not NULL.
  std::vector<unsigned char> referenceValues(kRows * s.width), referenceNulls(kRows);
  s.fused(d, referenceValues.data(), referenceNulls.data());
  run();
  for (unsigned long i = 0; i < kRows; ++i)
    if (nulls[i] != referenceNulls[i] ||
        (nulls[i] == 0 && std::memcmp(&values[i * s.width], &referenceValues[i * s.width], s.width) != 0)) {
      state.SkipWithError(("the evaluator and the fused loop disagree at row " + std::to_string(i)).c_str());
      return;
    }
  for (auto _ : state) {
    run();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRows));
}

// --- JSON from text ------------------------------------------------------------------------------

// Frees the owned result cells and gives their reservations back to `pool`.
void freeResults(std::vector<JsonCell>& cells, std::vector<unsigned long>& sizes, vela::RamPool& pool) {
  std::atomic<std::size_t> given{0};
  parallelRows([&](unsigned long i) {
    if (vela::cuda::isOwningReservation(sizes[i])) {
      delete cells[i];
      given.fetch_add(sizes[i], std::memory_order_relaxed);
    }
    cells[i] = nullptr;
    sizes[i] = 0;
  });
  if (given.load() != 0)
    pool.unreserveRaw(given.load());
}

// Parses each text and stores the value in a pool-charged node, as the cast's result is stored.
void fusedCast(const JsonData& d, vela::RamPool& pool, JsonCell* cells, unsigned long* sizes,
               unsigned char* nulls) {
  parallelRows([&](unsigned long i) {
    const StringCell text = d.texts[i];
    if (text == nullptr) {
      cells[i] = nullptr;
      sizes[i] = 0;
      nulls[i] = 1;
      return;
    }
    ManagedJsonValue value(JsonValue::parse(text->view()), &pool);
    cells[i] = value.release();
    sizes[i] = static_cast<unsigned long>(value.reservedBytes());
    nulls[i] = 0;
  });
}

void benchCast(benchmark::State& state, bool fused, int threads) {
  const tbb::global_control limit(tbb::global_control::max_allowed_parallelism,
                                  static_cast<std::size_t>(threads));
  const JsonData& d = jsonData();
  vela::RamPool pool("json-cast-bench");
  const vela::RamPoolThreadBinding binding(&pool);
  Program program;
  program.column(kLoadString, 0).op(kCastFromString);
  const unsigned char* columns[] = {cellsOf(d.texts.data())};
  std::vector<JsonCell> cells(kRows, nullptr);
  std::vector<unsigned long> sizes(kRows, 0);
  std::vector<unsigned char> nulls(kRows);
  auto run = [&] {
    if (fused)
      fusedCast(d, pool, cells.data(), sizes.data(), nulls.data());
    else
      runBatch(program, columns, 1, reinterpret_cast<unsigned char*>(cells.data()), nulls.data(),
               sizes.data());
  };
  // Checked against the parsed documents and the fused loop's reservations (one result set alive at a
  // time: each is about 1.5 GB).
  fusedCast(d, pool, cells.data(), sizes.data(), nulls.data());
  const std::vector<unsigned long> referenceSizes = sizes;
  freeResults(cells, sizes, pool);
  run();
  for (unsigned long i = 0; i < kRows; ++i) {
    const bool same = d.docs[i] == nullptr ? cells[i] == nullptr && nulls[i] == 1
                                           : cells[i] != nullptr && nulls[i] == 0 && *cells[i] == *d.docs[i];
    if (!same || sizes[i] != referenceSizes[i]) {
      freeResults(cells, sizes, pool);
      state.SkipWithError(("the evaluator and the fused loop disagree at row " + std::to_string(i)).c_str());
      return;
    }
  }
  freeResults(cells, sizes, pool);
  for (auto _ : state) {
    run();
    state.PauseTiming();
    freeResults(cells, sizes, pool);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRows));
  state.counters["read_MBps"] =
      benchmark::Counter(static_cast<double>(d.textBytes) * static_cast<double>(state.iterations()) / 1e6,
                         benchmark::Counter::kIsRate);
}

bool registerJsonBenchmarks() {
  const std::string rows = "/rows:" + std::to_string(kRows);
  const auto name = [&](const std::string& c, bool fused, int threads) {
    return "json/" + c + rows + (fused ? "/fused" : "/batch") + "/threads:" + std::to_string(threads);
  };
  const auto add = [](const std::string& n, auto fn, auto... args) {
    benchmark::RegisterBenchmark(n.c_str(), fn, args...)->Unit(benchmark::kMillisecond)->UseRealTime();
  };
  for (bool fused : {true, false})
    for (int threads : {1, 2})
      add(name("cast_from_string", fused, threads), benchCast, fused, threads);
  // The fused loop of the three path forms is one: the path is known when it is written.
  const struct {
    const char* name;
    ScalarCase c;
    bool withFused;
  } scalars[] = {
      {"value_long/constant_path", ScalarCase::ValueConstantPath, true},
      {"value_long/column_same_path", ScalarCase::ValueSamePaths, false},
      {"value_long/column_alternating_paths", ScalarCase::ValueAlternatingPaths, false},
      // The same two over 1,024 documents repeated: the documents stay in the caches, so what is left
      // is the path's handling (compiled once per batch, or once per row).
      {"value_long/constant_path_hot", ScalarCase::ValueConstantPathHot, true},
      {"value_long/column_alternating_paths_hot", ScalarCase::ValueAlternatingPathsHot, false},
      {"path_exists_filter", ScalarCase::PathExists, true},
      {"array_contains_any", ScalarCase::ContainsAny, true},
  };
  for (const auto& s : scalars)
    for (bool fused : {true, false})
      for (int threads : {1, 2})
        if (!fused || s.withFused)
          add(name(s.name, fused, threads), benchScalar, s.c, fused, threads);
  return true;
}

[[maybe_unused]] const bool kRegistered = registerJsonBenchmarks();

} // namespace

} // namespace quarry::bench
