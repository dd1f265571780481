// String family: the cluster and security queries, answered by the embedding engine through the hooks
// of base/ClusterQueries.h.
//
// Placement model. A cluster of R ranks (processes) with W workers each has R x W worker slots. A number
// n is placed in slot s = n mod (R x W), taken as the non-negative remainder so that negative numbers
// are placed too; consecutive numbers go round the ranks first: rank = s mod R, worker = s div R. So the
// rank is also n mod R, and numbers 0 .. R x W - 1 fill every slot once.
//   2505  CLUSTER_RANK_OF        i32 key -> i64   the rank that owns the key: key mod R (0 .. R - 1)
//   2506  CLUSTER_LOCATION_TEXT  i64 n   -> string "<rank>:<worker>" of n's slot, both in decimal
//                                                 without sign or padding, e.g. "2:0" (3 to 21 bytes)
// R and W are read once per batch (getNumRanks, getNumWorkers, both at least 1), so every row of a
// batch sees one cluster shape.
//
//   2186  STRING_IS_MEMBER  string a, string b -> bool  SecurityManagerUtils::isMember(a, b): whether
//                                                       principal a belongs to group b; false unless the
//                                                       host's hook says yes, and false (without asking)
//                                                       when either string is absent

#include <charconv>
#include <cstdint>
#include <vector>

#include "base/ClusterQueries.h"
#include "cuda/EvalElementHandler.h"
#include "cuda/ManagedObjects.h"

namespace vela::cuda {

namespace {

using StringCell = const InlineBuffer<char>*;
using Bool = std::uint8_t;

/// The non-negative remainder of n by m > 0.
constexpr std::int64_t floorMod(std::int64_t n, std::int64_t m) {
  const std::int64_t r = n % m;
  return r < 0 ? r + m : r;
}

struct ClusterRankOfFunc {
  std::int64_t ranks = CommunicatorUtils::getNumRanks();
  long operator()(std::int32_t key) const { return floorMod(key, ranks); }
};

struct ClusterLocationTextFunc {
  std::int64_t ranks = CommunicatorUtils::getNumRanks();
  std::int64_t workers = CommunicatorUtils::getNumWorkers();
  void operator()(EvalOutputString out, long n) const {
    const std::int64_t slot = floorMod(n, ranks * workers); // both below 2^31: the product fits
    char text[32]; // two numbers below 2^31 of at most 10 digits each, and the colon
    char* colon = std::to_chars(text, text + 16, slot % ranks).ptr;
    *colon = ':';
    char* end = std::to_chars(colon + 1, text + sizeof text, slot / ranks).ptr;
    out.write(text, static_cast<std::uint64_t>(end - text));
  }
};

struct IsMemberFunc {
  Bool operator()(StringCell a, StringCell b) const {
    if (a == nullptr || b == nullptr)
      return 0;
    bool member = false;
    SecurityManagerUtils::isMember(a->data(), a->size(), b->data(), b->size(), member);
    return member ? 1 : 0;
  }
};

bool registerClusterQueries() {
  const std::vector<OpRegistration> ops = {
      opEntry<ElementwiseOp<IsMemberFunc, Bool, StringCell, StringCell>>(2186),
      opEntry<ElementwiseOp<ClusterRankOfFunc, long, std::int32_t>>(2505),
      opEntry<ElementwiseOp<ClusterLocationTextFunc, EvalOutputString, long>>(2506),
  };
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerClusterQueries();

} // namespace

} // namespace vela::cuda
