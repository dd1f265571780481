#include "bench/BenchCases.h"
#include "bench/BenchSupport.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include "TypeManagement/Int96.h"
#include "base/Int128.h"
#include "base/RamPool.h"
#include "cuda/EvalElementHandler.h"
#include "cuda/ManagedObjects.h"

namespace quarry::bench {

using vela::int128_t;
using vela::ParserUtils::EvalInfo;
using vela::ParserUtils::Program;
using namespace vela::cuda;

namespace {

// Rows a fused-loop task takes at least: enough to pay for the task, few enough to balance two threads
// at 4,096 rows.
constexpr unsigned long kFusedGrain = 1024;

// ---------------------------------------------------------------------------------------------------
// The expressions. Each fused loop is what a programmer would write for this one expression: one pass,
// the inputs read once, the result and the row state stored once.

// i32 a / b with the division's row state (2: zero divisor, value -1; 17: minimum / -1, value a).
void genDiv(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  c == 0 ? fill<int, anyI32>(c, column, b, e) : fill<int, nonZeroI32>(c, column, b, e);
}
rpn_eval_result_t fusedDiv(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  const int* __restrict a = col<int>(in, 0);
  const int* __restrict d = col<int>(in, 1);
  int* __restrict v = reinterpret_cast<int*>(out.values.data());
  unsigned char* __restrict s = out.nulls.data();
  unsigned char worst = 0;
  for (unsigned long i = begin; i < end; ++i) {
    const int x = a[i], y = d[i];
    unsigned char state = 0;
    int q;
    if (y == 0) {
      state = RPN_EVAL_DIVIDE_BY_ZERO;
      q = 0;
    } else if (x == std::numeric_limits<int>::min() && y == -1) {
      state = RPN_EVAL_OVERFLOW;
      q = 0;
    } else {
      q = x / y;
    }
    v[i] = q;
    s[i] = state;
    worst = std::max(worst, state);
  }
  return static_cast<rpn_eval_result_t>(worst);
}

// i64 (a + b) * c, wrapping.
void genI64(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  fill<long, anyI64>(c, column, b, e);
}
rpn_eval_result_t fusedAddMul(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  const auto* __restrict a = col<std::uint64_t>(in, 0);
  const auto* __restrict b = col<std::uint64_t>(in, 1);
  const auto* __restrict c = col<std::uint64_t>(in, 2);
  auto* __restrict v = reinterpret_cast<std::uint64_t*>(out.values.data());
  for (unsigned long i = begin; i < end; ++i)
    v[i] = (a[i] + b[i]) * c[i];
  std::memset(out.nulls.data() + begin, 0, end - begin);
  return RPN_EVAL_OK;
}

// f64 sqrt(x * x + y * y), every operation rounded on its own.
void genF64(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  fill<double, smallF64>(c, column, b, e);
}
rpn_eval_result_t fusedHypot(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  const double* __restrict x = col<double>(in, 0);
  const double* __restrict y = col<double>(in, 1);
  double* __restrict v = reinterpret_cast<double*>(out.values.data());
  for (unsigned long i = begin; i < end; ++i)
    v[i] = std::sqrt(x[i] * x[i] + y[i] * y[i]);
  std::memset(out.nulls.data() + begin, 0, end - begin);
  return RPN_EVAL_OK;
}

// dec64(18, 2) * dec64(18, 2) into dec128 at scale 4: the exact product, saturated to 96 bits.
constexpr int kMulScaleA = 2, kMulScaleB = 2, kMulScaleResult = 4;
void genDecimal(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  fill<long, decimalUnscaled>(c, column, b, e);
}
rpn_eval_result_t fusedDecMul(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  const long* __restrict a = col<long>(in, 0);
  const long* __restrict b = col<long>(in, 1);
  unsigned char* __restrict v = out.values.data();
  for (unsigned long i = begin; i < end; ++i) {
    const int128_t p = static_cast<int128_t>(a[i]) * b[i];
    const vela::Int96 cell = vela::Int96::saturate(p);
    std::memcpy(v + i * 12, &cell, 12);
  }
  std::memset(out.nulls.data() + begin, 0, end - begin);
  return RPN_EVAL_OK;
}

// The bytes of the multiply moved without it: the cell takes a's 8 bytes and b's low 4.
rpn_eval_result_t copyDecMul(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  const long* __restrict a = col<long>(in, 0);
  const long* __restrict b = col<long>(in, 1);
  unsigned char* __restrict v = out.values.data();
  for (unsigned long i = begin; i < end; ++i) {
    std::memcpy(v + i * 12, a + i, 8);
    std::memcpy(v + i * 12 + 8, b + i, 4);
  }
  std::memset(out.nulls.data() + begin, 0, end - begin);
  return RPN_EVAL_OK;
}

// dec64 at scale 2 + dec64 at scale 4, at scale 4: the first operand is scaled by 100, both steps wrap.
constexpr int kAddScaleA = 2, kAddScaleB = 4;
rpn_eval_result_t fusedDecAdd(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  const auto* __restrict a = col<std::uint64_t>(in, 0);
  const auto* __restrict b = col<std::uint64_t>(in, 1);
  auto* __restrict v = reinterpret_cast<std::uint64_t*>(out.values.data());
  for (unsigned long i = begin; i < end; ++i)
    v[i] = a[i] * 100u + b[i];
  std::memset(out.nulls.data() + begin, 0, end - begin);
  return RPN_EVAL_OK;
}

// a < b AND x > y in three-valued logic; a, b i64, x, y f64, each with a null-flag column (10% nulls).
// Columns: 0 a, 1 b, 2 x, 3 y, 4..7 their null flags.
void genAnd(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  if (c < 2)
    fill<long, anyI64>(c, column, b, e);
  else if (c < 4)
    fill<double, smallF64>(c, column, b, e);
  else
    fill<unsigned char, nullFlag>(c, column, b, e);
}
rpn_eval_result_t fusedAnd(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  const long* __restrict a = col<long>(in, 0);
  const long* __restrict b = col<long>(in, 1);
  const double* __restrict x = col<double>(in, 2);
  const double* __restrict y = col<double>(in, 3);
  const unsigned char* __restrict na = col<unsigned char>(in, 4);
  const unsigned char* __restrict nb = col<unsigned char>(in, 5);
  const unsigned char* __restrict nx = col<unsigned char>(in, 6);
  const unsigned char* __restrict ny = col<unsigned char>(in, 7);
  unsigned char* __restrict v = out.values.data();
  unsigned char* __restrict s = out.nulls.data();
  unsigned char worst = 0;
  for (unsigned long i = begin; i < end; ++i) {
    const unsigned char p = a[i]<b[i], q = x[i]> y[i];
    const unsigned char sp = (na[i] | nb[i]) != 0, sq = (nx[i] | ny[i]) != 0;
    // A definite FALSE on either side decides; otherwise any null makes the result null.
    const bool definiteFalse = (sp == 0 && p == 0) || (sq == 0 && q == 0);
    const unsigned char state = definiteFalse ? 0 : (sp | sq);
    v[i] = state == 0 ? (p & q) : 0;
    s[i] = state;
    worst |= state;
  }
  return static_cast<rpn_eval_result_t>(worst);
}

// IF(a > b, a, b) with nulls: a null condition counts as false; the result carries the state of the
// selected operand. Columns: 0 a, 1 b, 2 a's null flags, 3 b's.
void genIf(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  c < 2 ? fill<long, anyI64>(c, column, b, e) : fill<unsigned char, nullFlag>(c, column, b, e);
}
rpn_eval_result_t fusedIf(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  const long* __restrict a = col<long>(in, 0);
  const long* __restrict b = col<long>(in, 1);
  const unsigned char* __restrict na = col<unsigned char>(in, 2);
  const unsigned char* __restrict nb = col<unsigned char>(in, 3);
  long* __restrict v = reinterpret_cast<long*>(out.values.data());
  unsigned char* __restrict s = out.nulls.data();
  unsigned char worst = 0;
  for (unsigned long i = begin; i < end; ++i) {
    const bool c = (na[i] | nb[i]) == 0 && a[i] > b[i];
    const unsigned char state = c ? na[i] : nb[i];
    v[i] = state != 0 ? 0 : c ? a[i] : b[i];
    s[i] = state;
    worst |= state;
  }
  return static_cast<rpn_eval_result_t>(worst);
}

// An 8-element program mixing operand widths, a constant, binary and unary ops:
// ABS(a * k + 7 - c), with a, c i64 and k i32 (columns 0, 1, 2), wrapping.
void genMixed(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  c == 1 ? fill<int, anyI32>(c, column, b, e) : fill<long, anyI64>(c, column, b, e);
}
rpn_eval_result_t fusedMixed(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  const auto* __restrict a = col<std::uint64_t>(in, 0);
  const int* __restrict k = col<int>(in, 1);
  const auto* __restrict c = col<std::uint64_t>(in, 2);
  auto* __restrict v = reinterpret_cast<std::uint64_t*>(out.values.data());
  for (unsigned long i = begin; i < end; ++i) {
    const std::uint64_t x = a[i] * static_cast<std::uint64_t>(static_cast<long>(k[i])) + 7u - c[i];
    const std::uint64_t m = static_cast<std::uint64_t>(static_cast<long>(x) >> 63);
    v[i] = (x ^ m) - m;
  }
  std::memset(out.nulls.data() + begin, 0, end - begin);
  return RPN_EVAL_OK;
}

std::vector<BenchCase> makeCases() {
  std::vector<BenchCase> cases;
  auto prog = [] { return std::make_shared<Program>(); };

  {
    BenchCase c{"i32_div", false, 4, {4, 4}, genDiv, fusedDiv, prog()};
    c.program->column(139, 0).column(139, 1).op(1077); // LOAD_COL_I32 a, LOAD_COL_I32 b, DIV_I32
    cases.push_back(c);
  }
  {
    BenchCase c{"i64_add_mul", false, 8, {8, 8, 8}, genI64, fusedAddMul, prog()};
    c.program->column(153, 0).column(153, 1).op(1054).column(153, 2).op(1061); // (a + b) * c
    cases.push_back(c);
  }
  {
    BenchCase c{"f64_hypot", false, 8, {8, 8}, genF64, fusedHypot, prog()};
    // LOAD x, LOAD x, MUL_F64, LOAD y, LOAD y, MUL_F64, ADD_F64, SQRT_F64
    c.program->column(208, 0).column(208, 0).op(1074).column(208, 1).column(208, 1).op(1074).op(1059).op(
        1302);
    cases.push_back(c);
  }
  {
    BenchCase c{"dec64_mul", false, 12, {8, 8}, genDecimal, fusedDecMul, prog()};
    EvalInfo info;
    info.setArg(0, 18, kMulScaleA).setArg(1, 18, kMulScaleB).setResult(28, kMulScaleResult);
    c.program->column(175, 0).column(175, 1).op(1063, info); // MUL_DEC64 into dec128
    c.copy = copyDecMul;
    cases.push_back(c);
  }
  {
    BenchCase c{"dec64_add", false, 8, {8, 8}, genDecimal, fusedDecAdd, prog()};
    EvalInfo info;
    info.setArg(0, 18, kAddScaleA).setArg(1, 18, kAddScaleB).setResult(18, kAddScaleB);
    c.program->column(175, 0).column(175, 1).op(1056, info); // ADD_DEC64 at scales 2 and 4
    cases.push_back(c);
  }
  {
    BenchCase c{"and3v_nulls", true, 1, {8, 8, 8, 8, 1, 1, 1, 1}, genAnd, fusedAnd, prog()};
    c.program->column(153, 0)
        .column(153, 1)
        .op(969) // a < b
        .column(240, 4)
        .column(241, 5) // its state: a null or b null
        .column(208, 2)
        .column(208, 3)
        .op(1001) // x > y
        .column(240, 6)
        .column(241, 7) // its state
        .op(253);       // three-valued AND
    cases.push_back(c);
  }
  {
    BenchCase c{"if_i64_nulls", true, 8, {8, 8, 1, 1}, genIf, fusedIf, prog()};
    c.program->column(153, 1)
        .column(153, 0) // first (condition false): b; second: a
        .column(153, 0)
        .column(153, 1)
        .op(995) // a > b
        .column(240, 2)
        .column(241, 3)
        .op(247) // AND NOT NULL: a null condition is false
        .op(320) // drop the condition's state
        .column(240, 3)
        .column(240, 2)
        .op(246)   // the selected operand's state
        .op(1202); // IF_I64
    cases.push_back(c);
  }
  {
    BenchCase c{"mixed8", false, 8, {8, 4, 8}, genMixed, fusedMixed, prog()};
    c.program->column(153, 0)
        .column(139, 1)
        .op(1065) // a * k (MUL_I64_I32)
        .constant(40, 7l)
        .op(1054) // + 7
        .column(153, 2)
        .op(1045) // - c
        .op(840); // ABS_I64
    cases.push_back(c);
  }
  appendTextCases(cases);
  appendStringCases(cases);
  appendDateCases(cases);
  appendDateZoneCases(cases);
  appendDateTextCases(cases);
  appendGeoCases(cases);
  appendH3Cases(cases);
  return cases;
}

} // namespace

using StringCell = const InlineBuffer<char>*;

Dataset::~Dataset() {
  for (const InputColumn& c : columns)
    if (c.ownsStrings)
      tbb::parallel_for(tbb::blocked_range<unsigned long>(0, rows, 1 << 14),
                        [&](const tbb::blocked_range<unsigned long>& r) {
                          const auto* cells = reinterpret_cast<const StringCell*>(c.bytes.data());
                          for (unsigned long i = r.begin(); i < r.end(); ++i)
                            InlineBuffer<char>::deallocate(cells[i]);
                        });
}

std::size_t Dataset::inputBytes() const {
  std::size_t n = 0;
  for (const InputColumn& c : columns) {
    n += c.bytes.size();
    if (c.ownsStrings) {
      const auto* cells = reinterpret_cast<const StringCell*>(c.bytes.data());
      for (unsigned long i = 0; i < rows; ++i)
        n += cells[i] == nullptr ? 0 : InlineBuffer<char>::byteCount(cells[i]->size());
    }
  }
  return n;
}

// A string result's cells start null (the evaluators free what an owning slot holds before writing).
OutputBuffers::OutputBuffers(unsigned long rows, std::size_t width, bool stringResult)
    : values(rows * width, stringResult ? 0 : 0xA5), nulls(rows, 0xA5), sizes(stringResult ? rows : 0, 0) {}

void OutputBuffers::releaseStrings() {
  if (sizes.empty())
    return;
  auto* cells = reinterpret_cast<StringCell*>(values.data());
  tbb::parallel_for(tbb::blocked_range<unsigned long>(0, sizes.size(), 1 << 14),
                    [&](const tbb::blocked_range<unsigned long>& r) {
                      std::size_t given = 0;
                      for (unsigned long i = r.begin(); i < r.end(); ++i) {
                        if (isOwningReservation(sizes[i])) {
                          deleteString(cells[i]);
                          given += sizes[i];
                        }
                        cells[i] = nullptr;
                        sizes[i] = 0;
                      }
                      if (given != 0)
                        pool->unreserveRaw(given);
                    });
}

const std::vector<BenchCase>& benchCases() {
  static const std::vector<BenchCase> cases = makeCases();
  return cases;
}

const Program& singleRowProgram() {
  static const Program p = [] {
    Program q;
    q.column(153, 0).column(153, 1).op(1054); // a + b
    return q;
  }();
  return p;
}

std::unique_ptr<Dataset> makeDataset(const BenchCase& bc, unsigned long rows) {
  auto d = std::make_unique<Dataset>();
  d->rows = rows;
  for (std::size_t c = 0; c < bc.columnWidths.size(); ++c) {
    InputColumn& column = d->columns.emplace_back();
    column.width = bc.columnWidths[c];
    column.bytes.resize(rows * column.width);
    column.ownsStrings = bc.stringInputs;
    tbb::parallel_for(
        tbb::blocked_range<unsigned long>(0, rows, 1 << 16),
        [&](const tbb::blocked_range<unsigned long>& r) { bc.generate(c, column, r.begin(), r.end()); });
  }
  for (const InputColumn& c : d->columns)
    d->pointers.push_back(c.bytes.data());
  return d;
}

namespace {
rpn_eval_result_t runRanges(FusedRange loop, const Dataset& in, OutputBuffers& out) {
  std::atomic<unsigned char> worst{0};
  vela::RamPool* pool = vela::RamPool::getDefault();
  out.pool = pool;
  tbb::parallel_for(tbb::blocked_range<unsigned long>(0, in.rows, kFusedGrain),
                    [&](const tbb::blocked_range<unsigned long>& r) {
                      const vela::RamPoolThreadBinding binding(pool);
                      const unsigned char w = loop(in, out, r.begin(), r.end());
                      unsigned char seen = worst.load(std::memory_order_relaxed);
                      while (w > seen && !worst.compare_exchange_weak(seen, w, std::memory_order_relaxed)) {
                      }
                    });
  return reportedResult(static_cast<rpn_eval_result_t>(worst.load()));
}
} // namespace

rpn_eval_result_t runFused(const BenchCase& bc, const Dataset& in, OutputBuffers& out) {
  return runRanges(bc.fused, in, out);
}

rpn_eval_result_t runCopy(const BenchCase& bc, const Dataset& in, OutputBuffers& out) {
  return runRanges(bc.copy, in, out);
}

bool programIsRunnable(const Program& program, std::string* missing) {
  for (const vela::ParserUtils::TypedRpnElement& e : program.elements())
    if (OpHandlerTable<TypedRpnVectorEvaluator>::find(e.op) == nullptr) {
      if (missing != nullptr)
        *missing = vela::ParserUtils::get_trpn_op_name(e.op);
      return false;
    }
  return true;
}

} // namespace quarry::bench
