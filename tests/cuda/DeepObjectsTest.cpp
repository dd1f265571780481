// Nested JSON and geometry copies and frees: no recursion for JSON; geometry refused past the cap with the
// slot unchanged and the pool balanced.
#include <memory>
#include <string>
#include <vector>

#include <geos/geom/GeometryCollection.h>
#include <gtest/gtest.h>

#include "base/GeometryCodec.h"
#include "base/JsonValueUtils.h"
#include "base/VelaException.h"
#include "cuda/ManagedObjects.h"
#include "tests/support/Nesting.h"
#include "tests/support/PoolBalancedTest.h"

using namespace vela::cuda;
using vela::GeometryCodec;
using vela::RamPool;
using vela::RamPoolThreadBinding;

namespace {

std::unique_ptr<geos::geom::Geometry> deepCollection(std::size_t depth) {
  std::unique_ptr<geos::geom::Geometry> g = vela::sharedGeometryFactory().createEmptyGeometry();
  for (std::size_t i = 1; i < depth; ++i) {
    std::vector<std::unique_ptr<geos::geom::Geometry>> members;
    members.push_back(std::move(g));
    g = vela::sharedGeometryFactory().createGeometryCollection(std::move(members));
  }
  return g;
}

using DeepObjects = quarry::test::PoolBalancedTest;

} // namespace

TEST_F(DeepObjects, JsonCopiesOfAnyDepth) {
  for (const std::size_t depth : {std::size_t(1000), std::size_t(100000)}) {
    const JsonValue value = quarry::test::deepJsonArray(depth);
    void* object = nullptr;
    unsigned long reservation = 0;
    EvalOutputJson out(&object, &reservation);
    out.writeCopy(&value);
    ASSERT_NE(out.get(), nullptr);
    EXPECT_NE(out.get(), &value);
    EXPECT_EQ(reservation, vela::JsonValueUtils::getMemoryUsage(value) + kJsonNodeBytes);
    EXPECT_EQ(vela::JsonValueUtils::depth(*out.get()), depth);
    out.clone(); // a copy of the copy replaces it, the old one freed
    EXPECT_EQ(vela::JsonValueUtils::writeJson(*out.get()), vela::JsonValueUtils::writeJson(value));
    out.writeNull();
  }
}

TEST_F(DeepObjects, GeometryCopiesStopAtTheCap) {
  const auto atLimit = deepCollection(GeometryCodec::kMaxGeometryDepth);
  const auto beyond = deepCollection(GeometryCodec::kMaxGeometryDepth + 1);
  void* object = nullptr;
  unsigned long reservation = 0;
  EvalOutputGeometry out(&object, &reservation);
  out.writeCopy(atLimit.get());
  ASSERT_NE(out.get(), nullptr);
  EXPECT_EQ(GeometryCodec::depth(*out.get()), GeometryCodec::kMaxGeometryDepth);
  EXPECT_EQ(reservation, vela::ManagedGeometryPtr::footprint(*atLimit));
  const void* before = out.get();
  try {
    out.writeCopy(beyond.get());
    ADD_FAILURE() << "a copy past the cap was made";
  } catch (const vela::VelaException& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Geometry nests deeper than the copy limit of 1000 levels (", 0),
              0u)
        << e.what();
  }
  EXPECT_EQ(out.get(), before) << "the slot keeps what it had";
  out.writeNull();
}

TEST_F(DeepObjects, OwnedGeometriesOfAnyDepthAreFreed) {
  void* object = nullptr;
  unsigned long reservation = 0;
  EvalOutputGeometry out(&object, &reservation);
  out.write(deepCollection(30000));
  // 30,000 collections, the innermost empty, each but that one with one member link.
  EXPECT_EQ(reservation, 30000 * vela::ManagedGeometryPtr::kComponentBytes +
                             29999 * vela::ManagedGeometryPtr::kChildLinkBytes);
  out.writeNull(); // deleteGeometry detaches members: no recursion
  EXPECT_EQ(reservation, 0u);
}
