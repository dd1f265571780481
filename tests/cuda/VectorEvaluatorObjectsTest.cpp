// Object results of the column-batch evaluator: loads and constants of strings, vectors, JSON and
// geometry, ownership through intermediate entries and ops that return their input, null and failed
// rows, and the pool holding exactly what the caller's size array reports after every call.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <geos/io/WKTReader.h>
#include <gtest/gtest.h>

#include "base/JsonValueUtils.h"
#include "base/ManagedGeometryPtr.h"
#include "base/VelaException.h"
#include "cuda/VectorEvalObjects.h"
#include "tests/cuda/VectorEvalTestSupport.h"

using namespace vela::cuda;
using namespace quarry::test;
using vela::ParserUtils::Program;

namespace {

// Objects owned by the test (input columns, program constants), outside any pool.
template <class Object>
using Owned = std::unique_ptr<const Object, ObjectDeleter>;

struct StringKind {
  using Object = InlineBuffer<char>;
  static constexpr int kLoad = 233, kConstant = 62, kNullConstant = 28;
  static constexpr ObjectDeleter kDeleter = &deleteString;
  static Owned<Object> make(int seed) {
    const std::string t(std::size_t(seed % 40), static_cast<char>('a' + seed % 26));
    Object* b = Object::allocate(t.size());
    if (!t.empty())
      std::memcpy(b->data(), t.data(), t.size());
    return {b, kDeleter};
  }
  static bool equal(const Object* a, const Object* b) { return a->sameContents(*b); }
  static unsigned long reservationOf(const Object* o) { return 8 + o->size(); }
};

struct VectorKind {
  using Object = InlineBuffer<float>;
  static constexpr int kLoad = 232, kConstant = 65, kNullConstant = 31;
  static constexpr ObjectDeleter kDeleter = &deleteVector;
  static Owned<Object> make(int seed) {
    Object* b = Object::allocate(std::size_t(seed % 9));
    for (std::size_t i = 0; i < b->size(); ++i)
      b->data()[i] = float(seed) * 0.25f - float(i);
    return {b, kDeleter};
  }
  static bool equal(const Object* a, const Object* b) { return a->sameContents(*b); }
  static unsigned long reservationOf(const Object* o) { return 8 + 4 * o->size(); }
};

struct JsonKind {
  using Object = JsonValue;
  static constexpr int kLoad = 227, kConstant = 63, kNullConstant = 29;
  static constexpr ObjectDeleter kDeleter = &deleteJson;
  static Owned<Object> make(int seed) {
    return {new JsonValue({{"id", seed}, {"name", std::string(std::size_t(seed % 30), 'j')}}), kDeleter};
  }
  static bool equal(const Object* a, const Object* b) { return *a == *b; }
  static unsigned long reservationOf(const Object* o) {
    return vela::JsonValueUtils::getMemoryUsage(*o) + 16;
  }
};

struct GeometryKind {
  using Object = geos::geom::Geometry;
  static constexpr int kLoad = 236, kConstant = 50, kNullConstant = 33;
  static constexpr ObjectDeleter kDeleter = &deleteGeometry;
  static Owned<Object> make(int seed) {
    static const geos::io::WKTReader reader;
    const std::string wkt = seed % 2 ? "POINT (" + std::to_string(seed) + " 2)"
                                     : "LINESTRING (0 0, 1 " + std::to_string(seed) + ", 4 4)";
    return {reader.read(wkt).release(), kDeleter};
  }
  static bool equal(const Object* a, const Object* b) { return a->equalsExact(b); }
  static unsigned long reservationOf(const Object* o) { return vela::ManagedGeometryPtr::footprint(*o); }
};

const std::vector<unsigned long> kObjectRowCounts = {0, 1, 63, 64, 65, 1000};

// An object column of `rows` rows, null at rows 4 mod 5.
template <class K>
struct ObjectColumn {
  std::vector<Owned<typename K::Object>> owners;
  std::vector<const typename K::Object*> cells;
  explicit ObjectColumn(unsigned long rows) {
    for (unsigned long r = 0; r < rows; ++r) {
      owners.push_back(r % 5 == 4 ? Owned<typename K::Object>(nullptr, K::kDeleter) : K::make(int(r)));
      cells.push_back(owners.back().get());
    }
  }
  const unsigned char* data() const { return reinterpret_cast<const unsigned char*>(cells.data()); }
};

template <class K>
const typename K::Object* objectAt(const Outputs& out, unsigned long row) {
  const void* p;
  std::memcpy(&p, out.cell(row), sizeof p);
  return static_cast<const typename K::Object*>(p);
}

// Checks that every row either owns a copy of `want(row)` (not the same object) or, where want is null,
// holds nothing; that the pool holds exactly what the size array reports; then frees the outputs as
// the caller would and checks the pool is back to zero.
template <class K, class Want>
void expectOwnedCopies(const Outputs& out, unsigned long rows, PrivatePool& pool, Want want) {
  unsigned long total = 0;
  for (unsigned long r = 0; r < rows; ++r) {
    const auto* got = objectAt<K>(out, r);
    const typename K::Object* expected = want(r);
    if (expected == nullptr) {
      ASSERT_EQ(got, nullptr) << "row " << r;
      ASSERT_EQ(out.sizes[r], 0u) << "row " << r;
      continue;
    }
    ASSERT_NE(got, nullptr) << "row " << r;
    ASSERT_NE(got, expected) << "row " << r << ": the caller received an object it does not own";
    ASSERT_TRUE(K::equal(got, expected)) << "row " << r;
    ASSERT_EQ(out.sizes[r], K::reservationOf(got)) << "row " << r;
    total += out.sizes[r];
  }
  EXPECT_EQ(pool.pool.reservedBytes(), total);
  for (unsigned long r = 0; r < rows; ++r)
    if (out.sizes[r] != 0) {
      K::kDeleter(objectAt<K>(out, r));
      pool.pool.unreserveRaw(out.sizes[r]);
    }
  EXPECT_EQ(pool.pool.reservedBytes(), 0u);
}

template <class K>
class VectorEvaluatorObjectKinds : public ::testing::Test {};
using Kinds = ::testing::Types<StringKind, VectorKind, JsonKind, GeometryKind>;
TYPED_TEST_SUITE(VectorEvaluatorObjectKinds, Kinds);

} // namespace

TYPED_TEST(VectorEvaluatorObjectKinds, AFinalColumnLoadIsCopiedIntoOwnedObjects) {
  using K = TypeParam;
  for (unsigned long rows : kObjectRowCounts) {
    SCOPED_TRACE(rows);
    PrivatePool pool;
    ObjectColumn<K> column(rows);
    Program p;
    p.column(K::kLoad, 0);
    Outputs out;
    ASSERT_EQ(runVector(p, {column.data()}, rows, out), RPN_EVAL_OK);
    EXPECT_EQ(std::count(out.nulls.begin(), out.nulls.end(), 0), static_cast<long>(rows));
    expectOwnedCopies<K>(out, rows, pool, [&](unsigned long r) { return column.cells[r]; });
  }
}

TYPED_TEST(VectorEvaluatorObjectKinds, AFinalConstantIsCopiedIntoEveryRow) {
  using K = TypeParam;
  const auto constant = K::make(7);
  for (unsigned long rows : kObjectRowCounts) {
    SCOPED_TRACE(rows);
    PrivatePool pool;
    Program p;
    p.pointerConstant(K::kConstant, constant.get());
    Outputs out;
    ASSERT_EQ(runVector(p, {}, rows, out), RPN_EVAL_OK);
    expectOwnedCopies<K>(out, rows, pool, [&](unsigned long) { return constant.get(); });
  }
}

TYPED_TEST(VectorEvaluatorObjectKinds, NullConstantsLeaveNullSlotsOverWhateverTheCallerLeft) {
  using K = TypeParam;
  for (unsigned long rows : kObjectRowCounts) {
    SCOPED_TRACE(rows);
    PrivatePool pool;
    Program p;
    p.op(K::kNullConstant);
    Outputs out; // pre-filled with a non-null pattern and non-zero sizes
    ASSERT_EQ(runVector(p, {}, rows, out), RPN_EVAL_OK);
    expectOwnedCopies<K>(out, rows, pool, [](unsigned long) -> const typename K::Object* { return nullptr; });
  }
}

// --- ownership through ops -------------------------------------------------------------------------

namespace {

using StringCell = const InlineBuffer<char>*;
constexpr int kFakeCopy = 1628, kFakeIdentity = 1668; // STRING_LOWER, STRING_TRIM: string -> string

// A string op building a new object per row.
struct CopyStringFunc {
  void operator()(EvalOutputString out, StringCell in) const { out.writeCopy(in); }
};
void fakeCopy(Eval& e) {
  ElementwiseOp<CopyStringFunc, EvalOutputString, StringCell>::eval(e);
}

// A string op that returns its input unchanged and settles the ownership.
void fakeIdentity(Eval& e) {
  auto in = e.popInput<StringCell>();
  auto out = e.prepareOutput<EvalOutputString>();
  e.runKernel([](EvalOutputString h, StringCell s) { h.writeInput(s); }, out, in);
  e.checkObjectMove(in, out);
  e.push(std::move(out));
}

class VectorEvaluatorStringOps : public ::testing::Test {
protected:
  ScopedOpHandler<Eval> copy{kFakeCopy, &fakeCopy};
  ScopedOpHandler<Eval> identity{kFakeIdentity, &fakeIdentity};
  ScopedOpHandler<Eval> loadStates{kLoadColNulls, &fakeLoadStates};
};

} // namespace

TEST_F(VectorEvaluatorStringOps, InputsReturnedUnchangedEndOwnedExactlyOnce) {
  const auto constant = StringKind::make(11);
  struct Case {
    const char* what;
    std::function<void(Program&)> build;
    bool fromConstant;
  };
  const std::vector<Case> cases = {
      {"borrowed column returned", [](Program& p) { p.column(233, 0).op(kFakeIdentity); }, false},
      {"owned intermediate returned (moved)",
       [](Program& p) { p.column(233, 0).op(kFakeCopy).op(kFakeIdentity); }, false},
      {"intermediate copy of a copy", [](Program& p) { p.column(233, 0).op(kFakeCopy).op(kFakeCopy); },
       false},
      {"constant returned", [&](Program& p) { p.pointerConstant(62, constant.get()).op(kFakeIdentity); },
       true},
      {"constant returned twice",
       [&](Program& p) { p.pointerConstant(62, constant.get()).op(kFakeIdentity).op(kFakeIdentity); }, true},
  };
  for (const Case& c : cases)
    for (unsigned long rows : kObjectRowCounts) {
      SCOPED_TRACE(testing::Message() << c.what << ", rows " << rows);
      PrivatePool pool;
      ObjectColumn<StringKind> column(rows);
      Program p;
      c.build(p);
      Outputs out;
      ASSERT_EQ(runVector(p, {column.data()}, rows, out), RPN_EVAL_OK);
      expectOwnedCopies<StringKind>(out, rows, pool, [&](unsigned long r) {
        return c.fromConstant ? constant.get() : column.cells[r];
      });
    }
}

TEST_F(VectorEvaluatorStringOps, NullAndFailedRowsEndWithNullPointerAndNoReservation) {
  const unsigned char pattern[] = {0, 1, 0, 0, 3, 0, 17};
  for (bool copyFirst : {false, true})
    for (bool withNulls : {true, false})
      for (unsigned long rows : kObjectRowCounts) {
        SCOPED_TRACE(testing::Message()
                     << "rows " << rows << ", copy " << copyFirst << ", nulls " << withNulls);
        PrivatePool pool;
        ObjectColumn<StringKind> column(rows);
        std::vector<unsigned char> states(rows);
        for (unsigned long r = 0; r < rows; ++r)
          states[r] = pattern[r % std::size(pattern)];
        Program p;
        p.column(233, 0);
        if (copyFirst) // the copy writes owned objects into the caller's slots; failed rows free them
          p.op(kFakeCopy);
        p.column(kLoadColNulls, 1);
        Outputs out;
        ASSERT_EQ(runVector(p, {column.data(), states.data()}, rows, out, {.withNulls = withNulls}),
                  RPN_EVAL_OK);
        for (unsigned long r = 0; r < rows; ++r)
          ASSERT_EQ(out.nulls[r], withNulls ? states[r] : kSentinel);
        expectOwnedCopies<StringKind>(out, rows, pool, [&](unsigned long r) -> StringCell {
          return states[r] == 0 ? column.cells[r] : nullptr;
        });
      }
}

TEST_F(VectorEvaluatorStringOps, AFaultMidProgramFreesTheIntermediateObjects) {
  for (unsigned long rows : {1ul, 64ul, 1000ul}) {
    SCOPED_TRACE(rows);
    PrivatePool pool;
    ObjectColumn<StringKind> column(rows);
    Program p;
    p.column(233, 0).op(kFakeCopy).op(1054); // the add pops the copies, then finds nothing
    Outputs out;
    EXPECT_THROW(runVector(p, {column.data()}, rows, out), vela::VelaException);
    EXPECT_GT(pool.pool.peakBytes(), 0u);
    EXPECT_EQ(pool.pool.reservedBytes(), 0u);
  }
}
