// REGEXP_REPLACE (2112-2121) and REGEXP_SUBSTR (2132-2141): char1 .. char256 at +0 .. +8, giving the
// same width, and the heap string at +9, giving a string.

#include <vector>

#include "cuda/VectorEvalObjects.h"
#include "functions/text/RegexpFuncs.h"

namespace vela::cuda::regexp_funcs {

namespace {

using I32 = std::int32_t;

template <class F, class... Rest>
void addFamily(std::vector<OpRegistration>& ops, TypedRpnOp first) {
  ops.push_back(opEntry<RegexpOp<F, Cell<1>, Cell<1>, Rest...>>(first));
  ops.push_back(opEntry<RegexpOp<F, Cell<2>, Cell<2>, Rest...>>(first + 1));
  ops.push_back(opEntry<RegexpOp<F, Cell<4>, Cell<4>, Rest...>>(first + 2));
  ops.push_back(opEntry<RegexpOp<F, Cell<8>, Cell<8>, Rest...>>(first + 3));
  ops.push_back(opEntry<RegexpOp<F, Cell<16>, Cell<16>, Rest...>>(first + 4));
  ops.push_back(opEntry<RegexpOp<F, Cell<32>, Cell<32>, Rest...>>(first + 5));
  ops.push_back(opEntry<RegexpOp<F, Cell<64>, Cell<64>, Rest...>>(first + 6));
  ops.push_back(opEntry<RegexpOp<F, Cell<128>, Cell<128>, Rest...>>(first + 7));
  ops.push_back(opEntry<RegexpOp<F, Cell<256>, Cell<256>, Rest...>>(first + 8));
  ops.push_back(opEntry<RegexpOp<F, EvalOutputString, StringCell, Rest...>>(first + 9));
}

bool registerRegexpRewrites() {
  std::vector<OpRegistration> ops;
  addFamily<RegexpReplaceFunc, I32, I32>(ops, 2112);
  addFamily<RegexpSubstrFunc, I32, I32, I32>(ops, 2132);
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerRegexpRewrites();

} // namespace

} // namespace vela::cuda::regexp_funcs
