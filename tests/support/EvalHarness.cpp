#include "tests/support/EvalHarness.h"
#include "tests/support/ObjectBytes.h"

#include <algorithm>
#include <functional>
#include <sstream>

#include <geos/io/WKTReader.h>

#include "base/CallContext.h"
#include "base/GeometryCodec.h"
#include "base/RamPool.h"
#include "base/VelaException.h"
#include "cuda/ManagedObjects.h"
#include "cuda/TypedRpnEvaluatorImpl.h"
#include "cuda/TypedRpnValueEvaluator.h"

namespace quarry::test {

using vela::ParserUtils::Program;
using vela::ParserUtils::RpnDataType;
using namespace vela::cuda;

namespace {

constexpr unsigned char kSentinel = 0xA5;
constexpr unsigned long kSentinelSize = 0xA5A5A5A5A5A5A5A5ul;
constexpr int kMaxReportedRows = 5;

// The ways a program is evaluated.
enum class Path { EntryPoint, Vector, Row };
constexpr Path kPaths[] = {Path::EntryPoint, Path::Vector, Path::Row};

const char* pathName(Path p) {
  constexpr const char* kNames[] = {"evaluateTypedRpnHost", "column-batch evaluator", "row evaluator"};
  return kNames[static_cast<int>(p)];
}

// Objects of an input column, freed when the case goes.
struct ObjectOwner {
  std::vector<const void*> objects;
  ObjectDeleter deleter = nullptr;
  ~ObjectOwner() {
    for (const void* o : objects)
      deleter(o);
  }
};

struct Column {
  std::size_t width = 0;
  unsigned long rows = 0;
  std::vector<unsigned char> bytes;
  std::shared_ptr<ObjectOwner> owner;
};

// What one run left in the caller's buffers, with object results read out and freed.
struct RunOutput {
  std::vector<unsigned char> values;
  std::vector<unsigned char> nulls;
  std::vector<unsigned long> sizes;
  std::vector<std::optional<std::string>> objects;
  rpn_eval_result_t code = RPN_EVAL_OK;
  bool usedRowEvaluator = false;
};

std::string objectContents(RpnDataType type, const void* object) {
  return objectBytes(type, object, JsonBytes::Text, GeometryBytes::Wkt);
}

std::string describeRun(Path path, unsigned long rows, bool withNulls) {
  std::ostringstream s;
  s << pathName(path) << ", " << rows << " rows, " << (withNulls ? "with" : "without") << " outNulls";
  return s.str();
}

} // namespace

struct HarnessCase::Impl {
  const Program* program = nullptr;
  std::vector<Column> columns;
  std::optional<unsigned long> rows;
  std::vector<unsigned long> counts = kHarnessRowCounts;
  bool rowDependent = false;
  unsigned long rowOffset = 0;

  unsigned long ownRows() const;
  // The columns cycled to `n` rows (row r holds the case's row r mod ownRows()).
  std::vector<Column> cycled(unsigned long n) const;
  RunOutput runOnce(Path path, unsigned long n, const std::vector<Column>& columns, bool withNulls) const;
  void runAt(unsigned long n, std::vector<RunOutput>& reference) const;
};

unsigned long HarnessCase::Impl::ownRows() const {
  if (rows)
    return *rows;
  return columns.empty() ? 1 : columns.front().rows;
}

std::vector<Column> HarnessCase::Impl::cycled(unsigned long n) const {
  const unsigned long own = ownRows();
  std::vector<Column> out;
  for (const Column& c : columns) {
    Column copy;
    copy.width = c.width;
    copy.rows = n;
    copy.owner = c.owner;
    copy.bytes.resize(n * c.width);
    for (unsigned long r = 0; r < n && own != 0; ++r)
      std::memcpy(copy.bytes.data() + r * c.width, c.bytes.data() + (r % own) * c.width, c.width);
    out.push_back(std::move(copy));
  }
  return out;
}

RunOutput HarnessCase::Impl::runOnce(Path path, unsigned long n, const std::vector<Column>& cols,
                                     bool withNulls) const {
  const std::vector<TypedRpnElement>& elements = program->elements();
  const RpnDataType type = vela::ParserUtils::get_evaluated_type(elements);
  const std::size_t width = vela::ParserUtils::get_rpn_datatype_size(type);
  const bool objects = vela::ParserUtils::isObjectType(type);

  std::vector<const unsigned char*> pointers;
  for (const Column& c : cols)
    pointers.push_back(c.bytes.data());

  RunOutput out;
  out.values.assign(n * width, kSentinel);
  out.nulls.assign(n, kSentinel);
  out.sizes.assign(n, kSentinelSize);

  vela::RamPool pool("eval-harness");
  {
    vela::RamPoolThreadBinding binding(&pool);
    unsigned char* nulls = withNulls ? out.nulls.data() : nullptr;
    const ProgramAnalysis analysis = analyzeProgram(elements.data(), elements.size());
    try {
      switch (path) {
      case Path::EntryPoint:
        out.usedRowEvaluator = n == 1 || analysis.hasExpensiveHostOnly;
        out.code = evaluateTypedRpnHost(elements, pointers.data(), pointers.size(), out.values.data(), nulls,
                                        out.sizes.data(), n, rowOffset, nullptr, nullptr);
        break;
      case Path::Vector:
      case Path::Row: {
        vela::EvaluatorCache cache;
        TypedRpnEvaluatorParams params(nullptr, elements, pointers.data(), pointers.size(), out.values.data(),
                                       nulls, out.sizes.data(), n, vela::currentYear(), rowOffset, &cache,
                                       nullptr, nullptr);
        out.usedRowEvaluator = path == Path::Row;
        out.code = path == Path::Row ? TypedRpnValueEvaluator::evaluate(params)
                                     : TypedRpnVectorEvaluator::evaluate(params);
        break;
      }
      }
    } catch (...) {
      // A fault frees every intermediate object and buffer on the way out; final results already
      // written (other tasks may have finished their rows) belong to the caller, who frees them.
      if (objects)
        for (unsigned long r = 0; r < n; ++r)
          if (isOwningReservation(out.sizes[r])) {
            void* object;
            std::memcpy(&object, out.values.data() + r * width, sizeof object);
            objectDeleterFor(type)(object);
            pool.unreserveRaw(out.sizes[r]);
          }
      EXPECT_EQ(pool.reservedBytes(), 0u) << "pool balanced after a fault";
      throw;
    }

    // The pool holds exactly what the size array reports; the caller then frees what it was given.
    if (objects) {
      unsigned long total = 0;
      out.objects.resize(n);
      for (unsigned long r = 0; r < n; ++r) {
        const void* object;
        std::memcpy(&object, out.values.data() + r * width, sizeof object);
        if (object != nullptr)
          out.objects[r] = objectContents(type, object);
        if (out.sizes[r] == 0) {
          EXPECT_EQ(object, nullptr) << "row " << r << ": a non-null result that the caller does not own";
          continue;
        }
        EXPECT_TRUE(isOwningReservation(out.sizes[r])) << "row " << r << ": size " << out.sizes[r];
        if (object == nullptr || !isOwningReservation(out.sizes[r]))
          continue;
        total += out.sizes[r];
        objectDeleterFor(type)(object);
        std::memset(out.values.data() + r * width, 0, width);
      }
      EXPECT_EQ(pool.reservedBytes(), total) << "the pool holds what outSizes reports";
      if (pool.reservedBytes() >= total)
        pool.unreserveRaw(total);
    } else {
      out.sizes.assign(n, 0);
    }
  }
  EXPECT_EQ(pool.reservedBytes(), 0u) << "pool balanced after the call";
  return out;
}

namespace {

// Compares one run with the reference run (the column-batch evaluator with outNulls at the same rows).
void compareRuns(const RunOutput& ref, const RunOutput& got, std::size_t width, bool withNulls) {
  EXPECT_EQ(int(got.code), int(ref.code)) << "returned code";
  const unsigned long n = ref.nulls.size();
  int reported = 0;
  for (unsigned long r = 0; r < n && reported < kMaxReportedRows; ++r) {
    bool same = std::memcmp(got.values.data() + r * width, ref.values.data() + r * width, width) == 0 &&
                got.sizes[r] == ref.sizes[r] && (ref.objects.empty() || got.objects[r] == ref.objects[r]);
    const unsigned char state = ref.nulls[r];
    // A failed row's null byte is its code in the column-batch evaluator and 1 in the row evaluator.
    const unsigned char wantNull = !withNulls ? kSentinel : got.usedRowEvaluator && state >= 2 ? 1 : state;
    same = same && got.nulls[r] == wantNull;
    if (!same) {
      ++reported;
      ADD_FAILURE() << "row " << r << " differs: null byte " << int(got.nulls[r]) << " (expected "
                    << int(wantNull) << "), size " << got.sizes[r] << " (expected " << ref.sizes[r] << ")"
                    << (ref.objects.empty() || got.objects[r] == ref.objects[r] ? "" : ", object contents");
    }
  }
}

} // namespace

void HarnessCase::Impl::runAt(unsigned long n, std::vector<RunOutput>& base) const {
  const std::vector<TypedRpnElement>& elements = program->elements();
  const RpnDataType type = vela::ParserUtils::get_evaluated_type(elements);
  const std::size_t width = vela::ParserUtils::get_rpn_datatype_size(type);
  const unsigned long own = ownRows();
  const std::vector<Column> cols = n == own ? columns : cycled(n);

  std::optional<RunOutput> reference;
  {
    SCOPED_TRACE(describeRun(Path::Vector, n, true));
    reference = runOnce(Path::Vector, n, cols, true);
  }
  for (Path path : kPaths)
    for (bool withNulls : {true, false}) {
      if (path == Path::Vector && withNulls)
        continue;
      SCOPED_TRACE(describeRun(path, n, withNulls));
      compareRuns(*reference, runOnce(path, n, cols, withNulls), width, withNulls);
    }

  // The returned code is the worst row state when the program reports errors, with 1 reported as 0.
  const ProgramAnalysis analysis = analyzeProgram(elements.data(), elements.size());
  unsigned char worst = 0;
  for (unsigned char s : reference->nulls)
    worst = std::max(worst, s);
  const rpn_eval_result_t wantCode =
      analysis.hasReportableErrors ? reportedResult(static_cast<rpn_eval_result_t>(worst)) : RPN_EVAL_OK;
  EXPECT_EQ(int(reference->code), int(wantCode)) << "code of " << n << " rows against their states";

  if (n == own) {
    base.push_back(std::move(*reference));
    return;
  }
  if (rowDependent || base.empty() || own == 0)
    return;
  // Cycled rows give the case's own rows again.
  const RunOutput& b = base.front();
  int reported = 0;
  for (unsigned long r = 0; r < n && reported < kMaxReportedRows; ++r) {
    const unsigned long k = r % own;
    const bool same =
        std::memcmp(reference->values.data() + r * width, b.values.data() + k * width, width) == 0 &&
        reference->nulls[r] == b.nulls[k] && reference->sizes[r] == b.sizes[k] &&
        (b.objects.empty() || reference->objects[r] == b.objects[k]);
    if (!same) {
      ++reported;
      ADD_FAILURE() << "at " << n << " rows, row " << r << " differs from the case's row " << k;
    }
  }
}

HarnessCase::HarnessCase(const Program& program) : m_impl(std::make_unique<Impl>()) {
  m_impl->program = &program;
}
HarnessCase::~HarnessCase() = default;
HarnessCase::HarnessCase(HarnessCase&&) noexcept = default;
HarnessCase& HarnessCase::operator=(HarnessCase&&) noexcept = default;

HarnessCase& HarnessCase::addRawColumn(std::size_t width, unsigned long rows,
                                       std::vector<unsigned char> bytes) {
  Column c;
  c.width = width;
  c.rows = rows;
  c.bytes = std::move(bytes);
  m_impl->columns.push_back(std::move(c));
  return *this;
}

HarnessCase& HarnessCase::addNullFlags(const std::vector<bool>& nulls) {
  std::vector<std::uint8_t> bytes(nulls.begin(), nulls.end());
  return addColumn(bytes);
}

namespace {

template <class T>
const void* makeInlineBuffer(const T* data, std::size_t n) {
  InlineBuffer<T>* b = InlineBuffer<T>::allocate(n);
  if (n != 0)
    std::memcpy(b->data(), data, n * sizeof(T));
  return b;
}

// A column of pointers to objects made from `values` (nullopt: a null pointer), owned by the case.
template <class V, class Make>
HarnessCase& addObjects(HarnessCase& c, std::vector<Column>& columns,
                        const std::vector<std::optional<V>>& values, ObjectDeleter deleter, Make make) {
  auto owner = std::make_shared<ObjectOwner>();
  owner->deleter = deleter;
  for (const std::optional<V>& v : values)
    owner->objects.push_back(v ? make(*v) : nullptr);
  std::vector<unsigned char> bytes(values.size() * sizeof(void*));
  if (!values.empty())
    std::memcpy(bytes.data(), owner->objects.data(), bytes.size());
  c.addRawColumn(sizeof(void*), values.size(), std::move(bytes));
  columns.back().owner = std::move(owner);
  return c;
}

} // namespace

HarnessCase& HarnessCase::addStringColumn(const std::vector<std::optional<std::string>>& values) {
  return addObjects(*this, m_impl->columns, values, &deleteString,
                    [](const std::string& s) { return makeInlineBuffer(s.data(), s.size()); });
}

HarnessCase& HarnessCase::addVectorColumn(const std::vector<std::optional<std::vector<float>>>& values) {
  return addObjects(*this, m_impl->columns, values, &deleteVector,
                    [](const std::vector<float>& v) { return makeInlineBuffer(v.data(), v.size()); });
}

HarnessCase& HarnessCase::addJsonColumn(const std::vector<std::optional<std::string>>& jsonTexts) {
  return addObjects(*this, m_impl->columns, jsonTexts, &deleteJson,
                    [](const std::string& t) -> const void* { return new JsonValue(JsonValue::parse(t)); });
}

HarnessCase& HarnessCase::addGeometryColumn(const std::vector<std::optional<std::string>>& wkts) {
  const geos::io::WKTReader reader;
  return addObjects(*this, m_impl->columns, wkts, &deleteGeometry,
                    [&](const std::string& w) -> const void* { return reader.read(w).release(); });
}

HarnessCase& HarnessCase::rows(unsigned long n) {
  m_impl->rows = n;
  return *this;
}

HarnessCase& HarnessCase::rowCounts(std::vector<unsigned long> counts) {
  m_impl->counts = std::move(counts);
  return *this;
}

HarnessCase& HarnessCase::rowDependent() {
  m_impl->rowDependent = true;
  return *this;
}

HarnessCase& HarnessCase::rowOffset(unsigned long offset) {
  m_impl->rowOffset = offset;
  return *this;
}

HarnessResult HarnessCase::run() const {
  const Impl& impl = *m_impl;
  const unsigned long own = impl.ownRows();
  for (const Column& c : impl.columns)
    EXPECT_EQ(c.rows, own) << "every column has the case's rows";

  std::vector<RunOutput> base;
  try {
    impl.runAt(own, base);
    for (unsigned long n : impl.counts)
      if (n != own)
        impl.runAt(n, base);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "evaluation threw: " << e.what();
  }

  HarnessResult result;
  const std::vector<TypedRpnElement>& elements = impl.program->elements();
  result.width = vela::ParserUtils::get_rpn_datatype_size(vela::ParserUtils::get_evaluated_type(elements));
  result.rows = own;
  if (base.empty())
    return result;
  RunOutput& b = base.front();
  result.values = std::move(b.values);
  result.states = std::move(b.nulls);
  result.sizes = std::move(b.sizes);
  result.objects = std::move(b.objects);
  result.code = b.code;
  return result;
}

void HarnessCase::checkStates(const HarnessResult& r, const std::vector<std::uint8_t>& states,
                              rpn_eval_result_t code) {
  EXPECT_EQ(int(r.code), int(code)) << "returned code";
  if (!states.empty()) {
    EXPECT_EQ(states.size(), r.rows) << "expected states for every row";
  }
  int reported = 0;
  for (unsigned long row = 0; row < r.rows && row < r.states.size() && reported < kMaxReportedRows; ++row) {
    const unsigned char want = states.empty() ? 0 : row < states.size() ? states[row] : 0;
    if (r.states[row] != want) {
      ++reported;
      ADD_FAILURE() << "row " << row << ": state " << int(r.states[row]) << ", expected " << int(want);
    }
  }
}

HarnessResult HarnessCase::expectStrings(const std::vector<std::optional<std::string>>& values,
                                         const std::vector<std::uint8_t>& states,
                                         rpn_eval_result_t code) const {
  HarnessResult r = run();
  checkStates(r, states, code);
  EXPECT_EQ(values.size(), r.rows) << "expected values for every row";
  for (unsigned long row = 0; row < r.rows && row < values.size() && row < r.objects.size(); ++row)
    EXPECT_EQ(r.objects[row], values[row]) << "row " << row;
  return r;
}

void HarnessCase::expectFault(const std::string& message) const {
  const Impl& impl = *m_impl;
  const unsigned long own = impl.ownRows();
  for (unsigned long n : {own, 1ul, 1000ul}) {
    const std::vector<Column> cols = n == own ? impl.columns : impl.cycled(n);
    for (Path path : kPaths) {
      SCOPED_TRACE(describeRun(path, n, true));
      try {
        impl.runOnce(path, n, cols, true);
        ADD_FAILURE() << "no fault";
      } catch (const vela::VelaException& e) {
        EXPECT_EQ(std::string(e.what()).rfind(message, 0), 0u) << e.what();
      }
    }
  }
}

} // namespace quarry::test
