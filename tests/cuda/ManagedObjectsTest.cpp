// Object values: slot ownership, slot arrays, wrappers under pool refusal and memory figures; every case
// ends with its private pool exactly balanced.
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <geos/io/WKTReader.h>
#include <gtest/gtest.h>

#include "base/JsonValueUtils.h"
#include "base/ManagedGeometryPtr.h"
#include "base/VelaException.h"
#include "cuda/ManagedObjects.h"
#include "tests/support/PoolBalancedTest.h"

using namespace vela::cuda;
using vela::RamPool;
using vela::RamPoolThreadBinding;
using vela::VelaException;

namespace {

std::unique_ptr<geos::geom::Geometry> readWkt(const std::string& wkt) {
  static const geos::io::WKTReader reader;
  return reader.read(wkt);
}

// Owner of a program constant: built outside any pool, freed by the test only.
template <class Object>
using Constant = std::unique_ptr<const Object, ObjectDeleter>;

// One kind of object value: how to build sample number `seed`, compare two objects, and what a slot
// owning an object must have reserved for it.
struct StringKind {
  using H = EvalOutputString;
  using Object = InlineBuffer<char>;
  // Lengths from 0 up, odd seeds past 15.
  static std::string text(int seed) {
    return std::string(std::size_t(seed * 3 + (seed % 2 ? 13 : 0)), 'a' + seed % 26);
  }
  static void write(H out, int seed) { out.write(text(seed)); }
  static Constant<Object> constant(int seed) {
    const std::string t = text(seed);
    Object* b = Object::allocate(t.size());
    std::memcpy(b->data(), t.data(), t.size());
    return {b, H::kDeleter};
  }
  static bool equal(const Object* a, const Object* b) { return a->sameContents(*b); }
  static unsigned long reservationOf(const Object* o) { return 8 + o->size(); }
};

struct VectorKind {
  using H = EvalOutputVector;
  using Object = InlineBuffer<float>;
  static std::vector<float> values(int seed) {
    std::vector<float> v(std::size_t(seed % 4 * 3));
    for (std::size_t i = 0; i < v.size(); ++i)
      v[i] = float(seed) * 0.5f - float(i);
    return v;
  }
  static void write(H out, int seed) { out.write(std::span<const float>(values(seed))); }
  static Constant<Object> constant(int seed) {
    const std::vector<float> v = values(seed);
    Object* b = Object::allocate(v.size());
    if (!v.empty())
      std::memcpy(b->data(), v.data(), v.size() * sizeof(float));
    return {b, H::kDeleter};
  }
  static bool equal(const Object* a, const Object* b) { return a->sameContents(*b); }
  static unsigned long reservationOf(const Object* o) { return 8 + 4 * o->size(); }
};

struct JsonKind {
  using H = EvalOutputJson;
  using Object = JsonValue;
  static JsonValue value(int seed) {
    return {
        {"id", seed}, {"tags", JsonValue::array({seed, "a somewhat longer member text"})}, {"x", nullptr}};
  }
  static void write(H out, int seed) { out.write(value(seed)); }
  static Constant<Object> constant(int seed) { return {new JsonValue(value(seed)), H::kDeleter}; }
  static bool equal(const Object* a, const Object* b) { return *a == *b; }
  static unsigned long reservationOf(const Object* o) {
    return vela::JsonValueUtils::getMemoryUsage(*o) + 16;
  }
};

struct GeometryKind {
  using H = EvalOutputGeometry;
  using Object = geos::geom::Geometry;
  static std::string wkt(int seed) {
    switch (seed % 3) {
    case 0:
      return "POINT (" + std::to_string(seed) + " 1)";
    case 1:
      return "LINESTRING Z (0 0 1, 1 " + std::to_string(seed) + " 2, 3 3 3)";
    default:
      return "POLYGON ((0 0, 9 0, 9 9, 0 9, 0 0), (1 1, 2 1, 2 " + std::to_string(seed % 5 + 2) + ", 1 1))";
    }
  }
  static void write(H out, int seed) { out.write(readWkt(wkt(seed))); }
  static Constant<Object> constant(int seed) { return {readWkt(wkt(seed)).release(), H::kDeleter}; }
  static bool equal(const Object* a, const Object* b) { return a->toText() == b->toText(); }
  static unsigned long reservationOf(const Object* o) { return vela::ManagedGeometryPtr::footprint(*o); }
};

using ManagedObjectsPool = quarry::test::PoolBalancedTest;

template <class K>
class ManagedObjectsKinds : public ManagedObjectsPool {};
using Kinds = ::testing::Types<StringKind, VectorKind, JsonKind, GeometryKind>;
TYPED_TEST_SUITE(ManagedObjectsKinds, Kinds);

TYPED_TEST(ManagedObjectsKinds, WriteOverwriteAndNull) {
  using K = TypeParam;
  void* object = nullptr;
  unsigned long reservation = 0;
  typename K::H out(&object, &reservation);
  for (int seed : {0, 1, 5}) {
    const auto unreservesBefore = this->pool.unreserveCalls();
    const bool hadObject = object != nullptr;
    K::write(out, seed);
    // The old object's reservation went back before the new one was stored: only the new one is held.
    ASSERT_NE(out.get(), nullptr);
    EXPECT_EQ(reservation, K::reservationOf(out.get()));
    EXPECT_GT(reservation, 0u);
    EXPECT_EQ(this->pool.reservedBytes(), reservation);
    EXPECT_EQ(this->pool.unreserveCalls() - unreservesBefore, hadObject ? 1u : 0u);
    EXPECT_TRUE(K::equal(out.get(), K::constant(seed).get()));
  }
  // Overwriting a slot that borrows a constant frees nothing of the constant.
  const auto constant = K::constant(7);
  out.writeNull();
  out.writeInput(constant.get());
  reservation = kBorrowedReservation;
  K::write(out, 3);
  EXPECT_NE(out.get(), constant.get());
  EXPECT_TRUE(K::equal(constant.get(), K::constant(7).get()));
  out.writeNull();
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(reservation, 0u);
  EXPECT_EQ(this->pool.reservedBytes(), 0u);
}

TYPED_TEST(ManagedObjectsKinds, ReturnedIntermediateInputMovesOwnership) {
  using K = TypeParam;
  using H = typename K::H;
  constexpr unsigned long n = 5;
  auto input = std::make_unique<ObjectSlotArrays>(makeObjectSlotArrays<H>(n));
  for (unsigned long i : {0ul, 2ul, 3ul, 4ul})
    K::write(input->template handles<H>()[i], int(i) + 1);
  const std::vector<unsigned long> inputReservations(input->reservations.begin(), input->reservations.end());
  auto output = std::make_unique<ObjectSlotArrays>(makeObjectSlotArrays<H>(n));
  auto out = output->template handles<H>();
  out[0].writeInput(static_cast<const typename K::Object*>(input->objects[0]));
  out[1].writeInput(nullptr);
  K::write(out[2], 9);
  out[3].writeInput(static_cast<const typename K::Object*>(input->objects[3]));
  out[4].writeNull();
  const unsigned long newReservation = output->reservations[2];

  checkObjectMoveRows<H>(input->objects.data(), input->reservations.data(), false, output->objects.data(),
                         output->reservations.data(), false, n);
  const std::vector<unsigned long> wantIn = {0, 0, inputReservations[2], 0, inputReservations[4]};
  const std::vector<unsigned long> wantOut = {inputReservations[0], 0, newReservation, inputReservations[3],
                                              0};
  EXPECT_EQ(std::vector<unsigned long>(input->reservations.begin(), input->reservations.end()), wantIn);
  EXPECT_EQ(std::vector<unsigned long>(output->reservations.begin(), output->reservations.end()), wantOut);

  // The input entry dies first: it frees only rows 2 and 4; the moved objects live on in the output.
  const std::size_t before = this->pool.reservedBytes();
  input.reset();
  EXPECT_EQ(this->pool.reservedBytes(), before - inputReservations[2] - inputReservations[4] - 2 * n * 8);
  EXPECT_TRUE(K::equal(out[0].get(), K::constant(1).get()));
  EXPECT_TRUE(K::equal(out[3].get(), K::constant(4).get()));
  output.reset();
}

TYPED_TEST(ManagedObjectsKinds, ReturnedConstantIsBorrowedOrCopied) {
  using K = TypeParam;
  using H = typename K::H;
  const auto constant = K::constant(4);
  void* const constantCell = const_cast<typename K::Object*>(constant.get());
  constexpr unsigned long n = 4;
  for (bool final : {false, true}) {
    SCOPED_TRACE(final ? "final output" : "intermediate output");
    std::vector<void*> objects(n, nullptr);
    std::vector<unsigned long> reservations(n, 0);
    VectorEvalOutputObjectArray<H> out(objects.data(), reservations.data());
    out[0].writeInput(constant.get());
    K::write(out[1], 2);
    out[2].writeInput(constant.get());
    out[3].writeNull();
    const void* ownObject = objects[1];
    const unsigned long ownReservation = reservations[1];
    checkObjectMoveRows<H>(&constantCell, nullptr, true, objects.data(), reservations.data(), final, n);
    EXPECT_EQ(objects[1], ownObject);
    EXPECT_EQ(reservations[1], ownReservation);
    EXPECT_EQ(objects[3], nullptr);
    EXPECT_EQ(reservations[3], 0u);
    for (unsigned long i : {0ul, 2ul}) {
      if (final) {
        // Each row its own deep copy, owned with the full figure.
        EXPECT_NE(objects[i], constantCell);
        EXPECT_EQ(reservations[i], K::reservationOf(out[i].get()));
        EXPECT_TRUE(K::equal(out[i].get(), constant.get()));
      } else {
        EXPECT_EQ(objects[i], constantCell);
        EXPECT_EQ(reservations[i], kBorrowedReservation);
      }
    }
    if (final) {
      EXPECT_NE(objects[0], objects[2]);
    }
    // What the entry's cleanup (or the caller) does: only owned rows are freed, never the constant.
    cleanupObjectSlots<H>(objects.data(), reservations.data(), n);
    EXPECT_EQ(this->pool.reservedBytes(), 0u);
    EXPECT_TRUE(K::equal(constant.get(), K::constant(4).get()));
  }
  // A null constant matches only null rows, which stay null and own nothing.
  std::vector<void*> objects(2, nullptr);
  std::vector<unsigned long> reservations(2, 0);
  void* const nullCell = nullptr;
  checkObjectMoveRows<H>(&nullCell, nullptr, true, objects.data(), reservations.data(), true, 2);
  EXPECT_EQ(reservations, std::vector<unsigned long>(2, 0));
}

TYPED_TEST(ManagedObjectsKinds, EndOfBatchSettlesFinalRows) {
  using K = TypeParam;
  using H = typename K::H;
  const auto constant = K::constant(5);
  const rpn_eval_result_t states[] = {RPN_EVAL_OK,       RPN_EVAL_OK, RPN_EVAL_NULL,
                                      RPN_EVAL_BAD_CAST, RPN_EVAL_OK, RPN_EVAL_OK};
  constexpr unsigned long n = std::size(states);
  std::vector<void*> objects(n, nullptr);
  std::vector<unsigned long> reservations(n, 0);
  VectorEvalOutputObjectArray<H> out(objects.data(), reservations.data());
  K::write(out[0], 1);
  out[1].writeInput(constant.get());
  reservations[1] = kBorrowedReservation;
  out[2].writeInput(constant.get());
  reservations[2] = kBorrowedReservation;
  K::write(out[3], 2);
  out[4].writeNull();
  out[5].writeInput(constant.get()); // not owned, no mark: still never handed out as the caller's own
  const void* kept = objects[0];
  const unsigned long keptReservation = reservations[0];

  settleFinalObjectRows<H>(objects.data(), reservations.data(), states, n);
  EXPECT_EQ(objects[0], kept);
  EXPECT_EQ(reservations[0], keptReservation);
  for (unsigned long i : {1ul, 5ul}) {
    EXPECT_NE(objects[i], constant.get());
    ASSERT_NE(objects[i], nullptr);
    EXPECT_EQ(reservations[i], K::reservationOf(out[i].get()));
    EXPECT_TRUE(K::equal(out[i].get(), constant.get()));
  }
  for (unsigned long i : {2ul, 3ul, 4ul}) {
    EXPECT_EQ(objects[i], nullptr);
    EXPECT_EQ(reservations[i], 0u);
  }
  unsigned long held = 0;
  for (unsigned long r : reservations)
    held += r;
  EXPECT_EQ(this->pool.reservedBytes(), held); // the caller's sizes are exactly what the pool holds
  for (unsigned long i = 0; i < n; ++i)
    clearSlot(&objects[i], &reservations[i], H::kDeleter);
}

using ManagedObjects = ManagedObjectsPool;

int g_cleanupRuns = 0;
unsigned long g_cleanupRows = 0;
void countingCleanup(void**, unsigned long*, unsigned long n) {
  ++g_cleanupRuns;
  g_cleanupRows = n;
}

TEST_F(ManagedObjects, SlotArraysAreZeroedAlignedAndCleanedOnce) {
  for (unsigned long n : {0ul, 1ul, 64ul, 65ul}) {
    g_cleanupRuns = 0;
    const auto reservesBefore = pool.reserveCalls();
    {
      ObjectSlotArrays slots(n, &countingCleanup);
      EXPECT_EQ(pool.reservedBytes(), 2 * 8 * n);
      EXPECT_EQ(pool.reserveCalls() - reservesBefore, n == 0 ? 0u : 2u);
      for (unsigned long i = 0; i < n; ++i) {
        EXPECT_EQ(slots.objects[i], nullptr);
        EXPECT_EQ(slots.reservations[i], 0u);
      }
      if (n != 0) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(slots.objects.data()) % 64, 0u);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(slots.reservations.data()) % 64, 0u);
      }
      ObjectSlotArrays moved(std::move(slots)); // the moved-from arrays must not clean up
    }
    EXPECT_EQ(g_cleanupRuns, n == 0 ? 0 : 1) << n;
    if (n != 0) {
      EXPECT_EQ(g_cleanupRows, n);
    }
  }
}

TEST_F(ManagedObjects, SlotCountWhoseByteSizeOverflowsIsRefused) {
  struct Case {
    unsigned long n;
    bool refused;
  } const cases[] = {
      {0, false}, {(1ul << 60) - 1, false}, {1ul << 60, true}, {(1ul << 62) | 1, true}, {~0ul, true}};
  for (const Case& c : cases) {
    if (!c.refused) {
      EXPECT_NO_THROW(checkObjectSlotCount(c.n)) << c.n;
      continue;
    }
    for (int viaArrays = 0; viaArrays < 2; ++viaArrays) {
      try {
        if (viaArrays)
          makeObjectSlotArrays<EvalOutputString>(c.n);
        else
          checkObjectSlotCount(c.n);
        ADD_FAILURE() << "no exception for " << c.n;
      } catch (const std::length_error& e) {
        EXPECT_STREQ(e.what(), "Size would exceed maximum allowed size");
      }
      EXPECT_EQ(pool.reserveCalls(), 0u);
    }
  }
}

TEST_F(ManagedObjects, RefusedReservationsLeaveSlotsAndPoolUnchanged) {
  void* object = nullptr;
  unsigned long reservation = 0;
  EvalOutputString text(&object, &reservation);
  text.write(std::string_view("kept"));
  const void* kept = object;
  pool.setLimit(pool.reservedBytes() + 10); // room for a 2-byte string, not a 3-byte one
  EXPECT_THROW(text.write(std::string_view("abc")), VelaException);
  EXPECT_EQ(object, kept);
  EXPECT_EQ(reservation, 12u);
  EXPECT_EQ(pool.reservedBytes(), 12u);
  text.write(std::string_view("ab"));
  EXPECT_EQ(text.get()->view(), "ab");
  text.writeNull();

  // JSON: the value fits, the 16-byte node does not; the wrapper keeps its value and its charge.
  const JsonValue value = {1, 2, 3};
  const std::size_t usage = vela::JsonValueUtils::getMemoryUsage(value);
  pool.setLimit(usage + 15);
  {
    ManagedJsonValue managed(value);
    void* json = nullptr;
    unsigned long jsonReservation = 0;
    EvalOutputJson out(&json, &jsonReservation);
    EXPECT_THROW(out.write(managed), VelaException);
    EXPECT_EQ(json, nullptr);
    EXPECT_EQ(jsonReservation, 0u);
    EXPECT_TRUE(managed.holdsValue());
    EXPECT_EQ(managed.value(), value);
    EXPECT_EQ(pool.reservedBytes(), usage);
  }
  // Geometry: refused on take-over, nothing kept reserved.
  pool.setLimit(ManagedGeometryPtr::kComponentBytes);
  EXPECT_THROW(ManagedGeometryPtr(readWkt("LINESTRING (0 0, 1 1)")), VelaException);
  pool.setLimit(RamPool::kUnlimited);
}

TEST_F(ManagedObjects, GeometryWrapperReleaseAndFootprint) {
  using vela::ManagedGeometryPtr;
  const std::size_t header = ManagedGeometryPtr::kComponentBytes, link = ManagedGeometryPtr::kChildLinkBytes;
  struct Case {
    const char* wkt;
    std::size_t footprint;
  } const cases[] = {
      {"POINT EMPTY", header},
      {"POINT Z (1 2 3)", header + 24},
      {"POLYGON ((0 0, 9 0, 9 9, 0 0), (1 1, 2 1, 2 2, 1 1))", 3 * header + link + 8 * 16},
      {"GEOMETRYCOLLECTION (POINT (0 0), GEOMETRYCOLLECTION (POINT (1 1)))",
       header + link + (header + 16) + link + (header + link + header + 16)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wkt);
    ManagedGeometryPtr held(readWkt(c.wkt));
    EXPECT_EQ(held.reservedBytes(), c.footprint);
    EXPECT_EQ(ManagedGeometryPtr::footprint(*readWkt(c.wkt)), c.footprint); // same value, same figure
    EXPECT_EQ(pool.reservedBytes(), c.footprint);
  }
  // release(false): the pointer and the reservation leave together; the figure stays readable.
  ManagedGeometryPtr wrapper(readWkt("POINT (1 2)"));
  std::unique_ptr<geos::geom::Geometry> taken(wrapper.release(false));
  EXPECT_EQ(wrapper.reservedBytes(), header + 16);
  EXPECT_EQ(pool.reservedBytes(), header + 16);
  pool.unreserveRaw(wrapper.reservedBytes());
}

TEST_F(ManagedObjects, JsonMemoryUsageDependsOnContentOnly) {
  using vela::JsonValueUtils::getMemoryUsage;
  // Same value reached in different ways: parse orders, copies, spare capacity.
  JsonValue built = JsonValue::array();
  built.get_ref<JsonValue::array_t&>().reserve(100);
  for (int i = 0; i < 3; ++i)
    built.push_back(i);
  const std::pair<JsonValue, JsonValue> same[] = {
      {JsonValue::parse(R"({"b":1,"a":[1,2,3],"c":"a text longer than fifteen"})"),
       JsonValue::parse(R"({"c":"a text longer than fifteen","a":[1,2,3],"b":1})")},
      {built, JsonValue::parse("[0,1,2]")},
      {JsonValue(std::string(40, 'x')), JsonValue(std::string(40, 'x')).get<std::string>()},
  };
  for (const auto& [a, b] : same)
    EXPECT_EQ(getMemoryUsage(a), getMemoryUsage(b)) << a.dump();
  // Scalars hold nothing beyond their node; strings pay for heap text from 16 characters on.
  for (const JsonValue& scalar : {JsonValue(), JsonValue(true), JsonValue(-5), JsonValue(7u), JsonValue(1.5)})
    EXPECT_EQ(getMemoryUsage(scalar), 0u);
  EXPECT_EQ(getMemoryUsage(std::string(15, 'k')), getMemoryUsage(""));
  EXPECT_EQ(getMemoryUsage(std::string(16, 'k')), getMemoryUsage("") + 17);
  EXPECT_EQ(getMemoryUsage({{std::string(16, 'k'), 1}}) - getMemoryUsage({{std::string(15, 'k'), 1}}), 17u);
}

} // namespace
