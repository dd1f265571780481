// REGEXP_COUNT (2052-2061), REGEXP_INSTR (2072-2081) and REGEXP_MATCH (2092-2101): char1 .. char256 at
// +0 .. +8, the heap string at +9. Also home of elementRegexp, shared with RegexpRewrite.cpp.

#include <vector>

#include <log4cplus/loglevel.h>

#include "cuda/VectorEvalObjects.h"
#include "functions/text/RegexpFuncs.h"

namespace vela::cuda::regexp_funcs {

const VelaRegexp& elementRegexp(const ParserUtils::TypedRpnElement& element) {
  const VelaRegexp* re = nullptr;
  std::memcpy(&re, element.operand + ParserUtils::kRegexpOperandOffset, sizeof re);
  if (re == nullptr)
    throwPlainFault("Regular-expression op without a compiled pattern", log4cplus::ERROR_LOG_LEVEL,
                    "functions/text/RegexpScan", __LINE__, __func__);
  return *re;
}

namespace {

using I32 = std::int32_t;

template <class F, class Out, class... Rest>
void addFamily(std::vector<OpRegistration>& ops, TypedRpnOp first) {
  ops.push_back(opEntry<RegexpOp<F, Out, Cell<1>, Rest...>>(first));
  ops.push_back(opEntry<RegexpOp<F, Out, Cell<2>, Rest...>>(first + 1));
  ops.push_back(opEntry<RegexpOp<F, Out, Cell<4>, Rest...>>(first + 2));
  ops.push_back(opEntry<RegexpOp<F, Out, Cell<8>, Rest...>>(first + 3));
  ops.push_back(opEntry<RegexpOp<F, Out, Cell<16>, Rest...>>(first + 4));
  ops.push_back(opEntry<RegexpOp<F, Out, Cell<32>, Rest...>>(first + 5));
  ops.push_back(opEntry<RegexpOp<F, Out, Cell<64>, Rest...>>(first + 6));
  ops.push_back(opEntry<RegexpOp<F, Out, Cell<128>, Rest...>>(first + 7));
  ops.push_back(opEntry<RegexpOp<F, Out, Cell<256>, Rest...>>(first + 8));
  ops.push_back(opEntry<RegexpOp<F, Out, StringCell, Rest...>>(first + 9));
}

bool registerRegexpScans() {
  std::vector<OpRegistration> ops;
  addFamily<RegexpCountFunc, I32, I32>(ops, 2052);
  addFamily<RegexpInstrFunc, I32, I32, I32, I32, I32>(ops, 2072);
  addFamily<RegexpMatchFunc, std::uint8_t>(ops, 2092);
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerRegexpScans();

} // namespace

} // namespace vela::cuda::regexp_funcs
